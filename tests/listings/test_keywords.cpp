// The keyword list: words by index, and a reload that fails keeps the words it had.
#include <gtest/gtest.h>

#include "listings/KeywordList.h"
#include "tests/listings/ListingsFileBytes.h"
#include "tests/theme/TestFolder.h"

TEST(Keywords, WordsByIndexAndFailedReloadsKeepTheList)
{
    CTestFolder folder;
    folder.Write("keywords", CListingsFileBytes().U32(3).Text("comedy").Text("").Text("news").Get());
    CKeywordList keywords;
    ASSERT_TRUE(keywords.Load(folder / "keywords"));
    EXPECT_EQ(keywords.GetCount(), 3u);
    EXPECT_EQ(keywords.GetKeyword(0), "comedy");
    EXPECT_EQ(keywords.GetKeyword(2), "news");
    EXPECT_EQ(keywords.GetKeyword(3), "");
    EXPECT_EQ(keywords.GetKeyword(65535), "");

    for (const std::string& strBad : {CListingsFileBytes().U32(0x40000000).Text("a").Get(),
                                      CListingsFileBytes().U32(2).Text("a").U32(9).Get()}) {
        folder.Write("keywords", strBad);
        EXPECT_FALSE(keywords.Load(folder / "keywords"));
        EXPECT_EQ(keywords.GetKeyword(2), "news");
    }
    EXPECT_FALSE(keywords.Load(folder / "missing"));
    EXPECT_EQ(keywords.GetCount(), 3u);

    folder.Write("keywords", CListingsFileBytes().U32(1).Text("drama").Get());
    ASSERT_TRUE(keywords.Load(folder / "keywords"));
    EXPECT_EQ(keywords.GetKeyword(0), "drama");
    EXPECT_EQ(keywords.GetKeyword(2), "");
}
