#pragma once
// How a parsed reply is stored (private to the message tree). One TXmlDocument owns everything:
// a copy of the text, the strings that decoding changed, and the nodes. Strings are 32-bit
// references into the document's text space, and everything of an element beyond its name lives
// in one block (its body) sized exactly when the element ends, so an element costs a few dozen
// bytes at most.

#include "xml/XmlNodes.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrova {

// A string of the document: Size bytes at Offset of its text space.
struct TXmlText
{
    uint32_t Offset = 0;
    uint32_t Size = 0;
};

struct TXmlAttr
{
    TXmlText Name;
    TXmlText Value;
};

// Bump allocator for the nodes and bodies of one document. Blocks stay below the C library's
// large-allocation threshold so that parsing many replies reuses heap memory instead of mapping
// fresh pages; large arrays get a block of their own. Nothing in it needs destruction.
class TXmlPool
{
public:
    TXmlPool(char *firstBlock, size_t size)
        : FFree(firstBlock)
        , FLeft(size)
    {
    }

    void *Allocate(size_t size, size_t align)
    {
        size_t pad = (align - reinterpret_cast<uintptr_t>(FFree) % align) % align;
        if (size + pad > FLeft) {
            if (size > BlockSize / 4) {
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

private:
    static constexpr size_t BlockSize = 32 * 1024;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    char *FFree;
    size_t FLeft;
};

class TXmlNode;

// Everything of an element beyond its name. The arrays follow the header in this order:
// TXmlAttr[AttrCount], const TXmlNode *[ChildCount], and, for more than ScanLimit children,
// uint32_t IndexCount and uint32_t[IndexCount]: the ordinals of the children whose name no
// sibling shares, sorted by name.
struct TXmlBody
{
    // Nodes with at most this many children find a name by scanning them.
    static constexpr uint32_t ScanLimit = 8;

    const TXmlDocument *Doc;
    TXmlText Text;
    uint32_t AttrCount;
    uint32_t ChildCount;

    static size_t SizeFor(uint32_t attrs, uint32_t children, uint32_t indexed)
    {
        return sizeof(TXmlBody) + attrs * sizeof(TXmlAttr) + children * sizeof(TXmlNode *)
            + (children > ScanLimit ? (1 + indexed) * sizeof(uint32_t) : 0);
    }
    const TXmlAttr *Attrs() const { return reinterpret_cast<const TXmlAttr *>(this + 1); }
    const TXmlNode *const *Children() const
    {
        return reinterpret_cast<const TXmlNode *const *>(Attrs() + AttrCount);
    }
    // The name index (only with more than ScanLimit children): its size, then its ordinals.
    const uint32_t *Index() const
    {
        return reinterpret_cast<const uint32_t *>(Children() + ChildCount);
    }
};
static_assert(sizeof(TXmlBody) == 24 && sizeof(TXmlAttr) == 16);

// One element: its name and its body (a leaf without attributes or text shares the document's
// empty body).
class TXmlNode final : public IXmlNode
{
public:
    explicit TXmlNode(TXmlText name)
        : FName(name)
    {
    }

    std::string_view Text() const override;
    TXmlAttributes Attributes() const override;
    int ChildCount() const override { return static_cast<int>(FBody->ChildCount); }
    PXmlNode Child(int index) const override;
    PXmlNode ChildNamed(std::string_view name) const override;
    std::string_view Name() const override;
    const IXmlNode *ChildNode(int index) const override;
    const IXmlNode *ChildNodeNamed(std::string_view name) const override;
    std::optional<std::string_view> FindAttribute(std::string_view name) const override;
    const TXmlDocument &Document() const { return *FBody->Doc; }

private:
    friend class TXmlParser;
    PXmlNode Share(const IXmlNode *node) const;

    const TXmlBody *FBody = nullptr;
    TXmlText FName;
};
static_assert(sizeof(TXmlNode) == 24);

// Owns everything of one parsed reply; every PXmlNode of the tree shares its ownership. The text
// space is cut into slots of SlotSize bytes, each mapped to memory: the copy of the reply first,
// then chunks for the strings that decoding changed. A string never crosses from one chunk into
// another, so an offset finds its bytes through its slot. Small replies fit in the inline block,
// so they cost a single allocation beside the slot table.
struct TXmlDocument : std::enable_shared_from_this<TXmlDocument>
{
    static constexpr uint32_t SlotBits = 15;
    static constexpr uint32_t SlotSize = 1u << SlotBits;
    // Text spaces stay well inside 32-bit offsets.
    static constexpr size_t MaxTextSize = size_t(1) << 30;

    explicit TXmlDocument(std::string_view text);

    std::string_view Resolve(TXmlText t) const
    {
        if (t.Size == 0)
            return {};
        return { Slots[t.Offset >> SlotBits] + (t.Offset & (SlotSize - 1)), t.Size };
    }
    bool InSource(std::string_view s) const
    {
        return s.data() >= Source.data() && s.data() + s.size() <= Source.data() + Source.size();
    }
    // The reference of a string of the source, or of a copy of any other string.
    TXmlText Keep(std::string_view s)
    {
        if (InSource(s))
            return { static_cast<uint32_t>(s.data() - Source.data()),
                static_cast<uint32_t>(s.size()) };
        return Store(s);
    }
    TXmlText Store(std::string_view s);

    std::string_view Source; // the reply's text: offsets below its size point into it
    std::vector<const char *> Slots;
    std::unique_ptr<char[]> OwnSource;
    char *Chunk = nullptr; // where the next stored string goes
    uint32_t ChunkOffset = 0;
    uint32_t ChunkLeft = 0;
    uint32_t NextChunkSize = 256;
    TXmlNode *Root = nullptr;
    TXmlBody EmptyBody { this, {}, 0, 0 };
    TXmlPool Pool;
    alignas(std::max_align_t) char InlineBlock[4096];

private:
    void MapSlots(const char *at, size_t size);
};

} // namespace kestrova
