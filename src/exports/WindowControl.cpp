// Alert and status windows inside the host's windows: creation on a host parent, the registry by
// handle, callbacks raised for the grid's events, and release, which waits for the event loop
// while a callback is being delivered.

#include "exports/WindowControl.h"

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "status/StatusFrames.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "support/ProcessWide.h"
#include "support/ToolkitColors.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QWindow>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>
#if KV_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace kestrova {

namespace {

// The status window's colour (toolkit colour value 0x00BBGGRR).
constexpr uint32_t StatusPanelColor = 0xFF2010;

struct TWindowControl
{
    std::map<std::string, std::unique_ptr<TWindowWrapper>> Registry;
    THostCallbacks Callbacks;
    TCallbackContext Context;
    // Callbacks being delivered (nested when the host pumps the loop inside one).
    int Delivering = 0;
    // Windows released during a delivery, freed once none is running; the foreign window one
    // sits in goes after it.
    struct TReleased
    {
        QPointer<QWidget> Control;
        std::unique_ptr<QWindow> ForeignParent;
    };
    std::vector<TReleased> ToFree;
    bool FreePosted = false;
};

TProcessWide<TWindowControl> &Control()
{
    static TProcessWide<TWindowControl> control;
    return control;
}

TWindowControl &Windows()
{
    if (!Control())
        Control() = std::make_unique<TWindowControl>();
    return *Control();
}

void FreeReleased();

void PostFreeReleased()
{
    TWindowControl &c = Windows();
    if (c.FreePosted || c.ToFree.empty() || !QCoreApplication::instance())
        return;
    c.FreePosted = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &FreeReleased, Qt::QueuedConnection);
}

void FreeReleased()
{
    TWindowControl &c = Windows();
    c.FreePosted = false;
    if (c.Delivering > 0)
        return; // the delivery posts again when it ends
    RunGuarded("WindowControl, FreeReleased", [&] {
        for (TWindowControl::TReleased &released : std::exchange(c.ToFree, {})) {
            delete released.Control.data();
            released.ForeignParent.reset();
        }
    });
}

// Marks a callback in progress for as long as it lives.
class TDelivery
{
public:
    TDelivery() { ++Windows().Delivering; }
    ~TDelivery()
    {
        if (--Windows().Delivering == 0)
            PostFreeReleased();
    }
    TDelivery(const TDelivery &) = delete;
    TDelivery &operator=(const TDelivery &) = delete;
};

// False when the window system knows no window with that id. Only X11 can be asked; elsewhere
// Qt wraps no foreign windows at all.
bool NativeWindowExists(WId id)
{
#if KV_HAVE_XCB && QT_CONFIG(xcb)
    const auto *x11
        = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return true;
    xcb_connection_t *connection = x11->connection();
    xcb_generic_error_t *error = nullptr;
    xcb_get_geometry_reply_t *reply = xcb_get_geometry_reply(
        connection, xcb_get_geometry(connection, static_cast<xcb_drawable_t>(id)), &error);
    const bool exists = reply != nullptr;
    std::free(reply);
    std::free(error);
    return exists;
#else
    (void)id;
    return true;
#endif
}

// The host's widget with that native id, or a foreign native window wrapped; neither for 0 or an
// id that names no window.
QWidget *FindParent(KV_HWND parent, std::unique_ptr<QWindow> &foreign)
{
    if (parent == 0)
        return nullptr;
    const WId id = static_cast<WId>(parent);
    if (QWidget *widget = QWidget::find(id))
        return widget;
    if (NativeWindowExists(id))
        foreign.reset(QWindow::fromWinId(id));
    return nullptr;
}

// Puts a new top-level control into its foreign parent, if any, and shows it.
void Embed(QWidget &control, QWindow *foreign)
{
    if (foreign) {
        control.winId();
        control.windowHandle()->setParent(foreign);
    }
    control.show();
}

KV_HWND Register(std::unique_ptr<TWindowWrapper> wrapper)
{
    const KV_HWND handle = wrapper->Handle();
    Windows().Registry[HandleKey(handle)] = std::move(wrapper);
    return handle;
}

} // namespace

// ---- the form ----

TIntermediateForm::TIntermediateForm(QWidget *parent)
    : QWidget(parent, parent ? Qt::Widget : Qt::Window | Qt::FramelessWindowHint)
{
    setFocusPolicy(Qt::TabFocus);
}

void TIntermediateForm::SetPanel(TAlertPanel *panel)
{
    KV_ASSERT(!FPanel, "An intermediate form holds one alert panel.");
    FPanel = panel;
    panel->setParent(this);
    panel->setGeometry(rect());
    panel->show();
}

void TIntermediateForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (FPanel)
        FPanel->setGeometry(rect());
}

// ---- the wrapper ----

TWindowWrapper::TWindowWrapper(QWidget *control, std::unique_ptr<QWindow> foreignParent)
    : FControl(control)
    , FForeignParent(std::move(foreignParent))
    , FHandle(static_cast<KV_HWND>(control->winId()))
{
    if (auto *form = qobject_cast<TIntermediateForm *>(control); form && form->Panel()) {
        FIsAlertWindow = true;
        WireGrid(form->Panel()->Grid());
    }
}

TWindowWrapper::~TWindowWrapper()
{
    FAlive.reset();
    TWindowControl &c = Windows();
    if (c.Context.Current == FHandle)
        c.Context.Current = 0;
    if (!FControl)
        return;
    if (c.Delivering > 0) {
        // The grid may be running the delivery: it goes once the loop has unwound.
        FControl->hide();
        c.ToFree.push_back({ FControl, std::move(FForeignParent) });
        return;
    }
    delete FControl.data();
}

TAlertGrid *TWindowWrapper::Grid() const
{
    if (!FIsAlertWindow || !FControl)
        return nullptr;
    return &static_cast<TIntermediateForm *>(FControl.data())->Panel()->Grid();
}

void TWindowWrapper::Raise(KV_Callback callback) const
{
    if (!callback)
        return;
    TDelivery delivery;
    Windows().Context.Current = FHandle;
    callback();
}

void TWindowWrapper::WireGrid(TAlertGrid &grid)
{
    // Each handler holds a weak reference to this wrapper: once released, the rest of a
    // delivery does nothing.
    const std::weak_ptr<int> alive = FAlive;
    const auto guarded = [alive](const std::string &location, auto &&body) {
        if (!alive.expired())
            RunGuarded(location, body);
    };
    // Made once: the each-alert handler runs for every alert of every window.
    static const std::string customMenu = "WindowControl, TWindowWrapper.CustomMenu",
                             selected = "WindowControl, TWindowWrapper.AlertSelected",
                             eachAlert = "WindowControl, TWindowWrapper.EachAlert",
                             windowName = "WindowControl, TWindowWrapper.WindowNameChanged",
                             beforeQuorix = "WindowControl, TWindowWrapper.BeforeQuorix";
    grid.OnCustomMenu = [guarded, this](const std::string &caption, int id) {
        guarded(customMenu, [&] {
            KV_Callback callback = Windows().Callbacks.CustomMenu;
            if (!callback)
                return;
            Windows().Context.MenuCaption = caption;
            Windows().Context.MenuId = id;
            Raise(callback);
        });
    };
    grid.OnAlertSelected = [guarded, this](const TAlertRecord &) {
        guarded(selected, [&] { Raise(Windows().Callbacks.AlertSelected); });
    };
    grid.OnEachAlert = [guarded, this](const TAlertRecord &) {
        guarded(eachAlert, [&] { Raise(Windows().Callbacks.EachAlert); });
    };
    grid.OnWindowNameChanged
        = [guarded, this] { guarded(windowName, [&] { Raise(Windows().Callbacks.WindowName); }); };
    grid.OnBeforeQuorix = [guarded, this](bool &allow) {
        guarded(beforeQuorix, [&] {
            KV_AllowCallback callback = Windows().Callbacks.QuorixStart;
            if (!callback)
                return;
            TDelivery delivery;
            Windows().Context.Current = FHandle;
            allow = callback() != 0;
        });
    };
}

// ---- the registry ----

std::string HandleKey(KV_HWND handle)
{
    char text[2 * sizeof(KV_HWND) + 1];
    std::snprintf(text, sizeof text, "%" PRIXPTR, handle);
    return text;
}

KV_HWND CreateAlertWindow(KV_HWND parent)
{
    std::unique_ptr<QWindow> foreign;
    auto *form = new TIntermediateForm(FindParent(parent, foreign));
    std::unique_ptr<TWindowWrapper> wrapper;
    try {
        form->SetPanel(new TAlertPanel(form));
        Embed(*form, foreign.get());
        wrapper = std::make_unique<TWindowWrapper>(form, std::move(foreign));
    } catch (...) {
        delete form;
        throw;
    }
    return Register(std::move(wrapper));
}

KV_HWND CreateStatusWindow(KV_HWND parent)
{
    std::unique_ptr<QWindow> foreign;
    QWidget *host = FindParent(parent, foreign);
    auto *panel = new QFrame(host, host ? Qt::Widget : Qt::Window | Qt::FramelessWindowHint);
    std::unique_ptr<TWindowWrapper> wrapper;
    try {
        // Its own look, not the parent's: a raised blue panel without an outer bevel.
        panel->setFrameStyle(QFrame::NoFrame);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, ToolkitColor(StatusPanelColor));
        panel->setPalette(palette);
        panel->setAutoFillBackground(true);
        auto *layout = new QHBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new TStatusFrame(panel));
        panel->resize(134, 25);
        Embed(*panel, foreign.get());
        wrapper = std::make_unique<TWindowWrapper>(panel, std::move(foreign));
    } catch (...) {
        delete panel;
        throw;
    }
    return Register(std::move(wrapper));
}

void ReleaseWindow(KV_HWND handle)
{
    auto &registry = Windows().Registry;
    const auto found = registry.find(HandleKey(handle));
    if (found == registry.end())
        return;
    // Out of the registry first: whatever the window's destruction raises finds it gone.
    std::unique_ptr<TWindowWrapper> wrapper = std::move(found->second);
    registry.erase(found);
    wrapper.reset();
}

TWindowWrapper *FindWindowWrapper(KV_HWND handle)
{
    auto &registry = Windows().Registry;
    const auto found = registry.find(HandleKey(handle));
    return found == registry.end() || !found->second->Control() ? nullptr : found->second.get();
}

TAlertGrid *FindAlertGrid(KV_HWND handle)
{
    TWindowWrapper *wrapper = FindWindowWrapper(handle);
    return wrapper ? wrapper->Grid() : nullptr;
}

size_t WindowCount()
{
    return Windows().Registry.size();
}

void ReleaseAllWindows(bool qtAlive)
{
    TWindowControl &c = Windows();
    c.Callbacks = {};
    if (!qtAlive) { // the widgets went with the application; its window system is gone too
        for (auto &[key, wrapper] : c.Registry)
            (void)wrapper.release();
        for (TWindowControl::TReleased &released : c.ToFree)
            (void)released.ForeignParent.release();
        c.Registry.clear();
        c.ToFree.clear();
        c.Context = {};
        return;
    }
    c.Delivering = 0; // nothing runs a delivery any more: free at once
    while (!c.Registry.empty())
        ReleaseWindow(c.Registry.begin()->second->Handle());
    FreeReleased();
    c.Context = {};
}

void FreeWindowControl()
{
    Control().reset();
}

THostCallbacks &HostCallbacks()
{
    return Windows().Callbacks;
}

const TCallbackContext &CallbackContext()
{
    return Windows().Context;
}

TAlertGrid *CurrentGrid()
{
    const KV_HWND current = Windows().Context.Current;
    return current ? FindAlertGrid(current) : nullptr;
}

} // namespace kestrova
