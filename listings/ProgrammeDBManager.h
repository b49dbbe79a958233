// The process's programme database manager: started once at start-up with the schedule,
// pending and application folders, it holds the keyword list and the programme database and
// offers the files left in the pending folder to the absorber.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "listings/KeywordList.h"
#include "listings/ProgrammeDB.h"

class CProgrammeDBManager {
public:
    static CProgrammeDBManager& Instance();

    // Folders end in "/". Loads the keywords, makes the database and queues the pending files.
    // False after a failure, which is logged; the database is made all the same.
    bool Start(const std::string& strScheduleFolder, const std::string& strPendingFolder,
               const std::string& strApplicationFolder, ProgrammeDBHooks hooks = {});
    // Stops the absorber, drops the database, the keywords, the channels and the unique lists.
    void Close();
    void ReloadKeywords();

    // Null until started and after closing.
    CProgrammeDBFlat* GetDatabase() const;
    CKeywordList& GetKeywords() { return m_keywords; }

private:
    void AbsorbPendingFiles();

    mutable std::mutex m_lock;
    std::string m_strScheduleFolder;
    std::string m_strPendingFolder;
    std::string m_strApplicationFolder;
    CKeywordList m_keywords;
    std::unique_ptr<CProgrammeDBFlat> m_pDatabase;
};

// The order in which pending files are absorbed: update files of one channel by update id,
// others by name, and a "pln" file only once no file left has a smaller number (read from its
// fourth character of the name on). Names may carry their folder.
std::vector<std::string> OrderPendingFiles(std::vector<std::string> names);
