#include "symbollists/ListReplies.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>

namespace kestrova {

namespace {

// TODO(xml): local stand-in for the message tree. It checks that tags nest and match, skips the
// declaration and comments, refuses other markup, and collects the attributes of the children of
// one uniquely named child of the first top-level element (the tree's path 0, Section).
using TAttributes = std::vector<std::pair<std::string, std::string>>;

[[noreturn]] void Malformed(const std::string &what)
{
    throw EInvalidListReply("Invalid reply: " + what);
}

void AppendUtf8(std::string &out, unsigned long code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Replaces the predefined entities and character references; unknown ones stay as written.
std::string DecodeReferences(const std::string &raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const size_t semi = raw[i] == '&' ? raw.find(';', i) : std::string::npos;
        if (semi == std::string::npos) {
            out += raw[i];
            continue;
        }
        const std::string name = raw.substr(i + 1, semi - i - 1);
        std::optional<unsigned long> code;
        if (name == "lt")
            code = '<';
        else if (name == "gt")
            code = '>';
        else if (name == "amp")
            code = '&';
        else if (name == "quot")
            code = '"';
        else if (name == "apos")
            code = '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            char *end = nullptr;
            const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && *end == '\0' && value > 0 && value <= 0x10FFFF)
                code = value;
        }
        if (!code) {
            out += raw[i];
            continue;
        }
        AppendUtf8(out, *code);
        i = semi;
    }
    return out;
}

bool IsNameChar(char c)
{
    return c != '>' && c != '/' && c != '=' && c != '<' && static_cast<unsigned char>(c) > ' ';
}

class TReplyScanner
{
public:
    TReplyScanner(const std::string &text, std::string section)
        : Text(text)
        , Section(std::move(section))
    {
    }

    // The attributes of each child of the section, or none when the section is missing or repeated.
    std::vector<TAttributes> Run()
    {
        while (Pos < Text.size()) {
            if (Text[Pos] != '<') {
                ++Pos;
                continue;
            }
            if (StartsWith("<?"))
                SkipPast("?>");
            else if (StartsWith("<!--"))
                SkipPast("-->");
            else if (StartsWith("<!"))
                Malformed("unsupported markup");
            else if (StartsWith("</"))
                EndTag();
            else
                StartTag();
        }
        if (!Open.empty())
            Malformed("unexpected end of file");
        if (SectionCount != 1)
            return {};
        return Found;
    }

private:
    bool StartsWith(const char *s) const
    {
        return Text.compare(Pos, std::char_traits<char>::length(s), s) == 0;
    }

    void SkipPast(const char *terminator)
    {
        const size_t end = Text.find(terminator, Pos);
        if (end == std::string::npos)
            Malformed("unterminated markup");
        Pos = end + std::char_traits<char>::length(terminator);
    }

    void SkipBlanks()
    {
        while (Pos < Text.size() && static_cast<unsigned char>(Text[Pos]) <= ' ')
            ++Pos;
    }

    std::string Name()
    {
        const size_t start = Pos;
        while (Pos < Text.size() && IsNameChar(Text[Pos]))
            ++Pos;
        if (Pos == start)
            Malformed("missing name");
        return Text.substr(start, Pos - start);
    }

    void EndTag()
    {
        Pos += 2;
        const std::string name = Name();
        SkipBlanks();
        if (Pos >= Text.size() || Text[Pos] != '>')
            Malformed("bad end tag");
        ++Pos;
        if (Open.empty() || Open.back() != name)
            Malformed("tags don't match");
        Open.pop_back();
    }

    void StartTag()
    {
        ++Pos;
        const std::string name = Name();
        TAttributes attributes;
        for (;;) {
            SkipBlanks();
            if (Pos >= Text.size())
                Malformed("unterminated tag");
            if (Text[Pos] == '>' || StartsWith("/>"))
                break;
            std::string key = Name();
            SkipBlanks();
            if (Pos >= Text.size() || Text[Pos] != '=')
                Malformed("attribute without value");
            ++Pos;
            SkipBlanks();
            if (Pos >= Text.size() || (Text[Pos] != '"' && Text[Pos] != '\''))
                Malformed("unquoted attribute");
            const size_t close = Text.find(Text[Pos], Pos + 1);
            if (close == std::string::npos)
                Malformed("unterminated attribute");
            attributes.emplace_back(
                std::move(key), DecodeReferences(Text.substr(Pos + 1, close - Pos - 1)));
            Pos = close + 1;
        }
        const bool empty = Text[Pos] == '/';
        Pos += empty ? 2 : 1;

        if (Open.empty())
            ++TopLevelCount;
        const bool inFirstTop = TopLevelCount == 1;
        if (inFirstTop && Open.size() == 1 && name == Section)
            ++SectionCount;
        else if (inFirstTop && Open.size() == 2 && Open[1] == Section && SectionCount == 1)
            Found.push_back(std::move(attributes));
        if (!empty)
            Open.push_back(name);
    }

    const std::string &Text;
    const std::string Section;
    size_t Pos = 0;
    std::vector<std::string> Open;
    int TopLevelCount = 0;
    int SectionCount = 0;
    std::vector<TAttributes> Found;
};

const std::string *Attribute(const TAttributes &attributes, const std::string &name)
{
    for (const auto &[key, value] : attributes)
        if (key == name)
            return &value;
    return nullptr;
}

} // namespace

int32_t ParseDecimalInt32(const std::string &text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size())
        Malformed("'" + text + "' is not a valid integer value");
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            Malformed("'" + text + "' is not a valid integer value");
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min()
        || value > std::numeric_limits<int32_t>::max())
        Malformed("'" + text + "' is not a valid integer value");
    return static_cast<int32_t>(value);
}

std::vector<std::string> ParseSymbolsReply(const std::string &body)
{
    std::vector<std::string> names;
    for (const TAttributes &child : TReplyScanner(body, "SYMBOLS").Run()) {
        const std::string *name = Attribute(child, "NAME");
        names.push_back(name ? *name : std::string());
    }
    return names;
}

TLists ParseListsReply(const std::string &body)
{
    TLists lists;
    for (const TAttributes &child : TReplyScanner(body, "LISTS").Run()) {
        const std::string *id = Attribute(child, "ID");
        const std::string *name = Attribute(child, "NAME");
        lists.push_back(
            { ParseDecimalInt32(id ? *id : std::string()), name ? *name : std::string() });
    }
    return lists;
}

} // namespace kestrova
