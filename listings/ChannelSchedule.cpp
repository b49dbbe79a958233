#include "listings/ChannelSchedule.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/Log.h"
#include "platform/Process.h"

namespace {

constexpr int kOpenAttempts = 101;
constexpr int kRenameRetries = 100;
constexpr uint32_t kRetryDelayMs = 50;
constexpr uint32_t kNoListingsMargin = 1800;
constexpr uint32_t kPlaceholderCategory = 33;
constexpr size_t kCacheBuckets = 1559;

std::string ChannelFile(const std::string& folder, uint32_t channelID, const char* extension) {
    return folder + std::to_string(channelID) + extension;
}

uint32_t SubtractClamped(uint32_t t, uint32_t n) { return t >= n ? t - n : 0; }
uint32_t AddClamped(uint32_t t, uint32_t n) { return t <= UINT32_MAX - n ? t + n : UINT32_MAX; }

}  // namespace

CChannelSchedule::CChannelSchedule(std::string strScheduleFolder, uint32_t uChannelID, bool bCaching,
                                   std::function<bool()> isUpdating)
    : m_uChannelID(uChannelID), m_strFolder(std::move(strScheduleFolder)),
      m_strPath(ChannelFile(m_strFolder, uChannelID, ".dat")), m_bCaching(bCaching),
      m_isUpdating(std::move(isUpdating)),
      m_pOwnAssignment(std::make_shared<CChannelAssignment>(0, uChannelID, std::string(), std::string())) {
    if (m_bCaching) m_cache.reserve(kCacheBuckets);
}

// ---- Reading the index ----

bool CChannelSchedule::Load() {
    std::lock_guard<std::mutex> lock(m_lock);
    return LoadIndex();
}

void CChannelSchedule::ClearIndex() {
    m_index.clear();
    m_uDataOffset = 0;
    m_uDataSize = 0;
    m_header = ScheduleHeader{};
}

// A rewrite that stopped between its two renames leaves the previous listings in ".old" and no
// ".dat": put them back rather than read the channel as empty.
void CChannelSchedule::RestoreInterruptedRewrite() {
    if (plat::FileExists(m_strPath)) return;
    const std::string old = ChannelFile(m_strFolder, m_uChannelID, ".old");
    if (!plat::FileExists(old)) return;
    if (plat::MoveFileReplacing(old, m_strPath))
        LogWarning("CChannelSchedule::Load channel %u - restored %s from an interrupted rewrite", m_uChannelID,
                   m_strPath.c_str());
    else
        LogWarning("CChannelSchedule::Load channel %u - failed to restore %s because: %s", m_uChannelID,
                   old.c_str(), FormatLastError().c_str());
}

bool CChannelSchedule::LoadIndex() {
    LogTrace("CChannelSchedule::Load channel %u", m_uChannelID);
    RestoreInterruptedRewrite();
    plat::FileTimes times;
    if (!plat::GetFileTimes(m_strPath, times)) {
        ClearIndex();
        m_bHaveWriteTime = false;
        LogTrace("CChannelSchedule::Load channel %u - finished", m_uChannelID);
        return true;
    }
    if (m_bHaveWriteTime && times.lastWrite == m_lastWrite) {
        LogTrace("CChannelSchedule::Load channel %u - finished", m_uChannelID);
        return true;
    }
    m_lastWrite = times.lastWrite;
    m_bHaveWriteTime = true;

    LogTrace("CChannelSchedule::Load channel %u - Loading...", m_uChannelID);
    ClearIndex();
    m_cache.clear();
    LogTrace("CChannelSchedule::Load channel %u - opened...", m_uChannelID);
    CFileStoreLocked file;
    bool ok = true;
    if (OpenChannelFile(file)) {
        ok = ReadIndex(file);
    } else if (plat::FileExists(m_strPath)) {
        LogWarning("CChannelSchedule::Load channel %u - could not open %s", m_uChannelID, m_strPath.c_str());
        ok = false;
    }
    if (!ok) {
        ClearIndex();
        m_bHaveWriteTime = false;   // try again next time
    }
    LogTrace("CChannelSchedule::Load channel %u - closed...", m_uChannelID);
    LogTrace("CChannelSchedule::Load channel %u - finished", m_uChannelID);
    return ok;
}

// Reads the header and index. False only when the file could not be read; a file whose content
// does not hold together reads as empty.
bool CChannelSchedule::ReadIndex(CFileStoreLocked& file) {
    enum { kHeader, kIndex, kAfter } stage = kHeader;
    const char* path = m_strPath.c_str();
    try {
        const uint64_t size = file.GetLength();
        if (size < kScheduleHeaderSize) {
            LogWarning("Failed to read header information from '%s' because '%s'", path,
                       "the file is shorter than its header");
            return true;
        }
        uint8_t raw[kScheduleHeaderSize];
        file.Read(raw, kScheduleHeaderSize);
        m_header = DecodeScheduleHeader(raw);
        LogTrace("CChannelSchedule::Read header - Load last update ID %u", m_header.lastUpdateId);
        if (m_header.version == kScheduleOldVersion) {
            m_header = ScheduleHeader{};
            LogInfo("CChannelSchedule::Old version schedule file '%s' - ignoring...will be overwritten", path);
            return true;
        }
        const uint32_t count = m_header.entryCount;
        LogTrace("CChannelSchedule::Reading data file structure %s [%u items]", path, count);
        if (count == 0) return true;
        const uint64_t dataOffset = kScheduleHeaderSize + uint64_t(count) * kScheduleIndexEntrySize;
        if (dataOffset > size) {
            LogWarning("CChannelSchedule::Load Tried to read beyond the file");
            ClearIndex();
            return true;
        }
        if (m_header.version > kScheduleVersion) return true;

        stage = kIndex;
        std::vector<uint8_t> bytes(size_t(count) * kScheduleIndexEntrySize);
        file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        if (ScheduleIndexChecksum(m_header.version, bytes.data(), bytes.size()) != m_header.indexCrc)
            LogWarning("CChannelSchedule::CRC failure when reading data file %s", path);
        m_index = DecodeScheduleIndex(bytes.data(), count);
        LogTrace("CChannelSchedule::Read %u index items from %s", count, path);
        m_uDataOffset = static_cast<uint32_t>(dataOffset);
        m_uDataSize = size - dataOffset;

        stage = kAfter;
        file.Close();
        return true;
    } catch (CBaseException* e) {
        if (stage == kHeader)
            LogWarning("Failed to read header information from '%s' because '%s'", path, e->GetText());
        else if (stage == kIndex)
            LogWarning("Failed to read index from '%s' because '%s'", path, e->GetText());
        else
            LogWarning("Failed to read file %s because: %s", path, e->GetText());
        e->Delete();
        return false;
    }
}

// Opens the live file for reading with writers shut out, waiting while a writer holds it.
bool CChannelSchedule::OpenChannelFile(CFileStoreLocked& file) {
    if (m_strPath.empty() || !plat::FileExists(m_strPath)) return false;
    for (int attempt = 1;; ++attempt) {
        try {
            file.Open(m_strPath, storeRead | storeBinary);
            return true;
        } catch (CFileStoreLockedException* e) {
            LogDetail("CChannelSchedule::OpenChannelFile Failed to read open file %s - reason:%s, retrying (normal)",
                      m_strPath.c_str(), e->GetText());
            e->Delete();
        }
        if (attempt == kOpenAttempts) return false;
        plat::Sleep(kRetryDelayMs);
    }
}

CChannelSchedule::ReadResult CChannelSchedule::LoadProgramme(CFileStoreLocked& file, const ScheduleIndexEntry& entry,
                                                             const CChannelAssignmentPtr& pAssignment, bool bUseCache,
                                                             CProgrammePtr& out) {
    out.reset();
    if (m_uDataOffset == 0) {
        LogWarning("CChannelSchedule::LoadProgramme Error - on channel [%u], initial offset 0 ", m_uChannelID);
        return ReadResult::kFailed;
    }
    const CacheKey key{pAssignment.get(), entry.start};
    if (bUseCache && m_bCaching) {
        const auto it = m_cache.find(key);
        if (it != m_cache.end()) {
            out = it->second;
            return ReadResult::kOk;
        }
    }
    if (entry.length < kScheduleRecordFixedSize || uint64_t(entry.offset) + entry.length > m_uDataSize) {
        LogWarning("CChannelSchedule::LoadProgramme Error - record of %u bytes at %u lies outside the data of %s",
                   entry.length, entry.offset, m_strPath.c_str());
        return ReadResult::kDamaged;
    }
    m_buffer.resize(entry.length);
    try {
        file.SetPosition(m_uDataOffset + entry.offset);
        file.Read(m_buffer.data(), entry.length);
    } catch (CBaseException* e) {
        LogWarning("CChannelSchedule::LoadProgramme Error - Failed to read an entire programme from file [%u] %s because: %s",
                   m_uChannelID, m_strPath.c_str(), e->GetText());
        e->Delete();
        return ReadResult::kFailed;
    }
    ScheduleRecord record;
    if (!DecodeScheduleRecord(m_buffer.data(), m_buffer.size(), record)) {
        LogWarning("CChannelSchedule::LoadProgramme Error - record of %u bytes at %u in %s does not match its counts",
                   entry.length, entry.offset, m_strPath.c_str());
        return ReadResult::kDamaged;
    }
    if (record.start != entry.start || record.end != entry.end) {
        LogWarning("Failed to properly read data from file %s - recommend it is deleted", m_strPath.c_str());
        return ReadResult::kDamaged;
    }
    out = std::make_shared<CProgramme>(std::move(record.title), std::move(record.description), record.categoryId,
                                       entry.start, entry.end, record.programmeId, m_uChannelID, pAssignment,
                                       std::move(record.keywords), entry.updated);
    if (bUseCache && m_bCaching) m_cache[key] = out;
    return ReadResult::kOk;
}

void CChannelSchedule::FlushProgrammeCache() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_cache.clear();
}

// ---- Whole-file reading and writing ----

bool CChannelSchedule::GetAllProgrammes(CProgrammeList& list, uint32_t uCutOff) {
    LogTrace("CChannelSchedule::GetAllProgrammes channel %u", m_uChannelID);
    list.RemoveAll();
    std::lock_guard<std::mutex> lock(m_lock);
    CFileStoreLocked file;
    if (!LoadIndex() || !OpenChannelFile(file)) {
        if (!plat::FileExists(m_strPath)) return true;   // no listings stored yet
        LogWarning("CChannelSchedule::GetAllProgrammes channel %u - Failed to open file %s", m_uChannelID,
                   m_strPath.c_str());
        return false;
    }
    LogTrace("CChannelSchedule::GetAllProgrammes opened %u", m_uChannelID);
    try {
        for (const ScheduleIndexEntry& entry : m_index) {
            if (entry.end <= uCutOff) continue;
            CProgrammePtr programme;
            const ReadResult result = LoadProgramme(file, entry, m_pOwnAssignment, true, programme);
            if (result == ReadResult::kOk) {
                list.Add(std::move(programme));
            } else if (result == ReadResult::kDamaged) {
                LogWarning("CChannelSchedule::GetAllProgrammes channel %u - skipped a damaged programme", m_uChannelID);
            } else {
                LogWarning("Failed to read required programme from channel %u", m_uChannelID);
                list.RemoveAll();
                return false;
            }
        }
        file.Close();
    } catch (CBaseException* e) {
        LogWarning("CChannelSchedule::GetAllProgrammes channel %u failed because: %s", m_uChannelID, e->GetText());
        e->Delete();
        list.RemoveAll();
        return false;
    }
    LogTrace("CChannelSchedule::GetAllProgrammes closed %u", m_uChannelID);
    LogTrace("CChannelSchedule::GetAllProgrammes channel %u - finished", m_uChannelID);
    return true;
}

bool CChannelSchedule::MoveWithRetries(const std::string& strFrom, const std::string& strTo) {
    for (int retry = 0;; ++retry) {
        if (plat::MoveFileReplacing(strFrom, strTo)) return true;
        if (retry == kRenameRetries) return false;
        LogWarning("CChannelSchedule::SetAllProgrammes retrying to move file %s to %s because: %s", strFrom.c_str(),
                   strTo.c_str(), FormatLastError().c_str());
        plat::Sleep(kRetryDelayMs);
    }
}

bool CChannelSchedule::SetAllProgrammes(const CProgrammeList& list, uint32_t uLastUpdateTime, uint32_t uUpdateID) {
    std::lock_guard<std::mutex> lock(m_lock);
    LogDetail("CChannelSchedule::SetAllProgrammes channel %u, update ID %u", m_uChannelID, uUpdateID);
    m_bHaveWriteTime = false;
    const std::string newPath = ChannelFile(m_strFolder, m_uChannelID, ".new");
    const std::string oldPath = ChannelFile(m_strFolder, m_uChannelID, ".old");

    // The data area and the index, built in memory, in start order (the index is searched by it).
    std::vector<CProgrammePtr> programmes(list.begin(), list.end());
    std::stable_sort(programmes.begin(), programmes.end(),
                     [](const CProgrammePtr& a, const CProgrammePtr& b) { return a->GetStartTime() < b->GetStartTime(); });
    std::vector<ScheduleIndexEntry> index;
    index.reserve(programmes.size());
    std::vector<uint8_t> data;
    bool fits = true;
    for (const CProgrammePtr& programme : programmes) {
        data.push_back(0xFF);
        data.push_back(0xFF);
        const std::vector<uint8_t> record = EncodeScheduleRecord(*programme);
        index.push_back(ScheduleIndexEntry{programme->GetStartTime(), programme->GetEndTime(),
                                           programme->GetUpdateDate(), static_cast<uint32_t>(data.size()),
                                           static_cast<uint32_t>(record.size())});
        data.insert(data.end(), record.begin(), record.end());
        data.push_back(0xFF);
        data.push_back(0xFF);
        if (data.size() + kScheduleHeaderSize + uint64_t(index.size()) * kScheduleIndexEntrySize > UINT32_MAX) {
            fits = false;
            break;
        }
    }
    const std::vector<uint8_t> indexBytes = EncodeScheduleIndex(index);
    const ScheduleHeader header{kScheduleVersion, ScheduleIndexChecksum(kScheduleVersion, indexBytes.data(), indexBytes.size()),
                                0, uUpdateID, uLastUpdateTime, static_cast<uint32_t>(index.size())};
    uint8_t headerBytes[kScheduleHeaderSize];
    EncodeScheduleHeader(header, headerBytes);

    bool written = false;
    if (!fits) {
        LogWarning("Failed to write data for channel %u because: %s", m_uChannelID, "the listings are too large");
    } else {
        CFileStoreLocked file;
        try {
            file.Open(newPath, storeWrite | storeBinary);
        } catch (CBaseException* e) {
            LogWarning("CChannelSchedule::SetAllProgrammes Failed to open %s for writing because: %s", newPath.c_str(),
                       e->GetText());
            e->Delete();
        }
        if (file.IsOpen()) {
            try {
                file.Write(headerBytes, kScheduleHeaderSize);
                file.Write(indexBytes.data(), static_cast<uint32_t>(indexBytes.size()));
                try {
                    file.Write(data.data(), static_cast<uint32_t>(data.size()));
                    file.Close();
                    written = true;
                } catch (CBaseException* e) {
                    LogWarning("Failed to write data for channel %u because: %s", m_uChannelID, e->GetText());
                    e->Delete();
                }
            } catch (CBaseException* e) {
                LogWarning("Failed to write index for channel %u because: %s", m_uChannelID, e->GetText());
                e->Delete();
            }
        }
    }
    if (!written) {
        LogWarning("CChannelSchedule::SetAllProgrammes failed");
        LogDetail("CChannelSchedule::SetAllProgrammes channel %u - finished", m_uChannelID);
        return false;
    }

    LogDetail("CChannelSchedule::SetAllProgrammes rename current to old for %s to %s", m_strPath.c_str(), oldPath.c_str());
    if (plat::FileExists(m_strPath) && !MoveWithRetries(m_strPath, oldPath)) {
        LogWarning("CChannelSchedule::SetAllProgrammes Failed to rename current to old for %s to %s", m_strPath.c_str(),
                   oldPath.c_str());
        return false;
    }
    if (!plat::FileExists(newPath)) {
        LogWarning("CChannelSchedule::SetAllProgrammes Failed, could not find %s to rename to %s", newPath.c_str(),
                   m_strPath.c_str());
        return false;
    }
    if (!MoveWithRetries(newPath, m_strPath)) {
        LogWarning("CChannelSchedule::SetAllProgrammes Failed to rename new to current");
        return false;
    }
    if (plat::FileExists(oldPath)) {
        if (plat::DeleteFile(oldPath)) m_cache.clear();
        else LogWarning("CChannelSchedule::SetAllProgrammes Failed to delete old file %s", oldPath.c_str());
    }
    LogDetail("CChannelSchedule::SetAllProgrammes channel %u - finished", m_uChannelID);
    return true;
}

// ---- Queries ----

bool CChannelSchedule::GetListingsBounds(uint32_t& uFirst, uint32_t& uLast) {
    std::lock_guard<std::mutex> lock(m_lock);
    LogTrace("CChannelSchedule::GetListingsBounds channel %u", m_uChannelID);
    LoadIndex();
    if (m_index.empty()) return false;
    uFirst = m_index.front().start;
    uLast = m_index.back().end;
    LogTrace("CChannelSchedule::GetListingsBounds Listings for channel ID %u run from %s to %s", m_uChannelID,
             CDateTime(uFirst).GetDateTimeText().c_str(), CDateTime(uLast).GetDateTimeText().c_str());
    return true;
}

// The position of the first entry to list from uFrom: the entry starting exactly then, or the
// one on air then (ending at or after it), or the first starting after it.
size_t CChannelSchedule::FindStart(uint32_t uFrom) const {
    const auto it = std::lower_bound(m_index.begin(), m_index.end(), uFrom,
                                     [](const ScheduleIndexEntry& e, uint32_t t) { return e.start < t; });
    size_t p = static_cast<size_t>(it - m_index.begin());
    const bool found = p < m_index.size() && m_index[p].start == uFrom;
    if (!found && p > 0 && m_index[p - 1].end >= uFrom) --p;
    return p;
}

CProgrammePtr CChannelSchedule::MakePlaceholder(int nKind, uint32_t uStart, uint32_t uEnd,
                                                const CChannelAssignmentPtr& pAssignment, int nPlace) const {
    std::string title;
    if (nKind == CProgramme::kGapPlaceholder) {
        if (!CProgramme::MakeResumeTitle(uEnd, title))
            LogWarning("  CChannelSchedule::Failed to GetLongDateText or GetTimeText [%u] - %d", m_uChannelID, nPlace);
    } else {
        title = m_isUpdating && m_isUpdating() ? "No listings available - currently updating, please wait"
                                               : "No listings available";
    }
    auto placeholder = std::make_shared<CProgramme>(std::move(title), std::string(), kPlaceholderCategory, uStart, uEnd,
                                                    0, m_uChannelID, pAssignment, std::vector<uint16_t>(), 0);
    placeholder->MarkPlaceholder(nKind);
    return placeholder;
}

bool CChannelSchedule::GetProgrammeList(uint32_t uFrom, uint32_t uTo, CProgrammeList& list,
                                        const CChannelAssignmentPtr& pAssignment, bool bPlaceholders) {
    std::lock_guard<std::mutex> lock(m_lock);
    LogTrace("CChannelSchedule::GetProgrammeList channel %u", m_uChannelID);
    LoadIndex();
    const size_t p = FindStart(uFrom);
    // Only what this call adds counts: the list may already hold other channels' programmes.
    const size_t first = list.GetCount();
    auto addedAny = [&] { return list.GetCount() > first; };

    CFileStoreLocked file;
    if (!m_index.empty() && OpenChannelFile(file)) {
        LogTrace("CChannelSchedule::GetProgrammeList opened %u", m_uChannelID);
        const size_t count = m_index.size();
        if (bPlaceholders && p < count && uFrom < m_index[p].start) {
            uint32_t gapStart = uFrom;
            if (p > 0) {
                gapStart = m_index[p - 1].end;
            } else {
                const CDateTime now = CDateTime::Now();
                const CDateTime monthStart = CDateTime::FromLocal(now.GetYear(), now.GetMonth(), 1, 0, 0, 0);
                if (monthStart.IsValid() && monthStart.GetTime() >= 0 && monthStart.GetTime() < m_index[p].start)
                    gapStart = static_cast<uint32_t>(monthStart.GetTime());
            }
            list.Add(MakePlaceholder(CProgramme::kGapPlaceholder, gapStart, m_index[p].start, pAssignment, 1));
        }
        bool walkedPastEnd = true;
        bool addedInWalk = false;
        uint32_t previousEnd = 0;
        for (size_t i = p; i < count; ++i) {
            const ScheduleIndexEntry& entry = m_index[i];
            if (entry.start < uTo) {
                if (bPlaceholders && addedInWalk && previousEnd < entry.start && addedAny())
                    list.Add(MakePlaceholder(CProgramme::kGapPlaceholder, previousEnd, entry.start, pAssignment, 2));
                CProgrammePtr programme;
                if (LoadProgramme(file, entry, pAssignment, true, programme) == ReadResult::kOk) {
                    previousEnd = programme->GetEndTime();
                    addedInWalk = true;
                    list.Add(std::move(programme));
                } else {
                    LogWarning("Failed to load programme");
                }
                continue;
            }
            walkedPastEnd = false;
            if (bPlaceholders && addedAny() && list.GetLast()->GetEndTime() < uTo) {
                const uint32_t gapStart = m_index[i > 0 ? i - 1 : 0].end;
                if (gapStart < entry.start)
                    list.Add(MakePlaceholder(CProgramme::kGapPlaceholder, gapStart, entry.start, pAssignment, 3));
            }
            break;
        }
        LogTrace("CChannelSchedule::GetProgrammeList closed %u", m_uChannelID);
        if (bPlaceholders && walkedPastEnd) {
            const uint32_t start = addedAny() ? list.GetLast()->GetEndTime() : SubtractClamped(uFrom, kNoListingsMargin);
            const uint32_t end = AddClamped(uTo, kNoListingsMargin);
            if (start < end) list.Add(MakePlaceholder(CProgramme::kNoListingsPlaceholder, start, end, pAssignment, 0));
        }
    } else if (bPlaceholders) {
        list.Add(MakePlaceholder(CProgramme::kNoListingsPlaceholder, SubtractClamped(uFrom, kNoListingsMargin),
                                 AddClamped(uTo, kNoListingsMargin), pAssignment, 0));
    }
    LogTrace("CChannelSchedule::GetProgrammeList channel %u - finished", m_uChannelID);
    return true;
}

bool CChannelSchedule::GetNextProgrammes(uint32_t uFrom, uint32_t nCount, CProgrammeList& list,
                                         const CChannelAssignmentPtr& pAssignment) {
    uint32_t to = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        LogTrace("CChannelSchedule::GetNextProgrammes channel %u", m_uChannelID);
        LoadIndex();
        const size_t p = FindStart(uFrom);
        if (nCount == 0 || p >= m_index.size()) return true;
        to = m_index[std::min<size_t>(p + nCount, m_index.size()) - 1].end;
    }
    const size_t first = list.GetCount();
    GetProgrammeList(uFrom, to, list, pAssignment, false);
    if (list.GetCount() - first == 2 && !list.GetAt(first)->IsOnNow()) list.RemoveAt(first + 1);
    return true;
}

void CChannelSchedule::GetProgrammeUpdatesList(uint32_t uDay, CProgrammeList& list,
                                               const CChannelAssignmentPtr& pAssignment) {
    std::lock_guard<std::mutex> lock(m_lock);
    LogTrace("CChannelSchedule::GetProgrammeUpdatesList channel %u", m_uChannelID);
    LoadIndex();
    CFileStoreLocked file;
    if (!OpenChannelFile(file)) {
        LogTrace("CChannelSchedule::GetProgrammeUpdatesList channel %u - Failed to get file handle", m_uChannelID);
        return;
    }
    LogTrace("CChannelSchedule::GetProgrammeUpdatesList opened %u", m_uChannelID);
    for (const ScheduleIndexEntry& entry : m_index) {
        if (entry.updated / 86400 != uDay / 86400) continue;
        CProgrammePtr programme;
        const ReadResult result = LoadProgramme(file, entry, pAssignment, false, programme);
        if (result == ReadResult::kFailed) {
            LogWarning("Failed to read required programme from channel %u", m_uChannelID);
            break;
        }
        if (result == ReadResult::kOk) list.Add(std::move(programme));
    }
    LogTrace("CChannelSchedule::GetProgrammeUpdatesList closed %u", m_uChannelID);
}

uint32_t CChannelSchedule::GetLastUpdateID() {
    std::lock_guard<std::mutex> lock(m_lock);
    LoadIndex();
    LogTrace("CChannelSchedule::GetLastUpdateID channel %u, %u", m_uChannelID, m_header.lastUpdateId);
    return m_header.lastUpdateId;
}

uint32_t CChannelSchedule::GetLastUpdateTime() {
    std::lock_guard<std::mutex> lock(m_lock);
    LoadIndex();
    return m_header.lastUpdateTime;
}

uint32_t CChannelSchedule::GetLastUpdateDate() {
    std::lock_guard<std::mutex> lock(m_lock);
    LogTrace("CChannelSchedule::GetLastUpdateDate channel %u", m_uChannelID);
    LoadIndex();
    LogTrace("CChannelSchedule::GetLastUpdateDate opened %u", m_uChannelID);
    uint32_t latest = 0;
    for (const ScheduleIndexEntry& entry : m_index) latest = std::max(latest, entry.updated);
    LogTrace("CChannelSchedule::GetLastUpdateDate closed %u", m_uChannelID);
    return latest;
}
