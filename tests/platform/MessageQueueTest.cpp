#include "platform/MessageQueue.h"

#include "platform/Process.h"
#include "platform/Sync.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

using namespace plat;

namespace {

// What window procedures saw, for the tests to look at.
struct Seen {
    HWND hwnd;
    uint32_t message;
    WPARAM wParam;
    uint32_t thread;
};
std::vector<Seen> g_seen;
std::mutex g_seenLock;

LRESULT RecordingProc(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> guard(g_seenLock);
    g_seen.push_back({hwnd, message, wParam, GetCurrentThreadId()});
    return static_cast<LRESULT>(wParam) * 2 + lParam;
}

std::vector<Seen> TakeSeen()
{
    std::lock_guard<std::mutex> guard(g_seenLock);
    return std::exchange(g_seen, {});
}

// Empties the calling thread's queue of whatever earlier steps left.
void DrainQueue()
{
    MSG msg;
    while (PeekMessage(msg, 0, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace

TEST(MessageQueue, PostedMessagesComeInOrderThenQuit)
{
    const HWND hwnd = CreateWindowRecord(RecordingProc);
    ASSERT_NE(hwnd, 0u);
    EXPECT_EQ(GetWindowThreadId(hwnd), GetCurrentThreadId());
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), WM_USER + 1, 10, 0));
    ASSERT_TRUE(PostMessage(hwnd, WM_APP, 20, 0));
    PostQuitMessage(3);   // comes after the messages posted before it
    ASSERT_TRUE(PostMessage(hwnd, WM_USER + 2, 30, 0));

    MSG msg;
    ASSERT_TRUE(PeekMessage(msg, hwnd, 0, 0, PM_NOREMOVE));   // filtered by window, left queued
    EXPECT_EQ(msg.message, WM_APP);
    ASSERT_TRUE(PeekMessage(msg, 0, WM_USER + 2, WM_USER + 2, PM_REMOVE));   // by number
    EXPECT_EQ(msg.wParam, 30u);

    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.hwnd, 0u);
    EXPECT_EQ(DispatchMessage(msg), 0);   // no window: nobody to call
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_APP);
    EXPECT_EQ(DispatchMessage(msg), 40);
    EXPECT_FALSE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessage(msg, 0, 0, 0, PM_REMOVE));   // the quit was taken

    ASSERT_TRUE(SetProp(hwnd, "section", 1234));
    EXPECT_EQ(GetProp(hwnd, "section"), 1234u);
    EXPECT_EQ(RemoveProp(hwnd, "section"), 1234u);
    EXPECT_EQ(GetProp(hwnd, "section"), 0u);

    ASSERT_TRUE(PostMessage(hwnd, WM_USER, 1, 0));
    TakeSeen();
    ASSERT_TRUE(DestroyWindowRecord(hwnd));
    auto seen = TakeSeen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_DESTROY);
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_TRUE(GetMessage(msg));   // still queued, but its window is gone
    DispatchMessage(msg);
    EXPECT_TRUE(TakeSeen().empty());
    EXPECT_FALSE(PostMessage(hwnd, WM_USER, 0, 0));
    EXPECT_FALSE(PostThreadMessage(0x7FFFFFF0u, WM_USER, 0, 0));
}

TEST(MessageQueue, SendMessageRunsOnTheOwnersThread)
{
    DrainQueue();
    const HWND mine = CreateWindowRecord(RecordingProc);
    TakeSeen();
    EXPECT_EQ(SendMessage(mine, WM_USER, 5, 1), 11);   // same thread: a direct call

    std::atomic<LRESULT> answer{0};
    const uint32_t mainThread = GetCurrentThreadId();
    Thread worker([&] {
        answer = SendMessage(mine, WM_USER + 7, 100, 1);
        PostThreadMessage(mainThread, WM_APP, 0, 0);
    });
    // The sent message is handled inside GetMessage and never returned by it.
    MSG msg;
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_APP);
    worker.Join();
    EXPECT_EQ(answer.load(), 201);
    auto seen = TakeSeen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].message, WM_USER + 7u);
    EXPECT_EQ(seen[1].thread, GetCurrentThreadId());
    DestroyWindowRecord(mine);
    TakeSeen();
}

namespace {
HWND g_mainWindow = 0;
HWND g_workerWindow = 0;

// Handles a message on the worker by sending one back to the main window while the main
// thread is still waiting for the answer.
LRESULT BouncingProc(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER)
        return SendMessage(g_mainWindow, WM_USER + 1, wParam + 1, 0) + 1000;
    return 0;
}
}  // namespace

TEST(MessageQueue, SendersKeepAnsweringWhileTheyWait)
{
    DrainQueue();
    g_mainWindow = CreateWindowRecord(RecordingProc);
    Event ready(true);
    Thread worker([&] {
        g_workerWindow = CreateWindowRecord(BouncingProc);
        ready.Set();
        MSG msg;
        while (GetMessage(msg))
            DispatchMessage(msg);
    });
    ASSERT_TRUE(ready.Wait(5000));
    // main -> worker -> main: the main thread answers the nested send while it waits.
    EXPECT_EQ(SendMessage(g_workerWindow, WM_USER, 4, 0), 1000 + 10);
    PostThreadMessage(worker.Id(), WM_QUIT, 0, 0);
    worker.Join();
    // The worker's windows went with it; a send to one of them returns at once.
    EXPECT_FALSE(IsWindow(g_workerWindow));
    EXPECT_EQ(SendMessage(g_workerWindow, WM_USER, 4, 0), 0);

    // A worker blocked in a send to us while we join it: the join answers the send.
    TakeSeen();
    std::atomic<LRESULT> answer{0};
    Thread sender([&] { answer = SendMessage(g_mainWindow, WM_USER + 2, 21, 0); });
    EXPECT_TRUE(sender.JoinFor(5000));
    EXPECT_EQ(answer.load(), 42);
    DestroyWindowRecord(g_mainWindow);
    TakeSeen();
}

TEST(MessageQueue, AThreadThatEndsAnswersItsPendingSendsWithZero)
{
    Event ready(true), release(true);
    HWND target = 0;
    Thread owner([&] {
        target = CreateWindowRecord(RecordingProc);
        ready.Set();
        release.Wait();   // never looks at its queue
    });
    ASSERT_TRUE(ready.Wait(5000));
    Thread releaser([&] { Sleep(50); release.Set(); });
    EXPECT_EQ(SendMessage(target, WM_USER, 9, 0), 0);
    EXPECT_TRUE(TakeSeen().empty());
}

TEST(MessageQueue, TimersOnTheVirtualClock)
{
    DrainQueue();
    SetVirtualTimerClock(true, 1000);
    const HWND hwnd = CreateWindowRecord(RecordingProc);
    EXPECT_EQ(SetTimer(hwnd, 1, 100), 1u);
    EXPECT_EQ(SetTimer(hwnd, 2, 250), 2u);
    EXPECT_EQ(SetTimer(hwnd, 3, 1), 3u);   // raised to the minimum interval
    MSG msg;
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.time, 1010u);
    ASSERT_TRUE(KillTimer(hwnd, 3));
    EXPECT_FALSE(KillTimer(hwnd, 3));

    std::vector<std::pair<uintptr_t, uint32_t>> fired;
    while (fired.size() < 5) {
        ASSERT_TRUE(GetMessage(msg));
        ASSERT_EQ(msg.message, WM_TIMER);
        EXPECT_EQ(msg.hwnd, hwnd);
        fired.push_back({msg.wParam, msg.time});
    }
    const std::vector<std::pair<uintptr_t, uint32_t>> expected = {
        {1, 1100}, {1, 1200}, {2, 1250}, {1, 1300}, {1, 1400}};
    EXPECT_EQ(fired, expected);

    // A posted message goes before a due timer; however long a timer waits, it has one message.
    PostMessage(hwnd, WM_USER, 0, 0);
    SetVirtualTimerClock(true, 5000);
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_USER);
    std::vector<uintptr_t> ids;
    while (PeekMessage(msg, 0, 0, 0, PM_REMOVE))
        ids.push_back(msg.wParam);
    EXPECT_EQ(ids, (std::vector<uintptr_t>{1, 2}));

    // Thread timers have ids of their own; destroying a window kills its timers.
    const uintptr_t threadTimer = SetTimer(0, 0, 30);
    EXPECT_NE(threadTimer, 0u);
    DestroyWindowRecord(hwnd);
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.hwnd, 0u);
    EXPECT_EQ(msg.wParam, threadTimer);
    EXPECT_EQ(msg.time, 5030u);
    KillTimer(0, threadTimer);
    SetVirtualTimerClock(false);
    EXPECT_FALSE(PeekMessage(msg, 0, 0, 0, PM_REMOVE));
    TakeSeen();
}

TEST(MessageQueue, RealTimerWaitsItsInterval)
{
    DrainQueue();
    // Read before the timer is set: ticks are whole milliseconds, so a reading taken after it
    // may already be one later than the tick the timer counts from.
    const uint64_t start = GetTickCount64();
    const uintptr_t id = SetTimer(0, 0, 40);
    MSG msg;
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_GE(GetTickCount64() - start, 40u);
    KillTimer(0, id);
}

TEST(MessageQueue, QuitSignalsPostQuit)
{
    DrainQueue();
    ASSERT_TRUE(InstallQuitSignalHandlers(GetCurrentThreadId()));
    for (int sig : {SIGTERM, SIGINT}) {
        Thread signaller([sig] { Sleep(20); kill(getpid(), sig); });
        MSG msg;
        EXPECT_FALSE(GetMessage(msg));
        EXPECT_EQ(msg.message, WM_QUIT);
        EXPECT_EQ(msg.wParam, 0u);
    }
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
}
