// The owner-drawn grid's mouse and keyboard: sizing and moving lines by their header cells,
// the wheel and the scrolling keys.

#include "grid/DrawGrid.h"
#include "support/DebugLog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cstdlib>

namespace kestrova {

namespace {
constexpr int SizingReach = 2; // pixels on either side of a boundary that grab it
} // namespace

int TDrawGrid::BoundaryAt(const TGridAxis &axis, int pos, int client) const
{
    int found = -1, distance = SizingReach + 1;
    axis.ForEachShown(client, [&](int line, int start, int size) {
        const int d = std::abs(pos - (start + size));
        if (d < distance) {
            distance = d;
            found = line;
        }
    });
    return found;
}

void TDrawGrid::UpdateHoverCursor(QPoint pos)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if ((FOptions & goColSizing) && pos.y() < FRows.FixedExtent()
        && BoundaryAt(FCols, pos.x(), ClientWidth()) >= 0)
        shape = Qt::SplitHCursor;
    else if ((FOptions & goRowSizing) && pos.x() < FCols.FixedExtent()
        && BoundaryAt(FRows, pos.y(), ClientHeight()) >= 0)
        shape = Qt::SplitVCursor;
    if (viewport()->cursor().shape() != shape)
        viewport()->setCursor(shape);
}

void TDrawGrid::mousePressEvent(QMouseEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.MouseDown", [&] {
        if (event->button() != Qt::LeftButton) {
            QAbstractScrollArea::mousePressEvent(event);
            return;
        }
        setFocus(Qt::MouseFocusReason);
        const QPoint pos = event->position().toPoint();
        FDrag = {};
        FDrag.Start = pos;
        if ((FOptions & goColSizing) && pos.y() < FRows.FixedExtent()) {
            FDrag.Line = BoundaryAt(FCols, pos.x(), ClientWidth());
            if (FDrag.Line >= 0) {
                FDrag.Kind = TDrag::SizeCol;
                return;
            }
        }
        if ((FOptions & goRowSizing) && pos.x() < FCols.FixedExtent()) {
            FDrag.Line = BoundaryAt(FRows, pos.y(), ClientHeight());
            if (FDrag.Line >= 0) {
                FDrag.Kind = TDrag::SizeRow;
                return;
            }
        }
        const TGridCoord cell = MouseToCell(pos);
        if ((FOptions & goColMoving) && cell.Y >= 0 && cell.Y < FixedRows()
            && cell.X >= FixedCols()) {
            FDrag = { TDrag::Armed, cell.X, cell.X, pos, true };
        } else if ((FOptions & goRowMoving) && cell.X >= 0 && cell.X < FixedCols()
            && cell.Y >= FixedRows()) {
            FDrag = { TDrag::Armed, cell.Y, cell.Y, pos, false };
        }
    });
}

void TDrawGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void TDrawGrid::mouseMoveEvent(QMouseEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.MouseMove", [&] {
        const QPoint pos = event->position().toPoint();
        switch (FDrag.Kind) {
        case TDrag::None:
            UpdateHoverCursor(pos);
            return;
        case TDrag::SizeCol:
            if (const int start = FCols.LineStart(FDrag.Line, ClientWidth()); start >= 0)
                SetColWidth(FDrag.Line, std::max(1, pos.x() - start));
            return;
        case TDrag::SizeRow:
            if (const int start = FRows.LineStart(FDrag.Line, ClientHeight()); start >= 0)
                SetRowHeight(FDrag.Line, std::max(1, pos.y() - start));
            return;
        case TDrag::Armed:
            if ((pos - FDrag.Start).manhattanLength() < QApplication::startDragDistance())
                return;
            FDrag.Kind = FDrag.Col ? TDrag::MoveCol : TDrag::MoveRow;
            viewport()->setCursor(Qt::ClosedHandCursor);
            [[fallthrough]];
        case TDrag::MoveCol:
        case TDrag::MoveRow: {
            const bool col = FDrag.Kind == TDrag::MoveCol;
            const TGridAxis &axis = col ? FCols : FRows;
            const int client = col ? ClientWidth() : ClientHeight();
            const int at = col ? pos.x() : pos.y();
            int target = axis.LineAt(at, client);
            if (target < 0)
                target = at < 0 ? axis.First() : axis.Count() - 1;
            target = std::max(target, axis.Fixed());
            if (target != FDrag.Target) {
                FDrag.Target = target;
                viewport()->update();
            }
            return;
        }
        }
    });
}

void TDrawGrid::mouseReleaseEvent(QMouseEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.MouseUp", [&] {
        if (event->button() != Qt::LeftButton) {
            QAbstractScrollArea::mouseReleaseEvent(event);
            return;
        }
        const TDrag drag = FDrag;
        FDrag = {};
        switch (drag.Kind) {
        case TDrag::SizeCol:
            ColWidthsChanged();
            break;
        case TDrag::SizeRow:
            RowHeightsChanged();
            break;
        case TDrag::MoveCol:
        case TDrag::MoveRow:
            viewport()->unsetCursor();
            if (drag.Kind == TDrag::MoveCol)
                MoveColumn(drag.Line, drag.Target);
            else
                MoveRow(drag.Line, drag.Target);
            viewport()->update();
            break;
        case TDrag::None:
        case TDrag::Armed:
            break;
        }
    });
}

void TDrawGrid::wheelEvent(QWheelEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.MouseWheel", [&] {
        const QPoint delta = event->angleDelta();
        const int steps = -(delta.y() != 0 ? delta.y() : delta.x()) / 40; // three lines a notch
        if (steps == 0) {
            event->ignore();
            return;
        }
        const bool rowsScroll = VisibleRowCount() + FixedRows() < RowCount();
        if (delta.y() != 0 && rowsScroll)
            SetTopRow(TopRow() + steps);
        else
            SetLeftCol(LeftCol() + steps);
        event->accept();
    });
}

void TDrawGrid::keyPressEvent(QKeyEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.KeyDown", [&] {
        switch (event->key()) {
        case Qt::Key_Up:
            SetTopRow(TopRow() - 1);
            break;
        case Qt::Key_Down:
            SetTopRow(TopRow() + 1);
            break;
        case Qt::Key_PageUp:
            SetTopRow(TopRow() - std::max(1, VisibleRowCount()));
            break;
        case Qt::Key_PageDown:
            SetTopRow(TopRow() + std::max(1, VisibleRowCount()));
            break;
        case Qt::Key_Home:
            SetTopRow(FixedRows());
            SetLeftCol(FixedCols());
            break;
        case Qt::Key_End:
            SetTopRow(RowCount());
            SetLeftCol(ColCount());
            break;
        case Qt::Key_Left:
            SetLeftCol(LeftCol() - 1);
            break;
        case Qt::Key_Right:
            SetLeftCol(LeftCol() + 1);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
        }
    });
}

} // namespace kestrova
