#pragma once
// The fixture of the tests that use the library's windows as a host does: a host widget, the
// host's callbacks recording what the getters say inside them, and the windows released after
// each test.

#include "host/HostLibrary.h"
#include "support/QtLoop.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvhost {

// What the getters said inside one callback.
struct Event
{
    std::string What;
    KV_HWND Window = 0;
    std::string Symbol, Type, Description, Name, Caption;
    int32_t Time = 0, MenuId = 0;
    double Quality = 0, RelVol = 0;
};

struct Recorder
{
    std::vector<Event> Events;
    // Runs inside the callback, after the getters were read.
    std::function<void(const Event &)> During;
    int32_t Allow = 0;
};

inline Recorder &Rec()
{
    static Recorder recorder;
    return recorder;
}

inline std::string Text(const char *text)
{
    return text ? std::string(text) : std::string("<null>");
}

inline Event Read(const char *what)
{
    const auto &kv = Kv();
    Event e;
    e.What = what;
    e.Window = kv.KV_GetCallbackWindow();
    e.Symbol = Text(kv.KV_GetCallbackAlertSymbol());
    e.Type = Text(kv.KV_GetCallbackAlertType());
    e.Description = Text(kv.KV_GetCallbackAlertDescription());
    e.Time = kv.KV_GetCallbackAlertTimeStamp();
    e.Quality = kv.KV_GetCallbackAlertQuality();
    e.RelVol = kv.KV_GetCallbackAlertRelVol();
    e.Caption = Text(kv.KV_GetCallbackMenuCaption());
    e.MenuId = kv.KV_GetCallbackMenuId();
    e.Name = e.Window ? Text(kv.KV_GetWindowName(e.Window)) : "";
    return e;
}

inline void Record(const char *what)
{
    Rec().Events.push_back(Read(what));
    if (Rec().During)
        Rec().During(Rec().Events.back());
}

inline void OnEachAlert()
{
    Record("each");
}
inline void OnSelected()
{
    Record("selected");
}
inline void OnName()
{
    Record("name");
}
inline void OnMenu()
{
    Record("menu");
}
inline int32_t OnQuorixStart()
{
    Record("quorix");
    return Rec().Allow;
}

// The visible top-level widget (a window's dialog or the shared one) with that object name.
inline QWidget *Shown(const char *objectName)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String(objectName))
            return w;
    return nullptr;
}

class HostWindows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(Kv().Error, "");
        Rec() = {};
        Host.resize(900, 700);
        Host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Host));
        Kv().KV_SetEachAlertCallback(OnEachAlert);
        Kv().KV_SetAlertSelectedCallback(OnSelected);
        Kv().KV_SetWindowNameCallback(OnName);
        Kv().KV_SetCustomMenuCallback(OnMenu);
        Kv().KV_SetQuorixStartCallback(OnQuorixStart);
    }
    void TearDown() override
    {
        for (KV_HWND h : Created)
            Kv().KV_ReleaseWindow(h);
        Kv().KV_SetEachAlertCallback(nullptr);
        Kv().KV_SetAlertSelectedCallback(nullptr);
        Kv().KV_SetWindowNameCallback(nullptr);
        Kv().KV_SetCustomMenuCallback(nullptr);
        Kv().KV_SetQuorixStartCallback(nullptr);
        kvtest::RunFor(20);
        // The shared configure dialog goes later with the last window.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    KV_HWND Create(const char *dataConfig = nullptr)
    {
        const KV_HWND h = Kv().KV_CreateAlertWindow(Host.winId());
        Created.push_back(h);
        if (dataConfig)
            Kv().KV_SetDataConfig(h, dataConfig);
        return h;
    }
    // The events of one kind, in order.
    std::vector<Event> Of(const std::string &what) const
    {
        std::vector<Event> out;
        for (const Event &e : Rec().Events)
            if (e.What == what)
                out.push_back(e);
        return out;
    }
    void UseServer(const std::string &address)
    {
        Kv().KV_SetTcpIpServerAddress(address.c_str());
        Kv().KV_SetUsernameAndPassword("host", "pw");
    }

    QWidget Host;
    std::vector<KV_HWND> Created;
};

} // namespace kvhost
