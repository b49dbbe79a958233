// The folder table: every file location of the program is named by a folder key
// ("schedule-folder", "log-folder", ...) that "paths.dat" beside the program, and
// "user-paths.dat" in the user's settings folder, map to a folder.
#pragma once
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/NameHash.h"

class CFolderPaths {
public:
    // The entry type of folders; entries of other types (0, 2) are kept but never answered.
    static constexpr int kFolderType = 1;

    // Stores the program's folder (a "/" is appended when missing) and publishes the process
    // variables that paths may refer to as %NAME%: APP (the program's folder), USER_APPDATA
    // ($XDG_DATA_HOME or ~/.local/share), APPDATA (the program's folder) and CSIDL_MYVIDEO
    // (the XDG videos folder). Each ends in "/". Call before any thread starts.
    void SetApplicationFolder(const std::string& folder);
    const std::string& GetApplicationFolder() const { return m_strApplicationFolder; }

    // Merges one paths file into the table; an entry replaces an earlier one of the same name.
    // True when the file held a "paths" element. A missing or malformed file adds nothing.
    bool Load(const std::string& path);
    // Reads the installed tables again, "paths.dat" of the program's folder with the user's
    // "user-paths.dat" over it, and puts the result in place of the whole table at once. False,
    // keeping the table, when "paths.dat" cannot be read. The table may be read by other
    // threads meanwhile: lookups and loads take turns.
    bool Reload();

    // The folder of a key, ending in "/", created with its parents when missing. An empty text
    // for a key that is not in the table or is not a folder. Throws CExtraInfoException (code 2)
    // when the folder can be neither found nor created.
    std::string GetFolder(const std::string& key) const;
    // The same lookup; true when the answer is not empty.
    bool FindFolder(const std::string& key, std::string& path) const;

    // Every folder entry as key and folder, sorted by key, without creating anything.
    std::vector<std::pair<std::string, std::string>> ListFolders() const;

    // Expands %NAME% references from the environment (unknown ones stay as written) and turns
    // backslashes into "/". False when the result would be longer than a path may be.
    static bool ExpandPath(const std::string& text, std::string& out);

private:
    struct Entry {
        std::string name;   // as written in the file
        std::string path;
        int type = 0;
    };
    // Keys are compared without regard to case.
    using Entries = std::unordered_map<std::string, Entry, NameHashFn, NameEqualFn>;
    static bool ReadTable(const std::string& path, Entries& entries);

    mutable std::mutex m_lock;   // guards m_entries
    Entries m_entries;
    std::string m_strApplicationFolder;
};
