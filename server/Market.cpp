#include "Market.h"

#include "AlertCatalogue.h"

#include <algorithm>
#include <cstdio>

namespace kestrova::alertd {

uint64_t TRandom::Next()
{
    uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double TRandom::Uniform()
{
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double TRandom::Uniform(double lo, double hi)
{
    return lo + (hi - lo) * Uniform();
}

int TRandom::Below(int n)
{
    return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n));
}

double TRandom::Gaussian()
{
    const double u1 = std::max(Uniform(), 1e-12);
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

uint64_t MixSeed(uint64_t a, uint64_t b)
{
    TRandom r(a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull));
    return r.Next();
}

namespace {
const char *const Onsets[] = { "B", "C", "D", "F", "G", "H", "J", "K", "L", "M", "N", "P", "Q", "R",
    "S", "T", "V", "W", "X", "Z", "BR", "CR", "DR", "GL", "PL", "ST", "TR", "SK", "QU", "ZH" };
const char *const Vowels[] = { "A", "E", "I", "O", "U", "Y" };

std::string InventName(TRandom &rng)
{
    std::string name = Onsets[rng.Below(std::size(Onsets))];
    name += Vowels[rng.Below(std::size(Vowels))];
    if (rng.Chance(0.7))
        name += Onsets[rng.Below(20)];
    if (name.size() > 4)
        name.resize(4);
    return name;
}

double Round(double value, double step)
{
    return std::round(value / step) * step;
}

std::string FormatNumber(const char *pattern, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

// A plausible quality value for each alert type, in the units of its quality name.
double QualityFor(TRandom &rng, const std::string &code)
{
    if (code == "NH" || code == "NL")
        return std::floor(rng.Uniform(1, 250));
    if (code == "GU" || code == "GD")
        return Round(rng.Uniform(0.5, 8), 0.1);
    if (code == "RU" || code == "RD")
        return Round(rng.Uniform(0.5, 10), 0.1);
    if (code == "VSU" || code == "VSD")
        return Round(rng.Uniform(2, 15), 0.1);
    if (code == "PBH" || code == "BOL")
        return Round(rng.Uniform(0.2, 5), 0.01);
    if (code == "TRU" || code == "TRD")
        return std::floor(rng.Uniform(5, 120));
    if (code == "BLK")
        return std::floor(rng.Uniform(10, 500));
    return std::floor(rng.Uniform(5, 60));
}
} // namespace

TMarket::TMarket(uint64_t seed, int symbolCount, int64_t startUnixMs)
    : FSeed(seed)
    , FStartMs(startUnixMs)
    , FLastMs(startUnixMs)
    , FLastSampleMs(startUnixMs)
    , FRandom(MixSeed(seed, 1))
{
    TRandom rng(MixSeed(seed, 0));
    const int exchanges = TradedExchangeCount();
    while (static_cast<int>(FSymbols.size()) < symbolCount) {
        std::string name = InventName(rng);
        if (FIndex.count(name))
            continue;
        FIndex.emplace(name, static_cast<int>(FSymbols.size()));
        const double price = std::exp(rng.Uniform(std::log(2.0), std::log(400.0)));
        FSymbols.push_back(
            { name, rng.Below(exchanges), Round(price * rng.Uniform(0.004, 0.02), 0.01) + 0.01 });
        TState state;
        // Walk backwards from today's price so that the chart ends where the market starts.
        state.Closes.resize(ChartDays);
        double p = price;
        const double daily = rng.Uniform(0.01, 0.035);
        for (int d = ChartDays - 1; d >= 0; --d) {
            state.Closes[d] = Round(p, 0.01);
            p = std::max(0.5, p * std::exp(-(rng.Gaussian() * daily) + 0.0002));
        }
        state.Intraday.resize(IntradayPoints);
        double q = price * std::exp(rng.Gaussian() * daily);
        for (auto &v : state.Intraday) {
            v = q;
            q = std::max(0.5, q * std::exp(rng.Gaussian() * daily / 8));
        }
        state.Intraday.back() = price;
        // The day so far is that path: the first alerts stand somewhere inside its range, not
        // at a new high or low each.
        state.Price = price;
        state.Open = state.Intraday.front();
        const auto [low, high] = std::minmax_element(state.Intraday.begin(), state.Intraday.end());
        state.Low = *low;
        state.High = *high;
        FState.push_back(std::move(state));
    }
}

int TMarket::FindSymbol(const std::string &name) const
{
    const auto it = FIndex.find(name);
    return it == FIndex.end() ? -1 : it->second;
}

TAlert TMarket::MakeAlert(TRandom &rng, int symbol, int64_t unixSeconds, double price, double low,
    double high, int num) const
{
    const auto &types = AlertTypes();
    TAlert alert;
    alert.Symbol = symbol;
    alert.Type = rng.Below(static_cast<int>(types.size()));
    alert.UnixTime = unixSeconds;
    alert.Price = Round(price, 0.01);
    const TAlertTypeInfo &info = types[alert.Type];
    alert.Description = info.Description;
    if (!info.QualityName.empty()) {
        alert.Quality = QualityFor(rng, info.Code);
        alert.Description += " (" + FormatNumber(info.QualityFormat.c_str(), alert.Quality) + ")";
    }
    alert.Description += " at $" + FormatNumber("%.2f", alert.Price);
    // Real alerts lack some values now and then; so do these.
    if (!rng.Chance(0.1))
        alert.RelVol = Round(std::exp(rng.Gaussian() * 0.6), 0.01);
    if (high > low && !rng.Chance(0.15)) // where the price stands in the day's range, 0..1
        alert.DayRange = Round(std::clamp((price - low) / (high - low), 0.0, 1.0), 0.001);
    if (!rng.Chance(0.3))
        alert.StdDev = Round(rng.Uniform(0.1, 4), 0.01);
    if (!rng.Chance(0.2))
        alert.Volatility = FSymbols[symbol].Volatility;
    alert.Num = num;
    return alert;
}

std::vector<TAlert> TMarket::Advance(int64_t nowMs, double rate)
{
    std::vector<TAlert> alerts;
    if (nowMs <= FLastMs)
        return alerts;
    const int64_t elapsed = nowMs - FLastMs;
    // A stalled process catches up with at most two seconds' worth of alerts.
    FPending = std::min(
        FPending + rate * static_cast<double>(elapsed) / 1000.0, std::max(rate * 2, 1.0));
    const auto count = static_cast<int>(FPending);
    FPending -= count;
    const auto &types = AlertTypes();
    alerts.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int symbol = FRandom.Below(static_cast<int>(FSymbols.size()));
        TState &s = FState[symbol];
        const double step = FSymbols[symbol].Volatility * FRandom.Gaussian() * 0.3;
        s.Price = std::max(0.5, s.Price + step);
        s.High = std::max(s.High, s.Price);
        s.Low = std::min(s.Low, s.Price);
        const int64_t ms = FLastMs + elapsed * (i + 1) / count;
        TAlert alert = MakeAlert(FRandom, symbol, ms / 1000, s.Price, s.Low, s.High, ++s.Count);
        // Make the move agree with the alert's direction.
        if (types[alert.Type].Direction == TDirection::Up && step < 0)
            s.Price -= step;
        else if (types[alert.Type].Direction == TDirection::Down && step > 0)
            s.Price = std::max(0.5, s.Price - step);
        alerts.push_back(std::move(alert));
    }
    FLastMs = nowMs;
    if (nowMs - FLastSampleMs >= 60000) {
        FLastSampleMs = nowMs;
        SampleIntraday();
    }
    return alerts;
}

void TMarket::SampleIntraday()
{
    for (auto &s : FState) {
        s.Intraday[s.IntradayHead] = s.Price;
        s.IntradayHead = (s.IntradayHead + 1) % s.Intraday.size();
    }
}

std::vector<TAlert> TMarket::MinuteHistory(int64_t minute) const
{
    TRandom rng(MixSeed(FSeed ^ 0x5EED, static_cast<uint64_t>(minute)));
    const int64_t startMinute = FStartMs / 60000;
    const int64_t daysBack = std::max<int64_t>(0, (startMinute - minute) / 1440);
    const int day = static_cast<int>(std::max<int64_t>(0, ChartDays - 1 - daysBack));
    std::vector<int64_t> seconds(HistoryPerMinute);
    for (auto &s : seconds)
        s = minute * 60 + rng.Below(60);
    std::sort(seconds.begin(), seconds.end());
    std::vector<TAlert> alerts;
    for (int k = 0; k < HistoryPerMinute; ++k) {
        const int symbol = rng.Below(static_cast<int>(FSymbols.size()));
        const double close = FState[symbol].Closes[day];
        const double vol = FSymbols[symbol].Volatility;
        const double price = std::max(0.5, close + rng.Gaussian() * vol * 2);
        TAlert alert = MakeAlert(
            rng, symbol, seconds[k], price, close - vol * 4, close + vol * 4, 1 + rng.Below(40));
        alert.Id = minute * HistoryPerMinute + k;
        alert.Historical = true;
        alerts.push_back(std::move(alert));
    }
    return alerts;
}

std::vector<double> TMarket::DailyCloses(int symbol) const
{
    std::vector<double> closes = FState[symbol].Closes;
    closes.push_back(FState[symbol].Price);
    return closes;
}

std::vector<double> TMarket::Intraday(int symbol) const
{
    const TState &s = FState[symbol];
    std::vector<double> path;
    path.reserve(s.Intraday.size());
    for (size_t i = 0; i < s.Intraday.size(); ++i)
        path.push_back(s.Intraday[(s.IntradayHead + i) % s.Intraday.size()]);
    path.back() = s.Price;
    return path;
}

} // namespace kestrova::alertd
