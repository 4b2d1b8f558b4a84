// Fuzz target: the tokenizer and ParseXml on arbitrary text. Malformed input may only raise
// EXmlException; a parsed tree is walked completely.

#include "FuzzTarget.h"
#include "xml/XmlNodes.h"

using namespace kestrova;

namespace {

size_t Walk(const IXmlNode &node, int depth)
{
    size_t seen = node.Text().size() + node.Name().size();
    for (const TNvpNode &a : node.Attributes())
        seen += a.Name.size() + a.Value.size() + node.Attribute(a.Name).size();
    if (depth > 64)
        return seen; // deep enough; the parser itself is not recursive
    for (int i = 0; i < node.ChildCount(); ++i) {
        const PXmlNode child = node.Child(i);
        seen += Walk(*child, depth + 1);
        seen += node.ChildNamed(child->Name()) ? 1 : 0;
    }
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text = FuzzText(data, size);
    try {
        TXmlTokenizer tokens(text);
        while (tokens.Next())
            for (const TNvpNode &a : tokens.Attributes())
                (void)a.Value.size();
    } catch (const EXmlException &) {
    }
    try {
        const PXmlNode root = ParseXml(text);
        volatile size_t seen = Walk(*root, 0);
        (void)seen;
        (void)NodeAtPath(root, { 0, "DATA", 0, 1 });
        (void)AttributeAtPath(root, { 0, "STATUS" }, "", "SHORT_FORM");
    } catch (const EXmlException &) {
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "",
        "<API><DATA><WINDOW ID=\"0000ABCD\"><ALERT SYMBOL=\"AAPL\" TYPE=\"NHP\" TIME=\"1765200000\""
        " DESCRIPTION=\"New high &amp; &#233;\" QUALITY=\"1.25\"/><ALERT "
        "SYMBOL='X'/></WINDOW></DATA>"
        "<RESTART LAST_ID=\"17\"/></API>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- reply -->\n<API>\n  <STATUS "
        "SHORT_FORM=\"ok\">\n    logged   in\n  </STATUS>\n</API>\n",
        "<A>x<B/>y&lt;&#x20AC;<C a='1' b=\"2\">t</C></A>",
        "<!DOCTYPE A [<!ENTITY e \"v\">]><A/>",
        "<A><![CDATA[raw <data>]]><?pi x?></A>",
        "<L><I/><I/><J/><K/><M/><N/><O/><P/><Q/><R/><J/></L>",
    };
}
