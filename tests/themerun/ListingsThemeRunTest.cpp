// A theme run over a real line-up and programme database: the user's region gives the line-up,
// the service's channel and category files name its channels and categories, and two listings
// update files wait in the pending folder, which the program absorbs at start-up while the
// theme waits for them. The clock is fixed (QVL_FAKE_NOW) and the zone is Central European, so
// every time text the theme logs is known in advance.
#include "tests/themerun/ThemeRunFixture.h"

#include "tests/database/UpdateFileBytes.h"

namespace {

using namespace themerun;

const char* const kDataFolder = "home/.local/share/QuilvoLite/";
constexpr uint32_t kNow = 1768386600;   // Wednesday 14 January 2026 10:30 UTC, 11:30 in Berlin

// A time of 2026 in UTC, in January unless another month (1-12) is given.
uint32_t Utc(int day, int hour, int minute, int month = 1)
{
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return static_cast<uint32_t>(timegm(&tm));
}

// The service's binary lists: a count, then (when not 0) a format version, then the entries.
std::string ChannelsFile(const std::vector<std::pair<uint32_t, std::string>>& channels)
{
    Bytes b;
    b.U32(uint32_t(channels.size())).U32(5);
    for (const auto& [id, name] : channels)
        b.U32(id).Str(name).Str("<i><short-name>" + name.substr(0, 4) + "</short-name></i>");
    return b.Text();
}

std::string CategoryFile(const std::vector<std::pair<uint32_t, std::string>>& categories)
{
    Bytes b;
    b.U32(uint32_t(categories.size())).U32(1);
    for (const auto& [id, name] : categories)
        b.U32(id).Str(name).U32(0).Str("");
    return b.Text();
}

std::string KeywordFile(const std::vector<std::string>& words)
{
    Bytes b;
    b.U32(uint32_t(words.size()));
    for (const std::string& word : words)
        b.Str(word);
    return b.Text();
}

std::string PackedUpdateFile(const TestChannel& channel)
{
    const std::vector<uint8_t> bytes = UpdateFile(Payload({channel}, 8), 8, true);
    return std::string(bytes.begin(), bytes.end());
}

class ListingsThemeRun : public ThemeRun {
protected:
    // Region 4 stands for region 3, whose line-up is channels 7 and 9, with channel 12 added as
    // an extra channel. The channel file knows 7, 9 and 21; the update files fill 7 and 9.
    void WriteInstallation()
    {
        Write(std::string(kDataFolder) + "settings/user-paths.dat",
              "<paths><folder name=\"themes-folder\" path=\"" + ThemesFolder() + "\" type=\"1\" />"
              "<folder name=\"app-folder\" path=\"" + Path("app") + "\" type=\"1\" /></paths>");
        WriteSettings("listingscheck", "<setting name=\"user-selected-region-id\" type=\"uint\" value=\"4\"/>");
        Write(std::string(kDataFolder) + "channels/channels",
              ChannelsFile({{7, "Lake One"}, {9, "Lake Two"}, {21, "Hill Three"}}));
        Write("app/category", CategoryFile({{1, "Film"}, {2, "News"}, {3, "Drama"}, {4, "Sport"}, {5, "Children"}}));
        Write("app/keywords", KeywordFile({"weather", "secrets", "football"}));

        const std::string drama = "A Secret Out. Series 2, episode 4.\r\nTensions rise at the harbour. "
                                  "Director: Ada Brennan\rStarring: Tom Okafor, Mia Lindqvist\r(Subtitles, 15)";
        const std::string film = "A heist goes wrong. Director: Karl Novak\rStarring: Ivy Moreau\r"
                                 "Writer: Owen Price, Lena Fischer\r(1994, 4 Star, PG)";
        TestChannel one{7, {}};
        one.programmes = {
            {Utc(14, 9, 0), 60, "Morning Headlines", 2, "The day's news and weather. (Subtitles)", {0}, 7001},
            {Utc(14, 10, 0), 60, "Harbour Lane", 3, drama, {1, 0}, 7002},
            {Utc(14, 11, 0), 30, "Kitchen Heroes", 9, "Three cooks, one basket.", {}, 7003},
            {Utc(14, 11, 30), 105, "Night at the Pictures", 1, film, {}, 7004},
            {Utc(14, 13, 15), 195, "Match Day Live", 4, "The league's top game.", {2}, 7005},
            {Utc(14, 16, 30), 30, "Evening Bulletin", 2, "The news at teatime.", {}, 7006},
            {Utc(14, 17, 0), 60, "Stars Over Us", 5, "Special Episode 3. \r\nHow the first stars lit up.", {}, 7007},
            {Utc(14, 23, 30), 60, "Late Film Club", 1, "A classic after midnight.", {}, 7008},
            {Utc(15, 13, 0), 60, "Cricket Highlights", 4, "The best of the day's play.", {}, 7009},
        };
        TestChannel two{9, {}};
        two.programmes = {
            {Utc(14, 10, 15), 30, "Fun Factory", 5, "Cartoons and games. (Part 2)", {}, 9001},
            {Utc(14, 10, 45), 60, "Wild Coasts", 2, "Seals and puffins.", {}, 9002},
            {Utc(14, 12, 0), 59, "Question Time Out", 5, "Quick-fire questions.", {}, 9003},
            // The night the clocks go back: both start at 02:30 local time, an hour apart.
            {Utc(25, 0, 30, 10), 60, "Summer Night", 2, "", {}, 9004},
            {Utc(25, 1, 30, 10), 60, "Winter Night", 2, "", {}, 9005},
        };
        Write(std::string(kDataFolder) + "pending/7-5.up", PackedUpdateFile(one));
        Write(std::string(kDataFolder) + "pending/9-6.up", PackedUpdateFile(two));
    }

    int RunAtFixedTime()
    {
        return RunProgram({}, {"TZ=Europe/Berlin", "QVL_FAKE_NOW=" + std::to_string(kNow)});
    }
};

// The times the theme logs are local (CET, an hour ahead of UTC); "now" is 11:30.
TEST_F(ListingsThemeRun, ThemeListsTheLineUpAndItsProgrammes)
{
    WriteInstallation();
    ASSERT_EQ(RunAtFixedTime(), 0) << Read("stderr");
    const std::string log = Read(kLogPath);
    const std::string gapUntil1115 = "Programmes start again on Wednesday, January 14, 2026 at 11:15";
    const std::string gapUntil1300 = "Programmes start again on Wednesday, January 14, 2026 at 13:00";
    const std::vector<std::string> expected = {
        // Region 4 is an alias of region 3: channels 7 and 9 (the one without an id is left
        // out) and the extra channel 12. The region's channels take the places of the channel
        // file's, so each channel is listed once.
        "channels 7:Lake One, 9:Lake Two, 21:Hill Three, 12:Lake Extra",
        "selected true true true false Lake Extra 21",
        "categories Children:5, Drama:3, Film:1, News:2, Sport:4",
        "absorbed 12",
        "db-empty false",
        // Line-up order; the programme on air at the start of the range is in it. Channel 9
        // has a leading gap from the 1st of the month and a gap before its next programme;
        // channel 12 has no listings at all.
        "range 8",
        "range-item Lake One 11:00-12:00 Harbour Lane | Drama | 30 minutes left | 1 hour | on-now",
        "range-item Lake One 12:00-12:30 Kitchen Heroes | Unknown | in 30 minutes | 30 minutes | later",
        "range-item Lake One 12:30-14:15 Night at the Pictures | Film | in 1 hour | 1 hour and 45 minutes | later",
        "range-item Lake Two 00:00-11:15 " + gapUntil1115 + " | Unknown | Already shown | 323 hours and 15 minutes | old",
        "range-item Lake Two 11:15-11:45 Fun Factory | Children | 15 minutes left | 30 minutes | on-now",
        "range-item Lake Two 11:45-12:45 Wild Coasts | News | in 15 minutes | 1 hour | later",
        "range-item Lake Two 12:45-13:00 " + gapUntil1300 + " | Unknown | in 1 hour and 15 minutes | 15 minutes | later",
        "range-item Lake Extra 10:30-13:30 No listings available | Unknown | 2 hours left | 3 hours | on-now",
        // A sort mode alone sorts descending without placeholders; equal durations keep the
        // later-added programme first.
        "by-title Wild Coasts, Night at the Pictures, Kitchen Heroes, Harbour Lane, Fun Factory",
        "now-first Fun Factory, Harbour Lane, No listings available, " + gapUntil1115 + ", Kitchen Heroes, Wild Coasts, " +
            gapUntil1300 + ", Night at the Pictures",
        "by-duration " + gapUntil1300 + ", Fun Factory, Kitchen Heroes, Wild Coasts, Harbour Lane, Night at the Pictures, "
            "No listings available, " + gapUntil1115,
        "now-next 3 Harbour Lane true 30 minutes left / Kitchen Heroes false in 30 minutes",
        // Under six hours the wait is counted; from six hours the local start hour and day
        // name the part of the day; from a day on, the days are counted.
        "when 11:00 Harbour Lane | 30 minutes left",
        "when 12:00 Kitchen Heroes | in 30 minutes",
        "when 12:30 Night at the Pictures | in 1 hour",
        "when 14:15 Match Day Live | in 2 hours and 45 minutes",
        "when 17:30 Evening Bulletin | starting this afternoon",
        "when 18:00 Stars Over Us | starting this evening",
        "when 19:00 Programmes start again on Thursday, January 15, 2026 at 00:30 | starting this evening",
        "when 00:30 Late Film Club | starting tomorrow morning",
        "when 01:30 Programmes start again on Thursday, January 15, 2026 at 14:00 | starting tomorrow morning",
        "when 14:00 Cricket Highlights | starting in 1 day",
        "when 15:00 No listings available | starting in 1 day",
        "episode 7002 A Secret Out | A Secret Out. Series 2, episode 4. | 2 4 | Tensions rise at the harbour. | "
        "Subtitles, 15 15",
        "people Ada Brennan | Tom Okafor+Mia Lindqvist | 0 | secrets+weather",
        "assignment 7 Lake One 7 0 Lake One",
        "film 1994 4 PG | Owen Price+Lena Fischer | Ivy Moreau | A heist goes wrong.",
        "special true 3 [] How the first stars lit up.",
        "part 2 Part 2 Children 5",
        // On the night the clocks go back, 02:30 comes twice, an hour apart.
        "night Summer Night 02:30 2026-10-25T00:30:00.000Z 2026-10-25T01:30:00.000Z 1 hour",
        "night Winter Night 02:30 2026-10-25T01:30:00.000Z 2026-10-25T02:30:00.000Z 1 hour",
        "night-ranges Summer Night | Winter Night",
    };
    EXPECT_EQ(ScriptLines(), expected) << log;
    ExpectShutDownAtEnd();
    EXPECT_EQ(log.rfind("14-01-2026\t10:30:00\t", 0), 0u) << log;   // the log's UTC time is the fixed one

    // Both update files were absorbed and deleted; the channels have schedule files, and the
    // people of the listings went into the list of known people.
    EXPECT_TRUE(fs::is_empty(Path(std::string(kDataFolder) + "pending"))) << log;
    EXPECT_TRUE(fs::exists(Path(std::string(kDataFolder) + "schedules/7.dat"))) << log;
    EXPECT_TRUE(fs::exists(Path(std::string(kDataFolder) + "schedules/9.dat"))) << log;
    const std::string people = Read(std::string(kDataFolder) + "schedules/people.uq");
    for (const char* name : {"Ada Brennan\r\n", "Lena Fischer\r\n"})
        EXPECT_NE(people.find(name), std::string::npos) << people;

    // The next start has nothing to absorb and reads the same listings from the schedule files.
    fs::remove(Path(kLogPath));
    ASSERT_EQ(RunAtFixedTime(), 0) << Read("stderr");
    const std::vector<std::string> texts = LogTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "No listings files found to absorb"), texts.end()) << Read(kLogPath);
    EXPECT_EQ(ScriptLines(), expected) << Read(kLogPath);
}

}  // namespace
