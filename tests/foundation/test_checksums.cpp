#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/CRC.h"
#include "foundation/NameHash.h"
#include "foundation/Tea.h"

namespace {

// The checksum exactly as the update service defines it, bit by bit.
uint32_t BitwiseCRC(const uint8_t* p, size_t n)
{
    uint32_t r = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            bool f = ((p[i] >> bit) & 1) != ((r >> 31) & 1);
            r <<= 1;
            if (f)
                r ^= 0x04C11DB7;
        }
    return r;
}

}  // namespace

TEST(CRC, KnownValuesAndBitwiseDefinition)
{
    EXPECT_EQ(CalculateCRC("abc", 3), 0xBC7DDB53u);
    EXPECT_EQ(CalculateCRC("", 0), 0xFFFFFFFFu);

    std::mt19937 rng(1);
    std::vector<uint8_t> data(5000);
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(rng());
    for (size_t n : {1, 2, 7, 64, 1000, 5000}) {
        EXPECT_EQ(CalculateCRC(data.data(), n), BitwiseCRC(data.data(), n)) << n;
        // Fed in two pieces it is the same value.
        uint32_t u = ContinueCRC(kCRCStart, data.data(), n / 3);
        EXPECT_EQ(ContinueCRC(u, data.data() + n / 3, n - n / 3), BitwiseCRC(data.data(), n)) << n;
    }
}

TEST(Tea, KnownAnswers)
{
    uint32_t v[2] = {0, 0};
    TeaEncipher(v, TeaKey{0, 0, 0, 0});
    EXPECT_EQ(v[0], 0x41EA3A0Au);
    EXPECT_EQ(v[1], 0x94BAA940u);

    // The published chain over six words taken cyclically: step n enciphers words n, n+1 with
    // words n+2 to n+5 as the key, and word n comes round again as word n+6.
    std::vector<uint32_t> w(72, 0);
    for (int n = 1; n <= 64; ++n) {
        TeaEncipher(&w[n], TeaKey{w[n + 2], w[n + 3], w[n + 4], w[n + 5]});
        if (n == 4) {
            const std::vector<uint32_t> four = {0xb84e28af, 0xb6b62088, 0, 0x41ea3a0a, 0x4e8e7829, 0xc88ba95e};
            EXPECT_EQ(std::vector<uint32_t>(w.begin() + 4, w.begin() + 10), four);
        }
        w[n + 6] = w[n];
    }
    const std::vector<uint32_t> last = {0x2bb0f1b3, 0xc023ed11, 0x5c60bff2, 0x7072d01c, 0x4513c5eb, 0x8f3a38ab};
    EXPECT_EQ(std::vector<uint32_t>(w.begin() + 64, w.begin() + 70), last);
    for (int n = 64; n >= 1; --n)
        TeaDecipher(&w[n], TeaKey{w[n + 2], w[n + 3], w[n + 4], w[n + 5]});
    EXPECT_EQ(std::vector<uint32_t>(w.begin() + 1, w.begin() + 7), std::vector<uint32_t>(6, 0));
}

TEST(Tea, BlocksAndBufferMode)
{
    const TeaKey key = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    // Bytes of a block are two little-endian words.
    uint8_t block[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    uint32_t v[2] = {1, 2};
    TeaEncipherBlock(block, key);
    TeaEncipher(v, key);
    EXPECT_EQ(block[0] | block[1] << 8 | block[2] << 16 | uint32_t(block[3]) << 24, v[0]);
    EXPECT_EQ(block[4] | block[5] << 8 | block[6] << 16 | uint32_t(block[7]) << 24, v[1]);

    std::vector<uint8_t> plain(21);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(i * 37);
    for (size_t n : {0, 5, 8, 12, 16, 21}) {
        std::vector<uint8_t> buf(plain.begin(), plain.begin() + n);
        // The same by hand: whole blocks, then the last 8 bytes once more.
        std::vector<uint8_t> manual = buf;
        if (n >= 8) {
            for (size_t i = 0; i + 8 <= n; i += 8)
                TeaEncipherBlock(&manual[i], key);
            if (n % 8)
                TeaEncipherBlock(&manual[n - 8], key);
        }
        TeaEncipherBuffer(buf.data(), n, key);
        EXPECT_EQ(buf, manual) << n;
        if (n >= 8) {
            EXPECT_NE(buf, std::vector<uint8_t>(plain.begin(), plain.begin() + n)) << n;
        }
        TeaDecipherBuffer(buf.data(), n, key);
        EXPECT_EQ(buf, std::vector<uint8_t>(plain.begin(), plain.begin() + n)) << n;
    }
}

TEST(NameHash, ValuesAndCaseBlindness)
{
    // h = upper(c) ^ (h * 2): "ab" -> 'A' = 65, then 'B' ^ 130 = 66 ^ 130 = 192.
    EXPECT_EQ(NameHash(""), 0u);
    EXPECT_EQ(NameHash("ab"), 192u);
    EXPECT_EQ(NameHash("Ab"), NameHash("aB"));
    EXPECT_EQ(NameBucket("ab"), 192u % 97);
    // Long names wrap around 32 bits; the bucket is taken unsigned.
    const std::string longName(40, '\xE9');
    uint32_t h = 0;
    for (char c : longName)
        h = static_cast<unsigned char>(c) ^ (h * 2);
    EXPECT_EQ(NameHash(longName), h);
    EXPECT_EQ(NameBucket(longName), h % 97);
    EXPECT_TRUE(NamesEqual("Schedule-Folder", "schedule-folder"));
    EXPECT_FALSE(NamesEqual("abc", "abd"));
}
