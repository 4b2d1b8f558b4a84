#include "xml/XmlNodes.h"

#include <algorithm>
#include <cstring>

namespace kestrova {

namespace {

// Nodes with at most this many children find a name by scanning them; larger ones get a
// sorted index of their unique names when they are finished.
constexpr uint32_t ScanLimit = 8;

// Copies of decoded strings, in blocks that never move.
class TStringArena
{
public:
    explicit TStringArena(size_t firstBlock)
        : FNextBlock(std::max<size_t>(firstBlock, 256))
    {
    }

    std::string_view Copy(std::string_view s)
    {
        if (s.empty())
            return {};
        if (s.size() > FLeft) {
            const size_t size = std::max(s.size(), FNextBlock);
            FBlocks.emplace_back(new char[size]);
            FFree = FBlocks.back().get();
            FLeft = size;
            FNextBlock *= 2;
        }
        char *at = FFree;
        std::memcpy(at, s.data(), s.size());
        FFree += s.size();
        FLeft -= s.size();
        return { at, s.size() };
    }

private:
    std::vector<std::unique_ptr<char[]>> FBlocks;
    char *FFree = nullptr;
    size_t FLeft = 0;
    size_t FNextBlock;
};

} // namespace

struct TXmlDocument;

// One element. Its attributes, children and name index are ranges of the document's arrays.
class TXmlNode final : public IXmlNode
{
public:
    explicit TXmlNode(const TXmlDocument *doc)
        : FDoc(doc)
    {
    }

    std::string_view Text() const override { return FText; }
    std::span<const TNvpNode> Attributes() const override;
    int ChildCount() const override { return static_cast<int>(FChildCount); }
    PXmlNode Child(int index) const override;
    PXmlNode ChildNamed(std::string_view name) const override;
    std::string_view Name() const override { return FName; }
    const IXmlNode *ChildNode(int index) const override;
    const IXmlNode *ChildNodeNamed(std::string_view name) const override;

private:
    friend class TXmlParser;
    PXmlNode Share(const IXmlNode *node) const;

    const TXmlDocument *FDoc;
    std::string_view FName;
    std::string_view FText;
    uint32_t FAttrFirst = 0;
    uint32_t FAttrCount = 0;
    uint32_t FChildFirst = 0;
    uint32_t FChildCount = 0;
    uint32_t FIndexFirst = 0;
    uint32_t FIndexCount = 0;
};

// Owns everything of one parsed reply; every PXmlNode of the tree shares its ownership.
struct TXmlDocument : std::enable_shared_from_this<TXmlDocument>
{
    explicit TXmlDocument(std::string_view text)
        : Source(new char[text.size() + 1])
        , SourceSize(text.size())
        , Arena(text.size() / 8)
    {
        std::memcpy(Source.get(), text.data(), text.size());
    }

    std::string_view SourceText() const { return { Source.get(), SourceSize }; }
    bool InSource(std::string_view s) const
    {
        return s.data() >= Source.get() && s.data() + s.size() <= Source.get() + SourceSize;
    }

    std::unique_ptr<char[]> Source; // the reply's text; most views point into it
    size_t SourceSize;
    TStringArena Arena; // decoded values and texts made of several runs
    std::vector<TXmlNode> Nodes; // Nodes[0] is the root
    std::vector<TNvpNode> Attributes;
    std::vector<uint32_t> Children; // node numbers
    std::vector<uint32_t> NameIndex; // child ordinals sorted by name, unique names only
};

std::span<const TNvpNode> TXmlNode::Attributes() const
{
    return { FDoc->Attributes.data() + FAttrFirst, FAttrCount };
}

const IXmlNode *TXmlNode::ChildNode(int index) const
{
    if (index < 0 || static_cast<uint32_t>(index) >= FChildCount)
        return nullptr;
    return &FDoc->Nodes[FDoc->Children[FChildFirst + index]];
}

const IXmlNode *TXmlNode::ChildNodeNamed(std::string_view name) const
{
    if (FChildCount <= ScanLimit) {
        const IXmlNode *found = nullptr;
        for (uint32_t i = 0; i < FChildCount; ++i) {
            const TXmlNode &child = FDoc->Nodes[FDoc->Children[FChildFirst + i]];
            if (child.FName == name) {
                if (found)
                    return nullptr; // shared by several children
                found = &child;
            }
        }
        return found;
    }
    const uint32_t *first = FDoc->NameIndex.data() + FIndexFirst;
    const uint32_t *last = first + FIndexCount;
    const auto nameOf = [this](uint32_t ordinal) {
        return FDoc->Nodes[FDoc->Children[FChildFirst + ordinal]].FName;
    };
    const uint32_t *at = std::lower_bound(first, last, name,
        [&](uint32_t ordinal, std::string_view n) { return nameOf(ordinal) < n; });
    if (at == last || nameOf(*at) != name)
        return nullptr;
    return ChildNode(static_cast<int>(*at));
}

PXmlNode TXmlNode::Share(const IXmlNode *node) const
{
    if (!node)
        return nullptr;
    return PXmlNode(FDoc->shared_from_this(), node);
}

PXmlNode TXmlNode::Child(int index) const
{
    return Share(ChildNode(index));
}

PXmlNode TXmlNode::ChildNamed(std::string_view name) const
{
    return Share(ChildNodeNamed(name));
}

const TNvpNode *IXmlNode::FindAttribute(std::string_view name) const
{
    for (const TNvpNode &a : Attributes())
        if (a.Name == name)
            return &a;
    return nullptr;
}

std::string_view IXmlNode::Attribute(std::string_view name, std::string_view def) const
{
    const TNvpNode *a = FindAttribute(name);
    return a ? a->Value : def;
}

// Builds a document from the tokenizer's parts without recursion, so deep nesting cannot
// exhaust the stack.
class TXmlParser
{
public:
    explicit TXmlParser(TXmlDocument &doc)
        : FDoc(doc)
        , FTokens(doc.SourceText())
    {
    }

    void Run()
    {
        FDoc.Nodes.reserve(FDoc.SourceSize / 64 + 2);
        FDoc.Nodes.emplace_back(&FDoc);
        FOpen.push_back({ 0, 0, 0 });
        while (FTokens.Next()) {
            switch (FTokens.PartType()) {
            case ptXmlProlog:
            case ptComment:
                break;
            case ptStartTag: {
                const uint32_t node = NewNode();
                FOpen.push_back(
                    { node, static_cast<uint32_t>(FPending.size()), FTextBuffer.size() });
                break;
            }
            case ptEmptyTag:
                NewNode();
                break;
            case ptEndTag:
                EndTag();
                break;
            case ptContent:
                AddText(FTokens.Text());
                break;
            default:
                throw EXmlException(
                    std::string("Unsupported element type: ") + PartTypeName(FTokens.PartType()));
            }
        }
        if (FOpen.size() > 1)
            throw EXmlException("Unexpected end of file.");
        Finish(FOpen.back());
    }

private:
    struct TOpenElement
    {
        uint32_t Node;
        uint32_t ChildMark; // its children are FPending[ChildMark..]
        size_t TextMark; // its buffered text is FTextBuffer[TextMark..]
        std::string_view Text = {}; // its only run so far, when that lies in the source
        bool Buffered = false;
    };

    std::string_view Keep(std::string_view s) { return FDoc.InSource(s) ? s : FDoc.Arena.Copy(s); }

    uint32_t NewNode()
    {
        const auto number = static_cast<uint32_t>(FDoc.Nodes.size());
        TXmlNode &node = FDoc.Nodes.emplace_back(&FDoc);
        node.FName = Keep(FTokens.Name());
        const TNvpList &attributes = FTokens.Attributes();
        node.FAttrFirst = static_cast<uint32_t>(FDoc.Attributes.size());
        node.FAttrCount = static_cast<uint32_t>(attributes.size());
        for (const TNvpNode &a : attributes)
            FDoc.Attributes.push_back({ Keep(a.Name), Keep(a.Value) });
        FPending.push_back(number);
        return number;
    }

    void AddText(std::string_view run)
    {
        TOpenElement &open = FOpen.back();
        if (!open.Buffered && open.Text.empty() && FDoc.InSource(run)) {
            open.Text = run;
            return;
        }
        if (!open.Buffered) {
            FTextBuffer.append(open.Text);
            open.Buffered = true;
        }
        FTextBuffer.append(run);
    }

    void EndTag()
    {
        const std::string_view name = FDoc.Nodes[FOpen.back().Node].FName;
        if (name != FTokens.Name())
            throw EXmlException("Tags don't match: <" + std::string(name) + "></"
                + std::string(FTokens.Name()) + ">");
        Finish(FOpen.back());
        FOpen.pop_back();
    }

    void Finish(const TOpenElement &open)
    {
        TXmlNode &node = FDoc.Nodes[open.Node];
        if (open.Buffered) {
            node.FText = FDoc.Arena.Copy(std::string_view(FTextBuffer).substr(open.TextMark));
            FTextBuffer.resize(open.TextMark);
        } else {
            node.FText = open.Text;
        }
        node.FChildFirst = static_cast<uint32_t>(FDoc.Children.size());
        node.FChildCount = static_cast<uint32_t>(FPending.size() - open.ChildMark);
        FDoc.Children.insert(
            FDoc.Children.end(), FPending.begin() + open.ChildMark, FPending.end());
        FPending.resize(open.ChildMark);
        if (node.FChildCount > ScanLimit)
            BuildNameIndex(node);
    }

    // Sorted ordinals of the children whose name no sibling shares.
    void BuildNameIndex(TXmlNode &node)
    {
        const auto nameOf = [&](uint32_t ordinal) {
            return FDoc.Nodes[FDoc.Children[node.FChildFirst + ordinal]].FName;
        };
        bool allSame = true;
        for (uint32_t i = 1; i < node.FChildCount && allSame; ++i)
            allSame = nameOf(i) == nameOf(0);
        if (allSame)
            return; // the usual list of repeated rows: no unique name at all
        FOrdinals.resize(node.FChildCount);
        for (uint32_t i = 0; i < node.FChildCount; ++i)
            FOrdinals[i] = i;
        std::sort(FOrdinals.begin(), FOrdinals.end(), [&](uint32_t a, uint32_t b) {
            const int c = nameOf(a).compare(nameOf(b));
            return c < 0 || (c == 0 && a < b);
        });
        node.FIndexFirst = static_cast<uint32_t>(FDoc.NameIndex.size());
        for (size_t i = 0; i < FOrdinals.size();) {
            size_t j = i + 1;
            while (j < FOrdinals.size() && nameOf(FOrdinals[j]) == nameOf(FOrdinals[i]))
                ++j;
            if (j == i + 1)
                FDoc.NameIndex.push_back(FOrdinals[i]);
            i = j;
        }
        node.FIndexCount = static_cast<uint32_t>(FDoc.NameIndex.size()) - node.FIndexFirst;
    }

    TXmlDocument &FDoc;
    TXmlTokenizer FTokens;
    std::vector<TOpenElement> FOpen;
    std::vector<uint32_t> FPending; // children of the open elements, innermost last
    std::string FTextBuffer; // texts of the open elements that have several runs
    std::vector<uint32_t> FOrdinals;
};

PXmlNode ParseXml(std::string_view text)
{
    auto doc = std::make_shared<TXmlDocument>(text);
    TXmlParser(*doc).Run();
    return PXmlNode(doc, &doc->Nodes[0]);
}

PXmlNode NodeAtPath(const PXmlNode &start, TXmlPath path)
{
    const IXmlNode *node = start.get();
    for (size_t i = 0; i < path.size() && node; ++i) {
        const TPathElement &e = path[i];
        if (e.Type() == petInteger)
            node = node->ChildNode(e.Index());
        else if (e.Type() == petString)
            node = node->ChildNodeNamed(e.String());
        else
            throw Exception("Invalid argument type in element " + std::to_string(i) + " of path. ("
                + std::to_string(static_cast<int>(e.Type())) + ")");
    }
    if (!node)
        return nullptr;
    // Every node of a tree shares the tree's owner, so the start's ownership covers the result.
    return node == start.get() ? start : PXmlNode(start, node);
}

std::string AttributeAtPath(
    const PXmlNode &start, TXmlPath path, std::string_view def, std::string_view attributeName)
{
    const PXmlNode node = NodeAtPath(start, path);
    return std::string(node ? node->Attribute(attributeName, def) : def);
}

} // namespace kestrova
