// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once
#include <filesystem>
#include <string>

#include "platform/File.h"

class ScratchFolder {
public:
    ScratchFolder()
    {
        m_path = plat::CreateTempFile(plat::TempFolder(), "qvl-test-");
        std::filesystem::remove(m_path);
        std::filesystem::create_directory(m_path);
        m_path += "/";
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};
