#include "support/DebugWindow.h"

#include "support/DebugLog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>

namespace kestrova {

namespace {
// Owns the one window. It is freed when the application is about to quit, or when the library
// is unloaded while the application still exists; never after the application is gone (a
// widget must not be freed then), when the process is ending anyway.
struct TWindowHolder
{
    ~TWindowHolder()
    {
        if (Window && QCoreApplication::instance())
            delete Window.data();
    }
    QPointer<TMiscDebugWindow> Window;
};

TWindowHolder &Holder()
{
    static TWindowHolder holder;
    return holder;
}
} // namespace

TMiscDebugWindow::TMiscDebugWindow()
    : QWidget(nullptr)
    , Memo1(new QPlainTextEdit(this))
{
    setWindowTitle("Kestrova Debug Window");
    setGeometry(192, 114, 1142, 656);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Timer1.setInterval(250);
    connect(&Timer1, &QTimer::timeout, this, &TMiscDebugWindow::Timer1Timer);
    // The holder frees the window; closing must not.
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });
    // Hosts and tests that never run exec() get no aboutToQuit: free the window while the
    // application object still exists rather than after it.
    qAddPostRoutine([] { delete Holder().Window.data(); });
}

void TMiscDebugWindow::Install()
{
    SetDebugSink(&TMiscDebugWindow::Post);
}

TMiscDebugWindow *TMiscDebugWindow::Instance()
{
    return Holder().Window.data();
}

void TMiscDebugWindow::Post(const std::string &text)
{
    if (!Holder().Window) {
        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        // Without a widget application (a console tool) the in-memory log is enough; a widget
        // can only be made and touched on the application's thread.
        if (!app || QThread::currentThread() != app->thread())
            return;
        Holder().Window = new TMiscDebugWindow();
    } else if (QThread::currentThread() != Holder().Window->thread()) {
        return;
    }
    Holder().Window->Add(text);
}

void TMiscDebugWindow::Add(const std::string &text)
{
    if (!FWaiting) {
        FWaiting = true;
        Timer1.start();
    }
    if (!Pending.isEmpty())
        Pending += "\r\n";
    Pending += QString::fromStdString(text);
    if (isMinimized())
        showNormal();
    else
        show();
}

void TMiscDebugWindow::Timer1Timer()
{
    // Only a tick that follows a report adds a line (an empty report gives an empty line).
    if (!FWaiting)
        return;
    FWaiting = false;
    Timer1.stop();
    Pending.replace("\r\n", "\n");
    Memo1->appendPlainText(Pending);
    Pending.clear();
}

void TMiscDebugWindow::closeEvent(QCloseEvent *event)
{
    // Closing only hides the window; the next report shows it again with every earlier line.
    event->ignore();
    showMinimized();
    hide();
}

} // namespace kestrova
