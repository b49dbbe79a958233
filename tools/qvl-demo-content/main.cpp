// qvl-demo-content OUT: writes a content folder for qvl-listings-server with a region of demo
// channels, their logos, the category and keyword lists and seven days of listings from today
// (one update file per channel and day), so that a fresh installation has something to show.
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/DeploymentKeys.h"
#include "foundation/FileUtils.h"
#include "foundation/Tea.h"
#include "platform/Clock.h"

namespace {

constexpr uint32_t kDays = 7;
constexpr uint32_t kFirstChannel = 101;
constexpr uint32_t kRegionID = 1;

// Little-endian numbers and counted texts, as the service's binary files hold them.
class Bytes {
public:
    Bytes& U8(uint8_t v) { m_b.push_back(v); return *this; }
    Bytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Bytes& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Bytes& Str(const std::string& s)
    {
        U32(uint32_t(s.size()));
        m_b.insert(m_b.end(), s.begin(), s.end());
        return *this;
    }
    // An update file's time: day, month 0-11, year, hour, minute (UTC), valid flag.
    Bytes& Time(uint32_t t)
    {
        const time_t tt = time_t(t);
        std::tm tm{};
        gmtime_r(&tt, &tm);
        return U8(uint8_t(tm.tm_mday)).U8(uint8_t(tm.tm_mon)).U16(uint16_t(tm.tm_year + 1900))
            .U8(uint8_t(tm.tm_hour)).U8(uint8_t(tm.tm_min)).U8(1);
    }
    Bytes& Append(const std::vector<uint8_t>& more)
    {
        m_b.insert(m_b.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<uint8_t>& Get() { return m_b; }

private:
    std::vector<uint8_t> m_b;
};

struct Channel {
    uint32_t id;
    std::string name, shortName, category;
    uint8_t r, g, b;
};

struct Show {
    const char* title;
    uint16_t category;
    uint16_t minutes;
    const char* blurb;
    std::vector<uint16_t> keywords;
};

const char* const kCategories[] = {"Film", "News", "Sport", "Drama", "Comedy", "Documentary", "Children",
                                   "Music", "Entertainment", "Soap", "Lifestyle", "Quiz"};
const char* const kKeywords[] = {"football", "cricket", "cookery", "gardening", "wildlife", "history",
                                 "science", "travel", "crime", "comedy", "music", "weather", "politics",
                                 "space", "cars", "quiz", "family", "animals", "art", "film"};
const char* const kPeople[] = {"Ada Brennan", "Tom Okafor", "Mia Lindqvist", "Raj Patel", "Nora Quinn",
                               "Sam Adeyemi", "Lena Fischer", "Owen Price", "Ivy Moreau", "Karl Novak"};

const std::vector<Show>& Shows()
{
    static const std::vector<Show> shows = {
        {"Morning Headlines", 2, 60, "The day's news, weather and travel.", {11, 12}},
        {"The Garden Hour", 11, 60, "Planting for spring and a visit to a walled garden.", {3}},
        {"Kitchen Heroes", 11, 30, "Three cooks, one basket and thirty minutes.", {2, 16}},
        {"Harbour Lane", 10, 30, "Tensions rise at the café as a secret comes out.", {16}},
        {"Wild Coasts", 6, 60, "Seals, puffins and the tides of the northern isles.", {4, 17}},
        {"Match Day Live", 3, 120, "Live coverage of the league's top game.", {0}},
        {"The Long Case", 4, 60, "A detective reopens a cold case in a quiet town.", {8}},
        {"Laugh Track", 5, 30, "Sketches and stand-up from new comedians.", {9}},
        {"Question Time Out", 12, 30, "Quick-fire general knowledge for four teams.", {15}},
        {"Stars Over Us", 6, 60, "How the first stars lit up the universe.", {6, 13}},
        {"Evening News", 2, 30, "National and international news.", {12}},
        {"Night at the Pictures", 1, 120, "A heist goes wrong in a rain-soaked city.", {19, 8}},
        {"Fun Factory", 7, 30, "Cartoons, games and a science experiment.", {16, 6}},
        {"Live Lounge Sessions", 8, 60, "Bands play live in the studio.", {10}},
        {"Road Trip", 11, 60, "Two friends drive from coast to coast.", {7, 14}},
        {"Saturday Spectacular", 9, 90, "Songs, games and surprises.", {16, 10}},
        {"Old Stones", 6, 60, "The history hidden in a country churchyard.", {5, 18}},
        {"Cricket Highlights", 3, 60, "The best of the day's play.", {1}},
    };
    return shows;
}

// A small deterministic generator, so that one date gives the same listings.
uint32_t Mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ (x >> 16);
}

// The schedule description: episode line, text, people and qualifiers.
std::string Description(const Show& show, uint32_t seed)
{
    std::string text;
    if (show.category == 4 || show.category == 10 || show.category == 5)
        text += "Episode " + std::to_string(seed % 12 + 1) + ". Series " + std::to_string(seed % 5 + 1) +
                ", episode " + std::to_string(seed % 12 + 1) + ".\r\n";
    text += show.blurb;
    const size_t count = sizeof kPeople / sizeof *kPeople;
    if (show.category == 1 || show.category == 4 || show.category == 5) {
        text += std::string(" Director: ") + kPeople[seed % count] + "\r";
        text += std::string("Starring: ") + kPeople[(seed + 3) % count] + ", " + kPeople[(seed + 5) % count] + "\r";
    }
    std::string qualifiers = "Subtitles";
    if (show.category == 1)
        qualifiers += ", " + std::to_string(1970 + seed % 50) + ", " + std::to_string(seed % 5 + 1) + " Star, " +
                      (seed % 2 ? "15" : "PG");
    return text + "(" + qualifiers + ")";
}

std::vector<uint8_t> UpdateFile(const Channel& channel, uint32_t dayStart, uint32_t day)
{
    Bytes payload;
    payload.U32(1).U32(8).U32(channel.id);
    Bytes programmes;
    uint32_t count = 0;
    for (uint32_t t = dayStart; t < dayStart + 86400; ++count) {
        const uint32_t seed = Mix(channel.id * 7919u + day * 104729u + count);
        const Show& show = Shows()[seed % Shows().size()];
        const uint16_t minutes = uint16_t(std::min<uint32_t>(show.minutes, (dayStart + 86400 - t) / 60));
        programmes.Time(t).U16(minutes).U32(0).Str(show.title).U16(show.category);
        programmes.Str(Description(show, seed)).U16(0).U16(0);
        programmes.U32(uint32_t(show.keywords.size()));
        for (uint16_t k : show.keywords)
            programmes.U16(k);
        programmes.U32(channel.id * 100000u + day * 1000u + count);
        t += uint32_t(minutes) * 60;
    }
    payload.U32(count).Append(programmes.Get());

    std::vector<uint8_t>& data = payload.Get();
    uLongf size = compressBound(uLong(data.size()));
    std::vector<uint8_t> body(size);
    compress2(body.data(), &size, data.data(), uLong(data.size()), 9);
    body.resize(size);
    TeaEncipherBuffer(body.data(), body.size(), kUpdateFileKey);
    Bytes file;
    file.U32(0).U32(8).U8(1).Append(body);
    return file.Get();
}

// A logo: the channel's colour with a light band.
bool WriteLogo(const std::string& path, const Channel& channel)
{
    constexpr int kWidth = 48, kHeight = 32;
    FILE* out = std::fopen(path.c_str(), "wbe");
    if (!out)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && !setjmp(png_jmpbuf(png));
    if (ok) {
        png_init_io(png, out);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<uint8_t> row(kWidth * 3);
        for (int y = 0; y < kHeight; ++y) {
            const bool band = y >= kHeight / 2 - 3 && y < kHeight / 2 + 3;
            for (int x = 0; x < kWidth; ++x) {
                row[size_t(x) * 3] = band ? 240 : channel.r;
                row[size_t(x) * 3 + 1] = band ? 240 : channel.g;
                row[size_t(x) * 3 + 2] = band ? 240 : channel.b;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0 && ok;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (!CreateFolderChain(path.substr(0, path.rfind('/'))) ||
        !WriteTextFile(path, std::string(bytes.begin(), bytes.end()))) {
        std::fprintf(stderr, "qvl-demo-content: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvl-demo-content OUT\n");
        return 2;
    }
    std::string out = argv[1];
    if (out.back() != '/')
        out += '/';
    const std::string files = out + "files/";

    const char* const names[] = {"Quilvo One", "Quilvo Two", "Channel North", "Channel South", "Harbour TV",
                                 "Metro", "Film Four Ever", "Newsline 24", "Sports Arena", "Kids Zone",
                                 "Music Box", "Discovery Lane", "Comedy Central Plus", "Drama House",
                                 "Lifestyle", "Quiz Channel", "History Hour", "Nature World", "Late Show",
                                 "Community TV"};
    std::vector<Channel> channels;
    for (uint32_t i = 0; i < 20; ++i) {
        const uint32_t c = Mix(i + 1);
        channels.push_back({kFirstChannel + i, names[i], std::string(names[i]).substr(0, 8),
                            kCategories[i % 12], uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }

    Bytes channelFile;
    channelFile.U32(uint32_t(channels.size())).U32(5);   // a version without embedded logos
    std::string region = "<?xml version=\"1.0\"?>\n<regions>\n  <region id=\"" + std::to_string(kRegionID) +
                         "\" name=\"Demo Region\">\n    <channels>\n";
    std::string extra = "  <include>\n    <channels>\n";
    bool ok = true;
    for (size_t i = 0; i < channels.size(); ++i) {
        const Channel& ch = channels[i];
        channelFile.U32(ch.id).Str(ch.name).Str("<i><short-name>" + ch.shortName + "</short-name><category>" +
                                               ch.category + "</category></i>");
        const std::string line = "      <channel id=\"" + std::to_string(ch.id) + "\" name=\"" + ch.name + "\"/>\n";
        (i < 16 ? region : extra) += line;
        ok = CreateFolderChain(files + "channel-images-folder") &&
             WriteLogo(files + "channel-images-folder/" + std::to_string(ch.id) + ".ch", ch) && ok;
    }
    region += "    </channels>\n  </region>\n" + extra + "    </channels>\n  </include>\n</regions>\n";
    ok = Write(files + "channels-folder/channels", channelFile.Get()) && ok;
    ok = Write(files + "default-theme-folder/region.dat", std::vector<uint8_t>(region.begin(), region.end())) && ok;

    Bytes categories;
    categories.U32(uint32_t(std::size(kCategories))).U32(1);
    for (uint32_t i = 0; i < std::size(kCategories); ++i)
        categories.U32(i + 1).Str(kCategories[i]).U32(0).U32(0);
    ok = Write(files + "app-folder/category", categories.Get()) && ok;
    Bytes keywords;
    keywords.U32(uint32_t(std::size(kKeywords)));
    for (const char* word : kKeywords)
        keywords.Str(word);
    ok = Write(files + "app-folder/keywords", keywords.Get()) && ok;

    const uint32_t today = uint32_t(plat::NowUnix() / 86400 * 86400);
    for (const Channel& ch : channels)
        for (uint32_t day = 0; day < kDays; ++day)
            ok = Write(out + "updates/" + std::to_string(ch.id) + "-" + std::to_string(day + 1) + ".up",
                       UpdateFile(ch, today + day * 86400, day)) && ok;
    if (!ok)
        return 1;
    std::printf("demo content for region %u, %zu channels, %u days from today in %s\n", kRegionID,
                channels.size(), kDays, out.c_str());
    return 0;
}
