#pragma once
// Rich text as the status texts carry it, and the RTF subset that reads and writes it: groups,
// \b \i \ul \par \line \tab \fs, \cf with a colour table, \'hh, \uN, escaped braces and
// backslashes. Unknown control words are ignored; known header destinations (font table, style
// sheet, info, pictures) and \* destinations are skipped. Text is UTF-8; free of Qt.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct TRichTextStyle
{
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int FontSize = 0; // half points; 0 = the box's own size
    int32_t Color = -1; // 0xRRGGBB; -1 = the box's own colour
    bool operator==(const TRichTextStyle &) const = default;
};

// A stretch of text in one style; "\t" is a tab, "\n" a line break inside the paragraph.
struct TRichTextRun
{
    std::string Text;
    TRichTextStyle Style;
    bool operator==(const TRichTextRun &) const = default;
};

struct TRichTextParagraph
{
    std::vector<TRichTextRun> Runs;
    bool operator==(const TRichTextParagraph &) const = default;
};

// At least one paragraph; runs are never empty and neighbours differ in style.
struct TRichText
{
    std::vector<TRichTextParagraph> Paragraphs { 1 };
    bool operator==(const TRichText &) const = default;

    // Adds text in a style to the last paragraph.
    void Append(std::string_view text, const TRichTextStyle &style);
    void NewParagraph() { Paragraphs.emplace_back(); }
    // The text alone, paragraphs separated by "\n".
    std::string PlainText() const;
};

// Reads RTF (or any text: plain text reads as itself). Never raises: unbalanced braces, unknown
// control words and truncated escapes are read as far as they make sense. Bytes that are not
// UTF-8 and \'hh escapes are read as Windows-1252.
TRichText ReadRtf(std::string_view rtf);

// Writes a complete RTF document that ReadRtf reads back to the same rich text. fontName names
// the text's own font; runs without a size of their own get none (a reader's default).
std::string WriteRtf(const TRichText &text, const std::string &fontName = "Sans Serif");

} // namespace kestrova
