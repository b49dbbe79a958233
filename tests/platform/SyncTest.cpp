#include "platform/Sync.h"

#include "platform/Error.h"
#include "platform/Process.h"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace plat;

TEST(Events, AutoResetReleasesOneWaitManualStaysSet)
{
    Event autoEvent(false), manual(true);
    EXPECT_FALSE(autoEvent.Wait(0));
    autoEvent.Set();
    EXPECT_TRUE(autoEvent.IsSet());
    EXPECT_TRUE(autoEvent.Wait(0));
    EXPECT_FALSE(autoEvent.Wait(0));

    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(10));
}

TEST(Events, WaitAnyPicksLowestAndConsumesOnlyAutoReset)
{
    Event a(false), b(true), c(false);
    EXPECT_EQ(WaitAny({&a, &b, &c}, 10), kWaitTimeout);
    b.Set();
    c.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 1);
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 1);   // manual: still set
    b.Reset();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 2);
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), kWaitTimeout);   // auto: consumed

    // A signal from another thread wakes a waiter.
    Thread setter([&] { Sleep(20); c.Set(); });
    EXPECT_EQ(WaitAny({&a, &c}), 1);
}

TEST(Threads, IdsJoinAndTimedJoin)
{
    std::atomic<uint32_t> seen{0};
    Thread t([&] { seen = GetCurrentThreadId(); });
    t.Join();
    EXPECT_EQ(seen.load(), t.Id());
    EXPECT_NE(t.Id(), GetCurrentThreadId());
    EXPECT_FALSE(t.Joinable());

    auto release = std::make_shared<Event>(true);   // outlives the detached thread
    Thread slow([release] { release->Wait(); });
    EXPECT_FALSE(slow.JoinFor(20));   // left running, detached
    release->Set();
    Thread moved = std::move(slow);
    EXPECT_FALSE(moved.Joinable());
}

TEST(Process, TicksEnvironmentAndErrors)
{
    const uint64_t start = GetTickCount64();
    Sleep(30);
    EXPECT_GE(GetTickCount64() - start, 30u);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<uint32_t>(getpid()));

    SetEnv("QVL_TEST_VARIABLE", "value");
    EXPECT_EQ(GetEnv("QVL_TEST_VARIABLE"), "value");
    EXPECT_FALSE(HasEnv("QVL_TEST_UNSET_VARIABLE"));
    EXPECT_EQ(GetEnv("QVL_TEST_UNSET_VARIABLE", "fallback"), "fallback");

    EXPECT_EQ(SystemErrorMessage(ENOENT), "No such file or directory");
    EXPECT_EQ(SystemErrorMessage(0), "");
    EXPECT_EQ(SystemErrorMessage(99999), "");
    Thread([] { SetLastError(5); }).Join();
    SetLastError(7);
    EXPECT_EQ(GetLastError(), 7);

    EXPECT_EQ(ExecutableFolder() + "platform_tests", ExecutablePath());
}

TEST(Process, SpawnDetachedRunsInItsOwnSession)
{
    uint32_t pid = 0;
    ASSERT_TRUE(SpawnDetached("/bin/sh", {"-c", "sleep 0.3"}, &pid));
    EXPECT_TRUE(ProcessExists(pid));
    EXPECT_EQ(getsid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid));
    for (int i = 0; i < 100 && ProcessExists(pid); ++i)
        Sleep(20);
    EXPECT_FALSE(ProcessExists(pid));   // ended and reaped

    EXPECT_FALSE(SpawnDetached("/nonexistent/program", {}));
    EXPECT_EQ(GetLastError(), ENOENT);
    EXPECT_FALSE(ProcessExists(0));
}
