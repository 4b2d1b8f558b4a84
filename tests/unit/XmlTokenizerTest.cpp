// The pull tokenizer: part types, normalised content, decoded references, malformed input.

#include "xml/XmlTokenizer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

struct Part
{
    TPartType Type;
    std::string Name;
    std::string Text;
};

std::vector<Part> Parts(std::string_view text)
{
    TXmlTokenizer tokens(text);
    std::vector<Part> parts;
    while (tokens.Next())
        parts.push_back(
            { tokens.PartType(), std::string(tokens.Name()), std::string(tokens.Text()) });
    EXPECT_EQ(tokens.PartType(), ptNone);
    return parts;
}

TEST(XmlTokenizer, YieldsEveryPartType)
{
    const auto parts = Parts("<?xml version=\"1.0\"?>\n"
                             "<!DOCTYPE API [<!ELEMENT API ANY> <!ENTITY x \"a>b\">]>\n"
                             "<!-- note -->"
                             "<?render fast?>"
                             "<API A='1'><E/>text<![CDATA[<raw>]]></API>");
    const std::vector<std::pair<TPartType, std::string>> expected { { ptXmlProlog, "xml" },
        { ptDtdc, "" }, { ptComment, "" }, { ptPI, "render" }, { ptStartTag, "API" },
        { ptEmptyTag, "E" }, { ptContent, "" }, { ptCData, "" }, { ptEndTag, "API" } };
    ASSERT_EQ(parts.size(), expected.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].Type, expected[i].first) << i;
        EXPECT_EQ(parts[i].Name, expected[i].second) << i;
    }
    EXPECT_EQ(parts[1].Text, "DOCTYPE API [<!ELEMENT API ANY> <!ENTITY x \"a>b\">]");
    EXPECT_EQ(parts[2].Text, " note ");
    EXPECT_EQ(parts[3].Text, "fast");
    EXPECT_EQ(parts[6].Text, "text");
    EXPECT_EQ(parts[7].Text, "<raw>");
    EXPECT_STREQ(PartTypeName(ptCData), "ptCData");
    EXPECT_STREQ(PartTypeName(ptDtdc), "ptDtdc");
}

TEST(XmlTokenizer, AttributesKeepOrderAndDecodeReferences)
{
    TXmlTokenizer tokens(
        "<A  b = \"1 &amp; 2\"\ta='&lt;&gt;&quot;&apos;' c=\"&#65;&#x42;&#233;&#x20AC;&#x1F600;\""
        " e=\"\" d = 'x\"y' />");
    ASSERT_TRUE(tokens.Next());
    EXPECT_EQ(tokens.PartType(), ptEmptyTag);
    std::vector<std::pair<std::string, std::string>> a;
    for (const TNvpNode &n : tokens.Attributes())
        a.emplace_back(n.Name, n.Value);
    EXPECT_EQ(a,
        (decltype(a) { { "b", "1 & 2" }, { "a", "<>\"'" },
            { "c", "AB\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" }, { "e", "" }, { "d", "x\"y" } }));
    EXPECT_FALSE(tokens.Next());
}

TEST(XmlTokenizer, ContentIsTrimmedCollapsedAndEmptyRunsSkipped)
{
    const auto parts = Parts("<A>\n   one\n\t  two  &amp;\r\n three  </A>  \n <B> \t\n </B>"
                             "<C>&#32;x&#10;</C>");
    ASSERT_EQ(parts.size(), 8u);
    EXPECT_EQ(parts[1].Type, ptContent);
    EXPECT_EQ(parts[1].Text, "one two & three");
    EXPECT_EQ(parts[3].Type, ptStartTag); // the blank run between </A> and <B> is not delivered
    EXPECT_EQ(parts[4].Type, ptEndTag); // nor the one inside B
    // White space written as a reference is content, not layout.
    EXPECT_EQ(parts[6].Text, " x\n");
}

TEST(XmlTokenizer, ManyDecodedValuesInOnePartStayIntact)
{
    std::string tag = "<A";
    for (int i = 0; i < 50; ++i)
        tag += " a" + std::to_string(i) + "=\"&amp;" + std::to_string(i) + "&lt;\"";
    tag += ">";
    TXmlTokenizer tokens(tag);
    ASSERT_TRUE(tokens.Next());
    ASSERT_EQ(tokens.Attributes().size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(tokens.Attributes()[i].Value, "&" + std::to_string(i) + "<");
}

TEST(XmlTokenizer, MalformedInputRaises)
{
    const char *bad[] = { "<", "<A", "<A b>", "<A b=>", "<A b=\"1>", "<A b=\"1\"c=\"2\">",
        "<A b=\"<\">", "<A/", "</A", "</>", "<>", "<!-- open", "<![CDATA[ open", "<?pi open",
        "<!DOCTYPE x [ >", "a &unknown; b", "a &amp b", "&#;", "&#x;", "&#12a;", "&#0;",
        "&#x110000;", "&#xD800;", "&#99999999999;", "<A b='&'/>" };
    for (const char *text : bad) {
        TXmlTokenizer tokens(text);
        EXPECT_THROW(
            {
                while (tokens.Next()) { }
            },
            EXmlException)
            << text;
    }
}

} // namespace
