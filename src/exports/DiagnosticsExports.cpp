// The exports that tell the host about the library: its version, its log, the state of its link.

#include "exports/LibraryStartUp.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/GetAlertData.h"
#include "session/SessionDiagnostics.h"
#include "support/DebugLog.h"
#include "symbollists/SymbolLists.h"

#include <string>

extern "C" {

KV_EXPORT const char *KV_GetVersion(void)
{
    // A constant: no start-up, any thread.
    return KV_VERSION_STRING;
}

KV_EXPORT void KV_SetLogCallback(KV_LogCallback callback)
{
    // No start-up, so that a host which sets it first also sees the start-up's own lines.
    kestrova::RunGuarded("Exports, KV_SetLogCallback", [&] {
        if (!callback) {
            kestrova::SetLogCallback({});
            return;
        }
        kestrova::SetLogCallback([callback](kestrova::TLogLevel level, const std::string &line) {
            callback(static_cast<int>(level), line.c_str());
        });
    });
}

KV_EXPORT const char *KV_GetDiagnostics(void)
{
    static std::string text = "{}";
    kestrova::RunExport("KV_GetDiagnostics", [&] {
        const kestrova::TSymbolListsHub *lists = kestrova::ExistingSymbolListsHub();
        text = kestrova::SessionDiagnosticsJson(
            kestrova::AllAlertsConnection(), lists ? lists->EditsWaiting() : -1);
    });
    return text.c_str();
}

} // extern "C"
