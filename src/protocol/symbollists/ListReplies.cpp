#include "symbollists/ListReplies.h"

#include "xml/XmlNodes.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unordered_set>

namespace kestrova {

namespace {
// The element `name` below the reply's first top-level element, or null. Raises
// EListRequestRefused when the reply carries the server's refusal.
PXmlNode ListElement(const std::string &body, const char *name)
{
    const PXmlNode root = ParseXml(body);
    const std::string refusal = AttributeAtPath(root, { 0, "STATUS" }, "", "KV-ErrorMsg");
    if (!refusal.empty())
        throw EListRequestRefused(refusal);
    return NodeAtPath(root, { 0, name });
}
} // namespace

void CheckListReply(const std::string &body)
{
    ListElement(body, "STATUS");
}

std::vector<std::string> ParseSymbolsReply(const std::string &body)
{
    std::vector<std::string> names;
    if (const PXmlNode symbols = ListElement(body, "SYMBOLS"))
        for (int i = 0; i < symbols->ChildCount(); ++i)
            names.emplace_back(symbols->Child(i)->Attribute("NAME", ""));
    return names;
}

TLists ParseListsReply(const std::string &body)
{
    TLists lists;
    const PXmlNode element = ListElement(body, "LISTS");
    if (!element)
        return lists;
    std::unordered_set<int32_t> seen;
    for (int i = 0; i < element->ChildCount(); ++i) {
        const IXmlNode &list = *element->ChildNode(i);
        const int32_t listId
            = ParseDecimalInt32(std::string(list.FindAttribute("ID").value_or("")));
        // Lists have positive ids (0 would also read as the host array's end); the first of
        // several entries with one id wins.
        if (listId > 0 && seen.insert(listId).second)
            lists.push_back({ listId, std::string(list.Attribute("NAME", "")) });
    }
    return lists;
}

int32_t ParseDecimalInt32(const std::string &text)
{
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX
        || std::isspace(static_cast<unsigned char>(text[0])))
        throw EInvalidListReply("Invalid list id \"" + text + "\"");
    return static_cast<int32_t>(value);
}

} // namespace kestrova
