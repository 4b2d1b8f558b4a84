#include "xml/XmlTokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace kestrova {

namespace {

constexpr uint8_t ccSpace = 1; // blank, tab, CR, LF
constexpr uint8_t ccNameEnd = 2; // ends a tag or attribute name
constexpr uint8_t ccValueStop = 4; // needs a look inside an attribute value

constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> classes {};
    for (unsigned char c : std::string_view(" \t\r\n"))
        classes[c] = ccSpace | ccNameEnd;
    for (unsigned char c : std::string_view("/>=<\"'&?"))
        classes[c] = ccNameEnd;
    for (unsigned char c : std::string_view("<\"'&"))
        classes[c] |= ccValueStop;
    return classes;
}
constexpr std::array<uint8_t, 256> Classes = MakeClasses();

inline bool IsSpace(char c)
{
    return Classes[static_cast<unsigned char>(c)] & ccSpace;
}
inline bool IsNameEnd(char c)
{
    return Classes[static_cast<unsigned char>(c)] & ccNameEnd;
}

// Writes a code point as UTF-8 (one byte up to 127).
void AppendUtf8(uint32_t cp, char *&out)
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | cp >> 6);
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | cp >> 12);
        *out++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | cp >> 18);
        *out++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    return true;
}

} // namespace

const char *PartTypeName(TPartType type)
{
    switch (type) {
    case ptNone:
        return "ptNone";
    case ptXmlProlog:
        return "ptXmlProlog";
    case ptComment:
        return "ptComment";
    case ptPI:
        return "ptPI";
    case ptDtdc:
        return "ptDtdc";
    case ptStartTag:
        return "ptStartTag";
    case ptEmptyTag:
        return "ptEmptyTag";
    case ptEndTag:
        return "ptEndTag";
    case ptContent:
        return "ptContent";
    case ptCData:
        return "ptCData";
    }
    return "ptNone";
}

TXmlTokenizer::TXmlTokenizer(std::string_view text)
    : FInput(text)
{
}

void TXmlTokenizer::Restart(std::string_view text)
{
    FInput = text;
    FPos = 0;
    FPartStart = 0;
    FType = ptNone;
    FName = {};
    FText = {};
    FAttributes.clear();
    FScratchUsed = 0;
}

void TXmlTokenizer::Fail(const char *reason, size_t at) const
{
    throw EXmlException("Malformed XML at offset " + std::to_string(at) + ": " + reason + ".");
}

bool TXmlTokenizer::Next()
{
    FName = {};
    FText = {};
    FAttributes.clear();
    FScratchUsed = 0;
    while (FPos < FInput.size()) {
        FPartStart = FPos;
        if (FInput[FPos] == '<') {
            ReadMarkup();
            return true;
        }
        ReadContent();
        if (!FText.empty())
            return true;
    }
    FPartStart = FPos;
    FType = ptNone;
    return false;
}

size_t TXmlTokenizer::SkipSpace(size_t pos) const
{
    while (pos < FInput.size() && IsSpace(FInput[pos]))
        ++pos;
    return pos;
}

size_t TXmlTokenizer::ReadName(size_t pos)
{
    size_t end = pos;
    while (end < FInput.size() && !IsNameEnd(FInput[end]))
        ++end;
    if (end == pos)
        Fail("name expected", pos);
    return end;
}

size_t TXmlTokenizer::FindOrFail(std::string_view what, size_t from, const char *reason) const
{
    const size_t at = FInput.find(what, from);
    if (at == std::string_view::npos)
        Fail(reason, FPartStart);
    return at;
}

char *TXmlTokenizer::Scratch(size_t size)
{
    if (FScratchUsed + size > FScratchSize) {
        const size_t newSize = std::max({ FScratchSize * 2, FScratchUsed + size, size_t(256) });
        std::unique_ptr<char[]> grown(new char[newSize]);
        const char *old = FScratch.get();
        if (FScratchUsed > 0)
            std::memcpy(grown.get(), old, FScratchUsed);
        for (TNvpNode &a : FAttributes)
            if (a.Value.data() >= old && a.Value.data() < old + FScratchUsed)
                a.Value = { grown.get() + (a.Value.data() - old), a.Value.size() };
        FScratch = std::move(grown);
        FScratchSize = newSize;
    }
    return FScratch.get() + FScratchUsed;
}

void TXmlTokenizer::ReadMarkup()
{
    if (FPos + 1 >= FInput.size())
        Fail("markup cut off", FPos);
    switch (FInput[FPos + 1]) {
    case '/':
        ReadEndTag();
        break;
    case '?':
        ReadQuestionMark();
        break;
    case '!':
        ReadBang();
        break;
    default:
        ReadTag();
    }
}

void TXmlTokenizer::ReadContent()
{
    const size_t begin = FPos;
    const void *lt = std::memchr(FInput.data() + begin, '<', FInput.size() - begin);
    const size_t end = lt ? static_cast<const char *>(lt) - FInput.data() : FInput.size();
    FPos = end;
    FType = ptContent;
    FText = NormaliseContent(begin, end);
}

std::string_view TXmlTokenizer::NormaliseContent(size_t begin, size_t end)
{
    while (begin < end && IsSpace(FInput[begin]))
        ++begin;
    while (end > begin && IsSpace(FInput[end - 1]))
        --end;
    // Most runs need no change: no reference and only single blanks inside.
    bool plain = true;
    for (size_t i = begin; i < end && plain; ++i) {
        const char c = FInput[i];
        if (c == '&' || (IsSpace(c) && (c != ' ' || IsSpace(FInput[i + 1]))))
            plain = false;
    }
    if (plain)
        return FInput.substr(begin, end - begin);

    char *const start = Scratch(end - begin);
    char *out = start;
    for (size_t i = begin; i < end;) {
        const char c = FInput[i];
        if (IsSpace(c)) {
            *out++ = ' ';
            while (IsSpace(FInput[i]))
                ++i; // the run cannot reach `end`: the text was trimmed
        } else if (c == '&') {
            i = AppendReference(i, end, out);
        } else {
            *out++ = c;
            ++i;
        }
    }
    FScratchUsed += out - start;
    return { start, static_cast<size_t>(out - start) };
}

std::string_view TXmlTokenizer::DecodeValue(size_t begin, size_t firstAmp, size_t end)
{
    char *const start = Scratch(end - begin);
    const char *const data = FInput.data();
    std::memcpy(start, data + begin, firstAmp - begin);
    char *out = start + (firstAmp - begin);
    for (size_t i = firstAmp; i < end;) {
        if (data[i] == '&')
            i = AppendReference(i, end, out);
        else
            *out++ = data[i++];
    }
    FScratchUsed += out - start;
    return { start, static_cast<size_t>(out - start) };
}

size_t TXmlTokenizer::AppendReference(size_t pos, size_t end, char *&out)
{
    // The longest reference is "&#x10FFFF;" (or a run of leading zeros, rejected as too long).
    constexpr size_t longest = 10;
    size_t semi = pos + 1;
    while (semi < end && semi - pos < longest && FInput[semi] != ';')
        ++semi;
    if (semi >= end || FInput[semi] != ';')
        Fail("unterminated reference", pos);
    const std::string_view name = FInput.substr(pos + 1, semi - pos - 1);
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty())
            Fail("empty character reference", pos);
        uint32_t cp = 0;
        for (char d : digits) {
            uint32_t v;
            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f')
                v = (d | 0x20) - 'a' + 10;
            else
                Fail("bad digit in character reference", pos);
            cp = cp * (hex ? 16 : 10) + v; // at most 8 digits: cannot overflow
        }
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            Fail("character reference out of range", pos);
        AppendUtf8(cp, out);
    } else if (name == "amp") {
        *out++ = '&';
    } else if (name == "lt") {
        *out++ = '<';
    } else if (name == "gt") {
        *out++ = '>';
    } else if (name == "quot") {
        *out++ = '"';
    } else if (name == "apos") {
        *out++ = '\'';
    } else {
        Fail("unknown entity reference", pos);
    }
    return semi + 1;
}

void TXmlTokenizer::ReadTag()
{
    // The hottest loop of reply parsing: locals keep the input out of memory the compiler must
    // assume the attribute list may change.
    const char *const data = FInput.data();
    const size_t size = FInput.size();
    const auto classOf
        = [data](size_t at) { return Classes[static_cast<unsigned char>(data[at])]; };
    const auto skipSpace = [&](size_t at) {
        while (at < size && (classOf(at) & ccSpace))
            ++at;
        return at;
    };
    const size_t nameBegin = FPos + 1;
    size_t pos = ReadName(nameBegin);
    FName = FInput.substr(nameBegin, pos - nameBegin);
    for (;;) {
        const size_t afterSpace = skipSpace(pos);
        if (afterSpace >= size)
            Fail("unterminated tag", FPartStart);
        const char c = data[afterSpace];
        if (c == '>') {
            FType = ptStartTag;
            FPos = afterSpace + 1;
            return;
        }
        if (c == '/') {
            if (afterSpace + 1 >= size || data[afterSpace + 1] != '>')
                Fail("'>' expected after '/'", afterSpace);
            FType = ptEmptyTag;
            FPos = afterSpace + 2;
            return;
        }
        if (afterSpace == pos)
            Fail("white space expected before an attribute", pos);
        size_t nameEnd = afterSpace;
        while (nameEnd < size && !(classOf(nameEnd) & ccNameEnd))
            ++nameEnd;
        if (nameEnd == afterSpace)
            Fail("name expected", afterSpace);
        pos = nameEnd < size && data[nameEnd] == '=' ? nameEnd : skipSpace(nameEnd);
        if (pos >= size || data[pos] != '=')
            Fail("'=' expected after an attribute name", pos);
        pos = skipSpace(pos + 1);
        if (pos >= size || (data[pos] != '"' && data[pos] != '\''))
            Fail("quoted attribute value expected", pos);
        // One pass to the closing quote, noting the first reference.
        const char quote = data[pos];
        const size_t valueBegin = pos + 1;
        size_t valueEnd = valueBegin;
        size_t firstAmp = std::string_view::npos;
        for (;; ++valueEnd) {
            while (valueEnd < size && !(classOf(valueEnd) & ccValueStop))
                ++valueEnd;
            if (valueEnd >= size)
                Fail("unterminated attribute value", pos);
            const char v = data[valueEnd];
            if (v == quote)
                break;
            if (v == '<')
                Fail("'<' in an attribute value", valueEnd);
            if (v == '&' && firstAmp == std::string_view::npos)
                firstAmp = valueEnd;
        }
        const std::string_view name(data + afterSpace, nameEnd - afterSpace);
        FAttributes.push_back({ name,
            firstAmp == std::string_view::npos
                ? std::string_view(data + valueBegin, valueEnd - valueBegin)
                : DecodeValue(valueBegin, firstAmp, valueEnd) });
        pos = valueEnd + 1;
    }
}

void TXmlTokenizer::ReadEndTag()
{
    const size_t nameBegin = FPos + 2;
    const size_t nameEnd = ReadName(nameBegin);
    const size_t close = SkipSpace(nameEnd);
    if (close >= FInput.size() || FInput[close] != '>')
        Fail("'>' expected in an end tag", close);
    FType = ptEndTag;
    FName = FInput.substr(nameBegin, nameEnd - nameBegin);
    FPos = close + 1;
}

void TXmlTokenizer::ReadQuestionMark()
{
    const size_t nameBegin = FPos + 2;
    const size_t nameEnd = ReadName(nameBegin);
    const size_t close = FindOrFail("?>", nameEnd, "unterminated processing instruction");
    FName = FInput.substr(nameBegin, nameEnd - nameBegin);
    const size_t textBegin = SkipSpace(nameEnd);
    FText = textBegin < close ? FInput.substr(textBegin, close - textBegin) : std::string_view();
    FType = EqualsIgnoringCase(FName, "xml") ? ptXmlProlog : ptPI;
    FPos = close + 2;
}

void TXmlTokenizer::ReadBang()
{
    const std::string_view rest = FInput.substr(FPos);
    if (rest.starts_with("<!--")) {
        const size_t close = FindOrFail("-->", FPos + 4, "unterminated comment");
        FType = ptComment;
        FText = FInput.substr(FPos + 4, close - FPos - 4);
        FPos = close + 3;
    } else if (rest.starts_with("<![CDATA[")) {
        const size_t close = FindOrFail("]]>", FPos + 9, "unterminated CDATA section");
        FType = ptCData;
        FText = FInput.substr(FPos + 9, close - FPos - 9);
        FPos = close + 3;
    } else {
        ReadDeclaration();
    }
}

void TXmlTokenizer::ReadDeclaration()
{
    // <!DOCTYPE ...> may hold an internal subset in brackets and quoted literals with '>'.
    char quote = 0;
    int depth = 0;
    for (size_t i = FPos + 2; i < FInput.size(); ++i) {
        const char c = FInput[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth > 0)
                --depth;
        } else if (c == '>' && depth == 0) {
            FType = ptDtdc;
            FText = FInput.substr(FPos + 2, i - FPos - 2);
            FPos = i + 1;
            return;
        }
    }
    Fail("unterminated declaration", FPartStart);
}

} // namespace kestrova
