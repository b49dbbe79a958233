// Files with Windows sharing rules, file times in 100 ns units since 1601, safe replacing copies
// and moves, wildcard listings and folder operations. Every descriptor is close-on-exec.
#pragma once
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plat {

// Error number left as the last error when an open conflicts with another open's share mode.
// Last errors are errno values, so this is EBUSY ("Device or resource busy"), which no open
// of a regular file reports otherwise.
inline constexpr int kErrorSharingViolation = EBUSY;

enum class Share {
    All,        // no restriction on other opens
    DenyWrite,  // while open, nobody else (thread or process) may open the file for writing
    DenyAll,    // while open, nobody else may open the file at all
};

// Opens a C stream with an fopen mode ("rb", "wb", "r+b", "a+b", "rt", "wbx", ...). Every open
// through here honours the share modes of the other opens through here, in this process (other
// threads, other streams) and in other processes, using open-file-description locks: an open
// that asks for writing fails while another holds DenyWrite or DenyAll, and any open fails while
// another holds DenyAll; the other way round, a DenyWrite open fails while another has the file
// open for writing, and a DenyAll open fails while another has it open at all. A conflicting
// open fails at once, without truncating the file, with the last error kErrorSharingViolation.
// Opens for writing also read underneath (the locks need it), so a file the user may write but
// not read cannot be opened for writing. Returns nullptr with the last error set on failure.
// Close with CloseFile or fclose; the share mode ends with the stream.
FILE* OpenFile(const std::string& path, const char* mode, Share share = Share::All);
bool CloseFile(FILE* f);   // fclose; releases the locks; false on a failed flush

// 100 ns intervals since 1601-01-01 UTC.
using FileTime = uint64_t;
inline constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;
FileTime UnixToFileTime(int64_t seconds, uint32_t nanoseconds = 0);
int64_t FileTimeToUnix(FileTime ft);

struct FileTimes {
    FileTime creation = 0;     // birth time where the file system records it, else change time
    FileTime lastAccess = 0;
    FileTime lastWrite = 0;
};
bool GetFileTimes(const std::string& path, FileTimes& out);
// Sets access and write times (a 0 leaves that time unchanged; creation cannot be set here
// and is ignored).
bool SetFileTimes(const std::string& path, const FileTimes& times);

struct FileInfo {
    std::string name;        // the file name without its folder
    bool isDirectory = false;
    bool readOnly = false;
    uint64_t size = 0;
    FileTime lastWrite = 0;
};
bool GetFileInfo(const std::string& path, FileInfo& out);

bool FileExists(const std::string& path);        // any kind of entry
// True when both paths exist and lead to the same file or folder (links and other spellings
// of one path included).
bool IsSameFile(const std::string& a, const std::string& b);
bool IsDirectory(const std::string& path);
bool DeleteFile(const std::string& path);
bool CreateDirectory(const std::string& path);   // one level; true when it already exists
bool RemoveDirectory(const std::string& path);   // empty folders only
bool IsReadOnly(const std::string& path);        // no write permission bit for the owner
bool SetReadOnly(const std::string& path, bool readOnly);
bool SetExecutable(const std::string& path, bool executable);

// Copies from to a temporary file in the target's folder, flushes it, then renames it over
// the target, so the target is replaced only once its replacement is complete. The copy keeps
// the source's write time and permission bits. A read-only target is replaced.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Renames over the target; across file systems, copies as above and then deletes the source.
bool MoveFileReplacing(const std::string& from, const std::string& to);
// Writes bytes to a temporary file beside path and renames it over path.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size);

// Lists a folder with a Windows-style wildcard pattern in the last component ("/x/y/*.dat",
// "/x/y/pln*.up", "/x/y/*"); "?" matches one character, "*" any run; matching folds ASCII case.
// "." and ".." are never listed. Sorted by name, ASCII case folded.
std::vector<FileInfo> FindFiles(const std::string& pattern);
bool WildcardMatch(const std::string& pattern, const std::string& name);

// Resolves each component of a path case-insensitively (ASCII) against what exists on disk;
// returns the path unchanged where nothing matches.
std::string ResolveCaseInsensitive(const std::string& path);

// A new unique file name in the folder (created empty, mode 0600), or "" on failure.
std::string CreateTempFile(const std::string& folder, const std::string& prefix);
std::string TempFolder();   // $TMPDIR or /tmp, ending in "/"

}  // namespace plat
