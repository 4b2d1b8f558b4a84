// The connection exports: thin wrappers that copy the host's text and hand it to the session.

#include "exports/LibraryStartUp.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/GetAlertData.h"
#include "support/DebugLog.h"

#include <string>

namespace {

using kestrova::AllAlertsConnection;
using kestrova::RunExport;

// A longer user name makes the server drop the connection at every login.
constexpr size_t MaxUsernameLength = 1000;

// The host's text, copied; null reads as "".
std::string Text(const char *text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

extern "C" {

KV_EXPORT void KV_Connect(void)
{
    RunExport("KV_Connect", [] { kestrova::SetConnectRequested(true); });
}

KV_EXPORT void KV_Disconnect(void)
{
    RunExport("KV_Disconnect", [] { kestrova::SetConnectRequested(false); });
}

KV_EXPORT void KV_SetUsernameAndPassword(const char *username, const char *password)
{
    RunExport("KV_SetUsernameAndPassword", [&] {
        const std::string user = Text(username), secret = Text(password);
        if (user.size() > MaxUsernameLength) {
            kestrova::ShowDebugMessage("KV_SetUsernameAndPassword: a user name of "
                + std::to_string(user.size()) + " bytes was refused (at most "
                + std::to_string(MaxUsernameLength) + ").");
            return;
        }
        AllAlertsConnection().SetUsername(user);
        AllAlertsConnection().SetPassword(secret);
    });
}

KV_EXPORT void KV_SetVendorID(const char *vendorId)
{
    RunExport("KV_SetVendorID", [&] { kestrova::SetVendorIdFromHost(vendorId); });
}

KV_EXPORT void KV_SetReplacementSamplesURL(const char *url)
{
    RunExport("KV_SetReplacementSamplesURL",
        [&] { AllAlertsConnection().ReplacementSamplesUrl = Text(url); });
}

KV_EXPORT void KV_SetHelpURL(const char *url)
{
    RunExport("KV_SetHelpURL", [&] {
        auto &session = AllAlertsConnection();
        if (!url || !*url) {
            session.HelpEnabled = false;
            return;
        }
        session.HelpUrl = url;
        session.HelpEnabled = true;
    });
}

KV_EXPORT void KV_Reset(void)
{
    RunExport("KV_Reset", [] { AllAlertsConnection().Reset(); });
}

KV_EXPORT void KV_SetHttpProxyInformation(
    const char *username, const char *password, const char *host, int32_t port)
{
    RunExport("KV_SetHttpProxyInformation", [&] {
        AllAlertsConnection().SetHttpProxy(Text(username), Text(password), Text(host), port);
    });
}

KV_EXPORT void KV_SetSocksProxyInformation(
    const char *host, int32_t level, int32_t port, const char *username, const char *password)
{
    RunExport("KV_SetSocksProxyInformation", [&] {
        AllAlertsConnection().SetSocksProxy(
            Text(host), level, port, Text(username), Text(password));
    });
}

KV_EXPORT void KV_SetTcpIpServerAddress(const char *address)
{
    RunExport("KV_SetTcpIpServerAddress", [&] {
        // No address to go to: keep the current one rather than leave the session without one.
        if (address && *address)
            AllAlertsConnection().SetServerAddress(address);
    });
}

KV_EXPORT void KV_SetDebugInformation(void)
{
    RunExport("KV_SetDebugInformation", [] {});
}

} // extern "C"
