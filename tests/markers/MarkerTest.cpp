// Markers: matching by start time in local time across a change of the clocks, the other
// conditions, expiry, template files, and template code run with awkward marker names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/Log.h"
#include "listings/DateTime.h"
#include "listings/MarkerManager.h"
#include "platform/Clock.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

constexpr uint32_t kFilmCategory = 7;
constexpr uint32_t kNewsCategory = 9;

CProgrammePtr MakeProgramme(const std::string& title, const std::string& description, uint32_t category,
                            int64_t start, uint32_t channel = 1, std::vector<uint16_t> keywords = {})
{
    return std::make_shared<CProgramme>(title, description, category, uint32_t(start), uint32_t(start + 1800),
                                        uint32_t(start / 60), channel, nullptr, std::move(keywords), 0);
}

int64_t Utc(int day, int hour, int minute)   // March 2026
{
    return CDateTime::FromUtc(2026, 2, day, hour, minute, 0).GetTime();
}

// The UK clocks go forward at 01:00 UTC on Sunday 29 March 2026: local time is UTC before and
// UTC + 1 after (main pins the time zone).
class MarkerMatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_programmes = {
            MakeProgramme("Evening Film", "A film.", kFilmCategory, Utc(28, 18, 0)),            // Sat 18:00
            MakeProgramme("Evening Film", "A film.", kFilmCategory, Utc(29, 17, 0)),            // Sun 18:00
            MakeProgramme("Late News", "The news.", kNewsCategory, Utc(29, 18, 0), 2),          // Sun 19:00
            MakeProgramme("Evening Film", "A film.", kFilmCategory, Utc(30, 17, 0)),            // Mon 18:00
            MakeProgramme("Night Owls", "Talk.", kNewsCategory, Utc(29, 0, 30), 2),             // Sun 00:30
            MakeProgramme("Night Owls", "Talk.", kNewsCategory, Utc(29, 23, 30), 2, {0}),       // Mon 00:30
            MakeProgramme("Quiz Time", "Quiz. Series 3, episode 5.\rQuestions. Starring: Ann Lee",
                          kNewsCategory, Utc(27, 12, 0), 1, {1}),                               // Fri 12:00
        };
        const std::string keywordFile = ::testing::TempDir() + "marker-keywords";
        {
            // A count, then each word as a 32-bit length and its bytes, little-endian.
            std::ofstream file(keywordFile, std::ios::binary);
            file.write("\2\0\0\0" "\x08\0\0\0" "Insomnia" "\6\0\0\0" "Trivia", 26);
        }
        ASSERT_TRUE(m_keywords.Load(keywordFile));
        std::filesystem::remove(keywordFile);
        m_names.m_pKeywords = &m_keywords;
        m_names.m_channelName = [](uint32_t id) { return std::string(id == 1 ? "Channel One" : "Channel Two"); };
    }

    // The indexes of the programmes the marker matches.
    std::string Matched(const CMarker& marker) const
    {
        std::string out;
        for (size_t i = 0; i < m_programmes.size(); ++i)
            if (marker.Matches(*m_programmes[i], m_names))
                out += std::to_string(i);
        return out;
    }

    std::vector<CProgrammePtr> m_programmes;
    CKeywordList m_keywords;
    CMarker::Names m_names;
};

TEST_F(MarkerMatchTest, TimeConditionsUseLocalTimeAcrossTheClockChange)
{
    struct Case {
        const char* what;
        MarkerTime time;
        const char* matched;
    };
    auto days = [](uint8_t mask, int from = 0, int to = 0) {
        MarkerTime t;
        t.m_uDays = mask;
        t.m_bWindow = from != to;
        t.m_nWindowFrom = from;
        t.m_nWindowTo = to;
        return t;
    };
    auto exact = [](int64_t start) {
        MarkerTime t;
        t.m_nKind = MarkerTime::kExactStart;
        t.m_nStart = start;
        return t;
    };
    auto at = [](int hour, int minute, int day = -1) {
        MarkerTime t;
        t.m_nKind = day < 0 ? MarkerTime::kTimeOfDay : MarkerTime::kDayAndTime;
        t.m_nHour = hour;
        t.m_nMinute = minute;
        t.m_nDayOfWeek = day < 0 ? 0 : day;
        return t;
    };
    const Case cases[] = {
        {"every day, any time", days(0x7F), "0123456"},
        {"Sundays", days(1 << 0), "124"},
        {"Sundays and Mondays 17:30 to 18:30", days(0x03, 17 * 60 + 30, 18 * 60 + 30), "13"},
        {"any day 23:00 to 01:00 (over midnight)", days(0x7F, 23 * 60, 60), "45"},
        {"Mondays 00:00 to 01:00", days(1 << 1, 0, 60), "5"},
        {"exact start", exact(Utc(29, 17, 0)), "1"},
        {"exact start one hour off", exact(Utc(29, 18, 0) + 60), ""},
        {"18:00 every day", at(18, 0), "013"},
        {"19:00 every day", at(19, 0), "2"},
        {"00:30 every day", at(0, 30), "45"},
        {"Sunday 18:00", at(18, 0, 0), "1"},
        {"Monday 00:30", at(0, 30, 1), "5"},
        {"Saturday 19:00", at(19, 0, 6), ""},
    };
    for (const Case& c : cases) {
        CMarker marker;
        marker.m_time = c.time;
        EXPECT_EQ(Matched(marker), c.matched) << c.what;
    }
}

TEST_F(MarkerMatchTest, TitleCategoryChannelEpisodeAndSearchTerms)
{
    struct Case {
        const char* what;
        void (*setUp)(CMarker&);
        const char* matched;
    };
    const Case cases[] = {
        {"title without regard to case", [](CMarker& m) { m.m_strTitle = "EVENING film"; }, "013"},
        {"title must be whole", [](CMarker& m) { m.m_strTitle = "Evening"; }, ""},
        {"categories",
         [](CMarker& m) {
             m.m_bAllCategories = false;
             m.m_categories = {kFilmCategory};
         },
         "013"},
        {"channels",
         [](CMarker& m) {
             m.m_bAllChannels = false;
             m.m_channels = {2};
         },
         "245"},
        {"no channel allowed", [](CMarker& m) { m.m_bAllChannels = false; }, ""},
        {"series and episode",
         [](CMarker& m) {
             m.m_series = 3;
             m.m_episode = 5;
         },
         "6"},
        {"wrong episode",
         [](CMarker& m) {
             m.m_series = 3;
             m.m_episode = 4;
         },
         ""},
        {"search title and schedule description", [](CMarker& m) { m.SetSearchTerms("film or talk"); }, "01345"},
        {"search only the title", [](CMarker& m) {
             m.SetSearchTerms("film or talk");
             m.m_uSearchTexts = CMarker::kSearchTitle;
         }, "013"},
        {"search people", [](CMarker& m) {
             m.SetSearchTerms("\"ann lee\"");
             m.m_uSearchTexts = CMarker::kSearchPeople;
         }, "6"},
        {"search the plain description", [](CMarker& m) {
             m.SetSearchTerms("questions not series");
             m.m_uSearchTexts = CMarker::kSearchDescription;
         }, "6"},
        {"search channel names", [](CMarker& m) {
             m.SetSearchTerms("two");
             m.m_uSearchTexts = CMarker::kSearchChannel;
         }, "245"},
        {"search keyword names", [](CMarker& m) {
             m.SetSearchTerms("insomnia or trivia");
             m.m_uSearchTexts = CMarker::kSearchKeywords;
         }, "56"},
        {"search with everything else", [](CMarker& m) {
             m.SetSearchTerms("talk");
             m.m_strTitle = "night owls";
             m.m_bAllChannels = false;
             m.m_channels = {2};
             m.m_time.m_uDays = 1 << 1;
         }, "5"},
    };
    for (const Case& c : cases) {
        CMarker marker;
        c.setUp(marker);
        EXPECT_EQ(Matched(marker), c.matched) << c.what;
    }
}

TEST(MarkerManagerTest, RemovesExpiredAndStandardMarkers)
{
    plat::FakeClock clock(Utc(20, 12, 0));
    plat::SetClock(&clock);
    CMarkerManager& manager = CMarkerManager::Instance();
    manager.RemoveAllMarkers();
    auto add = [&](const char* name, MarkerTime::Kind kind, int64_t start, bool standard) {
        auto marker = std::make_shared<CMarker>();
        marker->m_strName = name;
        marker->m_time.m_nKind = kind;
        marker->m_time.m_nStart = start;
        marker->m_bStandard = standard;
        manager.AddMarker(marker);
    };
    const int64_t now = plat::NowUnix();
    add("23 hours ago", MarkerTime::kExactStart, now - 23 * 3600, false);
    add("25 hours ago", MarkerTime::kExactStart, now - 25 * 3600, false);
    add("a day and a second ago", MarkerTime::kExactStart, now - 86401, true);
    add("daily, long ago", MarkerTime::kTimeOfDay, now - 100 * 86400, false);
    add("standard", MarkerTime::kDaysOfWeek, 0, true);
    add("exactly a day ago", MarkerTime::kExactStart, now - 86400, true);
    auto names = [&] {
        std::string out;
        for (const CMarkerPtr& marker : manager.GetMarkers())
            out += marker->m_strName + ";";
        return out;
    };

    manager.RemoveExpiredMarkers();
    EXPECT_EQ(names(), "23 hours ago;daily, long ago;standard;exactly a day ago;");
    manager.RemoveStandardMarkers();
    EXPECT_EQ(names(), "23 hours ago;daily, long ago;");

    manager.RemoveAllMarkers();
    plat::SetClock(nullptr);
}

class MarkerTemplateTest : public ScriptTest {
protected:
    void TearDown() override
    {
        CMarkerManager::Instance().RemoveAllTemplates();
        ScriptTest::TearDown();
    }

    std::string ReadLog(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(MarkerTemplateTest, LoadsTemplatesAndReplacesByID)
{
    const std::string folder = WriteFiles({
        {"a.qvmarker",
         "<markertemplates version=\"1\">\n"
         "  <template name=\"First\" id=\"4\" version=\"2\" allow-markers=\"false\" searchterm=\"alpha\">\n"
         "    <code>var first = 1;</code>\n"
         "    <keycommands><keycommand command=\"go\" code=\"go();\"/><other/></keycommands>\n"
         "    <searchterms><searchterm>beta or gamma</searchterm></searchterms>\n"
         "    <options><option name=\"count\" type=\"int\" default=\"5\" min=\"1\" max=\"9\"/></options>\n"
         "  </template>\n"
         "  <template id=\"5\"><code>nameless</code></template>\n"
         "  <notatemplate/>\n"
         "</markertemplates>\n"},
        {"a.options", "<options><option name=\"count\" value=\"40\"/></options>"},
        {"b.qvmarker",
         "<markertemplates version=\"1\">\n  <template name=\"Second\" id=\"4\">\n\n"
         "<code>\nvar second = 2;\n</code></template>\n</markertemplates>\n"},
        {"c.qvmarker", "<markertemplates><template"},
        {"d.qvmarker", "<other/>"},
        {"e.qvmarker", "<markertemplates><template name=\"E\" id=\"6\"><options><option name=\"n\" default=\"x\"/>"
                       "</options></template></markertemplates>"},
        {"e.options", "<options><option"},
        {"ignored.txt", "<markertemplates/>"},
    });
    const std::string log = folder + "test.log";
    InitLogging("", "", log, 1, false);
    CMarkerManager& manager = CMarkerManager::Instance();

    ASSERT_EQ(manager.LoadTemplateFile(folder + "a.qvmarker"), 1);
    auto first = manager.GetTemplate(4);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->m_strName, "First");
    EXPECT_EQ(first->m_strCode, "var first = 1;");
    EXPECT_EQ(first->m_nCodeLine, 3);
    EXPECT_FALSE(first->m_bAllowMarkers);
    ASSERT_EQ(first->m_keyCommands.size(), 1u);
    EXPECT_EQ(first->m_keyCommands[0].m_strCommand, "go");
    EXPECT_EQ(first->m_keyCommands[0].m_strCode, "go();");
    EXPECT_EQ(first->m_searchTerms, (std::vector<std::string>{"alpha", "beta or gamma"}));
    EXPECT_EQ(first->GetOptionValue("count"), "9");   // the user's 40, kept within 1 to 9
    EXPECT_EQ(first->GetDefaultMarkerName(), "4-defaults");

    CMarkerTemplate changed = *first;
    ASSERT_TRUE(changed.SetOptionValue("count", "3"));
    ASSERT_TRUE(changed.SaveOptions());

    EXPECT_EQ(manager.LoadTemplates(folder), 3);   // one each from a, b and e; c and d fail
    EXPECT_EQ(manager.GetTemplate(6)->GetOptionValue("n"), "x");
    auto second = manager.GetTemplate(4);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->m_strName, "Second");
    EXPECT_EQ(second->m_nCodeLine, 4);
    EXPECT_EQ(manager.GetTemplates().size(), 2u);
    EXPECT_FALSE(manager.GetTemplate(5));
    ASSERT_EQ(manager.LoadTemplateFile(folder + "a.qvmarker"), 1);
    EXPECT_EQ(manager.GetTemplate(4)->GetOptionValue("count"), "3");

    InitLogging("", "", "", 0, false);
    const std::string text = ReadLog(log);
    for (const char* line : {"Loading marker template file ", "Marker either has no name or ID",
                             "Some other tag instead of keycommand found in '", "Failed to find 'template' in template file",
                             "Replacing marker ID 4, name 'First'", "Loaded marker type 'Second', version '1', code starts on line '4'",
                             "Failed to load marker template", "Failed to find 'markertemplates' in template",
                             "Error parsing marker options XML in file '"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(MarkerTemplateTest, CodeSeesAwkwardNamesUnchanged)
{
    CMarker marker;
    marker.m_strName = "He said \"stop\" \\ it's C:\\new\\ \u2028 line\nbreak $MarkerName `x`";
    marker.m_nTypeID = 12;
    marker.m_icon = "icon\\\"'.png";
    const std::string code = CMarkerTemplate::Substitute(
        "var name = \"$MarkerName\"; var single = '$MarkerName'; var type = $MarkerTypeID + 1;"
        " var icon = \"$MarkerIcon\"; var blob = \"$MarkerBlob\"; var other = \"$MarkerOther\";",
        marker);
    ASSERT_TRUE(m_engine.RunText(code, "marker.js")) << m_engine.AllReports();
    EXPECT_EQ(Global("name"), marker.m_strName);
    EXPECT_EQ(Global("single"), marker.m_strName);
    EXPECT_EQ(Global("type"), "13");
    EXPECT_EQ(Global("icon"), *marker.m_icon);
    EXPECT_EQ(Global("blob"), "");
    EXPECT_EQ(Global("other"), "$MarkerOther");
}

// The shipped types with awkward names, against stand-ins for the listings objects that hand
// programmes out latest first, as a descending list does.
TEST_F(MarkerTemplateTest, ShippedTypesFindTheirProgrammes)
{
    CMarkerManager& manager = CMarkerManager::Instance();
    ASSERT_EQ(manager.LoadTemplates(QVL_APP_DIR "/markers/"), 2);
    ASSERT_TRUE(m_engine.RunText(
        "var knProgListSortDate = 7;\n"
        "function P(name, description, keywords) {\n"
        "  this.name = name; this.description = description;\n"
        "  this.getKeywords = function () { return keywords; };\n"
        "}\n"
        "var app = { getListingsManager: function () { return { getProgrammeListForTimeRange:\n"
        "  function (from, to, sort, ascending) { return [new P('late \\'show\\'', 'Talk', ['Crime']),\n"
        "    new P('Film', 'A thriller', ['Crime']), new P('Late \\'Show\\'', 'Talk', [])]; } }; } };\n",
        "listings.js"))
        << m_engine.AllReports();

    CMarker favourite;
    favourite.m_strName = "Late 'Show'";
    favourite.m_nTypeID = 1;
    ASSERT_TRUE(m_engine.RunText(manager.GetTemplate(1)->GetCode(favourite), "favourite.js")) << m_engine.AllReports();
    CMarker search;
    search.m_strName = "crime \"search\"";
    search.m_nTypeID = 2;
    search.m_blob = "crime  talk";
    ASSERT_TRUE(m_engine.RunText(manager.GetTemplate(2)->GetCode(search), "search.js")) << m_engine.AllReports();
    ASSERT_TRUE(m_engine.RunText(
        "var f = markers[\"Late 'Show'\"].findProgrammes(null, null);\n"
        "var favourites = f.length + ':' + f[0].name + ':' + f[1].name;\n"
        "var s = markers['crime \"search\"'].findProgrammes(null, null);\n"
        "var searched = s.length + ':' + s[0].name + ':' + markers['crime \"search\"'].typeID;\n",
        "check.js"))
        << m_engine.AllReports();
    EXPECT_EQ(Global("favourites"), "2:Late 'Show':late 'show'");
    EXPECT_EQ(Global("searched"), "1:late 'show':2");
    EXPECT_EQ(manager.GetTemplate(2)->m_searchTerms, std::vector<std::string>{"film or drama"});
}

struct ScriptLibrary : ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(InitScriptLibrary()); }
    void TearDown() override { ShutDownScriptLibrary(); }
};

}  // namespace

int main(int argc, char** argv)
{
    plat::SetTimeZone("Europe/London");   // before any thread starts
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ScriptLibrary);
    return RUN_ALL_TESTS();
}
