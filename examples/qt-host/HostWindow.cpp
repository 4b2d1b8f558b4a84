#include "HostWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdio>

namespace {

// Two views of the market: every alert in the default layout, and highs, lows and gaps grouped
// by symbol in the classic colours.
const char *const LeftConfig = "O=1fffffffffffffffffffffff0_3d_0&WN=All+Alerts";
const char *const RightConfig = "form=1&Sh_NH=on&Sh_NL=on&Sh_GU=on&Sh_GD=on&Sh_VSU=on&Sh_VSD=on"
                                "&EntireUniverse=1&WN=Highs%2C+Lows+and+Gaps";
const char *const RightLayout = "C,5,1,40,3,50,2,60,5,45,4,220,0,1,20,31,3,3";

QWidget *Pane(QLabel *caption, QWidget *slot)
{
    auto *pane = new QWidget;
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    caption->setStyleSheet("font-weight: bold; padding: 2px;");
    layout->addWidget(caption);
    layout->addWidget(slot, 1);
    return pane;
}

QString Text(const char *text)
{
    return text ? QString::fromUtf8(text) : QStringLiteral("(none)");
}

} // namespace

// ---- a slot ----

WindowSlot::WindowSlot(QWidget *parent)
    : QWidget(parent)
{
    // The library embeds its window in this widget's native window.
    setAttribute(Qt::WA_NativeWindow);
}

void WindowSlot::Create(const KvLibrary &kv, bool alertWindow)
{
    FKv = &kv;
    const KV_HWND parent = static_cast<KV_HWND>(winId());
    FHandle = alertWindow ? kv.CreateAlertWindow(parent) : kv.CreateStatusWindow(parent);
    kv.SetWindowPosition(FHandle, 0, 0, width(), height());
}

void WindowSlot::Release()
{
    if (FKv && FHandle)
        FKv->ReleaseWindow(std::exchange(FHandle, 0));
}

void WindowSlot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (FKv && FHandle)
        FKv->SetWindowPosition(FHandle, 0, 0, width(), height());
}

// ---- the main window ----

HostWindow::HostWindow(const KvLibrary &kv)
    : FKv(kv)
    , FLeft(new WindowSlot)
    , FRight(new WindowSlot)
    , FStatus(new WindowSlot)
    , FLeftCaption(new QLabel("All Alerts"))
    , FRightCaption(new QLabel("Highs, Lows and Gaps"))
    , FLog(new QPlainTextEdit)
{
    setWindowTitle("Kestrova Alerts - Qt host");
    auto *panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(Pane(FLeftCaption, FLeft));
    panes->addWidget(Pane(FRightCaption, FRight));
    auto *main = new QSplitter(Qt::Vertical);
    main->addWidget(panes);
    FLog->setReadOnly(true);
    FLog->setMaximumBlockCount(500);
    FLog->setPlaceholderText("Callbacks from the library appear here.");
    main->addWidget(FLog);
    setCentralWidget(main);
    FStatus->setFixedSize(134, 25);
    statusBar()->addPermanentWidget(FStatus);
    statusBar()->showMessage("Right-click an alert window for its menu; double-click an alert.");
    BuildMenu();
    resize(1180, 720);
    panes->setSizes({ 620, 560 });
    main->setSizes({ 470, 180 });

    FLeft->Create(kv, true);
    FRight->Create(kv, true);
    FStatus->Create(kv, false);
    kv.SetDataConfig(FLeft->Handle(), LeftConfig);
    kv.SetDataConfig(FRight->Handle(), RightConfig);
    kv.SetWindowConfig(FRight->Handle(), RightLayout);
    for (KV_HWND window : AlertWindows()) {
        kv.AddCustomMenuItem(window, "Send to &Chart", 1);
        kv.AddCustomMenuItem(window, "Copy Window Settings", 2);
    }
}

HostWindow::~HostWindow()
{
    ReleaseWindows();
}

void HostWindow::ReleaseWindows()
{
    for (WindowSlot *slot : { FLeft, FRight, FStatus })
        slot->Release();
}

QPoint HostWindow::MenuPoint() const
{
    return FLeft->mapToGlobal(QPoint(FLeft->width() / 2, 90));
}

std::vector<KV_HWND> HostWindow::AlertWindows() const
{
    return { FLeft->Handle(), FRight->Handle() };
}

void HostWindow::BuildMenu()
{
    QMenu *file = menuBar()->addMenu("&File");
    file->addAction("&Quit", QKeySequence::Quit, qApp, &QApplication::quit);
    // The host's own items drive the alert windows' menus by caption path.
    QMenu *alerts = menuBar()->addMenu("&Alerts");
    const auto both = [this](const char *path) {
        return [this, path] {
            for (KV_HWND window : AlertWindows())
                FKv.SimulateMenuClick(window, path);
            Log(QString("host    clicked \"%1\" in both windows").arg(path));
        };
    };
    alerts->addAction("Show &History", this, both("History,RealTime"));
    alerts->addAction("Newest at the &Top", this, both("Direction,Down"));
    alerts->addAction("Newest at the &Bottom", this, both("Direction,Up"));
    alerts->addAction("&Write Over", this, both("View Mode,Write Over"));
    alerts->addAction("&Configure Left Window...", this,
        [this] { FKv.SimulateMenuClick(FLeft->Handle(), "Configure..."); });
}

void HostWindow::Log(const QString &line)
{
    const QString stamped = QTime::currentTime().toString("hh:mm:ss  ") + line;
    FLog->appendPlainText(stamped);
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QLabel *HostWindow::CaptionOf(KV_HWND window) const
{
    if (window == FLeft->Handle())
        return FLeftCaption;
    return window == FRight->Handle() ? FRightCaption : nullptr;
}

QString HostWindow::Describe(KV_HWND window) const
{
    const QString name = Text(FKv.GetWindowName(window));
    return name.isEmpty() ? QString("window %1").arg(window, 0, 16) : name;
}

void HostWindow::EachAlert()
{
    ++FAlerts;
    const KV_HWND window = FKv.GetCallbackWindow();
    const QDateTime time = QDateTime::fromSecsSinceEpoch(FKv.GetCallbackAlertTimeStamp());
    Log(QString("alert   %1  %2  %3 %4  %5")
            .arg(Describe(window), time.toString("hh:mm:ss"), Text(FKv.GetCallbackAlertSymbol()),
                Text(FKv.GetCallbackAlertType()), Text(FKv.GetCallbackAlertDescription())));
}

void HostWindow::AlertSelected()
{
    Log(QString("select  %1  %2 %3")
            .arg(Describe(FKv.GetCallbackWindow()), Text(FKv.GetCallbackAlertSymbol()),
                Text(FKv.GetCallbackAlertDescription())));
}

void HostWindow::WindowNameChanged()
{
    const KV_HWND window = FKv.GetCallbackWindow();
    const QString name = Text(FKv.GetWindowName(window));
    if (QLabel *caption = CaptionOf(window))
        caption->setText(name.isEmpty() ? "(unnamed)" : name);
    Log(QString("name    window %1 is now \"%2\"").arg(window, 0, 16).arg(name));
}

void HostWindow::CustomMenu()
{
    Log(QString("menu    \"%1\" (id %2) in %3")
            .arg(Text(FKv.GetCallbackMenuCaption()))
            .arg(FKv.GetCallbackMenuId())
            .arg(Describe(FKv.GetCallbackWindow())));
}

int32_t HostWindow::QuorixStart()
{
    Log(QString("backtest starting in %1: allowed").arg(Describe(FKv.GetCallbackWindow())));
    return 1;
}
