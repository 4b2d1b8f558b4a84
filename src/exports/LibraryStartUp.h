#pragma once
// The library's life on the host's GUI thread: start-up on the first call of any export, the
// process-wide symbol-list objects the list exports use, and the orderly shutdown when the Qt
// application quits or the library unloads, whichever comes first.

#include "support/DebugLog.h"

#include <string>

namespace kestrova {

class TSymbolListsHub;
class TSymbolListExports;

// Makes sure a Qt application object exists (creating a QApplication on the offscreen platform
// when no display is available), then runs the start-up block once. False once the library has
// shut down (the application object is gone): exports then do nothing. Never throws.
bool EnsureLibraryStarted() noexcept;

// The start-up block: help links on, backtest names, server-time mode with its formats, vendor
// id "DLL". Nothing connects.
void RunStartUpBlock();

// Frees the list objects, then the session (which frees its net requests before its link).
// Touches no Qt object once the application object is gone. Safe to call twice.
void ShutDownLibrary() noexcept;

// For tests: shuts down and lets the next export start the library again.
void RestartLibraryForTests();

// The process-wide list objects, bound to the session; created on first use.
TSymbolListsHub &SymbolListsHub();
// The list objects when they exist, without creating them.
const TSymbolListsHub *ExistingSymbolListsHub();
TSymbolListExports &SymbolListExports();

// Sets the session's vendor id the way KV_SetVendorID does (null: "DLL").
void SetVendorIdFromHost(const char *vendorId);

// The connect-requested flag written by KV_Connect / KV_Disconnect and read by nothing else.
bool ConnectRequested();
void SetConnectRequested(bool requested);

// Runs an export's body after start-up, reporting any exception under the export's name.
template<typename F>
void RunExport(const char *exportName, F &&body) noexcept
{
    if (EnsureLibraryStarted())
        RunGuarded(std::string("Exports, ") + exportName, std::forward<F>(body));
}

} // namespace kestrova
