#pragma once
// A small pull tokenizer for the XML replies of the server. It walks a string_view over the
// input and yields one markup part at a time; it never allocates per character and never reads
// outside the input. Malformed input raises EXmlException.

#include "support/Exceptions.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrova {

KV_DECLARE_EXCEPTION(EXmlException, Exception);

enum TPartType {
    ptNone, // end of input
    ptXmlProlog, // <?xml ... ?>
    ptComment, // <!-- ... -->
    ptPI, // <?target ... ?>
    ptDtdc, // <!DOCTYPE ...> and other <! declarations
    ptStartTag, // <name attr="v">
    ptEmptyTag, // <name attr="v"/>
    ptEndTag, // </name>
    ptContent, // character data between markup, normalised
    ptCData, // <![CDATA[ ... ]]>
};

// The part type's own name, such as "ptCData".
const char *PartTypeName(TPartType type);

// One attribute. The views stay valid until the tokenizer's next call of Next (or, in a parsed
// tree, as long as the tree lives).
struct TNvpNode
{
    std::string_view Name;
    std::string_view Value;
};
using TNvpList = std::vector<TNvpNode>;

// Pulls parts from text that the caller keeps alive for the tokenizer's lifetime.
//   - start and empty-element tags: Name() and Attributes() in document order, values with
//     the references &amp; &lt; &gt; &quot; &apos; &#NN; &#xHH; replaced (code points above 127
//     written as UTF-8);
//   - end tags: Name();
//   - content: Text() with references replaced, leading and trailing white space (blank, tab,
//     CR, LF) removed and every inner run of it replaced by one blank; runs that end up empty
//     are skipped. White space written as a reference is kept as it is;
//   - prolog, PI: Name() is the target, Text() the rest; comment, CDATA, declaration: Text() is
//     the raw inside.
class TXmlTokenizer
{
public:
    explicit TXmlTokenizer(std::string_view text = {});
    // Starts over on new text, keeping the buffers of earlier runs.
    void Restart(std::string_view text);

    // Moves to the next part. Returns false (and PartType() == ptNone) at the end of input.
    bool Next();

    TPartType PartType() const { return FType; }
    std::string_view Name() const { return FName; }
    std::string_view Text() const { return FText; }
    const TNvpList &Attributes() const { return FAttributes; }
    // Offset of the current part in the input, for messages.
    size_t Offset() const { return FPartStart; }

private:
    [[noreturn]] void Fail(const char *reason, size_t at) const;
    void ReadMarkup();
    void ReadContent();
    void ReadTag();
    void ReadEndTag();
    void ReadQuestionMark();
    void ReadBang();
    void ReadDeclaration();
    size_t ReadName(size_t pos);
    size_t SkipSpace(size_t pos) const;
    size_t FindOrFail(std::string_view what, size_t from, const char *reason) const;
    std::string_view DecodeValue(size_t begin, size_t firstAmp, size_t end);
    std::string_view NormaliseContent(size_t begin, size_t end);
    char *Scratch(size_t size);
    size_t AppendReference(size_t pos, size_t end, char *&out);

    std::string_view FInput;
    size_t FPos = 0;
    size_t FPartStart = 0;
    TPartType FType = ptNone;
    std::string_view FName;
    std::string_view FText;
    TNvpList FAttributes;
    // Decoded strings of the current part. When it grows, the attribute values already in it
    // are moved along.
    std::unique_ptr<char[]> FScratch;
    size_t FScratchSize = 0;
    size_t FScratchUsed = 0;
};

} // namespace kestrova
