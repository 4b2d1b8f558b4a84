#pragma once
// TDrawGrid: an owner-drawn grid on a scroll area. Rows and columns each have a count, fixed
// (header) lines at their start, a default size and per-line sizes; the scrollable part shows
// rows from TopRow and columns from LeftCol, and the scroll bars move by whole lines. DrawCell
// paints every cell. The user sizes lines by dragging the boundaries of header cells and moves
// them by dragging header cells.
//
// Repainting is economical: between BeginUpdate and EndUpdate nothing is painted; EndUpdate
// compares the lines on screen before and after by their LineIdentity, moves the pixels of the
// lines that only moved and repaints the rest. Scrolling goes the same way. GUI thread only.

#include "grid/DrawGridAxis.h"

#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrova {

enum TGridOption : unsigned {
    goFixedVertLine = 1,
    goFixedHorzLine = 2,
    goVertLine = 4,
    goHorzLine = 8,
    goRowSizing = 16,
    goColSizing = 32,
    goRowMoving = 64,
    goColMoving = 128,
};
using TGridOptions = unsigned;

// A cell: X is the column, Y the row; -1 for none.
struct TGridCoord
{
    int X = -1;
    int Y = -1;
    bool operator==(const TGridCoord &) const = default;
};

enum TGridDrawState : unsigned { gdFixed = 1 };

class TDrawGrid : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TDrawGrid(QWidget *parent = nullptr);
    ~TDrawGrid() override;

    int ColCount() const { return FCols.Count(); }
    void SetColCount(int count);
    int RowCount() const { return FRows.Count(); }
    void SetRowCount(int count);
    int FixedCols() const { return FCols.Fixed(); }
    void SetFixedCols(int count);
    int FixedRows() const { return FRows.Fixed(); }
    void SetFixedRows(int count);

    int DefaultColWidth() const { return FCols.DefaultSize(); }
    // Gives every column this width.
    void SetDefaultColWidth(int width);
    int DefaultRowHeight() const { return FRows.DefaultSize(); }
    void SetDefaultRowHeight(int height);
    int ColWidth(int col) const { return FCols.Size(col); }
    void SetColWidth(int col, int width);
    int RowHeight(int row) const { return FRows.Size(row); }
    void SetRowHeight(int row, int height);

    TGridOptions Options() const { return FOptions; }
    void SetOptions(TGridOptions options);
    // 1 while any grid line is shown, else 0.
    int GridLineWidth() const { return FCols.LineWidth(); }

    int TopRow() const { return FRows.First(); }
    // Kept between the fixed rows and the last top row from which the last row is shown whole.
    void SetTopRow(int row);
    int LeftCol() const { return FCols.First(); }
    void SetLeftCol(int col);
    // Whether rows (columns) scrolled to their end end flush with the client's end, the row
    // (column) before TopRow (LeftCol) then showing in part (see TGridAxis).
    void SetEndAnchored(bool rows, bool cols);
    // Scrollable rows (columns) shown whole from TopRow (LeftCol).
    int VisibleRowCount() const { return FRows.VisibleCount(ClientHeight()); }
    int VisibleColCount() const { return FCols.VisibleCount(ClientWidth()); }
    int ClientWidth() const;
    int ClientHeight() const;

    // The cell under a viewport position, or {-1, -1} outside the cells shown.
    TGridCoord MouseToCell(QPoint pos) const;
    // A cell's rectangle in viewport coordinates (grid lines excluded); empty when not shown.
    QRect CellRect(int col, int row) const;

    void InvalidateCell(int col, int row);
    void InvalidateCol(int col);
    void InvalidateRow(int row);
    void InvalidateGrid();

    // Moves a line with its size, then tells ColumnMoved / RowMoved.
    void MoveColumn(int from, int to);
    void MoveRow(int from, int to);
    // Moves the line to the end and drops it (a grid keeps at least one line).
    virtual void DeleteColumn(int col);
    virtual void DeleteRow(int row);

    // Nothing is painted until the outermost EndUpdate, which repaints what changed.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateDepth > 0; }

    // Which lines carry content that moves as a whole (rows by default): these lines are
    // compared by LineIdentity when repainting.
    void SetContentAxis(Qt::Orientation axis);

    QColor Color = Qt::white; // scrollable cells and the area past the last line
    QColor FixedColor; // header cells
    QColor LineColor;

    // Called by the default DrawCell for every cell.
    std::function<void(QPainter &, int col, int row, const QRect &, unsigned state)> OnDrawCell;

protected:
    // Paints one cell inside rect (grid lines excluded).
    virtual void DrawCell(QPainter &painter, int col, int row, const QRect &rect, unsigned state);
    virtual void ColumnMoved(int from, int to);
    virtual void RowMoved(int from, int to);
    // The user finished sizing a column (row) by dragging.
    virtual void ColWidthsChanged() { }
    virtual void RowHeightsChanged() { }
    // What a content line shows, so that unchanged content is moved instead of painted: equal
    // identities before and after a change mean equal pixels. Negative means unknown (always
    // painted). The default is the line number (content is fixed to its line).
    virtual int64_t LineIdentity(int line) const { return line; }
    // The viewport's size changed.
    virtual void GridResized() { }
    // TopRow or LeftCol changed.
    virtual void TopLeftChanged() { }

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // True while the mouse is sizing or moving a line (such a press is no click on a cell).
    bool DraggingLine() const { return FDrag.Kind != TDrag::None && FDrag.Kind != TDrag::Armed; }

private:
    struct TShownLine
    {
        int64_t Identity;
        int Start;
        int Size;
    };
    // What the screen showed when the outermost BeginUpdate ran.
    struct TSnapshot
    {
        bool Valid = false;
        std::vector<TShownLine> Content;
        std::vector<int> Other; // the other axis: first line, count, fixed, shown starts and sizes
        QSize Client;
        int ContentFixedExtent = 0;
    };
    struct TDrag
    {
        enum TKind { None, Armed, SizeCol, SizeRow, MoveCol, MoveRow } Kind = None;
        int Line = -1;
        int Target = -1;
        QPoint Start;
        bool Col = true; // armed for moving a column (else a row)
    };

    TGridAxis &ContentAxis() { return FContentIsRows ? FRows : FCols; }
    const TGridAxis &ContentAxis() const { return FContentIsRows ? FRows : FCols; }
    const TGridAxis &OtherAxis() const { return FContentIsRows ? FCols : FRows; }
    int ContentClient() const { return FContentIsRows ? ClientHeight() : ClientWidth(); }
    int OtherClient() const { return FContentIsRows ? ClientWidth() : ClientHeight(); }
    TSnapshot TakeSnapshot() const;
    void RepaintChanges(const TSnapshot &before);
    void InvalidateContentBand(int start, int end);
    void ReclampTopLeft();
    void SyncScrollBars();
    void LayoutChanged();
    void PaintGridLines(QPainter &painter, const QRect &area);
    // The line whose trailing boundary is within reach of pos, for sizing; -1 if none.
    int BoundaryAt(const TGridAxis &axis, int pos, int client) const;
    void UpdateHoverCursor(QPoint pos);

    TGridAxis FRows, FCols;
    TGridOptions FOptions = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine;
    bool FContentIsRows = true;
    int FUpdateDepth = 0;
    bool FRepaintAll = false;
    TSnapshot FBefore;
    bool FSyncingScrollBars = false;
    TDrag FDrag;
};

} // namespace kestrova
