// The keyword search over a small programme database, in process and through qvl search:
// which programmes of a range match, and in which of their texts.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listings/ProgrammeDB.h"
#include "listings/SearchProgrammes.h"
#include "listings/DateTime.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "tests/common/RunCommand.h"

namespace {

// Midnight UTC two days ahead, so that the listings lie between now and their own end.
const uint32_t kDay = uint32_t((plat::NowUnix() / 86400 + 2) * 86400);

CProgrammePtr Make(uint32_t channel, uint32_t hour, const char* title, const char* description, uint32_t id)
{
    return std::make_shared<CProgramme>(title, description, 1, kDay + hour * 3600, kDay + (hour + 1) * 3600, id,
                                        channel, nullptr, std::vector<uint16_t>{}, 0);
}

// A line of qvl search for a programme of an hour of kDay.
std::string Line(uint32_t channel, uint32_t hour, const char* title, uint32_t id, const char* keywords)
{
    return std::to_string(channel) + "\t" + CDateTime(kDay + hour * 3600).GetISO8601() + "\t" +
           CDateTime(kDay + (hour + 1) * 3600).GetISO8601() + "\t" + title + "\t1\t" + std::to_string(id) + "\t" +
           keywords + "\n";
}

class ProgrammeSearch : public ::testing::Test {
protected:
    ProgrammeSearch()
    {
        m_root = std::filesystem::temp_directory_path() /
                 ("qvl-search-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                  std::to_string(plat::GetCurrentProcessId()));
        std::filesystem::remove_all(m_root);
        for (const char* folder : {"schedules", "pending", "app", "home"})
            std::filesystem::create_directories(m_root / folder);
        CProgrammeDBFlat database(Folder("schedules"), Folder("pending"));
        CProgrammeList one, two;
        one.Add(Make(1, 18, "Evening News", "Headlines & weather.", 11));
        one.Add(Make(1, 19, "Jaws", "A shark.\rDirector: Steven Spielberg\rStarring: Roy Scheider, Robert Shaw", 12));
        one.Add(Make(1, 23, "Late News", "", 13));
        two.Add(Make(2, 18, "Newsround", "For children.", 21));
        two.Add(Make(2, 20, "Spielberg at 80", "The news of his films.", 22));
        EXPECT_TRUE(database.UpdateChannelProgrammes(1, one, kDay, 1, 0));
        EXPECT_TRUE(database.UpdateChannelProgrammes(2, two, kDay, 1, 0));
        database.Close();
    }
    ~ProgrammeSearch() override { std::filesystem::remove_all(m_root); }

    std::string Folder(const char* name) const { return (m_root / name).string() + "/"; }

    // Runs qvl search over the test's folders; standard error joins standard output.
    std::pair<int, std::string> Qvl(const std::string& arguments) const
    {
        const std::string command = "env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME='" + Folder("home") + "' '" QVL_APP_DIR
                                    "/qvl' search " + arguments + " --schedule-folder '" + Folder("schedules") +
                                    "' --pending-folder '" + Folder("pending") + "' --app-folder '" + Folder("app") +
                                    "' 2>&1";
        const CommandOutput out = RunCommand(command);
        return {out.code, out.text};
    }

    std::filesystem::path m_root;
};

}  // namespace

TEST_F(ProgrammeSearch, FindsTheProgrammesOfTheRangeByTitleDescriptionAndPeople)
{
    CProgrammeDBFlat database(Folder("schedules"), Folder("pending"));
    const std::vector<CChannelAssignmentPtr> lineUp = {std::make_shared<CChannelAssignment>(0, 2, "", ""),
                                                       std::make_shared<CChannelAssignment>(0, 1, "", "")};
    struct Case {
        const char* expression;
        CSearchExpression::MatchMode mode;
        uint32_t toHour;
        std::vector<std::pair<uint32_t, size_t>> found;   // programme id, text of the first hit
    };
    const Case cases[] = {
        {"news", CSearchExpression::kWholeWords, 24, {{22, 1}, {11, 0}, {13, 0}}},
        {"news", CSearchExpression::kAnywhere, 24, {{21, 0}, {22, 1}, {11, 0}, {13, 0}}},
        {"news", CSearchExpression::kWholeWords, 23, {{22, 1}, {11, 0}}},   // Late News starts at 23:00
        {"spielberg not (shark or \"at 80\")", CSearchExpression::kWholeWords, 24, {}},
        {"spielberg", CSearchExpression::kWholeWords, 24, {{22, 0}, {12, 2}}},
        {"robert shaw and weather", CSearchExpression::kWholeWords, 24, {}},
        {"robert shaw or weather", CSearchExpression::kWholeWords, 24, {{11, 1}, {12, 2}}},
    };
    for (const Case& c : cases) {
        const CSearchExpression search(c.expression, c.mode);
        std::vector<std::pair<uint32_t, size_t>> found;
        for (const ProgrammeSearchResult& result : SearchProgrammes(database, lineUp, kDay, kDay + c.toHour * 3600, search)) {
            ASSERT_FALSE(result.m_hits.empty());
            found.emplace_back(result.m_pProgramme->GetProgrammeID(), result.m_hits[0].m_nText);
        }
        EXPECT_EQ(found, c.found) << c.expression;
    }
    database.Close();
}

TEST_F(ProgrammeSearch, QvlSearchPrintsTheMatchesWithTheirKeywords)
{
    // From now to the end of the listings, every channel with a schedule file. A keyword that
    // was found is listed even when the part of the expression it belongs to failed (shaw).
    EXPECT_EQ(Qvl("'NEWS or shaw not jaws or \"roy scheider\"'"),
              std::pair(0, Line(1, 18, "Evening News", 11, "NEWS") + Line(1, 19, "Jaws", 12, "shaw, roy scheider") +
                               Line(1, 23, "Late News", 13, "NEWS") + Line(2, 20, "Spielberg at 80", 22, "NEWS")));
    // Programmes that overlap the range take part.
    const std::string range = " " + CDateTime(kDay + 18 * 3600 + 1800).GetISO8601() + " " +
                              CDateTime(kDay + 23 * 3600).GetISO8601();
    EXPECT_EQ(Qvl("news" + range + " --anywhere --channel 2"),
              std::pair(0, Line(2, 18, "Newsround", 21, "news") + Line(2, 20, "Spielberg at 80", 22, "news")));
    EXPECT_EQ(Qvl("'(news'"), std::pair(1, std::string("qvl search: Missing closing brace\n")));
    EXPECT_EQ(Qvl("news now").first, 2);
    EXPECT_EQ(Qvl("news --everywhere").first, 2);
}
