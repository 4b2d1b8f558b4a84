// Alert windows under a stream of alerts: batches of 10 live alerts arrive in a window of 1,000
// alerts, 8 columns and a 600 x 400 viewport, and what changed is painted into the window's
// backing store (an image on the offscreen platform). The alert grid against a QTableView over
// a QStandardItemModel showing the same columns and rows (newest rows inserted at the top, the
// oldest removed, the viewport painted).

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "session/GetAlertData.h"

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
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

const std::vector<TAlertRecord> &Pool()
{
    static const std::vector<TAlertRecord> pool = [] {
        const char *const types[] = { "NHP", "NLP", "GUP", "GDN", "VSU", "VSD", "RU", "RD" };
        const char *const texts[]
            = { "Volume spike up (3.8x) at $11.49", "Gap down (4.3%) at $16.84",
                  "Running up (9.8) at $7.25", "Crossed above resistance at $10.32" };
        std::vector<TAlertRecord> records;
        for (int i = 0; i < PoolSize; ++i) {
            TAlertRecord r;
            r.Symbol = "S" + std::to_string(100 + i * 37 % 900);
            r.AlertType = types[i % 8];
            r.Time = 46000.5 + i / 86400.0;
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

void BM_GridInsert(benchmark::State &state)
{
    TAllAlertsConnection session([] { return std::make_unique<TNullChannel>(); });
    TAlertPanel panel(session);
    TAlertGrid &grid = panel.Grid();
    grid.SetWindowConfig(Layout);
    size_t at = 0;
    while (grid.Alerts().Count() < Rows)
        grid.AlertsArrived(NextBatch(at), false);
    panel.show();
    FitViewport(panel, *grid.viewport());
    PaintChanges(panel);
    TPaintCounter counter(*grid.viewport());
    for (auto _ : state) {
        grid.AlertsArrived(NextBatch(at), false);
        PaintChanges(panel);
    }
    if (counter.Paints < state.iterations() || grid.viewport()->size() != Viewport)
        state.SkipWithError("the grid was not painted at 600 x 400");
    SetAlertCounter(state);
}

void BM_QTableViewInsert(benchmark::State &state)
{
    TAllAlertsConnection session([] { return std::make_unique<TNullChannel>(); });
    TAlertPanel reference(session); // the same columns, widths and font as the grid
    TAlertGrid &grid = reference.Grid();
    grid.SetWindowConfig(Layout);
    const std::vector<uint8_t> types = grid.DataTypes();
    const int columns = static_cast<int>(types.size());
    const TDateTime now = 46000.6;

    QStandardItemModel model(0, columns);
    for (int c = 0; c < columns; ++c)
        model.setHorizontalHeaderItem(c, new QStandardItem(DataTypeInfo(types[c]).Name));
    const auto row = [&](const TAlertRecord &alert) {
        QList<QStandardItem *> items;
        for (int c = 0; c < columns; ++c) {
            auto *item
                = new QStandardItem(QString::fromStdString(PlainCellText(alert, types[c], now)));
            if (IsRightAligned(types[c]))
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            items.append(item);
        }
        return items;
    };
    size_t at = 0;
    while (model.rowCount() < Rows)
        model.insertRow(0, row(Pool()[at++ % Pool().size()]));

    QTableView view;
    view.setFont(grid.font());
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(grid.DefaultRowHeight() + 1);
    for (int c = 0; c < columns; ++c)
        view.setColumnWidth(c, grid.ColWidth(c) + 1);
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
        PaintChanges(view);
    }
    if (counter.Paints < state.iterations() || view.viewport()->size() != Viewport)
        state.SkipWithError("the table was not painted at 600 x 400");
    SetAlertCounter(state);
}

} // namespace

BENCHMARK(BM_GridInsert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QTableViewInsert)->Unit(benchmark::kMicrosecond);
