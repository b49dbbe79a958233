// The XML element model, the writers and the KRXML parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/FileUtils.h"
#include "foundation/KRXML.h"
#include "foundation/LightXML.h"
#include "platform/File.h"
#include "platform/Process.h"

namespace {

using KRXML::CElement;
using KRXML::CElementPtr;

CElementPtr Parse(const std::string& text)
{
    CElement* root = nullptr;
    EXPECT_TRUE(KRXML::ParseText(text.c_str(), -1, false, root)) << text;
    return CElementPtr(root);
}

class XMLFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = plat::TempFolder() + "qvl-xml-" + std::to_string(plat::GetCurrentProcessId()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        ASSERT_TRUE(CreateFolderChain(m_folder));
    }
    void TearDown() override
    {
        for (const plat::FileInfo& file : plat::FindFiles(m_folder + "*"))
            plat::DeleteFile(m_folder + file.name);
        plat::RemoveDirectory(m_folder);
    }
    std::string Saved(const CElement* element, XMLStyle style)
    {
        const std::string path = m_folder + "out.xml";
        EXPECT_TRUE(KRXML::SaveFile(element, path, style));
        std::string text;
        EXPECT_TRUE(ReadWholeFile(path, text));
        return text;
    }
    std::string m_folder;
};

TEST(XMLElement, PathsFindCreateAndRemove)
{
    CElementPtr root(new CElement());
    CElement* response = root->AddChild("response");
    CElement* latest = response->AddChild("latest-version");
    response->AddChild("latest-version");   // a later namesake is never found first

    EXPECT_EQ(root->FindPath("response|latest-version"), latest);
    EXPECT_EQ(root->FindPath("response|missing"), nullptr);
    EXPECT_EQ(root->FindPath("missing|latest-version"), nullptr);
    EXPECT_EQ(root->FindPath(""), root.get());
    EXPECT_EQ(root->FindChild("Response"), nullptr) << "element names keep their case";

    const std::string tooLong = "response|" + std::string(1020, 'x');
    EXPECT_EQ(root->FindOrCreatePath(tooLong), nullptr);
    EXPECT_EQ(response->GetChildren().size(), 2u) << "an over-long path creates nothing";

    CElement* created = root->FindOrCreatePath("response|a|b");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->m_strName, "b");
    EXPECT_EQ(root->FindOrCreatePath("response|a|b"), created) << "existing parts are reused";
    EXPECT_EQ(response->GetChildren().size(), 3u);

    EXPECT_TRUE(root->RemovePath("response|a"));
    EXPECT_EQ(root->FindPath("response|a|b"), nullptr);
    EXPECT_FALSE(root->RemovePath("response|a"));
    EXPECT_FALSE(root->RemovePath("")) << "a root has no parent to leave";

    CElementPtr stranger(new CElement("x"));
    EXPECT_FALSE(root->RemoveChild(stranger.get()));
}

TEST(XMLElement, ElementsOutliveTheirParentWhileReferenced)
{
    CElement* root = new CElement();
    CElement* child = root->AddChild("kept");
    child->AddRef();
    KRXML::CElementIterator children(root);
    root->Release();   // the iterator still holds the root
    EXPECT_EQ(children.Next(), child);
    EXPECT_EQ(children.Next(), nullptr);
    EXPECT_EQ(child->m_strName, "kept");
    child->Release();
}

TEST(XMLElement, AttributesIgnoreCaseAndKeepOneEntry)
{
    CElementPtr e(new CElement("e"));
    e->SetAttribute("id", "1");
    e->SetAttribute("ID", "2");
    ASSERT_EQ(e->GetAttributes().size(), 1u);
    EXPECT_EQ(e->GetAttributes()[0].m_strName, "id");
    EXPECT_STREQ(e->GetAttribute("Id"), "2");
    EXPECT_EQ(e->GetAttribute("i"), nullptr);

    e->SetAttributeInt("n", static_cast<uint32_t>(-1));
    EXPECT_STREQ(e->GetAttribute("n"), "4294967295");
    int32_t n = 0;
    ASSERT_TRUE(e->GetAttributeInt("N", n));
    EXPECT_EQ(n, -1);

    e->SetAttributeBool("flag", true);
    EXPECT_STREQ(e->GetAttribute("flag"), "1");
    bool flag = false;
    EXPECT_TRUE(e->GetAttributeBool("flag", flag));
    EXPECT_TRUE(flag);
    flag = true;
    EXPECT_FALSE(e->GetAttributeBool("absent", flag));
    uint32_t untouched = 7;
    EXPECT_FALSE(e->GetAttributeInt("absent", untouched));
    EXPECT_EQ(untouched, 7u);
}

TEST(XMLElement, NumbersReadAsUnsigned32Bit)
{
    const struct {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"42", 42},           {"  17xyz", 17},        {"+5", 5},
        {"-5", 4294967291u},  {"4294967295", 4294967295u}, {"4294967296", 4294967295u},
        {"99999999999999999999999", 4294967295u},     {"abc", 0},   {"", 0},
    };
    CElementPtr e(new CElement("e"));
    for (const auto& c : cases) {
        e->SetAttribute("v", c.text);
        uint32_t value = 1;
        ASSERT_TRUE(e->GetAttributeInt("v", value));
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        bool b = false;
        e->GetAttributeBool("v", b);
        EXPECT_EQ(b, c.value != 0) << '"' << c.text << '"';
    }
}

TEST(XMLElement, AttributesIterateInTableOrder)
{
    // "A" and "B" fall in buckets 65 and 66; "id" and "at" share bucket 20, newest first.
    CElementPtr e(new CElement("e"));
    for (const char* name : {"B", "id", "A", "at"})
        e->SetAttribute(name, "v");
    std::vector<std::string> order;
    KRXML::CAttributeIterator attributes(e.get());
    while (const CXMLAttribute* a = attributes.Next())
        order.push_back(a->m_strName);
    EXPECT_EQ(order, (std::vector<std::string>{"at", "id", "A", "B"}));
}

TEST(XMLEscape, BothVariantsEscapePerCharacter)
{
    const struct {
        std::string text, full, light;
    } cases[] = {
        {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&apos;", "a&lt;b&gt;&amp;&quot;&apos;"},
        {"Az09[] -()+,./\\:=?;!*#@$_%", "Az09[] -()+,./\\:=?;!*#@$_%", "Az09[] -()+,./\\:=?;!*#@$_%"},
        {"{|}~^`\x7f", "&#123;&#124;&#125;&#126;&#94;&#96;&#127;",
         "&#123;&#124;&#125;&#126;&#94;&#96;&#127;"},
        {"a\tb\r\nc\x01", "abc", "a&#9;b&#13;&#10;c&#1;"},
        {"caf\xC3\xA9", "caf&#233;", "caf&#233;"},                      // é from its UTF-8 bytes
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", "&#8364; &#128512;", "&#8364; &#128512;"},
        {"\xE9t\xE9", "&#233;t&#233;", "&#233;t&#233;"},                  // stray Latin-1 bytes
        {"\xE2\x82", "&#226;&#130;", "&#226;&#130;"},                    // cut-off sequence
        {"\xC0\xAF \xED\xA0\x80", "&#192;&#175; &#237;&#160;&#128;",      // overlong, surrogate
         "&#192;&#175; &#237;&#160;&#128;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KRXML::EscapeText(c.text), c.full) << c.text;
        EXPECT_EQ(LightXML::EscapeText(c.text), c.light) << c.text;
    }
}

TEST_F(XMLFiles, ThreeStylesWriteExactly)
{
    CElementPtr root(new CElement());
    CElement* top = root->AddChild("top");
    top->SetAttribute("B", "2");
    top->SetAttribute("A", " 1 ");
    CElement* item = top->AddChild("item");
    item->m_strValue = "\n  x<y  \n";
    item->SetAttribute("k", "v");
    top->AddChild("empty");
    CElement* leaf = top->AddChild("leaf");
    leaf->SetAttribute("A", "a");
    leaf->SetAttribute("B", "b");

    EXPECT_EQ(Saved(root.get(), xmlCompact),
              "<top A=\"1\" B=\"2\"><item k=\"v\">x&lt;y</item><empty /><leaf A=\"a\" B=\"b\" /></top>");
    EXPECT_EQ(Saved(root.get(), xmlIndented),
              "<top A=\"1\" B=\"2\">\r\n"
              "\t<item k=\"v\">x&lt;y</item>\r\n"
              "\t<empty />\r\n"
              "\t<leaf A=\"a\" B=\"b\" />\r\n"
              "</top>\r\n");
    EXPECT_EQ(Saved(root.get(), xmlAttributeLines),
              "<top\tA=\"1\"\t\r\n\t\tB=\"2\">\r\n"
              "\t<item\tk=\"v\">x&lt;y</item>\r\n"
              "\t<empty />\r\n"
              "\t<leaf\tA=\"a\"\t\r\n\t\tB=\"b\" />\r\n"
              "</top>\r\n");
    EXPECT_EQ(Saved(top, xmlCompact), "<item k=\"v\">x&lt;y</item><empty /><leaf A=\"a\" B=\"b\" />")
        << "saving an element writes its children";
    EXPECT_FALSE(KRXML::SaveFile(root.get(), m_folder + "no/such/folder.xml", xmlCompact));
}

TEST_F(XMLFiles, NonAsciiTextSurvivesEveryStyle)
{
    const std::string text = "Caf\xC3\xA9 & \xC2\xAB" "dr\xC3\xA9kkar\xC2\xBB \xE2\x82\xAC" "5 <ok> \xF0\x9F\x93\xBA";
    CElementPtr root(new CElement());
    CElement* show = root->FindOrCreatePath("listing|show");
    show->m_strValue = text;
    show->SetAttribute("title", text);
    for (XMLStyle style : {xmlCompact, xmlIndented, xmlAttributeLines}) {
        const std::string saved = Saved(root.get(), style);
        EXPECT_EQ(saved.find('\xC3'), std::string::npos) << "written as references: " << saved;
        CElementPtr again = Parse(saved);
        CElement* read = again->FindPath("listing|show");
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->m_strValue, text);
        EXPECT_STREQ(read->GetAttribute("TITLE"), text.c_str());

        CElement* parsed = nullptr;
        ASSERT_TRUE(KRXML::ParseFile(m_folder + "out.xml", true, parsed));
        CElementPtr fromFile(parsed);
        EXPECT_EQ(fromFile->FindPath("listing|show")->m_strValue, text);
    }
}

TEST(KRXMLParse, BuildsTheTreeAsDelivered)
{
    CElementPtr root = Parse(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- c --><response a=\"1\" A2='&lt;\xE9'>"
        "<v>text &amp; more</v><v/>tail</response>");
    ASSERT_EQ(root->GetChildren().size(), 1u);
    EXPECT_EQ(root->m_strName, "");
    CElement* response = root->FindChild("response");
    ASSERT_NE(response, nullptr);
    EXPECT_STREQ(response->GetAttribute("a2"), "<\xC3\xA9") << "Latin-1 input arrives as UTF-8";
    EXPECT_EQ(response->m_strValue, "tail");
    ASSERT_EQ(response->GetChildren().size(), 2u);
    EXPECT_EQ(response->GetChildren()[0]->m_strValue, "text & more");
    EXPECT_EQ(response->GetChildren()[0]->GetParent(), response);
}

TEST(KRXMLParse, MalformedInputNamesLineAndColumn)
{
    CElement* root = reinterpret_cast<CElement*>(1);
    EXPECT_FALSE(KRXML::ParseText("<a></b>", -1, false, root));
    EXPECT_EQ(root, nullptr);

    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"<a></b>", "XML Parse error at line 1, column 5: mismatched tag"},
        {"<a>\n <b>\n  <c x=1/>", "XML Parse error at line 3, column 7: not well-formed (invalid token)"},
        {"", "XML Parse error at line 1, column 0: no element found"},
    };
    for (const auto& c : cases) {
        try {
            KRXML::ParseText(c.text.data(), static_cast<ptrdiff_t>(c.text.size()), true, root);
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (KRXML::CException* e) {
            EXPECT_EQ(e->m_nCode, 3);
            EXPECT_EQ(std::string(e->GetText()), c.message);
            e->Delete();
        }
        EXPECT_EQ(root, nullptr);
    }
}

TEST(KRXMLParse, NestingIsLimited)
{
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<e>";
        for (int i = 0; i < depth; ++i)
            text += "</e>";
        return text;
    };
    CElement* root = nullptr;
    ASSERT_TRUE(KRXML::ParseText(nested(kMaxXMLDepth).c_str(), -1, false, root));
    CElementPtr kept(root);
    std::string out;
    EXPECT_TRUE(kept->WriteChildren(out, xmlCompact, false));
    std::string expected;
    for (int i = 1; i < kMaxXMLDepth; ++i)
        expected += "<e>";
    expected += "<e />";
    for (int i = 1; i < kMaxXMLDepth; ++i)
        expected += "</e>";
    EXPECT_EQ(out, expected);

    const std::string deep = nested(100000);
    try {
        KRXML::ParseText(deep.c_str(), -1, true, root);
        ADD_FAILURE() << "deep nesting parsed";
    } catch (KRXML::CException* e) {
        EXPECT_NE(std::string(e->GetText()).find("nested too deeply"), std::string::npos) << e->GetText();
        e->Delete();
    }
}

}  // namespace
