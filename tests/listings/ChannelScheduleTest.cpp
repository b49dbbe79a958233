#include "listings/ChannelSchedule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "foundation/CRC.h"
#include "foundation/DeploymentKeys.h"
#include "foundation/FileStore.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/Tea.h"
#include "listings/ScheduleDump.h"
#include "platform/Clock.h"
#include "platform/Process.h"

namespace {

constexpr uint32_t kChannel = 21;
constexpr uint32_t kHour = 3600;
// Saturday 30 March 2024 10:00 UTC (GMT); summer time starts the next morning at 01:00 UTC.
constexpr uint32_t kT0 = 1711792800;

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The index checksum bit by bit, as a check on the table-driven one.
uint32_t BitwiseIndexCrc(const uint8_t* p, size_t n) {
    uint32_t r = 0;
    for (size_t i = 0; i < n; ++i) {
        r ^= uint32_t(p[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB6u : r << 1;
    }
    return r;
}

CProgrammePtr Programme(const std::string& title, uint32_t start, uint32_t end, uint32_t id = 1,
                        std::string description = "", std::vector<uint16_t> keywords = {}, uint32_t updated = kT0) {
    return std::make_shared<CProgramme>(title, std::move(description), 5, start, end, id, kChannel, nullptr,
                                        std::move(keywords), updated);
}

std::vector<std::string> Titles(const CProgrammeList& list) {
    std::vector<std::string> titles;
    for (const auto& p : list) titles.push_back(p->GetTitle());
    return titles;
}

class ChannelScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        m_folder = plat::TempFolder() + "qvl-listings-" + std::to_string(plat::GetCurrentProcessId()) + "-" +
                   std::to_string(counter++) + "/";
        ASSERT_TRUE(plat::CreateDirectory(m_folder));
        m_log = m_folder + "log.txt";
        InitLogging("", "", m_log, 3, false);
        m_dat = m_folder + std::to_string(kChannel) + ".dat";
    }
    void TearDown() override {
        InitLogging("", "", "", 0, false);
        for (const auto& f : plat::FindFiles(m_folder + "*")) plat::DeleteFile(m_folder + f.name);
        plat::RemoveDirectory(m_folder);
    }

    std::string Log() const {
        std::string text;
        ReadWholeFile(m_log, text);
        return text;
    }
    void ClearLog() const { plat::DeleteFile(m_log); }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    std::unique_ptr<CChannelSchedule> Schedule(std::function<bool()> updating = {}) const {
        return std::make_unique<CChannelSchedule>(m_folder, kChannel, true, std::move(updating));
    }

    // Writes the programmes through a schedule object, as the absorber does.
    void Store(const std::vector<CProgrammePtr>& programmes, uint32_t updateTime = kT0, uint32_t updateID = 7) const {
        CProgrammeList list;
        for (const auto& p : programmes) list.Add(p);
        ASSERT_TRUE(Schedule()->SetAllProgrammes(list, updateTime, updateID));
    }

    std::vector<uint8_t> FileBytes() const {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(ReadWholeFile(m_dat, bytes));
        return bytes;
    }
    void WriteBytes(const std::vector<uint8_t>& bytes) const {
        ASSERT_TRUE(WriteTextFile(m_dat, std::string(bytes.begin(), bytes.end())));
    }

    std::string m_folder, m_log, m_dat;
};

TEST_F(ChannelScheduleTest, RewrittenFileReadsBackTheSameProgrammes) {
    const std::string longTitle = std::string(65534, 'a') + "\xC3\xA9" + "tail";   // cut inside "é"
    Store({Programme("News", kT0, kT0 + kHour, 101, "Headlines. (Subtitles)", {3, 700}, kT0 - 50),
           Programme("", kT0 + kHour, kT0 + 2 * kHour, 102, "", {}, kT0 - 40),
           Programme(longTitle, kT0 + 2 * kHour, kT0 + 3 * kHour, 103, "x", {}, kT0 - 30)},
          kT0 + 99, 4242);

    auto fresh = Schedule();
    CProgrammeList all;
    ASSERT_TRUE(fresh->GetAllProgrammes(all, 0));
    ASSERT_EQ(all.GetCount(), 3u);
    const CProgramme& news = *all.GetAt(0);
    EXPECT_EQ(news.GetTitle(), "News");
    EXPECT_EQ(news.GetScheduleDescription(), "Headlines. (Subtitles)");
    EXPECT_EQ(news.GetCategoryID(), 5u);
    EXPECT_EQ(news.GetStartTime(), kT0);
    EXPECT_EQ(news.GetEndTime(), kT0 + kHour);
    EXPECT_EQ(news.GetProgrammeID(), 101u);
    EXPECT_EQ(news.GetChannelID(), kChannel);
    EXPECT_EQ(news.GetKeywords(), (std::vector<uint16_t>{3, 700}));
    EXPECT_EQ(news.GetUpdateDate(), kT0 - 50);
    EXPECT_EQ(all.GetAt(1)->GetTitle(), "");
    EXPECT_EQ(all.GetAt(2)->GetTitle(), std::string(65534, 'a'));   // cut at a character boundary
    EXPECT_EQ(fresh->GetLastUpdateID(), 4242u);
    EXPECT_EQ(fresh->GetLastUpdateTime(), kT0 + 99);
    EXPECT_EQ(fresh->GetLastUpdateDate(), kT0 - 30);
    uint32_t first = 0, last = 0;
    ASSERT_TRUE(fresh->GetListingsBounds(first, last));
    EXPECT_EQ(first, kT0);
    EXPECT_EQ(last, kT0 + 3 * kHour);

    // The cut-off drops programmes that ended at or before it.
    ASSERT_TRUE(fresh->GetAllProgrammes(all, kT0 + kHour));
    EXPECT_EQ(all.GetCount(), 2u);
    EXPECT_FALSE(plat::FileExists(m_folder + "21.new"));
    EXPECT_FALSE(plat::FileExists(m_folder + "21.old"));

    std::string dump;
    ASSERT_TRUE(DumpScheduleFile(m_dat, true, dump));
    EXPECT_NE(dump.find("version 3, last update id 4242"), std::string::npos) << dump;
    EXPECT_NE(dump.find("index checksum"), std::string::npos);
    EXPECT_NE(dump.find("(good)"), std::string::npos);
    EXPECT_NE(dump.find("    0  2024-03-30T10:00:00Z  2024-03-30T11:00:00Z  updated 2024-03-30T09:59:10Z  offset 2  length 72"),
              std::string::npos) << dump;
    EXPECT_NE(dump.find("title \"News\"  category 5  programme 101  keywords 3,700"), std::string::npos) << dump;
}

TEST_F(ChannelScheduleTest, FileLayout) {
    EXPECT_EQ(ScheduleIndexChecksum(3, reinterpret_cast<const uint8_t*>("123456789"), 9), 0xE021D26Cu);
    Store({Programme("Film", kT0, kT0 + kHour, 9, "Plot", {1, 2, 3}, kT0 - 1), Programme("", kT0 + kHour, kT0 + 2 * kHour)},
          kT0 + 5, 77);
    const std::vector<uint8_t> bytes = FileBytes();
    ASSERT_GE(bytes.size(), 64u);
    const uint8_t* h = bytes.data();
    EXPECT_EQ(Get32(h), 3u);
    EXPECT_EQ(Get32(h + 8), 0u);
    EXPECT_EQ(Get32(h + 12), 77u);
    EXPECT_EQ(Get32(h + 16), kT0 + 5);
    ASSERT_EQ(Get32(h + 20), 2u);
    EXPECT_EQ(Get32(h + 4), BitwiseIndexCrc(h + 24, 40));

    const uint8_t* data = h + 64;
    const uint8_t* entry0 = h + 24;
    const uint8_t* entry1 = h + 44;
    const uint32_t length0 = 42 + 2 * 3 + 4 + 4;
    EXPECT_EQ(Get32(entry0), kT0);
    EXPECT_EQ(Get32(entry0 + 4), kT0 + kHour);
    EXPECT_EQ(Get32(entry0 + 8), kT0 - 1);
    EXPECT_EQ(Get32(entry0 + 12), 2u);
    EXPECT_EQ(Get32(entry0 + 16), length0);
    EXPECT_EQ(Get32(entry1 + 12), 2 + length0 + 4);
    EXPECT_EQ(Get32(entry1 + 16), 42u);
    ASSERT_EQ(bytes.size(), 64 + (2 + length0 + 2) + (2 + 42 + 2));
    for (const size_t marker : {size_t(0), size_t(2 + length0), size_t(4 + length0), bytes.size() - 64 - 2})
        EXPECT_EQ(Get16(data + marker), 0xFFFF) << marker;

    // The record is plain only in its format word; unscrambled, its fields sit where expected.
    std::vector<uint8_t> record(data + 2, data + 2 + length0);
    EXPECT_EQ(Get32(record.data()), 4u);
    EXPECT_NE(Get32(record.data() + 4), kT0);
    TeaDecipherBuffer(record.data() + 4, record.size() - 4, kScheduleRecordKey);
    const uint8_t* r = record.data();
    EXPECT_EQ(Get32(r + 4), kT0);
    EXPECT_EQ(Get32(r + 8), kT0 + kHour);
    EXPECT_EQ(Get16(r + 12), 5);
    EXPECT_EQ(Get32(r + 14), 9u);
    EXPECT_EQ(Get16(r + 22), 3);
    EXPECT_EQ(Get16(r + 24), 4);
    EXPECT_EQ(Get16(r + 26), 4);
    EXPECT_EQ(Get16(r + 40), 1);
    EXPECT_EQ(Get16(r + 44), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 46), 5), std::string("Film\0", 5));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 51), 5), std::string("Plot\0", 5));

    // A 42-byte record: four whole blocks from byte 4, then its last 8 bytes once more.
    uint8_t plain[42] = {};
    Put32(plain, 4);
    Put32(plain + 4, kT0 + kHour);
    Put32(plain + 8, kT0 + 2 * kHour);
    plain[12] = 5;
    plain[14] = 1;
    for (size_t block = 4; block + 8 <= 42; block += 8) TeaEncipherBlock(plain + block, kScheduleRecordKey);
    TeaEncipherBlock(plain + 34, kScheduleRecordKey);
    EXPECT_EQ(std::memcmp(data + 2 + length0 + 4, plain, 42), 0);
}

// A version-2 file written by hand, its index checked with the program's file CRC.
std::vector<uint8_t> HandBuiltFile(uint32_t version, const std::vector<CProgrammePtr>& programmes) {
    std::vector<ScheduleIndexEntry> index;
    std::vector<uint8_t> data;
    for (const auto& p : programmes) {
        const auto record = EncodeScheduleRecord(*p);
        data.insert(data.end(), {0xFF, 0xFF});
        index.push_back({p->GetStartTime(), p->GetEndTime(), p->GetUpdateDate(), uint32_t(data.size()), uint32_t(record.size())});
        data.insert(data.end(), record.begin(), record.end());
        data.insert(data.end(), {0xFF, 0xFF});
    }
    const auto indexBytes = EncodeScheduleIndex(index);
    std::vector<uint8_t> file(kScheduleHeaderSize);
    const uint32_t crc = version == 2 ? CalculateCRC(indexBytes.data(), indexBytes.size())
                                      : ScheduleIndexChecksum(version, indexBytes.data(), indexBytes.size());
    EncodeScheduleHeader({version, crc, 0, 3, kT0, uint32_t(index.size())}, file.data());
    file.insert(file.end(), indexBytes.begin(), indexBytes.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

TEST_F(ChannelScheduleTest, IndexChecksumsAndOldVersions) {
    const std::vector<CProgrammePtr> programmes = {Programme("A", kT0, kT0 + kHour), Programme("B", kT0 + kHour, kT0 + 2 * kHour)};
    for (const uint32_t version : {0u, 2u, 3u}) {
        SCOPED_TRACE(version);
        WriteBytes(HandBuiltFile(version, programmes));
        ClearLog();
        CProgrammeList list;
        ASSERT_TRUE(Schedule()->GetAllProgrammes(list, 0));
        EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));
        EXPECT_FALSE(Logged("CRC failure"));
    }

    // A flipped byte in the index (an "updated" time) is reported, and the index still used.
    std::vector<uint8_t> flipped = HandBuiltFile(3, programmes);
    flipped[24 + 8] ^= 0x40;
    WriteBytes(flipped);
    ClearLog();
    CProgrammeList list;
    auto schedule = Schedule();
    ASSERT_TRUE(schedule->GetProgrammeList(kT0, kT0 + 2 * kHour, list, nullptr, false));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(Logged("CChannelSchedule::CRC failure when reading data file " + m_dat)) << Log();
    std::string dump;
    ASSERT_TRUE(DumpScheduleFile(m_dat, false, dump));
    EXPECT_NE(dump.find("MISMATCH"), std::string::npos);

    // Version 1 reads as empty and the next rewrite makes it version 3.
    std::vector<uint8_t> old = HandBuiltFile(3, programmes);
    Put32(old.data(), 1);
    WriteBytes(old);
    ClearLog();
    schedule = Schedule();
    ASSERT_TRUE(schedule->GetAllProgrammes(list, 0));
    EXPECT_TRUE(list.IsEmpty());
    uint32_t first, last;
    EXPECT_FALSE(schedule->GetListingsBounds(first, last));
    EXPECT_EQ(schedule->GetLastUpdateID(), 0u);
    EXPECT_TRUE(Logged("Old version schedule file '" + m_dat + "' - ignoring...will be overwritten"));
    list.Add(Programme("C", kT0, kT0 + kHour));
    ASSERT_TRUE(schedule->SetAllProgrammes(list, kT0, 8));
    EXPECT_EQ(Get32(FileBytes().data()), 3u);
    ASSERT_TRUE(Schedule()->GetAllProgrammes(list, 0));
    EXPECT_EQ(Titles(list), std::vector<std::string>{"C"});
}

TEST_F(ChannelScheduleTest, DamagedFilesAndRecordsAreNotTrusted) {
    const std::vector<CProgrammePtr> programmes = {Programme("A", kT0, kT0 + kHour), Programme("B", kT0 + kHour, kT0 + 2 * kHour),
                                                   Programme("C", kT0 + 2 * kHour, kT0 + 3 * kHour)};
    const std::vector<uint8_t> good = HandBuiltFile(3, programmes);

    // An entry count the file cannot hold: the channel is empty.
    for (const uint32_t count : {12u, 0x0CCCCCCDu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = good;
        Put32(bytes.data() + 20, count);
        WriteBytes(bytes);
        ClearLog();
        CProgrammeList list;
        EXPECT_TRUE(Schedule()->GetAllProgrammes(list, 0));
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_TRUE(Logged("CChannelSchedule::Load Tried to read beyond the file")) << count;
    }

    // Records that do not fit their entries are skipped, the others still listed.
    struct Damage { size_t field; uint32_t value; const char* message; };
    const Damage damages[] = {
        {12, 0xFFFFFFF0u, "lies outside the data"},   // offset
        {16, 41, "lies outside the data"},            // length below the fixed part
        {16, 44, "does not match its counts"},        // one byte more than the counts say
        {0, kT0 + 60, "Failed to properly read data from file"},   // start differs from the record's
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.message);
        std::vector<uint8_t> bytes = good;
        uint8_t* entry = bytes.data() + 24 + 20;   // the second entry
        Put32(entry + d.field, d.value);
        const auto indexCrc = ScheduleIndexChecksum(3, bytes.data() + 24, 60);
        Put32(bytes.data() + 4, indexCrc);
        WriteBytes(bytes);
        ClearLog();
        auto schedule = Schedule();
        CProgrammeList list;
        ASSERT_TRUE(schedule->GetAllProgrammes(list, 0));
        EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "C"}));
        EXPECT_TRUE(Logged(d.message)) << Log();
        ASSERT_TRUE(schedule->GetProgrammeList(kT0, kT0 + 3 * kHour, list, nullptr, false));
        EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "C", "A", "C"}));
        EXPECT_TRUE(Logged("Failed to load programme"));
    }

    // A file shorter than its header reads as empty rather than as unreadable.
    WriteBytes(std::vector<uint8_t>(good.begin(), good.begin() + 10));
    CProgrammeList list;
    EXPECT_TRUE(Schedule()->GetAllProgrammes(list, 0));
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(ChannelScheduleTest, ListsWithPlaceholders) {
    bool updating = false;
    auto schedule = Schedule([&updating] { return updating; });
    CProgrammeList list;

    // No file at all: one "No listings available" entry half an hour either side of the range.
    ASSERT_TRUE(schedule->GetProgrammeList(kT0, kT0 + 2 * kHour, list, nullptr, true));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetAt(0)->GetTitle(), "No listings available");
    EXPECT_EQ(list.GetAt(0)->GetPlaceholderKind(), CProgramme::kNoListingsPlaceholder);
    EXPECT_EQ(list.GetAt(0)->GetStartTime(), kT0 - 1800);
    EXPECT_EQ(list.GetAt(0)->GetEndTime(), kT0 + 2 * kHour + 1800);
    EXPECT_EQ(list.GetAt(0)->GetCategory()->GetID(), 33u);
    updating = true;
    CProgrammeList duringUpdate;
    ASSERT_TRUE(schedule->GetProgrammeList(kT0, kT0 + kHour, duringUpdate, nullptr, true));
    EXPECT_EQ(duringUpdate.GetAt(0)->GetTitle(), "No listings available - currently updating, please wait");
    updating = false;
    CProgrammeList none;
    ASSERT_TRUE(schedule->GetProgrammeList(kT0, kT0 + kHour, none, nullptr, false));
    EXPECT_TRUE(none.IsEmpty());

    // A: 10:00-11:00 GMT; B: 11:00-22:00; then nothing until C at 09:00 BST the next morning.
    Store({Programme("A", kT0, kT0 + kHour), Programme("B", kT0 + kHour, kT0 + 12 * kHour),
           Programme("C", kT0 + 22 * kHour, kT0 + 23 * kHour), Programme("D", kT0 + 23 * kHour, kT0 + 24 * kHour)});
    const auto assignment = std::make_shared<CChannelAssignment>(5, kChannel, "21", "Mine");

    // A range starting inside a programme, or exactly at its end, includes it; a gap gets the
    // date and time at which programmes resume, in local (summer) time.
    const std::string resume = "Programmes start again on Sunday, March 31, 2024 at 09:00";
    const struct { uint32_t from; std::vector<std::string> titles; } ranges[] = {
        {kT0 + 1800, {"A", "B", resume, "C"}},
        {kT0 + 12 * kHour, {"B", resume, "C"}},
    };
    for (const auto& range : ranges) {
        list.RemoveAll();
        ASSERT_TRUE(schedule->GetProgrammeList(range.from, kT0 + 23 * kHour, list, assignment, true));
        ASSERT_EQ(Titles(list), range.titles);
        const CProgramme& gap = *list.GetAt(list.GetCount() - 2);
        EXPECT_EQ(gap.GetPlaceholderKind(), CProgramme::kGapPlaceholder);
        EXPECT_EQ(gap.GetStartTime(), kT0 + 12 * kHour);
        EXPECT_EQ(gap.GetEndTime(), kT0 + 22 * kHour);
        EXPECT_EQ(gap.GetChannelAssignment(), assignment);
        EXPECT_EQ(list.GetAt(0)->GetChannelAssignment(), assignment);
    }
    // Listed twice through the same line-up entry, programmes are shared.
    CProgrammeList again;
    ASSERT_TRUE(schedule->GetProgrammeList(kT0 + 11 * kHour, kT0 + 12 * kHour, again, assignment, false));
    EXPECT_EQ(again.GetAt(0), list.GetAt(0));

    // A range past the last programme ends with "No listings available" from its end.
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetProgrammeList(kT0 + 23 * kHour + 60, kT0 + 30 * kHour, list, nullptr, true));
    ASSERT_EQ(Titles(list), (std::vector<std::string>{"D", "No listings available"}));
    EXPECT_EQ(list.GetAt(1)->GetStartTime(), kT0 + 24 * kHour);
    EXPECT_EQ(list.GetAt(1)->GetEndTime(), kT0 + 30 * kHour + 1800);

    // A range inside the gap: a leading gap up to C.
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetProgrammeList(kT0 + 14 * kHour, kT0 + 15 * kHour, list, nullptr, true));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetAt(0)->GetStartTime(), kT0 + 12 * kHour);
    EXPECT_EQ(list.GetAt(0)->GetEndTime(), kT0 + 22 * kHour);

    // Before the first programme: the leading gap runs from the start of the current month.
    plat::FakeClock clock(kT0);
    plat::SetClock(&clock);
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetProgrammeList(kT0 - 5 * kHour, kT0 - 4 * kHour, list, nullptr, true));
    plat::SetClock(nullptr);
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetAt(0)->GetStartTime(), CDateTime::FromUtc(2024, 2, 1, 0, 0, 0).GetTime());
    EXPECT_EQ(list.GetAt(0)->GetEndTime(), kT0);
}

TEST_F(ChannelScheduleTest, NextProgrammesAndUpdates) {
    Store({Programme("A", kT0, kT0 + kHour, 1, "", {}, kT0 - 86400), Programme("B", kT0 + kHour, kT0 + 2 * kHour),
           Programme("C", kT0 + 2 * kHour, kT0 + 3 * kHour)});
    auto schedule = Schedule();
    plat::FakeClock clock(kT0 + 600);
    plat::SetClock(&clock);
    CProgrammeList list;
    ASSERT_TRUE(schedule->GetNextProgrammes(kT0 + 600, 2, list, nullptr));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));
    // Seen from before A starts, the first of two is not on air: only it is kept.
    clock.SetNowMicros(int64_t(kT0 - 600) * 1000000);
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetNextProgrammes(kT0 - 600, 2, list, nullptr));
    EXPECT_EQ(Titles(list), std::vector<std::string>{"A"});
    plat::SetClock(nullptr);
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetNextProgrammes(kT0 + 3 * kHour + 1, 2, list, nullptr));
    EXPECT_TRUE(list.IsEmpty());

    schedule->GetProgrammeUpdatesList(kT0 + 5, list, nullptr);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(schedule->GetLastUpdateDate(), kT0);
}

TEST_F(ChannelScheduleTest, TimesPast2038KeepTheirOrder) {
    const uint32_t limit = 0x80000000u;   // 2038-01-19 03:14:08 UTC, past the signed 32-bit range
    Store({Programme("Before", limit - 3 * kHour, limit - kHour), Programme("Across", limit - kHour, limit + kHour),
           Programme("After", limit + kHour, limit + 2 * kHour), Programme("Far", 0xFFFF0000u, 0xFFFF0E10u)});
    auto schedule = Schedule();
    CProgrammeList list;
    ASSERT_TRUE(schedule->GetProgrammeList(limit + 1800, limit + 2 * kHour, list, nullptr, false));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Across", "After"}));
    list.RemoveAll();
    ASSERT_TRUE(schedule->GetNextProgrammes(limit - 2 * kHour, 2, list, nullptr));
    EXPECT_EQ(Titles(list), std::vector<std::string>{"Before"});
    ASSERT_TRUE(schedule->GetAllProgrammes(list, limit));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Across", "After", "Far"}));
    uint32_t first, last;
    ASSERT_TRUE(schedule->GetListingsBounds(first, last));
    EXPECT_EQ(last, 0xFFFF0E10u);
    EXPECT_TRUE(Logged("run from Tuesday, January 19, 2038"));
}

// An absorb: read what is stored, add to it, write it all back.
bool AbsorbStyleRewrite(CChannelSchedule& schedule, const CProgrammePtr& extra) {
    CProgrammeList list;
    if (!schedule.GetAllProgrammes(list, 0)) return false;
    list.Add(extra);
    return schedule.SetAllProgrammes(list, kT0, 9);
}

TEST_F(ChannelScheduleTest, ALockedFileIsNeverRewrittenFromNothing) {
    Store({Programme("A", kT0, kT0 + kHour), Programme("B", kT0 + kHour, kT0 + 2 * kHour)});
    auto schedule = Schedule();
    {
        // Writers and readers shut out for the whole attempt (about five seconds of retries).
        CFileStoreLocked holder(m_dat, storeRead | storeWrite);
        EXPECT_FALSE(AbsorbStyleRewrite(*schedule, Programme("C", kT0 + 2 * kHour, kT0 + 3 * kHour)));
        EXPECT_TRUE(Logged("retrying (normal)"));
    }
    CProgrammeList list;
    ASSERT_TRUE(Schedule()->GetAllProgrammes(list, 0));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));

    // Held only briefly, the reader waits for it and the rewrite keeps everything.
    auto holder = std::make_unique<CFileStoreLocked>(m_dat, storeRead | storeWrite);
    std::thread release([&holder] {
        plat::Sleep(300);
        holder.reset();
    });
    const bool rewritten = AbsorbStyleRewrite(*schedule, Programme("C", kT0 + 2 * kHour, kT0 + 3 * kHour));
    release.join();
    EXPECT_TRUE(rewritten);
    ASSERT_TRUE(Schedule()->GetAllProgrammes(list, 0));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(ChannelScheduleTest, RewritesRotateFilesAndRecoverFromAnInterruptedOne) {
    Store({Programme("A", kT0, kT0 + kHour)});
    auto schedule = Schedule();
    CProgrammeList list;
    ASSERT_TRUE(schedule->GetAllProgrammes(list, 0));
    const CProgrammePtr held = list.GetAt(0);

    // Leftovers of an earlier failed rewrite are replaced; the file is written in start order.
    ASSERT_TRUE(WriteTextFile(m_folder + "21.new", "partial"));
    ASSERT_TRUE(WriteTextFile(m_folder + "21.old", "stale"));
    list.InsertAt(0, Programme("B", kT0 + kHour, kT0 + 2 * kHour));
    ASSERT_TRUE(schedule->SetAllProgrammes(list, kT0, 10));
    EXPECT_FALSE(plat::FileExists(m_folder + "21.new"));
    EXPECT_FALSE(plat::FileExists(m_folder + "21.old"));
    EXPECT_EQ(held->GetTitle(), "A");   // handed-out programmes outlive the rewrite
    // The same object sees the new file.
    ASSERT_TRUE(schedule->GetAllProgrammes(list, 0));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(schedule->GetLastUpdateID(), 10u);

    // Stopped between its two renames: ".old" holds the listings and there is no ".dat".
    ASSERT_TRUE(plat::MoveFileReplacing(m_dat, m_folder + "21.old"));
    auto fresh = Schedule();
    ASSERT_TRUE(fresh->GetAllProgrammes(list, 0));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(plat::FileExists(m_dat));
    EXPECT_FALSE(plat::FileExists(m_folder + "21.old"));

    // An empty list makes an empty channel, still a valid file.
    ASSERT_TRUE(fresh->SetAllProgrammes(CProgrammeList(), kT0, 11));
    ASSERT_TRUE(Schedule()->GetAllProgrammes(list, 0));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(Schedule()->GetLastUpdateID(), 11u);
}

}  // namespace
