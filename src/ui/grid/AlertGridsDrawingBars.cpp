// The alert grid's bars: the age of an alert and where its price stands in the day's range.

#include "grid/AlertGridsPainters.h"

#include <QPainter>
#include <climits>
#include <cmath>

namespace kestrova {

namespace {
// [from, to) of the cell's columns, the full height of the cell.
void FillSpan(QPainter &painter, const QRect &cell, int from, int to, const QColor &color)
{
    from = std::max(from, cell.left());
    to = std::min(to, cell.left() + cell.width());
    if (from < to)
        painter.fillRect(QRect(from, cell.top(), to - from, cell.height()), color);
}
} // namespace

int AgeBarLength(double ageSeconds)
{
    const double n = std::log2(ageSeconds / 5 + 1) * 3.78235398683015 - 1;
    if (!std::isfinite(n) || n <= INT_MIN / 2 || n >= INT_MAX / 2)
        return 0;
    return static_cast<int>(std::nearbyint(n));
}

TRangeBar RangeBarFor(double dayRange, int width)
{
    const double v = std::isnan(dayRange) ? 0.5 : dayRange;
    if (v > 1)
        return { QColor(0, 255, 0), {}, 0, 0 };
    if (v < 0)
        return { QColor(255, 0, 0), {}, 0, 0 };
    TRangeBar bar { QColor(255, 255, 255), {}, 0, 0 };
    const double w = width;
    if (v > 0.5) {
        const int c = static_cast<int>(std::nearbyint((1 - v) * 510));
        bar.Bar = QColor(c, 255, c);
        bar.From = width / 2;
        bar.To = width - static_cast<int>(std::nearbyint((1 - v) * w));
    } else if (v < 0.5) {
        const int c = static_cast<int>(std::nearbyint(v * 510));
        bar.Bar = QColor(255, c, c);
        bar.From = static_cast<int>(std::nearbyint(v * w));
        bar.To = (width + 1) / 2;
    }
    return bar;
}

void PaintAge(const TAlertGrid &grid, TCellPaint &cell)
{
    if (cell.Alert->Time <= 0)
        return;
    const int n = AgeBarLength((grid.PaintNow() - cell.Alert->Time) * 86400);
    const QRect &r = cell.Rect;
    const int left = r.left(), right = r.left() + r.width();
    if (n > 0)
        FillSpan(cell.Painter, r, left, std::min(left + n + 1, right), Qt::black);
    if (left + n < right)
        FillSpan(cell.Painter, r, left + n, right, QColor(0, 0, 255));
}

void PaintRange(const TAlertGrid &, TCellPaint &cell)
{
    const QRect &r = cell.Rect;
    const TRangeBar bar = RangeBarFor(cell.Alert->DayRange, r.width());
    cell.Painter.fillRect(r, bar.Ground);
    FillSpan(cell.Painter, r, r.left() + bar.From, r.left() + bar.To, bar.Bar);
}

} // namespace kestrova
