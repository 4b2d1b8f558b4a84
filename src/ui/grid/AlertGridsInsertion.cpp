// The alert grid's dynamic side: arriving batches, keeping the scroll position, the write-over
// cursor, the window name, and what each line shows for economical repainting.

#include "grid/AlertGrids.h"
#include "support/DebugLog.h"

namespace kestrova {

TLineMap TAlertGrid::LineMap() const
{
    return { FDirection, FViewMode, FList->Count(), VisibleDataLines(), FWriteCursor };
}

int TAlertGrid::VisibleDataLines() const
{
    return std::max(1, IsVertical(FDirection) ? VisibleRowCount() : VisibleColCount());
}

int TAlertGrid::AlertIndexAt(int col, int row) const
{
    return AlertIndexOnLine(LineMap(), IsVertical(FDirection) ? row : col);
}

// ---- the write-over cursor ----

void TAlertGrid::ResetWriteCursorNow()
{
    FWriteCursor = ResetWriteCursor(FDirection, VisibleDataLines());
}

void TAlertGrid::RefreshWriteOverLayout()
{
    BeginUpdate();
    SizeToContent(SaveScrollPosition());
    if (FViewMode == vmWriteOver && (FWriteCursor < 0 || FWriteCursor > VisibleDataLines()))
        ResetWriteCursorNow();
    EndUpdate();
}

void TAlertGrid::GridResized()
{
    RunGuarded("AlertGrids, TAlertGrid.Resize", [this] {
        BeginUpdate();
        FitAlertColumns();
        RefreshWriteOverLayout();
        EndUpdate();
    });
}

// ---- the scroll position ----

int TAlertGrid::SaveScrollPosition() const
{
    if (FViewMode != vmNewestFirst)
        return 0;
    return IsVertical(FDirection)
        ? ScrollPosition(FDirection, FList->Count(), TopRow(), VisibleRowCount())
        : ScrollPosition(FDirection, FList->Count(), LeftCol(), VisibleColCount());
}

void TAlertGrid::RestoreScrollPosition(int p)
{
    if (FViewMode != vmNewestFirst)
        return;
    if (IsVertical(FDirection))
        SetTopRow(FirstLineForPosition(FDirection, FList->Count(), VisibleRowCount(), p));
    else
        SetLeftCol(FirstLineForPosition(FDirection, FList->Count(), VisibleColCount(), p));
}

void TAlertGrid::SizeToContent(int p)
{
    const bool vertical = IsVertical(FDirection);
    const int client = vertical ? ClientHeight() : ClientWidth();
    const int lineSize = std::max(1, vertical ? DefaultRowHeight() : DefaultColWidth());
    const int fixed = vertical ? FixedRows() : FixedCols();
    // Lines that fit: rows at the default height less the header row; columns as
    // FitAlertColumns shares the width out, with the header column.
    const int lines = vertical ? client / lineSize - 1
                               : fixed
            + std::max(0, client - ColWidth(0) - GridLineWidth()) / (lineSize + GridLineWidth());
    const auto count = [&] { return vertical ? RowCount() : ColCount(); };
    const auto setCount = [&](int n) { vertical ? SetRowCount(n) : SetColCount(n); };
    BeginUpdate();
    if (FViewMode == vmWriteOver)
        setCount(std::max(fixed + 1, lines));
    else
        setCount(std::max(1, FList->Count()) + 1);
    if (FViewMode == vmNewestFirst) {
        const int visible = vertical ? VisibleRowCount() : VisibleColCount();
        if (visible + fixed != count()) {
            if (count() < p)
                p = 0;
            // With room past the end the first line can be placed freely; cutting the lines
            // back then keeps it as near as it can.
            const int page = std::max(1, lines);
            setCount(count() + 3 * page);
            vertical ? SetTopRow(count() - page) : SetLeftCol(count() - page);
            RestoreScrollPosition(p);
            setCount(count() - 3 * page);
        } else {
            RestoreScrollPosition(p);
        }
    }
    EndUpdate();
}

// ---- arriving alerts ----

void TAlertGrid::AlertsArrived(const TAlertRecords &records, bool isHistory)
{
    if (isHistory == FRealTime)
        return;
    const THistoryState state = FConnection->HistoryState();
    FMoreEnabled = state == hsMoreAvailable;
    FTimeFrameEnabled = state != hsRequested;
    RefreshWindowName();

    if (records.empty()) { // a clock tick: only the ages change
        for (int line = 0; line < static_cast<int>(FDataTypes.size()); ++line)
            if (FDataTypes[static_cast<size_t>(line)] == cdAge)
                IsVertical(FDirection) ? InvalidateCol(line) : InvalidateRow(line);
        return;
    }

    const int n = static_cast<int>(records.size());
    BeginUpdate();
    try {
        int p = SaveScrollPosition();
        if (FList->HistoryMode() != isHistory) { // the list empties itself
            ++FGeneration;
            FLiveSerial = 0;
        }
        if (FViewMode == vmGroupSortBy || FViewMode == vmGroupNewestSymbols)
            ++FGeneration; // lines are reordered and re-highlighted
        FList->AddAlerts(records, isHistory);
        if (!isHistory)
            FLiveSerial += n;
        FWriteCursor = AdvanceWriteCursor(FDirection, FWriteCursor, n, VisibleDataLines());
        if (p <= 0)
            p = 0;
        else if (!isHistory)
            p += n;
        SizeToContent(p);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();

    if (!OnEachAlert)
        return;
    const char *location
        = isHistory ? "AlertGrids, OnEachAlert, Historical" : "AlertGrids, OnEachAlert, Realtime";
    for (int i = 0; i < n; ++i) {
        FCurrentAlert = records[static_cast<size_t>(isHistory ? i : n - 1 - i)];
        RunGuarded(location, [this] {
            if (OnEachAlert)
                OnEachAlert(FCurrentAlert);
        });
    }
}

int64_t TAlertGrid::LineIdentity(int line) const
{
    const int index = AlertIndexOnLine(LineMap(), line);
    if (!FList->IsValidIndex(index))
        return -1;
    // Live alerts keep their arrival number while newer ones push them along the list; history
    // is appended. Grouped views reorder, and FGeneration changes with every batch there.
    int64_t id = index;
    bool highlighted = false;
    if (FViewMode == vmNewestFirst || FViewMode == vmWriteOver) {
        if (!FList->HistoryMode())
            id = FLiveSerial - index;
        highlighted = FViewMode == vmWriteOver && FList->IsFromLastBatch(index);
    }
    constexpr int64_t IdBits = (int64_t(1) << 40) - 1;
    return static_cast<int64_t>((FGeneration & 0x3FFFFF) << 41)
        | (highlighted ? int64_t(1) << 40 : 0) | (id & IdBits);
}

// ---- names ----

void TAlertGrid::RefreshWindowName()
{
    const std::string name = WindowNameFor(FConnection->HistoryState(), FBaseWindowName);
    if (name == FWindowName)
        return;
    FWindowName = name;
    if (OnWindowNameChanged)
        OnWindowNameChanged();
}

void TAlertGrid::ConfigChanged()
{
    if (FConnection->WindowName() != FBaseWindowName) {
        FBaseWindowName = FConnection->WindowName();
        RefreshWindowName();
    }
    if (OnDataConfigChanged)
        OnDataConfigChanged();
}

} // namespace kestrova
