#pragma once
// What the session's link is doing, as one JSON object: the text KV_GetDiagnostics returns and
// kvtail --diagnostics prints. Its fields are described in docs/diagnostics.md.

#include <cstdint>
#include <string>

namespace kestrova {

class TAllAlertsConnection;

// listEditsWaiting: TSymbolListsHub::EditsWaiting, or -1 when the process has no symbol lists
// (written as null). One line, no line feed.
std::string SessionDiagnosticsJson(const TAllAlertsConnection &session, int32_t listEditsWaiting);

// "idle", "waiting", "connecting", "connected" or "closed" (see docs/diagnostics.md).
std::string LinkStateText(const TAllAlertsConnection &session);

} // namespace kestrova
