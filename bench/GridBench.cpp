// Alert windows under a stream of alerts: batches of 10 live alerts arrive in a window of 1,000
// alerts, 8 columns and a 600 x 400 viewport, and what changed is painted into the window's
// backing store (an image on the offscreen platform). Both sides draw what a user sees: the
// reference server's "Bold colors" scheme, its alert icons, the age and range bars. The alert
// grid against a QTableView over a QStandardItemModel showing the same columns and rows (newest
// rows inserted at the top, the oldest removed, the viewport painted), its cells painted by a
// QStyledItemDelegate with the same colours, texts and pictures. Also the time of one full
// repaint of the grid.

#include "Downloads.h"
#include "grid/AlertGrids.h"
#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsPainters.h"
#include "grid/AlertPanel.h"
#include "icons/AlertIcons.h"
#include "session/GetAlertData.h"
#include "support/DateTime.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

using namespace kestrova;

namespace {

constexpr int Batch = 10;
constexpr int Rows = 1000;
constexpr int PoolSize = 4000;
const QSize Viewport(600, 400);
// Age, Time, Icon, Range, Symbol, Description, #, Relative Volume; no panel strips.
const char *const Layout = "C,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2,0,0,1,0";

// A link that never connects: the benchmark feeds the grid directly.
class TNullChannel : public IRequestChannel
{
public:
    void SendMessage(
        const TMessageToServer &, bool, TMessageHandle &handle, TServerResponseEvent) override
    {
        handle = {};
    }
    void ForgetMessage(const TMessageHandle &) override { }
    void Connect() override { }
    bool ConnectStarted() const override { return false; }
    void Close() override { }
    TChannelState State() const override { return TChannelState::New; }
    std::string ErrorText() const override { return {}; }
};

// Answers downloads at once with the reference server's pictures.
class TPictureServer : public IServerRequests
{
public:
    void SendRequest(const TMessageToServer &message, TMessageHandle &handle,
        TServerResponseEvent onReply) override
    {
        std::string location, file;
        for (const auto &field : message)
            (field.Key == "location"      ? location
                    : field.Key == "file" ? file
                                          : Ignored)
                = field.Value;
        handle = {};
        onReply(true, alertd::Download(FMarket, location, file), message);
    }
    void CancelRequest(const TMessageHandle &) override { }
    std::string Username() const override { return "bench"; }
    bool LoginRefused() const override { return false; }
    TConnectionSettings ConnectionSettings() const override { return {}; }
    uint64_t ResetCount() const override { return 0; }
    void ReportNetworkActivity(bool, const std::string &) override { }

private:
    alertd::TMarket FMarket { 1, 50, 0 };
    std::string Ignored;
};

const char *const AlertTypes[] = { "NH", "NL", "GU", "GD", "VSU", "VSD", "RU", "RD" };

// The server's display schemes, and an icon cache holding its icons.
TIconCache &Pictures()
{
    static TPictureServer server;
    static TIconCache cache(server, 3600000);
    static const bool ready = [] {
        const PXmlNode info = ParseXml(alertd::GeneralInfoDocument())->Child(0);
        FormattingTable().Load(info->ChildNamed("FORMATTING"));
        for (const char *type : AlertTypes)
            cache.GetAlertIcon(type, false); // answered at once
        return true;
    }();
    (void)ready;
    return cache;
}

QColor ToolkitColor(uint32_t value)
{
    return QColor(value & 0xFF, value >> 8 & 0xFF, value >> 16 & 0xFF);
}

const std::vector<TAlertRecord> &Pool()
{
    static const std::vector<TAlertRecord> pool = [] {
        const char *const *types = AlertTypes;
        const char *const texts[]
            = { "Volume spike up (3.8x) at $11.49", "Gap down (4.3%) at $16.84",
                  "Running up (9.8) at $7.25", "Crossed above resistance at $10.32" };
        std::vector<TAlertRecord> records;
        for (int i = 0; i < PoolSize; ++i) {
            TAlertRecord r;
            r.Symbol = "S" + std::to_string(100 + i * 37 % 900);
            r.AlertType = types[i % 8];
            r.Time = LocalNow() - (PoolSize - i) / 86400.0; // up to an hour old
            r.Description = texts[i % 4];
            r.Quality = (i % 50) / 10.0;
            r.RelVol = 0.5 + (i % 30) / 10.0;
            r.Num = 1 + i % 5;
            r.DayRange = (i % 100) / 100.0;
            records.push_back(std::move(r));
        }
        return records;
    }();
    return pool;
}

TAlertRecords NextBatch(size_t &at)
{
    TAlertRecords batch;
    for (int i = 0; i < Batch; ++i)
        batch.push_back(Pool()[at++ % Pool().size()]);
    return batch;
}

// Resizes a top-level widget until its scroll area's viewport has the wanted size.
void FitViewport(QWidget &top, const QWidget &viewport)
{
    QCoreApplication::processEvents(); // shown and exposed
    for (int i = 0; i < 4 && viewport.size() != Viewport; ++i) {
        top.resize(top.size() + (Viewport - viewport.size()));
        QCoreApplication::sendPostedEvents();
    }
}

// Counts the paint events of a widget.
class TPaintCounter : public QObject
{
public:
    explicit TPaintCounter(QWidget &widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
    int Paints = 0;
};

// Lets the event loop run what the widgets left for it (the table view lays out its rows on a
// zero timer), then paints what was marked for repainting into the window's backing store.
void PaintChanges(QWidget &top)
{
    QCoreApplication::processEvents();
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&top, &request);
}

void SetAlertCounter(benchmark::State &state)
{
    state.counters["alerts"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * Batch, benchmark::Counter::kIsRate);
}

// Fills the panel's grid with Rows alerts, shows it at the benchmark's size and paints it.
TAlertGrid &ShowFullGrid(TAlertPanel &panel, size_t &at)
{
    TAlertGrid &grid = panel.Grid();
    grid.SetIconCache(&Pictures());
    grid.SetWindowConfig(Layout);
    while (grid.Alerts().Count() < Rows)
        grid.AlertsArrived(NextBatch(at), false);
    panel.show();
    FitViewport(panel, *grid.viewport());
    PaintChanges(panel);
    return grid;
}

void BM_GridInsert(benchmark::State &state)
{
    TAllAlertsConnection session([] { return std::make_unique<TNullChannel>(); });
    TAlertPanel panel(session);
    size_t at = 0;
    TAlertGrid &grid = ShowFullGrid(panel, at);
    TPaintCounter counter(*grid.viewport());
    for (auto _ : state) {
        grid.AlertsArrived(NextBatch(at), false);
        PaintChanges(panel);
    }
    if (counter.Paints < state.iterations() || grid.viewport()->size() != Viewport)
        state.SkipWithError("the grid was not painted at 600 x 400");
    SetAlertCounter(state);
}

// Paints a row's cells as the alert grid does: the icon stretched into its 40 x 20 box, the age
// and range bars, text in the scheme's colours (left to the base delegate, eliding as needed).
class TAlertDelegate : public QStyledItemDelegate
{
public:
    static constexpr int ValueRole = Qt::UserRole;

    explicit TAlertDelegate(std::vector<uint8_t> types)
        : FTypes(std::move(types))
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override
    {
        const QRect r = option.rect;
        switch (FTypes[static_cast<size_t>(index.column())]) {
        case cdIcon: {
            painter->fillRect(r, index.data(Qt::BackgroundRole).value<QBrush>());
            const QImage icon = index.data(Qt::DecorationRole).value<QImage>();
            const int w = std::min(40, r.width());
            painter->drawImage(
                QRect(r.left() + (r.width() - w) / 2, r.top() + (r.height() - w / 2) / 2, w, w / 2),
                icon);
            return;
        }
        case cdAge: {
            const double age = (Now - index.data(ValueRole).toDouble()) * 86400;
            const int n = std::clamp(AgeBarLength(age), 0, r.width());
            painter->fillRect(QRect(r.left(), r.top(), n, r.height()), Qt::black);
            painter->fillRect(QRect(r.left() + n, r.top(), r.width() - n, r.height()), Qt::blue);
            return;
        }
        case cdDailyRange: {
            const TRangeBar bar = RangeBarFor(index.data(ValueRole).toDouble(), r.width());
            painter->fillRect(r, bar.Ground);
            if (bar.From < bar.To)
                painter->fillRect(
                    QRect(r.left() + bar.From, r.top(), bar.To - bar.From, r.height()), bar.Bar);
            return;
        }
        default:
            QStyledItemDelegate::paint(painter, option, index);
        }
    }

    TDateTime Now = 0; // of the paint, as the grid reads the time once per paint

private:
    std::vector<uint8_t> FTypes;
};

void BM_QTableViewInsert(benchmark::State &state)
{
    TAllAlertsConnection session([] { return std::make_unique<TNullChannel>(); });
    TAlertPanel reference(session); // the same columns, widths and font as the grid
    TAlertGrid &grid = reference.Grid();
    grid.SetWindowConfig(Layout);
    const std::vector<uint8_t> types = grid.DataTypes();
    const int columns = static_cast<int>(types.size());
    const TDateTime now = LocalNow();
    QFont bold = grid.font();
    bold.setBold(true);

    QStandardItemModel model(0, columns);
    for (int c = 0; c < columns; ++c)
        model.setHorizontalHeaderItem(c, new QStandardItem(DataTypeInfo(types[c]).Name));
    const auto row = [&](const TAlertRecord &alert) {
        const TAlertDisplayInfo *scheme
            = FormattingTable().Find(grid.SchemeName(), alert.AlertType);
        const TIconLookup icon = Pictures().GetAlertIcon(alert.AlertType, false);
        QList<QStandardItem *> items;
        for (int c = 0; c < columns; ++c) {
            auto *item = new QStandardItem;
            switch (types[c]) {
            case cdIcon:
                item->setData(*icon.Picture, Qt::DecorationRole);
                break;
            case cdAge:
                item->setData(alert.Time, TAlertDelegate::ValueRole);
                break;
            case cdDailyRange:
                item->setData(alert.DayRange, TAlertDelegate::ValueRole);
                break;
            default:
                item->setText(QString::fromStdString(PlainCellText(alert, types[c], now)));
                if (IsRightAligned(types[c]))
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            if (scheme) {
                item->setBackground(ToolkitColor(scheme->Background));
                item->setForeground(ToolkitColor(scheme->Foreground));
                if (scheme->Flags & dfBold)
                    item->setFont(bold);
            }
            items.append(item);
        }
        return items;
    };
    size_t at = 0;
    while (model.rowCount() < Rows)
        model.insertRow(0, row(Pool()[at++ % Pool().size()]));

    QTableView view;
    TAlertDelegate delegate(types);
    view.setItemDelegate(&delegate);
    view.setFont(grid.font());
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(grid.DefaultRowHeight() + 1);
    for (int c = 0; c < columns; ++c)
        view.setColumnWidth(c, grid.ColWidth(c) + 1);
    delegate.Now = LocalNow();
    view.show();
    FitViewport(view, *view.viewport());
    PaintChanges(view);
    TPaintCounter counter(*view.viewport());
    for (auto _ : state) {
        // Newest first: the batch's newest alert ends up in the top row.
        const TAlertRecords batch = NextBatch(at);
        for (auto it = batch.rbegin(); it != batch.rend(); ++it)
            model.insertRow(0, row(*it));
        model.removeRows(Rows, Batch);
        delegate.Now = LocalNow();
        PaintChanges(view);
    }
    if (counter.Paints < state.iterations() || view.viewport()->size() != Viewport)
        state.SkipWithError("the table was not painted at 600 x 400");
    SetAlertCounter(state);
}

// One full repaint of a 600 x 400 grid of 1,000 alerts with icons, bars and scheme colours.
void BM_GridRepaint(benchmark::State &state)
{
    TAllAlertsConnection session([] { return std::make_unique<TNullChannel>(); });
    TAlertPanel panel(session);
    size_t at = 0;
    TAlertGrid &grid = ShowFullGrid(panel, at);
    TPaintCounter counter(*grid.viewport());
    for (auto _ : state)
        grid.viewport()->repaint();
    if (counter.Paints < state.iterations() || grid.viewport()->size() != Viewport)
        state.SkipWithError("the grid was not painted at 600 x 400");
}

} // namespace

BENCHMARK(BM_GridInsert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QTableViewInsert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GridRepaint)->Unit(benchmark::kMicrosecond);
