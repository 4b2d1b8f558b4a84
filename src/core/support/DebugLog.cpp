#include "support/DebugLog.h"

#include "support/Exceptions.h"

#include <deque>

namespace kestrova {

namespace {
// Bounded so that a library left running for weeks keeps a steady footprint.
constexpr size_t MaxEntries = 10000;

std::deque<std::string> &Log()
{
    static std::deque<std::string> entries;
    return entries;
}

TDebugSink &Sink()
{
    static TDebugSink sink;
    return sink;
}
} // namespace

void SetDebugSink(TDebugSink sink)
{
    Sink() = std::move(sink);
}

void ShowDebugMessage(const std::string &text)
{
    Log().push_back(text);
    if (Log().size() > MaxEntries)
        Log().pop_front();
    if (Sink()) {
        try {
            Sink()(text);
        } catch (...) {
            // The log holds the report; a failing window must not fail the reporter.
        }
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
        ShowDebugMessage("Class=" + className + ", Message=" + message + ", Location=" + location);
    } catch (...) {
        // Reporting must never fail the caller.
    }
}

void ReportUnknownException(const std::string &location) noexcept
{
    try {
        ShowDebugMessage("Class=Unknown, Message=Unknown exception, Location=" + location);
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
