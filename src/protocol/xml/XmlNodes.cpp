#include "xml/XmlNodes.h"

#include <algorithm>
#include <cstring>

namespace kestrova {

namespace {

// Nodes with at most this many children find a name by scanning them; larger ones get a
// sorted index of their unique names when they are finished.
constexpr uint32_t ScanLimit = 8;

// Bump allocator for everything a tree holds: nodes, attribute arrays, child arrays, decoded
// strings. Blocks stay below the C library's large-allocation threshold so that parsing many
// replies reuses heap memory instead of mapping fresh pages. Nothing in it needs destruction.
class TPool
{
public:
    TPool(char *firstBlock, size_t size)
        : FFree(firstBlock)
        , FLeft(size)
    {
    }

    void *Allocate(size_t size, size_t align)
    {
        size_t pad = (align - reinterpret_cast<uintptr_t>(FFree) % align) % align;
        if (size + pad > FLeft) {
            if (size > BlockSize / 4) { // large arrays get a block of their own
                FBlocks.emplace_back(new char[size]);
                return FBlocks.back().get();
            }
            FBlocks.emplace_back(new char[BlockSize]);
            FFree = FBlocks.back().get();
            FLeft = BlockSize;
            pad = 0; // new[] memory is aligned for every type
        }
        char *at = FFree + pad;
        FFree = at + size;
        FLeft -= size + pad;
        return at;
    }

    template<typename T>
    T *AllocateArray(size_t count)
    {
        return static_cast<T *>(Allocate(count * sizeof(T), alignof(T)));
    }

    std::string_view Copy(std::string_view s)
    {
        if (s.empty())
            return {};
        char *at = AllocateArray<char>(s.size());
        std::memcpy(at, s.data(), s.size());
        return { at, s.size() };
    }

private:
    static constexpr size_t BlockSize = 32 * 1024;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    char *FFree;
    size_t FLeft;
};

// Tag and attribute names are short: an inline loop beats a call of memcmp.
inline bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

} // namespace

struct TXmlDocument;

// One element. Its attribute, child and index arrays live in the document's pool.
class TXmlNode final : public IXmlNode
{
public:
    explicit TXmlNode(const TXmlDocument *doc)
        : FDoc(doc)
    {
    }

    std::string_view Text() const override { return FText; }
    std::span<const TNvpNode> Attributes() const override { return { FAttributes, FAttrCount }; }
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
    const TNvpNode *FAttributes = nullptr;
    const TXmlNode *const *FChildren = nullptr;
    const uint32_t *FIndex = nullptr; // child ordinals sorted by name, unique names only
    uint32_t FAttrCount = 0;
    uint32_t FChildCount = 0;
    uint32_t FIndexCount = 0;
};

// Owns everything of one parsed reply; every PXmlNode of the tree shares its ownership. Small
// replies fit in the inline block, so they cost a single allocation.
struct TXmlDocument : std::enable_shared_from_this<TXmlDocument>
{
    explicit TXmlDocument(std::string_view text)
        : Pool(InlineBlock, sizeof InlineBlock)
    {
        char *copy = text.size() <= sizeof InlineBlock / 2
            ? Pool.AllocateArray<char>(text.size())
            : (OwnSource.reset(new char[text.size()]), OwnSource.get());
        if (!text.empty())
            std::memcpy(copy, text.data(), text.size());
        Source = { copy, text.size() };
    }

    bool InSource(std::string_view s) const
    {
        return s.data() >= Source.data() && s.data() + s.size() <= Source.data() + Source.size();
    }

    std::string_view Source; // the reply's text; most views point into it
    std::unique_ptr<char[]> OwnSource;
    TXmlNode *Root = nullptr;
    TPool Pool;
    alignas(std::max_align_t) char InlineBlock[4096];
};

const IXmlNode *TXmlNode::ChildNode(int index) const
{
    if (index < 0 || static_cast<uint32_t>(index) >= FChildCount)
        return nullptr;
    return FChildren[index];
}

const IXmlNode *TXmlNode::ChildNodeNamed(std::string_view name) const
{
    if (FChildCount <= ScanLimit) {
        const IXmlNode *found = nullptr;
        for (uint32_t i = 0; i < FChildCount; ++i) {
            if (SameName(FChildren[i]->FName, name)) {
                if (found)
                    return nullptr; // shared by several children
                found = FChildren[i];
            }
        }
        return found;
    }
    const uint32_t *last = FIndex + FIndexCount;
    const uint32_t *at = std::lower_bound(FIndex, last, name,
        [&](uint32_t ordinal, std::string_view n) { return FChildren[ordinal]->FName < n; });
    if (at == last || FChildren[*at]->FName != name)
        return nullptr;
    return FChildren[*at];
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
        if (SameName(a.Name, name))
            return &a;
    return nullptr;
}

std::string_view IXmlNode::Attribute(std::string_view name, std::string_view def) const
{
    const TNvpNode *a = FindAttribute(name);
    return a ? a->Value : def;
}

// Builds a document from the tokenizer's parts without recursion, so deep nesting cannot
// exhaust the stack. Its working arrays are kept per thread and reused by the next parse.
class TXmlParser
{
public:
    static TXmlParser &ForThisThread()
    {
        thread_local TXmlParser parser;
        return parser;
    }

    void Run(TXmlDocument &doc)
    {
        FDoc = &doc;
        FTokens.Restart(doc.Source);
        FOpen.clear();
        FPending.clear();
        FTextBuffer.clear();
        doc.Root = NewNode(false);
        FOpen.push_back({ doc.Root, 0, 0 });
        while (FTokens.Next()) {
            switch (FTokens.PartType()) {
            case ptXmlProlog:
            case ptComment:
                break;
            case ptStartTag:
                FOpen.push_back(
                    { NewNode(true), static_cast<uint32_t>(FPending.size()), FTextBuffer.size() });
                break;
            case ptEmptyTag:
                NewNode(true);
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
        FDoc = nullptr;
    }

private:
    struct TOpenElement
    {
        TXmlNode *Node;
        uint32_t ChildMark; // its children are FPending[ChildMark..]
        size_t TextMark; // its buffered text is FTextBuffer[TextMark..]
        std::string_view Text = {}; // its only run so far, when that lies in the source
        bool Buffered = false;
    };

    std::string_view Keep(std::string_view s) { return FDoc->InSource(s) ? s : FDoc->Pool.Copy(s); }

    // A node for the current tag (or the root), appended to the open element's children.
    TXmlNode *NewNode(bool fromTag)
    {
        auto *node = new (FDoc->Pool.AllocateArray<TXmlNode>(1)) TXmlNode(FDoc);
        if (!fromTag)
            return node;
        node->FName = Keep(FTokens.Name());
        const TNvpList &attributes = FTokens.Attributes();
        if (!attributes.empty()) {
            auto *copy = FDoc->Pool.AllocateArray<TNvpNode>(attributes.size());
            for (size_t i = 0; i < attributes.size(); ++i)
                copy[i] = { Keep(attributes[i].Name), Keep(attributes[i].Value) };
            node->FAttributes = copy;
            node->FAttrCount = static_cast<uint32_t>(attributes.size());
        }
        FPending.push_back(node);
        return node;
    }

    void AddText(std::string_view run)
    {
        TOpenElement &open = FOpen.back();
        if (!open.Buffered && open.Text.empty() && FDoc->InSource(run)) {
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
        const std::string_view name = FOpen.back().Node->FName;
        if (name != FTokens.Name())
            throw EXmlException("Tags don't match: <" + std::string(name) + "></"
                + std::string(FTokens.Name()) + ">");
        Finish(FOpen.back());
        FOpen.pop_back();
    }

    void Finish(const TOpenElement &open)
    {
        TXmlNode &node = *open.Node;
        if (open.Buffered) {
            node.FText = FDoc->Pool.Copy(std::string_view(FTextBuffer).substr(open.TextMark));
            FTextBuffer.resize(open.TextMark);
        } else {
            node.FText = open.Text;
        }
        const size_t count = FPending.size() - open.ChildMark;
        if (count == 0)
            return;
        auto *children = FDoc->Pool.AllocateArray<const TXmlNode *>(count);
        std::copy(FPending.begin() + open.ChildMark, FPending.end(), children);
        FPending.resize(open.ChildMark);
        node.FChildren = children;
        node.FChildCount = static_cast<uint32_t>(count);
        if (count > ScanLimit)
            BuildNameIndex(node);
    }

    // Sorted ordinals of the children whose name no sibling shares.
    void BuildNameIndex(TXmlNode &node)
    {
        const auto nameOf = [&](uint32_t ordinal) { return node.FChildren[ordinal]->FName; };
        bool allSame = true;
        for (uint32_t i = 1; i < node.FChildCount && allSame; ++i)
            allSame = SameName(nameOf(i), nameOf(0));
        if (allSame)
            return; // the usual list of repeated rows: no unique name at all
        FOrdinals.resize(node.FChildCount);
        for (uint32_t i = 0; i < node.FChildCount; ++i)
            FOrdinals[i] = i;
        std::sort(FOrdinals.begin(), FOrdinals.end(), [&](uint32_t a, uint32_t b) {
            const int c = nameOf(a).compare(nameOf(b));
            return c < 0 || (c == 0 && a < b);
        });
        size_t unique = 0;
        for (size_t i = 0; i < FOrdinals.size();) {
            size_t j = i + 1;
            while (j < FOrdinals.size() && nameOf(FOrdinals[j]) == nameOf(FOrdinals[i]))
                ++j;
            if (j == i + 1)
                FOrdinals[unique++] = FOrdinals[i];
            i = j;
        }
        if (unique == 0)
            return;
        auto *index = FDoc->Pool.AllocateArray<uint32_t>(unique);
        std::copy(FOrdinals.begin(), FOrdinals.begin() + unique, index);
        node.FIndex = index;
        node.FIndexCount = static_cast<uint32_t>(unique);
    }

    TXmlDocument *FDoc = nullptr;
    TXmlTokenizer FTokens;
    std::vector<TOpenElement> FOpen;
    std::vector<TXmlNode *> FPending; // children of the open elements, innermost last
    std::string FTextBuffer; // texts of the open elements that have several runs
    std::vector<uint32_t> FOrdinals;
};

PXmlNode ParseXml(std::string_view text)
{
    auto doc = std::make_shared<TXmlDocument>(text);
    TXmlParser::ForThisThread().Run(*doc);
    return PXmlNode(doc, doc->Root);
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
