// Script windows in a running program: the application runs the test theme "windowcheck" in this
// process, headless, with its program folder, home and runtime folders in a fresh temporary
// folder. The theme drives its windows through the test's own script functions and records
// what it saw; the log shows what the program did.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/GuideApplication.h"
#include "app/WindowSectionForJS.h"
#include "foundation/Log.h"
#include "platform/Input.h"
#include "platform/Instance.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "script/JSObject.h"
#include "tests/common/LogLines.h"
#include "tools/qvl-listings-server/ListingsServer.h"
#include "ui/WindowSection.h"
#include "update/RequestManager.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> g_records;

// Joins the thread while answering what it sends to this one, as the message loop would.
void WaitAnsweringSentMessages(std::thread& thread)
{
    plat::Thread joiner([&thread] { thread.join(); });
    joiner.Join();
}

// record(text): what the script saw.
bool Record(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    g_records.push_back(JSValueToText(cx, args.get(0)));
    args.rval().setUndefined();
    return true;
}

// testSend(window, message, wParam, lParam) and testPost(...): the message the system would give.
bool TestSend(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::LRESULT result = plat::SendMessage(JSValueToInt(cx, args.get(0)), JSValueToInt(cx, args.get(1)),
                                                   JSValueToInt(cx, args.get(2)), JSValueToInt(cx, args.get(3)));
    args.rval().setNumber(double(result));
    return true;
}

bool TestPost(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(plat::PostMessage(JSValueToInt(cx, args.get(0)), JSValueToInt(cx, args.get(1)),
                                             JSValueToInt(cx, args.get(2)), JSValueToInt(cx, args.get(3))));
    return true;
}

// testBroadcast(name): a registered message broadcast to every top-level window ("QVL_Exit" from
// another copy, "TaskbarCreated" from the shell), as the broadcast listener hands it on, without
// reaching the real copies of this user.
bool TestBroadcast(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(plat::PostToThreadWindows(
        plat::GetCurrentThreadId(), plat::RegisterWindowMessage(JSValueToText(cx, args.get(0))), 0, 0));
    return true;
}

// testSendErrorMessage(window, text) and testSendBalloonMessage(window, text, address): what a
// component on another thread hands to the script.
bool TestSendErrorMessage(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::HWND hwnd = JSValueToInt(cx, args.get(0));
    const std::string text = JSValueToText(cx, args.get(1));
    CErrorMessageRecord record;
    record.pszText = text.c_str();
    std::thread sender([&] { plat::SendMessage(hwnd, MSG_ERROR_MESSAGE, plat::WPARAM(&record), 0); });
    WaitAnsweringSentMessages(sender);
    args.rval().setUndefined();
    return true;
}

bool TestSendBalloonMessage(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const plat::HWND hwnd = JSValueToInt(cx, args.get(0));
    const std::string text = JSValueToText(cx, args.get(1));
    const std::string address = JSValueToText(cx, args.get(2));
    CBalloonMessageRecord record;
    record.pszText = text.c_str();
    record.pszAddress = address.c_str();
    std::thread sender([&] { plat::SendMessage(hwnd, MSG_BALLOON_MESSAGE, plat::WPARAM(&record), 0); });
    WaitAnsweringSentMessages(sender);
    args.rval().setUndefined();
    return true;
}

// testPressHotKey(system modifiers, key)
bool TestPressHotKey(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(plat::PressHotKey(JSValueToInt(cx, args.get(0)), JSValueToInt(cx, args.get(1))));
    return true;
}

// testReadFile(path): the file's text, "" when it cannot be read.
bool TestReadFile(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    std::ifstream in(JSValueToText(cx, args.get(0)), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    JSString* str = JSNewText(cx, text.str());
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

// testSetCursor(x, y): where the mouse is on the screen.
bool TestSetCursor(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    plat::SetCursorPos(JSValueToInt(cx, args.get(0)), JSValueToInt(cx, args.get(1)));
    args.rval().setUndefined();
    return true;
}

// testTrayState(window): the window's notification-area icon and balloon as a text.
bool TestTrayState(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const auto* pWindow =
        reinterpret_cast<const CWindowSection*>(plat::GetProp(JSValueToInt(cx, args.get(0)), "section-ptr"));
    std::string text = "no window";
    if (pWindow) {
        const CWindowSection::TrayState& tray = pWindow->GetTrayState();
        text = pWindow->IsTrayIconPresent() ? "icon " + std::to_string(tray.pIcon ? tray.pIcon->GetSize().cx : 0) +
                                                  "px \"" + tray.strTip + "\", balloon \"" + tray.strBalloonTitle +
                                                  "\" \"" + tray.strBalloonText + "\" " +
                                                  std::to_string(tray.uBalloonTimeout) + " ms flags " +
                                                  std::to_string(tray.uBalloonFlags)
                                            : "none";
    }
    JSString* str = JSNewText(cx, text);
    if (!str)
        return false;
    args.rval().setString(str);
    return true;
}

const JSFunctionSpec kTestFunctions[] = {
    JS_FN("testSetCursor", TestSetCursor, 2, 0),
    JS_FN("testTrayState", TestTrayState, 1, 0),
    JS_FN("record", Record, 1, 0),
    JS_FN("testSend", TestSend, 4, 0),
    JS_FN("testPost", TestPost, 4, 0),
    JS_FN("testBroadcast", TestBroadcast, 1, 0),
    JS_FN("testSendErrorMessage", TestSendErrorMessage, 2, 0),
    JS_FN("testSendBalloonMessage", TestSendBalloonMessage, 3, 0),
    JS_FN("testPressHotKey", TestPressHotKey, 2, 0),
    JS_FN("testReadFile", TestReadFile, 1, 0),
    JS_FS_END};

// The program with the test's functions in its theme engine.
class WindowCheckApplication : public CGuideApplication {
public:
    using CGuideApplication::CGuideApplication;

protected:
    CScriptEngine* CreateScriptEngine() override
    {
        CScriptEngine* pEngine = CGuideApplication::CreateScriptEngine();
        if (pEngine)
            pEngine->DefineFunctions(kTestFunctions);
        return pEngine;
    }
};

class WindowThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_root = fs::temp_directory_path() /
                 ("qvl-windowtheme-" + std::string(test->name()) + "-" + std::to_string(plat::GetCurrentProcessId()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "run");
        fs::create_directories(m_root / "app/themes");
        for (const char* name : {"paths.dat", "connection-errors.dat"})
            fs::copy_file(fs::path(QVL_APP_DIR) / name, m_root / "app" / name);
        fs::copy(QVL_TEST_DATA "/themes/windowcheck", m_root / "app/themes/windowcheck");
        setenv("HOME", (m_root / "home").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        setenv("QVL_PLATFORM", "headless", 1);
        g_records.clear();
    }
    void TearDown() override
    {
        InitLogging("", "", "", 0, false);
        plat::SetVirtualTimerClock(false);
        fs::remove_all(m_root);
    }

    // Runs the scenario with the log at level 2; answers what the script recorded.
    std::vector<std::string> Run(const std::string& scenario, const std::string& moreSettings = "")
    {
        Write("home/.local/share/QuilvoLite/settings/settings.dat",
              "<ApplicationSettings>"
              "<setting name=\"log-verbose-level\" type=\"uint\" value=\"2\"/>"
              "<setting name=\"user-selected-theme\" type=\"string\" value=\"windowcheck\"/>"
              "<setting name=\"windowcheck-scenario\" type=\"string\" value=\"" + scenario + "\"/>" +
                  moreSettings + "</ApplicationSettings>");
        {
            WindowCheckApplication application((m_root / "app").string() + "/");
            EXPECT_TRUE(application.Run());
        }
        return g_records;
    }

    void Write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative, std::ios::binary) << text;
    }

    // The texts of the log's lines, without their date, time, process and thread columns.
    std::vector<std::string> LogTexts() const
    {
        return ReadLogTexts((m_root / "home/.local/share/QuilvoLite/logs/QuilvoLite.log").string());
    }
    size_t LogCount(const std::string& text) const
    {
        const auto texts = LogTexts();
        return size_t(std::count(texts.begin(), texts.end(), text));
    }

    fs::path m_root;
};

using Records = std::vector<std::string>;

TEST_F(WindowThemeTest, AWindowKeepsWhatTheScriptGivesIt)
{
    EXPECT_EQ(Run("window"),
              (Records{"caption Listings, cursor 2", "client 0,0,200,100", "cursor at 5,7",
                       "tray: icon 2px \"Quilvo Lite\", balloon \"Title\" \"Text\" 60000 ms flags 0", "tray: none",
                       "timerStart: window.timerStart: Parameter incorrect, needs function",
                       "create: window.create needs a Rect", "parent: class 'Window' failed to create it's object",
                       "ignored parent: 0", "child made: true", "child tray click",
                       "child handle 0", "quit", "run returned"}));
}

TEST_F(WindowThemeTest, WindowTimersCallTheirFunctionUntilStopped)
{
    plat::SetVirtualTimerClock(true, 5000);
    EXPECT_EQ(Run("timers"), (Records{"first timer 1", "tick 1 on main", "tick 2 on main", "tick 3 on main",
                                      "quit", "run returned"}));
}

TEST_F(WindowThemeTest, TheEndOfTheLogonIsRefusedOnlyByAnAnswerOtherThanTrue)
{
    EXPECT_EQ(Run("session"), (Records{"asked", "answering nothing: 0", "answering true: 1", "missing: 1", "quit",
                                       "run returned"}));
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnQueryEndSession"), 3u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::onQueryEndSession: Callback Function app.onQueryEndSession was not "
                       "handled"),
              1u);
}

TEST_F(WindowThemeTest, SuspendSavesTheSettingsAndResumeTellsTheScript)
{
    EXPECT_EQ(Run("power"), (Records{"saved before: false", "suspend: 1", "saved at suspend: true", "resumed",
                                     "resume: 1", "quit", "run returned"}));
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnPowerChange PBT_APMSUSPEND"), 1u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnPowerChange PBT_APMRESUMESUSPEND"), 1u);
}

TEST_F(WindowThemeTest, ExitBroadcastToTwoWindowsEndsTheLoopOnce)
{
    EXPECT_EQ(Run("exit"), (Records{"quit", "run returned", "second run ticked", "quit"}));
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Received quit message"), 2u);
    EXPECT_EQ(LogCount("CScriptApplication::RunMessageLoop: Received quit message"), 0u);
}

TEST_F(WindowThemeTest, ExitBroadcastWithoutWindowsEndsTheLoop)
{
    EXPECT_EQ(Run("exit-without-windows"), (Records{"quit", "run returned"}));
    EXPECT_EQ(LogCount("CScriptApplication::RunMessageLoop: Received quit message"), 1u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Received quit message"), 0u);
}

TEST_F(WindowThemeTest, EveryScriptWindowTellsTheScriptOfANewTaskbar)
{
    EXPECT_EQ(Run("taskbar"), (Records{"taskbar restart", "taskbar restart", "quit", "run returned"}));
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnTaskBarRestart"), 2u);
}

TEST_F(WindowThemeTest, MessagesFromOtherThreadsReachTheScript)
{
    EXPECT_EQ(Run("messages"), (Records{"error message: disk full",
                                        "balloon message: New listings at http://listings.invalid/", "quit",
                                        "run returned"}));
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Received error message"), 2u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Received got balloon message"), 2u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Callback Function app.onGotErrorMessage was not "
                       "handled"),
              1u);
    EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Callback Function app.onGotMessage was not handled"),
              1u);
}

TEST_F(WindowThemeTest, HotKeysReachTheWindowThatRegisteredThem)
{
    EXPECT_EQ(Run("hotkeys"), (Records{"register: true", "taken: false", "shift: true", "no key: undefined",
                                       "not a window: undefined", "no native window: false false undefined",
                                       "press ctrl+m: true", "press shift+a: true",
                                       "hot key 7 on main", "hot key 9 on main", "quit", "run returned",
                                       "unregister: true then false"}));
    const auto log = LogTexts();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& t) { return t.find("JavaScript registerHotKey for ID #8 failed because: ") != std::string::npos; }),
              1);
}

TEST_F(WindowThemeTest, StoppingWithoutAnUpdateWritesNothing)
{
    EXPECT_EQ(Run("stop-without-update"), (Records{"quit", "run returned"}));
    EXPECT_EQ(LogCount("QV Update listings stopped..."), 0u);
}

TEST_F(WindowThemeTest, AFailedUpdateIsReportedOnceToTheScriptWhichMayStopItThere)
{
    for (const char* scenario : {"update-fails", "update-fails-unnamed"}) {
        SCOPED_TRACE(scenario);
        g_records.clear();
        Write("app/nodial", "127.0.0.1:1\n");   // nothing listens there
        const Records records = Run(scenario);
        ASSERT_EQ(records.size(), 4u) << ::testing::PrintToString(records);
        EXPECT_EQ(records[0], "updating: true");
        // Every server failed: the report carries no number, and its text comes from the table.
        EXPECT_EQ(records[1], "update error 0 " + ConnectionErrorText(0));
        EXPECT_EQ(records[2], "quit");
        EXPECT_EQ(LogCount("QV Checking for updates..."), 1u);
        EXPECT_EQ(LogCount("CWindowSectionForJS::OnUnhandledMessage: Received update error"), 1u);
        EXPECT_EQ(LogCount("QV Update listings stopped..."), 1u);
        fs::remove(m_root / "home/.local/share/QuilvoLite/logs/QuilvoLite.log");
    }
}

TEST_F(WindowThemeTest, AnUpdateAbsorbsListingsWhileTheProgramRuns)
{
    // A week of demo listings for the demo region, of which the server keeps channel 101's.
    const fs::path content = m_root / "content";
    ASSERT_EQ(std::system(("'" QVL_APP_DIR "/qvl-demo-content' '" + content.string() + "' > /dev/null").c_str()), 0);
    for (const auto& entry : fs::directory_iterator(content / "updates"))
        if (entry.path().filename().string().rfind("101-", 0) != 0)
            fs::remove(entry.path());
    fs::copy_file(content / "files/default-theme-folder/region.dat", m_root / "app/themes/windowcheck/region.dat");
    CListingsServer server(content.string());
    const int port = server.Bind("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    std::thread serving([&server] { server.Run(); });
    Write("app/nodial", "127.0.0.1:" + std::to_string(port) + "\n");

    const Records records =
        Run("update", "<setting name=\"user-selected-region-id\" type=\"uint\" value=\"1\"/>");
    server.Stop();
    serving.join();
    EXPECT_EQ(records, (Records{"updating seen true, listings absorbed", "quit", "run returned"}));
    EXPECT_TRUE(fs::exists(m_root / "home/.local/share/QuilvoLite/schedules"));
}

}  // namespace
