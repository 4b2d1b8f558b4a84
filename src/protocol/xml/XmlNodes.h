#pragma once
// The message tree: an immutable, reference-counted tree of the elements of one server reply,
// and the path look-ups that pick values out of it.
//
// Lifetime: every node of a tree shares one owner, so any PXmlNode of a tree keeps the whole tree
// alive. Views returned by a node (Name, Text, attribute names and values) live as long as the
// tree. Single-threaded use; a finished tree may be read from several threads.
//
// Size: a tree costs a few dozen bytes per element beside its copy of the text (an element
// without attributes or content 32, plus 16 per attribute), so that one reply at the frame
// cap cannot make it large.

#include "xml/XmlTokenizer.h"

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace kestrova {

class IXmlNode;
using PXmlNode = std::shared_ptr<const IXmlNode>;
struct TXmlDocument;
struct TXmlAttr;

// The attributes of one element, in document order: a view that lives as long as the tree. Each
// entry reads as a TNvpNode whose views live as long as the tree.
class TXmlAttributes
{
public:
    class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TNvpNode;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = TNvpNode;

        Iterator() = default;
        TNvpNode operator*() const { return (*FOwner)[FIndex]; }
        Iterator &operator++()
        {
            ++FIndex;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++FIndex;
            return before;
        }
        bool operator==(const Iterator &other) const { return FIndex == other.FIndex; }

    private:
        friend class TXmlAttributes;
        Iterator(const TXmlAttributes *owner, size_t index)
            : FOwner(owner)
            , FIndex(index)
        {
        }
        const TXmlAttributes *FOwner = nullptr;
        size_t FIndex = 0;
    };

    TXmlAttributes() = default;
    TXmlAttributes(const TXmlDocument *doc, const TXmlAttr *items, size_t count)
        : FDoc(doc)
        , FItems(items)
        , FCount(count)
    {
    }
    size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    // Entry index (0 <= index < size()).
    TNvpNode operator[](size_t index) const;
    Iterator begin() const { return { this, 0 }; }
    Iterator end() const { return { this, FCount }; }

private:
    const TXmlDocument *FDoc = nullptr;
    const TXmlAttr *FItems = nullptr;
    size_t FCount = 0;
};

class IXmlNode
{
public:
    virtual ~IXmlNode() = default;

    // Concatenation of the content runs directly inside the element, in document order.
    virtual std::string_view Text() const = 0;
    // The start tag's attributes in document order.
    virtual TXmlAttributes Attributes() const = 0;
    virtual int ChildCount() const = 0;
    // Child element number index (0-based), or null when out of range.
    virtual PXmlNode Child(int index) const = 0;
    // The one child with this tag name (case-sensitive), or null when there is none or several.
    virtual PXmlNode ChildNamed(std::string_view name) const = 0;
    // The tag name; empty for the root that ParseXml returns.
    virtual std::string_view Name() const = 0;

    // As Child and ChildNamed without touching reference counts: the pointer lives as long as
    // the tree.
    virtual const IXmlNode *ChildNode(int index) const = 0;
    virtual const IXmlNode *ChildNodeNamed(std::string_view name) const = 0;

    // The value of the first attribute with this name (case-sensitive), or none. The view lives
    // as long as the tree.
    virtual std::optional<std::string_view> FindAttribute(std::string_view name) const = 0;
    // The value of the first attribute with this name, or def. The view lives as long as the
    // tree (or as def, when def is returned).
    std::string_view Attribute(std::string_view name, std::string_view def = {}) const
    {
        return FindAttribute(name).value_or(def);
    }
};

// Parses a whole reply. The result is a root with an empty name and no attributes whose
// children are the top-level elements. Raises EXmlException on malformed input.
PXmlNode ParseXml(std::string_view text);

// A tree of its own holding a copy of node and everything under it; the result is the copy of
// node, so keeping it keeps only what it holds (not the tree node came from).
PXmlNode CopyXmlTree(const IXmlNode &node);

// The number of elements in the whole tree that node belongs to (its root not counted). node
// must come from ParseXml or CopyXmlTree.
size_t XmlTreeElementCount(const IXmlNode &node);

// Type codes reported by "Invalid argument type in element %d of path. (%d)". Integers and
// strings (a char counts as a one-character string) are valid path elements; the rest exist
// only to be reported.
enum TPathElementType {
    petInteger = 0,
    petString = 1,
    petBoolean = 2,
    petFloat = 3,
    petPointer = 4,
    petOther = 5,
};

// One element of a path: a child index or a child name. Built implicitly from any value so
// that callers write {0, "STATUS"}; values of other types are kept and rejected by the look-up.
class TPathElement
{
public:
    TPathElement(const char *s)
        : FType(s ? petString : petPointer)
        , FString(s ? s : "")
    {
    }
    TPathElement(char *s)
        : TPathElement(static_cast<const char *>(s))
    {
    }
    TPathElement(const std::string &s)
        : FType(petString)
        , FString(s)
    {
    }
    TPathElement(std::string_view s)
        : FType(petString)
        , FString(s)
    {
    }
    TPathElement(char c)
        : FType(petString)
        , FString(1, c)
    {
    }

    template<typename T>
    TPathElement(const T &value)
        : FType(TypeOf<T>())
    {
        // Out-of-range indexes simply find no child.
        if constexpr (IsIndex<T>)
            FIndex = std::in_range<int>(value) ? static_cast<int>(value) : -1;
    }

    TPathElementType Type() const { return FType; }
    int Index() const { return FIndex; }
    const std::string &String() const { return FString; }

private:
    template<typename T, typename... U>
    static constexpr bool IsOneOf = (std::is_same_v<T, U> || ...);
    // Integers other than bool and the wide character types count as child indexes.
    template<typename T>
    static constexpr bool IsIndex
        = std::is_integral_v<T> && !IsOneOf<T, bool, wchar_t, char8_t, char16_t, char32_t>;

    template<typename T>
    static constexpr TPathElementType TypeOf()
    {
        if constexpr (IsIndex<T>)
            return petInteger;
        else if constexpr (std::is_same_v<T, bool>)
            return petBoolean;
        else if constexpr (std::is_floating_point_v<T>)
            return petFloat;
        else if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T> || std::is_array_v<T>)
            return petPointer;
        else
            return petOther;
    }

    TPathElementType FType;
    int FIndex = -1;
    std::string FString;
};

using TXmlPath = std::span<const TPathElement>;

// Walks from start: an integer steps to Child(n), a string to ChildNamed(s). The first null
// step ends the walk with null (the rest of the path is not examined); an empty path returns
// start. An element of another type raises Exception "Invalid argument type in element %d of
// path. (%d)" (position, TPathElementType). A null start yields null.
PXmlNode NodeAtPath(const PXmlNode &start, TXmlPath path);
inline PXmlNode NodeAtPath(const PXmlNode &start, std::initializer_list<TPathElement> path)
{
    return NodeAtPath(start, TXmlPath(path.begin(), path.size()));
}

// The value of attribute attributeName of the node at path, or def when the node or the
// attribute is missing.
std::string AttributeAtPath(
    const PXmlNode &start, TXmlPath path, std::string_view def, std::string_view attributeName);
inline std::string AttributeAtPath(const PXmlNode &start, std::initializer_list<TPathElement> path,
    std::string_view def, std::string_view attributeName)
{
    return AttributeAtPath(start, TXmlPath(path.begin(), path.size()), def, attributeName);
}

} // namespace kestrova
