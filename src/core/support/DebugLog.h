#pragma once
// The library's debug log: every report goes to an in-memory log (readable by tests and by
// diagnostics), to the sink, where the debug window plugs in once the widgets are there, to the
// file or stream the KESTROVA_LOG environment variable names ("stderr" or a file path, read at
// the first report) and to the host's log callback. GUI thread only.

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace kestrova {

// How serious a report is. The numbers are the levels the host's log callback receives.
enum TLogLevel { llDebug = 0, llInfo = 1, llWarning = 2, llError = 3 };

// Appends one report (it may hold CR LF, which the window shows as several lines).
void ShowDebugMessage(const std::string &text, TLogLevel level = llInfo);

// Reports "Class=<name>, Message=<what>, Location=<location>" at llError. Never throws.
void ReportException(const std::exception &e, const std::string &location) noexcept;
// For a caught object that is not a std::exception. Never throws.
void ReportUnknownException(const std::string &location) noexcept;

// Where every report goes after the in-memory log (empty: nowhere else). The UI layer installs
// the debug window here; an exception from the sink is swallowed.
using TDebugSink = std::function<void(const std::string &text)>;
void SetDebugSink(TDebugSink sink);

// The host's function: called with every report after the other outputs (line breaks as LF), not
// while it is already running (a report it causes reaches the other outputs only). Empty: none.
using TLogCallback = std::function<void(TLogLevel level, const std::string &text)>;
void SetLogCallback(TLogCallback callback);
// True while the host's log callback runs.
bool InLogCallback();
// Closes the KESTROVA_LOG file (library unload); the next report opens it again.
void CloseLogDestination();
// Frees the log and its entries (the library unloading); a later report starts a new one.
void FreeLog();
// "debug", "info", "warning" or "error".
const char *LogLevelName(TLogLevel level);

// The in-memory log: every text given to ShowDebugMessage, in order, one entry per call.
namespace DebugLog {
std::vector<std::string> Entries();
void Clear();
} // namespace DebugLog

// Runs an event handler: any exception is caught and reported with the location text and never
// propagates to the caller (the Qt loop, the host). Returns false when the handler raised.
template<typename F>
bool RunGuarded(const std::string &location, F &&handler) noexcept
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const std::exception &e) {
        ReportException(e, location);
    } catch (...) {
        ReportUnknownException(location);
    }
    return false;
}

} // namespace kestrova
