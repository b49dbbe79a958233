#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/FileUtils.h"
#include "tests/platform/ScratchFolder.h"

namespace {

std::string Contents(const std::string& path)
{
    std::string s;
    EXPECT_TRUE(ReadWholeFile(path, s)) << path;
    return s;
}

// Names in the folder, to see that no temporary files are left behind.
std::vector<std::string> Names(const ScratchFolder& dir)
{
    std::vector<std::string> names;
    for (const plat::FileInfo& info : plat::FindFiles(dir / "*"))
        names.push_back(info.name);
    return names;
}

plat::FileTime WriteTime(const std::string& path)
{
    plat::FileTime c = 0, a = 0, w = 0;
    EXPECT_TRUE(GetFileTimes(path, c, a, w)) << path;
    return w;
}

}  // namespace

TEST(FileUtils, CopyAndMoveReplaceOnlyWhenTheyCan)
{
    ScratchFolder dir;
    const std::string from = dir / "from", to = dir / "to";
    ASSERT_TRUE(WriteTextFile(from, "new"));

    // A failed copy or move (missing source) leaves the old target exactly as it was.
    ASSERT_TRUE(WriteTextFile(to, "old"));
    EXPECT_FALSE(CopyFileReplacing(dir / "missing", to));
    EXPECT_FALSE(MoveFileReplacing(dir / "missing", to));
    EXPECT_EQ(Contents(to), "old");

    // Read-only targets are replaced, unless a copy is asked to keep attributes.
    ASSERT_TRUE(plat::SetReadOnly(to, true));
    EXPECT_FALSE(CopyFileReplacing(from, to, true));
    EXPECT_EQ(Contents(to), "old");
    EXPECT_TRUE(CopyFileReplacing(from, to));
    EXPECT_EQ(Contents(to), "new");
    EXPECT_TRUE(FileExists(from));

    ASSERT_TRUE(WriteTextFile(from, "newer"));
    ASSERT_TRUE(plat::SetReadOnly(to, true));
    EXPECT_TRUE(MoveFileReplacing(from, to));
    EXPECT_EQ(Contents(to), "newer");
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"to"});
}

TEST(FileUtils, WholeFiles)
{
    ScratchFolder dir;
    const std::string path = dir / "blob";
    const std::string bytes("a\0b\r\n\xff", 6);
    ASSERT_TRUE(WriteTextFile(path, bytes));
    EXPECT_EQ(Contents(path), bytes);
    std::vector<uint8_t> asBytes;
    ASSERT_TRUE(ReadWholeFile(path, asBytes));
    EXPECT_EQ(asBytes, std::vector<uint8_t>(bytes.begin(), bytes.end()));

    ASSERT_TRUE(WriteTextFile(path, ""));
    EXPECT_EQ(Contents(path), "");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"blob"});

    std::string untouched = "keep";
    EXPECT_FALSE(ReadWholeFile(dir / "missing", untouched));
    EXPECT_EQ(untouched, "keep");
    EXPECT_FALSE(WriteTextFile(dir / "no/such/folder/file", "x"));
}

TEST(FileUtils, FileTimes)
{
    ScratchFolder dir;
    const std::string path = dir / "f";
    ASSERT_TRUE(WriteTextFile(path, "x"));
    const plat::FileTime t = plat::UnixToFileTime(1262304000, 123456700);   // 2010-01-01
    ASSERT_TRUE(SetFileTimes(path, t, t, t));
    plat::FileTime c = 0, a = 0, w = 0;
    ASSERT_TRUE(GetFileTimes(path, c, a, w));
    EXPECT_EQ(w, t);
    EXPECT_EQ(a, t);
    EXPECT_FALSE(GetFileTimes(dir / "missing", c, a, w));
    EXPECT_FALSE(SetFileTimes(dir / "missing", t, t, t));
}

TEST(FileUtils, FileCRC)
{
    ScratchFolder dir;
    uint32_t uCRC = 0;
    ASSERT_TRUE(WriteTextFile(dir / "abc", "abc"));
    ASSERT_TRUE(GetFileCRC(dir / "abc", uCRC));
    EXPECT_EQ(uCRC, 0xBC7DDB53u);

    ASSERT_TRUE(WriteTextFile(dir / "empty", ""));
    ASSERT_TRUE(GetFileCRC(dir / "empty", uCRC));
    EXPECT_EQ(uCRC, 0xFFFFFFFFu);

    // Larger than one read piece: the pieces must chain.
    std::string big(200000, '\0');
    std::mt19937 rng(7);
    for (char& ch : big)
        ch = static_cast<char>(rng());
    ASSERT_TRUE(WriteTextFile(dir / "big", big));
    ASSERT_TRUE(GetFileCRC(dir / "big", uCRC));
    EXPECT_EQ(uCRC, CalculateCRC(big.data(), big.size()));

    uCRC = 42;
    EXPECT_FALSE(GetFileCRC(dir / "missing", uCRC));
    EXPECT_EQ(uCRC, 42u);
}

TEST(FileUtils, CompressAndDecompressKeepContentsAndTimes)
{
    ScratchFolder dir;
    const plat::FileTime t = plat::UnixToFileTime(1300000000);
    for (const std::string& text : {std::string(), std::string(100000, 'q') + "end"}) {
        const std::string plain = dir / "plain", packed = dir / "packed", back = dir / "back";
        ASSERT_TRUE(WriteTextFile(plain, text));
        ASSERT_TRUE(SetFileTimes(plain, t, t, t));

        // In place, there and back.
        ASSERT_TRUE(CompressFile(plain)) << text.size();
        EXPECT_EQ(Contents(plain).substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(WriteTime(plain), t);
        ASSERT_TRUE(DecompressFile(plain));
        EXPECT_EQ(Contents(plain), text);
        EXPECT_EQ(WriteTime(plain), t);

        // To other paths: compressing keeps its source, decompressing deletes it after success.
        ASSERT_TRUE(CompressFile(plain, packed));
        EXPECT_TRUE(FileExists(plain));
        ASSERT_TRUE(DecompressFile(packed, back));
        EXPECT_FALSE(FileExists(packed));
        EXPECT_EQ(Contents(back), text);
        EXPECT_EQ(WriteTime(back), t);
        EXPECT_EQ(Names(dir), (std::vector<std::string>{"back", "plain"}));
        plat::DeleteFile(back);
    }
}

TEST(FileUtils, FailedDecompressionKeepsSourceAndTarget)
{
    ScratchFolder dir;
    const std::string text(50000, 'z');
    ASSERT_TRUE(WriteTextFile(dir / "src", text));
    ASSERT_TRUE(CompressFile(dir / "src"));
    const std::string packed = Contents(dir / "src");
    ASSERT_TRUE(WriteTextFile(dir / "cut.gz", packed.substr(0, packed.size() / 2)));
    ASSERT_TRUE(WriteTextFile(dir / "target", "previous"));

    EXPECT_FALSE(DecompressFile(dir / "cut.gz", dir / "target"));
    EXPECT_EQ(Contents(dir / "cut.gz"), packed.substr(0, packed.size() / 2));
    EXPECT_EQ(Contents(dir / "target"), "previous");
    EXPECT_FALSE(DecompressFile(dir / "cut.gz"));
    EXPECT_EQ(Contents(dir / "cut.gz"), packed.substr(0, packed.size() / 2));
    EXPECT_FALSE(DecompressFile(dir / "missing.gz", dir / "target"));
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"cut.gz", "src", "target"}));
}

TEST(FileUtils, CreateFolderChain)
{
    ScratchFolder dir;
    const std::string deep = dir / "a/b/c";
    EXPECT_TRUE(CreateFolderChain(deep));
    EXPECT_TRUE(plat::IsDirectory(deep));
    EXPECT_TRUE(CreateFolderChain(dir / "a/b/c/d/"));
    EXPECT_TRUE(plat::IsDirectory(dir / "a/b/c/d"));
    EXPECT_TRUE(CreateFolderChain(deep));   // all there already
    EXPECT_EQ(Names(dir), std::vector<std::string>{"a"});

    ASSERT_TRUE(WriteTextFile(dir / "file", "x"));
    EXPECT_FALSE(CreateFolderChain(dir / "file/sub"));
    EXPECT_FALSE(CreateFolderChain(dir / "file"));
}
