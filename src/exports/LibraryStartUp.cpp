#include "exports/LibraryStartUp.h"

#include "dialogs/AlertWindowConfigForm.h"
#include "exports/WindowControl.h"
#include "icons/AlertIcons.h"
#include "icons/AlertIconsPictures.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/BacktestNames.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "status/StatusFrames.h"
#include "support/DebugWindow.h"
#include "support/Exceptions.h"
#include "symbollists/ListExports.h"
#include "symbollists/SymbolLists.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kestrova {

namespace {

enum class TLibraryState { NotStarted, Running, ShutDown };

struct TLibrary
{
    TLibraryState State = TLibraryState::NotStarted;
    bool ConnectRequested = false;
    // The application object the library made for a host without one.
    std::unique_ptr<QApplication> OwnApplication;
    std::unique_ptr<TSymbolListsHub> Hub;
    std::unique_ptr<TSymbolListExports> ListExports;
    QMetaObject::Connection QuitConnection;
    // Qt's message handler before the library installed its own (only with OwnApplication).
    QtMessageHandler PreviousQtHandler = nullptr;
    bool QtHandlerInstalled = false;
    // The process is exiting (rather than the library being unloaded): Qt's globals are being
    // destroyed in an order the library cannot know, so it frees no Qt object.
    bool ProcessExiting = false;
};

// Set by the library's destructor function. At dlclose it runs before the handlers the library
// registered with atexit (the toolchain's own finaliser, which runs those, comes last); at
// process exit it runs after them. So the unload handler sees false exactly when the process is
// exiting.
bool LibraryUnloaded = false;
__attribute__((destructor)) void MarkLibraryUnloaded()
{
    LibraryUnloaded = true;
}

TLibrary &Library()
{
    static TLibrary library;
    return library;
}

// Called from QCoreApplication's destructor, before Qt tears itself down.
void ApplicationGoing()
{
    ShutDownLibrary();
}

TLogLevel QtMessageLevel(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return llDebug;
    case QtInfoMsg:
        return llInfo;
    case QtWarningMsg:
        return llWarning;
    case QtCriticalMsg:
    case QtFatalMsg:
        return llError;
    }
    return llWarning;
}

// Qt's messages in a process whose application object the library made: they go to the
// library's log (on the GUI thread) rather than to the host's stderr. A fatal one also goes to
// the previous handler, so that the reason of the abort that follows is seen.
void LibraryQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static thread_local bool inside = false;
    const QtMessageHandler previous = Library().PreviousQtHandler;
    if (inside || type == QtFatalMsg) {
        if (previous)
            previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        if (inside)
            return;
    }
    inside = true;
    RunGuarded("Exports, Qt message", [&] {
        const char *category = context.category ? context.category : "default";
        std::string text = std::strcmp(category, "default") == 0
            ? std::string("Qt: ")
            : std::string("Qt (") + category + "): ";
        text += message.toStdString();
        const TLogLevel level = QtMessageLevel(type);
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread())
            ShowDebugMessage(text, level);
        else
            QMetaObject::invokeMethod(
                app, [text, level] { ShowDebugMessage(text, level); }, Qt::QueuedConnection);
    });
    inside = false;
}

void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TLibrary &library = Library();
    if (!library.QtHandlerInstalled) {
        library.PreviousQtHandler = qInstallMessageHandler(LibraryQtMessage);
        library.QtHandlerInstalled = true;
    }
    // QApplication keeps references to argc and argv for its whole life.
    static int argc = 1;
    static char name[] = "KestrovaAlerts";
    static char *argv[] = { name, nullptr };
    Library().OwnApplication = std::make_unique<QApplication>(argc, argv);
}

// Registered at start-up, so it runs when the library unloads or the process exits. Only the
// first run does anything. On unload it leaves Qt holding nothing of the library (a host's
// application object outlives an unloaded library); at process exit it frees no Qt object.
void LibraryUnloading()
{
    TLibrary &library = Library();
    library.ProcessExiting = !LibraryUnloaded;
    ShutDownLibrary();
    FreeWindowControl();
    qRemovePostRoutine(ApplicationGoing);
    if (library.ProcessExiting)
        (void)library.OwnApplication.release(); // the process's end takes it
    else if (library.OwnApplication)
        RunGuarded("Exports, Unload", [&] { library.OwnApplication.reset(); });
    if (library.QtHandlerInstalled) {
        qInstallMessageHandler(library.PreviousQtHandler);
        library.QtHandlerInstalled = false;
    }
    SetLogCallback({});
    FreeLog();
}

} // namespace

void RunStartUpBlock()
{
    TMiscDebugWindow::Install();
    SetAlertPictures(&IconCachePictures());
    AllAlertsConnection().HelpEnabled = true;
    BacktestFeatureName() = "Backtester";
    BacktestWording() = "Halvex";
    SetTimeOffset(ServerTimeOffsetMinutes);
    SetTimeFormats("hh:nn:ss M/d/yyyy|hh:nn:ss");
    SetVendorIdFromHost(nullptr);
}

bool EnsureLibraryStarted() noexcept
{
    TLibrary &library = Library();
    if (InLogCallback())
        return false; // the host's log callback calls no export
    if (library.State == TLibraryState::Running)
        return true;
    if (library.State == TLibraryState::ShutDown)
        return false;
    return RunGuarded("Exports, Start-up", [&] {
        EnsureApplication();
        library.State = TLibraryState::Running;
        QCoreApplication *app = QCoreApplication::instance();
        library.QuitConnection
            = QObject::connect(app, &QCoreApplication::aboutToQuit, [] { ShutDownLibrary(); });
        static bool handlersAdded = false;
        if (!handlersAdded) {
            qAddPostRoutine(ApplicationGoing);
            std::atexit(LibraryUnloading);
            handlersAdded = true;
        }
        RunStartUpBlock();
    });
}

void ShutDownLibrary() noexcept
{
    TLibrary &library = Library();
    if (library.State != TLibraryState::Running)
        return;
    library.State = TLibraryState::ShutDown;
    RunGuarded("Exports, Shutdown", [&] {
        QObject::disconnect(library.QuitConnection);
        // Once the application object is being destroyed its widgets are gone with it, and so is
        // the window system: nothing of Qt's may be freed then.
        const bool qtAlive = QCoreApplication::instance() && !QCoreApplication::closingDown()
            && !library.ProcessExiting;
        // The windows and the process-wide widgets go before the objects they listen to.
        ReleaseAllWindows(qtAlive);
        SetAlertPictures(nullptr);
        if (qtAlive) { // freed now, not later: its pictures' source is going
            QPointer<QObject> form = ExistingConfigureAlertsForm();
            FreeConfigureAlertsForm();
            if (form)
                QCoreApplication::sendPostedEvents(form, QEvent::DeferredDelete);
            delete form.data();
        }
        FreeStatusFrameList();
        FreeIconCache();
        library.ListExports.reset();
        library.Hub.reset();
        // The session frees its own net requests and then the process-wide registry before it
        // drops its link.
        DestroyAllAlertsConnection();
        // Last, so that reports made while the rest went still reach a window that is freed
        // here, before the application object, rather than by an exit handler after Qt's own.
        SetDebugSink({});
        if (qtAlive)
            TMiscDebugWindow::Destroy();
    });
}

void RestartLibraryForTests()
{
    ShutDownLibrary();
    Library().State = TLibraryState::NotStarted;
    Library().ConnectRequested = false;
}

TSymbolListsHub &SymbolListsHub()
{
    TLibrary &library = Library();
    KV_ASSERT(
        library.State == TLibraryState::Running, "Symbol lists used outside the library's life.");
    if (!library.Hub)
        library.Hub = std::make_unique<TSymbolListsHub>(AllAlertsConnection());
    return *library.Hub;
}

const TSymbolListsHub *ExistingSymbolListsHub()
{
    return Library().Hub.get();
}

TSymbolListExports &SymbolListExports()
{
    TLibrary &library = Library();
    if (!library.ListExports)
        library.ListExports = std::make_unique<TSymbolListExports>(SymbolListsHub());
    return *library.ListExports;
}

void SetVendorIdFromHost(const char *vendorId)
{
    AllAlertsConnection().SetVendorId(vendorId ? vendorId : "DLL");
}

bool ConnectRequested()
{
    return Library().ConnectRequested;
}

void SetConnectRequested(bool requested)
{
    Library().ConnectRequested = requested;
}

} // namespace kestrova

extern "C" KV_EXPORT void KV_ProcessMessages(int32_t maxMilliseconds)
{
    // A call from a callback that an outer call runs would deliver events to handlers still on
    // the stack below it: it returns at once, and the outer call goes on when the callback
    // returns.
    static int depth = 0;
    if (depth > 0)
        return;
    kestrova::RunExport("KV_ProcessMessages", [&] {
        ++depth;
        struct TLeave
        {
            ~TLeave() { --depth; }
        } leave;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (maxMilliseconds <= 0)
            return;
        // Sleep until something arrives or the time is up; the timer bounds the wait.
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.start(maxMilliseconds);
        QDeadlineTimer limit(maxMilliseconds);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (!limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    });
}
