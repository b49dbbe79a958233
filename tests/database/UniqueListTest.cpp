// The unique person and programme lists and their files.
#include <gtest/gtest.h>

#include "DatabaseFixture.h"
#include "listings/UniqueList.h"

namespace {

using UniqueList = DatabaseTest;

TEST_F(UniqueList, EntriesAreKeptOnceSortedAndSavedAsLines)
{
    CUniquePersonList people(Schedules());
    for (const char* name : {"Zoe Ray", "Al Bo", "", "Zoe Ray", "al bo"})
        people.Add(name);
    EXPECT_EQ(people.GetEntries(), (std::vector<std::string>{"Al Bo", "Zoe Ray", "al bo"}));
    ASSERT_TRUE(people.Save());
    EXPECT_EQ(ReadFile(Schedules() + "people.uq"), "Al Bo\r\nZoe Ray\r\nal bo\r\n");

    CUniquePersonList again(Schedules());
    again.Load();
    EXPECT_EQ(again.GetEntries(), people.GetEntries());
}

TEST_F(UniqueList, ADamagedFileIsDeletedAndTheListStartsEmpty)
{
    for (const std::string& damaged : {std::string("one\r\ntwo"), std::string("a\nb\r\n"), std::string("a\0b\r\n", 6)}) {
        WriteFile(Schedules() + "people.uq", {damaged.begin(), damaged.end()});
        CUniquePersonList people(Schedules());
        people.Load();
        EXPECT_EQ(people.GetCount(), 0u);
        EXPECT_FALSE(Exists(Schedules() + "people.uq"));
    }
}

TEST_F(UniqueList, TheOlderTitleFileMovesIntoTheNewOne)
{
    WriteFile(Schedules() + "programmes.uq", Bytes().U8('K').U8('\r').U8('\n').Get());
    WriteFile(Schedules() + "programs.uq", Bytes().U32(2).Str("News").Str("Film").Get());
    CUniqueProgrammeList titles(Schedules());
    titles.Load();
    EXPECT_EQ(titles.GetEntries(), (std::vector<std::string>{"Film", "K", "News"}));
    EXPECT_FALSE(Exists(Schedules() + "programs.uq"));
    EXPECT_EQ(ReadFile(Schedules() + "programmes.uq"), "Film\r\nK\r\nNews\r\n");

    // A damaged older file goes without touching the list's own.
    WriteFile(Schedules() + "programs.uq", Bytes().U32(3).Str("Only").Get());
    CUniqueProgrammeList next(Schedules());
    next.Load();
    EXPECT_EQ(next.GetEntries(), titles.GetEntries());
    EXPECT_FALSE(Exists(Schedules() + "programs.uq"));
}

TEST_F(UniqueList, TheSharedListIsReloadedAfterItIsDropped)
{
    auto first = CUniquePersonList::GetShared(Schedules());
    EXPECT_EQ(CUniquePersonList::GetShared(Schedules()), first);
    first->Add("Ed");
    CUniquePersonList::ReleaseShared();   // saves
    auto second = CUniquePersonList::GetShared(Schedules());
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->Contains("Ed"));
    CUniquePersonList::DropShared();
}

}  // namespace
