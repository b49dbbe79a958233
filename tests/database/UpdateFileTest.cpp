// Decoding listings update files: every layout the service has sent, and files that lie.
#include <gtest/gtest.h>

#include "UpdateFileBytes.h"
#include "foundation/Exceptions.h"
#include "listings/UpdateFile.h"

namespace {

constexpr uint32_t kEvening = 1954958400;   // 2031-12-13T20:00:00Z

std::vector<TestChannel> Sample()
{
    TestProgramme news{kEvening, 30, "News", 4, "Headlines &amp; weather<br>Then &lt;sport&gt;", {3, 65000}, 777};
    TestProgramme film{kEvening + 1800, 125, "Film", 9, "A film.", {}, 778};
    return {{101, {news, film}}, {202, {}}};
}

// Whether decoding throws the corrupt-file failure.
bool IsCorrupt(const std::vector<uint8_t>& bytes)
{
    try {
        DecodeUpdateFile(bytes);
        return false;
    } catch (CBaseException* e) {
        const bool corrupt = e->m_nCode == 3 && std::string(e->GetText()) == "File is corrupt";
        e->Delete();
        return corrupt;
    }
}

TEST(UpdateFile, DecodesEveryFileAndArchiveVersion)
{
    struct Case {
        uint32_t fileVersion;
        bool packed;
        uint32_t archiveVersion;
    } cases[] = {{8, true, 8}, {8, false, 8}, {2, true, 3}, {2, false, 2}, {0, true, 1}, {8, true, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "file " << c.fileVersion << " packed " << c.packed << " archive "
                                        << c.archiveVersion);
        const ListingsPlan plan = DecodeUpdateFile(UpdateFile(Payload(Sample(), c.archiveVersion), c.fileVersion, c.packed));
        ASSERT_EQ(plan.size(), 2u);
        EXPECT_EQ(plan[0].uChannelID, 101u);
        EXPECT_EQ(plan[1].uChannelID, 202u);
        EXPECT_TRUE(plan[1].programmes.empty());
        ASSERT_EQ(plan[0].programmes.size(), 2u);
        const PlannedProgramme& news = plan[0].programmes[0];
        EXPECT_TRUE(news.bStartValid);
        EXPECT_EQ(news.uStart, kEvening);
        EXPECT_EQ(news.nDuration, 30);
        EXPECT_EQ(news.strTitle, "News");
        EXPECT_EQ(news.nCategoryID, 4);
        EXPECT_EQ(plan[0].programmes[1].uStart, kEvening + 1800);
        EXPECT_EQ(plan[0].programmes[1].nDuration, 125);
        // Keyword lists from archive version 2, programme ids from 3, entities kept from 4.
        EXPECT_EQ(news.keywords, c.archiveVersion > 1 ? std::vector<uint16_t>({3, 65000}) : std::vector<uint16_t>());
        EXPECT_EQ(news.uProgrammeID, c.archiveVersion >= 3 ? 777u : 0u);
        EXPECT_EQ(news.strDescription, c.archiveVersion < 4 ? "Headlines & weather\rThen <sport>"
                                                            : "Headlines &amp; weather<br>Then &lt;sport&gt;");
    }
}

TEST(UpdateFile, AFileWithoutTheHeaderIsAPayload)
{
    const ListingsPlan plan = DecodeUpdateFile(Payload(Sample(), 8));
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].programmes[1].strTitle, "Film");
    EXPECT_TRUE(DecodeUpdateFile(UpdateFile(Payload({}, 8), 8, true)).empty());
}

// One programme whose start is given as the seven raw bytes.
std::vector<uint8_t> WithRawStart(uint8_t day, uint8_t month, uint16_t year, uint8_t hour, uint8_t minute, uint8_t valid)
{
    Bytes b;
    b.U32(1).U32(8).U32(5).U32(1);
    b.U8(day).U8(month).U16(year).U8(hour).U8(minute).U8(valid);
    b.U16(60).U32(0).Str("T").U16(1).Str("").U16(0).U16(0).U32(0).U32(1);
    return b.Get();
}

TEST(UpdateFile, StartTimesAreCheckedFieldByField)
{
    struct Case {
        uint8_t day, month;
        uint16_t year;
        uint8_t hour, minute, valid;
        bool ok;
        uint32_t start;
    } cases[] = {
        {1, 0, 1970, 0, 0, 1, true, 0},
        {29, 1, 2028, 23, 59, 1, true, 1835481540},    // a leap day
        {29, 1, 2027, 12, 0, 1, false, 0},             // not a leap year
        {31, 3, 2030, 12, 0, 1, false, 0},             // 31 April
        {7, 2, 2106, 6, 28, 1, false, 0},              // past the 32-bit range
        {7, 1, 2106, 6, 28, 1, true, 4294967280},      // just inside it
        {1, 12, 2030, 12, 0, 1, false, 0},             // month 12
        {1, 5, 2030, 24, 0, 1, false, 0},
        {1, 5, 2030, 12, 60, 1, false, 0},
        {0, 5, 2030, 12, 0, 1, false, 0},
        {1, 5, 1969, 12, 0, 1, false, 0},
        {1, 5, 2030, 12, 0, 0, false, 0},              // the file left it unset
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.day) << "/" << int(c.month) << "/" << c.year << " " << int(c.hour)
                                        << ":" << int(c.minute));
        const std::vector<uint8_t> payload = WithRawStart(c.day, c.month, c.year, c.hour, c.minute, c.valid);
        const ListingsPlan plan = DecodeUpdatePayload(payload.data(), payload.size());
        ASSERT_EQ(plan.size(), 1u);
        ASSERT_EQ(plan[0].programmes.size(), 1u);
        EXPECT_EQ(plan[0].programmes[0].bStartValid, c.ok);
        if (c.ok) {
            EXPECT_EQ(plan[0].programmes[0].uStart, c.start);
        }
    }
}

TEST(UpdateFile, FilesThatLieAreCorrupt)
{
    const std::vector<uint8_t> good = UpdateFile(Payload(Sample(), 8), 8, true);
    ASSERT_FALSE(IsCorrupt(good));

    std::vector<std::vector<uint8_t>> bad;
    for (uint32_t version : {3u, 5u, 7u, 9u})
        bad.push_back(UpdateFile(Payload(Sample(), 8), version, false));
    bad.push_back({});
    bad.push_back({0, 0, 0});
    bad.push_back(Bytes().U32(0).U32(8).Get());                               // no packed flag
    bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 12));       // cut short
    std::vector<uint8_t> oldKey = UpdateFile(Payload(Sample(), 8), 2, true);  // version 2's key...
    oldKey[4] = 8;                                                             // ...under version 8
    bad.push_back(oldKey);
    bad.push_back(UpdateFile(Payload(Sample(), 9), 8, false));                 // archive version 9
    bad.push_back(UpdateFile(Bytes().U32(0xFFFFFFFF).U32(8).U32(1).Get(), 8, false));    // channels
    bad.push_back(UpdateFile(Bytes().U32(1).U32(8).U32(1).U32(0x10000000).Get(), 8, false));   // programmes
    // A title longer than what is left.
    bad.push_back(UpdateFile(Bytes().U32(1).U32(8).U32(1).U32(1).Time(kEvening).U16(5).U32(0).U32(1000000)
                                 .Append(std::vector<uint8_t>(40, 'x')).Get(), 8, false));
    // 70,000 keywords, all present.
    Bytes many;
    many.U32(1).U32(8).U32(1).U32(1).Time(kEvening).U16(5).U32(0).Str("T").U16(1).Str("").U16(0).U16(0).U32(70000);
    for (int i = 0; i < 70000; ++i)
        many.U16(1);
    bad.push_back(UpdateFile(many.U32(1).Get(), 8, false));
    // A payload that inflates past the cap.
    bad.push_back(UpdateFile(std::vector<uint8_t>(kMaxInflatedUpdateSize + 1, 0), 8, true));

    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(IsCorrupt(bad[i]));
    }
}

TEST(UpdateFile, UpdateIDComesFromTheName)
{
    EXPECT_EQ(UpdateIDFromFileName("/p/12-345.up"), 345u);
    EXPECT_EQ(UpdateIDFromFileName("12.up"), 0u);
    EXPECT_EQ(UpdateIDFromFileName("12-.up"), 0u);
    uint32_t channel = 0, update = 0;
    EXPECT_TRUE(ParseUpdateFileName("/x/7-10.UP", channel, update));
    EXPECT_EQ(channel, 7u);
    EXPECT_EQ(update, 10u);
    EXPECT_FALSE(ParseUpdateFileName("7-10.up.tmp", channel, update));
    EXPECT_FALSE(ParseUpdateFileName("7.up", channel, update));
    EXPECT_FALSE(ParseUpdateFileName("99999999999-1.up", channel, update));
}

}  // namespace
