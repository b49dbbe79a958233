// The channels file in its versions, channel logos and their move from the old folder, and the
// category and keyword files.
#include <gtest/gtest.h>

#include <filesystem>

#include "listings/CategoryFile.h"
#include "listings/ChannelManager.h"
#include "listings/KeywordList.h"
#include "tests/listings/ListingsFileBytes.h"
#include "tests/theme/TestFolder.h"

namespace {

const std::string kExtraHeader = "<?xml version='1.0' encoding='utf-8'?>\r\n";

CChannelManager::Folders FoldersIn(const CTestFolder& folder)
{
    return {folder / "channels/", folder / "images/", folder / "old/"};
}

// A channels file of the version; versions up to 4 carry an image after each entry.
std::string ChannelsFile(uint32_t uVersion)
{
    const bool bImages = uVersion <= 4;
    CListingsFileBytes bytes;
    bytes.U32(3).U32(uVersion);
    bytes.U32(7).Text("Channel Seven")
        .Text(kExtraHeader + "<i><short-name>Ch&amp;7</short-name><live-url>https://seven.example/live</live-url>"
                             "<category>Caf&#233;s</category></i>");
    if (bImages)
        bytes.Text("PNG-seven");
    bytes.U32(8).Text("channel seven").Text("not <xml");
    if (bImages)
        bytes.Text("");
    bytes.U32(9).Text("Nine").Text(kExtraHeader + "<i><short-name>9</short-name></i>");
    if (bImages)
        bytes.Text("PNG-nine");
    return bytes.Get();
}

std::vector<uint32_t> IDs(const CChannelManager& manager)
{
    std::vector<uint32_t> ids;
    for (const CChannelPtr& pChannel : manager.GetChannels())
        ids.push_back(pChannel->GetID());
    return ids;
}

}  // namespace

TEST(Channels, EveryVersionReadsTheSameChannelsAndOldOnesWriteTheirImages)
{
    for (uint32_t uVersion : {4u, 5u}) {
        CTestFolder folder;
        folder.Write("channels/channels", ChannelsFile(uVersion));
        CChannelManager manager(FoldersIn(folder));
        manager.Load();
        ASSERT_EQ(IDs(manager), (std::vector<uint32_t>{7, 8, 9})) << "version " << uVersion;

        const CChannelPtr pSeven = manager.GetChannel(7);
        EXPECT_EQ(pSeven->GetName(), "Channel Seven");
        EXPECT_EQ(pSeven->GetShortName(), "Ch&7");
        EXPECT_EQ(pSeven->GetCategory(), "Caf\xC3\xA9s");
        EXPECT_EQ(pSeven->GetWebAddress(), "https://seven.example/live");
        EXPECT_EQ(pSeven->GetImageFileName(), folder / "images/7.ch");

        const CChannelPtr pEight = manager.GetChannel(8);   // extra text that is not XML
        EXPECT_EQ(pEight->GetShortName(), "not <xml");
        EXPECT_EQ(pEight->GetLiveURL(), "");
        EXPECT_EQ(pEight->GetCategory(), "");
        EXPECT_EQ(pEight->GetWebAddress(), "https://info.quilvolite.net/qvlookup.asp?c=8");

        EXPECT_EQ(manager.GetChannelByName("CHANNEL SEVEN"), pSeven);   // the first of that name
        EXPECT_EQ(manager.GetChannelByName("Eight"), nullptr);
        EXPECT_EQ(manager.GetChannel(10), nullptr);

        if (uVersion == 4) {
            EXPECT_EQ(folder.Read("images/7.ch"), "PNG-seven");
            EXPECT_EQ(folder.Read("images/9.ch"), "PNG-nine");
            EXPECT_FALSE(plat::FileExists(folder / "images/8.ch"));   // an empty image writes nothing
        } else {
            EXPECT_FALSE(plat::FileExists(folder / "images"));
        }
    }
}

TEST(Channels, DamagedFilesLeaveNoChannels)
{
    const std::string strWhole = ChannelsFile(5);
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"a count far beyond the file", CListingsFileBytes().U32(0xFFFFFFFF).U32(5).U32(1).Text("a").Text("").Get()},
        {"an image beyond the file", CListingsFileBytes().U32(1).U32(4).U32(1).Text("a").Text("").U32(1000).Get()},
        {"a text beyond the file", CListingsFileBytes().U32(1).U32(5).U32(1).U32(0x7FFFFFFF).Get()},
        {"a cut file", strWhole.substr(0, strWhole.size() - 3)},
        {"a count without its version", CListingsFileBytes().U32(2).Get()},
        {"an empty file", ""},
    };
    for (const Case& c : cases) {
        CTestFolder folder;
        folder.Write("channels/channels", c.bytes);
        CChannelManager manager(FoldersIn(folder));
        manager.Load();
        EXPECT_TRUE(manager.GetChannels().empty()) << c.what;
    }
    CTestFolder folder;   // a count of 0 has no version word
    folder.Write("channels/channels", CListingsFileBytes().U32(0).Get());
    CChannelManager manager(FoldersIn(folder));
    manager.Load();
    EXPECT_TRUE(manager.GetChannels().empty());
}

TEST(Channels, OldLogosMoveOnlyOnceCopiedElsewhere)
{
    {
        CTestFolder folder;
        folder.Write("old/7.ch", "new seven");
        folder.Write("old/8.CH", "eight");
        folder.Write("old/notes.txt", "stays");
        folder.Write("images/7.ch", "stale seven");
        CChannelManager(FoldersIn(folder)).Load();
        EXPECT_EQ(folder.Read("images/7.ch"), "new seven");
        EXPECT_EQ(folder.Read("images/8.CH"), "eight");
        EXPECT_FALSE(plat::FileExists(folder / "old/7.ch"));
        EXPECT_FALSE(plat::FileExists(folder / "old/8.CH"));
        EXPECT_TRUE(plat::FileExists(folder / "old/notes.txt"));
    }
    {
        // The two folders are one, reached by two paths: nothing may be deleted.
        CTestFolder folder;
        folder.Write("images/7.ch", "seven");
        std::filesystem::create_directory_symlink(folder / "images", folder / "link");
        CChannelManager({folder / "channels/", folder / "images/", folder / "link/"}).Load();
        CChannelManager({folder / "channels/", folder / "images/", folder / "images/./"}).Load();
        EXPECT_EQ(folder.Read("images/7.ch"), "seven");
    }
    {
        // The images folder cannot be made (a file is in the way): the old logo stays.
        CTestFolder folder;
        folder.Write("old/7.ch", "seven");
        folder.Write("images", "a file");
        CChannelManager(FoldersIn(folder)).Load();
        EXPECT_EQ(folder.Read("old/7.ch"), "seven");
    }
}

TEST(Channels, AddedChannelsAnswerForTheirIdAndNewOnesAreMarked)
{
    CTestFolder folder;
    folder.Write("channels/channels", ChannelsFile(5));
    CChannelManager manager(FoldersIn(folder));
    manager.Load();
    const std::vector<uint32_t> before = IDs(manager);
    // A channel the file has takes its place in the list; a new one goes at the end.
    manager.AddChannel(7, "Region Seven", "Region Seven", "", "Entertainment");
    manager.AddChannel(40, "Forty", "Forty", "", "Entertainment");
    EXPECT_EQ(manager.GetChannel(7)->GetName(), "Region Seven");
    std::vector<uint32_t> after = before;
    after.push_back(40);
    EXPECT_EQ(IDs(manager), after);
    EXPECT_EQ(manager.GetChannelByName("region seven"), manager.GetChannel(7));
    // The file's "Channel Seven" is gone: the name now finds channel 8 ("channel seven").
    EXPECT_EQ(manager.GetChannelByName("channel seven")->GetID(), 8u);

    manager.MarkNewChannels({8, 9, 42});
    for (const CChannelPtr& pChannel : manager.GetChannels())
        EXPECT_EQ(pChannel->IsNew(), pChannel->GetID() == 8 || pChannel->GetID() == 9) << pChannel->GetID();
}

TEST(Categories, ReadSortedWithUnknownForMissingIds)
{
    CTestFolder folder;
    CListingsFileBytes bytes;
    bytes.U32(3).U32(2);
    bytes.U32(5).Text("Sport").U32(1).Text("unused");
    bytes.U32(2).Text("drama").U32(0).Text("");
    bytes.U32(9).Text("Films").U32(7).Text("xyz");
    folder.Write("category", bytes.Get());

    CCategoryList list;
    ASSERT_TRUE(LoadCategories(folder / "category", list));
    std::vector<std::string> names;
    for (const CCategoryPtr& pCategory : list.GetSortedCategories())
        names.push_back(pCategory->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"drama", "Films", "Sport"}));
    EXPECT_EQ(list.GetCategory(9)->GetName(), "Films");
    EXPECT_EQ(list.GetCategory(33)->GetName(), "Unknown");
    EXPECT_EQ(list.GetPosition(9), 1);
    EXPECT_EQ(list.GetPosition(5), 2);
    EXPECT_EQ(list.GetPosition(33), -1);

    // A damaged file empties the list: every id is then "Unknown".
    folder.Write("category", CListingsFileBytes().U32(1000000).U32(2).U32(5).Text("Sport").Get());
    EXPECT_FALSE(LoadCategories(folder / "category", list));
    EXPECT_TRUE(list.GetSortedCategories().empty());
    EXPECT_EQ(list.GetCategory(9)->GetName(), "Unknown");
}
