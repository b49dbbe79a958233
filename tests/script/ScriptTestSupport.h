// Shared by the script tests: a runtime with an engine that keeps its reports, script files in
// a fresh folder, and reading results back from the global object.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <js/Conversions.h>

#include "script/ScriptEngine.h"

struct CReport {
    int nLevel;
    std::string strText;
};

class CRecordingEngine : public CScriptEngine {
public:
    void Report(int nLevel, const std::string& strText) override { m_vecReports.push_back({nLevel, strText}); }

    // Every report, one per line.
    std::string AllReports() const
    {
        std::string strAll;
        for (const CReport& report : m_vecReports)
            strAll += report.strText + "\n";
        return strAll;
    }

    std::vector<CReport> m_vecReports;
};

template <class TEngine>
class ScriptTestWith : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_engine.Create(m_runtime)); }

    void TearDown() override
    {
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder);
    }

    // Writes the files into a fresh folder; answers the folder, ending in "/".
    std::string WriteFiles(const std::map<std::string, std::string>& files)
    {
        if (m_folder.empty()) {
            m_folder = std::filesystem::temp_directory_path() /
                       ("qvl-script-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
            std::filesystem::remove_all(m_folder);
            std::filesystem::create_directories(m_folder);
        }
        for (const auto& [strName, strText] : files)
            std::ofstream(m_folder / strName, std::ios::binary) << strText;
        return m_folder.string() + "/";
    }

    // A global variable of the script as text (JS String()), or "<missing>".
    std::string Global(const char* pszName)
    {
        CScriptEngine::CEnter enter(m_engine);
        JSContext* cx = m_engine.GetContext();
        JS::RootedValue value(cx);
        bool bFound = false;
        if (!JS_HasProperty(cx, m_engine.GetGlobalObject(), pszName, &bFound) || !bFound ||
            !JS_GetProperty(cx, m_engine.GetGlobalObject(), pszName, &value))
            return "<missing>";
        JS::RootedString str(cx, JS::ToString(cx, value));
        JS::UniqueChars utf8 = str ? JS_EncodeStringToUTF8(cx, str) : nullptr;
        return utf8 ? utf8.get() : "<error>";
    }

    bool Call(const char* pszName, bool* pbResult = nullptr)
    {
        return m_engine.CallFunction(m_engine.GetGlobalObject(), pszName, pbResult,
                                     JS::HandleValueArray::empty());
    }

    CScriptRuntime m_runtime;
    TEngine m_engine;
    std::filesystem::path m_folder;
};

using ScriptTest = ScriptTestWith<CRecordingEngine>;
