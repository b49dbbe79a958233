// A fresh folder for one test, removed with everything in it when the test ends; files are
// written and read whole.
#pragma once
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/File.h"

class CTestFolder {
public:
    CTestFolder()
    {
        m_strPath = plat::CreateTempFile(plat::TempFolder(), "qvl-lineup-");
        std::filesystem::remove(m_strPath);
        std::filesystem::create_directory(m_strPath);
        m_strPath += "/";
    }
    ~CTestFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_strPath, ignored);
    }
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    // The folder, ending in "/".
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& strName) const { return m_strPath + strName; }

    void Write(const std::string& strName, const std::string& strBytes) const
    {
        const std::filesystem::path path(m_strPath + strName);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << strBytes;
    }
    std::string Read(const std::string& strName) const
    {
        std::ifstream in(m_strPath + strName, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    std::string m_strPath;
};
