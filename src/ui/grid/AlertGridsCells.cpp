// The alert grid's cells: what each shows, how it is painted (one renderer per data type),
// and what a click on it does.

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "support/DebugLog.h"

#include <QMouseEvent>
#include <QPainter>

namespace kestrova {

// ---- what a cell shows ----

TCellInfo TAlertGrid::CellInfo(int col, int row) const
{
    TCellInfo info;
    const bool vertical = IsVertical(FDirection);
    const int typeLine = vertical ? col : row;
    const int alertLine = vertical ? row : col;
    if (col < 0 || row < 0)
        return info;
    if (alertLine == 0) {
        info.Zone = vertical ? gzColumnHeader : gzRowHeader;
        info.Type = DataTypeAt(typeLine);
        return info;
    }
    const int index = AlertIndexOnLine(LineMap(), alertLine);
    if (!FList->IsValidIndex(index))
        return info;
    info.Zone = gzCell;
    info.Type = DataTypeAt(typeLine);
    info.Index = index;
    if (FViewMode >= vmWriteOver && FList->IsFromLastBatch(index)) {
        TAlertRecord alert;
        FList->GetAlert(index, alert);
        info.Highlighted = alert.Historical == 0;
    }
    return info;
}

TCellInfo TAlertGrid::HitTest(QPoint pos) const
{
    const TGridCoord cell = MouseToCell(pos);
    return CellInfo(cell.X, cell.Y);
}

std::string TAlertGrid::CellText(int col, int row) const
{
    const TCellInfo info = CellInfo(col, row);
    if (info.Zone == gzColumnHeader || info.Zone == gzRowHeader)
        return DataTypeInfo(info.Type & 0x7F).Name;
    if (info.Zone != gzCell)
        return {};
    TAlertRecord alert;
    FList->GetAlert(info.Index, alert);
    return PlainCellText(alert, info.Type, FSession.GetServerNow());
}

void TAlertGrid::SetCellRenderer(int type, TCellRenderer renderer)
{
    if (type >= 0 && type < DataTypeCount) {
        FRenderers[static_cast<size_t>(type)] = std::move(renderer);
        InvalidateGrid();
    }
}

// ---- painting ----

void TAlertGrid::paintEvent(QPaintEvent *event)
{
    RunGuarded("AlertGrids, TAlertGrid.Paint", [&] {
        FPaintNow = FSession.GetServerNow();
        FPaintIndex = -1;
        TDrawGrid::paintEvent(event);
        FPaintIndex = -1;
    });
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

void TAlertGrid::DrawCell(QPainter &painter, int col, int row, const QRect &rect, unsigned state)
{
    const bool fixed = state & gdFixed;
    TCellPaint cell { painter, rect, rect, col, row, CellInfo(col, row), nullptr, {}, false };
    cell.Alert = cell.Info.Zone == gzCell ? PaintAlert(cell.Info.Index) : nullptr;
    cell.TextColor = palette().color(QPalette::WindowText);
    QColor background = fixed ? FixedColor : Color;
    if (cell.Alert && cell.Info.Highlighted) {
        background = Qt::black;
        cell.TextColor = Qt::white;
    }
    painter.fillRect(rect, background);
    if (fixed) {
        // A raised edge, then the type's name centred.
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(rect.topLeft(), rect.topRight());
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        painter.drawLine(rect.topRight(), rect.bottomRight());
        cell.Inner.adjust(1, 1, -1, -1);
    }
    if (cell.Inner.width() > 10)
        cell.Inner.adjust(1, 0, -1, 0);
    if (fixed || cell.Alert) {
        const TCellRenderer &renderer = fixed
            ? FRenderers[0]
            : FRenderers[static_cast<size_t>(cell.Info.Type & 0x7F) % DataTypeCount];
        if (renderer && !fixed)
            renderer(*this, cell);
        else
            DrawPlainCell(cell);
    }
}

void TAlertGrid::DrawPlainCell(TCellPaint &cell) const
{
    std::string text;
    Qt::Alignment align = Qt::AlignLeft;
    if (cell.Info.Zone == gzColumnHeader || cell.Info.Zone == gzRowHeader) {
        text = DataTypeInfo(cell.Info.Type & 0x7F).Name;
        align = Qt::AlignHCenter;
        cell.TextColor = Qt::black;
    } else if (cell.Alert) {
        text = PlainCellText(*cell.Alert, cell.Info.Type, FPaintNow);
        if (FDirection == adLeft)
            align = Qt::AlignLeft;
        else if (FDirection == adRight || IsRightAligned(cell.Info.Type))
            align = Qt::AlignRight;
    }
    if (text.empty())
        return;
    QPainter &painter = cell.Painter;
    const QString shown = QString::fromStdString(text);
    QFont f = font();
    if (cell.Bold)
        f.setBold(true);
    const QFontMetrics metrics(f);
    const QRect &inner = cell.Inner;
    int x = inner.left();
    if (align != Qt::AlignLeft) { // measuring shapes the text: only when it moves it
        const int room = std::max(0, inner.width() - metrics.horizontalAdvance(shown));
        x += align == Qt::AlignRight ? room : room / 2;
    }
    const int y
        = inner.top() + std::max(0, inner.height() - metrics.height()) / 2 + metrics.ascent();
    painter.setFont(f);
    painter.setPen(cell.TextColor);
    painter.setClipRect(inner);
    painter.drawText(QPoint(x, y), shown);
    painter.setClipping(false);
}

// ---- clicks ----

void TAlertGrid::mousePressEvent(QMouseEvent *event)
{
    FMouseLeftDown = event->button() == Qt::LeftButton;
    FMouseDouble = false;
    TDrawGrid::mousePressEvent(event);
}

void TAlertGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    TDrawGrid::mouseDoubleClickEvent(event); // a press
    FMouseDouble = event->button() == Qt::LeftButton;
}

void TAlertGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (FMouseLeftDown && event->button() == Qt::LeftButton && !DraggingLine()) {
        const QPoint pos = event->position().toPoint();
        const bool doubleClick = FMouseDouble;
        RunGuarded("AlertGrids, TAlertGrid.MouseUp", [&] { ClickAt(pos, doubleClick); });
    }
    FCurrentSelectionType = agstNone;
    FMouseLeftDown = false;
    FMouseDouble = false;
    TDrawGrid::mouseReleaseEvent(event);
}

void TAlertGrid::SelectAlert(const TAlertRecord &alert, TAlertGridSelectionType how)
{
    FCurrentSelectionType = how;
    FCurrentAlert = alert;
    try {
        OnAlertSelected(FCurrentAlert);
    } catch (...) {
        FCurrentSelectionType = agstNone;
        throw;
    }
    FCurrentSelectionType = agstNone;
}

void TAlertGrid::ClickAt(QPoint pos, bool doubleClick)
{
    const TCellInfo info = HitTest(pos);
    if (doubleClick) {
        if (info.Zone == gzColumnHeader) {
            FitColumns();
        } else if (info.Zone == gzCell && OnAlertSelected
            && (AllowSelectionType == agstDoubleClick || AllowSelectionType == agstBoth)) {
            TAlertRecord alert;
            FList->GetAlert(info.Index, alert);
            SelectAlert(alert, agstDoubleClick);
        }
        return;
    }
    if (info.Zone != gzCell)
        return;
    TAlertRecord alert;
    FList->GetAlert(info.Index, alert);
    FPanel.SetDescriptionText(DescriptionLine(alert));
    if (info.Type == cdIcon && FSession.HelpEnabled)
        FSession.ShowHelpTopic(alert.AlertType);
    else if (OnAlertSelected
        && (AllowSelectionType == agstSingleClick || AllowSelectionType == agstBoth))
        SelectAlert(alert, agstSingleClick);
}

} // namespace kestrova
