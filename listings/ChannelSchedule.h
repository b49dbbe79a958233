// One channel's listings file in the schedule folder: keeps the file's index in memory, reads
// programme records on demand (caching the programmes it builds), answers the per-channel
// questions of the programme database with placeholders for gaps, and rewrites the whole file
// safely when new listings are absorbed. Every operation holds the object's lock and first
// brings the index up to date with the file.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "listings/Programme.h"
#include "listings/ScheduleFormat.h"
#include "platform/File.h"

class CFileStoreLocked;

class CChannelSchedule {
public:
    // The schedule folder ends in "/". isUpdating, when given, tells whether a listings update
    // is under way, which the "No listings available" placeholders mention.
    CChannelSchedule(std::string strScheduleFolder, uint32_t uChannelID, bool bCaching,
                     std::function<bool()> isUpdating = {});
    CChannelSchedule(const CChannelSchedule&) = delete;
    CChannelSchedule& operator=(const CChannelSchedule&) = delete;

    uint32_t GetChannelID() const { return m_uChannelID; }
    const std::string& GetFilePath() const { return m_strPath; }

    // Rereads the index when the file changed. A missing file makes the channel empty. False
    // when the file exists but could not be opened or read; the next call then tries again.
    bool Load();

    // All programmes ending after the cut-off, in file order. False (and an empty list) when the
    // file exists but could not be read, so that nothing is rewritten from a partial view;
    // a missing file gives true and an empty list. Records that are damaged are skipped.
    bool GetAllProgrammes(CProgrammeList& list, uint32_t uCutOff);
    // Writes the programmes (sorted by start) to a new file and rotates it into place. True when
    // the new file is in place; every failure is logged and leaves the stored listings readable.
    bool SetAllProgrammes(const CProgrammeList& list, uint32_t uLastUpdateTime, uint32_t uUpdateID);

    // False when the channel has no programmes.
    bool GetListingsBounds(uint32_t& uFirst, uint32_t& uLast);
    // Appends the programmes of [from, to) to the list, starting with the one on air at "from";
    // with placeholders on, gaps and missing listings are filled with placeholder programmes.
    bool GetProgrammeList(uint32_t uFrom, uint32_t uTo, CProgrammeList& list,
                          const CChannelAssignmentPtr& pAssignment, bool bPlaceholders);
    // Appends the programme on air at "from" and those after it, count in all.
    bool GetNextProgrammes(uint32_t uFrom, uint32_t nCount, CProgrammeList& list,
                           const CChannelAssignmentPtr& pAssignment);
    // Appends the programmes absorbed on the same UTC day as uDay.
    void GetProgrammeUpdatesList(uint32_t uDay, CProgrammeList& list, const CChannelAssignmentPtr& pAssignment);

    uint32_t GetLastUpdateID();
    uint32_t GetLastUpdateTime();
    uint32_t GetLastUpdateDate();   // the latest absorption time of a programme, 0 when empty

    void FlushProgrammeCache();

private:
    enum class ReadResult { kOk, kDamaged, kFailed };
    struct CacheKey {
        const void* assignment;
        uint32_t start;
        bool operator==(const CacheKey&) const = default;
    };
    struct CacheKeyHash {
        size_t operator()(const CacheKey& k) const {
            return std::hash<const void*>()(k.assignment) * 31 + k.start;
        }
    };

    bool LoadIndex();
    bool ReadIndex(CFileStoreLocked& file);
    void ClearIndex();
    void RestoreInterruptedRewrite();
    bool OpenChannelFile(CFileStoreLocked& file);
    ReadResult LoadProgramme(CFileStoreLocked& file, const ScheduleIndexEntry& entry,
                             const CChannelAssignmentPtr& pAssignment, bool bUseCache, CProgrammePtr& out);
    size_t FindStart(uint32_t uFrom) const;
    CProgrammePtr MakePlaceholder(int nKind, uint32_t uStart, uint32_t uEnd, const CChannelAssignmentPtr& pAssignment,
                                  int nPlace) const;
    bool MoveWithRetries(const std::string& strFrom, const std::string& strTo);

    const uint32_t m_uChannelID;
    const std::string m_strFolder;
    const std::string m_strPath;
    const bool m_bCaching;
    const std::function<bool()> m_isUpdating;
    const CChannelAssignmentPtr m_pOwnAssignment;   // carries only the channel id

    std::mutex m_lock;
    bool m_bHaveWriteTime = false;   // the index reflects the file as last written at m_lastWrite
    plat::FileTime m_lastWrite = 0;
    std::vector<ScheduleIndexEntry> m_index;
    uint32_t m_uDataOffset = 0;      // 0: no record can be read
    uint64_t m_uDataSize = 0;
    ScheduleHeader m_header;
    std::vector<uint8_t> m_buffer;
    std::unordered_map<CacheKey, CProgrammePtr, CacheKeyHash> m_cache;
};
