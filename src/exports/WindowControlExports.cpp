// The window exports: creation, position and release, configuration strings, menu commands,
// callback registration and the getters read inside callbacks.

#include "exports/LibraryStartUp.h"
#include "exports/WindowControl.h"
#include "grid/AlertGrids.h"
#include "grid/AlertGridsMenus.h"
#include "grid/AlertPanel.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/AlertRecord.h"

#include <string>

namespace {

using namespace kestrova;

std::string Text(const char *text)
{
    return text ? std::string(text) : std::string();
}

// The buffer KV_GetDataConfig, KV_GetWindowConfig and KV_GetWindowName return.
const char *Shared(std::string value)
{
    static std::string buffer;
    buffer = std::move(value);
    return buffer.c_str();
}

// Runs body on a registered alert window's grid.
template<typename F>
void OnGrid(const char *exportName, KV_HWND window, F &&body)
{
    RunExport(exportName, [&] {
        if (TAlertGrid *grid = FindAlertGrid(window))
            body(*grid);
    });
}

// A getter of the current window's current alert.
template<typename T, typename F>
T FromCurrentAlert(const char *exportName, T none, F &&read)
{
    T result = none;
    RunExport(exportName, [&] {
        if (const TAlertGrid *grid = CurrentGrid())
            result = read(grid->CurrentAlert());
    });
    return result;
}

} // namespace

extern "C" {

// ---- creation, position, release ----

KV_EXPORT KV_HWND KV_CreateAlertWindow(KV_HWND parent)
{
    KV_HWND handle = 0;
    RunExport("KV_CreateAlertWindow", [&] { handle = CreateAlertWindow(parent); });
    return handle;
}

KV_EXPORT KV_HWND KV_CreateStatusWindow(KV_HWND parent)
{
    KV_HWND handle = 0;
    RunExport("KV_CreateStatusWindow", [&] { handle = CreateStatusWindow(parent); });
    return handle;
}

KV_EXPORT void KV_ReleaseWindow(KV_HWND window)
{
    RunExport("KV_ReleaseWindow", [&] { ReleaseWindow(window); });
}

KV_EXPORT void KV_SetWindowPosition(
    KV_HWND window, int32_t left, int32_t top, int32_t width, int32_t height)
{
    RunExport("KV_SetWindowPosition", [&] {
        if (TWindowWrapper *wrapper = FindWindowWrapper(window))
            wrapper->Control()->setGeometry(left, top, width, height);
    });
}

// ---- configuration strings ----

KV_EXPORT const char *KV_GetDataConfig(KV_HWND window)
{
    const char *result = "";
    RunExport("KV_GetDataConfig", [&] {
        const TAlertGrid *grid = FindAlertGrid(window);
        result = Shared(grid ? grid->DataConfig() : std::string());
    });
    return result;
}

KV_EXPORT const char *KV_GetWindowConfig(KV_HWND window)
{
    const char *result = "";
    RunExport("KV_GetWindowConfig", [&] {
        const TAlertGrid *grid = FindAlertGrid(window);
        result = Shared(grid ? grid->WindowConfig() : std::string());
    });
    return result;
}

KV_EXPORT void KV_SetDataConfig(KV_HWND window, const char *config)
{
    OnGrid("KV_SetDataConfig", window, [&](TAlertGrid &grid) { grid.SetDataConfig(Text(config)); });
}

KV_EXPORT void KV_SetWindowConfig(KV_HWND window, const char *config)
{
    OnGrid("KV_SetWindowConfig", window,
        [&](TAlertGrid &grid) { grid.SetWindowConfig(Text(config)); });
}

KV_EXPORT const char *KV_GetWindowName(KV_HWND window)
{
    const char *result = "";
    RunExport("KV_GetWindowName", [&] {
        const TAlertGrid *grid = FindAlertGrid(window);
        result = Shared(grid ? grid->WindowName() : std::string());
    });
    return result;
}

// ---- commands ----

KV_EXPORT void KV_SimulateMenuClick(KV_HWND window, const char *path)
{
    OnGrid("KV_SimulateMenuClick", window,
        [&](TAlertGrid &grid) { grid.Menus().SimulateClick(Text(path)); });
}

KV_EXPORT void KV_SimulateQuorixClick(KV_HWND window)
{
    OnGrid("KV_SimulateQuorixClick", window,
        [](TAlertGrid &grid) { grid.Panel().SimulateBacktestClick(); });
}

KV_EXPORT void KV_AddCustomMenuItem(KV_HWND window, const char *caption, int32_t id)
{
    OnGrid("KV_AddCustomMenuItem", window,
        [&](TAlertGrid &grid) { grid.Menus().AddCustomItem(Text(caption), id); });
}

// ---- callbacks ----

KV_EXPORT void KV_SetCustomMenuCallback(KV_Callback callback)
{
    RunExport("KV_SetCustomMenuCallback", [&] { HostCallbacks().CustomMenu = callback; });
}

KV_EXPORT void KV_SetAlertSelectedCallback(KV_Callback callback)
{
    RunExport("KV_SetAlertSelectedCallback", [&] { HostCallbacks().AlertSelected = callback; });
}

KV_EXPORT void KV_SetEachAlertCallback(KV_Callback callback)
{
    RunExport("KV_SetEachAlertCallback", [&] { HostCallbacks().EachAlert = callback; });
}

KV_EXPORT void KV_SetWindowNameCallback(KV_Callback callback)
{
    RunExport("KV_SetWindowNameCallback", [&] { HostCallbacks().WindowName = callback; });
}

KV_EXPORT void KV_SetQuorixStartCallback(KV_AllowCallback callback)
{
    RunExport("KV_SetQuorixStartCallback", [&] { HostCallbacks().QuorixStart = callback; });
}

// ---- getters ----

KV_EXPORT KV_HWND KV_GetCallbackWindow(void)
{
    KV_HWND result = 0;
    RunExport("KV_GetCallbackWindow", [&] {
        if (FindWindowWrapper(CallbackContext().Current))
            result = CallbackContext().Current;
    });
    return result;
}

KV_EXPORT const char *KV_GetCallbackMenuCaption(void)
{
    const char *result = "";
    RunExport("KV_GetCallbackMenuCaption", [&] { result = CallbackContext().MenuCaption.c_str(); });
    return result;
}

KV_EXPORT int32_t KV_GetCallbackMenuId(void)
{
    int32_t result = 0;
    RunExport("KV_GetCallbackMenuId", [&] { result = CallbackContext().MenuId; });
    return result;
}

KV_EXPORT const char *KV_GetCallbackAlertSymbol(void)
{
    return FromCurrentAlert<const char *>("KV_GetCallbackAlertSymbol", nullptr,
        [](const TAlertRecord &alert) { return alert.Symbol.c_str(); });
}

KV_EXPORT const char *KV_GetCallbackAlertType(void)
{
    return FromCurrentAlert<const char *>("KV_GetCallbackAlertType", nullptr,
        [](const TAlertRecord &alert) { return alert.AlertType.c_str(); });
}

KV_EXPORT const char *KV_GetCallbackAlertDescription(void)
{
    return FromCurrentAlert<const char *>("KV_GetCallbackAlertDescription", nullptr,
        [](const TAlertRecord &alert) { return alert.Description.c_str(); });
}

KV_EXPORT int32_t KV_GetCallbackAlertTimeStamp(void)
{
    return FromCurrentAlert<int32_t>(
        "KV_GetCallbackAlertTimeStamp", 0, [](const TAlertRecord &alert) {
            const int64_t seconds
                = AlertUnixTime(alert, AllAlertsConnection().ServerZoneOffsetDays());
            return seconds < INT32_MIN || seconds > INT32_MAX ? 0 : static_cast<int32_t>(seconds);
        });
}

KV_EXPORT double KV_GetCallbackAlertQuality(void)
{
    return FromCurrentAlert<double>(
        "KV_GetCallbackAlertQuality", 0.0, [](const TAlertRecord &alert) { return alert.Quality; });
}

KV_EXPORT double KV_GetCallbackAlertRelVol(void)
{
    return FromCurrentAlert<double>(
        "KV_GetCallbackAlertRelVol", 0.0, [](const TAlertRecord &alert) { return alert.RelVol; });
}

} // extern "C"
