// The alert grid's cells: what each shows and what a click on it does.

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "support/DebugLog.h"

#include <QMouseEvent>

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
