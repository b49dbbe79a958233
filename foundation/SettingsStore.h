// Named settings of four kinds (text, unsigned number, truth value, and text scrambled on disk)
// with defaults given by the reader, kept in an XML file that is replaced safely on saving and
// copied once a day into a backup folder. Any thread may use a store.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/NameHash.h"

class CFolderPaths;

class CSettingsStore {
public:
    enum Kind { kindString = 1, kindUInt = 2, kindBool = 3, kindScrambled = 4 };

    // One setting as listed: its name, its type word in the file ("string", "uint", "bool",
    // "string-enc") and its value as text (clear text for scrambled values).
    struct Setting {
        std::string name;
        std::string type;
        std::string value;
    };

    explicit CSettingsStore(unsigned daysToKeep = 14);
    // Saves once more when something changed since the last save.
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    bool Exists(const std::string& name) const;
    void Remove(const std::string& name);

    // Getters answer true when the setting exists with their kind; otherwise they set out to the
    // default (GetString leaves out alone when given no default) and answer false.
    bool GetString(const std::string& name, std::string& out, const char* defaultValue = nullptr) const;
    bool GetUInt(const std::string& name, uint32_t& out, uint32_t defaultValue) const;
    bool GetBool(const std::string& name, bool& out, bool defaultValue) const;
    // Setters replace any setting of that name, whatever its kind.
    void SetString(const std::string& name, const std::string& value, bool scramble = false);
    void SetUInt(const std::string& name, uint32_t value);
    void SetBool(const std::string& name, bool value);

    // Remembers the path and merges the file into the table. When the file is missing but the
    // copy that the last save put aside (".old") exists, reads that one. True when the file held
    // "ApplicationSettings".
    bool Load(const std::string& path);
    // Writes the table to the remembered path through "<path>.temp", keeping the previous file as
    // "<path>.old", then keeps a dated copy per day. Answers false, and stays modified, when the
    // new file could not be put in place.
    bool Save();

    void SetDaysToKeep(unsigned days);
    // Where dated copies go: the folder "user-settings-backup" of this table, or the settings
    // file's own folder when there is none (or no table is set).
    void SetFolderPaths(const CFolderPaths* paths);

    bool IsModified() const;
    const std::string& GetPath() const { return m_strPath; }
    // Every setting in file order.
    std::vector<Setting> List() const;
    std::optional<Setting> Find(const std::string& name) const;

    // The on-disk form of scrambled values: "ASXSTART" + hex of (0x01 0x00 + zlib stream of
    // (CRC + text) with its first 8 bytes enciphered) + "ASXEND". Unscramble fails on anything
    // that does not check out.
    static bool Scramble(const std::string& text, std::string& out);
    static bool Unscramble(const std::string& text, std::string& out);

private:
    struct Entry {
        std::string name;
        Kind kind = kindString;
        std::string text;     // kindString, kindScrambled
        uint32_t number = 0;  // kindUInt, kindBool
    };
    using Chain = std::vector<Entry>;   // the front of a chain is its newest entry

    const Entry* Lookup(const std::string& name) const;
    Entry& Put(const std::string& name, Kind kind);
    bool WriteFile();
    void KeepDatedCopy();
    static Setting Describe(const Entry& entry);

    mutable std::mutex m_lock;
    std::string m_strPath;
    bool m_bModified = false;
    unsigned m_nDaysToKeep;
    const CFolderPaths* m_pFolders = nullptr;
    std::array<Chain, kNameTableBuckets> m_buckets;
};
