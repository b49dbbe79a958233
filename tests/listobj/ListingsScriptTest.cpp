// The theme script's listings objects over a small database written by the test: the programmes
// of a time range with their properties and texts, placeholders, sorting, and bad calls.
#include <ctime>
#include <filesystem>

#include "listings/ChannelManager.h"
#include "listings/ChannelSchedule.h"
#include "listings/MarkerManager.h"
#include "listings/ProgrammeDBManager.h"
#include "platform/Process.h"
#include "script/ListingsObjects.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

class ListingsScriptTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        m_root = std::filesystem::temp_directory_path() /
                 ("qvl-listobj-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                  std::to_string(plat::GetCurrentProcessId()));
        std::filesystem::remove_all(m_root);
        for (const char* pszFolder : {"schedules", "pending", "app"})
            std::filesystem::create_directories(m_root / pszFolder);
        const std::string strSchedules = (m_root / "schedules").string() + "/";

        // Channel 7 has a film on air and a programme in three days; channel 8 has no listings.
        const std::time_t now = std::time(nullptr);
        const auto seven = std::make_shared<CChannelAssignment>(70, 7, "107", "Seven");
        const auto eight = std::make_shared<CChannelAssignment>(80, 8, "108", "Eight");
        m_uFilmStart = static_cast<uint32_t>(now - 600);
        CProgrammeList list;
        list.Add(std::make_shared<CProgramme>(
            "Film", "The Night. Series 4, episode 2.\r\nA story. Starring: Ann Lee, Bob Ray\r(Subtitles, 1999, 3 Star, PG)",
            5, m_uFilmStart, static_cast<uint32_t>(now + 5430), 901, 7, seven, std::vector<uint16_t>{}, 0));
        list.Add(std::make_shared<CProgramme>("Later", "Plain.", 5, static_cast<uint32_t>(now + 3 * 86400 + 7200),
                                              static_cast<uint32_t>(now + 3 * 86400 + 9000), 902, 7, seven,
                                              std::vector<uint16_t>{}, 0));
        ASSERT_TRUE(CChannelSchedule(strSchedules, 7, false).SetAllProgrammes(list, 1, 1));

        ProgrammeDBHooks hooks;
        hooks.fillLineUp = [seven, eight](CChannelAssignmentList& lineUp) {
            lineUp.Add(seven);
            lineUp.Add(eight);
        };
        CProgrammeDBManager::Instance().Start(strSchedules, (m_root / "pending").string() + "/",
                                              (m_root / "app").string() + "/", hooks);

        ASSERT_TRUE(DefineListingsClasses(m_engine));
        CScriptEngine::CEnter enter(m_engine);
        JS::RootedValue manager(m_engine.GetContext());
        ASSERT_TRUE(GetListingsManagerObject(m_engine, m_engine.GetGlobalObject(), &manager));
    }

    void TearDown() override
    {
        CProgrammeDBManager::Instance().Close();   // drops the channels too
        std::filesystem::remove_all(m_root);
        ScriptTest::TearDown();
    }

    bool Run(const std::string& strScript) { return m_engine.RunText(strScript, "test.js"); }

    std::filesystem::path m_root;
    uint32_t m_uFilmStart = 0;
};

const char kRange[] =
    "var from = new Date(Date.now() - 3600000), to = new Date(Date.now() + 5 * 86400000);\n";

TEST_F(ListingsScriptTest, ProgrammesOfARangeWithTheirProperties)
{
    CChannelManager::Get()->AddChannel(7, "Channel Seven", "7", "", "");
    ASSERT_TRUE(Run(std::string(kRange) + R"(
        var lm = listingsManager;
        function names(list) { return list.map(function (p) { return p.name; }).join('|'); }
        var withPlaceholders = lm.getProgrammeListForTimeRange(from, to);
        var real = lm.getProgrammeListForTimeRange(from, to, knProgListSortProgrammeName);
        var realNames = names(real);
        var placeholderCount = withPlaceholders.length - real.length;
        var eightListed = withPlaceholders.some(function (p) {
            return p.channelAssignment !== null && p.channelAssignment.id == 8; });
        var f = real[1];
        var film = [f.id, f.name, f.startDate.getTime() / 1000, f.channelAssignment.name, f.channelAssignment.id,
                    f.channelAssignment.uniqueAssignedID, f.channelAssignment.epg, f.seriesNumber, f.episodeNumber,
                    f.episodeName, f.year, f.starRating, f.certificate, f.specialEpisode, f.description,
                    f.qualifiers, f.isOnNow(), f.isOld(), f.getTimeSummary(), f.getDurationSummary()].join('|');
        var channel = f.channelAssignment.channel.name + '|' + f.category.name + '|' +
                      (withPlaceholders.filter(function (p) { return p.channelAssignment.id == 8; })[0]
                                       .channelAssignment.channel === null);
        var stars = f.getPeople(knStars).join(',');
        var guests = f.getPeople(knGuests).length;
        var later = real[0].getTimeSummary();
        var raw = real[0].scheduleDescription;
        var descending = names(lm.getProgrammeListForTimeRange(from, to, knProgListSortProgrammeName, false));
        var ascending = names(lm.getProgrammeListForTimeRange(from, to, knProgListSortProgrammeName, true));
    )")) << m_engine.AllReports();
    EXPECT_EQ(Global("realNames"), "Later|Film");   // descending by name without placeholders
    EXPECT_GE(std::stoi(Global("placeholderCount")), 2) << "a gap and channel 8's no-listings";
    EXPECT_EQ(Global("eightListed"), "true");
    EXPECT_EQ(Global("film"), "901|Film|" + std::to_string(m_uFilmStart) +
                                  "|Seven|7|70|107|4|2|The Night|1999|3|PG|false|A story.|Subtitles, 1999, 3 Star, PG|"
                                  "true|false|1 hour and 30 minutes left|1 hour and 40 minutes");
    EXPECT_EQ(Global("channel"), "Channel Seven|Unknown|true");   // channel 8 is not in the channel list
    EXPECT_EQ(Global("stars"), "Ann Lee,Bob Ray");
    EXPECT_EQ(Global("guests"), "0");
    EXPECT_EQ(Global("later"), "starting in 3 days");
    EXPECT_EQ(Global("raw"), "Plain.");
    EXPECT_EQ(Global("descending"), "Later|Film");
    EXPECT_TRUE(Global("ascending").starts_with("Film|Later|No listings available|")) << Global("ascending");
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

TEST_F(ListingsScriptTest, BadCallsAreReported)
{
    struct Case {
        const char* pszCall;
        bool bSucceeds;
        const char* pszReports;   // pieces of the reports, in order, split by "|"
    };
    const Case kCases[] = {
        {"listingsManager.getProgrammeListForTimeRange(from)", false,
         "getProgrammeListForTimeRange - Incorrect number of arguments (needed: 2, got: 1)"},
        {"listingsManager.getProgrammeListForTimeRange(5, to)", false,
         "Variable is not an int, was (number)\n|getProgrammeForTimeRange needs a date/time range"},
        {"listingsManager.getProgrammeListForTimeRange(from, 'x')", false,
         "Variable is not an int, was (string)\n|getProgrammeForTimeRange needs a date/time range"},
        {"result = listingsManager.getProgrammeListForTimeRange(from, to, 'x').length", true,
         "Variable is not an int, was (string)"},
        {"result = listingsManager.getProgrammeListForTimeRange(from, to, 0, 'x').length", true,
         "Variable is not an boolean, was (string)"},
        {"listingsManager.getProgrammeListForTimeRange(from, to, 0)[0].getPeople(5)", false,
         "Unknown parameter value passed '5'"},
        {"listingsManager.getProgrammeListForTimeRange(from, to, 0)[0].getPeople()", false,
         "getPeople - Incorrect number of arguments (needed: 1, got: 0)"},
        {"listingsManager.getProgrammeListForTimeRange(from, to, 0)[0].isOld(1)", false,
         "isOld - Incorrect number of arguments (needed: 0, got: 1)"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszCall);
        m_engine.m_vecReports.clear();
        EXPECT_EQ(Run(std::string(kRange) + "var result = 'none';\n" + c.pszCall + ";\n"), c.bSucceeds);
        // Each expected piece in turn, in the reports in that order.
        const std::string reports = m_engine.AllReports();
        size_t nAt = 0;
        std::string expected = c.pszReports;
        for (size_t nStart = 0; nStart <= expected.size();) {
            const size_t nEnd = std::min(expected.find('|', nStart), expected.size());
            const std::string piece = expected.substr(nStart, nEnd - nStart);
            nAt = reports.find(piece, nAt);
            ASSERT_NE(nAt, std::string::npos) << piece << "\nin:\n" << reports;
            nStart = nEnd + 1;
        }
        if (c.bSucceeds) {
            EXPECT_EQ(m_engine.m_vecReports.size(), 1u) << reports;
            EXPECT_EQ(Global("result"), "2");   // sort mode 0, descending: the two real programmes
        }
    }
}

// The marker types that come with the program, over the real listings objects: a favourite
// lists every showing of its title earliest first, even when a later showing starts at an
// earlier time of day; a keyword search finds the description's words.
TEST_F(ListingsScriptTest, ShippedMarkerTypesFindProgrammesInTheDatabase)
{
    // A second showing tomorrow, a minute earlier in the day when the first allows it.
    std::time_t firstStart = m_uFilmStart;
    std::tm local = {};
    localtime_r(&firstStart, &local);
    const bool bEarlierInDay = local.tm_hour * 60 + local.tm_min >= 2;
    const uint32_t uSecond = m_uFilmStart + 86400 + (bEarlierInDay ? -60 : 60);
    CProgrammeList list;
    const auto eight = std::make_shared<CChannelAssignment>(80, 8, "108", "Eight");
    list.Add(std::make_shared<CProgramme>("film", "Again.", 5, uSecond, uSecond + 3600, 903, 8, eight,
                                          std::vector<uint16_t>{}, 0));
    ASSERT_TRUE(CChannelSchedule((m_root / "schedules").string() + "/", 8, false).SetAllProgrammes(list, 1, 1));

    CMarkerManager& manager = CMarkerManager::Instance();
    ASSERT_EQ(manager.LoadTemplates(QVL_APP_DIR "/markers/"), 2);
    ASSERT_TRUE(Run("var app = { getListingsManager: function () { return listingsManager; } };"));
    CMarker favourite;
    favourite.m_strName = "Film";
    favourite.m_nTypeID = 1;
    CMarker search;
    search.m_strName = "stories";
    search.m_nTypeID = 2;
    search.m_blob = "STORY";
    ASSERT_TRUE(Run(manager.GetTemplate(1)->GetCode(favourite))) << m_engine.AllReports();
    ASSERT_TRUE(Run(manager.GetTemplate(2)->GetCode(search))) << m_engine.AllReports();
    ASSERT_TRUE(Run(std::string(kRange) + R"(
        function ids(list) { return list.map(function (p) { return p.id; }).join(','); }
        var favourites = ids(markers['Film'].findProgrammes(from, to));
        var searched = ids(markers['stories'].findProgrammes(from, to));
    )")) << m_engine.AllReports();
    EXPECT_EQ(Global("favourites"), "901,903");
    EXPECT_EQ(Global("searched"), "901");
}

// Ranges the listings cannot hold: one that ends before it starts lists nothing, not even a
// placeholder; dates before 1970 or after 2106 stand for the ends of the listings' times rather
// than wrapping round into another century.
TEST_F(ListingsScriptTest, RangesOutsideTheListingsTimes)
{
    ASSERT_TRUE(Run(std::string(kRange) + R"(
        var lm = listingsManager;
        var reversed = lm.getProgrammeListForTimeRange(to, from).length + ' ' +
                       lm.getProgrammeListForTimeRange(to, from, 0, false).length;
        // Channel 7's gap before its first programme (which is on now) and channel 8's
        // no-listings placeholder from the first listings time: nothing after now.
        var early = lm.getProgrammeListForTimeRange(new Date(1960, 0, 1), new Date(1960, 0, 2));
        var before1970 = early.length + ' ' + early.every(function (p) { return p.endDate.getTime() <= Date.now(); }) +
                         ' ' + early[1].startDate.getUTCFullYear();
        var late = lm.getProgrammeListForTimeRange(new Date(2200, 0, 1), new Date(2200, 0, 2));
        var after2106 = late.map(function (p) { return p.startDate.getFullYear() + '-' + p.endDate.getFullYear(); }).join(',');
    )")) << m_engine.AllReports();
    EXPECT_EQ(Global("reversed"), "0 0");
    EXPECT_EQ(Global("before1970"), "2 true 1970");
    EXPECT_EQ(Global("after2106"), "2106-2106,2106-2106");
    EXPECT_TRUE(m_engine.m_vecReports.empty()) << m_engine.AllReports();
}

}  // namespace
