// The message tree: structure, texts, the name index, path look-ups and parse failures.

#include "xml/XmlNodes.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

std::string ParseError(std::string_view text)
{
    try {
        ParseXml(text);
    } catch (const EXmlException &e) {
        return e.what();
    }
    return "no error";
}

TEST(XmlNodes, RepeatedNamesAreReachedOnlyByIndexAndEmptyTextGivesAnEmptyRoot)
{
    const PXmlNode root
        = ParseXml("<?xml version=\"1.0\"?><!-- c --><A><B i=\"1\"/><B i=\"2\"/><C/></A>");
    ASSERT_EQ(root->ChildCount(), 1);
    const PXmlNode a = root->Child(0);
    EXPECT_EQ(a->Name(), "A");
    EXPECT_EQ(a->ChildCount(), 3);
    EXPECT_EQ(a->ChildNamed("B"), nullptr);
    EXPECT_EQ(a->ChildNamed("C"), a->Child(2));
    EXPECT_EQ(a->ChildNamed("c"), nullptr);
    EXPECT_EQ(a->Child(1)->Attribute("i"), "2");
    EXPECT_EQ(a->Child(-1), nullptr);
    EXPECT_EQ(a->Child(3), nullptr);
    EXPECT_EQ(root->ChildNamed("A"), a);

    const PXmlNode empty = ParseXml("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->ChildCount(), 0);
    EXPECT_EQ(empty->Name(), "");
    EXPECT_EQ(empty->Child(0), nullptr);
}

TEST(XmlNodes, LargeNodesIndexOnlyUniqueNames)
{
    // Above the scan limit the look-up goes through the sorted index.
    std::string xml = "<L>";
    for (int i = 0; i < 40; ++i)
        xml += "<ROW n=\"" + std::to_string(i) + "\"/>";
    xml += "<Z/><HEAD/><ROWS/><Y/><Y/></L><M>";
    for (int i = 0; i < 20; ++i)
        xml += "<ROW/>";
    xml += "</M>";
    const PXmlNode root = ParseXml(xml);
    const PXmlNode l = root->Child(0);
    ASSERT_EQ(l->ChildCount(), 45);
    for (const char *absent : { "ROW", "Y", "AAA", "ZZZ" })
        EXPECT_EQ(l->ChildNamed(absent), nullptr) << absent;
    EXPECT_EQ(l->ChildNamed("Z"), l->Child(40));
    EXPECT_EQ(l->ChildNamed("HEAD"), l->Child(41));
    EXPECT_EQ(l->ChildNamed("ROWS"), l->Child(42));
    EXPECT_EQ(l->Child(39)->Attribute("n"), "39");
    EXPECT_EQ(root->Child(1)->ChildNamed("ROW"), nullptr);
    EXPECT_EQ(root->Child(1)->ChildCount(), 20);
}

TEST(XmlNodes, TextJoinsRunsAroundChildren)
{
    const PXmlNode root = ParseXml("<R><A>x<B/>y</A><D>\n   one\n      two\n</D>"
                                   "<E>&lt;<F>inner</F> &amp;</E><G>  </G>"
                                   "<H>a<I>b<J>c</J>d</I>e</H></R>");
    const PXmlNode r = root->Child(0);
    EXPECT_EQ(r->ChildNamed("A")->Text(), "xy");
    EXPECT_EQ(r->ChildNamed("D")->Text(), "one two");
    EXPECT_EQ(r->ChildNamed("E")->Text(), "<&");
    EXPECT_EQ(NodeAtPath(r, { "E", "F" })->Text(), "inner");
    EXPECT_EQ(r->ChildNamed("G")->Text(), "");
    EXPECT_EQ(r->ChildNamed("H")->Text(), "ae");
    EXPECT_EQ(NodeAtPath(r, { "H", "I" })->Text(), "bd");
    EXPECT_EQ(NodeAtPath(r, { "H", "I", "J" })->Text(), "c");
}

TEST(XmlNodes, AttributesKeepOrderAndDecodedValues)
{
    const PXmlNode root = ParseXml("<A z=\"1\" a=\"&quot;q&quot;\" z=\"2\"><B/></A>");
    const PXmlNode a = root->Child(0);
    const auto attributes = a->Attributes();
    ASSERT_EQ(attributes.size(), 3u);
    EXPECT_EQ(attributes[0].Name, "z");
    EXPECT_EQ(attributes[1].Value, "\"q\"");
    EXPECT_EQ(a->Attribute("z"), "1"); // first match wins
    EXPECT_EQ(a->Attribute("Z", "none"), "none");
    EXPECT_TRUE(root->Attributes().empty());
    EXPECT_TRUE(a->Child(0)->Attributes().empty());
}

TEST(XmlNodes, ChildKeepsTheTreeAlive)
{
    PXmlNode status;
    {
        std::string reply = "<API><STATUS SHORT_FORM=\"&amp;ok\">fine</STATUS></API>";
        status = NodeAtPath(ParseXml(reply), { 0, "STATUS" });
        reply.assign(reply.size(), 'x'); // the tree owns its own copy of the text
    }
    ASSERT_TRUE(status);
    EXPECT_EQ(status->Text(), "fine");
    EXPECT_EQ(status->Attribute("SHORT_FORM"), "&ok");
}

TEST(XmlNodes, PathLookups)
{
    const PXmlNode root = ParseXml("<API><STATUS SHORT_FORM=\"ok\"/><L><I v=\"a\"/><I v=\"b\"/></L>"
                                   "<X/></API>");
    EXPECT_EQ(NodeAtPath(root, {}), root);
    EXPECT_EQ(NodeAtPath(root, { 0 })->Name(), "API");
    EXPECT_EQ(AttributeAtPath(root, { 0, "STATUS" }, "", "SHORT_FORM"), "ok");
    EXPECT_EQ(AttributeAtPath(root, { 0, std::string("L"), 1 }, "", "v"), "b");
    EXPECT_EQ(AttributeAtPath(root, { 0, 'X' }, "d", "v"), "d");
    EXPECT_EQ(AttributeAtPath(root, { 0, "L", 5 }, "", "v"), "");
    EXPECT_EQ(AttributeAtPath(root, { 0, "NOPE" }, "dflt", "v"), "dflt");
    EXPECT_EQ(AttributeAtPath(nullptr, { 0 }, "d", "v"), "d");
    EXPECT_EQ(NodeAtPath(root, { size_t(0), -1 }), nullptr);
    // A missing step ends the walk before the bad element is examined.
    EXPECT_EQ(NodeAtPath(root, { 0, "NOPE", 2.5 }), nullptr);
}

TEST(XmlNodes, InvalidPathElementsRaiseWithPositionAndType)
{
    const PXmlNode root = ParseXml("<API><S/></API>");
    const auto message = [&](std::initializer_list<TPathElement> path) -> std::string {
        try {
            NodeAtPath(root, path);
        } catch (const EXmlException &) {
            return "wrong class";
        } catch (const Exception &e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message({ 0, 1.5 }), "Invalid argument type in element 1 of path. (3)");
    EXPECT_EQ(message({ 0, "S", true }), "Invalid argument type in element 2 of path. (2)");
    const int value = 0;
    EXPECT_EQ(message({ &value }), "Invalid argument type in element 0 of path. (4)");
    EXPECT_EQ(message({ nullptr }), "Invalid argument type in element 0 of path. (4)");
    EXPECT_THROW(AttributeAtPath(root, { 2.0f }, "", "A"), Exception);
}

TEST(XmlNodes, MalformedDocumentsRaise)
{
    EXPECT_EQ(ParseError("<A></a>"), "Tags don't match: <A></a>");
    EXPECT_EQ(ParseError("<A><B></A></B>"), "Tags don't match: <B></A>");
    EXPECT_EQ(ParseError("</A>"), "Tags don't match: <></A>");
    EXPECT_EQ(ParseError("<A><B/>"), "Unexpected end of file.");
    EXPECT_EQ(ParseError("<A><![CDATA[x]]></A>"), "Unsupported element type: ptCData");
    EXPECT_EQ(ParseError("<A/><?pi x?>"), "Unsupported element type: ptPI");
    EXPECT_EQ(ParseError("<!DOCTYPE A><A/>"), "Unsupported element type: ptDtdc");
    EXPECT_THROW(ParseXml("<A b=\"1></A>"), EXmlException);
    EXPECT_THROW(ParseXml("<A>&bogus;</A>"), EXmlException);
}

TEST(XmlNodes, DeepNestingDoesNotExhaustTheStack)
{
    std::string xml;
    const int depth = 200000;
    for (int i = 0; i < depth; ++i)
        xml += "<a>";
    EXPECT_EQ(ParseError(xml), "Unexpected end of file.");
    for (int i = 0; i < depth; ++i)
        xml += "</a>";
    const PXmlNode root = ParseXml(xml);
    EXPECT_EQ(root->Child(0)->Child(0)->Name(), "a");
}

TEST(XmlNodes, ACopyHoldsOnlyItsSubtreeAndReadsTheSame)
{
    std::string inner;
    for (int i = 0; i < 20; ++i)
        inner += "<C" + std::to_string(i) + " V=\"" + std::to_string(i) + "\"/>";
    inner += "<R/><R/><R>r</R>";
    std::string big;
    for (int i = 0; i < 5000; ++i)
        big += "<x/>";
    PXmlNode root
        = ParseXml("<API><BIG>" + big + "</BIG><KEEP A=\"a&amp;b\" B=\"\">text &lt;here&gt;<IN>"
            + inner + "</IN> tail</KEEP></API>");
    const std::weak_ptr<const IXmlNode> reply = root;
    const PXmlNode copy = CopyXmlTree(*root->Child(0)->ChildNamed("KEEP"));
    root.reset();
    EXPECT_TRUE(reply.expired()) << "the copy keeps nothing of the reply";
    EXPECT_EQ(XmlTreeElementCount(*copy), 25u);

    EXPECT_EQ(copy->Name(), "KEEP");
    EXPECT_EQ(copy->Text(), "text <here>tail");
    ASSERT_EQ(copy->Attributes().size(), 2u);
    EXPECT_EQ(copy->Attributes()[0].Name, "A");
    EXPECT_EQ(copy->Attributes()[0].Value, "a&b");
    EXPECT_EQ(copy->Attribute("B", "none"), "");
    const PXmlNode in = copy->ChildNamed("IN");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(in->ChildCount(), 23);
    // The name index of a large node: unique names found, repeated ones only by position.
    EXPECT_EQ(in->ChildNamed("C17")->Attribute("V"), "17");
    EXPECT_EQ(in->ChildNamed("R"), nullptr);
    EXPECT_EQ(in->Child(22)->Text(), "r");

    // Deep trees are copied without recursion.
    std::string deep;
    const int depth = 200000;
    for (int i = 0; i < depth; ++i)
        deep += "<a>";
    deep += "leaf";
    for (int i = 0; i < depth; ++i)
        deep += "</a>";
    const PXmlNode deepCopy = CopyXmlTree(*ParseXml(deep)->Child(0));
    EXPECT_EQ(XmlTreeElementCount(*deepCopy), size_t(depth));
    const IXmlNode *node = deepCopy.get();
    for (int i = 1; i < depth; ++i)
        node = node->ChildNode(0);
    EXPECT_EQ(node->Text(), "leaf");
}

TEST(XmlNodes, LargeRepliesKeepEveryStringWhereverItLies)
{
    // Names and values straddling the tree's internal 32 KiB boundaries, decoded values and
    // joined texts larger than them, and thousands of small decoded values.
    const std::string longRaw(70000, 'q');
    std::string xml = "<R big=\"&lt;" + longRaw + "&gt;\">";
    for (int i = 0; i < 5000; ++i)
        xml += "<E" + std::to_string(i % 7) + " v=\"&amp;" + std::to_string(i) + "\" w=\""
            + std::to_string(i) + "\">t&amp;" + std::to_string(i) + "</E" + std::to_string(i % 7)
            + ">";
    xml += "<J>" + longRaw + "<K/>" + longRaw + "</J>end</R>";
    const PXmlNode r = ParseXml(xml)->Child(0);
    EXPECT_EQ(r->Attribute("big"), "<" + longRaw + ">");
    ASSERT_EQ(r->ChildCount(), 5001);
    for (int i = 0; i < 5000; ++i) {
        const IXmlNode &e = *r->ChildNode(i);
        ASSERT_EQ(e.Name(), "E" + std::to_string(i % 7));
        ASSERT_EQ(e.Attribute("v"), "&" + std::to_string(i));
        ASSERT_EQ(e.Attribute("w"), std::to_string(i));
        ASSERT_EQ(e.Text(), "t&" + std::to_string(i));
    }
    EXPECT_EQ(r->ChildNamed("J")->Text(), longRaw + longRaw);
    EXPECT_EQ(r->Text(), "end");
    const auto attributes = r->Child(4999)->Attributes();
    std::vector<std::string> seen;
    for (const TNvpNode &a : attributes)
        seen.push_back(std::string(a.Name) + "=" + std::string(a.Value));
    EXPECT_EQ(seen, (std::vector<std::string> { "v=&4999", "w=4999" }));
}

TEST(XmlNodes, TopLevelElementsAndTextBelongToTheRoot)
{
    const PXmlNode root = ParseXml(" lead <A/> <B/> tail ");
    EXPECT_EQ(root->ChildCount(), 2);
    EXPECT_EQ(root->Text(), "leadtail");
}

} // namespace
