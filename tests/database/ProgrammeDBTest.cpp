// The programme database: the merge rule, absorbing channel plans, the listings span and the
// absorber's handling of the pending folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "DatabaseFixture.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/UniqueList.h"
#include "platform/Clock.h"

namespace {

CProgrammePtr Make(const std::string& title, uint32_t start, uint32_t end)
{
    return std::make_shared<CProgramme>(title, "", 1, start, end, 0, 1, nullptr, std::vector<uint16_t>{}, 0);
}

std::string Titles(const CProgrammeList& list)
{
    std::string text;
    for (const CProgrammePtr& p : list)
        text += (text.empty() ? "" : " ") + p->GetTitle();
    return text;
}

TEST(MergeRule, TheNewestProgrammeWinsEveryOverlap)
{
    // Stored: A 0-60, B 60-120, C 120-180 (minutes).
    struct Case {
        uint32_t start, end;
        const char* expected;
    } cases[] = {
        {60, 120, "A N C"},     // same start: replaces
        {60, 61, "A N C"},
        {30, 90, "N C"},        // overlaps two: both go
        {90, 100, "A N C"},     // inside B
        {180, 240, "A B C N"},
        {0, 180, "N"},
        {170, 200, "A B N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CProgrammeList list;
        for (auto [title, start] : {std::pair{"A", 0u}, std::pair{"B", 60u}, std::pair{"C", 120u}})
            CProgrammeDBFlat::AddWithMergeRule(list, Make(title, 1000000 + start * 60, 1000000 + (start + 60) * 60));
        CProgrammeDBFlat::AddWithMergeRule(list, Make("N", 1000000 + c.start * 60, 1000000 + c.end * 60));
        EXPECT_EQ(Titles(list), c.expected);
    }
}

PlannedProgramme Planned(const std::string& title, uint32_t start, uint16_t minutes,
                         const std::string& description = "")
{
    PlannedProgramme p;
    p.bStartValid = true;
    p.uStart = start;
    p.nDuration = minutes;
    p.strTitle = title;
    p.nCategoryID = 3;
    p.strDescription = description;
    p.uProgrammeID = 42;
    return p;
}

uint32_t Now()
{
    return uint32_t(plat::NowUnix());
}

using ProgrammeDB = DatabaseTest;

TEST_F(ProgrammeDB, AbsorbingMergesKeepsNewestAndDropsEndedProgrammes)
{
    CProgrammeDBFlat& db = Open({1});
    const uint32_t t = Now() / 3600 * 3600 + 86400;
    CUniqueProgrammeList titles(Schedules());
    CUniquePersonList people(Schedules());
    PlannedProgramme unset = Planned("Unset", t + 9000, 30);
    unset.bStartValid = false;
    ListingsPlan first = {{1,
                           {Planned("Old", t - 4 * 86400, 60), Planned("P1", t, 60),
                            Planned("P2", t + 3600, 60, "Drama.\rDirector: Ann Lee\rStarring: Bo Ek, Cy Dunn"),
                            Planned("P3", t + 7200, 60), unset}}};
    ASSERT_TRUE(db.AbsorbChannelPlans(first, 5000, 1, &titles, &people, Now() - 86400));
    CProgrammeList list;
    db.GetProgrammeList(std::make_shared<CChannelAssignment>(0, 1, "", ""), 0, UINT32_MAX - 1, list, false);
    EXPECT_EQ(Titles(list), "Old P1 P2 P3");

    ListingsPlan second = {{1, {Planned("P1 again", t, 45), Planned("N", t + 5400, 60)}}};
    ASSERT_TRUE(db.AbsorbChannelPlans(second, 6000, 2, &titles, &people, Now() - 86400));
    db.GetProgrammeList(std::make_shared<CChannelAssignment>(0, 1, "", ""), 0, UINT32_MAX - 1, list, false);
    EXPECT_EQ(Titles(list), "P1 again N");
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(list.GetAt(0)->GetEndTime(), t + 45 * 60);
    EXPECT_EQ(list.GetAt(0)->GetCategoryID(), 3u);
    EXPECT_EQ(list.GetAt(0)->GetProgrammeID(), 42u);
    EXPECT_EQ(db.GetChannelLastUpdateID(1), 2u);
    EXPECT_FALSE(db.IsChannelOutOfDate(1, 6000));
    EXPECT_TRUE(db.IsChannelOutOfDate(1, 6001));
    EXPECT_TRUE(db.IsChannelOutOfDate(99, 1));   // never absorbed

    EXPECT_EQ(titles.GetEntries(), (std::vector<std::string>{"N", "Old", "P1", "P1 again", "P2", "P3"}));
    EXPECT_EQ(people.GetEntries(), (std::vector<std::string>{"Ann Lee", "Bo Ek", "Cy Dunn"}));
}

TEST_F(ProgrammeDB, TheSpanComesFromItsFileUntilAnAbsorbDeletesIt)
{
    {
        CProgrammeDBFlat& db = Open({1});
        const uint32_t before = Now();
        uint32_t first = 0, last = 0;
        db.GetListingsBounds(first, last);
        EXPECT_EQ(first, last);
        EXPECT_GE(first, before);
        EXPECT_TRUE(db.IsListingsEmpty());
    }
    const uint32_t t = Now() / 3600 * 3600 + 86400;
    {
        CProgrammeDBFlat& db = Open({1});
        db.AbsorbChannelPlans({{1, {Planned("P", t, 60)}}}, 1, 1, nullptr, nullptr, 0);
        EXPECT_FALSE(Exists(Schedules() + kCachedSpanFile));
    }
    // A cached span wins over the files, in a database opened later too.
    WriteFile(Schedules() + kCachedSpanFile, Bytes().U32(100).U32(200).Get());
    CProgrammeDBFlat& db = Open({1});
    uint32_t first = 0, last = 0;
    db.GetListingsBounds(first, last);
    EXPECT_EQ(first, 100u);
    EXPECT_EQ(last, 200u);

    db.AbsorbChannelPlans({{1, {Planned("Q", t + 3600, 60)}}}, 2, 2, nullptr, nullptr, 0);
    EXPECT_FALSE(Exists(Schedules() + kCachedSpanFile));
    db.GetListingsBounds(first, last);
    EXPECT_LE(first, Now());
    EXPECT_EQ(last, t + 7200);
    EXPECT_EQ(ReadFile(Schedules() + kCachedSpanFile), Bytes().U32(first).U32(last).Text());
}

TEST(PendingFiles, UpdatesOfAChannelGoInUpdateIDOrderAndPlansByNumber)
{
    EXPECT_EQ(OrderPendingFiles({"7-10.up", "b.txt", "7-9.up", "12-1.up", "a.dat"}),
              (std::vector<std::string>{"7-9.up", "7-10.up", "12-1.up", "a.dat", "b.txt"}));
    EXPECT_EQ(OrderPendingFiles({"pln20.pln", "pln3.PLN", "x.up", "pln100.pln"}),
              (std::vector<std::string>{"x.up", "pln3.PLN", "pln20.pln", "pln100.pln"}));
    EXPECT_EQ(OrderPendingFiles({"/p/2-2.up", "/p/2-1.up"}), (std::vector<std::string>{"/p/2-1.up", "/p/2-2.up"}));
}

TEST_F(ProgrammeDB, TheStartUpPassAbsorbsThePendingFolder)
{
    const uint32_t t = Now() / 3600 * 3600 + 86400;
    auto update = [&](const std::string& title) {
        return UpdateFile(Payload({{7, {{t, 60, title, 2, "", {}, 9}}}}, 8), 8, true);
    };
    WriteFile(Pending() + "7-10.up", update("Tenth"));
    WriteFile(Pending() + "7-9.up", update("Ninth"));
    WriteFile(Pending() + "8-1.up", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    WriteFile(Pending() + "8-2.up", UpdateFile(Payload({{8, {}}}, 8), 5, false));
    WriteFile(Pending() + "notes.txt", {'x'});
    WriteFile(Pending() + "qvfcdf-1.dat", {});
    WriteFile(Schedules() + kCachedSpanFile, Bytes().U32(100).U32(200).Get());

    CProgrammeDBManager& manager = CProgrammeDBManager::Instance();
    ASSERT_TRUE(manager.Start(Schedules(), Pending(), App(), Hooks({7})));
    std::vector<std::string> results = WaitForResults(6);
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, (std::vector<std::string>{"7-10.up: absorbed", "7-9.up: absorbed", "8-1.up: File is corrupt",
                                                 "8-2.up: File is corrupt", "notes.txt: not an update file, left in place",
                                                 "qvfcdf-1.dat: absorbed"}));
    CProgrammeDBFlat* db = manager.GetDatabase();
    ASSERT_NE(db, nullptr);
    CProgrammeList list;
    db->GetProgrammeList(nullptr, t, t + 60, list, false);
    EXPECT_EQ(Titles(list), "Tenth");
    EXPECT_EQ(db->GetChannelLastUpdateID(7), 10u);
    manager.Close();
    EXPECT_EQ(manager.GetDatabase(), nullptr);

    for (const char* gone : {"7-10.up", "7-9.up", "8-1.up", "8-2.up", "qvfcdf-1.dat"})
        EXPECT_FALSE(Exists(Pending() + gone)) << gone;
    EXPECT_TRUE(Exists(Pending() + "notes.txt"));
    EXPECT_FALSE(Exists(Schedules() + kCachedSpanFile));
    EXPECT_EQ(ReadFile(Schedules() + "programmes.uq"), "Ninth\r\nTenth\r\n");
}

TEST_F(ProgrammeDB, TheQueueAnswersForFilesWaitingAndInHand)
{
    // The first file's result waits until the test lets it go, so the worker is held between
    // files with the second still queued.
    std::mutex gate;
    std::unique_lock held(gate);
    ProgrammeDBHooks hooks = Hooks({4});
    auto record = hooks.onFileProcessed;
    hooks.onFileProcessed = [&](const std::string& path, const std::string& result) {
        record(path, result);
        std::lock_guard wait(gate);
    };
    m_pDatabase = std::make_unique<CProgrammeDBFlat>(Schedules(), Pending(), hooks);
    CProgrammeDBFlat& db = *m_pDatabase;
    EXPECT_FALSE(db.IsAbsorberBusy());
    const uint32_t t = Now() / 3600 * 3600 + 86400;
    for (const char* name : {"4-1.up", "4-2.UP"})
        WriteFile(Pending() + name, UpdateFile(Payload({{4, {{t, 60, "P", 2, "", {}, 9}}}}, 8), 8, true));
    db.AbsorbFile(Pending() + "4-1.up");
    db.AbsorbFile(Pending() + "4-2.UP");
    EXPECT_EQ(WaitForResults(1).size(), 1u);
    EXPECT_TRUE(db.IsAbsorberBusy());
    EXPECT_TRUE(db.IsUpdateFileQueued(4, 2));   // names compared without regard to case
    EXPECT_FALSE(db.IsUpdateFileQueued(4, 1));
    EXPECT_FALSE(db.IsUpdateFileQueued(5, 2));
    held.unlock();
    EXPECT_EQ(WaitForResults(2), (std::vector<std::string>{"4-1.up: absorbed", "4-2.UP: absorbed"}));
    db.Close();
    EXPECT_FALSE(db.IsAbsorberBusy());
    EXPECT_EQ(db.GetChannelLastUpdateID(4), 2u);
}

TEST_F(ProgrammeDB, NewListingsAreAnnouncedAfterAQuietPeriodUnlessTheDatabaseWasEmpty)
{
    const uint32_t t = Now() / 3600 * 3600 + 86400;
    for (bool empty : {true, false}) {
        SCOPED_TRACE(empty);
        m_results.clear();
        m_nAbsorbedNotes = 0;
        std::filesystem::remove_all(Schedules());
        std::filesystem::create_directories(Schedules());
        CProgrammeDBFlat& db = Open({3});
        if (!empty)
            db.AbsorbChannelPlans({{3, {Planned("Before", t, 60)}}}, 1, 1, nullptr, nullptr, 0);
        db.SetAbsorberQuietPeriod(100);
        WriteFile(Pending() + "3-5.up", UpdateFile(Payload({{3, {{t + 3600, 60, "After", 2, "", {}, 9}}}}, 8), 8, true));
        db.AbsorbFile(Pending() + "3-5.up");
        EXPECT_EQ(WaitForResults(1), std::vector<std::string>{"3-5.up: absorbed"});
        // Several quiet periods pass either way; the notice comes once, and only when there
        // were listings before.
        EXPECT_EQ(AbsorbedNotes(std::chrono::milliseconds(empty ? 800 : 10000)), empty ? 0 : 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(AbsorbedNotes(std::chrono::milliseconds(0)), empty ? 0 : 1);
        db.Close();
        db.AbsorbFile(Pending() + "3-5.up");   // after closing: not queued
        EXPECT_FALSE(db.IsAbsorberBusy());
    }
}

}  // namespace
