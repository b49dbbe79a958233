// The update file list: loading, refusing hostile or damaged lists, look-ups and fetch order.
#include "update/FileList.h"

#include "TestServices.h"
#include "foundation/CompressedFile.h"
#include "foundation/FileUtils.h"
#include "foundation/Store.h"

#include <gtest/gtest.h>

namespace {

class FileListTest : public ::testing::Test {
protected:
    std::string Gzip(const std::string& xml)
    {
        const std::string path = services.folders["updates-folder"] + "filelist.dat";
        CCompressedFile file(path, storeWrite);
        file.Write(xml.data(), uint32_t(xml.size()));
        file.Close();
        return path;
    }
    static std::string Entry(const std::string& hashname, const std::string& extractname,
                             const std::string& folder = "")
    {
        return "<file hashname=\"" + hashname + "\" extractname=\"" + extractname +
               "\" extractfolder=\"" + folder + "\" bytes=\"10\" CRC=\"77\" ft-high=\"3\" ft-low=\"4\" />";
    }

    TestServices services;
    CFileList list;
};

TEST_F(FileListTest, LoadsEntriesAndFindsThemWithoutRegardToCase)
{
    services.folders["channel-images-folder"] = services.folders["app-folder"] + "logos/";
    const std::string path = Gzip("<files>" + Entry("AB12", "images\\logo.png") +
                                  Entry("cd34", "5.ch", "channel-images-folder") +
                                  "<file hashname='ef56' extractname='category' /></files>");
    ASSERT_EQ(list.Load(path), CFileList::LoadResult::loaded);
    ASSERT_EQ(list.Entries().size(), 3u);
    const CFileListEntry& first = list.Entries()[0];
    EXPECT_EQ(first.m_strExtractName, "images/logo.png");
    EXPECT_EQ(first.m_nBytes, 10u);
    EXPECT_EQ(first.m_uCRC, 77u);
    EXPECT_EQ(first.Time(), (uint64_t(3) << 32) | 4);
    EXPECT_TRUE(first.m_bValid);
    EXPECT_EQ(list.Entries()[2].m_uCRC, 0u);   // none listed

    EXPECT_EQ(list.FindByHashname("ab12"), &first);
    EXPECT_EQ(list.FindByExtract("5.CH", "Channel-Images-Folder"), &list.Entries()[1]);
    EXPECT_EQ(list.FindByExtract("5.ch", ""), nullptr);
    EXPECT_EQ(first.InstalledPath(), services.folders["app-folder"] + "images/logo.png");
    EXPECT_EQ(list.Entries()[1].InstalledPath(), services.folders["app-folder"] + "logos/5.ch");
}

TEST_F(FileListTest, RefusesListsWithNamesOutsideTheirFolder)
{
    const std::pair<std::string, std::string> hostile[] = {
        {"../x", "a"},     {"a/b", "a"},        {"a\\b", "a"},         {"", "a"},
        {"..", "a"},       {"check.dat", "a"},  {"FILELIST.DAT", "a"}, {"h", "../../x"},
        {"h", "/etc/x"},   {"h", "a//b"},       {"h", "a\\..\\..\\b"}, {"h", ""},
        {"h", "a/./b"},
    };
    for (const auto& [hashname, extractname] : hostile) {
        const std::string path = Gzip("<files>" + Entry("good", "good") + Entry(hashname, extractname) + "</files>");
        EXPECT_EQ(list.Load(path), CFileList::LoadResult::unsafe) << hashname << " " << extractname;
        EXPECT_TRUE(list.IsEmpty());
    }
}

TEST_F(FileListTest, RefusesFilesThatAreNotWholeGzipStreams)
{
    const std::string good = Gzip("<files>" + std::string(5000, ' ') + Entry("h", "a") + "</files>");
    std::string packed;
    ASSERT_TRUE(ReadWholeFile(good, packed));
    std::string badCheck = packed;
    badCheck[badCheck.size() - 8] ^= 0x55;   // the stream's CRC
    const std::string damaged[] = {
        "<html><body>Not found</body></html>",
        packed.substr(0, packed.size() / 2),
        badCheck,
        "",
    };
    const std::string path = services.folders["updates-folder"] + "bad.dat";
    for (const std::string& bytes : damaged) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        list.Clear();
        EXPECT_EQ(list.Load(path), CFileList::LoadResult::failed) << bytes.size();
        EXPECT_TRUE(list.IsEmpty());
    }
    EXPECT_EQ(list.Load(services.folders["updates-folder"] + "missing.dat"), CFileList::LoadResult::failed);
    EXPECT_EQ(list.Load(good), CFileList::LoadResult::loaded);
    EXPECT_EQ(list.Entries().size(), 1u);
}

TEST(FileListOrderTest, ProgramFilesFirstListingsLast)
{
    const std::vector<std::string> chosen = {
        "category",  "7-12.up",          "keywords",     "libquilvolite.so", "Default.qvltheme",
        "5-3.up",    "QuilvoLite",       "x.h",          "channels",         "5.ch",
        "qvl",       "QuilvoLiteUpgrader", "libkrdcagg.so.1", "y.QVL",      "9-1.up",
    };
    std::vector<CFileListEntry> entries;
    for (const std::string& name : chosen) {
        CFileListEntry e;
        e.m_strExtractName = name;
        entries.push_back(e);
    }
    std::vector<std::string> order;
    for (const CFileListEntry& e : OrderForDownload(entries))
        order.push_back(e.m_strExtractName);
    EXPECT_EQ(order, (std::vector<std::string>{
                         "QuilvoLiteUpgrader", "QuilvoLite", "libquilvolite.so", "libkrdcagg.so.1",
                         "qvl", "Default.qvltheme", "y.QVL", "x.h", "channels", "keywords",
                         "category", "5.ch", "9-1.up", "5-3.up", "7-12.up"}));
}

}  // namespace
