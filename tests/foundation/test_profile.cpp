#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "foundation/FileUtils.h"
#include "foundation/ProfileFile.h"
#include "tests/platform/ScratchFolder.h"

namespace {

std::optional<std::string> Lookup(const std::string& text, const char* section, const char* key)
{
    ScratchFolder dir;
    EXPECT_TRUE(WriteTextFile(dir / "p.ini", text));
    CProfileFile profile;
    EXPECT_TRUE(profile.Load(dir / "p.ini"));
    std::string value = "unchanged";
    if (!profile.GetString(section, key, value)) {
        EXPECT_EQ(value, "unchanged");
        return std::nullopt;
    }
    return value;
}

}  // namespace

TEST(ProfileFile, SectionsKeysAndComments)
{
    ScratchFolder dir;
    ASSERT_TRUE(WriteTextFile(dir / "p.ini", "[A]\nx=1\n;comment\ny = two \n"));
    CProfileFile profile;
    ASSERT_TRUE(profile.Load(dir / "p.ini"));
    std::string s;
    EXPECT_TRUE(profile.GetString("A", "y", s));
    EXPECT_EQ(s, "two");
    int n = 0;
    EXPECT_TRUE(profile.GetInt("a", "X", n));
    EXPECT_EQ(n, 1);
    bool b = false;
    EXPECT_TRUE(profile.GetBool("A", "x", b));
    EXPECT_TRUE(b);
    EXPECT_FALSE(profile.GetString("A", ";comment", s));
    EXPECT_FALSE(profile.GetString("B", "x", s));
    EXPECT_FALSE(profile.GetInt("A", "z", n));
    EXPECT_EQ(n, 1);
}

TEST(ProfileFile, ParsingCases)
{
    const std::string longValue(2000, 'v');
    struct Case {
        std::string text;
        const char *section, *key;
        std::optional<std::string> expected;
    } cases[] = {
        {"[S]\r\nk = v\r\n", "s", "K", "v"},
        {"[S]\nk=v", "S", "k", "v"},                          // no final line break
        {"[S]\nk=a;b [c]\n", "S", "k", "a;b [c]"},            // ";" and "[" inside a value
        {"[S]\nk=1\nk=2\n", "S", "k", "2"},                   // a later value wins
        {"[S]\na=1\n[s]\nb=2\n", "S", "a", std::nullopt},     // a repeated section starts afresh
        {"[S]\na=1\n[s]\nb=2\n", "S", "b", "2"},
        {"[S]\n   ; k=5\n", "S", "k", std::nullopt},         // indented comment
        {"k=1\n[S]\n", "S", "k", std::nullopt},               // keys before any section
        {"[S] ; note\nk=1\n", "S", "k", "1"},
        {"[S]\nnot a key\nk=1\n", "S", "k", "1"},             // a line without "="
        {"[ Spaced Name ]\nk=1\n", "spaced name", "k", "1"},
        {"[S]\nlong=" + longValue + "\nk=1\n", "S", "long", std::nullopt},   // over-long token
        {"[S]\nlong=" + longValue + "\nk=1\n", "S", "k", "1"},
        {"[S]\nk=\n", "S", "k", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lookup(c.text, c.section, c.key), c.expected) << c.text.substr(0, 40);
}

TEST(ProfileFile, NumbersAsTheCLibraryReadsThem)
{
    ScratchFolder dir;
    ASSERT_TRUE(WriteTextFile(dir / "n.ini", "[N]\na=12abc\nb=-7\nc=99999999999\nd=x\ne=0\n"));
    CProfileFile profile;
    ASSERT_TRUE(profile.Load(dir / "n.ini"));
    const std::pair<const char*, int> cases[] = {{"a", 12}, {"b", -7}, {"c", INT_MAX}, {"d", 0}, {"e", 0}};
    for (auto [key, expected] : cases) {
        int n = 1234;
        EXPECT_TRUE(profile.GetInt("N", key, n));
        EXPECT_EQ(n, expected) << key;
    }
    bool b = true;
    EXPECT_TRUE(profile.GetBool("N", "e", b));
    EXPECT_FALSE(b);
}

TEST(ProfileFile, LoadAndReload)
{
    ScratchFolder dir;
    CProfileFile profile;
    std::string s;
    ASSERT_TRUE(WriteTextFile(dir / "p.ini", "[S]\nk=1\n"));
    ASSERT_TRUE(profile.Load(dir / "p.ini"));
    ASSERT_TRUE(WriteTextFile(dir / "p.ini", "[S]\nk=2\n"));
    ASSERT_TRUE(profile.Reload());
    EXPECT_TRUE(profile.GetString("S", "k", s));
    EXPECT_EQ(s, "2");
    EXPECT_FALSE(profile.Load(dir / "missing.ini"));
    EXPECT_FALSE(profile.GetString("S", "k", s));   // the earlier content is gone
}
