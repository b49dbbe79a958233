// Theme packages: folders and enciphered archives, entry names, the limits on damaged or
// hostile archives, and loading a theme.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "script/theme/FileSource.h"
#include "script/theme/Theme.h"
#include "script/theme/ThemeArchiveWriter.h"
#include "tests/theme/TestFolder.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::vector<uint8_t> Bytes(const std::string& strText)
{
    return {strText.begin(), strText.end()};
}

// Writes an archive; with bEncipher its entries are enciphered with the theme key.
void WriteArchive(const std::string& strPath, const Entries& entries, bool bEncipher, bool bCompress = true)
{
    CThemeArchiveWriter writer(strPath, bEncipher ? &kThemeArchiveKey : nullptr);
    for (const auto& [strName, strData] : entries)
        ASSERT_TRUE(writer.AddEntry(strName, Bytes(strData), bCompress)) << writer.GetError();
    ASSERT_TRUE(writer.Close()) << writer.GetError();
}

std::string Load(const CFileSource& source, const std::string& strName)
{
    std::vector<uint8_t> data;
    if (!source.LoadFile(strName, data))
        return "<missing>";
    return {data.begin(), data.end()};
}

// The text of the CBaseException that fn throws, or "" when it throws none.
template <class Fn>
std::string ThrownText(Fn fn)
{
    try {
        fn();
    } catch (CBaseException* e) {
        std::string strText = e->GetText();
        e->Delete();
        return strText;
    }
    return {};
}

uint32_t Word(const std::string& bytes, size_t at)
{
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}
uint16_t Half(const std::string& bytes, size_t at)
{
    return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}
void PutWord(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// Zip records of an entry: the local header and the central directory header.
struct ZipRecords {
    size_t local = std::string::npos;
    size_t central = std::string::npos;
};
ZipRecords FindRecords(const std::string& zip, const std::string& strName)
{
    ZipRecords found;
    for (size_t at = 0; at + 46 <= zip.size(); ++at) {
        const uint32_t signature = Word(zip, at);
        if (signature == 0x04034b50 && Half(zip, at + 26) == strName.size() && zip.compare(at + 30, strName.size(), strName) == 0)
            found.local = at;
        if (signature == 0x02014b50 && Half(zip, at + 28) == strName.size() && zip.compare(at + 46, strName.size(), strName) == 0)
            found.central = at;
    }
    return found;
}

// Sets the entry's uncompressed size in both of its headers.
void SetDeclaredSize(std::string& zip, const std::string& strName, uint32_t nSize)
{
    const ZipRecords records = FindRecords(zip, strName);
    ASSERT_NE(records.local, std::string::npos);
    ASSERT_NE(records.central, std::string::npos);
    PutWord(zip, records.local + 22, nSize);
    PutWord(zip, records.central + 24, nSize);
}

void FlipFirstDataByte(std::string& zip, const std::string& strName)
{
    const ZipRecords records = FindRecords(zip, strName);
    ASSERT_NE(records.local, std::string::npos);
    zip[records.local + 30 + Half(zip, records.local + 26) + Half(zip, records.local + 28)] ^= 0x5A;
}

}  // namespace

TEST(ThemeArchive, EntryNamesLoseTheArchiveFolderAndCompareWithoutCase)
{
    CTestFolder folder;
    WriteArchive(folder / "default.qvltheme",
                 {{"default/theme.velasc", "main"}, {"Default\\Images\\Logo.PNG", "logo"}, {"other/readme.txt", "r"},
                  {"/lead.txt", "lead"}, {"DEFAULT/", ""}},
                 true);
    CArchiveFileSource archive(folder / "default.qvltheme", true, kThemeArchiveKey);
    ASSERT_TRUE(archive.IsOpened());
    struct Case { const char* name; const char* content; };
    for (const Case& c : {Case{"theme.velasc", "main"}, Case{"images/logo.png", "logo"},
                          Case{"IMAGES\\LOGO.png", "logo"}, Case{"other/readme.txt", "r"},
                          Case{"lead.txt", "lead"}, Case{"readme.txt", "<missing>"},
                          Case{"default/theme.velasc", "<missing>"}}) {
        EXPECT_EQ(Load(archive, c.name), c.content) << c.name;
        EXPECT_EQ(archive.HasFile(c.name), std::strcmp(c.content, "<missing>") != 0) << c.name;
    }
    std::vector<std::string> names;
    archive.ListFiles(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Images/Logo.PNG", "lead.txt", "other/readme.txt", "theme.velasc"}));
}

TEST(ThemeArchive, EntriesAreDecipheredWithTheirLastBlockFirst)
{
    // Enciphered by hand: whole blocks from the start, then the last 8 bytes once more.
    std::string strTwelve = "twelve bytes";
    TeaEncipherBlock(reinterpret_cast<uint8_t*>(strTwelve.data()), kThemeArchiveKey);
    TeaEncipherBlock(reinterpret_cast<uint8_t*>(strTwelve.data()) + 4, kThemeArchiveKey);
    std::string strEight = "8 bytes!";
    TeaEncipherBlock(reinterpret_cast<uint8_t*>(strEight.data()), kThemeArchiveKey);

    CTestFolder folder;
    WriteArchive(folder / "t.zip", {{"five", "short"}, {"twelve", strTwelve}, {"eight", strEight}}, false);
    CArchiveFileSource deciphered(folder / "t.zip", true, kThemeArchiveKey);
    EXPECT_EQ(Load(deciphered, "five"), "short");
    EXPECT_EQ(Load(deciphered, "twelve"), "twelve bytes");
    EXPECT_EQ(Load(deciphered, "eight"), "8 bytes!");
    CArchiveFileSource plain(folder / "t.zip", false, kThemeArchiveKey);
    EXPECT_EQ(Load(plain, "twelve"), strTwelve);
}

TEST(ThemeArchive, EntriesKeepTheirStoredDateAndTime)
{
    CTestFolder folder;
    const CFileStamp stamp{2031, 12, 24, 23, 58, 46};
    CThemeArchiveWriter writer(folder / "t.zip", &kThemeArchiveKey);
    ASSERT_TRUE(writer.AddEntry("a.txt", Bytes("a"), true, &stamp));
    ASSERT_TRUE(writer.Close());
    CArchiveFileSource archive(folder / "t.zip", true, kThemeArchiveKey);
    CFileStamp read;
    ASSERT_TRUE(archive.GetFileStamp("A.TXT", read));
    EXPECT_EQ(std::tie(read.nYear, read.nMonth, read.nDay, read.nHour, read.nMinute, read.nSecond),
              std::tie(stamp.nYear, stamp.nMonth, stamp.nDay, stamp.nHour, stamp.nMinute, stamp.nSecond));
    EXPECT_FALSE(archive.GetFileStamp("b.txt", read));
}

TEST(ThemeArchive, DamagedOrHostileEntriesAreLeftOutAndTheRestIsRead)
{
    CTestFolder folder;
    const std::string strLongName(600, 'n');
    WriteArchive(folder / "bad.zip",
                 {{"theme.velasc", "main"}, {"../outside.txt", "x"}, {"images/../../up.txt", "x"}, {"//abs.txt", "x"},
                  {"C:/drive.txt", "x"}, {strLongName, "x"}, {"short.txt", "0123456789"}, {"crc.txt", "0123456789"},
                  {"huge.txt", "0123456789"}, {"dup.txt", "first"}, {"dup.txt", "second"}},
                 false, false);
    std::string zip = folder.Read("bad.zip");
    SetDeclaredSize(zip, "short.txt", 20);
    FlipFirstDataByte(zip, "crc.txt");
    SetDeclaredSize(zip, "huge.txt", 0xF0000000u);
    folder.Write("bad.zip", zip);

    CArchiveFileSource archive(folder / "bad.zip", false, kThemeArchiveKey);
    ASSERT_TRUE(archive.IsOpened());
    std::vector<std::string> names;
    archive.ListFiles(names);
    EXPECT_EQ(names, (std::vector<std::string>{"dup.txt", "theme.velasc"}));
    EXPECT_EQ(Load(archive, "dup.txt"), "second");
    EXPECT_EQ(Load(archive, "theme.velasc"), "main");
}

TEST(ThemeArchive, AThemeKeepsAtMost256MiB)
{
    CTestFolder folder;
    {
        CThemeArchiveWriter writer(folder / "big.zip", nullptr);
        const std::vector<uint8_t> block(kMaxPackageEntrySize, 'z');
        // Replacing an entry of the same name does not count twice.
        ASSERT_TRUE(writer.AddEntry("e0", block));
        for (int i = 0; i < 8; ++i)
            ASSERT_TRUE(writer.AddEntry("e" + std::to_string(i), block));
        ASSERT_TRUE(writer.AddEntry("one-too-many", Bytes("!")));
        ASSERT_TRUE(writer.Close());
    }
    CArchiveFileSource archive(folder / "big.zip", false, kThemeArchiveKey);
    EXPECT_TRUE(archive.HasFile("e7"));
    EXPECT_FALSE(archive.HasFile("one-too-many"));
}

TEST(ThemePackage, OpeningFoldersArchivesAndNothing)
{
    CTestFolder folder;
    folder.Write("plain/theme.velasc", "folder");
    folder.Write("notzip.qvltheme", "this is not a zip archive");

    CFileSourcePtr source;
    ASSERT_TRUE(OpenFileSource(folder / "plain", source, true, kThemeArchiveKey));
    EXPECT_TRUE(source->IsFolder());
    EXPECT_EQ(Load(*source, "theme.velasc"), "folder");   // folders are never deciphered
    EXPECT_FALSE(OpenFileSource(folder / "notzip.qvltheme", source, true, kThemeArchiveKey));
    EXPECT_FALSE(OpenFileSource(folder / "nothing", source, true, kThemeArchiveKey));
}

TEST(ThemePackage, FolderNamesIgnoreCaseAndStayInsideTheFolder)
{
    CTestFolder folder;
    folder.Write("secret.txt", "outside");
    folder.Write("theme/Images/Logo.png", "logo");
    folder.Write("theme/scripts/deep/a.js", "a");
    CFolderFileSource source(folder / "theme");
    EXPECT_EQ(Load(source, "images\\LOGO.PNG"), "logo");
    EXPECT_EQ(Load(source, "/scripts/deep/a.js"), "a");
    EXPECT_FALSE(source.HasFile("../secret.txt"));
    EXPECT_FALSE(source.HasFile("images/../../secret.txt"));
    EXPECT_FALSE(source.HasFile("Images"));   // a folder is no file
    CFileStamp stamp;
    EXPECT_TRUE(source.GetFileStamp("Images/Logo.png", stamp));
    EXPECT_GE(stamp.nYear, 2020);
    std::vector<std::string> names;
    source.ListFiles(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Images/Logo.png", "scripts/deep/a.js"}));
}

TEST(Theme, LoadingPrefersTheFolderAndReportsWhatIsMissing)
{
    CTestFolder folder;
    folder.Write("default/theme.velasc", "from the folder");
    WriteArchive(folder / "default.qvltheme", {{"default/theme.velasc", "from the archive"}}, true);
    WriteArchive(folder / "packed.qvltheme", {{"packed/theme.velasc", "packed"}, {"region.dat", "<regions/>"}}, true);
    WriteArchive(folder / "other.qvltheme", {{"other/x/theme.velasc", "nested"}}, true);
    WriteArchive(folder / "wrongtop.qvltheme", {{"somewhere/theme.velasc", "misplaced"}}, true);

    CTheme theme;
    std::string strText;
    EXPECT_FALSE(theme.ReadText("theme.velasc", strText));   // nothing loaded yet
    EXPECT_TRUE(theme.LoadTheme(folder / "default"));
    ASSERT_TRUE(theme.ReadText("theme.velasc", strText));
    EXPECT_EQ(strText, "from the folder");

    EXPECT_TRUE(theme.LoadTheme(folder / "packed"));   // found with ".qvltheme" added
    ASSERT_TRUE(theme.ReadText("Region.dat", strText));
    EXPECT_EQ(strText, "<regions/>");
    EXPECT_FALSE(theme.ReadText("scheme.xml", strText));

    EXPECT_EQ(ThrownText([&] { theme.LoadTheme(folder / "absent"); }), "Theme does not exist");
    EXPECT_EQ(ThrownText([&] { theme.LoadTheme(folder / "wrongtop"); }), "Theme.velasc does not exist in the theme");
    // A failed load keeps the theme that was loaded.
    ASSERT_TRUE(theme.ReadText("theme.velasc", strText));
    EXPECT_EQ(strText, "packed");
}
