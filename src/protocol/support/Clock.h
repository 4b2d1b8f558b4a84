#pragma once
// The one clock that code reads "now" from, settable by tests; and the high-resolution counter.
// Units that keep time (the session) take an IClock in their constructor instead, so that a test
// hands them a clock of its own.

#include <cstdint>
#include <functional>

namespace kestrova {

// Days since 1899-12-30; the fraction is the time of day. Local time unless a name says UTC.
using TDateTime = double;

namespace Clock {
// Local wall-clock now, or the value of the override while one is installed.
TDateTime Now();
// Installs (or, with an empty function, removes) the source of Now(). For tests.
void SetNowSource(std::function<TDateTime()> source);

// High-resolution counter in ticks; Frequency() ticks per second, 0 when there is no counter.
int64_t Counter();
int64_t Frequency();
// Replaces the counter (an empty function restores the steady clock). For tests.
void SetCounterSource(std::function<int64_t()> counter, int64_t frequency);
} // namespace Clock

// A source of time passed to the units that keep time.
class IClock
{
public:
    virtual ~IClock() = default;
    // Local wall-clock now.
    virtual TDateTime Now() const = 0;
    // High-resolution counter in ticks; Frequency() ticks per second, 0 when there is none.
    virtual int64_t Counter() const = 0;
    virtual int64_t Frequency() const = 0;
};

// The process clock: the functions of Clock above. Lives for the whole process.
const IClock &ProcessClock();

} // namespace kestrova
