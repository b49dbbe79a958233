#include "platform/File.h"

#include "platform/Error.h"
#include "platform/Sync.h"
#include "ScratchFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace plat;

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ShareCase {
    const char* firstMode;
    Share firstShare;
    const char* secondMode;
    Share secondShare;
    bool allowed;
};

// Both directions of the rules: a new access against an old denial, a new denial against an
// old access.
const ShareCase kShareCases[] = {
    {"rb", Share::All, "rb", Share::All, true},
    {"rb", Share::All, "r+b", Share::All, true},
    {"rb", Share::DenyWrite, "rb", Share::DenyWrite, true},
    {"rb", Share::DenyWrite, "wb", Share::All, false},
    {"rb", Share::DenyWrite, "ab", Share::All, false},
    {"rb", Share::DenyWrite, "r+b", Share::All, false},
    {"wb", Share::All, "rb", Share::DenyWrite, false},
    {"wb", Share::All, "wb", Share::All, true},
    {"rb", Share::All, "wb", Share::DenyAll, false},
    {"wb", Share::DenyAll, "rb", Share::All, false},
    {"r+b", Share::DenyAll, "rb", Share::All, false},
    {"rb", Share::DenyAll, "rb", Share::All, false},
};

}  // namespace

TEST(FileShare, ConflictsBetweenTwoOpensInOneThread)
{
    ScratchFolder dir;
    const std::string path = dir / "shared.dat";
    for (const ShareCase& c : kShareCases) {
        WriteText(path, "keep");
        SCOPED_TRACE(std::string(c.firstMode) + " then " + c.secondMode);
        FILE* first = OpenFile(path, c.firstMode, c.firstShare);
        ASSERT_NE(first, nullptr);
        FILE* second = OpenFile(path, c.secondMode, c.secondShare);
        EXPECT_EQ(second != nullptr, c.allowed);
        if (second) {
            CloseFile(second);
        } else {
            EXPECT_EQ(GetLastError(), kErrorSharingViolation);
            if (c.firstMode[0] != 'w') {   // a refused "wb" must not truncate
                EXPECT_EQ(ReadText(path), "keep");
            }
        }
        CloseFile(first);
        // Closing releases the share mode.
        FILE* again = OpenFile(path, c.secondMode, c.secondShare);
        EXPECT_NE(again, nullptr);
        CloseFile(again);
    }
}

TEST(FileShare, ConflictsAcrossThreadsAndProcesses)
{
    ScratchFolder dir;
    const std::string path = dir / "locked.dat";
    WriteText(path, "data");
    FILE* holder = OpenFile(path, "r+b", Share::DenyWrite);
    ASSERT_NE(holder, nullptr);

    bool otherThreadOpened = true;
    Thread([&] {
        FILE* f = OpenFile(path, "wb");
        otherThreadOpened = f != nullptr;
        if (f)
            CloseFile(f);
    }).Join();
    EXPECT_FALSE(otherThreadOpened);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FILE* reader = OpenFile(path, "rb");          // reading is allowed
        FILE* writer = OpenFile(path, "ab");          // writing is not
        _exit(reader && !writer && GetLastError() == kErrorSharingViolation ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CloseFile(holder);
    EXPECT_EQ(ReadText(path), "data");
}

TEST(FileShare, OpenModesBehaveAsFopen)
{
    ScratchFolder dir;
    const std::string path = dir / "modes.txt";
    EXPECT_EQ(OpenFile(path, "rb"), nullptr);
    EXPECT_EQ(GetLastError(), ENOENT);
    FILE* f = OpenFile(path, "wb");
    ASSERT_NE(f, nullptr);
    fputs("first", f);
    EXPECT_TRUE(CloseFile(f));
    f = OpenFile(path, "ab");
    fputs("+second", f);
    CloseFile(f);
    EXPECT_EQ(ReadText(path), "first+second");
    f = OpenFile(path, "wb");
    fputs("new", f);
    CloseFile(f);
    EXPECT_EQ(ReadText(path), "new");
    EXPECT_EQ(OpenFile(dir.Path(), "rb"), nullptr);
    EXPECT_EQ(OpenFile(path, "q"), nullptr);
}

TEST(FileReplace, KeepsTargetWhenSourceIsMissingAndReplacesOtherwise)
{
    ScratchFolder dir;
    const std::string target = dir / "target.dat";
    WriteText(target, "old");
    EXPECT_FALSE(CopyFileReplacing(dir / "missing", target));
    EXPECT_FALSE(MoveFileReplacing(dir / "missing", target));
    EXPECT_EQ(ReadText(target), "old");

    const std::string source = dir / "source.dat";
    WriteText(source, "new contents");
    chmod(source.c_str(), 0750);
    FileTimes times;
    times.lastWrite = UnixToFileTime(1000000000);
    ASSERT_TRUE(SetFileTimes(source, times));
    ASSERT_TRUE(SetReadOnly(target, true));
    ASSERT_TRUE(CopyFileReplacing(source, target));
    EXPECT_EQ(ReadText(target), "new contents");
    FileInfo info;
    ASSERT_TRUE(GetFileInfo(target, info));
    EXPECT_EQ(info.lastWrite, times.lastWrite);
    struct stat st{};
    stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0750u);

    WriteText(source, "moved");
    ASSERT_TRUE(MoveFileReplacing(source, target));
    EXPECT_FALSE(FileExists(source));
    EXPECT_EQ(ReadText(target), "moved");

    ASSERT_TRUE(WriteFileReplacing(target, "written", 7));
    EXPECT_EQ(ReadText(target), "written");
    // No temporary files are left behind.
    EXPECT_EQ(FindFiles(dir / "*").size(), 1u);
}

TEST(FileTimesTest, RoundTripAndConversions)
{
    EXPECT_EQ(UnixToFileTime(0), kFileTimeUnixEpoch);
    EXPECT_EQ(FileTimeToUnix(UnixToFileTime(1700000000, 999999999)), 1700000000);
    EXPECT_EQ(UnixToFileTime(1, 500), kFileTimeUnixEpoch + 10000005);

    ScratchFolder dir;
    const std::string path = dir / "timed";
    WriteText(path, "x");
    FileTimes set;
    set.lastAccess = UnixToFileTime(1200000000, 123456700);
    set.lastWrite = UnixToFileTime(1300000000, 765432100);
    ASSERT_TRUE(SetFileTimes(path, set));
    FileTimes got;
    ASSERT_TRUE(GetFileTimes(path, got));
    EXPECT_EQ(got.lastAccess, set.lastAccess);
    EXPECT_EQ(got.lastWrite, set.lastWrite);
    EXPECT_NE(got.creation, 0u);

    FileTimes onlyWrite;   // a zero access time leaves it as it was
    onlyWrite.lastWrite = UnixToFileTime(1400000000);
    ASSERT_TRUE(SetFileTimes(path, onlyWrite));
    ASSERT_TRUE(GetFileTimes(path, got));
    EXPECT_EQ(got.lastAccess, set.lastAccess);
    EXPECT_EQ(got.lastWrite, onlyWrite.lastWrite);
    EXPECT_FALSE(GetFileTimes(dir / "missing", got));
}

TEST(FileNames, WildcardCases)
{
    struct { const char* pattern; const char* name; bool match; } cases[] = {
        {"*", "anything.dat", true},       {"*.dat", "1234.DAT", true},
        {"*.dat", "1234.data", false},     {"*.dat", ".dat", true},
        {"pln*.up", "PLN12-3.up", true},   {"pln*.up", "xpln1.up", false},
        {"?.txt", "a.txt", true},          {"?.txt", "ab.txt", false},
        {"*.*", "noextension", true},      {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYc1", false},        {"", "", true},
        {"*x", "", false},                 {"*", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST(FileNames, ListingAndCaseInsensitiveResolution)
{
    ScratchFolder dir;
    WriteText(dir / "b.dat", "");
    WriteText(dir / "A.DAT", "12");
    WriteText(dir / "c.txt", "");
    ASSERT_TRUE(CreateDirectory(dir / "Sub"));
    EXPECT_TRUE(CreateDirectory(dir / "Sub"));
    WriteText(dir / "Sub/Inner.File", "");

    const auto dats = FindFiles(dir / "*.dat");
    ASSERT_EQ(dats.size(), 2u);
    EXPECT_EQ(dats[0].name, "A.DAT");
    EXPECT_EQ(dats[0].size, 2u);
    EXPECT_EQ(dats[1].name, "b.dat");
    const auto all = FindFiles(dir / "*");
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[3].isDirectory);
    EXPECT_TRUE(FindFiles(dir / "missing/*").empty());

    EXPECT_EQ(ResolveCaseInsensitive(dir / "sub/inner.file"), dir / "Sub/Inner.File");
    EXPECT_EQ(ResolveCaseInsensitive(dir / "SUB/"), dir / "Sub/");
    EXPECT_EQ(ResolveCaseInsensitive(dir / "sub/none/x"), dir / "Sub/none/x");

    EXPECT_TRUE(RemoveDirectory(dir / "Sub") == false);
    EXPECT_TRUE(DeleteFile(dir / "Sub/Inner.File"));
    EXPECT_TRUE(RemoveDirectory(dir / "Sub"));
}

TEST(FileNames, PermissionBits)
{
    ScratchFolder dir;
    const std::string path = dir / "prog";
    WriteText(path, "");
    chmod(path.c_str(), 0644);
    ASSERT_TRUE(SetExecutable(path, true));
    struct stat st{};
    stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_TRUE(SetReadOnly(path, true));
    EXPECT_TRUE(IsReadOnly(path));
    ASSERT_TRUE(SetReadOnly(path, false));
    EXPECT_FALSE(IsReadOnly(path));
    ASSERT_TRUE(SetExecutable(path, false));
    stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0111, 0u);
}
