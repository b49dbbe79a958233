// The shared case fold over UTF-8: checked against the C library's Unicode case tables, plus
// malformed input and the offsets that map folded bytes back to the original text.
#include <clocale>
#include <cwctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/TextFold.h"

using namespace textfold;

namespace {

std::string Utf8(uint32_t codePoint)
{
    std::string text;
    AppendUTF8(codePoint, text);
    return text;
}

}  // namespace

TEST(TextFold, CapitalAndSmallLettersFoldAlikeAsTheCLibraryCasesThem)
{
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    struct Range { uint32_t first, last; };
    for (const Range range : {Range{0x0, 0x17F}, Range{0x386, 0x3CE}, Range{0x400, 0x45F}}) {
        for (uint32_t c = range.first; c <= range.last; ++c) {
            const auto lower = static_cast<uint32_t>(std::towlower(static_cast<wint_t>(c)));
            const auto upper = static_cast<uint32_t>(std::towupper(static_cast<wint_t>(c)));
            EXPECT_EQ(FoldCodePoint(c), FoldCodePoint(lower)) << std::hex << c;
            EXPECT_EQ(FoldCodePoint(c), FoldCodePoint(upper)) << std::hex << c;
            EXPECT_EQ(FoldCodePoint(FoldCodePoint(c)), FoldCodePoint(c)) << std::hex << c;
        }
    }
    // Letters that differ must stay apart.
    EXPECT_NE(FoldCodePoint('a'), FoldCodePoint(0xE0));
    EXPECT_NE(FoldCodePoint(0x141), FoldCodePoint('l'));
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(TextFold, TextsCompareWithoutRegardToCase)
{
    struct Case { const char* a; const char* b; bool equal; };
    const Case cases[] = {
        {"CAFÉ", "café", true},       {"ŁÓDŹ", "łódź", true},      {"ΣΟΦΊΑ", "σοφία", true},
        {"МОСКВА", "москва", true},   {"İstanbul", "ıSTANBUL", true}, {"Straße", "STRASSE", false},
        {"cafe", "café", false},      {"abc", "ab", false},         {"", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EqualFolded(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(TextFold, MalformedBytesBecomeReplacementCharactersOneByteEach)
{
    const std::string replacement = Utf8(kReplacement);
    struct Case { std::string text; std::string folded; };
    const Case cases[] = {
        {"A\xC3", "a" + replacement},                                 // cut short
        {"\xC0\xAF", replacement + replacement},                     // overlong "/"
        {"\xED\xA0\x80", replacement + replacement + replacement},   // surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // past U+10FFFF
        {"\xC3\x28", replacement + "("},                             // bad continuation
        {"\xF0\x9F\x93\xBA", "\xF0\x9F\x93\xBA"},                    // four bytes, kept
    };
    for (const Case& c : cases)
        EXPECT_EQ(FoldText(c.text), c.folded);
}

TEST(TextFold, OffsetsLeadFromFoldedBytesBackToTheirCharacters)
{
    // "İ" (2 bytes) folds to "i" (1 byte); a stray byte (1) to U+FFFD (3 bytes).
    const std::string text = "xİ\xFFÉ";
    std::vector<size_t> offsets;
    const std::string folded = FoldText(text, &offsets);
    EXPECT_EQ(folded, "xi" + Utf8(kReplacement) + "é");
    EXPECT_EQ(offsets, (std::vector<size_t>{0, 1, 3, 3, 3, 4, 4, 6}));
}

TEST(TextFold, WordCharacters)
{
    for (uint32_t c : {uint32_t('a'), uint32_t('Z'), uint32_t('7'), 0xE9u, 0x142u, 0x3C3u, 0x4E2Du, 0xAAu})
        EXPECT_TRUE(IsWordCodePoint(c)) << std::hex << c;
    for (uint32_t c : {uint32_t(' '), uint32_t(','), uint32_t('('), uint32_t('_'), 0xA0u, 0xABu, 0xBBu, 0xD7u,
                       0x2014u, 0x201Cu, 0x3001u})
        EXPECT_FALSE(IsWordCodePoint(c)) << std::hex << c;
}
