#pragma once
// The synthetic market: invented symbols on the catalogue's exchanges with random-walk prices,
// and the alerts that fire from it. Everything is deterministic for a given seed: live alerts
// for a given sequence of Advance calls, and past alerts per minute (any minute can be
// regenerated on its own, so history needs no storage).

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrova::alertd {

// splitmix64: small, fast and identical on every platform.
class TRandom
{
public:
    explicit TRandom(uint64_t seed)
        : FState(seed)
    {
    }
    uint64_t Next();
    double Uniform(); // [0, 1)
    double Uniform(double lo, double hi);
    int Below(int n); // [0, n)
    double Gaussian();
    bool Chance(double p) { return Uniform() < p; }

private:
    uint64_t FState;
};

uint64_t MixSeed(uint64_t a, uint64_t b);

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();

struct TAlert
{
    int64_t Id = 0; // position in the live log; for past alerts a per-minute key
    int Symbol = 0; // index into TMarket::Symbols()
    int Type = 0; // index into AlertTypes()
    int64_t UnixTime = 0;
    std::string Description;
    double Price = 0;
    double Quality = NoValue;
    double RelVol = NoValue;
    double DayRange = NoValue; // where the price stands in the day's range, 0..1
    double StdDev = NoValue;
    double Volatility = NoValue;
    int Num = 0; // 0: not sent
    bool Historical = false;
    // The alert's reply element, per time form (0: Unix seconds, 1: local text), built once
    // and shared by every window and connection that receives it.
    mutable std::string Element[2];
};

struct TSymbolInfo
{
    std::string Name;
    int Exchange = 0;
    double Volatility = 0; // typical move over 15 minutes, in dollars
};

class TMarket
{
public:
    static constexpr int HistoryPerMinute = 4;
    static constexpr int ChartDays = 370;
    static constexpr int IntradayPoints = 66;

    TMarket(uint64_t seed, int symbolCount, int64_t startUnixMs);

    const std::vector<TSymbolInfo> &Symbols() const { return FSymbols; }
    int FindSymbol(const std::string &name) const;
    const std::string &SymbolName(int i) const { return FSymbols[i].Name; }
    int64_t StartUnixMs() const { return FStartMs; }

    // Moves the market to nowMs and returns the alerts that fired meanwhile, about
    // rate per second, oldest first (ids unset).
    std::vector<TAlert> Advance(int64_t nowMs, double rate);

    // The alerts of one past minute (Unix minute number), oldest first. Ids are
    // minute * HistoryPerMinute + k, so they order like the times.
    std::vector<TAlert> MinuteHistory(int64_t minute) const;

    // Daily closes, oldest first, the last one is today's current price.
    std::vector<double> DailyCloses(int symbol) const;
    // Today's price path, IntradayPoints samples, oldest first.
    std::vector<double> Intraday(int symbol) const;
    double Price(int symbol) const { return FState[symbol].Price; }

private:
    struct TState
    {
        double Price = 0, Open = 0, High = 0, Low = 0;
        int Count = 0;
        std::vector<double> Closes; // ChartDays values ending with yesterday's close
        std::vector<double> Intraday; // ring of IntradayPoints samples
        size_t IntradayHead = 0;
    };
    TAlert MakeAlert(TRandom &rng, int symbol, int64_t unixSeconds, double price, double low,
        double high, int num) const;
    void SampleIntraday();

    uint64_t FSeed;
    int64_t FStartMs;
    int64_t FLastMs;
    int64_t FLastSampleMs;
    double FPending = 0;
    TRandom FRandom;
    std::vector<TSymbolInfo> FSymbols;
    std::vector<TState> FState;
    std::unordered_map<std::string, int> FIndex;
};

} // namespace kestrova::alertd
