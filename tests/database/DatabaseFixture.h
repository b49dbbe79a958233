// A database over fresh folders for one test, with a way to wait for the absorber.
#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "UpdateFileBytes.h"
#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDBManager.h"
#include "platform/Process.h"

class DatabaseTest : public ::testing::Test {
protected:
    DatabaseTest()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = std::filesystem::temp_directory_path() /
                 ("qvl-db-" + std::string(test->name()) + "-" + std::to_string(plat::GetCurrentProcessId()));
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root / "schedules");
        std::filesystem::create_directories(m_root / "pending");
        std::filesystem::create_directories(m_root / "app");
    }
    ~DatabaseTest() override
    {
        m_pDatabase.reset();
        CProgrammeDBManager::Instance().Close();   // in case a test stopped before closing it
        std::filesystem::remove_all(m_root);
    }

    std::string Schedules() const { return (m_root / "schedules").string() + "/"; }
    std::string Pending() const { return (m_root / "pending").string() + "/"; }
    std::string App() const { return (m_root / "app").string() + "/"; }

    // Hooks that record every file result and use the given channels as the line-up.
    ProgrammeDBHooks Hooks(std::vector<uint32_t> lineUp)
    {
        ProgrammeDBHooks hooks;
        hooks.fillLineUp = [lineUp](CChannelAssignmentList& list) {
            for (uint32_t id : lineUp)
                list.Add(std::make_shared<CChannelAssignment>(0, id, "", ""));
        };
        hooks.onFileProcessed = [this](const std::string& path, const std::string& result) {
            std::lock_guard lock(m_lock);
            m_results.push_back(std::filesystem::path(path).filename().string() + ": " + result);
            m_done.notify_all();
        };
        hooks.onListingsAbsorbed = [this] {
            std::lock_guard lock(m_lock);
            ++m_nAbsorbedNotes;
            m_done.notify_all();
        };
        return hooks;
    }
    CProgrammeDBFlat& Open(std::vector<uint32_t> lineUp)
    {
        m_pDatabase = std::make_unique<CProgrammeDBFlat>(Schedules(), Pending(), Hooks(std::move(lineUp)));
        return *m_pDatabase;
    }
    // The results of the first n files, waiting for them (at most 30 s).
    std::vector<std::string> WaitForResults(size_t n)
    {
        std::unique_lock lock(m_lock);
        m_done.wait_for(lock, std::chrono::seconds(30), [&] { return m_results.size() >= n; });
        return m_results;
    }
    // The listings-absorbed notices so far, waiting up to that long for at least one.
    int AbsorbedNotes(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(m_lock);
        m_done.wait_for(lock, wait, [&] { return m_nAbsorbedNotes > 0; });
        return m_nAbsorbedNotes;
    }
    void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string ReadFile(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    std::filesystem::path m_root;
    std::unique_ptr<CProgrammeDBFlat> m_pDatabase;
    std::mutex m_lock;
    std::condition_variable m_done;
    std::vector<std::string> m_results;
    int m_nAbsorbedNotes = 0;
};
