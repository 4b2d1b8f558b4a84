// The alert grid's text cells: placement, the fitting rules, and the painters of the types that
// show text (time, symbol, description, quality and the numbers).

#include "grid/AlertGridsPainters.h"
#include "grid/AlertGridsQuality.h"
#include "session/TimeDefaults.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"

#include <QPainter>
#include <QTextLayout>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

namespace kestrova {

namespace {

const QString Ellipsis = QStringLiteral("...");

// "." whatever the locale, as the server writes numbers.
QString FixedText(double value, int decimals)
{
    char buffer[400];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? QString::fromLatin1(buffer, result.ptr - buffer) : Ellipsis;
}

TFittedText Measured(QString text, const QFontMetrics &metrics)
{
    const int width = metrics.horizontalAdvance(text);
    return { std::move(text), width };
}

TFittedText Dots(const QFontMetrics &metrics)
{
    return Measured(Ellipsis, metrics);
}

TTextAlign PlacedAlignment(int direction, TTextAlign own)
{
    if (direction == adLeft)
        return taLeft;
    if (direction == adRight)
        return taRight;
    return own;
}

// The parsed pattern, or null when it is refused (reported the first time it is seen).
const TQualityFormat *QualityFormatFor(std::string_view pattern)
{
    static std::map<std::string, std::optional<TQualityFormat>, std::less<>> parsed;
    auto it = parsed.find(pattern);
    if (it == parsed.end()) {
        if (parsed.size() >= 256) // patterns come from the server: keep the memory bounded
            parsed.clear();
        std::optional<TQualityFormat> format;
        try {
            format = ParseQualityFormat(pattern);
        } catch (const std::exception &e) {
            ReportException(e, "AlertGrids, ShowQuality");
        }
        it = parsed.emplace(std::string(pattern), std::move(format)).first;
    }
    return it->second ? &*it->second : nullptr;
}

void PaintFloat(const TAlertGrid &grid, TCellPaint &cell, double value)
{
    if (std::isnan(value))
        return;
    DrawCellText(grid, cell, FitFloat(value, cell.Metrics(), cell.Inner.width()), taRight);
}

} // namespace

// ---- fitting ----

TFittedText ShortenWithEllipsis(const QString &text, const QFontMetrics &metrics, int room)
{
    TFittedText whole = Measured(text, metrics);
    if (whole.Width <= room)
        return whole;
    int left = room - metrics.horizontalAdvance(Ellipsis);
    qsizetype taken = 0;
    for (; taken < text.size(); ++taken) {
        const int w = metrics.horizontalAdvance(text.at(taken));
        if (left - w < 0)
            break;
        left -= w;
    }
    return Measured(text.left(taken) + Ellipsis, metrics);
}

TFittedText FitFloat(double value, const QFontMetrics &metrics, int room)
{
    TFittedText text = Measured(FixedText(value, 2), metrics);
    return text.Width <= room ? text : Dots(metrics);
}

TFittedText FitInteger(int64_t value, const QFontMetrics &metrics, int room)
{
    TFittedText text = Measured(QString::number(value), metrics);
    if (text.Width <= room || value < 1000)
        return text.Width <= room ? text : Dots(metrics);
    const bool millions = value > 999999;
    const double scaled = static_cast<double>(value) / (millions ? 1e6 : 1e3);
    const QString suffix = millions ? QStringLiteral("M") : QStringLiteral("K");
    for (int decimals : { 2, 1, 0 }) {
        text = Measured(FixedText(scaled, decimals) + suffix, metrics);
        if (text.Width <= room)
            return text;
    }
    return Dots(metrics);
}

TFittedText FitTime(TDateTime value, const QFontMetrics &metrics, int room)
{
    const TPossibleTimeFormats &formats = SharedDefaults().TimeFormats();
    TFittedText first;
    for (size_t i = formats.size(); i-- > 0;) {
        try {
            TFittedText text
                = Measured(QString::fromStdString(FormatDateTime(formats[i], value)), metrics);
            if (text.Width <= room)
                return text;
            if (i == 0)
                first = std::move(text);
        } catch (const EConvertError &) {
            // a format the value does not go through: try the next one
        }
    }
    return first;
}

void DrawCellText(
    const TAlertGrid &grid, const TCellPaint &cell, const TFittedText &text, TTextAlign align)
{
    if (text.Text.isEmpty())
        return;
    const QRect &inner = cell.Inner;
    const QFontMetrics &metrics = cell.Metrics();
    const int room = std::max(0, inner.width() - text.Width);
    int x = inner.left();
    switch (PlacedAlignment(grid.Direction(), align)) {
    case taRight:
        x += room;
        break;
    case taCentre:
        x += room / 2;
        break;
    case taLeft:
        break;
    }
    const int y = inner.top() + std::max(0, inner.height() - metrics.height()) / 2;
    QPainter &painter = cell.Painter;
    painter.setFont(cell.Font());
    painter.setPen(cell.TextColor);
    // Fitted text stays inside; only what cannot fit at all is clipped.
    const bool clip = text.Width > inner.width() || metrics.height() > inner.height();
    if (clip)
        painter.setClipRect(inner);
    painter.drawText(QPoint(x, y + metrics.ascent()), text.Text);
    if (clip)
        painter.setClipping(false);
}

QString QualityText(const PXmlNode &generalInfo, const TAlertRecord &alert)
{
    if (std::isnan(alert.Quality) || !generalInfo)
        return {};
    const IXmlNode *formats = generalInfo->ChildNodeNamed("QUALITY");
    const IXmlNode *type = formats ? formats->ChildNodeNamed(alert.AlertType) : nullptr;
    const std::optional<std::string_view> pattern
        = type ? type->FindAttribute("FORMAT") : std::nullopt;
    if (!pattern)
        return {};
    const TQualityFormat *format = QualityFormatFor(*pattern);
    return format ? QString::fromStdString(format->Format(alert.Quality)) : QString();
}

// ---- the painters ----

void PaintTime(const TAlertGrid &grid, TCellPaint &cell)
{
    if (cell.Alert->Time <= 0)
        return;
    const TDateTime shown = cell.Alert->Time + SharedDefaults().TimeOffsetDays();
    DrawCellText(grid, cell, FitTime(shown, cell.Metrics(), cell.Inner.width()), taLeft);
}

void PaintSymbol(const TAlertGrid &grid, TCellPaint &cell)
{
    DrawCellText(grid, cell,
        ShortenWithEllipsis(
            QString::fromStdString(cell.Alert->Symbol), cell.Metrics(), cell.Inner.width()),
        taLeft);
}

void PaintDescription(const TAlertGrid &grid, TCellPaint &cell)
{
    const QString text = QString::fromStdString(cell.Alert->Description);
    if (text.isEmpty())
        return;
    const QFontMetrics &metrics = cell.Metrics();
    const int lineHeight = std::max(1, metrics.height());
    QRect box = cell.Inner;
    box.setTop(box.top() + box.height() % lineHeight / 2); // whole lines, centred
    const TTextAlign align = PlacedAlignment(grid.Direction(), taLeft);
    const int lines = std::max(1, box.height() / lineHeight);
    QPainter &painter = cell.Painter;
    painter.setFont(cell.Font());
    painter.setPen(cell.TextColor);
    const bool clip = lineHeight > box.height();
    if (clip)
        painter.setClipRect(cell.Inner);
    // A line that overflows, or the last one with text left over, ends in "...".
    const auto drawElided = [&](const QString &rest, int top) {
        const TFittedText shown = ShortenWithEllipsis(rest, metrics, box.width());
        const int room = std::max(0, box.width() - shown.Width);
        const int x = box.left() + (align == taRight ? room : align == taCentre ? room / 2 : 0);
        painter.drawText(QPoint(x, top + metrics.ascent()), shown.Text);
    };
    if (lines == 1) { // the usual row: no layout needed
        drawElided(text, box.top());
    } else {
        QTextLayout layout(text, cell.Font());
        QTextOption option(align == taRight ? Qt::AlignRight
                : align == taCentre         ? Qt::AlignHCenter
                                            : Qt::AlignLeft);
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (int i = 0; i < lines; ++i) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(box.width());
            line.setPosition(QPointF(0, i * lineHeight));
        }
        layout.endLayout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            const int top = box.top() + i * lineHeight;
            const int end = line.textStart() + line.textLength();
            if (i == lines - 1 && end < text.size())
                drawElided(text.mid(line.textStart()), top);
            else if (line.naturalTextWidth() > box.width())
                drawElided(text.mid(line.textStart(), line.textLength()), top);
            else
                line.draw(&painter, QPointF(box.left(), box.top()));
        }
    }
    if (clip)
        painter.setClipping(false);
}

void PaintQuality(const TAlertGrid &grid, TCellPaint &cell)
{
    const QString text = QualityText(grid.Session().GeneralInfo(), *cell.Alert);
    if (!text.isEmpty())
        DrawCellText(
            grid, cell, ShortenWithEllipsis(text, cell.Metrics(), cell.Inner.width()), taRight);
}

void PaintRelativeVolume(const TAlertGrid &grid, TCellPaint &cell)
{
    PaintFloat(grid, cell, cell.Alert->RelVol);
}

void PaintNumber(const TAlertGrid &grid, TCellPaint &cell)
{
    if (cell.Alert->Num > 0)
        DrawCellText(
            grid, cell, FitInteger(cell.Alert->Num, cell.Metrics(), cell.Inner.width()), taRight);
}

void PaintVolatility(const TAlertGrid &grid, TCellPaint &cell)
{
    PaintFloat(grid, cell, cell.Alert->Volatility);
}

void PaintStdDev(const TAlertGrid &grid, TCellPaint &cell)
{
    PaintFloat(grid, cell, cell.Alert->StdDev);
}

void PaintWiggle(const TAlertGrid &grid, TCellPaint &cell)
{
    const TAlertRecord &a = *cell.Alert;
    if (!std::isnan(a.RelVol) && !std::isnan(a.Volatility))
        PaintFloat(grid, cell, a.RelVol * a.Volatility);
}

} // namespace kestrova
