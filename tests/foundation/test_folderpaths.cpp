// The folder table: the XDG folders it publishes, paths files and their overrides, and folders
// made on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "platform/Process.h"

namespace fs = std::filesystem;

namespace {

class FolderPathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = fs::temp_directory_path() /
                 ("qvl-folders-" + std::to_string(plat::GetCurrentProcessId()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "app");
        setenv("HOME", (m_root / "home").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string Path(const std::string& relative) const { return (m_root / relative).string(); }
    void Write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories(fs::path(Path(relative)).parent_path());
        std::ofstream(Path(relative)) << text;
    }

    fs::path m_root;
};

TEST_F(FolderPathsTest, PublishesTheXdgFolders)
{
    struct Case {
        const char* dataHome;     // XDG_DATA_HOME, or nullptr
        const char* userDirs;     // content of ~/.config/user-dirs.dirs, or nullptr
        std::string userAppData;  // expected, relative to the test folder
        std::string videos;
    };
    const Case cases[] = {
        {nullptr, nullptr, "home/.local/share/", "home/Videos/"},
        {"/xdg-data", nullptr, "/xdg-data/", "home/Videos/"},
        {"relative/ignored", "# comment\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n", "home/.local/share/", "home/Filme/"},
        {nullptr, "XDG_VIDEOS_DIR=\"/media/films\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", "home/.local/share/", "/media/films/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.userDirs ? c.userDirs : "no user-dirs.dirs");
        fs::remove_all(m_root / "home");
        if (c.dataHome)
            setenv("XDG_DATA_HOME", c.dataHome, 1);
        else
            unsetenv("XDG_DATA_HOME");
        if (c.userDirs)
            Write("home/.config/user-dirs.dirs", c.userDirs);

        CFolderPaths paths;
        paths.SetApplicationFolder(Path("app"));
        auto expected = [&](const std::string& p) { return p[0] == '/' ? p : Path(p); };
        EXPECT_EQ(paths.GetApplicationFolder(), Path("app/"));
        EXPECT_EQ(plat::GetEnv("APP"), Path("app/"));
        EXPECT_EQ(plat::GetEnv("APPDATA"), Path("app/"));
        EXPECT_EQ(plat::GetEnv("USER_APPDATA"), expected(c.userAppData));
        EXPECT_EQ(plat::GetEnv("CSIDL_MYVIDEO"), expected(c.videos));
    }

    // Without a home the program's folder stands in.
    unsetenv("HOME");
    unsetenv("XDG_DATA_HOME");
    CFolderPaths paths;
    paths.SetApplicationFolder(Path("app"));
    EXPECT_EQ(plat::GetEnv("USER_APPDATA"), Path("app/"));
    EXPECT_EQ(plat::GetEnv("CSIDL_MYVIDEO"), Path("app/My Videos/"));
}

TEST_F(FolderPathsTest, ExpandsVariablesAndBackslashes)
{
    setenv("QVL_TEST_DIR", "/data/", 1);
    unsetenv("QVL_NOT_SET");
    const std::pair<const char*, const char*> cases[] = {
        {"%QVL_TEST_DIR%Schedules", "/data/Schedules"},
        {"%QVL_TEST_DIR%\\Sub\\Dir", "/data/Sub/Dir"},
        {"%QVL_NOT_SET%x", "%QVL_NOT_SET%x"},
        {"50%%QVL_TEST_DIR%x", "50%/data/x"},
        {"no variables", "no variables"},
        {"%unterminated", "%unterminated"},
    };
    for (const auto& [text, expected] : cases) {
        std::string out;
        EXPECT_TRUE(CFolderPaths::ExpandPath(text, out)) << text;
        EXPECT_EQ(out, expected) << text;
    }
    std::string out;
    EXPECT_FALSE(CFolderPaths::ExpandPath(std::string(5000, 'x'), out));
}

TEST_F(FolderPathsTest, UserPathsOverrideAndFoldersAreMadeOnDemand)
{
    Write("app/paths.dat",
          "<?xml version=\"1.0\"?>\n<paths>\n"
          "  <folder name=\"schedule-folder\" path=\"%USER_APPDATA%Quilvo\\Schedules\" type=\"1\"/>\n"
          "  <folder name=\"log-folder\" path=\"%APP%logs\" type=\"1\"/>\n"
          "  <folder name=\"user-settings\" path=\"%USER_APPDATA%Quilvo/settings/\" type=\"1\"/>\n"
          "  <folder name=\"not-a-folder\" path=\"%APP%file.txt\"/>\n"
          "  <folder name=\"no-path\" type=\"1\"/>\n"
          "  <other path=\"%APP%x\" type=\"1\"/>\n"
          "</paths>\n");
    Write("user/user-paths.dat",
          "<paths><anything name=\"LOG-FOLDER\" path=\"%USER_APPDATA%mylogs\" type=\"1\"/>"
          "<f name=\"schedule-folder\" path=\"/ignored\" type=\"2\"/></paths>");

    CFolderPaths paths;
    paths.SetApplicationFolder(Path("app/"));
    ASSERT_TRUE(paths.Load(Path("app/paths.dat")));
    const std::string userData = Path("home/.local/share/");
    EXPECT_EQ(paths.GetFolder("SCHEDULE-FOLDER"), userData + "Quilvo/Schedules/");
    EXPECT_TRUE(fs::is_directory(userData + "Quilvo/Schedules"));
    EXPECT_EQ(paths.GetFolder("log-folder"), Path("app/logs/"));
    EXPECT_EQ(paths.GetFolder("user-settings"), userData + "Quilvo/settings/");
    EXPECT_EQ(paths.GetFolder("not-a-folder"), "");
    EXPECT_FALSE(fs::exists(Path("app/file.txt")));
    EXPECT_EQ(paths.GetFolder("no-path"), "");
    EXPECT_EQ(paths.GetFolder("unknown-key"), "");
    std::string found;
    EXPECT_FALSE(paths.FindFolder("unknown-key", found));

    // A folder removed while the program runs comes back on the next lookup.
    fs::remove_all(userData + "Quilvo/Schedules");
    EXPECT_EQ(paths.GetFolder("schedule-folder"), userData + "Quilvo/Schedules/");
    EXPECT_TRUE(fs::is_directory(userData + "Quilvo/Schedules"));

    // The user's file replaces entries of the same name, their type included.
    ASSERT_TRUE(paths.Load(Path("user/user-paths.dat")));
    EXPECT_EQ(paths.GetFolder("log-folder"), userData + "mylogs/");
    EXPECT_EQ(paths.GetFolder("schedule-folder"), "");

    // Files that are missing, malformed or without "paths" add nothing.
    Write("bad.dat", "<paths><folder name=\"x\" path=\"/x\" type=\"1\"/>");
    Write("other.dat", "<settings/>");
    EXPECT_FALSE(paths.Load(Path("missing.dat")));
    EXPECT_FALSE(paths.Load(Path("bad.dat")));
    EXPECT_FALSE(paths.Load(Path("other.dat")));
    EXPECT_EQ(paths.GetFolder("x"), "");

    auto listed = paths.ListFolders();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].first, "LOG-FOLDER");
    EXPECT_EQ(listed[1].first, "user-settings");
}

// An update may install a new table while the program runs: it is read again as a whole, the
// user's table over it, while other threads go on looking folders up; an unreadable table
// leaves the one in use.
TEST_F(FolderPathsTest, ReloadReplacesTheWholeTableWhileOthersLookUp)
{
    const auto table = [&](const std::string& logs, const std::string& extra) {
        Write("app/paths.dat", "<paths><folder name=\"user-settings\" path=\"%APP%settings\" type=\"1\"/>"
                               "<folder name=\"log-folder\" path=\"%APP%" + logs + "\" type=\"1\"/>" + extra +
                                   "</paths>");
    };
    table("logs", "<folder name=\"old-only\" path=\"%APP%old\" type=\"1\"/>");
    CFolderPaths paths;
    paths.SetApplicationFolder(Path("app/"));
    ASSERT_TRUE(paths.Reload());
    EXPECT_EQ(paths.GetFolder("log-folder"), Path("app/logs/"));
    EXPECT_EQ(paths.GetFolder("old-only"), Path("app/old/"));

    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string folder = paths.GetFolder("log-folder");
            if (folder != Path("app/logs/") && folder != Path("app/newlogs/"))
                ++odd;
        }
    });
    table("newlogs", "");
    Write("app/settings/user-paths.dat", "<paths><folder name=\"mine\" path=\"%APP%mine\" type=\"1\"/></paths>");
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(paths.Reload());
    stop = true;
    reader.join();
    EXPECT_EQ(odd, 0);
    EXPECT_EQ(paths.GetFolder("log-folder"), Path("app/newlogs/"));
    EXPECT_EQ(paths.GetFolder("mine"), Path("app/mine/"));
    EXPECT_EQ(paths.GetFolder("old-only"), "");   // gone with the old table

    fs::remove(Path("app/paths.dat"));
    EXPECT_FALSE(paths.Reload());
    EXPECT_EQ(paths.GetFolder("log-folder"), Path("app/newlogs/"));
}

TEST_F(FolderPathsTest, AFolderThatCannotBeMadeStopsWithTheFolderMessage)
{
    Write("app/blocker", "a file where a folder should be");
    Write("app/paths.dat", "<paths><f name=\"images-folder\" path=\"%APP%blocker/images\" type=\"1\"/></paths>");
    CFolderPaths paths;
    paths.SetApplicationFolder(Path("app"));
    ASSERT_TRUE(paths.Load(Path("app/paths.dat")));
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            paths.GetFolder("images-folder");
            ADD_FAILURE() << "no exception";
        } catch (CBaseException* e) {
            EXPECT_NE(dynamic_cast<CExtraInfoException*>(e), nullptr);
            EXPECT_EQ(e->m_nCode, 2);
            std::string text = e->GetText();
            EXPECT_EQ(text.rfind("Sorry, Quilvo was unable to find folder [images-folder]->'" +
                                     Path("app/blocker/images/") + "', cannot continue.\n",
                                 0),
                      0u)
                << text;
            e->Delete();
        }
    }
}

// The paths.dat installed with the program names every folder the program uses, each under the
// user's data folder or the program's folder.
TEST_F(FolderPathsTest, TheInstalledTableNamesEveryFolder)
{
    CFolderPaths paths;
    paths.SetApplicationFolder(Path("app"));
    ASSERT_TRUE(paths.Load(QVL_SOURCE_DIR "/app/data/paths.dat"));
    const char* keys[] = {"app-folder", "updates-folder", "backup-files-folder",
                          "pending-schedules-folder", "schedule-folder", "user-settings",
                          "user-settings-backup", "quilvo-folder", "channels-folder",
                          "channel-images-folder", "images-folder", "themes-folder",
                          "schemes-folder", "marker-templates-folder", "log-folder"};
    std::set<std::string> seen;
    for (const char* key : keys) {
        std::string folder = paths.GetFolder(key);
        EXPECT_TRUE(folder.rfind(Path("home/.local/share/QuilvoLite/"), 0) == 0 ||
                    folder.rfind(Path("app/"), 0) == 0)
            << key << " -> " << folder;
        EXPECT_TRUE(fs::is_directory(folder)) << key;
        EXPECT_TRUE(key == std::string("app-folder") || seen.insert(folder).second)
            << key << " shares its folder";
    }
    EXPECT_EQ(paths.GetFolder("app-folder"), Path("app/"));
}

}  // namespace
