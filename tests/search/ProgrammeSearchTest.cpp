// The keyword search over a small programme database: which programmes of a range match, and
// in which of their texts.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listings/ProgrammeDB.h"
#include "listings/SearchProgrammes.h"
#include "platform/Process.h"

namespace {

constexpr uint32_t kDay = 1796083200;   // 2026-12-01 00:00 UTC

CProgrammePtr Make(uint32_t channel, uint32_t hour, const char* title, const char* description, uint32_t id)
{
    return std::make_shared<CProgramme>(title, description, 1, kDay + hour * 3600, kDay + (hour + 1) * 3600, id,
                                        channel, nullptr, std::vector<uint16_t>{}, 0);
}

}  // namespace

TEST(ProgrammeSearch, FindsTheProgrammesOfTheRangeByTitleDescriptionAndPeople)
{
    const auto root = std::filesystem::temp_directory_path() /
                      ("qvl-search-" + std::to_string(plat::GetCurrentProcessId()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "schedules");
    std::filesystem::create_directories(root / "pending");
    {
        CProgrammeDBFlat database((root / "schedules").string() + "/", (root / "pending").string() + "/");
        CProgrammeList one, two;
        one.Add(Make(1, 18, "Evening News", "Headlines & weather.", 11));
        one.Add(Make(1, 19, "Jaws", "A shark.\rDirector: Steven Spielberg\rStarring: Roy Scheider, Robert Shaw", 12));
        one.Add(Make(1, 23, "Late News", "", 13));
        two.Add(Make(2, 18, "Newsround", "For children.", 21));
        two.Add(Make(2, 20, "Spielberg at 80", "The news of his films.", 22));
        ASSERT_TRUE(database.UpdateChannelProgrammes(1, one, kDay, 1, 0));
        ASSERT_TRUE(database.UpdateChannelProgrammes(2, two, kDay, 1, 0));
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
    std::filesystem::remove_all(root);
}
