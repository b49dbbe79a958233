#include "platform/Instance.h"

#include "platform/File.h"
#include "platform/MessageQueue.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "ScratchFolder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace plat;

namespace {
std::string UniqueLockName() { return "QvlTestLock" + std::to_string(getpid()) + "-"; }
}

TEST(SingleInstance, HeldFreeAndWait)
{
    const std::string name = UniqueLockName() + "a";
    EXPECT_FALSE(SingleInstanceLock::IsTaken(name));
    SingleInstanceLock first, second;
    ASSERT_TRUE(first.Acquire(name));
    EXPECT_TRUE(first.IsHeld());
    EXPECT_FALSE(second.Acquire(name));
    EXPECT_TRUE(SingleInstanceLock::IsTaken(name));
    EXPECT_FALSE(SingleInstanceLock::IsTaken(UniqueLockName() + "b"));
    EXPECT_FALSE(SingleInstanceLock::WaitUntilFree(name, 50));

    Thread releaser([&] { Sleep(50); first.Release(); });
    EXPECT_TRUE(SingleInstanceLock::WaitUntilFree(name, 5000));
    EXPECT_TRUE(second.Acquire(name));
}

TEST(SingleInstance, ReleasedWhenTheHolderDies)
{
    const std::string name = UniqueLockName() + "c";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock lock;
        const char ok = lock.Acquire(name) ? 1 : 0;
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_TRUE(SingleInstanceLock::IsTaken(name));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(SingleInstanceLock::IsTaken(name));
    close(ready[0]);
    close(ready[1]);
}

TEST(Broadcast, RegisteredMessageNumbers)
{
    const uint32_t exitMessage = RegisterWindowMessage("QVL_Exit");
    EXPECT_GE(exitMessage, 0xC000u);
    EXPECT_LE(exitMessage, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessage("qvl_exit"), exitMessage);
    EXPECT_NE(RegisterWindowMessage("TaskbarCreated"), exitMessage);
}

TEST(Broadcast, ReachesListenersInThisAndOtherProcessesAndRemovesStaleSockets)
{
    ScratchFolder runtime;
    const std::string savedRuntime = GetEnv("XDG_RUNTIME_DIR");
    SetEnv("XDG_RUNTIME_DIR", runtime.Path());

    // A socket left by a process that is gone.
    ASSERT_TRUE(CreateDirectory(runtime / "quilvolite"));
    const std::string stale = runtime / "quilvolite/999999999-0";
    {
        const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", stale.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }

    MSG msg;
    while (PeekMessage(msg, 0, 0, 0, PM_REMOVE)) {
    }
    BroadcastListener listener;
    ASSERT_TRUE(PostBroadcastsToThreadWindows(listener, GetCurrentThreadId()));   // no windows: the thread
    EXPECT_EQ(BroadcastMessage("QVL_Exit"), 1);
    EXPECT_FALSE(FileExists(stale));
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, RegisterWindowMessage("QVL_Exit"));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(BroadcastMessage("Other") == 1 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(GetMessage(msg));
    EXPECT_EQ(msg.message, RegisterWindowMessage("Other"));

    listener.Stop();
    EXPECT_EQ(BroadcastMessage("QVL_Exit"), 0);
    EXPECT_TRUE(FindFiles(runtime / "quilvolite/*").empty());
    SetEnv("XDG_RUNTIME_DIR", savedRuntime);
}
