// Window sections over the headless message queue: their windows, timers and the events that
// window messages become; the hot-key table; broadcasts reaching a thread's windows.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Input.h"
#include "platform/Instance.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/WindowMessages.h"
#include "ui/WindowSection.h"

namespace {

// Writes down every event it gets.
class RecordingWindow : public CWindowSection {
public:
    RecordingWindow() : CWindowSection(WT_MAIN, "test") {}

    void OnCreate() override { events.push_back("create"); }
    void OnDestroy() override { events.push_back(std::string("destroy tray=") + (IsTrayIconPresent() ? "1" : "0")); }
    void OnTimer(uintptr_t id) override { events.push_back("timer " + std::to_string(id)); }
    plat::LRESULT OnQueryEndSession() override { events.push_back("query end session"); return 0; }
    plat::LRESULT OnPowerChange(uint32_t event) override { events.push_back("power " + std::to_string(event)); return 7; }
    void OnTaskBarRestart() override { events.push_back("taskbar"); }
    void OnHotKey(int id) override { events.push_back("hot key " + std::to_string(id)); }
    void OnTrayLeftDoubleClick() override { events.push_back("tray double click"); }
    void OnTrayMouseMove() override { events.push_back("tray move"); }
    void OnTrayRightClick() override { events.push_back("tray right"); }
    void OnTrayLeftClick() override { events.push_back("tray left"); }
    void OnTrayBalloonClick() override { events.push_back("balloon click"); }
    void OnTrayBalloonTimeout() override { events.push_back("balloon timeout"); }
    plat::LRESULT OnUnhandledMessage(uint32_t message, plat::WPARAM, plat::LPARAM) override
    {
        events.push_back("unhandled " + std::to_string(message));
        return 3;
    }

    std::vector<std::string> events;
};

// Dispatches whatever is queued now, then takes the events.
std::vector<std::string> Pump(RecordingWindow& window)
{
    plat::MSG msg;
    while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE))
        plat::DispatchMessage(msg);
    return std::exchange(window.events, {});
}

class WindowSectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::SetVirtualTimerClock(true, 1000);
        plat::MSG msg;
        plat::PeekMessage(msg, 0, 0, 0, plat::PM_NOREMOVE);   // makes this thread's queue
    }
    void TearDown() override
    {
        CloseAllWindows();
        plat::MSG msg;
        while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE)) {
        }
        plat::SetVirtualTimerClock(false);
    }
};

TEST_F(WindowSectionTest, CreatingBindsTheSectionAndDestroyingForgetsTheWindow)
{
    RecordingWindow window;
    EXPECT_EQ(window.GetHWND(), 0u);
    EXPECT_EQ(window.StartTimer(100), 0u);   // no window, no timer
    ASSERT_TRUE(window.Create({10, 20, 110, 70}, 0));
    const plat::HWND hwnd = window.GetHWND();
    EXPECT_EQ(plat::GetProp(hwnd, "section-ptr"), reinterpret_cast<uintptr_t>(&window));
    EXPECT_FALSE(window.Create({0, 0, 1, 1}, 0));
    EXPECT_EQ(window.GetClientRect(), (plat::Rect{0, 0, 100, 50}));
    EXPECT_EQ(Pump(window), std::vector<std::string>{"create"});

    window.SetTrayIcon(std::make_shared<CImage>(), "tip");
    ASSERT_TRUE(plat::RegisterHotKey(hwnd, 1, plat::MOD_ALT, 'Q'));
    window.Close();
    EXPECT_EQ(window.events, std::vector<std::string>{"destroy tray=0"});   // the icon goes first
    EXPECT_EQ(window.GetTrayState().pIcon, nullptr);
    EXPECT_EQ(window.GetHWND(), 0u);
    EXPECT_FALSE(plat::IsWindow(hwnd));
    EXPECT_FALSE(plat::PressHotKey(plat::MOD_ALT, 'Q'));   // its hot keys went with it
}

TEST_F(WindowSectionTest, TimersTickInTheirSectionUntilStopped)
{
    RecordingWindow window;
    ASSERT_TRUE(window.Create({0, 0, 10, 10}, 0));
    Pump(window);
    const uintptr_t first = window.StartTimer(100);
    const uintptr_t second = window.StartTimer(300);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);

    // The virtual clock jumps from tick to tick: 650 ms hold six ticks of one and two of the other.
    plat::MSG msg;
    const uint64_t start = plat::QueueTickCount();
    while (plat::GetMessage(msg) && msg.time - start <= 650)
        plat::DispatchMessage(msg);
    const std::vector<std::string> ticks = std::exchange(window.events, {});
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), "timer 1"), 6);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), "timer 2"), 2);
    EXPECT_EQ(ticks.size(), 8u);

    // A tick of a stopped timer that was still queued reaches nobody.
    window.StopTimer(first);
    plat::PostMessage(window.GetHWND(), plat::WM_TIMER, first, 0);
    EXPECT_EQ(Pump(window), std::vector<std::string>{});
    window.StopTimer(second);
    EXPECT_EQ(window.StartTimer(10), 3u);   // ids are never reused
}

TEST_F(WindowSectionTest, WindowMessagesBecomeSectionEvents)
{
    RecordingWindow window;
    ASSERT_TRUE(window.Create({0, 0, 10, 10}, 0));
    Pump(window);
    const plat::HWND hwnd = window.GetHWND();
    const uint32_t taskbarCreated = plat::RegisterWindowMessage("TaskbarCreated");
    struct Case {
        uint32_t message;
        plat::WPARAM wParam;
        plat::LPARAM lParam;
        plat::LRESULT result;
        const char* event;
    };
    const Case cases[] = {
        {0x0011, 0, 0, 0, "query end session"},
        {0x0218, 4, 0, 7, "power 4"},
        {taskbarCreated, 0, 0, 0, "taskbar"},
        {0x0312, 9, 0, 0, "hot key 9"},
        {0x8001, 1, 0x0200, 0, "tray move"},
        {0x8001, 1, 0x0201, 0, "tray left"},
        {0x8001, 1, 0x0203, 0, "tray double click"},
        {0x8001, 1, 0x0204, 0, "tray right"},
        {0x8001, 1, 0x0404, 0, "balloon timeout"},
        {0x8001, 1, 0x0405, 0, "balloon click"},
        {0x0400 + 30, 0, 0, 3, "unhandled 1054"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plat::SendMessage(hwnd, c.message, c.wParam, c.lParam), c.result) << c.event;
        EXPECT_EQ(std::exchange(window.events, {}), std::vector<std::string>{c.event});
    }
    // A tray message the window does not know is ignored.
    plat::SendMessage(hwnd, 0x8001, 1, 0x0202);
    EXPECT_TRUE(window.events.empty());
}

TEST_F(WindowSectionTest, TrayIconAndBalloonKeepWhatFitsTheSystemsFields)
{
    RecordingWindow window;
    const CImagePtr icon = std::make_shared<CImage>();
    window.SetTrayIcon(icon, "no window yet");
    EXPECT_FALSE(window.IsTrayIconPresent());
    ASSERT_TRUE(window.Create({0, 0, 10, 10}, 0));
    window.SetTrayBalloon("Title", "Text", 60000, 0);   // no icon: no balloon
    EXPECT_TRUE(window.GetTrayState().strBalloonTitle.empty());

    // 126 bytes and a two-byte "é" make 128 bytes: the tip keeps 126, never half a character.
    const std::string tip = std::string(126, 't') + "\xC3\xA9";
    window.SetTrayIcon(icon, tip);
    ASSERT_TRUE(window.IsTrayIconPresent());
    EXPECT_EQ(window.GetTrayState().pIcon, icon);
    EXPECT_EQ(window.GetTrayState().strTip, std::string(126, 't'));
    window.SetTrayIcon(icon, std::string(127, 'a'));
    EXPECT_EQ(window.GetTrayState().strTip.size(), 127u);

    window.SetTrayBalloon(std::string(70, 'T'), std::string(300, 'x'), 5000, 2);
    EXPECT_EQ(window.GetTrayState().strBalloonTitle, std::string(63, 'T'));
    EXPECT_EQ(window.GetTrayState().strBalloonText, std::string(255, 'x'));
    EXPECT_EQ(window.GetTrayState().uBalloonTimeout, 5000u);
    EXPECT_EQ(window.GetTrayState().uBalloonFlags, 2u);
    window.SetTrayBalloon("", "empty title", 1, 1);
    EXPECT_EQ(window.GetTrayState().uBalloonFlags, 2u);

    window.RemoveTrayIcon();
    EXPECT_FALSE(window.IsTrayIconPresent());
    window.SetTrayBalloon("Title", "Text", 60000, 0);
    EXPECT_TRUE(window.GetTrayState().strBalloonTitle.empty());
}

TEST_F(WindowSectionTest, CloseAllWindowsClosesEveryOpenWindow)
{
    RecordingWindow made, neverMade;
    ASSERT_TRUE(made.Create({0, 0, 10, 10}, 0));
    Pump(made);
    EXPECT_EQ(GetOpenWindows(), (std::vector<CWindowSection*>{&made, &neverMade}));
    CloseAllWindows();
    EXPECT_TRUE(GetOpenWindows().empty());
    EXPECT_EQ(made.GetHWND(), 0u);
    EXPECT_EQ(made.events, std::vector<std::string>{"destroy tray=0"});
    {
        RecordingWindow shortLived;
        EXPECT_EQ(GetOpenWindows().size(), 1u);
    }
    EXPECT_TRUE(GetOpenWindows().empty());
}

TEST_F(WindowSectionTest, HotKeysBelongToOneRegistrationEach)
{
    RecordingWindow first, second;
    ASSERT_TRUE(first.Create({0, 0, 10, 10}, 0));
    ASSERT_TRUE(second.Create({0, 0, 10, 10}, 0));
    Pump(first);
    Pump(second);
    const uint32_t ctrl = plat::MOD_CONTROL, ctrlAlt = plat::MOD_CONTROL | plat::MOD_ALT;

    EXPECT_FALSE(plat::RegisterHotKey(0, 1, ctrl, 'M'));
    EXPECT_EQ(plat::GetLastError(), EBADF);
    ASSERT_TRUE(plat::RegisterHotKey(first.GetHWND(), 1, ctrl, 'M'));
    EXPECT_FALSE(plat::RegisterHotKey(second.GetHWND(), 5, ctrl, 'M'));
    EXPECT_EQ(plat::GetLastError(), EEXIST);
    EXPECT_TRUE(plat::RegisterHotKey(second.GetHWND(), 5, ctrlAlt, 'M'));   // other modifiers

    EXPECT_TRUE(plat::PressHotKey(ctrl, 'M'));
    EXPECT_TRUE(plat::PressHotKey(ctrlAlt, 'M'));
    EXPECT_FALSE(plat::PressHotKey(plat::MOD_SHIFT, 'M'));
    EXPECT_EQ(Pump(first), std::vector<std::string>{"hot key 1"});
    EXPECT_EQ(Pump(second), std::vector<std::string>{"hot key 5"});

    // Registering an id again moves it to the new key; unregistering twice fails the second time.
    ASSERT_TRUE(plat::RegisterHotKey(first.GetHWND(), 1, ctrl, 'N'));
    EXPECT_FALSE(plat::PressHotKey(ctrl, 'M'));
    EXPECT_TRUE(plat::UnregisterHotKey(first.GetHWND(), 1));
    EXPECT_FALSE(plat::UnregisterHotKey(first.GetHWND(), 1));
    EXPECT_EQ(plat::GetLastError(), EINVAL);
    EXPECT_FALSE(plat::PressHotKey(ctrl, 'N'));
}

TEST_F(WindowSectionTest, BroadcastsReachEveryWindowOfTheThreadOrTheThreadItself)
{
    const uint32_t exit = plat::RegisterWindowMessage("QVL_Exit");
    const uint32_t thread = plat::GetCurrentThreadId();
    plat::MSG msg;

    ASSERT_TRUE(plat::PostToThreadWindows(thread, exit, 0, 0));
    ASSERT_TRUE(plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE));
    EXPECT_EQ(msg.hwnd, 0u);
    EXPECT_EQ(msg.message, exit);

    RecordingWindow first, second;
    ASSERT_TRUE(first.Create({0, 0, 10, 10}, 0));
    ASSERT_TRUE(second.Create({0, 0, 10, 10}, 0));
    Pump(first);
    Pump(second);
    ASSERT_TRUE(plat::PostToThreadWindows(thread, exit, 0, 0));
    std::vector<plat::HWND> reached;
    while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE)) {
        reached.push_back(msg.hwnd);
        plat::DispatchMessage(msg);
    }
    EXPECT_EQ(reached, (std::vector<plat::HWND>{first.GetHWND(), second.GetHWND()}));
    EXPECT_EQ(first.events, std::vector<std::string>{"unhandled " + std::to_string(exit)});
    EXPECT_EQ(second.events, first.events);
}

}  // namespace
