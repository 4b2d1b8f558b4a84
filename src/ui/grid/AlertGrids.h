#pragma once
// TAlertGrid: the table of one alert window. It lives in its TAlertPanel (which creates it),
// owns the window connection that streams the alerts of its data configuration and the alert
// list that keeps them, and shows them in one of four directions and four view modes, one data
// type per column (per row in the horizontal directions). Its layout reads and writes as the
// window configuration string. Painting goes through one renderer per data type; every grid
// starts with the renderers of AlertGridsPainters.h. GUI thread only.

#include "alerts/AlertLists.h"
#include "grid/AlertGridsConfig.h"
#include "grid/AlertGridsModel.h"
#include "grid/DrawGrid.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"

#include <QFontMetrics>
#include <QPainter>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;

namespace kestrova {

class TAlertPanel;
class TAlertGrid;
class TIconCache;
class TQuorixConfigWindow;
class TSelectHistoryRangeForm;
class TAlertGridMenus;

// Where a point of the grid is.
enum TGridZone { gzNone, gzColumnHeader, gzRowHeader, gzCell };

// What a cell shows.
struct TCellInfo
{
    TGridZone Zone = gzNone;
    int Type = cdBlank; // the data type of the cell's column (row); 0 in zone gzNone
    int Index = -1; // the alert's index in the list (zone gzCell)
    bool Highlighted = false; // a live alert of the newest batch in view modes 2, 3 and 4
};

// The grid's font during one paint, plain and bold, with their metrics.
struct TPaintFonts
{
    explicit TPaintFonts(const QFont &font);
    QFont Plain, Bold;
    QFontMetrics PlainMetrics, BoldMetrics;
};

// One cell being painted, handed to the renderer of its data type.
struct TCellPaint
{
    QPainter &Painter;
    QRect Rect; // the whole cell, already filled with Background
    QRect Inner; // where the content goes
    int Col = 0, Row = 0;
    TCellInfo Info;
    const TAlertRecord *Alert = nullptr; // null when the cell shows no alert
    QColor TextColor;
    bool Bold = false;
    const TPaintFonts *Fonts = nullptr; // lives for the paint

    const QFont &Font() const { return Bold ? Fonts->Bold : Fonts->Plain; }
    const QFontMetrics &Metrics() const { return Bold ? Fonts->BoldMetrics : Fonts->PlainMetrics; }
};
using TCellRenderer = std::function<void(const TAlertGrid &grid, TCellPaint &cell)>;

class TAlertGrid : public TDrawGrid, private IDefaultsListener
{
    Q_OBJECT

public:
    // The layout a new grid takes: Age, Time, Icon, Range, Symbol, Description, #, Relative
    // Volume; direction Down; scheme LIST_2.
    static const char *const DefaultWindowConfig;

    // The window connection registers with session for the grid's whole life.
    TAlertGrid(TAlertPanel &owner, TAllAlertsConnection &session);
    ~TAlertGrid() override;

    // ---- events (not called while empty) ----
    std::function<void(const TAlertRecord &alert)> OnAlertSelected;
    std::function<void(const TAlertRecord &alert)> OnEachAlert;
    std::function<void()> OnDataConfigChanged;
    // Fired at the end of every layout pass.
    std::function<void()> OnWindowConfigChanged;
    std::function<void(const std::string &display, int id)> OnCustomMenu;
    // Declared for hosts; nothing raises it.
    std::function<void(const TAlertRecord &alert, int id)> OnContextSensitiveMenu;
    std::function<void()> OnWindowNameChanged;
    std::function<void(WId dialog)> OnBeforeModal;
    std::function<void(bool &allow)> OnBeforeQuorix;
    std::function<void(const std::string &line)> OnQuorixDebug;

    // ---- configuration strings ----
    // The connection's data configuration, unchanged.
    std::string DataConfig() const;
    // Only the text after a "?" counts (a second "?" voids the value); an empty value does
    // nothing. Restarts the stream, back in real time.
    void SetDataConfig(const std::string &value);
    // The "C" string of the current layout.
    std::string WindowConfig() const;
    // Applies an "A", "B" or "C" string; a malformed one is reported to the debug log and
    // changes nothing.
    void SetWindowConfig(const std::string &value);

    // ---- layout ----
    int Direction() const { return FDirection; }
    // Values outside 0..3 are ignored.
    void SetDirection(int direction);
    int ViewMode() const { return FViewMode; }
    int SortKey() const { return FSortKey; }
    // Other modes than 0..4 change nothing but re-enable "RealTime".
    void SetViewMode(int mode, int sortKey);
    // One type per data line (column, or row when horizontal), in display order.
    const std::vector<uint8_t> &DataTypes() const { return FDataTypes; }
    // 0 past the end.
    int DataTypeAt(int line) const;
    // Sets the last data line's type, adding a line when the last one is not blank.
    void AddDataType(int type);
    void DeleteColumn(int col) override;
    void DeleteRow(int row) override;
    const std::string &SchemeName() const { return FSchemeName; }
    void SetSchemeName(const std::string &name);
    // Spreads the client width over the columns (vertical directions).
    void FitColumns();
    // Sizes lines from the font and the data types, then fires OnWindowConfigChanged.
    void LayoutPass();
    // Empties the window.
    void Clear();
    // "Columns" in the vertical directions, "Rows" in the horizontal ones.
    const char *LinesCaption() const;

    // ---- live stream and history, and the commands the menu shows ----
    bool RealTime() const { return FRealTime; }
    bool RealTimeEnabled() const { return FRealTimeEnabled; }
    bool MoreEnabled() const { return FMoreEnabled; }
    bool TimeFrameEnabled() const { return FTimeFrameEnabled; }
    bool ClearEnabled() const { return FRealTime; }
    // The "RealTime" item: switches between the live stream and history. fromMenu: the user
    // chose it (a switch made for a new configuration passes false).
    void ToggleRealTime(bool fromMenu);
    // The "More" item: clears the window and asks for the next part of the history.
    void RequestMore();
    // The context menu.
    TAlertGridMenus &Menus() const { return *FMenus; }

    // ---- what the cells show ----
    TCellInfo CellInfo(int col, int row) const;
    // The cell under a viewport position.
    TCellInfo HitTest(QPoint pos) const;
    // The alert index a cell shows (-1 for headers and separators).
    int AlertIndexAt(int col, int row) const;
    const TSortableAlertList &Alerts() const { return *FList; }
    TAlertWindowConnection &Connection() const { return *FConnection; }
    TAlertPanel &Panel() const { return FPanel; }
    int WriteCursor() const { return FWriteCursor; }
    // The plain text of a cell (the header name for header cells).
    std::string CellText(int col, int row) const;
    // Paints cells of a data type; an empty renderer brings back plain text.
    void SetCellRenderer(int type, TCellRenderer renderer);

    // ---- drawing: what the renderers read ----
    // Where pictures come from: the process-wide icon cache when the grid talks through the
    // process-wide session, else none until one is set. A cache set here must outlive the grid
    // (or be replaced first); the grid's viewport is its viewer, repainted as pictures arrive.
    TIconCache *IconSource() const;
    void SetIconCache(TIconCache *cache);
    TAllAlertsConnection &Session() const { return FSession; }
    // Server time of the paint in progress (the age of alerts is counted to it).
    TDateTime PaintNow() const { return FPaintNow; }

    // ---- names, the current alert, selection ----
    const std::string &WindowName() const { return FWindowName; }
    const std::string &BaseWindowName() const { return FBaseWindowName; }
    // The alert the last callback concerned.
    const TAlertRecord &CurrentAlert() const { return FCurrentAlert; }
    TAlertGridSelectionType AllowSelectionType = agstDoubleClick;
    // agstNone except while OnAlertSelected runs.
    TAlertGridSelectionType CurrentSelectionType() const { return FCurrentSelectionType; }
    // The backtest strategy settings last confirmed.
    std::string StrategyConfig;

    // ---- handlers; public so tests drive them without a server ----
    // A batch from the window connection (empty: a clock tick).
    void AlertsArrived(const TAlertRecords &records, bool isHistory);
    // The connection reported a (new) configuration or window name.
    void ConfigChanged();
    // The server's general info changed: reload the display schemes.
    void GeneralInfoChanged();
    void RefreshWindowName();

    // Grids alive in the process.
    static int LiveGridCount();

    // ---- dialog commands, saving and backtest ----
    // Every dialog is shown with open(): modal to the window, no nested event loop; the work
    // goes on when it closes. The grid's own dialogs are freed with it (closing them) and
    // nothing of an open dialog reaches a grid being freed.
    void ConfigureClicked(); // "Configure..."
    void CollaborateClicked(); // "Collaborate..."
    void TimeFrameClicked(); // "History" > "Time Frame..."
    void SaveContentsClicked(); // "History" > "Save Contents..." (CSV)
    void SaveQuorixResultsClicked(); // "History" > "Save Quorix Results..." (RTF)
    // The panel's backtest button: stops a running backtest, else asks OnBeforeQuorix and opens
    // the backtest configuration window; its OK starts the backtest.
    void QuorixButtonClicked();
    // Shows a backtest's progress in the panel (the window connection calls it).
    void QuorixProgress(const TQuorixInfo &info);
    // Writes the window's contents as CSV; raises EInOutError when the file cannot be written.
    void SaveContents(const std::string &fileName) const;

protected:
    void DrawCell(QPainter &painter, int col, int row, const QRect &rect, unsigned state) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    int64_t LineIdentity(int line) const override;
    void GridResized() override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void DefaultsChanged() override;
    void LoadFormatting();
    void ApplyWindowConfig(const TWindowConfigChange &change);
    void MoveDataType(int from, int to);
    TLineMap LineMap() const;
    // Alert-carrying lines: rows when vertical, columns when horizontal.
    int VisibleDataLines() const;
    int SaveScrollPosition() const;
    void RestoreScrollPosition(int p);
    void SizeToContent(int p);
    // Horizontal directions: the alert columns share the client width so that whole columns
    // fill it (as many as fit at the natural width, widened); the header column takes the
    // pixels left over.
    void FitAlertColumns();
    void RefreshWriteOverLayout();
    void ResetWriteCursorNow();
    void ClickAt(QPoint pos, bool doubleClick);
    void SelectAlert(const TAlertRecord &alert, TAlertGridSelectionType how);
    void DrawPlainCell(TCellPaint &cell) const;
    void DrawHeaderCell(TCellPaint &cell) const;
    // Sets the background brush, text colour and boldness of an alert's cell.
    void ApplyDisplayScheme(TCellPaint &cell, QBrush &background) const;
    const TAlertRecord *PaintAlert(int index);

    // Dialog commands (AlertGridsCommands.cpp, AlertGridsSaving.cpp).
    using TSaveMethod = void (TAlertGrid::*)(const std::string &fileName) const;
    void CloseDialogs();
    void BeforeModal(QWidget &dialog);
    void StartBacktest(const std::string &settings);
    void QuorixDebug(const std::string &line);
    QFileDialog *NewSaveDialog(const char *suffix, const char *filter, TSaveMethod save);
    void SaveChosenFile(const QString &file, TSaveMethod save);
    void WriteChosenFile(const QString &file, TSaveMethod save);
    void SaveQuorixResults(const std::string &fileName) const;

    TAlertPanel &FPanel;
    TAllAlertsConnection &FSession;
    std::unique_ptr<TSortableAlertList> FList;
    std::unique_ptr<TAlertWindowConnection> FConnection;
    std::unique_ptr<TAlertGridMenus> FMenus;

    std::vector<uint8_t> FDataTypes;
    int FDirection = adDown;
    int FViewMode = vmNewestFirst;
    int FSortKey = cdBlank;
    int FWriteCursor = 1;
    std::string FSchemeName = "LIST_2";
    std::string FBaseWindowName, FWindowName;
    TAlertRecord FCurrentAlert;
    TAlertGridSelectionType FCurrentSelectionType = agstNone;

    bool FRealTime = true, FRealTimeEnabled = true, FMoreEnabled = false;
    bool FTimeFrameEnabled = true;
    bool FInLayout = false;
    int FNaturalColWidth = 0; // of alert columns, as the layout pass measured it
    bool FMouseLeftDown = false, FMouseDouble = false;

    // Repaint economy: what a line shows is known by these (see LineIdentity).
    uint64_t FGeneration = 0; // changes whenever lines may show other alerts in place
    int64_t FLiveSerial = 0; // live alerts added since the list was last emptied

    // The grid's own dialogs, created on first use and kept (children of the grid).
    TSelectHistoryRangeForm *FHistoryRangeForm = nullptr;
    TQuorixConfigWindow *FQuorixWindow = nullptr;
    QFileDialog *FSaveContentsDialog = nullptr, *FSaveResultsDialog = nullptr;
    bool FClosing = false; // the grid is being freed: dialogs and backtests reach nothing

    std::array<TCellRenderer, DataTypeCount> FRenderers;
    TIconCache *FIcons = nullptr; // set by SetIconCache
    // During one paint: server time, fonts and the alert last read.
    TDateTime FPaintNow = 0;
    const TPaintFonts *FPaintFonts = nullptr;
    int FPaintIndex = -1;
    TAlertRecord FPaintRecord;
};

} // namespace kestrova
