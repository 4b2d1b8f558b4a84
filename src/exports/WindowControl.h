#pragma once
// Alert and status windows inside the host's windows: the borderless form that holds an alert
// panel, the wrapper that owns a window and forwards its grid's events to the host's callbacks,
// the registry that finds a window by its handle, and the callback context the getters read.
// GUI thread only.

#include "kestrova/KestrovaAlerts.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

class QWindow;

namespace kestrova {

class TAlertGrid;
class TAlertPanel;

// The borderless form of an alert window; its one alert panel fills it.
class TIntermediateForm : public QWidget
{
    Q_OBJECT
public:
    explicit TIntermediateForm(QWidget *parent);
    // Takes the panel as a child; a second panel is a programming error.
    void SetPanel(TAlertPanel *panel);
    TAlertPanel *Panel() const { return FPanel; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    TAlertPanel *FPanel = nullptr;
};

// Owns one window (an intermediate form or a status panel) and, for an alert window, raises the
// host's callbacks for its grid's events.
class TWindowWrapper
{
public:
    // Takes control (and the foreign parent window it sits in, if any).
    TWindowWrapper(QWidget *control, std::unique_ptr<QWindow> foreignParent);
    // Frees the window: at once, or once control is back in the event loop while a callback is
    // being delivered (its grid may be running the delivery).
    ~TWindowWrapper();
    TWindowWrapper(const TWindowWrapper &) = delete;
    TWindowWrapper &operator=(const TWindowWrapper &) = delete;

    // Null once the window was destroyed with its parent.
    QWidget *Control() const { return FControl; }
    KV_HWND Handle() const { return FHandle; }
    // The grid of an alert window (null for a status window or a window that is gone).
    TAlertGrid *Grid() const;

private:
    void WireGrid(TAlertGrid &grid);
    void Raise(KV_Callback callback) const;

    QPointer<QWidget> FControl;
    std::unique_ptr<QWindow> FForeignParent;
    KV_HWND FHandle = 0;
    bool FIsAlertWindow = false;
    // The grid's event handlers hold a weak reference: once this wrapper is gone they do nothing.
    std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

// "1A2B" for 0x1a2b: the registry's key.
std::string HandleKey(KV_HWND handle);

// Creation returns the new window's handle; release frees a registered window (and does nothing
// for an unknown handle).
KV_HWND CreateAlertWindow(KV_HWND parent);
KV_HWND CreateStatusWindow(KV_HWND parent);
void ReleaseWindow(KV_HWND handle);
// A registered window, or null.
TWindowWrapper *FindWindowWrapper(KV_HWND handle);
// A registered alert window's grid, or null.
TAlertGrid *FindAlertGrid(KV_HWND handle);
size_t WindowCount();
// Library shutdown: frees every window (leaving Qt objects alone when Qt is going) and forgets
// the callbacks and the context.
void ReleaseAllWindows(bool qtAlive);
// The library unloading: frees the registry itself, after ReleaseAllWindows.
void FreeWindowControl();

// The host's callbacks, shared by all windows.
struct THostCallbacks
{
    KV_Callback CustomMenu = nullptr;
    KV_Callback AlertSelected = nullptr;
    KV_Callback EachAlert = nullptr;
    KV_Callback WindowName = nullptr;
    KV_AllowCallback QuorixStart = nullptr;
};
THostCallbacks &HostCallbacks();

// What the getters read: the window that raised the last callback (0 when none, or once it was
// released) and the last host item clicked.
struct TCallbackContext
{
    KV_HWND Current = 0;
    std::string MenuCaption;
    int32_t MenuId = 0;
};
const TCallbackContext &CallbackContext();
// The current window's grid, or null.
TAlertGrid *CurrentGrid();

} // namespace kestrova
