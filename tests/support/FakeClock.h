#pragma once
// A settable clock for the lifetime of a test: handed to the units that take a clock, and also
// installed as the process clock (Clock::Now()) until destruction. Its counter runs with the
// wall clock at TicksPerSecond (0: no counter).

#include "support/Clock.h"

namespace kvtest {

class FakeClock : public kestrova::IClock
{
public:
    explicit FakeClock(kestrova::TDateTime start = 46000.5)
        : Time(start)
    {
        kestrova::Clock::SetNowSource([this] { return Time; });
    }
    ~FakeClock() override { kestrova::Clock::SetNowSource({}); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    void AdvanceMilliseconds(double ms)
    {
        Time += ms / 86400000.0;
        Ticks += static_cast<int64_t>(ms * static_cast<double>(TicksPerSecond) / 1000.0);
    }

    kestrova::TDateTime Now() const override { return Time; }
    int64_t Counter() const override { return Ticks; }
    int64_t Frequency() const override { return TicksPerSecond; }

    kestrova::TDateTime Time;
    int64_t Ticks = 1000;
    int64_t TicksPerSecond = 1'000'000;
};

} // namespace kvtest
