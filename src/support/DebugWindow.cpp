#include "support/DebugWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QVBoxLayout>
#include <memory>

namespace kestrova {

namespace {
std::unique_ptr<TMiscDebugWindow> &Window()
{
    static std::unique_ptr<TMiscDebugWindow> window;
    return window;
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
    // The window is freed with the process-wide pointer; Qt must not free it a second time.
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(qApp, &QCoreApplication::aboutToQuit, [] { Window().reset(); });
}

TMiscDebugWindow *TMiscDebugWindow::Instance()
{
    return Window().get();
}

void TMiscDebugWindow::Post(const std::string &text)
{
    if (!Window()) {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
            return; // No widget application (a console tool): the in-memory log is enough.
        Window().reset(new TMiscDebugWindow());
    }
    Window()->Add(text);
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
    FWaiting = false;
    Timer1.stop();
    if (Pending.isEmpty())
        return;
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
