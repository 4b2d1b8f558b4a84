// Converting between rich text and Qt text documents.

#include "rtf/RichTextDocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

namespace kestrova {

void LoadRichText(QTextDocument &document, const TRichText &text)
{
    document.clear();
    QTextCursor cursor(&document);
    for (size_t p = 0; p < text.Paragraphs.size(); ++p) {
        if (p > 0)
            cursor.insertBlock();
        for (const TRichTextRun &run : text.Paragraphs[p].Runs) {
            QTextCharFormat format;
            format.setFontWeight(run.Style.Bold ? QFont::Bold : QFont::Normal);
            format.setFontItalic(run.Style.Italic);
            format.setFontUnderline(run.Style.Underline);
            if (run.Style.FontSize > 0)
                format.setFontPointSize(run.Style.FontSize / 2.0);
            if (run.Style.Color >= 0)
                format.setForeground(QColor::fromRgb(static_cast<QRgb>(run.Style.Color)));
            QString chunk
                = QString::fromUtf8(run.Text.data(), static_cast<qsizetype>(run.Text.size()));
            chunk.replace(QLatin1Char('\n'), QChar::LineSeparator);
            cursor.insertText(chunk, format);
        }
    }
}

TRichText RichTextFromDocument(const QTextDocument &document)
{
    TRichText text;
    const QFont base = document.defaultFont();
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!first)
            text.NewParagraph();
        first = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            const QFont font = format.font().resolve(base);
            TRichTextStyle style;
            style.Bold = font.bold();
            style.Italic = font.italic();
            style.Underline = font.underline();
            const double points = font.pointSizeF() > 0 ? font.pointSizeF() : base.pointSizeF();
            style.FontSize = points > 0 ? static_cast<int>(std::lround(points * 2)) : 0;
            const QColor color = format.foreground().style() != Qt::NoBrush
                ? format.foreground().color()
                : QColor(Qt::black);
            style.Color = static_cast<int32_t>(color.rgb() & 0xFFFFFF);
            QString chunk = fragment.text();
            chunk.replace(QChar::LineSeparator, QLatin1Char('\n'));
            text.Append(chunk.toStdString(), style);
        }
    }
    return text;
}

} // namespace kestrova
