// The programme database: one CChannelSchedule per channel, made on first use and kept while
// the database is open, the background absorber that merges downloaded listings into them, the
// listings span (cached in "cacheddata.dat"), and the questions the rest of the program asks:
// programmes of a time range, on now and next, and whether a channel is out of date.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "listings/ChannelGroups.h"
#include "listings/ChannelSchedule.h"
#include "listings/Programme.h"
#include "listings/UpdateFile.h"

class CProgrammesDatabaseBackgroundProcess;
class CUniquePersonList;
class CUniqueProgrammeList;

// What the database asks of its owner. Every member may be left empty.
struct ProgrammeDBHooks {
    // Whether a listings update is under way (the "No listings available" placeholders say so).
    std::function<bool()> isUpdating;
    // The line-up of the all-channel operations; empty means the groups of CChannelGroups.
    std::function<void(CChannelAssignmentList&)> fillLineUp;
    // Called on the absorber's thread when it has been quiet for a while after absorbing.
    std::function<void()> onListingsAbsorbed;
    // Called on the absorber's thread once per file it took from the queue: the path, and
    // "absorbed" or why the file was not.
    std::function<void(const std::string&, const std::string&)> onFileProcessed;
};

// The lists of several channels, each with the line-up entry it is for.
using ChannelProgrammeMap = std::vector<std::pair<CChannelAssignmentPtr, CProgrammeList>>;

inline constexpr char kCachedSpanFile[] = "cacheddata.dat";

class CProgrammeDBFlat {
public:
    // Folders end in "/".
    CProgrammeDBFlat(std::string strScheduleFolder, std::string strPendingFolder, ProgrammeDBHooks hooks = {});
    ~CProgrammeDBFlat();
    CProgrammeDBFlat(const CProgrammeDBFlat&) = delete;
    CProgrammeDBFlat& operator=(const CProgrammeDBFlat&) = delete;

    // Stops the absorber, waiting for the file in hand; files offered later are not queued.
    void Close();
    void FlushProgrammeCaches();

    // True when the channel's file was last updated before the remote time (or does not exist).
    bool IsChannelOutOfDate(uint32_t uChannelID, uint32_t uRemoteTime);
    uint32_t GetChannelLastUpdateID(uint32_t uChannelID);
    uint32_t GetChannelLastUpdateDate(uint32_t uChannelID);
    uint32_t GetLineUpLastUpdateDate();

    // Merges already built programmes into one channel and rewrites its file; stored programmes
    // ending at or before the cut-off are dropped. False when the file could not be read or
    // written (it is then left as it was).
    bool UpdateChannelProgrammes(uint32_t uChannelID, const CProgrammeList& programmes, uint32_t uLastUpdateTime,
                                 uint32_t uUpdateID, uint32_t uCutOff);

    // Whether the pending file "<channel>-<update>.up" waits in the absorber or is being absorbed.
    bool IsUpdateFileQueued(uint32_t uChannelID, uint32_t uUpdateID) const;
    // True while the absorber has files waiting or in hand.
    bool IsAbsorberBusy() const;
    // Hands a pending file to the absorber, which deletes it once it is dealt with.
    void AbsorbFile(const std::string& strPath);
    // The absorber's time of quiet before it reports new listings (a minute unless changed).
    void SetAbsorberQuietPeriod(uint32_t uMilliseconds);

    // Merges each channel's plan into its file. The span is forgotten (and its file deleted)
    // before and after. Planned programmes without a valid start are skipped. The unique lists
    // may be null. A channel that fails is logged and left as it was; the others go on.
    bool AbsorbChannelPlans(const ListingsPlan& plan, uint32_t uLastUpdateTime, uint32_t uUpdateID,
                            CUniqueProgrammeList* pProgrammes, CUniquePersonList* pPeople, uint32_t uCutOff);

    // The first start and last end of all listings of the line-up, from "cacheddata.dat" when
    // it is there, otherwise worked out (starting from now) and written to it.
    void GetListingsBounds(uint32_t& uFirst, uint32_t& uLast);
    bool IsListingsEmpty();

    // The programmes of [from, to) of one line-up entry, or of every entry of the line-up in
    // order when pAssignment is null. The list is emptied first; it stays empty when the range
    // ends before it starts.
    void GetProgrammeList(const CChannelAssignmentPtr& pAssignment, uint32_t uFrom, uint32_t uTo, CProgrammeList& list,
                          bool bPlaceholders);
    // Fills each entry's list with [from, to), placeholders included.
    void GetChannelProgrammeMap(ChannelProgrammeMap& map, uint32_t uFrom, uint32_t uTo);
    // Fills each entry's list with the programme on at "from" and those after it, count in all.
    void GetNextProgsChannelProgrammesMap(ChannelProgrammeMap& map, uint32_t uFrom, uint32_t nCount);
    // The programmes absorbed on the UTC day of uDay, for each entry.
    void GetProgrammeUpdatesOfDay(uint32_t uDay, CProgrammeList& list, const CChannelAssignmentList& assignments);

    // Adds a programme to a list in start order; the newest programme wins every overlap: one
    // at the same start is replaced, and every programme overlapping the new one is removed.
    static void AddWithMergeRule(CProgrammeList& list, CProgrammePtr pProgramme);

    const std::string& GetScheduleFolder() const { return m_strScheduleFolder; }
    const std::string& GetPendingFolder() const { return m_strPendingFolder; }

    // For the absorber.
    void NotifyListingsAbsorbed() const;
    void NotifyFileProcessed(const std::string& strPath, const std::string& strResult) const;

private:
    // The channel's schedule, made and loaded on first use.
    CChannelSchedule& GetSchedule(uint32_t uChannelID);
    void FillLineUp(CChannelAssignmentList& list) const;
    // Drops the span and its file; takes the database lock.
    void ForgetListingsBounds();
    bool MergeIntoChannel(uint32_t uChannelID, const std::vector<CProgrammePtr>& programmes,
                          uint32_t uLastUpdateTime, uint32_t uUpdateID, uint32_t uCutOff, const char* pszOperation);

    const std::string m_strScheduleFolder;
    const std::string m_strPendingFolder;
    const ProgrammeDBHooks m_hooks;

    std::mutex m_cacheLock;   // only while a schedule is found or made
    std::unordered_map<uint32_t, std::unique_ptr<CChannelSchedule>> m_schedules;

    std::mutex m_dbLock;      // the span and its file
    uint32_t m_uFirst = 0;
    uint32_t m_uLast = 0;

    // Last, so that it stops before anything it uses goes.
    std::unique_ptr<CProgrammesDatabaseBackgroundProcess> m_pAbsorber;
};
