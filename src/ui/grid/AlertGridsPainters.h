#pragma once
// The painters of the alert grid's cells, one per data type, and the rules they share: text
// placed and fitted to the cell, the age and range bars, icons and charts from the icon cache.
// Every grid installs CellRendererFor(type) for each type when it is created. GUI thread only.

#include "grid/AlertGrids.h"

#include <QString>
#include <cstdint>

namespace kestrova {

// The painter of a data type's cells (an empty function for the blank type).
TCellRenderer CellRendererFor(int type);

// ---- the painters CellRendererFor hands out (the cell shows an alert) ----

void PaintIcon(const TAlertGrid &grid, TCellPaint &cell);
void PaintTime(const TAlertGrid &grid, TCellPaint &cell);
void PaintSymbol(const TAlertGrid &grid, TCellPaint &cell);
void PaintDescription(const TAlertGrid &grid, TCellPaint &cell);
void PaintQuality(const TAlertGrid &grid, TCellPaint &cell);
void PaintRelativeVolume(const TAlertGrid &grid, TCellPaint &cell);
void PaintAge(const TAlertGrid &grid, TCellPaint &cell);
void PaintNumber(const TAlertGrid &grid, TCellPaint &cell);
void PaintRange(const TAlertGrid &grid, TCellPaint &cell);
void PaintWeeklyChart(const TAlertGrid &grid, TCellPaint &cell);
void PaintDailyChart(const TAlertGrid &grid, TCellPaint &cell);
void PaintVolatility(const TAlertGrid &grid, TCellPaint &cell);
void PaintStdDev(const TAlertGrid &grid, TCellPaint &cell);
void PaintWiggle(const TAlertGrid &grid, TCellPaint &cell);

// ---- text ----

enum TTextAlign { taLeft, taRight, taCentre };

// A text and its width on the canvas.
struct TFittedText
{
    QString Text;
    int Width = 0;
};

// The text unchanged when it fits room; else as many leading characters as fit beside "..."
// (measured one character at a time), then "...".
TFittedText ShortenWithEllipsis(const QString &text, const QFontMetrics &metrics, int room);
// Two decimals, or "..." when too wide.
TFittedText FitFloat(double value, const QFontMetrics &metrics, int room);
// The number; when too wide, 1000 and above in thousands ("K") or, above 999999, millions
// ("M") with 2, 1 or 0 decimals, whichever fits first; else "...".
TFittedText FitInteger(int64_t value, const QFontMetrics &metrics, int room);

// Draws a fitted text in the cell's inner rectangle, vertically centred, in the cell's font and
// colour. Direction Left always places it on the left, Right on the right; the vertical
// directions use align.
void DrawCellText(
    const TAlertGrid &grid, const TCellPaint &cell, const TFittedText &text, TTextAlign align);

// The first format of the list (last to first) whose text fits room; index 0 when none does.
// Empty for a list without formats.
TFittedText FitTime(TDateTime value, const QFontMetrics &metrics, int room);

// The quality as the pattern of its alert type (generalInfo: the server's general-info
// element; the FORMAT attribute of QUALITY/<type>) formats it; empty when the quality is
// missing or the server gives no pattern. A pattern that is refused is reported (once per
// pattern) with "AlertGrids, ShowQuality" and shows nothing.
QString QualityText(const PXmlNode &generalInfo, const TAlertRecord &alert);

// ---- bars ----

// The length of the age bar's black part for an age in seconds (none unless positive): the
// nearest integer (ties to even) of log2(age / 5 + 1) * 3.78235398683015 - 1, so it grows by
// about four pixels each time the age doubles. A result that is not a finite number, or out of
// range, gives 0.
int AgeBarLength(double ageSeconds);

// The range bar of a cell width wide: the cell's ground, then a bar [From, To) in pixels from
// the cell's left edge (none when From >= To). NaN counts as the middle of the range.
struct TRangeBar
{
    QColor Ground;
    QColor Bar;
    int From = 0, To = 0;
};
TRangeBar RangeBarFor(double dayRange, int width);

} // namespace kestrova
