#pragma once
// A settable clock for the lifetime of a test: Clock::Now() returns Now until destruction.

#include "support/Clock.h"

namespace kvtest {

class FakeClock
{
public:
    explicit FakeClock(kestrova::TDateTime start = 46000.5)
        : Now(start)
    {
        kestrova::Clock::SetNowSource([this] { return Now; });
    }
    ~FakeClock() { kestrova::Clock::SetNowSource({}); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    void AdvanceMilliseconds(double ms) { Now += ms / 86400000.0; }

    kestrova::TDateTime Now;
};

} // namespace kvtest
