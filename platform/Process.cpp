// Process and thread identity, ticks, the executable's path, the environment and spawning.
#include "platform/Process.h"

#include "platform/Error.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace plat {

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t GetCurrentThreadId() { return static_cast<uint32_t>(gettid()); }

uint64_t GetTickCount64()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

void Sleep(uint32_t milliseconds)
{
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer))
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableFolder()
{
    const std::string path = ExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<std::string> ProcessArguments()
{
    std::vector<std::string> args;
    const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return args;
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    close(fd);
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\0', start);
        args.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return args;
}

std::string GetEnv(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

bool HasEnv(const char* name) { return std::getenv(name) != nullptr; }

void SetEnv(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

bool SpawnDetached(const std::string& path, const std::vector<std::string>& args, uint32_t* pid)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    // Its own session, default signal handling and no blocked signals, whatever ours are.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    pid_t child = 0;
    const int rc = posix_spawn(&child, path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastError(rc);
        return false;
    }
    // The child is ours until it ends; reap it so it never lingers as a zombie.
    std::thread([child] {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    if (pid)
        *pid = static_cast<uint32_t>(child);
    return true;
}

bool ProcessExists(uint32_t pid)
{
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX))
        return false;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // An ended process that nobody has reaped yet is not running.
    const std::string statPath = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = open(statPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (n <= 0)
        return true;
    buffer[n] = 0;
    const char* end = strrchr(buffer, ')');   // the command name may itself hold ") "
    return !(end && end[1] == ' ' && (end[2] == 'Z' || end[2] == 'X'));
}

}  // namespace plat
