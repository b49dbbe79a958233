#include "foundation/RegExp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SearchCase {
    const char* pattern;
    const char* text;
    const char* expected;   // the whole match, or nullptr for no match
};

TEST(RegExp, FindsTheLeftmostMatch) {
    const SearchCase cases[] = {
        {"abc", "xxabcabc", "abc"},
        {"a.c", "a\nc", "a\nc"},
        {"^ab", "cab", nullptr},
        {"^ab", "abab", "ab"},
        {"ab$", "abab", "ab"},
        {"ab$", "abc", nullptr},
        {"a*", "bbb", ""},
        {"ba*", "baaa!", "baaa"},
        {"ba+", "b ba", "ba"},
        {"colou?r", "the color red", "color"},
        {"[0-9]+", "abc 2024 x", "2024"},
        {"[^a-z ]+", "abc DEF ghi", "DEF"},
        {"[]x]+", "a]x]b", "]x]"},
        {"[a-]+", "b-a-c", "-a-"},
        {"\\d Star", "Film, 10 Star", "0 Star"},
        {"\\d\\d", "a1b23", "23"},
        {"\\.", "a.b", "."},
        {"\\(x\\)", "f(x)", "(x)"},
        {"cat|dog", "hotdog cat", "dog"},
        {"(a|ab)(c|bcd)", "abcd", "abcd"},
        {"(ab)+c", "xababc", "ababc"},
        {"(ab)*c", "xc", "c"},
        {"x(a|b)*y", "xabbay", "xabbay"},
        {"\\<the\\>", "other then the end", "the"},
        {"\\<a", "banana apple", "a"},
        {"e\\>", "eel apple", "e"},
        {"(^|, )(U|UC|A|12|12A|15|PG|18|R18)($|, )", "Subtitles, UC, 1999", ", UC, "},
        {"(^|, )(U|UC|A|12|12A|15|PG|18|R18)($|, )", "12A", "12A"},
        {"(^|, )[1-2][0-9][0-9][0-9]($|, )", "21999", nullptr},
        {"(^|, )[1-2][0-9][0-9][0-9]($|, )", "Colour, 1999", ", 1999"},
        {"", "abc", ""},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " in " + c.text);
        const CRegExp re(c.pattern);
        CRegExpMatch match;
        const bool found = re.Search(c.text, match);
        ASSERT_EQ(found, c.expected != nullptr);
        if (found) {
            EXPECT_EQ(match.GetText(), c.expected);
        }
    }
}

TEST(RegExp, CapturesGroupsAndStartsWhereAsked) {
    const CRegExp re("Part ([0-9]+)( of ([0-9]+))?");
    CRegExpMatch match;
    ASSERT_TRUE(re.Search("Subtitles, Part 12 of 3", match));
    EXPECT_EQ(match.GetText(1), "12");
    EXPECT_EQ(match.GetText(3), "3");
    EXPECT_EQ(match.GetStart(0), 11u);

    ASSERT_TRUE(re.Search("Part 2", match));
    EXPECT_EQ(match.GetText(1), "2");
    EXPECT_FALSE(match.HasGroup(2));
    EXPECT_EQ(match.GetText(3), "");

    // The last pass through a repeated group is the one kept; "^" holds only at the text start.
    const CRegExp repeated("(a|b)+");
    ASSERT_TRUE(repeated.Search("xxab", match));
    EXPECT_EQ(match.GetText(1), "b");
    EXPECT_TRUE(CRegExp("b").Search("abab", match, 2));
    EXPECT_EQ(match.GetStart(), 3u);
    EXPECT_FALSE(CRegExp("^b").Search("ab", match, 1));
}

TEST(RegExp, MalformedPatternsThrowTheEngineMessage) {
    const struct {
        const char* pattern;
        const char* message;
    } cases[] = {
        {"(ab", "unmatched ()"},
        {"ab)", "unmatched ()"},
        {"ab\\", "trailing \\"},
        {"[z-a]", "invalid [] range"},
        {"[abc", "unmatched []"},
        {"*a", "?+* follows nothing"},
        {"a|*", "?+* follows nothing"},
        {"a**", "nested *?+"},
        {"(a*)*", "*+ operand could be empty"},
        {"(\\<)+", "*+ operand could be empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        try {
            CRegExp re(c.pattern);
            ADD_FAILURE() << "compiled";
        } catch (const CRegExpException& e) {
            EXPECT_LT(e.GetCode(), 0);
            EXPECT_STREQ(e.GetText(), c.message);
        }
    }
    EXPECT_STREQ(CRegExpException(0).GetText(), "no errors detected");
}

TEST(RegExp, RunawayMatchesAreStopped) {
    // Nested repetition over a long non-matching text is exponential without a bound.
    const CRegExp re("(a|aa)+b");
    const std::string text(200, 'a');
    EXPECT_THROW(re.Search(text), CRegExpException);
    // A long text that matches simply stays well inside the bounds.
    const std::string longText = std::string(100000, 'x') + "Part 7";
    CRegExpMatch match;
    ASSERT_TRUE(CRegExp("Part ([0-9]+)").Search(longText, match));
    EXPECT_EQ(match.GetText(1), "7");
}

}  // namespace
