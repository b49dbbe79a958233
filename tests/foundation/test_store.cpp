#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/CompressedFile.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/FileUtils.h"
#include "foundation/MemoryStore.h"
#include "foundation/StoreArchive.h"
#include "tests/platform/ScratchFolder.h"

namespace {

// Runs f and hands back the exception it threw as E (nullptr when it threw nothing), owned by
// the caller; other exception classes are let through.
template <class E, class F>
std::unique_ptr<E, void (*)(E*)> Catch(F f)
{
    auto del = [](E* e) { if (e) e->Delete(); };
    try {
        f();
    } catch (E* e) {
        return {e, del};
    }
    return {nullptr, del};
}

std::string Contents(const std::string& path)
{
    std::string s;
    EXPECT_TRUE(ReadWholeFile(path, s)) << path;
    return s;
}

std::string ReadAll(CStore& store, uint32_t nPiece)
{
    std::string s;
    std::vector<char> piece(nPiece);
    while (uint32_t n = store.Read(piece.data(), nPiece))
        s.append(piece.data(), n);
    return s;
}

}  // namespace

TEST(FileStore, ModeStrings)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "rb"},
        {storeRead, "rb"},
        {storeRead | storeBinary, "rb"},
        {storeWrite, "wb"},
        {storeWrite | storeBinary, "wb"},
        {storeWrite | storeCreate | storeBinary, "wb"},
        {storeCreate, "wb"},
        {storeRead | storeWrite, "r+b"},
        {storeAppend, "a+b"},
        {storeRead | storeAppend, "a+b"},
        {storeRead | storeText, "rt"},
    };
    for (auto [nFlags, pMode] : cases)
        EXPECT_EQ(CStreamFileStore::ModeForFlags(nFlags), pMode) << nFlags;
}

TEST(FileStore, ReadsPositionsAndEnd)
{
    ScratchFolder dir;
    const std::string path = dir / "data.bin";
    {
        CFileStore out(path, storeWrite | storeBinary);
        out.Write("abcdefgh", 8);
        out.Write("", 0);
        out.Close();
    }
    CFileStore in(path, storeRead);
    EXPECT_EQ(in.GetLength(), 8u);
    EXPECT_FALSE(in.IsEOF());
    char buf[8] = {};
    EXPECT_EQ(in.Read(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "abcde");
    EXPECT_EQ(in.GetPosition(), 5u);
    EXPECT_EQ(in.Read(buf, 3), 3u);
    EXPECT_TRUE(in.IsEOF());
    EXPECT_EQ(in.Read(buf, 0), 0u);   // reading nothing at the end is fine

    auto e = Catch<CFileStoreException>([&] { in.Read(buf, 1); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nCode, 2);
    EXPECT_STREQ(e->GetText(), "File read failed to read the required size");

    in.SetPosition(0);
    EXPECT_FALSE(in.IsEOF());
    EXPECT_EQ(in.GetPosition(), 0u);

    CFileStore(dir / "empty", storeWrite).Close();
    CFileStore empty(dir / "empty", storeRead);
    EXPECT_TRUE(empty.IsEOF());
    EXPECT_EQ(empty.GetLength(), 0u);
}

TEST(FileStore, VersionWords)
{
    ScratchFolder dir;
    const std::string path = dir / "versions";
    {
        CFileStore out(path, storeWrite);
        out.SetVersion(0);
        out.SetVersion(5);
        out.SetVersion(0x08070605);
        EXPECT_EQ(out.GetVersion(), 0x08070605u);   // cached: no read on a write-only store
        out.Close();
    }
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, std::string("\0\0\0\0\5\0\0\0\5\6\7\10", 12));

    CFileStore in(path, storeRead);
    EXPECT_EQ(in.GetVersion(), 0u);    // cache 0: read again next time
    EXPECT_EQ(in.GetVersion(), 5u);
    EXPECT_EQ(in.GetVersion(), 5u);    // cached: nothing read
    EXPECT_EQ(in.GetPosition(), 8u);
    EXPECT_EQ(in.GetVersion(true), 0x08070605u);
    EXPECT_EQ(in.GetPosition(), 12u);
}

TEST(FileStore, OpenFailureNamesFileAndReason)
{
    ScratchFolder dir;
    const std::string path = dir / "missing.dat";
    auto e = Catch<CFileStoreException>([&] { CFileStore store(path, storeRead); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nCode, 1);
    EXPECT_EQ(std::string(e->GetText()),
              "Failed to open file '" + path + "': \r\nReason:\r\n" + FormatLastError(2));

    auto locked = Catch<CFileStoreLockedException>([&] { CFileStoreLocked store(path, storeRead); });
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->m_nCode, 1);
}

TEST(FileStore, CloseReportsDataThatCouldNotBeWritten)
{
    // /dev/full accepts the buffered bytes and refuses them when they are flushed.
    CFileStore store("/dev/full", storeAppend);
    store.Write("abc", 3);
    auto e = Catch<CFileStoreException>([&] { store.Close(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nCode, 2);
    EXPECT_FALSE(store.IsOpen());
}

TEST(FileStoreLocked, ShareModesKeepUsersApart)
{
    ScratchFolder dir;
    const std::string path = dir / "shared";
    ASSERT_TRUE(WriteTextFile(path, "contents"));

    struct Case {
        uint32_t first, second;
        bool secondOpens;
    } cases[] = {
        {storeRead, storeRead, true},
        {storeRead, storeWrite, false},
        {storeWrite, storeRead, false},
        {storeWrite, storeWrite, false},
        {storeAppend, storeRead, false},
    };
    for (const Case& c : cases) {
        {
            CFileStoreLocked first(path, c.first);
            if (c.first != storeRead)
                first.Write("contents", 8);
            auto e = Catch<CFileStoreLockedException>([&] { CFileStoreLocked second(path, c.second); });
            EXPECT_EQ(!e, c.secondOpens) << c.first << " then " << c.second;
            if (e) {
                EXPECT_EQ(e->m_nCode, 1);
            }
            first.Close();
        }
        std::string s;
        ASSERT_TRUE(ReadWholeFile(path, s));
        EXPECT_EQ(s.substr(0, 8), "contents") << "a refused open must not truncate";
        ASSERT_TRUE(WriteTextFile(path, "contents"));
    }

    // A plain store that wants to write is shut out by a locked reader too, with its own class;
    // once the reader closes, writers get in.
    CFileStoreLocked reader(path, storeRead);
    auto e = Catch<CFileStoreException>([&] { CFileStore writer(path, storeWrite); });
    EXPECT_TRUE(e);
    reader.Close();
    CFileStoreLocked writer(path, storeWrite);
    writer.Write("x", 1);
    writer.Close();
}

TEST(MemoryStore, ReadsWritesAndEnd)
{
    std::vector<uint8_t> data;
    CMemoryStore store(data);
    EXPECT_TRUE(store.IsEOF());
    store.Write("hello", 5);
    store.SetPosition(1);
    store.Write("EL", 2);
    EXPECT_EQ(std::string(data.begin(), data.end()), "hELlo");
    store.SetPosition(7);   // past the end: the gap is filled with zeros
    store.Write("!", 1);
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("hELlo\0\0!", 8));
    EXPECT_EQ(store.GetLength(), 8u);

    store.SetPosition(6);
    char buf[8] = {};
    EXPECT_EQ(store.Read(buf, 8), 2u);   // straddles the end: what is left
    EXPECT_EQ(buf[1], '!');
    EXPECT_TRUE(store.IsEOF());
    EXPECT_EQ(store.Read(buf, 8), 0u);
    store.SetPosition(100);
    EXPECT_EQ(store.Read(buf, 8), 0u);

    const std::vector<uint8_t> fixed = {1, 2, 3};
    CMemoryStore readOnly(fixed);
    auto e = Catch<CBaseException>([&] { readOnly.Write("x", 1); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nCode, 11);
    EXPECT_EQ(fixed.size(), 3u);
}

TEST(StoreArchive, LittleEndianValuesAndTexts)
{
    std::vector<uint8_t> data;
    CMemoryStore store(data);
    CStoreArchive ar(&store);
    ar << true << uint8_t(0xAB) << int16_t(-2) << uint16_t(0x1234) << int32_t(-3)
       << uint32_t(0xDEADBEEF) << uint64_t(0x0102030405060708ull) << char('z');
    ar.WriteString("caf\xC3\xA9");
    ar.WriteString("");
    const std::vector<uint8_t> expected = {
        1, 0xAB, 0xFE, 0xFF, 0x34, 0x12, 0xFD, 0xFF, 0xFF, 0xFF, 0xEF, 0xBE, 0xAD, 0xDE,
        8, 7, 6, 5, 4, 3, 2, 1, 'z', 5, 0, 0, 0, 'c', 'a', 'f', 0xC3, 0xA9, 0, 0, 0, 0};
    EXPECT_EQ(data, expected);

    store.SetPosition(0);
    bool b = false;
    uint8_t u8 = 0;
    int16_t i16 = 0;
    uint16_t u16 = 0;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    uint64_t u64 = 0;
    char c = 0;
    ar >> b >> u8 >> i16 >> u16 >> i32 >> u32 >> u64 >> c;
    EXPECT_TRUE(b);
    EXPECT_EQ(u8, 0xAB);
    EXPECT_EQ(i16, -2);
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(i32, -3);
    EXPECT_EQ(u32, 0xDEADBEEFu);
    EXPECT_EQ(u64, 0x0102030405060708ull);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(ar.ReadString(), "caf\xC3\xA9");
    EXPECT_EQ(ar.ReadString(), "");
    EXPECT_TRUE(store.IsEOF());
}

TEST(StoreArchive, DamagedInputThrowsInsteadOfInventingData)
{
    const std::vector<uint8_t> negative = {0xFF, 0xFF, 0xFF, 0xFF, 'x'};   // count -1: empty
    CMemoryStore negStore(negative);
    EXPECT_EQ(CStoreArchive(&negStore).ReadString(), "");
    EXPECT_EQ(negStore.GetPosition(), 4u);

    const std::vector<uint8_t> cases[] = {
        {0xF0, 0xFF, 0xFF, 0x7F, 'a', 'b'},   // a count far beyond the data
        {3, 0, 0, 0, 'a', 'b'},               // one byte short
        {1, 2, 3},                            // an integer cut short
    };
    for (const auto& bytes : cases) {
        CMemoryStore store(bytes);
        auto e = Catch<CBaseException>([&] {
            CStoreArchive ar(&store);
            if (bytes.size() == 3) {
                uint32_t u = 0;
                ar >> u;
            } else {
                ar.ReadString();
            }
        });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->m_nCode, 3);
    }
}

TEST(CompressedFile, RoundTripAndFailures)
{
    ScratchFolder dir;
    const std::string path = dir / "data.gz";
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "line " + std::to_string(i) + "\n";
    {
        CCompressedFile out(path, storeWrite | storeBinary);
        out.Write(text.data(), 1000);
        out.Write(text.data() + 1000, static_cast<uint32_t>(text.size() - 1000));
        auto e = Catch<CCompressedFileException>([&] { out.Write(text.data(), 0); });
        ASSERT_TRUE(e) << "a write that stores nothing must fail";
        EXPECT_EQ(e->m_nCode, 2);
        out.Close();
    }
    std::string raw;
    ASSERT_TRUE(ReadWholeFile(path, raw));
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw.substr(0, 2), "\x1f\x8b");
    EXPECT_LT(raw.size(), text.size() / 4);

    CCompressedFile in(path, storeRead);
    EXPECT_EQ(ReadAll(in, 1024), text);
    EXPECT_TRUE(in.IsEOF());

    auto open = Catch<CCompressedFileException>([&] { CCompressedFile f(dir / "none.gz", storeRead | storeWrite); });
    ASSERT_TRUE(open);
    EXPECT_EQ(open->m_nCode, 1);
    EXPECT_EQ(std::string(open->GetText()), "Failed to open file '" + dir / "none.gz" + "'");

    CCompressedFile full("/dev/full", storeWrite);
    full.Write(text.data(), 100);
    auto closing = Catch<CCompressedFileException>([&] { full.Close(); });
    ASSERT_TRUE(closing) << "lost compressed data must not pass silently";
    EXPECT_EQ(closing->m_nCode, 2);
}

TEST(CompressedFile, CutStreamsFail)
{
    // Wherever a stream is cut after its header, trailer included, reading fails rather than
    // ending early as if complete. (zlib's gzread lets some of these cuts through.)
    ScratchFolder dir;
    const std::string text(50000, 'z');
    {
        CCompressedFile out(dir / "full.gz", storeWrite);
        out.Write(text.data(), static_cast<uint32_t>(text.size()));
        out.Close();
    }
    const std::string raw = Contents(dir / "full.gz");
    for (size_t n = 10; n < raw.size(); ++n) {
        ASSERT_TRUE(WriteTextFile(dir / "cut.gz", raw.substr(0, n)));
        CCompressedFile cut(dir / "cut.gz", storeRead);
        auto e = Catch<CCompressedFileException>([&] { ReadAll(cut, 1024); });
        ASSERT_TRUE(e) << "cut at " << n << " of " << raw.size();
        EXPECT_EQ(e->m_nCode, 2);
    }
    CCompressedFile whole(dir / "full.gz", storeRead);
    EXPECT_EQ(ReadAll(whole, 1024), text);
}

TEST(CompressedFile, ConcatenatedMembersAndPlainFiles)
{
    ScratchFolder dir;
    auto pack = [&](const std::string& name, const std::string& text) {
        CCompressedFile out(dir / name, storeWrite);
        out.Write(text.data(), static_cast<uint32_t>(text.size()));
        out.Close();
        return Contents(dir / name);
    };
    const std::string both = pack("a.gz", "first;") + pack("b.gz", "second");
    const struct {
        std::string file, expected;
    } cases[] = {
        {both, "first;second"},
        {both + "trailing bytes", "first;second"},   // what follows the last member is ignored
        {"plain text, not gzip", "plain text, not gzip"},
        {"", ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteTextFile(dir / "in", c.file));
        CCompressedFile in(dir / "in", storeRead);
        EXPECT_EQ(ReadAll(in, 4), c.expected);
        EXPECT_TRUE(in.IsEOF());
    }
}
