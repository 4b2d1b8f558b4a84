// The alert grid's painting: each cell's ground and text colour from the display scheme (or the
// highlight of the newest batch), the header cells, and the hand-over to the painter of the
// cell's data type. Also where the grid's pictures come from.

#include "grid/AlertGrids.h"
#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsPainters.h"
#include "icons/AlertIcons.h"
#include "support/DebugLog.h"

#include <QPainter>
#include <optional>
#include <qdrawutil.h>

namespace kestrova {

namespace {

QFont BoldFont(QFont font)
{
    font.setBold(true);
    return font;
}

// A toolkit colour value, 0x00BBGGRR.
QColor ToolkitColor(uint32_t value)
{
    return QColor(value & 0xFF, value >> 8 & 0xFF, value >> 16 & 0xFF);
}

} // namespace

TPaintFonts::TPaintFonts(const QFont &font)
    : Plain(font)
    , Bold(BoldFont(font))
    , PlainMetrics(Plain)
    , BoldMetrics(Bold)
{
}

TCellRenderer CellRendererFor(int type)
{
    using TPainter = void (*)(const TAlertGrid &, TCellPaint &);
    static const TPainter painters[DataTypeCount] = { nullptr, PaintIcon, PaintTime, PaintSymbol,
        PaintDescription, PaintQuality, PaintRelativeVolume, PaintAge, PaintNumber, PaintRange,
        PaintWeeklyChart, PaintDailyChart, PaintVolatility, PaintStdDev, PaintWiggle };
    if (type <= 0 || type >= DataTypeCount)
        return [](const TAlertGrid &, TCellPaint &) {};
    return painters[type];
}

// ---- pictures ----

TIconCache *TAlertGrid::IconSource() const
{
    if (FIcons)
        return FIcons;
    if (AllAlertsConnectionExists() && &FSession == &AllAlertsConnection())
        return &IconCache();
    return nullptr;
}

void TAlertGrid::SetIconCache(TIconCache *cache)
{
    if (FIcons)
        FIcons->UnregisterIconViewer(viewport());
    else
        UnregisterIconViewer(viewport()); // the process-wide cache, if any
    FIcons = cache;
    if (TIconCache *icons = IconSource())
        icons->RegisterIconViewer(viewport());
    InvalidateGrid();
}

// ---- painting ----

void TAlertGrid::paintEvent(QPaintEvent *event)
{
    static const std::string location = "AlertGrids, TAlertGrid.Paint";
    const TPaintFonts fonts(font());
    FPaintFonts = &fonts;
    RunGuarded(location, [&] {
        FPaintNow = FSession.GetServerNow();
        FPaintIndex = -1;
        TDrawGrid::paintEvent(event);
    });
    FPaintIndex = -1;
    FPaintFonts = nullptr;
}

const TAlertRecord *TAlertGrid::PaintAlert(int index)
{
    if (!FList->IsValidIndex(index))
        return nullptr;
    if (index != FPaintIndex) {
        FList->GetAlert(index, FPaintRecord);
        FPaintIndex = index;
    }
    return &FPaintRecord;
}

void TAlertGrid::ApplyDisplayScheme(TCellPaint &cell, QBrush &background) const
{
    const TAlertDisplayInfo *info = FormattingTable().Find(FSchemeName, cell.Alert->AlertType);
    if (!info)
        return;
    if (info->Flags & dfBackgroundImage) {
        TIconCache *icons = IconSource();
        const TIconLookup texture
            = icons ? icons->GetIcon(info->BackgroundImage, ikTexture, false) : TIconLookup {};
        if (texture.Status != isLoaded || !texture.Picture)
            return; // the scheme's text colour would not read on the plain ground
        background = QBrush(*texture.Picture);
    } else if (info->Flags & dfBackground) {
        background = ToolkitColor(info->Background);
    }
    if (info->Flags & dfForeground)
        cell.TextColor = ToolkitColor(info->Foreground);
    if (info->Flags & dfBold)
        cell.Bold = true;
}

void TAlertGrid::DrawCell(QPainter &painter, int col, int row, const QRect &rect, unsigned state)
{
    static const std::string location = "AlertGrids, TAlertGrid.DrawCell";
    std::optional<TPaintFonts> ownFonts;
    if (!FPaintFonts)
        ownFonts.emplace(font());
    const bool fixed = state & gdFixed;
    TCellPaint cell { painter, rect, rect, col, row, CellInfo(col, row), nullptr,
        palette().color(QPalette::WindowText), false, FPaintFonts ? FPaintFonts : &*ownFonts };
    cell.Alert = cell.Info.Zone == gzCell ? PaintAlert(cell.Info.Index) : nullptr;
    QBrush background(fixed ? FixedColor : Color);
    if (cell.Alert && cell.Info.Highlighted) {
        background = QBrush(Qt::black);
        cell.TextColor = Qt::white;
    } else if (cell.Alert) {
        ApplyDisplayScheme(cell, background);
    }
    if (background.style() == Qt::TexturePattern) {
        // The texture starts at the cell's corner, so a line looks the same wherever it is
        // drawn (lines that only move are copied, not painted again).
        painter.setBrushOrigin(rect.topLeft());
        painter.fillRect(rect, background);
        painter.setBrushOrigin(0, 0);
    } else {
        painter.fillRect(rect, background.color());
    }
    if (fixed) {
        qDrawWinPanel(&painter, rect, palette(), false);
        cell.Inner.adjust(1, 1, -1, -1);
    }
    if (cell.Inner.width() > 10)
        cell.Inner.adjust(1, 0, -1, 0);
    if (fixed) {
        DrawHeaderCell(cell);
        return;
    }
    if (!cell.Alert)
        return;
    const TCellRenderer &renderer
        = FRenderers[static_cast<size_t>(cell.Info.Type & 0x7F) % DataTypeCount];
    const bool painted = RunGuarded(location, [&] {
        if (renderer)
            renderer(*this, cell);
        else
            DrawPlainCell(cell);
    });
    if (!painted) // a painter that failed half-way leaves no clipping behind
        painter.setClipping(false);
}

void TAlertGrid::DrawHeaderCell(TCellPaint &cell) const
{
    if (cell.Info.Zone != gzColumnHeader && cell.Info.Zone != gzRowHeader)
        return;
    cell.TextColor = Qt::black;
    const QString name = QString::fromUtf8(DataTypeInfo(cell.Info.Type & 0x7F).Name);
    const TFittedText text = ShortenWithEllipsis(name, cell.Metrics(), cell.Inner.width());
    // Header names are centred in every direction.
    const QRect &inner = cell.Inner;
    const QFontMetrics &metrics = cell.Metrics();
    const int x = inner.left() + std::max(0, inner.width() - text.Width) / 2;
    const int y = inner.top() + std::max(0, inner.height() - metrics.height()) / 2;
    QPainter &painter = cell.Painter;
    painter.setFont(cell.Font());
    painter.setPen(cell.TextColor);
    painter.setClipRect(inner);
    painter.drawText(QPoint(x, y + metrics.ascent()), text.Text);
    painter.setClipping(false);
}

void TAlertGrid::DrawPlainCell(TCellPaint &cell) const
{
    const std::string text = PlainCellText(*cell.Alert, cell.Info.Type, FPaintNow);
    if (text.empty())
        return;
    const TTextAlign align = IsRightAligned(cell.Info.Type) ? taRight : taLeft;
    const QString shown = QString::fromStdString(text);
    DrawCellText(*this, cell, { shown, cell.Metrics().horizontalAdvance(shown) }, align);
}

} // namespace kestrova
