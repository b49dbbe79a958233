// A reader of profile (INI) files: "[section]" headers, "key = value" lines and ";" comments.
// Section and key names are looked up without regard to case; names and values are trimmed.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/NameHash.h"

class CProfileFile {
public:
    // Forgets what was loaded, then reads and parses the file; true when the whole file was read.
    bool Load(const std::string& strPath);
    bool Reload() { return Load(std::string(m_strPath)); }

    // Each returns false and leaves its output alone when the section or key is missing.
    bool GetString(std::string_view strSection, std::string_view strKey, std::string& strOut) const;
    bool GetInt(std::string_view strSection, std::string_view strKey, int& nOut) const;  // decimal
    bool GetBool(std::string_view strSection, std::string_view strKey, bool& bOut) const; // int != 0

private:
    using CKeyTable = std::unordered_map<std::string, std::string, NameHashFn, NameEqualFn>;

    void Parse(std::string_view strText);

    std::string m_strPath;
    std::unordered_map<std::string, CKeyTable, NameHashFn, NameEqualFn> m_sections;
};
