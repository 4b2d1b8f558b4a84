// The owner-drawn grid: line counts and sizes, scrolling, economical repainting and painting.

#include "grid/DrawGrid.h"

#include "support/DebugLog.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <unordered_map>

namespace kestrova {

TDrawGrid::TDrawGrid(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    FixedColor = palette().color(QPalette::Button);
    LineColor = QColor(0xC0, 0xC0, 0xC0);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FCols.SetCount(5);
    FRows.SetCount(5);
    FCols.SetDefaultSize(64);
    FRows.SetDefaultSize(24);
    FCols.SetFixed(1);
    FRows.SetFixed(1);
    SyncScrollBars();
}

TDrawGrid::~TDrawGrid() = default;

int TDrawGrid::ClientWidth() const
{
    return viewport()->width();
}

int TDrawGrid::ClientHeight() const
{
    return viewport()->height();
}

// ---- lines ----

void TDrawGrid::SetColCount(int count)
{
    BeginUpdate();
    FCols.SetCount(count);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetRowCount(int count)
{
    BeginUpdate();
    FRows.SetCount(count);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetFixedCols(int count)
{
    BeginUpdate();
    FCols.SetFixed(count);
    ReclampTopLeft();
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::SetFixedRows(int count)
{
    BeginUpdate();
    FRows.SetFixed(count);
    ReclampTopLeft();
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::SetDefaultColWidth(int width)
{
    BeginUpdate();
    FCols.SetDefaultSize(width);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetDefaultRowHeight(int height)
{
    BeginUpdate();
    FRows.SetDefaultSize(height);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetColWidth(int col, int width)
{
    if (col < 0 || col >= ColCount() || width == ColWidth(col))
        return;
    BeginUpdate();
    FCols.SetSize(col, width);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= RowCount() || height == RowHeight(row))
        return;
    BeginUpdate();
    FRows.SetSize(row, height);
    ReclampTopLeft();
    EndUpdate();
}

void TDrawGrid::SetOptions(TGridOptions options)
{
    BeginUpdate();
    FOptions = options;
    const int lines = options & (goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine);
    FCols.SetLineWidth(lines ? 1 : 0);
    FRows.SetLineWidth(lines ? 1 : 0);
    ReclampTopLeft();
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::SetContentAxis(Qt::Orientation axis)
{
    BeginUpdate();
    FContentIsRows = axis == Qt::Vertical;
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::MoveColumn(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= ColCount() || to >= ColCount())
        return;
    BeginUpdate();
    FCols.Move(from, to);
    ColumnMoved(from, to);
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::MoveRow(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= RowCount() || to >= RowCount())
        return;
    BeginUpdate();
    FRows.Move(from, to);
    RowMoved(from, to);
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::ColumnMoved(int, int) { }

void TDrawGrid::RowMoved(int, int) { }

void TDrawGrid::DeleteColumn(int col)
{
    if (col < 0 || col >= ColCount() || ColCount() <= 1)
        return;
    BeginUpdate();
    MoveColumn(col, ColCount() - 1);
    SetColCount(ColCount() - 1);
    EndUpdate();
}

void TDrawGrid::DeleteRow(int row)
{
    if (row < 0 || row >= RowCount() || RowCount() <= 1)
        return;
    BeginUpdate();
    MoveRow(row, RowCount() - 1);
    SetRowCount(RowCount() - 1);
    EndUpdate();
}

// ---- scrolling ----

void TDrawGrid::SetTopRow(int row)
{
    const int before = TopRow();
    BeginUpdate();
    FRows.SetFirst(row, ClientHeight());
    EndUpdate();
    if (TopRow() != before)
        TopLeftChanged();
}

void TDrawGrid::SetLeftCol(int col)
{
    const int before = LeftCol();
    BeginUpdate();
    FCols.SetFirst(col, ClientWidth());
    EndUpdate();
    if (LeftCol() != before)
        TopLeftChanged();
}

void TDrawGrid::SetEndAnchored(bool rows, bool cols)
{
    BeginUpdate();
    FRows.SetEndAnchored(rows);
    FCols.SetEndAnchored(cols);
    FRepaintAll = true;
    EndUpdate();
}

void TDrawGrid::ReclampTopLeft()
{
    FRows.SetFirst(FRows.First(), ClientHeight());
    FCols.SetFirst(FCols.First(), ClientWidth());
}

void TDrawGrid::SyncScrollBars()
{
    FSyncingScrollBars = true;
    QScrollBar *v = verticalScrollBar();
    v->setRange(FixedRows(), FRows.MaxFirst(ClientHeight()));
    v->setPageStep(std::max(1, VisibleRowCount()));
    v->setValue(TopRow());
    QScrollBar *h = horizontalScrollBar();
    h->setRange(FixedCols(), FCols.MaxFirst(ClientWidth()));
    h->setPageStep(std::max(1, VisibleColCount()));
    h->setValue(LeftCol());
    FSyncingScrollBars = false;
}

void TDrawGrid::scrollContentsBy(int, int)
{
    RunGuarded("DrawGrid, TDrawGrid.Scroll", [&] {
        if (FSyncingScrollBars)
            return;
        SetTopRow(verticalScrollBar()->value());
        SetLeftCol(horizontalScrollBar()->value());
    });
}

void TDrawGrid::resizeEvent(QResizeEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.Resize", [&] {
        QAbstractScrollArea::resizeEvent(event);
        ReclampTopLeft();
        SyncScrollBars();
        GridResized();
        viewport()->update();
    });
}

// ---- repainting what changed ----

void TDrawGrid::BeginUpdate()
{
    if (FUpdateDepth++ == 0) {
        FRepaintAll = false;
        FBefore = TakeSnapshot();
    }
}

void TDrawGrid::EndUpdate()
{
    if (FUpdateDepth <= 0 || --FUpdateDepth > 0)
        return;
    SyncScrollBars();
    if (FRepaintAll)
        viewport()->update();
    else
        RepaintChanges(FBefore);
    FBefore = {};
}

void TDrawGrid::InvalidateGrid()
{
    if (Updating())
        FRepaintAll = true;
    else
        viewport()->update();
}

void TDrawGrid::InvalidateCell(int col, int row)
{
    if (Updating()) {
        FRepaintAll = true;
        return;
    }
    const QRect r = CellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r.adjusted(0, 0, GridLineWidth(), GridLineWidth()));
}

void TDrawGrid::InvalidateCol(int col)
{
    if (Updating()) {
        FRepaintAll = true;
        return;
    }
    const int x = FCols.LineStart(col, ClientWidth());
    if (x >= 0)
        viewport()->update(QRect(x, 0, FCols.Extent(col), ClientHeight()));
}

void TDrawGrid::InvalidateRow(int row)
{
    if (Updating()) {
        FRepaintAll = true;
        return;
    }
    const int y = FRows.LineStart(row, ClientHeight());
    if (y >= 0)
        viewport()->update(QRect(0, y, ClientWidth(), FRows.Extent(row)));
}

TDrawGrid::TSnapshot TDrawGrid::TakeSnapshot() const
{
    TSnapshot s;
    s.Valid = true;
    s.Client = viewport()->size();
    const TGridAxis &content = ContentAxis();
    const TGridAxis &other = OtherAxis();
    s.ContentFixedExtent = content.FixedExtent();
    content.ForEachShown(ContentClient(), [&](int line, int start, int size) {
        if (line >= content.Fixed())
            s.Content.push_back({ LineIdentity(line), start, size });
        else
            s.Other.push_back(size);
    });
    s.Other.insert(s.Other.end(), { other.First(), other.Count(), other.Fixed(), -1 });
    other.ForEachShown(OtherClient(), [&](int, int start, int size) {
        s.Other.push_back(start);
        s.Other.push_back(size);
    });
    return s;
}

void TDrawGrid::InvalidateContentBand(int start, int end)
{
    if (end <= start)
        return;
    if (FContentIsRows)
        viewport()->update(QRect(0, start, ClientWidth(), end - start));
    else
        viewport()->update(QRect(start, 0, end - start, ClientHeight()));
}

void TDrawGrid::RepaintChanges(const TSnapshot &before)
{
    const TSnapshot after = TakeSnapshot();
    if (!before.Valid || before.Client != after.Client || before.Other != after.Other
        || before.ContentFixedExtent != after.ContentFixedExtent) {
        viewport()->update();
        return;
    }
    // Where each line shown now was shown before, and the shift most of them share.
    std::unordered_map<int64_t, const TShownLine *> was;
    for (const TShownLine &line : before.Content)
        if (line.Identity >= 0)
            was.emplace(line.Identity, &line);
    std::vector<int> shift(after.Content.size(), INT32_MIN);
    std::unordered_map<int, int> votes;
    for (size_t i = 0; i < after.Content.size(); ++i) {
        const TShownLine &line = after.Content[i];
        const auto found = line.Identity >= 0 ? was.find(line.Identity) : was.end();
        if (found != was.end() && found->second->Size == line.Size) {
            shift[i] = line.Start - found->second->Start;
            ++votes[shift[i]];
        }
    }
    int moved = 0, best = 0;
    for (const auto &[delta, count] : votes)
        if (count > best || (count == best && delta == 0)) {
            moved = delta;
            best = count;
        }
    const int lineWidth = ContentAxis().LineWidth();
    const int fixed = after.ContentFixedExtent;
    if (moved != 0) {
        if (FContentIsRows)
            viewport()->scroll(
                0, moved, QRect(0, fixed, ClientWidth(), std::max(0, ClientHeight() - fixed)));
        else
            viewport()->scroll(
                moved, 0, QRect(fixed, 0, std::max(0, ClientWidth() - fixed), ClientHeight()));
    }
    int end = fixed;
    for (size_t i = 0; i < after.Content.size(); ++i) {
        const TShownLine &line = after.Content[i];
        if (shift[i] != moved)
            InvalidateContentBand(line.Start, line.Start + line.Size + lineWidth);
        end = line.Start + line.Size + lineWidth;
    }
    InvalidateContentBand(end, ContentClient());
}

// ---- geometry ----

TGridCoord TDrawGrid::MouseToCell(QPoint pos) const
{
    const int col = FCols.LineAt(pos.x(), ClientWidth());
    const int row = FRows.LineAt(pos.y(), ClientHeight());
    if (col < 0 || row < 0)
        return {};
    return { col, row };
}

QRect TDrawGrid::CellRect(int col, int row) const
{
    const int x = FCols.LineStart(col, ClientWidth());
    const int y = FRows.LineStart(row, ClientHeight());
    if (x < 0 || y < 0)
        return {};
    return QRect(x, y, FCols.Size(col), FRows.Size(row));
}

// ---- painting ----

void TDrawGrid::DrawCell(QPainter &painter, int col, int row, const QRect &rect, unsigned state)
{
    if (OnDrawCell)
        OnDrawCell(painter, col, row, rect, state);
    else
        painter.fillRect(rect, (state & gdFixed) ? FixedColor : Color);
}

void TDrawGrid::paintEvent(QPaintEvent *event)
{
    RunGuarded("DrawGrid, TDrawGrid.Paint", [&] {
        QPainter painter(viewport());
        const QRegion &region = event->region();
        const QRect area = event->rect();
        const int width = ClientWidth(), height = ClientHeight();
        struct TLine
        {
            int Index, Start, Size;
        };
        std::vector<TLine> cols;
        FCols.ForEachShown(width, [&](int line, int start, int size) {
            if (start <= area.right() && start + size >= area.left())
                cols.push_back({ line, start, size });
        });
        // A scrollable line shown in part starts under the fixed lines: it is clipped to
        // the scrolling area so that the headers stay whole.
        const int fixedRight = FCols.FixedExtent(), fixedBottom = FRows.FixedExtent();
        FRows.ForEachShown(height, [&](int row, int y, int h) {
            if (y > area.bottom() || y + h < area.top())
                return;
            for (const TLine &c : cols) {
                const QRect cell(c.Start, y, c.Size, h);
                if (!region.intersects(cell))
                    continue;
                const bool fixed = row < FixedRows() || c.Index < FixedCols();
                const int left = c.Index >= FixedCols() ? std::max(c.Start, fixedRight) : c.Start;
                const int top = row >= FixedRows() ? std::max(y, fixedBottom) : y;
                const bool inPart = left != c.Start || top != y;
                if (inPart) {
                    painter.save();
                    painter.setClipRect(QRect(QPoint(left, top), cell.bottomRight()));
                }
                DrawCell(painter, c.Index, row, cell, fixed ? unsigned(gdFixed) : 0u);
                if (inPart)
                    painter.restore();
            }
        });
        PaintGridLines(painter, area);
        const int right = FCols.ShownEnd(width), bottom = FRows.ShownEnd(height);
        if (right < width)
            painter.fillRect(QRect(right, 0, width - right, height), Color);
        if (bottom < height)
            painter.fillRect(QRect(0, bottom, right, height - bottom), Color);
        if (FDrag.Kind == TDrag::MoveCol || FDrag.Kind == TDrag::MoveRow) {
            const bool col = FDrag.Kind == TDrag::MoveCol;
            const TGridAxis &axis = col ? FCols : FRows;
            const int client = col ? width : height;
            int at = axis.LineStart(FDrag.Target, client);
            if (at >= 0) {
                if (FDrag.Target > FDrag.Line)
                    at += axis.Size(FDrag.Target);
                painter.fillRect(col ? QRect(at - 1, 0, 3, bottom) : QRect(0, at - 1, right, 3),
                    palette().color(QPalette::Highlight));
            }
        }
    });
}

void TDrawGrid::PaintGridLines(QPainter &painter, const QRect &area)
{
    const int lineWidth = GridLineWidth();
    if (lineWidth == 0)
        return;
    const int width = ClientWidth(), height = ClientHeight();
    const int right = FCols.ShownEnd(width), bottom = FRows.ShownEnd(height);
    const int fixedBottom = std::min(FRows.FixedExtent(), bottom);
    const int fixedRight = std::min(FCols.FixedExtent(), right);
    const QColor fixedLine = palette().color(QPalette::Dark);
    const auto lineColor = [&](bool fixed, TGridOptions option) {
        if (FOptions & option)
            return fixed ? fixedLine : LineColor;
        return fixed ? FixedColor : Color;
    };
    FCols.ForEachShown(width, [&](int col, int x0, int size) {
        const int x = x0 + size;
        if (x < area.left() - lineWidth || x > area.right())
            return;
        const bool fixedCol = col < FixedCols();
        painter.fillRect(QRect(x, 0, lineWidth, fixedBottom), lineColor(true, goFixedVertLine));
        painter.fillRect(QRect(x, fixedBottom, lineWidth, bottom - fixedBottom),
            lineColor(fixedCol, fixedCol ? goFixedVertLine : goVertLine));
    });
    FRows.ForEachShown(height, [&](int row, int y0, int size) {
        const int y = y0 + size;
        if (y < area.top() - lineWidth || y > area.bottom())
            return;
        const bool fixedRow = row < FixedRows();
        painter.fillRect(QRect(0, y, fixedRight, lineWidth), lineColor(true, goFixedHorzLine));
        painter.fillRect(QRect(fixedRight, y, right - fixedRight, lineWidth),
            lineColor(fixedRow, fixedRow ? goFixedHorzLine : goHorzLine));
    });
}

} // namespace kestrova
