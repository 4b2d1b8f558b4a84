// The RTF subset: reading styled text, surviving malformed input, writing what reads back, and
// the bridge to Qt text documents.

#include "rtf/RichText.h"

#include "rtf/RichTextDocument.h"

#include <QTextDocument>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TRichTextStyle Bold()
{
    TRichTextStyle s;
    s.Bold = true;
    return s;
}

TEST(RichText, ReadsStylesColoursAndEscapes)
{
    const TRichText text = ReadRtf(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}"
        "Plain {\\b bold {\\i both}} \\ul under\\ul0  \\cf1 red\\cf0 \\fs32 big\\plain\\par "
        "caf\\'e9 \\{x\\} a\\\\b\\tab t\\line l \\u8364?\\u-10179?\\u-8704? end}");
    ASSERT_EQ(text.Paragraphs.size(), 2u);
    const auto &runs = text.Paragraphs[0].Runs;
    ASSERT_EQ(runs.size(), 8u);
    EXPECT_EQ(runs[0].Text, "Plain ");
    EXPECT_EQ(runs[1].Text, "bold ");
    EXPECT_EQ(runs[1].Style, Bold());
    EXPECT_TRUE(runs[2].Style.Bold && runs[2].Style.Italic);
    EXPECT_EQ(runs[3].Text, " "); // the group ended: plain again
    EXPECT_EQ(runs[4].Text, "under");
    EXPECT_TRUE(runs[4].Style.Underline);
    EXPECT_EQ(runs[5].Text, " ");
    EXPECT_EQ(runs[6].Text, "red");
    EXPECT_EQ(runs[6].Style.Color, 0xFF0000);
    EXPECT_EQ(runs[7].Text, "big");
    EXPECT_EQ(runs[7].Style.FontSize, 32);
    EXPECT_EQ(runs[7].Style.Color, -1);
    EXPECT_EQ(text.PlainText(),
        "Plain bold both under redbig\ncaf\xC3\xA9 {x} a\\b\tt\nl \xE2\x82\xAC\xF0\x9F\x98\x80 "
        "end");
}

TEST(RichText, PlainTextReadsAsItself)
{
    EXPECT_EQ(ReadRtf("Quorix running.").PlainText(), "Quorix running.");
    EXPECT_EQ(ReadRtf("{Backtester:  Calculate your odds}").PlainText(),
        "Backtester:  Calculate your odds");
    // UTF-8 stays; other high bytes read as Windows-1252.
    EXPECT_EQ(ReadRtf("\xC3\xA9t\xE9").PlainText(), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(ReadRtf("line\r\nbreaks\nvanish").PlainText(), "linebreaksvanish");
}

TEST(RichText, MalformedInputReadsAsFarAsItMakesSense)
{
    EXPECT_EQ(ReadRtf("}}a{\\b b").PlainText(), "ab"); // unbalanced both ways
    EXPECT_EQ(ReadRtf("{\\b x}}\\b0 y").Paragraphs[0].Runs.size(), 2u);
    EXPECT_EQ(ReadRtf("a\\foo12 b\\bar-3c \\zzz").PlainText(), "abc "); // unknown words
    EXPECT_EQ(ReadRtf("{\\*\\generator Word;}{\\pict 0a0b}x").PlainText(), "x");
    EXPECT_EQ(ReadRtf("end\\'").PlainText(), "end"); // \'hh cut off
    EXPECT_EQ(ReadRtf("end\\'4").PlainText(), "end");
    EXPECT_EQ(ReadRtf("x\\'zz").PlainText(), "xzz");
    EXPECT_EQ(ReadRtf("\\").PlainText(), "");
    EXPECT_EQ(ReadRtf("\\fs99999999999 \\cf77 \\u99999999 ?x").PlainText().back(), 'x');
    EXPECT_EQ(ReadRtf("\\u-10179 x").PlainText(), ""); // a lone surrogate, then its fallback
    std::string deep(100000, '{');
    deep += "\\b deep";
    EXPECT_EQ(ReadRtf(deep).PlainText(), "deep");
}

TEST(RichText, WrittenTextReadsBackTheSame)
{
    TRichText text;
    TRichTextStyle red;
    red.Color = 0xC03020;
    red.FontSize = 20;
    TRichTextStyle under;
    under.Underline = true;
    under.Italic = true;
    text.Append("Backtest {finished}: ", {});
    text.Append("+12.5%", Bold());
    text.Append(" \\ odds\tof ", red);
    text.NewParagraph();
    text.Append("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 line\nbreak", under);
    text.Append(std::string("nul\0byte", 8), {});
    text.NewParagraph();
    const std::string rtf = WriteRtf(text, "Deja{Vu}");
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(ReadRtf(rtf), text);
}

TEST(RichText, QtDocumentsCarryTheStyles)
{
    QTextDocument document;
    QFont font("DejaVu Sans");
    font.setPointSize(8);
    document.setDefaultFont(font);
    LoadRichText(document,
        ReadRtf("{\\colortbl ;\\red0\\green128\\blue0;}plain \\b\\cf1 bold green"
                "\\b0\\cf0\\par\\fs24 big"));
    EXPECT_EQ(document.toPlainText().toStdString(), "plain bold green\nbig");
    const TRichText back = RichTextFromDocument(document);
    ASSERT_EQ(back.Paragraphs.size(), 2u);
    ASSERT_EQ(back.Paragraphs[0].Runs.size(), 2u);
    EXPECT_FALSE(back.Paragraphs[0].Runs[0].Style.Bold);
    EXPECT_EQ(back.Paragraphs[0].Runs[0].Style.FontSize, 16); // the document's 8 pt
    EXPECT_TRUE(back.Paragraphs[0].Runs[1].Style.Bold);
    EXPECT_EQ(back.Paragraphs[0].Runs[1].Style.Color, 0x008000);
    EXPECT_EQ(back.Paragraphs[1].Runs[0].Style.FontSize, 24);
}

} // namespace
