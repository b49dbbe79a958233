// The settings store: kinds and defaults, the file and its groups, scrambled values, safe
// saving with its ".old" copy, and dated backups.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/FolderPaths.h"
#include "foundation/Log.h"
#include "foundation/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Process.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("qvl-settings-" + std::to_string(plat::GetCurrentProcessId()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_file = (m_dir / "settings.dat").string();
    }
    void TearDown() override
    {
        plat::SetClock(nullptr);
        fs::remove_all(m_dir);
    }

    fs::path m_dir;
    std::string m_file;
};

TEST_F(SettingsTest, KindsDefaultsAndNames)
{
    CSettingsStore store;
    store.SetUInt("log-verbose-level", 3);
    store.SetBool("log-show-console", true);
    store.SetString("user-selected-theme", "blue");

    uint32_t number = 0;
    bool flag = false;
    std::string text = "untouched";
    EXPECT_TRUE(store.GetUInt("LOG-VERBOSE-LEVEL", number, 1));
    EXPECT_EQ(number, 3u);
    // A kind mismatch answers the default.
    EXPECT_FALSE(store.GetBool("log-verbose-level", flag, true));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(store.GetUInt("user-selected-theme", number, 7));
    EXPECT_EQ(number, 7u);
    EXPECT_FALSE(store.GetString("log-show-console", text));
    EXPECT_EQ(text, "untouched");
    EXPECT_FALSE(store.GetString("missing", text, "fallback"));
    EXPECT_EQ(text, "fallback");

    // A setter replaces a setting of another kind under any spelling of the name.
    store.SetString("Log-Verbose-Level", "two", true);
    EXPECT_FALSE(store.GetUInt("log-verbose-level", number, 1));
    EXPECT_TRUE(store.GetString("log-verbose-level", text));
    EXPECT_EQ(text, "two");
    EXPECT_EQ(store.List().size(), 3u);

    store.Remove("USER-selected-theme");
    EXPECT_FALSE(store.Exists("user-selected-theme"));
    EXPECT_TRUE(store.Exists("log-show-console"));
}

TEST_F(SettingsTest, EverythingSurvivesASaveAndALoad)
{
    const std::string tricky = "<a href=\"x\">&amp; 'quoted' \xC3\xA9t\xC3\xA9</a>";
    {
        CSettingsStore store;
        store.Load(m_file);
        store.SetUInt("connection-timeout", 4294967295u);
        store.SetBool("gui-popup-message-topmost", false);
        store.SetString("view-1-name", tricky);
        store.SetString("pin", "abc", true);        // shorter than a cipher block
        store.SetString("empty-secret", "", true);
        store.SetString("long-secret", tricky + tricky, true);
        EXPECT_TRUE(store.IsModified());
        ASSERT_TRUE(store.Save());
        EXPECT_FALSE(store.IsModified());
    }
    const std::string file = ReadAll(m_file);
    EXPECT_EQ(file.find("abc"), std::string::npos) << file;
    EXPECT_NE(file.find("string-enc"), std::string::npos);
    EXPECT_NE(file.find("ASXSTART"), std::string::npos);

    CSettingsStore store;
    ASSERT_TRUE(store.Load(m_file));
    EXPECT_FALSE(store.IsModified());
    uint32_t number = 0;
    bool flag = true;
    std::string text;
    EXPECT_TRUE(store.GetUInt("connection-timeout", number, 0));
    EXPECT_EQ(number, 4294967295u);
    EXPECT_TRUE(store.GetBool("gui-popup-message-topmost", flag, true));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(store.GetString("view-1-name", text));
    EXPECT_EQ(text, tricky);
    EXPECT_TRUE(store.GetString("pin", text));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(store.GetString("empty-secret", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(store.GetString("long-secret", text));
    EXPECT_EQ(text, tricky + tricky);
    EXPECT_EQ(store.Find("pin")->type, "string-enc");
}

TEST_F(SettingsTest, ReadsGroupsAndSkipsWhatItCannotUse)
{
    std::string secret;
    ASSERT_TRUE(CSettingsStore::Scramble("hidden value", secret));
    std::ofstream(m_file) << "<ApplicationSettings>"
                             "<setting name=\"a\" type=\"UINT\" value=\"12\"/>"
                             "<setting name=\"no-type\" value=\"1\"/>"
                             "<setting name=\"no-value\" type=\"string\"/>"
                             "<setting name=\"odd\" type=\"float\" value=\"1.5\"/>"
                             "<setting name=\"broken\" type=\"string-enc\" value=\"ASXSTART0100ffffffffffffffffffASXEND\"/>"
                             "<other name=\"x\" type=\"string\" value=\"y\"/>"
                             "<setting name=\"b\" type=\"bool\" value=\"7\"/>"
                             "<ApplicationSettings name=\"proxy\">"
                             "<setting name=\"port\" type=\"uint\" value=\"8080\"/>"
                             "<ApplicationSettings name=\"inner\"><setting name=\"s\" type=\"string-enc\" value=\"" +
                                 secret + "\"/></ApplicationSettings>"
                             "</ApplicationSettings>"
                             "</ApplicationSettings>";
    CSettingsStore store;
    store.SetString("kept", "from before");
    ASSERT_TRUE(store.Load(m_file));
    std::vector<std::string> names;
    for (const auto& setting : store.List())
        names.push_back(setting.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "kept", "proxy.inner.s", "proxy.port"}));
    bool flag = false;
    EXPECT_TRUE(store.GetBool("b", flag, false));
    EXPECT_TRUE(flag);
    EXPECT_EQ(store.Find("proxy.port")->value, "8080");
    EXPECT_EQ(store.Find("PROXY.INNER.S")->value, "hidden value");
}

TEST_F(SettingsTest, UnscrambleRefusesDamagedValues)
{
    std::string good;
    ASSERT_TRUE(CSettingsStore::Scramble("secret text", good));
    std::string out;
    ASSERT_TRUE(CSettingsStore::Unscramble(good, out));
    EXPECT_EQ(out, "secret text");
    // Without the markers the whole text is read as hex.
    const std::string bare = good.substr(8, good.size() - 14);
    ASSERT_TRUE(CSettingsStore::Unscramble(bare, out));
    EXPECT_EQ(out, "secret text");

    std::string flipped = good;
    char& last = flipped[flipped.size() - 7];
    last = last == '0' ? '1' : '0';   // a byte of the checksum trailer
    std::string inBlock = good;
    inBlock[12] = inBlock[12] == '0' ? '1' : '0';   // inside the enciphered block
    for (const std::string& bad : {flipped, inBlock, std::string("ASXSTARTASXEND"), std::string("0100"),
                                   std::string("ASXSTART01zz00112233445566778899ASXEND"),
                                   good.substr(0, good.size() - 9) + "ASXEND"}) {
        EXPECT_FALSE(CSettingsStore::Unscramble(bad, out)) << bad;
    }
}

TEST_F(SettingsTest, SavingKeepsTheOldFileAndMissingFilesFallBackToIt)
{
    CSettingsStore store;
    store.Load(m_file);
    store.SetUInt("generation", 1);
    ASSERT_TRUE(store.Save());
    store.SetUInt("generation", 2);
    ASSERT_TRUE(store.Save());
    EXPECT_FALSE(fs::exists(m_file + ".temp"));
    EXPECT_NE(ReadAll(m_file + ".old").find("value=\"1\""), std::string::npos);
    EXPECT_NE(ReadAll(m_file).find("value=\"2\""), std::string::npos);

    // As after a save that stopped between putting the file aside and moving the new one in.
    fs::remove(m_file);
    CSettingsStore reloaded;
    ASSERT_TRUE(reloaded.Load(m_file));
    uint32_t generation = 0;
    EXPECT_TRUE(reloaded.GetUInt("generation", generation, 0));
    EXPECT_EQ(generation, 1u);
    reloaded.SetUInt("generation", 3);
    ASSERT_TRUE(reloaded.Save());
    EXPECT_NE(ReadAll(m_file).find("value=\"3\""), std::string::npos);
}

TEST_F(SettingsTest, AFailedSaveStaysModified)
{
    CSettingsStore store;
    store.Load((m_dir / "no-such-folder" / "settings.dat").string());
    store.SetBool("x", true);
    EXPECT_FALSE(store.Save());
    EXPECT_TRUE(store.IsModified());

    // Without a path there is nowhere to save.
    CSettingsStore unloaded;
    unloaded.SetBool("x", true);
    EXPECT_FALSE(unloaded.Save());
    EXPECT_TRUE(unloaded.IsModified());
}

TEST_F(SettingsTest, DatedCopiesOnePerDayAndOldOnesGo)
{
    // 2006-07-11 12:00 UTC, a Tuesday; the date of the copy is the local one.
    const int64_t now = 1152619200;
    plat::FakeClock clock(now);
    plat::SetClock(&clock);
    std::tm local{};
    ASSERT_TRUE(plat::UtcToLocal(now, local));
    char today[64];
    std::snprintf(today, sizeof today, "%04d-%02d-%02d settings.dat", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);

    fs::path backups = m_dir / "backups";
    fs::create_directories(backups);
    std::ofstream(m_dir / "paths.dat") << "<paths><f name=\"user-settings-backup\" path=\"" +
                                               backups.string() + "\" type=\"1\"/></paths>";
    CFolderPaths paths;
    paths.SetApplicationFolder(m_dir.string());
    ASSERT_TRUE(paths.Load((m_dir / "paths.dat").string()));

    struct Old { const char* name; int64_t age; bool kept; };
    const Old olds[] = {
        {"2006-06-27 settings.dat", 14 * 86400 + 60, false},   // 14 days and a minute
        {"2006-06-26 settings.dat", 14 * 86400, true},          // exactly 14 days
        {"2006-06-01 settings.dat.keep", 40 * 86400, true},     // another name
        {"2006-06-02 other.dat", 40 * 86400, true},
    };
    for (const Old& old : olds) {
        std::ofstream(backups / old.name) << "old";
        plat::FileTimes times;
        times.lastWrite = times.lastAccess = plat::UnixToFileTime(now - old.age);
        ASSERT_TRUE(plat::SetFileTimes((backups / old.name).string(), times));
    }
    fs::create_directories(backups / "2000-01-01 settings.dat");   // folders are left alone

    CSettingsStore store;
    store.SetFolderPaths(&paths);
    store.Load(m_file);
    store.SetUInt("generation", 1);
    ASSERT_TRUE(store.Save());
    store.SetUInt("generation", 2);
    ASSERT_TRUE(store.Save());

    // The first save of the day made the copy.
    EXPECT_NE(ReadAll(backups / today).find("value=\"1\""), std::string::npos);
    for (const Old& old : olds)
        EXPECT_EQ(fs::exists(backups / old.name), old.kept) << old.name;
    EXPECT_TRUE(fs::is_directory(backups / "2000-01-01 settings.dat"));

    // Without a backup folder the copies go beside the file.
    CSettingsStore plain;
    plain.Load((m_dir / "plain.dat").string());
    plain.SetUInt("x", 1);
    ASSERT_TRUE(plain.Save());
    std::string besideName = std::string(today).substr(0, 11) + "plain.dat";
    EXPECT_TRUE(fs::exists(m_dir / besideName));
}

TEST_F(SettingsTest, ThePersistentStoreSavesOnDestruction)
{
    {
        CSettingsStore store;
        store.Load(m_file);
        store.SetString("user-selected-theme", "default");
    }
    CSettingsStore store;
    ASSERT_TRUE(store.Load(m_file));
    EXPECT_TRUE(store.Exists("user-selected-theme"));
}

TEST_F(SettingsTest, LoadFailuresAreLoggedAsText)
{
    const std::string log = (m_dir / "test.log").string();
    InitLogging("Quilvo Lite", "", log, 2, false);
    CSettingsStore store;
    store.SetUInt("kept", 5);
    // A name full of format directives must reach the log as it is.
    EXPECT_FALSE(store.Load((m_dir / "missing %s%s%n %d.dat").string()));
    std::ofstream(m_file) << "<ApplicationSettings><setting></ApplicationSettings>";
    EXPECT_FALSE(store.Load(m_file));
    InitLogging("Quilvo Lite", "", "", 0, false);

    const std::string text = ReadAll(log);
    EXPECT_NE(text.find("ApplicationSettings file couldn't be opened with the following error; "
                        "Failed to read file '" + (m_dir / "missing %s%s%n %d.dat").string()),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("XML Parse error at line 1"), std::string::npos) << text;
    EXPECT_TRUE(store.Exists("kept"));
}

}  // namespace
