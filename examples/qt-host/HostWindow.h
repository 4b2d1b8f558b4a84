#pragma once
// The host's main window: two panes holding one alert window each, with the window's name as
// the pane's caption, a log of every callback, the status window in the status bar and a menu
// of its own that drives the alert windows.

#include "KvLibrary.h"

#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <vector>

// A place in the host's layout for one library window; it keeps the window the size of its
// client area.
class WindowSlot : public QWidget
{
public:
    explicit WindowSlot(QWidget *parent = nullptr);
    // Creates the library window inside this slot (alert or status).
    void Create(const KvLibrary &kv, bool alertWindow);
    // Releases it; called before the application quits.
    void Release();
    KV_HWND Handle() const { return FHandle; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    const KvLibrary *FKv = nullptr;
    KV_HWND FHandle = 0;
};

class HostWindow : public QMainWindow
{
public:
    explicit HostWindow(const KvLibrary &kv);
    ~HostWindow() override;

    // Appends a line to the log pane and to stdout.
    void Log(const QString &line);
    // The number of each-alert callbacks so far.
    int AlertCount() const { return FAlerts; }
    // The alert windows' handles.
    std::vector<KV_HWND> AlertWindows() const;
    // A point over the left alert window's alerts, in screen coordinates.
    QPoint MenuPoint() const;
    // Releases every library window (before the library's application quits).
    void ReleaseWindows();

    // The callbacks, routed here by the host's plain functions.
    void EachAlert();
    void AlertSelected();
    void WindowNameChanged();
    void CustomMenu();
    int32_t QuorixStart();

private:
    void BuildMenu();
    QLabel *CaptionOf(KV_HWND window) const;
    QString Describe(KV_HWND window) const;

    const KvLibrary &FKv;
    WindowSlot *FLeft, *FRight, *FStatus;
    QLabel *FLeftCaption, *FRightCaption;
    QPlainTextEdit *FLog;
    int FAlerts = 0;
};
