#include "xml/XmlNodes.h"

#include "xml/XmlDocument.h"

#include <algorithm>

namespace kestrova {

namespace {
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

// --- TXmlDocument ---------------------------------------------------------------------------

TXmlDocument::TXmlDocument(std::string_view text)
    : Pool(InlineBlock, sizeof InlineBlock)
{
    if (text.size() > MaxTextSize)
        throw EXmlException("Reply too large.");
    char *copy = text.size() <= sizeof InlineBlock / 2
        ? Pool.AllocateArray<char>(text.size())
        : (OwnSource.reset(new char[text.size()]), OwnSource.get());
    if (!text.empty())
        std::memcpy(copy, text.data(), text.size());
    Source = { copy, text.size() };
    MapSlots(copy, text.size());
}

void TXmlDocument::MapSlots(const char *at, size_t size)
{
    for (size_t mapped = 0; mapped < size; mapped += SlotSize)
        Slots.push_back(at + mapped);
}

TXmlText TXmlDocument::Store(std::string_view s)
{
    if (s.empty())
        return {};
    if (s.size() > ChunkLeft) {
        // A new chunk starts at the next free slot; it is never shared with another chunk.
        const size_t size = std::max<size_t>(s.size(), NextChunkSize);
        const size_t offset = Slots.size() * size_t(SlotSize);
        if (offset + size > UINT32_MAX)
            throw EXmlException("Reply too large.");
        NextChunkSize = std::min(NextChunkSize * 2, SlotSize);
        Chunk = Pool.AllocateArray<char>(size);
        MapSlots(Chunk, size);
        ChunkOffset = static_cast<uint32_t>(offset);
        ChunkLeft = static_cast<uint32_t>(size);
    }
    std::memcpy(Chunk, s.data(), s.size());
    const TXmlText stored { ChunkOffset, static_cast<uint32_t>(s.size()) };
    Chunk += s.size();
    ChunkOffset += stored.Size;
    ChunkLeft -= stored.Size;
    return stored;
}

// --- TXmlNode -------------------------------------------------------------------------------

std::string_view TXmlNode::Name() const
{
    return FBody->Doc->Resolve(FName);
}

std::string_view TXmlNode::Text() const
{
    return FBody->Doc->Resolve(FBody->Text);
}

TXmlAttributes TXmlNode::Attributes() const
{
    return { FBody->Doc, FBody->Attrs(), FBody->AttrCount };
}

std::optional<std::string_view> TXmlNode::FindAttribute(std::string_view name) const
{
    const TXmlDocument &doc = *FBody->Doc;
    const TXmlAttr *attrs = FBody->Attrs();
    for (uint32_t i = 0; i < FBody->AttrCount; ++i)
        if (attrs[i].Name.Size == name.size() && SameName(doc.Resolve(attrs[i].Name), name))
            return doc.Resolve(attrs[i].Value);
    return std::nullopt;
}

const IXmlNode *TXmlNode::ChildNode(int index) const
{
    if (index < 0 || static_cast<uint32_t>(index) >= FBody->ChildCount)
        return nullptr;
    return FBody->Children()[index];
}

const IXmlNode *TXmlNode::ChildNodeNamed(std::string_view name) const
{
    const TXmlBody &body = *FBody;
    const TXmlDocument &doc = *body.Doc;
    const TXmlNode *const *children = body.Children();
    const auto nameOf = [&](uint32_t ordinal) { return doc.Resolve(children[ordinal]->FName); };
    if (body.ChildCount <= TXmlBody::ScanLimit) {
        const IXmlNode *found = nullptr;
        for (uint32_t i = 0; i < body.ChildCount; ++i) {
            if (SameName(nameOf(i), name)) {
                if (found)
                    return nullptr; // shared by several children
                found = children[i];
            }
        }
        return found;
    }
    const uint32_t *first = body.Index() + 1;
    const uint32_t *last = first + body.Index()[0];
    const uint32_t *at = std::lower_bound(first, last, name,
        [&](uint32_t ordinal, std::string_view n) { return nameOf(ordinal) < n; });
    if (at == last || nameOf(*at) != name)
        return nullptr;
    return children[*at];
}

PXmlNode TXmlNode::Share(const IXmlNode *node) const
{
    if (!node)
        return nullptr;
    return PXmlNode(FBody->Doc->shared_from_this(), node);
}

PXmlNode TXmlNode::Child(int index) const
{
    return Share(ChildNode(index));
}

PXmlNode TXmlNode::ChildNamed(std::string_view name) const
{
    return Share(ChildNodeNamed(name));
}

TNvpNode TXmlAttributes::operator[](size_t index) const
{
    return { FDoc->Resolve(FItems[index].Name), FDoc->Resolve(FItems[index].Value) };
}

// --- path look-ups --------------------------------------------------------------------------

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
