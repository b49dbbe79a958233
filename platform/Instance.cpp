// The single-instance lock over an abstract Unix socket, and registered messages broadcast
// between running copies over one datagram socket per copy.
#include "platform/Instance.h"

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "platform/Sync.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace plat {

namespace {

// The abstract address of a lock: the name and the user id, so each user has their own.
socklen_t LockAddress(const std::string& name, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    const std::string text = name + std::to_string(getuid());
    const size_t length = std::min(text.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, text.data(), length);   // sun_path[0] = 0: abstract
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

// The folder of the broadcast sockets, made private to the user; "" when it cannot be had.
std::string BroadcastFolder()
{
    const std::string runtime = GetEnv("XDG_RUNTIME_DIR");
    std::string folder = !runtime.empty() ? runtime + (runtime.back() == '/' ? "" : "/") + "quilvolite/"
                                          : TempFolder() + "quilvolite-" + std::to_string(getuid()) + "/";
    mkdir(folder.c_str(), 0700);
    struct stat st{};
    // Only a real folder of ours is trusted, and it is kept closed to everybody else.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return {};
    if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder;
}

bool SocketAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

SingleInstanceLock::~SingleInstanceLock() { Release(); }

bool SingleInstanceLock::Acquire(const std::string& name)
{
    if (m_fd >= 0)
        return true;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    sockaddr_un address;
    const socklen_t length = LockAddress(name, address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        SetLastErrorFromErrno();
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void SingleInstanceLock::Release()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool SingleInstanceLock::IsTaken(const std::string& name)
{
    // Connecting a datagram socket only looks the address up: it takes nothing from the holder.
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address;
    const socklen_t length = LockAddress(name, address);
    const bool taken = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    close(fd);
    return taken;
}

bool SingleInstanceLock::WaitUntilFree(const std::string& name, uint32_t milliseconds)
{
    const uint64_t start = GetTickCount64();
    while (IsTaken(name)) {
        if (milliseconds != kInfinite && GetTickCount64() - start >= milliseconds)
            return false;
        Sleep(20);
    }
    return true;
}

uint32_t RegisterWindowMessage(const std::string& name)
{
    // FNV-1a over the ASCII-folded name, as Windows treats these names without regard to case.
    uint32_t h = 2166136261u;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return 0xC000u + h % 0x4000u;
}

struct BroadcastListener::Impl {
    int socketFd = -1;
    int stopFd = -1;
    std::string path;
    Handler handler;
    Thread thread;

    ~Impl()
    {
        if (stopFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(stopFd, &one, sizeof one);
        }
        thread.Join();
        if (!path.empty())
            unlink(path.c_str());
        if (socketFd >= 0)
            close(socketFd);
        if (stopFd >= 0)
            close(stopFd);
    }

    void Run()
    {
        pollfd fds[2] = {{socketFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            uint32_t message = 0;
            const ssize_t n = recv(socketFd, &message, sizeof message, MSG_DONTWAIT);
            if (n == static_cast<ssize_t>(sizeof message) && message >= 0xC000u && message <= 0xFFFFu)
                handler(message);
        }
    }
};

BroadcastListener::~BroadcastListener() { Stop(); }

bool BroadcastListener::Start(Handler handler)
{
    Stop();
    const std::string folder = BroadcastFolder();
    if (folder.empty()) {
        SetLastError(EACCES);
        return false;
    }
    static std::atomic<uint32_t> serial{0};
    auto impl = new Impl;
    impl->handler = std::move(handler);
    impl->path = folder + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    sockaddr_un address;
    impl->socketFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    impl->stopFd = eventfd(0, EFD_CLOEXEC);
    unlink(impl->path.c_str());   // left by an earlier process that had our id
    if (impl->socketFd < 0 || impl->stopFd < 0 || !SocketAddress(impl->path, address)
        || bind(impl->socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetLastErrorFromErrno();
        impl->path.clear();   // nothing was bound: nothing of ours to remove
        delete impl;
        return false;
    }
    impl->thread = Thread([impl] { impl->Run(); });
    m_impl = impl;
    return true;
}

void BroadcastListener::Stop()
{
    delete m_impl;
    m_impl = nullptr;
}

int BroadcastMessage(const std::string& name)
{
    const std::string folder = BroadcastFolder();
    if (folder.empty())
        return 0;
    const uint32_t message = RegisterWindowMessage(name);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    int reached = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string file = entry->d_name;
            const size_t dash = file.find('-');
            if (dash == 0 || dash == std::string::npos || file.find_first_not_of("0123456789") != dash)
                continue;
            const std::string path = folder + file;
            const uint32_t pid = static_cast<uint32_t>(std::strtoul(file.c_str(), nullptr, 10));
            sockaddr_un address;
            if (!SocketAddress(path, address))
                continue;
            if (!ProcessExists(pid)) {
                unlink(path.c_str());
                continue;
            }
            if (sendto(fd, &message, sizeof message, MSG_DONTWAIT | MSG_NOSIGNAL,
                       reinterpret_cast<sockaddr*>(&address), sizeof address) == sizeof message)
                ++reached;
            else if (errno == ECONNREFUSED)   // its process id was taken by another program
                unlink(path.c_str());
        }
        closedir(dir);
    }
    close(fd);
    return reached;
}

}  // namespace plat
