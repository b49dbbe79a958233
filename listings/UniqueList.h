// The unique person and programme lists: every distinct person name and programme title ever
// absorbed, kept in the schedule folder ("people.uq", "programmes.uq") so that searches and
// markers can offer them without reading every channel file. Each kind has one shared
// instance per process, loaded on first use.
#pragma once
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CUniqueList {
public:
    virtual ~CUniqueList() = default;

    // Adds the text unless it is empty or already present.
    void Add(const std::string& strText);
    bool Contains(const std::string& strText) const;
    size_t GetCount() const;
    std::vector<std::string> GetEntries() const;   // sorted

    // Reads the file (one entry per line, each ended by CR LF). A file that is there but
    // damaged is deleted and the list starts empty; one that cannot be opened is left alone.
    void Load();
    // Replaces the file through a temporary one; a failure is logged and leaves the old file.
    bool Save() const;

protected:
    CUniqueList(std::string strPath, const char* pszClass, const char* pszNoun)
        : m_strPath(std::move(strPath)), m_pszClass(pszClass), m_pszNoun(pszNoun) {}
    // Adds the entries of an older file; false when there is none or it could not be read.
    virtual bool LoadOlderFile() { return false; }
    virtual void DeleteOlderFile() {}
    void AddAll(std::vector<std::string> entries);
    // False when the file is there but could not be read (and was kept).
    bool LoadOwnFile();

    const std::string m_strPath;

private:
    const char* const m_pszClass;
    const char* const m_pszNoun;
    mutable std::mutex m_lock;
    std::set<std::string> m_entries;
};

class CUniquePersonList : public CUniqueList {
public:
    explicit CUniquePersonList(const std::string& strScheduleFolder);
    // The process's list for the folder, made and loaded on first use.
    static std::shared_ptr<CUniquePersonList> GetShared(const std::string& strScheduleFolder);
    // Forgets the shared list; the next GetShared loads it from the file again.
    static void DropShared();
    // Saves the shared list, if there is one, and drops it.
    static void ReleaseShared();
};

class CUniqueProgrammeList : public CUniqueList {
public:
    explicit CUniqueProgrammeList(const std::string& strScheduleFolder);
    static std::shared_ptr<CUniqueProgrammeList> GetShared(const std::string& strScheduleFolder);
    static void DropShared();
    static void ReleaseShared();

protected:
    // "programs.uq": a count and that many texts; read once, then deleted.
    bool LoadOlderFile() override;
    void DeleteOlderFile() override;

private:
    const std::string m_strOlderPath;
};
