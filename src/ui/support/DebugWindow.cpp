#include "support/DebugWindow.h"

#include "support/DebugLog.h"
#include "support/GeneralFont.h"

#include <QApplication>
#include <QCloseEvent>
#include <QThread>
#include <QVBoxLayout>

namespace kestrova {

namespace {
// The one window. A plain pointer: nothing frees the window at exit behind the library's back
// (by then Qt may have freed what a widget needs); the library frees it when it shuts down.
TMiscDebugWindow *TheWindow = nullptr;
} // namespace

TMiscDebugWindow::TMiscDebugWindow()
    : QWidget(nullptr)
    , Memo1(new QPlainTextEdit(this))
{
    setWindowTitle("Kestrova Debug Window");
    setGeometry(192, 114, 1142, 656);
    setFont(GeneralFont());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Timer1.setInterval(250);
    connect(&Timer1, &QTimer::timeout, this, &TMiscDebugWindow::Timer1Timer);
    // Destroy frees the window; closing must not.
    setAttribute(Qt::WA_DeleteOnClose, false);
}

TMiscDebugWindow::~TMiscDebugWindow()
{
    if (TheWindow == this)
        TheWindow = nullptr;
}

void TMiscDebugWindow::Destroy()
{
    delete TheWindow; // the destructor clears the pointer
}

void TMiscDebugWindow::Install()
{
    SetDebugSink(&TMiscDebugWindow::Post);
}

TMiscDebugWindow *TMiscDebugWindow::Instance()
{
    return TheWindow;
}

void TMiscDebugWindow::Post(const std::string &text)
{
    if (!TheWindow) {
        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        // Without a widget application (a console tool) the in-memory log is enough; a widget
        // can only be made and touched on the application's thread.
        if (!app || QThread::currentThread() != app->thread())
            return;
        TheWindow = new TMiscDebugWindow();
    } else if (QThread::currentThread() != TheWindow->thread()) {
        return;
    }
    TheWindow->Add(text);
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
