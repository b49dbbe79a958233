// A fresh folder for one test, removed afterwards.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Process.h"

class TempFolder {
public:
    TempFolder()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 ("qvl-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
                  std::to_string(plat::GetCurrentProcessId()));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }

    // The folder with a "/", or a path inside it.
    std::string operator/(const std::string& relative) const { return (m_path / relative).string(); }
    std::string Folder() const { return m_path.string() + "/"; }

    void Write(const std::string& relative, const std::string& text) const
    {
        std::filesystem::create_directories((m_path / relative).parent_path());
        std::ofstream(m_path / relative, std::ios::binary) << text;
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(m_path / relative, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::filesystem::path m_path;
};
