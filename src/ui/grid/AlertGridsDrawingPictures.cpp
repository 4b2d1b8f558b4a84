// The alert grid's pictures: the alert type's icon and the symbol's weekly and daily charts,
// from the icon cache. A cell asks for its picture as it is painted, ahead of any background
// work, and draws nothing until it has arrived; the cache repaints the grid then.

#include "grid/AlertGridsPainters.h"
#include "icons/AlertIcons.h"
#include "support/UrlEncoding.h"

#include <QPainter>

namespace kestrova {

namespace {

// The newest (rightmost) part of a chart that a narrow cell has room for, stretched into it.
void PaintChart(const TAlertGrid &grid, TCellPaint &cell, const char *prefix, TIconKind kind)
{
    TIconCache *icons = grid.IconSource();
    if (!icons)
        return;
    const TIconLookup chart
        = icons->GetIcon(prefix + FileNameEncode(cell.Alert->Symbol) + ".gif", kind, false);
    if (chart.Status != isLoaded || !chart.Picture)
        return;
    const QImage &picture = *chart.Picture;
    const QRect &r = cell.Rect;
    QRect source = picture.rect();
    if (r.width() < source.width())
        source.setLeft(source.right() + 1 - r.width());
    cell.Painter.drawImage(r, picture, source);
}

} // namespace

void PaintIcon(const TAlertGrid &grid, TCellPaint &cell)
{
    TIconCache *icons = grid.IconSource();
    if (!icons)
        return;
    const TIconLookup icon = icons->GetAlertIcon(cell.Alert->AlertType, false);
    if (icon.Status != isLoaded || !icon.Picture)
        return;
    const QRect &r = cell.Rect;
    const int w = std::min(40, r.width());
    const int h = w / 2;
    int x = r.left() + (r.width() - w) / 2;
    if (grid.Direction() == adLeft)
        x = r.left();
    else if (grid.Direction() == adRight)
        x = r.left() + r.width() - w;
    cell.Painter.drawImage(QRect(x, r.top() + (r.height() - h) / 2, w, h), *icon.Picture);
}

void PaintWeeklyChart(const TAlertGrid &grid, TCellPaint &cell)
{
    PaintChart(grid, cell, "W_", ikWeeklyChart);
}

void PaintDailyChart(const TAlertGrid &grid, TCellPaint &cell)
{
    PaintChart(grid, cell, "D_", ikDailyChart);
}

} // namespace kestrova
