// The application object in this process: its services, the message loop, the hot-key setting
// migration, the upgrade hand-over and the connection watcher.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "TempFolder.h"
#include "app/GuideApplication.h"
#include "app/InternetConnectionWatcher.h"
#include "foundation/Log.h"
#include "platform/File.h"
#include "platform/Instance.h"
#include "platform/MessageBox.h"
#include "platform/MessageQueue.h"
#include "platform/Names.h"

namespace fs = std::filesystem;

namespace {

// A home, a runtime folder and a program folder holding the installed folder table, so that
// the application finds its folders, and hears broadcasts, only there.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("HOME", (m_temp / "home").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
        setenv("XDG_RUNTIME_DIR", (m_temp / "run").c_str(), 1);
        setenv("QVL_PLATFORM", "headless", 1);
        fs::create_directories(m_temp / "run");
        fs::create_directories(m_temp / "app");
        fs::copy_file(QVL_APP_DIR "/paths.dat", m_temp / "app/paths.dat");
        fs::copy(QVL_APP_DIR "/themes", m_temp / "app/themes", fs::copy_options::recursive);
        plat::TakeShownMessageBoxes();
    }
    void TearDown() override { InitLogging("", "", "", 0, false); }

    std::string SettingsFile() const { return m_temp / "home/.local/share/QuilvoLite/settings/settings.dat"; }

    TempFolder m_temp;
};

TEST_F(ApplicationTest, ServesFoldersAndTheAccessorWhileItLives)
{
    EXPECT_EQ(GetApplicationServices(), nullptr);
    {
        CGuideApplication application(m_temp / "app");
        EXPECT_EQ(GetApplicationServices(), &application);
        CApplicationServices& services = *GetApplicationServices();
        EXPECT_EQ(services.GetFolder("app-folder"), m_temp / "app/");
        EXPECT_EQ(services.GetFolder("schedule-folder"), m_temp / "home/.local/share/QuilvoLite/schedules/");
        EXPECT_EQ(plat::GetEnv("QVIMAGEDIR"), m_temp / "app/images/");
        std::string folder;
        EXPECT_FALSE(services.FindFolder("no-such-key", folder));

        EXPECT_FALSE(services.IsUpdating());
        services.SetUpdating(true);
        EXPECT_TRUE(services.IsUpdating());

        // A main window that no longer exists gets nothing.
        const plat::HWND window = plat::CreateWindowRecord(
            [](plat::HWND, uint32_t, plat::WPARAM, plat::LPARAM) -> plat::LRESULT { return 0; });
        services.SetMainWindowHandle(window);
        services.PostToMainWindow(plat::WM_USER + 1, 1, 2);
        plat::DestroyWindowRecord(window);
        services.PostToMainWindow(plat::WM_USER + 2, 1, 2);
        plat::MSG msg;
        int posted = 0;
        while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE))
            posted += msg.message == plat::WM_USER + 2;
        EXPECT_EQ(posted, 0);

        application.GetSettings().SetString("user-selected-theme", "default");
    }
    EXPECT_EQ(GetApplicationServices(), nullptr);
    // Changed settings are saved when the application goes.
    CSettingsStore saved;
    ASSERT_TRUE(saved.Load(SettingsFile()));
    EXPECT_TRUE(saved.Exists("user-selected-theme"));
}

TEST_F(ApplicationTest, AFolderThatCannotBeMadeIsShownAndStopsStartUp)
{
    m_temp.Write("app/blocker", "a file where folders should go");
    m_temp.Write("home/.local/share/QuilvoLite/settings/user-paths.dat",
                 "<paths><f name=\"log-folder\" path=\"%APP%blocker/logs\" type=\"1\"/></paths>");
    CGuideApplication application(m_temp / "app");
    plat::PostQuitMessage(0);   // in case start-up went on to the loop
    EXPECT_FALSE(application.Initialise());
    auto boxes = plat::TakeShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "No name set");
    EXPECT_NE(boxes[0].text.find("Sorry, Quilvo was unable to find folder [log-folder]"), std::string::npos)
        << boxes[0].text;
    plat::MSG msg;
    while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE)) {
    }
}

TEST_F(ApplicationTest, IdleCallsCountUntilAMessageOtherThanPaintOrTimerArrives)
{
    struct IdleApplication : CGuideApplication {
        using CGuideApplication::CGuideApplication;
        bool OnIdle(uint32_t count) override
        {
            counts.push_back(count);
            const uint32_t thread = plat::GetCurrentThreadId();
            switch (counts.size()) {
            case 3: plat::PostThreadMessage(thread, plat::WM_TIMER, 0, 0); return true;
            case 4: plat::PostThreadMessage(thread, plat::WM_USER, 0, 0); return true;
            case 5:
                // Another copy asks every running copy to exit.
                plat::PostThreadMessage(thread, plat::RegisterWindowMessage(plat::kExitMessageName), 0, 0);
                return false;
            default: return counts.size() < 5;
            }
        }
        std::vector<uint32_t> counts;
    };
    IdleApplication application(m_temp / "app");
    EXPECT_EQ(application.RunMessageLoop(), 0);
    ASSERT_GE(application.counts.size(), 5u);
    EXPECT_EQ(std::vector<uint32_t>(application.counts.begin(), application.counts.begin() + 5),
              (std::vector<uint32_t>{0, 1, 2, 3, 0}));
}

TEST_F(ApplicationTest, HotKeySettingsMoveToTheViewsOnce)
{
    struct Case {
        bool viewsExist;
        uint32_t expectedView1Mods, expectedView2Vk;
        bool oldRemain;
    };
    const Case cases[] = {{false, 5, 83, false}, {true, 9, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.viewsExist);
        fs::remove_all(m_temp / "home");
        {
            CSettingsStore seed;
            seed.Load(SettingsFile());
            seed.SetUInt("movies-hotkey-mods", 5);
            seed.SetUInt("soaps-hotkey-vk", 70);
            if (c.viewsExist)
                seed.SetUInt("view-1-hotkey-mods", 9);
            fs::create_directories(fs::path(SettingsFile()).parent_path());
            ASSERT_TRUE(seed.Save());
        }
        CGuideApplication application(m_temp / "app");
        plat::PostQuitMessage(0);
        EXPECT_TRUE(application.Initialise());
        CSettingsStore& settings = application.GetSettings();
        uint32_t value = 0;
        settings.GetUInt("view-1-hotkey-mods", value, 0);
        EXPECT_EQ(value, c.expectedView1Mods);
        settings.GetUInt("view-2-hotkey-vk", value, 0);
        EXPECT_EQ(value, c.expectedView2Vk);
        if (!c.viewsExist) {
            settings.GetUInt("view-3-hotkey-vk", value, 0);
            EXPECT_EQ(value, 70u);
        }
        EXPECT_EQ(settings.Exists("movies-hotkey-mods"), c.oldRemain);
        EXPECT_EQ(settings.Exists("soaps-hotkey-vk"), c.oldRemain);
    }
}

TEST_F(ApplicationTest, TheUpgraderIsStartedBeforeAnyCopyIsAskedToExit)
{
    std::atomic<int> exits{0};
    const uint32_t exitMessage = plat::RegisterWindowMessage(plat::kExitMessageName);
    plat::BroadcastListener listener;
    ASSERT_TRUE(listener.Start([&](uint32_t message) { exits += message == exitMessage; }));

    CGuideApplication application(m_temp / "app");
    InitLogging("Quilvo Lite", "", m_temp / "test.log", 1, false);
    const std::string upgrader = m_temp / "app/QuilvoLiteUpgrader";

    // No upgrader: a warning, and the program keeps running.
    application.StartUpgraderAndExit();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(exits.load(), 0);
    std::string log = m_temp.Read("test.log");
    EXPECT_NE(log.find("QV Upgrading: starting " + upgrader + " process"), std::string::npos) << log;
    EXPECT_NE(log.find("WARNING: QV Upgrading: unable to restart '" + upgrader + "' because: ("),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("posting exit message"), std::string::npos) << log;

    m_temp.Write("app/QuilvoLiteUpgrader", "#!/bin/sh\ntouch \"$0.ran\"\n");
    fs::permissions(upgrader, fs::perms::owner_all);
    application.StartUpgraderAndExit();
    for (int i = 0; i < 100 && (exits.load() == 0 || !fs::exists(upgrader + ".ran")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(exits.load(), 1);
    EXPECT_TRUE(fs::exists(upgrader + ".ran"));
    EXPECT_NE(m_temp.Read("test.log").find("QV Upgrading: posting exit message to close current app for upgrading"),
              std::string::npos);
}

TEST_F(ApplicationTest, InternetDetectionFollowsTheSetting)
{
    CGuideApplication application(m_temp / "app");
    CSettingsStore& settings = application.GetSettings();
    // Missing: written back as allowed; the watcher has not made its first check yet.
    EXPECT_FALSE(application.IsInternetAvailable());
    bool allowed = false;
    EXPECT_TRUE(settings.GetBool("connection-allow-detection", allowed, false));
    EXPECT_TRUE(allowed);
    settings.SetBool("connection-allow-detection", false);
    EXPECT_FALSE(application.IsInternetAvailable());
}

TEST(ConnectionWatcher, JudgesAddresses)
{
    const struct {
        std::vector<uint32_t> addresses;
        bool connected;
    } cases[] = {
        {{}, false},
        {{0x7F000001}, false},                         // 127.0.0.1
        {{0xA9FE0102}, false},                         // 169.254.1.2
        {{0xC0A80102}, true},                          // 192.168.1.2: private, behind a router
        {{0x0A000001, 0xAC1F0001}, true},              // 10.0.0.1, 172.31.0.1
        {{0xAC200001}, true},                          // 172.32.0.1 is public
        {{0x7F000001, 0x08080808}, true},              // 8.8.8.8
    };
    for (const auto& c : cases)
        EXPECT_EQ(CInternetConnectionWatcher::JudgeAddresses(c.addresses), c.connected)
            << (c.addresses.empty() ? 0 : c.addresses.back());
}

TEST(ConnectionWatcher, ChecksOnlyAfterTheWaitAndStopsPromptly)
{
    std::atomic<int> checks{0};
    auto started = std::chrono::steady_clock::now();
    {
        CInternetConnectionWatcher watcher(200, 50, [&] {
            ++checks;
            return std::vector<uint32_t>{0x08080808};
        });
        EXPECT_FALSE(watcher.IsConnected());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_FALSE(watcher.IsConnected());
        EXPECT_EQ(checks.load(), 0);
        for (int i = 0; i < 100 && !watcher.IsConnected(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(watcher.IsConnected());
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    }
    // A watcher in its long wait stops at once.
    started = std::chrono::steady_clock::now();
    { CInternetConnectionWatcher watcher; }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
}

}  // namespace
