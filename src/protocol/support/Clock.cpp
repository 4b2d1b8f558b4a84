#include "support/Clock.h"

#include "support/DateTime.h"

#include <chrono>
#include <new>

namespace kestrova::Clock {

namespace {
std::function<TDateTime()> &NowSource()
{
    static std::function<TDateTime()> source;
    return source;
}
std::function<int64_t()> &CounterSource()
{
    static std::function<int64_t()> source;
    return source;
}
int64_t &CounterFrequency()
{
    static int64_t frequency = 1'000'000'000;
    return frequency;
}
} // namespace

TDateTime Now()
{
    if (NowSource())
        return NowSource()();
    return LocalNow();
}

void SetNowSource(std::function<TDateTime()> source)
{
    NowSource() = std::move(source);
}

int64_t Counter()
{
    if (CounterSource())
        return CounterSource()();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t Frequency()
{
    return CounterFrequency();
}

void SetCounterSource(std::function<int64_t()> counter, int64_t frequency)
{
    CounterSource() = std::move(counter);
    CounterFrequency() = CounterSource() ? frequency : 1'000'000'000;
}

} // namespace kestrova::Clock

namespace kestrova {

namespace {
class TProcessClock final : public IClock
{
public:
    TDateTime Now() const override { return Clock::Now(); }
    int64_t Counter() const override { return Clock::Counter(); }
    int64_t Frequency() const override { return Clock::Frequency(); }
};
} // namespace

const IClock &ProcessClock()
{
    // Never destroyed, since units freed by exit handlers may still hold it; built in static
    // storage rather than on the heap, so nothing is left behind when the library unloads.
    alignas(TProcessClock) static unsigned char storage[sizeof(TProcessClock)];
    static const TProcessClock *clock = new (storage) TProcessClock;
    return *clock;
}

} // namespace kestrova
