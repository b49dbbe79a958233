// The light XML variant's tolerant parser and its writer.
#include <gtest/gtest.h>

#include <string>

#include "foundation/FileUtils.h"
#include "foundation/LightXML.h"
#include "platform/File.h"
#include "platform/Process.h"

namespace {

using LightXML::CElementPtr;

CElementPtr Parse(const std::string& text)
{
    CLightElement* root = LightXML::ParseText(text.data(), text.size());
    EXPECT_NE(root, nullptr);
    return CElementPtr(root);
}

TEST(LightXML, ReadsLooseMarkup)
{
    CElementPtr root = Parse("<?xml version=\"1.0\"?><a x=1 y=\"2  3\">t &amp; u</a>");
    CLightElement* a = root->FindChild("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(root->GetChildren().size(), 1u);
    EXPECT_STREQ(a->GetAttribute("x"), "1");
    EXPECT_STREQ(a->GetAttribute("y"), "2 3");
    EXPECT_EQ(a->m_strValue, "t & u");
}

TEST(LightXML, DecodesReferencesToUtf8)
{
    const struct {
        const char* text;
        const char* value;
    } cases[] = {
        {"&Eacute;&eacute;", "\xC3\x89\xC3\xA9"},
        {"&nbsp;&yuml;&tab;&quot;&apos;&gt;", "\xC2\xA0\xC3\xBF\t\"'>"},
        {"&#233;&#x20AC;&#128512;", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"&lt;b&gt;not a tag&lt;/b&gt;", "<b>not a tag</b>"},
        {"&unknown; &#; &#xZ; &#1114112; &#55296; & alone", "&unknown; &#; &#xZ; &#1114112; &#55296; & alone"},
        {"a  \t\n b", "a b"},
        {"raw \xE9 bytes", "raw \xE9 bytes"},
    };
    for (const auto& c : cases) {
        CElementPtr root = Parse(std::string("<v>") + c.text + "</v>");
        ASSERT_NE(root->FindChild("v"), nullptr) << c.text;
        EXPECT_EQ(root->FindChild("v")->m_strValue, c.value) << c.text;
    }

    const std::string longReference = "&" + std::string(300, 'a') + ";";
    EXPECT_EQ(Parse("<v>" + longReference + "</v>")->FindChild("v")->m_strValue, longReference);

    CElementPtr root = Parse("<v a=\"&lt;&#233;&amp;amp;\" b='q' c = \"x\" d/>");
    CLightElement* v = root->FindChild("v");
    EXPECT_STREQ(v->GetAttribute("a"), "<\xC3\xA9&amp;");
    EXPECT_STREQ(v->GetAttribute("b"), "q");
    EXPECT_STREQ(v->GetAttribute("c"), "x");
    EXPECT_STREQ(v->GetAttribute("d"), "");
}

TEST(LightXML, SkipsWhatItCannotRead)
{
    CElementPtr root = Parse(
        "<!DOCTYPE x><!-- a > b --><r><![CDATA[<raw>]]><p>1</q></p><p/><b@d/><p\n   k=\"a>b\"/>"
        "</r>trailing");
    CLightElement* r = root->FindChild("r");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_strValue, "<raw>");
    ASSERT_EQ(r->GetChildren().size(), 3u);
    EXPECT_EQ(r->GetChildren()[0]->m_strValue, "1") << "a stray end tag is ignored";
    EXPECT_STREQ(r->GetChildren()[2]->GetAttribute("k"), "a>b");
    EXPECT_EQ(root->m_strValue, "trailing");

    // Unclosed elements simply stay open; a tag may end at the next "<".
    root = Parse("<a><b x=\"1\"<c>text");
    ASSERT_NE(root->FindPath("a|b|c"), nullptr);
    EXPECT_EQ(root->FindPath("a|b|c")->m_strValue, "text");
    EXPECT_STREQ(root->FindPath("a|b")->GetAttribute("x"), "1");
}

TEST(LightXML, LongNamesAndValuesAreCut)
{
    const std::string name(300, 'n');
    const std::string value = std::string(4094, 'v') + "\xC3\xA9tail";
    CElementPtr root = Parse("<" + name + " " + name + "=\"" + value + "\"/>");
    ASSERT_EQ(root->GetChildren().size(), 1u);
    CLightElement* e = root->GetChildren()[0];
    EXPECT_EQ(e->m_strName, std::string(255, 'n'));
    ASSERT_EQ(e->GetAttributes().size(), 1u);
    EXPECT_EQ(e->GetAttributes()[0].m_strName, name);
    EXPECT_EQ(e->GetAttributes()[0].m_strValue, std::string(4094, 'v')) << "cut before the é, not inside it";
}

TEST(LightXML, DeepNestingIsCut)
{
    std::string text = "<r>";
    for (int i = 0; i < 100000; ++i)
        text += "<e>";
    text += "lost";
    for (int i = 0; i < 100000; ++i)
        text += "</e>";
    text += "<after/></r>";
    CElementPtr root = Parse(text);
    CLightElement* r = root->FindChild("r");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetChildren().size(), 2u);
    EXPECT_EQ(r->GetChildren()[1]->m_strName, "after");

    int depth = 1;
    CLightElement* deepest = r;
    while (!deepest->GetChildren().empty() && deepest->GetChildren()[0]->m_strName == "e") {
        deepest = deepest->GetChildren()[0];
        ++depth;
    }
    EXPECT_EQ(depth, kMaxXMLDepth) << "r and the e elements inside it";
    EXPECT_EQ(deepest->m_strValue, "");
}

TEST(LightXML, RoundTripThroughAFile)
{
    const std::string folder = plat::TempFolder();
    const std::string path = folder + "qvl-light-" + std::to_string(plat::GetCurrentProcessId()) + ".xml";
    const std::string text = "Sp\xC3\xA9" "cial\t\xE2\x80\x94 <tags> & \"quotes\"";

    CElementPtr root(new CLightElement());
    CLightElement* item = root->FindOrCreatePath("list|item");
    item->m_strValue = text;
    item->SetAttribute("name", text);
    ASSERT_TRUE(LightXML::SaveFile(root.get(), path, xmlIndented));
    std::string saved;
    ASSERT_TRUE(ReadWholeFile(path, saved));
    EXPECT_NE(saved.find("Sp&#233;cial&#9;&#8212;"), std::string::npos) << saved;

    CElementPtr again(LightXML::ParseFile(path));
    plat::DeleteFile(path);
    ASSERT_NE(again, nullptr);
    CLightElement* read = again->FindPath("list|item");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->m_strValue, text);
    EXPECT_STREQ(read->GetAttribute("NAME"), text.c_str());
    EXPECT_EQ(LightXML::ParseFile(path), nullptr);
}

}  // namespace
