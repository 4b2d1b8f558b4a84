#pragma once
// The one clock that code reads "now" from, settable by tests; and the high-resolution counter.

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

} // namespace kestrova
