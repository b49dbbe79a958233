// Files with share modes, file times, replacing copies and moves, listings and folders.
//
// Share modes are kept with open-file-description locks on four bytes far beyond any real
// end of file. Each open holds a read lock on the byte of every access it has (read, write)
// and of every access it denies others (read, write). An open conflicts when another open
// holds a byte opposite one of its own: its access against their denial, or its denial against
// their access. Each open first takes its locks and then looks for opposite ones, so of two
// racing opens at least one sees the other; both may fail, never both succeed.
#include "platform/File.h"

#include "platform/Error.h"
#include "platform/Process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr off_t kShareLockBase = 0x7FFFFFFFFFFFFF00LL;
enum ShareByte { kAccessRead, kAccessWrite, kDenyRead, kDenyWrite, kShareBytes };

struct OpenMode {
    int flags = 0;
    bool read = false, write = false, truncate = false;
    std::string stdioMode;   // for fdopen, without the letters only open itself understands
};

bool ParseMode(const char* mode, OpenMode& out)
{
    if (!mode || !*mode)
        return false;
    const bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r': out.read = true; out.write = plus; break;
    case 'w': out.write = true; out.read = plus; out.truncate = true; out.flags = O_CREAT; break;
    case 'a': out.write = true; out.read = plus; out.flags = O_CREAT | O_APPEND; break;
    default: return false;
    }
    if (std::strchr(mode, 'x') && mode[0] == 'w')
        out.flags |= O_EXCL;
    // Locks need a descriptor that can read, so writing opens are read-write underneath.
    out.flags |= (out.write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    for (const char* c = mode; *c; ++c)
        if (*c != 'x' && *c != 'e')
            out.stdioMode += *c;
    return true;
}

bool LockByte(int fd, int byte)
{
    struct flock l{};
    l.l_type = F_RDLCK;
    l.l_whence = SEEK_SET;
    l.l_start = kShareLockBase + byte;
    l.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// True when another open description holds a lock on the byte.
bool ByteHeldByOthers(int fd, int byte)
{
    struct flock l{};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_start = kShareLockBase + byte;
    l.l_len = 1;
    return fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type != F_UNLCK;
}

// Takes the share locks of an open; false with the last error set on a conflict or failure.
bool TakeShareLocks(int fd, bool read, bool write, Share share)
{
    bool mine[kShareBytes] = {read, write, share == Share::DenyAll, share != Share::All};
    static constexpr int opposite[kShareBytes] = {kDenyRead, kDenyWrite, kAccessRead, kAccessWrite};
    for (int b = 0; b < kShareBytes; ++b) {
        if (mine[b] && !LockByte(fd, b)) {
            // A file system without these locks (some network ones) gets no share modes
            // rather than no files.
            if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS)
                return true;
            SetLastErrorFromErrno();
            return false;
        }
    }
    for (int b = 0; b < kShareBytes; ++b) {
        if (mine[b] && ByteHeldByOthers(fd, opposite[b])) {
            SetLastError(kErrorSharingViolation);
            return false;
        }
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new file with a unique name in the folder; returns its descriptor or -1.
int CreateUniqueFile(const std::string& folder, const std::string& prefix, mode_t mode,
                     std::string& path)
{
    static std::atomic<uint64_t> counter{0};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t v = (GetTickCount64() << 20) ^ (uint64_t(GetCurrentProcessId()) << 40)
                     ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
        std::string suffix;
        for (int i = 0; i < 8; ++i, v /= 36)
            suffix += kDigits[v % 36];
        path = folder + prefix + suffix;
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            SetLastErrorFromErrno();
            return -1;
        }
    }
    SetLastError(EEXIST);
    return -1;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyContents(int in, int out)
{
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n == 0)
            return true;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        break;   // not supported between these files: copy through a buffer
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(n)))
            return false;
    }
}

// Makes a temporary file beside target, lets fill() write it, syncs it and renames it over
// the target. The temporary file is removed on any failure; the target is then untouched.
template <class Fill>
bool ReplaceThroughTemp(const std::string& target, Fill fill)
{
    std::string tempPath;
    const int fd = CreateUniqueFile(FolderOf(target), "." + NameOf(target) + ".", 0666, tempPath);
    if (fd < 0)
        return false;
    bool ok = fill(fd) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(tempPath.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(tempPath.c_str());
        SetLastError(error);
    }
    return ok;
}

FileTime FromTimespec(const struct statx_timestamp& t)
{
    return UnixToFileTime(t.tv_sec, t.tv_nsec);
}

timespec ToTimespec(FileTime ft)
{
    if (ft == 0)
        return {0, UTIME_OMIT};
    const int64_t ticks = static_cast<int64_t>(ft - kFileTimeUnixEpoch);
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    return {static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

int CompareFolded(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualFolded(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

}  // namespace

FILE* OpenFile(const std::string& path, const char* mode, Share share)
{
    OpenMode m;
    if (!ParseMode(mode, m)) {
        SetLastError(EINVAL);
        return nullptr;
    }
    const int fd = open(path.c_str(), m.flags, 0666);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        SetLastError(S_ISDIR(st.st_mode) ? EISDIR : errno);
        close(fd);
        return nullptr;
    }
    if (!TakeShareLocks(fd, m.read, m.write, share) || (m.truncate && ftruncate(fd, 0) != 0)) {
        if (GetLastError() != kErrorSharingViolation)
            SetLastErrorFromErrno();
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, m.stdioMode.c_str());
    if (!f) {
        SetLastErrorFromErrno();
        close(fd);
    }
    return f;
}

bool CloseFile(FILE* f)
{
    if (!f)
        return false;
    if (fclose(f) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

FileTime UnixToFileTime(int64_t seconds, uint32_t nanoseconds)
{
    return static_cast<FileTime>(seconds * 10000000 + nanoseconds / 100) + kFileTimeUnixEpoch;
}

int64_t FileTimeToUnix(FileTime ft)
{
    return static_cast<int64_t>(ft / 10000000) - static_cast<int64_t>(kFileTimeUnixEpoch / 10000000);
}

bool GetFileTimes(const std::string& path, FileTimes& out)
{
    struct statx sx{};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    out.creation = FromTimespec((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
    out.lastAccess = FromTimespec(sx.stx_atime);
    out.lastWrite = FromTimespec(sx.stx_mtime);
    return true;
}

bool SetFileTimes(const std::string& path, const FileTimes& times)
{
    const timespec ts[2] = {ToTimespec(times.lastAccess), ToTimespec(times.lastWrite)};
    if (utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool GetFileInfo(const std::string& path, FileInfo& out)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    out.name = NameOf(path);
    out.isDirectory = S_ISDIR(st.st_mode);
    out.readOnly = (st.st_mode & S_IWUSR) == 0;
    out.size = static_cast<uint64_t>(st.st_size);
    out.lastWrite = UnixToFileTime(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

bool IsSameFile(const std::string& a, const std::string& b)
{
    struct stat first{}, second{};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool IsDirectory(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path)
{
    if (unlink(path.c_str()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CreateDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(path)))
        return true;
    SetLastErrorFromErrno();
    return false;
}

bool RemoveDirectory(const std::string& path)
{
    if (rmdir(path.c_str()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool IsReadOnly(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

namespace {
bool ChangeMode(const std::string& path, mode_t (*change)(mode_t))
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || chmod(path.c_str(), change(st.st_mode & 07777)) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}
}  // namespace

bool SetReadOnly(const std::string& path, bool readOnly)
{
    return readOnly ? ChangeMode(path, [](mode_t m) -> mode_t { return m & ~mode_t(0222); })
                    : ChangeMode(path, [](mode_t m) -> mode_t { return m | S_IWUSR; });
}

bool SetExecutable(const std::string& path, bool executable)
{
    // Execute permission goes to whoever may read the file.
    return executable ? ChangeMode(path, [](mode_t m) -> mode_t { return m | ((m & 0444) >> 2) | S_IXUSR; })
                      : ChangeMode(path, [](mode_t m) -> mode_t { return m & ~mode_t(0111); });
}

bool CopyFileReplacing(const std::string& from, const std::string& to)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    struct stat st{};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(S_ISDIR(st.st_mode) ? EISDIR : errno);
        close(in);
        return false;
    }
    const bool ok = ReplaceThroughTemp(to, [&](int out) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        return CopyContents(in, out) && fchmod(out, st.st_mode & 07777) == 0 && futimens(out, times) == 0;
    });
    close(in);
    return ok;
}

bool MoveFileReplacing(const std::string& from, const std::string& to)
{
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno != EXDEV) {
        SetLastErrorFromErrno();
        return false;
    }
    if (!CopyFileReplacing(from, to))
        return false;
    return DeleteFile(from);
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size)
{
    struct stat st{};
    const bool keepMode = stat(path.c_str(), &st) == 0;
    return ReplaceThroughTemp(path, [&](int fd) {
        return WriteAll(fd, data, size) && (!keepMode || fchmod(fd, st.st_mode & 07777) == 0);
    });
}

bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    if (pattern == "*.*")   // the Windows spelling of "everything", dot or not
        return true;
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<FileInfo> FindFiles(const std::string& pattern)
{
    std::vector<FileInfo> found;
    const std::string folder = FolderOf(pattern);
    const std::string mask = NameOf(pattern);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        SetLastErrorFromErrno();
        return found;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !WildcardMatch(mask, name))
            continue;
        FileInfo info;
        if (GetFileInfo(folder + name, info))
            found.push_back(std::move(info));
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const FileInfo& a, const FileInfo& b) {
        const int folded = CompareFolded(a.name, b.name);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    return found;
}

std::string ResolveCaseInsensitive(const std::string& path)
{
    if (path.empty() || FileExists(path))
        return path;
    std::string resolved = path[0] == '/' ? "/" : "";
    size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        std::string match = part;
        if (!part.empty() && !FileExists(resolved + part)) {
            if (DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str())) {
                while (const dirent* entry = readdir(dir)) {
                    if (EqualFolded(part, entry->d_name)) {
                        match = entry->d_name;
                        break;
                    }
                }
                closedir(dir);
            }
            if (match == part)   // nothing on disk by that name: the rest stays as given
                return resolved + path.substr(start);
        }
        resolved += match;
        if (end < path.size())
            resolved += '/';
        start = end + 1;
    }
    return resolved;
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix)
{
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    std::string path;
    const int fd = CreateUniqueFile(dir, prefix, 0600, path);
    if (fd < 0)
        return {};
    close(fd);
    return path;
}

std::string TempFolder()
{
    std::string folder = GetEnv("TMPDIR");
    if (folder.empty())
        folder = "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace plat
