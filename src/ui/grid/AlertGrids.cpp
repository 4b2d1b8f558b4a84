// The alert grid: creation, configuration strings, direction, view mode, data types, layout.

#include "grid/AlertGrids.h"

#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsMenus.h"
#include "grid/AlertGridsPainters.h"
#include "grid/AlertPanel.h"
#include "icons/AlertIcons.h"
#include "support/DebugLog.h"

#include <QEvent>
#include <cmath>

namespace kestrova {

namespace {
int LiveGrids = 0;
} // namespace

const char *const TAlertGrid::DefaultWindowConfig
    = "B,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2";

int TAlertGrid::LiveGridCount()
{
    return LiveGrids;
}

TAlertGrid::TAlertGrid(TAlertPanel &owner, TAllAlertsConnection &session)
    : TDrawGrid(&owner)
    , FPanel(owner)
    , FSession(session)
    , FList(std::make_unique<TSortableAlertList>())
{
    ++LiveGrids;
    RegisterDefaultsListener(this);
    SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRowSizing
        | goColSizing | goRowMoving | goColMoving);
    SetRowCount(2);
    SetFixedRows(1);
    SetFixedCols(0);
    SetColCount(1);
    FDataTypes = { cdIcon };
    SetContentAxis(Qt::Vertical);

    FConnection = std::make_unique<TAlertWindowConnection>(session);
    FConnection->OnAlerts = [this](const TAlertRecords &records, bool isHistory) {
        RunGuarded(
            "AlertGrids, TAlertGrid.AlertsArrived", [&] { AlertsArrived(records, isHistory); });
    };
    FConnection->OnConfigChanged = [this] {
        RunGuarded("AlertGrids, TAlertGrid.ConfigChanged", [this] { ConfigChanged(); });
    };
    FConnection->OnGeneralInfo = [this] {
        RunGuarded("AlertGrids, TAlertGrid.GeneralInfoChanged", [this] { GeneralInfoChanged(); });
    };
    for (int type = 0; type < DataTypeCount; ++type)
        FRenderers[static_cast<size_t>(type)] = CellRendererFor(type);
    if (TIconCache *icons = IconSource())
        icons->RegisterIconViewer(viewport());
    FMenus = std::make_unique<TAlertGridMenus>(*this);
    FConnection->AlertsHeld = [this] { return static_cast<size_t>(FList->Count()); };
    LoadFormatting();
    SetWindowConfig(DefaultWindowConfig);
    SetViewMode(vmNewestFirst, cdBlank);
    owner.SetBacktestButtonHandler([this] { QuorixButtonClicked(); });
}

TAlertGrid::~TAlertGrid()
{
    CloseDialogs();
    FMenus.reset();
    UnregisterDefaultsListener(this);
    if (FIcons)
        FIcons->UnregisterIconViewer(viewport());
    else
        UnregisterIconViewer(viewport()); // the process-wide cache, if any
    FConnection.reset();
    FList.reset();
    --LiveGrids;
}

void TAlertGrid::DefaultsChanged()
{
    InvalidateGrid(); // times are shown with the new offset and formats
}

void TAlertGrid::LoadFormatting()
{
    const PXmlNode info = FSession.GeneralInfo();
    if (FormattingTable().Load(info ? info->ChildNamed("FORMATTING") : nullptr))
        InvalidateGrid();
}

void TAlertGrid::GeneralInfoChanged()
{
    LoadFormatting();
    InvalidateGrid();
}

// ---- configuration strings ----

std::string TAlertGrid::DataConfig() const
{
    return FConnection->Config();
}

void TAlertGrid::SetDataConfig(const std::string &value)
{
    std::string config = value;
    if (const size_t mark = config.find('?'); mark != std::string::npos) {
        config.erase(0, mark + 1);
        if (config.find('?') != std::string::npos)
            return;
    }
    if (config.empty())
        return;
    FConnection->SetConfig(config);
    if (!FRealTime)
        ToggleRealTime(false);
}

std::string TAlertGrid::WindowConfig() const
{
    TWindowLayout layout;
    const bool vertical = IsVertical(FDirection);
    for (size_t i = 0; i < FDataTypes.size(); ++i) {
        const int line = static_cast<int>(i);
        layout.Entries.push_back({ FDataTypes[i], vertical ? ColWidth(line) : RowHeight(line) });
    }
    layout.Direction = FDirection;
    layout.Scheme = SchemeNumber(FSchemeName);
    layout.DescriptionHeight = FPanel.DescriptionHeight();
    layout.BacktestHeight = FPanel.BacktestHeight();
    layout.ViewMode = FViewMode;
    layout.SortKey = FSortKey;
    return FormatWindowConfig(layout);
}

void TAlertGrid::SetWindowConfig(const std::string &value)
{
    std::optional<TWindowConfigChange> change;
    try {
        change = ParseWindowConfig(value, ColWidth(0), DefaultColWidth());
    } catch (const std::exception &e) {
        ReportException(e, "AlertGrids, SetWindowConfg(" + value + ")");
        return;
    }
    if (change)
        ApplyWindowConfig(*change);
}

void TAlertGrid::ApplyWindowConfig(const TWindowConfigChange &change)
{
    BeginUpdate();
    SetDirection(change.Direction);
    const int count = static_cast<int>(change.Entries.size());
    FDataTypes.clear();
    for (const TLayoutEntry &entry : change.Entries)
        FDataTypes.push_back(entry.Type);
    if (IsVertical(FDirection)) {
        SetColCount(count);
        for (int i = 0; i < count; ++i)
            SetColWidth(i, change.Entries[static_cast<size_t>(i)].Size);
    } else {
        SetRowCount(count);
        for (int i = 0; i < count; ++i)
            SetRowHeight(i, change.Entries[static_cast<size_t>(i)].Size);
    }
    if (change.SchemeName)
        FSchemeName = *change.SchemeName;
    SetViewMode(change.ViewMode, change.SortKey);
    if (change.DescriptionHeight)
        FPanel.SetDescriptionHeight(*change.DescriptionHeight);
    if (change.BacktestHeight)
        FPanel.SetBacktestHeight(*change.BacktestHeight);
    LayoutPass();
    RefreshWriteOverLayout();
    if (FViewMode == vmWriteOver) // counted on the lines the layout gave
        ResetWriteCursorNow();
    InvalidateGrid();
    EndUpdate();
}

// ---- direction and view mode ----

const char *TAlertGrid::LinesCaption() const
{
    return IsVertical(FDirection) ? "Columns" : "Rows";
}

void TAlertGrid::SetDirection(int direction)
{
    if (direction == FDirection || direction < 0 || direction > 3)
        return;
    const int p = SaveScrollPosition();
    const bool rebuild = IsVertical(direction) != IsVertical(FDirection);
    BeginUpdate();
    FDirection = direction;
    // The newest alert is at the far end in these two: it stays flush with the window's edge.
    SetEndAnchored(direction == adUp, direction == adLeft);
    if (rebuild) {
        const int alerts = std::max(1, FList->Count()) + 1;
        const int types = std::max<int>(1, static_cast<int>(FDataTypes.size()));
        SetRowCount(1);
        SetColCount(1);
        if (IsVertical(direction)) {
            SetRowCount(alerts);
            SetColCount(types);
            SetFixedRows(1);
            SetFixedCols(0);
            SetContentAxis(Qt::Vertical);
        } else {
            SetColCount(alerts);
            SetRowCount(types);
            SetFixedCols(1);
            SetFixedRows(0);
            SetContentAxis(Qt::Horizontal);
        }
        LayoutPass();
    }
    RestoreScrollPosition(p);
    RefreshWriteOverLayout();
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::SetViewMode(int mode, int sortKey)
{
    FRealTimeEnabled = true;
    switch (mode) {
    case vmDefault:
    case vmNewestFirst:
    case vmWriteOver:
        FViewMode = mode == vmWriteOver ? vmWriteOver : vmNewestFirst;
        FSortKey = cdBlank;
        FList->SetFrozen(false);
        FList->SetSortKey(cdBlank);
        FRealTimeEnabled = mode != vmWriteOver;
        break;
    case vmGroupSortBy:
        FViewMode = vmGroupSortBy;
        FSortKey = sortKey >= 0 && sortKey < DataTypeCount ? sortKey : cdBlank;
        FList->SetFrozen(false);
        FList->SetSortKey(static_cast<TDataTypes>(FSortKey));
        break;
    case vmGroupNewestSymbols:
        FViewMode = vmGroupNewestSymbols;
        FSortKey = cdBlank;
        FList->SetSortKey(cdBlank);
        FList->SetFrozen(true);
        break;
    default:
        InvalidateGrid();
        return;
    }
    ++FGeneration;
    BeginUpdate();
    RefreshWriteOverLayout();
    if (FViewMode == vmWriteOver)
        ResetWriteCursorNow();
    InvalidateGrid();
    EndUpdate();
}

// ---- data types ----

int TAlertGrid::DataTypeAt(int line) const
{
    return line >= 0 && static_cast<size_t>(line) < FDataTypes.size()
        ? int(FDataTypes[static_cast<size_t>(line)])
        : int(cdBlank);
}

void TAlertGrid::AddDataType(int type)
{
    BeginUpdate();
    const bool vertical = IsVertical(FDirection);
    const int count = vertical ? ColCount() : RowCount();
    FDataTypes.resize(static_cast<size_t>(count), cdBlank);
    if (DataTypeAt(count - 1) != cdBlank) {
        vertical ? SetColCount(count + 1) : SetRowCount(count + 1);
        FDataTypes.push_back(cdBlank);
    }
    FDataTypes.back() = static_cast<uint8_t>(type);
    LayoutPass();
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::MoveDataType(int from, int to)
{
    const size_t needed = static_cast<size_t>(std::max(from, to)) + 1;
    if (FDataTypes.size() < needed)
        FDataTypes.resize(needed, cdBlank);
    const uint8_t type = FDataTypes[static_cast<size_t>(from)];
    FDataTypes.erase(FDataTypes.begin() + from);
    FDataTypes.insert(FDataTypes.begin() + to, type);
}

void TAlertGrid::ColumnMoved(int from, int to)
{
    if (IsVertical(FDirection))
        MoveDataType(from, to);
}

void TAlertGrid::RowMoved(int from, int to)
{
    if (IsHorizontal(FDirection))
        MoveDataType(from, to);
}

void TAlertGrid::DeleteColumn(int col)
{
    if (!IsVertical(FDirection)) {
        TDrawGrid::DeleteColumn(col);
        return;
    }
    BeginUpdate();
    if (ColCount() == 1) {
        FDataTypes.assign(1, cdBlank);
    } else {
        TDrawGrid::DeleteColumn(col);
        FDataTypes.resize(static_cast<size_t>(ColCount()), cdBlank);
    }
    LayoutPass();
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::DeleteRow(int row)
{
    if (!IsHorizontal(FDirection)) {
        TDrawGrid::DeleteRow(row);
        return;
    }
    BeginUpdate();
    if (RowCount() == 1) {
        FDataTypes.assign(1, cdBlank);
    } else {
        TDrawGrid::DeleteRow(row);
        FDataTypes.resize(static_cast<size_t>(RowCount()), cdBlank);
    }
    LayoutPass();
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::SetSchemeName(const std::string &name)
{
    if (name == FSchemeName)
        return;
    FSchemeName = name;
    InvalidateGrid();
}

// ---- sizing ----

void TAlertGrid::ColWidthsChanged()
{
    LayoutPass();
}

void TAlertGrid::RowHeightsChanged()
{
    LayoutPass();
}

void TAlertGrid::LayoutPass()
{
    if (FInLayout)
        return;
    FInLayout = true;
    const QFontMetrics metrics(font());
    // A font without height (or no parent yet) measures as the usual 13 pixels.
    const int h = parentWidget() && metrics.height() > 0 ? metrics.height() : 13;
    const int line = h + 2;
    BeginUpdate();
    if (IsVertical(FDirection)) {
        int minimum = 0;
        for (int col = 0; col < ColCount(); ++col) {
            const int type = DataTypeAt(col);
            const int limit = DataTypeInfo(type).MaxWidth;
            if (limit > 0 && ColWidth(col) > limit)
                SetColWidth(col, limit);
            if (type == cdIcon)
                minimum = std::max(minimum, ColWidth(col) / 2);
        }
        SetDefaultRowHeight(std::max(minimum, line));
        SetRowHeight(0, line);
    } else {
        for (int row = 0; row < RowCount(); ++row) {
            const int type = DataTypeAt(row);
            if (type == cdIcon || type == cdWeeklyChart || type == cdDailyChart) {
                SetRowHeight(row, 20);
            } else if (type == cdDescription) {
                const long lines = std::lrint(static_cast<double>(RowHeight(row) - 2) / h);
                SetRowHeight(row, h * static_cast<int>(std::clamp<long>(lines, 1, 1000)) + 2);
            } else {
                SetRowHeight(row, line);
            }
        }
        FNaturalColWidth = std::max(
            1, metrics.horizontalAdvance("Running up: +0.09 in less than one minute.") / 2);
        SetDefaultColWidth(FNaturalColWidth);
        FitAlertColumns();
    }
    EndUpdate();
    FInLayout = false;
    if (OnWindowConfigChanged)
        OnWindowConfigChanged();
}

void TAlertGrid::FitAlertColumns()
{
    if (!IsHorizontal(FDirection) || FNaturalColWidth <= 0)
        return;
    const int lineWidth = GridLineWidth();
    const int room = ClientWidth() - FNaturalColWidth - lineWidth;
    const int columns = std::max(1, room / (FNaturalColWidth + lineWidth));
    // A window too narrow for one whole column shows part of it, at half the natural width.
    const int width = std::max(FNaturalColWidth / 2, room / columns - lineWidth);
    const int header = FNaturalColWidth + std::max(0, room - columns * (width + lineWidth));
    if (width == DefaultColWidth() && header == ColWidth(0))
        return;
    BeginUpdate();
    SetDefaultColWidth(width);
    SetColWidth(0, header);
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::FitColumns()
{
    if (!IsVertical(FDirection))
        return;
    BeginUpdate();
    const int lineWidth = GridLineWidth();
    double s = 0;
    for (int col = 0; col < ColCount(); ++col)
        s += std::max(3, ColWidth(col) + lineWidth);
    double e = ClientWidth() - s;
    const auto spread = [&](int col, double &total, int limit) {
        const int width = ColWidth(col);
        const int c = std::max(3, width);
        int d = std::max(3, static_cast<int>(std::lrint(e / total * c)) + width);
        if (limit > 0)
            d = std::min(limit, d);
        SetColWidth(col, d);
        e += c - d;
        total -= c;
    };
    if (e < 0) {
        double rest = s;
        for (int col = 0; col < ColCount(); ++col)
            if (DataTypeAt(col) == cdIcon)
                rest -= std::max(3, ColWidth(col));
        for (int col = 0; col < ColCount() && rest > 0; ++col)
            if (DataTypeAt(col) != cdIcon)
                spread(col, rest, 0);
    } else if (e >= 1) {
        for (int col = 0; col < ColCount() && s > 0; ++col)
            if (const int limit = DataTypeInfo(DataTypeAt(col)).MaxWidth; limit > 0)
                spread(col, s, limit);
        for (int col = 0; col < ColCount() && s > 0; ++col)
            if (DataTypeInfo(DataTypeAt(col)).MaxWidth == 0)
                spread(col, s, 0);
    }
    LayoutPass();
    EndUpdate();
}

void TAlertGrid::changeEvent(QEvent *event)
{
    TDrawGrid::changeEvent(event);
    if (event->type() == QEvent::FontChange && !FInLayout)
        RunGuarded("AlertGrids, TAlertGrid.FontChanged", [this] {
            BeginUpdate();
            LayoutPass();
            RefreshWriteOverLayout();
            InvalidateGrid();
            EndUpdate();
        });
}

// ---- clearing and history ----

void TAlertGrid::Clear()
{
    FConnection->MarkAlertsShown();
    FList->Clear();
    ++FGeneration;
    FLiveSerial = 0;
    BeginUpdate();
    if (IsVertical(FDirection))
        SetRowCount(2);
    else
        SetColCount(2);
    RefreshWriteOverLayout();
    InvalidateGrid();
    EndUpdate();
}

void TAlertGrid::ToggleRealTime(bool fromMenu)
{
    FMoreEnabled = false;
    FTimeFrameEnabled = false;
    FRealTime = !FRealTime;
    if (FRealTime) {
        FConnection->StopHistory(!fromMenu);
    } else {
        FConnection->SetHistoryMaxCount(FList->Capacity);
        FConnection->RequestHistoryRange();
    }
    Clear();
    RefreshWindowName();
}

} // namespace kestrova
