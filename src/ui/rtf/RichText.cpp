// The RTF subset reader and writer.

#include "rtf/RichText.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kestrova {

namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones keep their value.
constexpr std::array<char32_t, 32> Cp1252High
    = { 0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030, 0x160, 0x2039,
          0x152, 0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
          0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178 };

char32_t FromCp1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : byte;
}

void AppendUtf8(std::string &out, char32_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; 0 bytes used when it is not valid UTF-8.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t &c)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = b(0);
    size_t length;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (b(k) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr size_t MaxDepth = 256; // deeper groups share the innermost state

enum class TDestination { Text, Skip, ColorTable };

struct TState
{
    TRichTextStyle Style;
    TDestination Destination = TDestination::Text;
    int UnicodeSkip = 1; // fallback characters after \uN
};

class TReader
{
public:
    explicit TReader(std::string_view rtf)
        : FIn(rtf)
    {
        FStack.emplace_back();
    }

    TRichText Read()
    {
        while (FPos < FIn.size()) {
            const char c = FIn[FPos];
            if (c == '{') {
                ++FPos;
                OpenGroup();
            } else if (c == '}') {
                ++FPos;
                CloseGroup();
            } else if (c == '\\') {
                ++FPos;
                ControlSequence();
            } else if (c == '\r' || c == '\n') {
                ++FPos;
            } else {
                PlainByte();
            }
        }
        return std::move(FText);
    }

private:
    TState &State() { return FStack.back(); }

    void OpenGroup()
    {
        if (FStack.size() >= MaxDepth)
            ++FOverflow;
        else
            FStack.push_back(FStack.back());
    }

    void CloseGroup()
    {
        if (FOverflow > 0)
            --FOverflow;
        else if (FStack.size() > 1)
            FStack.pop_back();
    }

    void Emit(char32_t c)
    {
        if (FPendingSkip > 0) {
            --FPendingSkip;
            return;
        }
        switch (State().Destination) {
        case TDestination::Text: {
            std::string text;
            AppendUtf8(text, c);
            FText.Append(text, State().Style);
            break;
        }
        case TDestination::ColorTable:
            if (c == ';') {
                FColors.push_back(FColorSet ? FColor : -1);
                FColor = 0;
                FColorSet = false;
            }
            break;
        case TDestination::Skip:
            break;
        }
    }

    void PlainByte()
    {
        char32_t c;
        size_t used = DecodeUtf8(FIn, FPos, c);
        if (used == 0) {
            c = FromCp1252(static_cast<unsigned char>(FIn[FPos]));
            used = 1;
        }
        FPos += used;
        Emit(c);
    }

    void ControlSequence()
    {
        if (FPos >= FIn.size())
            return;
        const char c = FIn[FPos];
        if (!IsLetter(c)) {
            ++FPos;
            ControlSymbol(c);
            return;
        }
        const size_t start = FPos;
        while (FPos < FIn.size() && IsLetter(FIn[FPos]) && FPos - start < 32)
            ++FPos;
        const std::string_view word = FIn.substr(start, FPos - start);
        bool hasParam = false, negative = false;
        long long param = 0;
        if (FPos < FIn.size() && FIn[FPos] == '-' && FPos + 1 < FIn.size() && FIn[FPos + 1] >= '0'
            && FIn[FPos + 1] <= '9') {
            negative = true;
            ++FPos;
        }
        while (FPos < FIn.size() && FIn[FPos] >= '0' && FIn[FPos] <= '9') {
            hasParam = true;
            param = std::min(param * 10 + (FIn[FPos] - '0'), 100000000LL);
            ++FPos;
        }
        if (FPos < FIn.size() && FIn[FPos] == ' ')
            ++FPos;
        ControlWord(word, hasParam, static_cast<int>(negative ? -param : param));
    }

    void ControlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Emit(static_cast<unsigned char>(c));
            break;
        case '\'': {
            if (FPos + 2 > FIn.size()) { // cut off at the end of the input
                FPos = FIn.size();
                break;
            }
            const int high = HexDigit(FIn[FPos]), low = HexDigit(FIn[FPos + 1]);
            if (high < 0 || low < 0)
                break;
            FPos += 2;
            Emit(FromCp1252(static_cast<unsigned char>(high * 16 + low)));
            break;
        }
        case '~':
            Emit(0xA0);
            break;
        case '_':
            Emit('-');
            break;
        case '*':
            State().Destination = TDestination::Skip;
            break;
        case '\r':
        case '\n':
            Paragraph();
            break;
        default:
            break;
        }
    }

    void Paragraph()
    {
        if (State().Destination == TDestination::Text)
            FText.NewParagraph();
    }

    void ControlWord(std::string_view word, bool hasParam, int param)
    {
        TState &s = State();
        const bool on = !hasParam || param != 0;
        if (word == "par") {
            Paragraph();
        } else if (word == "line") {
            Emit('\n');
        } else if (word == "tab") {
            Emit('\t');
        } else if (word == "b") {
            s.Style.Bold = on;
        } else if (word == "i") {
            s.Style.Italic = on;
        } else if (word == "ul") {
            s.Style.Underline = on;
        } else if (word == "ulnone") {
            s.Style.Underline = false;
        } else if (word == "plain") {
            s.Style = {};
        } else if (word == "fs") {
            s.Style.FontSize = hasParam ? std::clamp(param, 0, 32767) : 0;
        } else if (word == "cf") {
            s.Style.Color = param > 0 && static_cast<size_t>(param) < FColors.size()
                ? FColors[static_cast<size_t>(param)]
                : -1;
        } else if (word == "u" && hasParam) {
            Unicode(param);
        } else if (word == "uc") {
            s.UnicodeSkip = std::clamp(param, 0, 8);
        } else if (word == "colortbl") {
            s.Destination = TDestination::ColorTable;
            FColors.clear();
        } else if (word == "red" || word == "green" || word == "blue") {
            const int shift = word == "red" ? 16 : (word == "green" ? 8 : 0);
            FColor = (FColor & ~(0xFF << shift)) | (std::clamp(param, 0, 255) << shift);
            FColorSet = true;
        } else if (word == "fonttbl" || word == "stylesheet" || word == "info" || word == "pict"
            || word == "object" || word == "header" || word == "footer" || word == "fldinst"
            || word == "filetbl" || word == "listtable" || word == "listoverridetable"
            || word == "revtbl" || word == "rsidtbl" || word == "generator" || word == "themedata"
            || word == "colorschememapping" || word == "latentstyles" || word == "datastore") {
            s.Destination = TDestination::Skip;
        } else if (word == "emdash") {
            Emit(0x2014);
        } else if (word == "endash") {
            Emit(0x2013);
        } else if (word == "bullet") {
            Emit(0x2022);
        } else if (word == "lquote") {
            Emit(0x2018);
        } else if (word == "rquote") {
            Emit(0x2019);
        } else if (word == "ldblquote") {
            Emit(0x201C);
        } else if (word == "rdblquote") {
            Emit(0x201D);
        }
    }

    // \uN: a UTF-16 unit (negative values wrap), then UnicodeSkip fallback characters.
    void Unicode(int param)
    {
        FPendingSkip = 0;
        const char32_t unit = static_cast<char32_t>(static_cast<uint16_t>(param));
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            FHighSurrogate = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF && FHighSurrogate != 0) {
            Emit(0x10000 + ((FHighSurrogate - 0xD800) << 10) + (unit - 0xDC00));
            FHighSurrogate = 0;
        } else {
            FHighSurrogate = 0;
            Emit(unit);
        }
        FPendingSkip = State().UnicodeSkip;
    }

    std::string_view FIn;
    size_t FPos = 0;
    std::vector<TState> FStack;
    size_t FOverflow = 0;
    TRichText FText;
    std::vector<int32_t> FColors;
    int32_t FColor = 0;
    bool FColorSet = false;
    int FPendingSkip = 0;
    char32_t FHighSurrogate = 0;
};

void WriteText(std::string &out, std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        size_t used = DecodeUtf8(text, i, c);
        if (used == 0) {
            c = FromCp1252(static_cast<unsigned char>(text[i]));
            used = 1;
        }
        i += used;
        char escape[32];
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\n') {
            out += "\\line ";
        } else if (c < 0x20) {
            std::snprintf(escape, sizeof escape, "\\'%02x", static_cast<unsigned>(c));
            out += escape;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x10000) {
            std::snprintf(escape, sizeof escape, "\\u%d?", static_cast<int16_t>(c));
            out += escape;
        } else {
            const char32_t v = c - 0x10000;
            std::snprintf(escape, sizeof escape, "\\u%d?\\u%d?",
                static_cast<int16_t>(0xD800 + (v >> 10)),
                static_cast<int16_t>(0xDC00 + (v & 0x3FF)));
            out += escape;
        }
    }
}

} // namespace

void TRichText::Append(std::string_view text, const TRichTextStyle &style)
{
    if (text.empty())
        return;
    std::vector<TRichTextRun> &runs = Paragraphs.back().Runs;
    if (!runs.empty() && runs.back().Style == style)
        runs.back().Text += text;
    else
        runs.push_back({ std::string(text), style });
}

std::string TRichText::PlainText() const
{
    std::string text;
    for (size_t p = 0; p < Paragraphs.size(); ++p) {
        if (p > 0)
            text += '\n';
        for (const TRichTextRun &run : Paragraphs[p].Runs)
            text += run.Text;
    }
    return text;
}

TRichText ReadRtf(std::string_view rtf)
{
    return TReader(rtf).Read();
}

std::string WriteRtf(const TRichText &text, const std::string &fontName)
{
    std::vector<int32_t> colors;
    for (const TRichTextParagraph &p : text.Paragraphs)
        for (const TRichTextRun &run : p.Runs)
            if (run.Style.Color >= 0
                && std::find(colors.begin(), colors.end(), run.Style.Color) == colors.end())
                colors.push_back(run.Style.Color);
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil ";
    WriteText(out, fontName);
    out += ";}}\n{\\colortbl ;";
    for (int32_t color : colors)
        out += "\\red" + std::to_string(color >> 16 & 0xFF) + "\\green"
            + std::to_string(color >> 8 & 0xFF) + "\\blue" + std::to_string(color & 0xFF) + ";";
    out += "}\n\\viewkind4\\uc1\\pard\\f0 ";
    TRichTextStyle current;
    for (size_t p = 0; p < text.Paragraphs.size(); ++p) {
        if (p > 0)
            out += "\\par\n";
        for (const TRichTextRun &run : text.Paragraphs[p].Runs) {
            if (!(run.Style == current)) {
                const TRichTextStyle &s = run.Style;
                out += "\\plain";
                if (s.Bold)
                    out += "\\b";
                if (s.Italic)
                    out += "\\i";
                if (s.Underline)
                    out += "\\ul";
                if (s.FontSize > 0)
                    out += "\\fs" + std::to_string(s.FontSize);
                if (s.Color >= 0)
                    out += "\\cf"
                        + std::to_string(
                            std::find(colors.begin(), colors.end(), s.Color) - colors.begin() + 1);
                out += ' ';
                current = s;
            }
            WriteText(out, run.Text);
        }
    }
    out += "}\n";
    return out;
}

} // namespace kestrova
