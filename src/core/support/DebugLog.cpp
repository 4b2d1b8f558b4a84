#include "support/DebugLog.h"

#include "support/Exceptions.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>

namespace kestrova {

namespace {
// Bounded so that a library left running for weeks keeps a steady footprint.
constexpr size_t MaxEntries = 10000;

// The log's state has no static destructor: reports made by exit handlers (a Qt application
// freed at exit, a library unloading) must still find it. The unload handler frees it last.
struct TLogState
{
    std::deque<std::string> Entries;
    TDebugSink Sink;
    TLogCallback Callback;
    bool InCallback = false;
    bool DestinationRead = false;
    FILE *Destination = nullptr; // stderr, or the file KESTROVA_LOG names
    bool OwnsDestination = false;
};

TLogState *TheState = nullptr;

TLogState &State()
{
    if (!TheState)
        TheState = new TLogState;
    return *TheState;
}

std::deque<std::string> &Log()
{
    return State().Entries;
}

// CR LF (and lone CR) as LF, for outputs that are not the window.
std::string WithLineFeeds(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            out += text[i];
        else if (i + 1 >= text.size() || text[i + 1] != '\n')
            out += '\n';
    }
    return out;
}

FILE *Destination()
{
    TLogState &state = State();
    if (state.DestinationRead)
        return state.Destination;
    state.DestinationRead = true;
    const char *name = std::getenv("KESTROVA_LOG");
    if (!name || !*name)
        return nullptr;
    if (std::strcmp(name, "stderr") == 0) {
        state.Destination = stderr;
        return stderr;
    }
    state.Destination = std::fopen(name, "a");
    if (!state.Destination) {
        std::fprintf(stderr, "kestrova: cannot open the log file %s (KESTROVA_LOG): %s\n", name,
            std::strerror(errno));
        return nullptr;
    }
    state.OwnsDestination = true;
    setvbuf(state.Destination, nullptr, _IOLBF, 0);
    return state.Destination;
}

// "kestrova 12:34:56.789 warning: text".
void WriteToDestination(TLogLevel level, const std::string &text)
{
    FILE *out = Destination();
    if (!out)
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis
        = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
        % 1000;
    std::tm local {};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(out, "kestrova %s.%03d %s: %s\n", stamp, static_cast<int>(millis),
        LogLevelName(level), text.c_str());
    std::fflush(out);
}

void CallHost(TLogLevel level, const std::string &text)
{
    TLogState &state = State();
    if (!state.Callback || state.InCallback)
        return;
    state.InCallback = true;
    try {
        const TLogCallback callback = state.Callback; // it may replace itself
        callback(level, text);
    } catch (...) {
        // The host's function must not fail the reporter.
    }
    state.InCallback = false;
}
} // namespace

const char *LogLevelName(TLogLevel level)
{
    switch (level) {
    case llDebug:
        return "debug";
    case llInfo:
        return "info";
    case llWarning:
        return "warning";
    case llError:
        return "error";
    }
    return "info";
}

void SetDebugSink(TDebugSink sink)
{
    State().Sink = std::move(sink);
}

void SetLogCallback(TLogCallback callback)
{
    State().Callback = std::move(callback);
}

bool InLogCallback()
{
    return State().InCallback;
}

void CloseLogDestination()
{
    TLogState &state = State();
    if (state.OwnsDestination && state.Destination)
        std::fclose(state.Destination);
    state.Destination = nullptr;
    state.OwnsDestination = false;
    state.DestinationRead = false;
}

void FreeLog()
{
    CloseLogDestination();
    delete TheState;
    TheState = nullptr;
}

void ShowDebugMessage(const std::string &text, TLogLevel level)
{
    Log().push_back(text);
    if (Log().size() > MaxEntries)
        Log().pop_front();
    if (State().Sink) {
        try {
            State().Sink(text);
        } catch (...) {
            // The log holds the report; a failing window must not fail the reporter.
        }
    }
    if (!State().Callback && !Destination())
        return;
    try {
        const std::string lines = WithLineFeeds(text);
        WriteToDestination(level, lines);
        CallHost(level, lines);
    } catch (...) {
        // Reporting must never fail the caller.
    }
}

void ReportException(const std::exception &e, const std::string &location) noexcept
{
    try {
        // Describe the object completely before reporting: one that cannot be described
        // (ClassName raises, what() gives nullptr) produces no line at all.
        const std::string className = ExceptionClassName(e);
        const char *message = e.what();
        if (!message)
            return;
        ShowDebugMessage(
            "Class=" + className + ", Message=" + message + ", Location=" + location, llError);
    } catch (...) {
        // Reporting must never fail the caller.
    }
}

void ReportUnknownException(const std::string &location) noexcept
{
    try {
        ShowDebugMessage("Class=Unknown, Message=Unknown exception, Location=" + location, llError);
    } catch (...) {
    }
}

namespace DebugLog {
std::vector<std::string> Entries()
{
    return { Log().begin(), Log().end() };
}
void Clear()
{
    Log().clear();
}
} // namespace DebugLog

} // namespace kestrova
