// ParseXml and CopyXmlTree: build a document from the tokenizer's parts or from another tree.

#include "xml/XmlDocument.h"

#include <algorithm>
#include <limits>

namespace kestrova {

// Works without recursion, so deep nesting cannot exhaust the stack. Its working arrays are kept
// per thread and reused by the next parse, unless a large reply made them large.
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
        const TReleaseAfterwards release { *this, doc.Source.size() > KeepBuffersUpTo };
        FDoc = &doc;
        FTokens.Restart(doc.Source);
        FOpen.clear();
        FTexts.clear();
        FPending.clear();
        FAttrs.clear();
        FTextBuffer.clear();
        doc.Root = new (doc.Pool.AllocateArray<TXmlNode>(1)) TXmlNode({});
        FOpen.push_back({ 0, 0 });
        while (FTokens.Next()) {
            switch (FTokens.PartType()) {
            case ptXmlProlog:
            case ptComment:
                break;
            case ptStartTag:
                NewNode(FDoc->Keep(FTokens.Name()));
                FOpen.push_back({ Count(FPending), Count(FAttrs) });
                for (const TNvpNode &a : FTokens.Attributes())
                    FAttrs.push_back({ FDoc->Keep(a.Name), FDoc->Keep(a.Value) });
                break;
            case ptEmptyTag:
                NewNode(FDoc->Keep(FTokens.Name()))->FBody = LeafBody();
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
        Finish();
        FDoc = nullptr;
    }

    // Copies top and everything under it into doc, as the only child of its root. Works top
    // down without recursion; repeated sibling names share one copy of the name.
    void Copy(TXmlDocument &doc, const IXmlNode &top)
    {
        FDoc = &doc;
        FAttrs.clear();
        FPending.clear();
        doc.Root = new (doc.Pool.AllocateArray<TXmlNode>(1)) TXmlNode({});
        TXmlNode *first = NewNode(doc.Store(top.Name()));
        doc.Root->FBody = Body({}, 0, 0);
        FPending.clear();
        std::vector<std::pair<const IXmlNode *, TXmlNode *>> work { { &top, first } };
        while (!work.empty()) {
            const auto [source, target] = work.back();
            work.pop_back();
            for (const TNvpNode &a : source->Attributes())
                FAttrs.push_back({ doc.Store(a.Name), doc.Store(a.Value) });
            std::string_view lastName;
            TXmlText lastStored;
            for (int i = 0; i < source->ChildCount(); ++i) {
                const IXmlNode *child = source->ChildNode(i);
                if (i == 0 || child->Name() != lastName) {
                    lastName = child->Name();
                    lastStored = doc.Store(lastName);
                }
                TXmlNode *copy = NewNode(lastStored);
                copy->FBody = &doc.EmptyBody; // its own comes when it is copied
                work.push_back({ child, copy });
            }
            target->FBody = Body(doc.Store(source->Text()), 0, 0);
            FAttrs.clear();
            FPending.clear();
        }
        FDoc = nullptr;
        // As after parsing a large reply, large working arrays are not kept.
        if (FPending.capacity() * sizeof(TXmlNode *) + FOrdinals.capacity() * sizeof(uint32_t)
            > KeepBuffersUpTo)
            *this = TXmlParser();
    }

private:
    // Replies up to this size leave the working arrays for the next parse.
    static constexpr size_t KeepBuffersUpTo = 1 << 20;
    static constexpr uint32_t NotBuffered = std::numeric_limits<uint32_t>::max();

    struct TOpenElement
    {
        uint32_t ChildMark; // its children are FPending[ChildMark..]; it is FPending[ChildMark - 1]
        uint32_t AttrMark; // its attributes are FAttrs[AttrMark..]
    };

    // The text of an open element that has some (most have none, so deep nesting does not
    // pay for it).
    struct TOpenText
    {
        uint32_t Depth; // the element's position in FOpen
        TXmlText Text; // its only run so far, when that lies in the source
        uint32_t TextMark = NotBuffered; // where its runs start in FTextBuffer, once buffered
    };

    struct TReleaseAfterwards
    {
        TXmlParser &Parser;
        bool Release;
        ~TReleaseAfterwards()
        {
            if (Release)
                Parser = TXmlParser();
        }
    };

    template<typename T>
    static uint32_t Count(const std::vector<T> &v)
    {
        return static_cast<uint32_t>(v.size());
    }

    TXmlNode &OpenNode(const TOpenElement &open) const
    {
        return open.ChildMark == 0 ? *FDoc->Root : *FPending[open.ChildMark - 1];
    }

    // A node named name, appended to the open element's children.
    TXmlNode *NewNode(TXmlText name)
    {
        auto *node = new (FDoc->Pool.AllocateArray<TXmlNode>(1)) TXmlNode(name);
        FPending.push_back(node);
        return node;
    }

    TXmlBody *NewBody(TXmlText text, uint32_t attrs, uint32_t children, uint32_t indexed)
    {
        void *at
            = FDoc->Pool.Allocate(TXmlBody::SizeFor(attrs, children, indexed), alignof(TXmlBody));
        return new (at) TXmlBody { FDoc, text, attrs, children };
    }
    static TXmlAttr *AttrsOf(TXmlBody *body) { return const_cast<TXmlAttr *>(body->Attrs()); }

    // The body of an empty-element tag.
    const TXmlBody *LeafBody()
    {
        const TNvpList &attributes = FTokens.Attributes();
        if (attributes.empty())
            return &FDoc->EmptyBody;
        TXmlBody *body = NewBody({}, static_cast<uint32_t>(attributes.size()), 0, 0);
        TXmlAttr *attrs = AttrsOf(body);
        for (size_t i = 0; i < attributes.size(); ++i)
            attrs[i] = { FDoc->Keep(attributes[i].Name), FDoc->Keep(attributes[i].Value) };
        return body;
    }

    void AddText(std::string_view run)
    {
        const uint32_t depth = Count(FOpen) - 1;
        if (FTexts.empty() || FTexts.back().Depth != depth)
            FTexts.push_back({ depth, {} });
        TOpenText &runs = FTexts.back();
        if (runs.TextMark == NotBuffered) {
            if (runs.Text.Size == 0 && FDoc->InSource(run)) {
                runs.Text = FDoc->Keep(run);
                return;
            }
            runs.TextMark = static_cast<uint32_t>(FTextBuffer.size());
            FTextBuffer.append(FDoc->Resolve(runs.Text));
        }
        FTextBuffer.append(run);
    }

    void EndTag()
    {
        const std::string_view name = FDoc->Resolve(OpenNode(FOpen.back()).FName);
        if (name != FTokens.Name())
            throw EXmlException("Tags don't match: <" + std::string(name) + "></"
                + std::string(FTokens.Name()) + ">");
        Finish();
        FOpen.pop_back();
    }

    // Gives the innermost open element its body.
    void Finish()
    {
        const TOpenElement &open = FOpen.back();
        TXmlNode &node = OpenNode(open);
        TXmlText text;
        if (!FTexts.empty() && FTexts.back().Depth == FOpen.size() - 1) {
            const TOpenText &runs = FTexts.back();
            text = runs.Text;
            if (runs.TextMark != NotBuffered) {
                text = FDoc->Store(std::string_view(FTextBuffer).substr(runs.TextMark));
                FTextBuffer.resize(runs.TextMark);
            }
            FTexts.pop_back();
        }
        node.FBody = Body(text, open.ChildMark, open.AttrMark);
        FAttrs.resize(open.AttrMark);
        FPending.resize(open.ChildMark);
    }

    // A body with the given text, the children FPending[childMark..] and the attributes
    // FAttrs[attrMark..]; the document's empty body when there is nothing.
    const TXmlBody *Body(TXmlText text, uint32_t childMark, uint32_t attrMark)
    {
        const uint32_t children = Count(FPending) - childMark;
        const uint32_t attrs = Count(FAttrs) - attrMark;
        if (children == 0 && attrs == 0 && text.Size == 0)
            return &FDoc->EmptyBody;
        const TXmlNode *const *first = FPending.data() + childMark;
        const uint32_t indexed = children > TXmlBody::ScanLimit ? UniqueNames(first, children) : 0;
        TXmlBody *body = NewBody(text, attrs, children, indexed);
        std::copy_n(FAttrs.begin() + attrMark, attrs, AttrsOf(body));
        std::copy_n(first, children, const_cast<const TXmlNode **>(body->Children()));
        if (children > TXmlBody::ScanLimit) {
            auto *index = const_cast<uint32_t *>(body->Index());
            index[0] = indexed;
            std::copy_n(FOrdinals.begin(), indexed, index + 1);
        }
        return body;
    }

    // Leaves in FOrdinals the ordinals of the children whose name no sibling shares, sorted by
    // name, and returns their count.
    uint32_t UniqueNames(const TXmlNode *const *children, uint32_t count)
    {
        const auto nameOf = [&](uint32_t ordinal) { return children[ordinal]->Name(); };
        bool allSame = true;
        for (uint32_t i = 1; i < count && allSame; ++i)
            allSame = nameOf(i) == nameOf(0);
        if (allSame)
            return 0; // the usual list of repeated rows: no unique name at all
        FOrdinals.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            FOrdinals[i] = i;
        std::sort(FOrdinals.begin(), FOrdinals.end(), [&](uint32_t a, uint32_t b) {
            const int c = nameOf(a).compare(nameOf(b));
            return c < 0 || (c == 0 && a < b);
        });
        uint32_t unique = 0;
        for (size_t i = 0; i < FOrdinals.size();) {
            size_t j = i + 1;
            while (j < FOrdinals.size() && nameOf(FOrdinals[j]) == nameOf(FOrdinals[i]))
                ++j;
            if (j == i + 1)
                FOrdinals[unique++] = FOrdinals[i];
            i = j;
        }
        return unique;
    }

    TXmlDocument *FDoc = nullptr;
    TXmlTokenizer FTokens;
    std::vector<TOpenElement> FOpen;
    std::vector<TOpenText> FTexts; // innermost last
    std::vector<TXmlNode *> FPending; // the open elements and their children, innermost last
    std::vector<TXmlAttr> FAttrs; // attributes of the open elements
    std::string FTextBuffer; // texts of the open elements that have several runs
    std::vector<uint32_t> FOrdinals;
};

PXmlNode ParseXml(std::string_view text)
{
    auto doc = std::make_shared<TXmlDocument>(text);
    TXmlParser::ForThisThread().Run(*doc);
    return PXmlNode(doc, doc->Root);
}

PXmlNode CopyXmlTree(const IXmlNode &node)
{
    auto doc = std::make_shared<TXmlDocument>(std::string_view());
    TXmlParser::ForThisThread().Copy(*doc, node);
    return PXmlNode(doc, doc->Root->ChildNode(0));
}

size_t XmlTreeElementCount(const IXmlNode &node)
{
    size_t count = 0;
    std::vector<const IXmlNode *> work { static_cast<const TXmlNode &>(node).Document().Root };
    while (!work.empty()) {
        const IXmlNode *at = work.back();
        work.pop_back();
        count += static_cast<size_t>(at->ChildCount());
        for (int i = 0; i < at->ChildCount(); ++i)
            work.push_back(at->ChildNode(i));
    }
    return count;
}

} // namespace kestrova
