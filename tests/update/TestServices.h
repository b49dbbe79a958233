// The application services of an update test: a fresh folder per test with the folders
// "app-folder", "user-settings" and "updates-folder" inside it, removed afterwards.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/ApplicationServices.h"
#include "platform/Process.h"

class TestServices : public CApplicationServices {
public:
    TestServices()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = std::filesystem::temp_directory_path() /
                 ("qvl-update-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
                  std::to_string(plat::GetCurrentProcessId()));
        std::filesystem::remove_all(m_root);
        for (const char* key : {"app-folder", "user-settings", "updates-folder"}) {
            std::filesystem::create_directories(m_root / key);
            folders[key] = (m_root / key).string() + "/";
        }
        std::filesystem::copy_file(QVL_APP_DIR "/connection-errors.dat",
                                   m_root / "app-folder/connection-errors.dat");
    }
    ~TestServices() override { std::filesystem::remove_all(m_root); }

    std::string GetFolder(const std::string& key) override
    {
        auto it = folders.find(key);
        return it == folders.end() ? std::string() : it->second;
    }
    bool FindFolder(const std::string& key, std::string& path) override
    {
        path = GetFolder(key);
        return !path.empty();
    }
    void StartUpgraderAndExit() override { ++upgrades; }

    void Write(const std::string& key, const std::string& name, const std::string& text)
    {
        std::ofstream(folders.at(key) + name, std::ios::binary) << text;
    }
    std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::map<std::string, std::string> folders;
    int upgrades = 0;

private:
    std::filesystem::path m_root;
};
