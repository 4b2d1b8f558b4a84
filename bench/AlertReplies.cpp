#include "AlertReplies.h"

#include "link/WireFormat.h"
#include "link/ZLibStreams.h"

#include <array>
#include <cstdio>
#include <random>

namespace kestrova::bench {

namespace {

struct TAlertType
{
    const char *Code;
    const char *Description;
};

constexpr std::array<TAlertType, 8> AlertTypes { {
    { "NHP", "New high (%d minutes)" },
    { "NLP", "New low (%d minutes)" },
    { "CAO", "Crossed above open, up %d cents" },
    { "CBO", "Crossed below open, down %d cents" },
    { "RUN", "Running up now: %d%% in 5 minutes" },
    { "RDN", "Running down now: %d%% in 5 minutes" },
    { "HPRE", "High pre-market volume &amp; price &gt; %d" },
    { "GUP", "Gap up %d%% on &quot;news&quot;" },
} };

constexpr std::array<const char *, 16> Symbols { "AAPL", "MSFT", "NVDA", "AMZN", "GOOGL", "META",
    "TSLA", "BRK.B", "JPM", "V", "XOM", "UNH", "KO", "PEP", "INTC", "AMD" };

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

} // namespace

const std::vector<std::string> &AlertAttributeNames()
{
    static const std::vector<std::string> names { "SYMBOL", "TYPE", "TIME", "DESCRIPTION",
        "QUALITY", "RELVOL", "NUM", "DAY_RANGE", "STDDEV", "VOLATILITY" };
    return names;
}

std::string MakeAlertsReply(int alerts, uint32_t seed, const std::vector<std::string> &windowIds)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto chance = [&](double p) { return unit(rng) < p; };
    std::string out = "<API><DATA>";
    const int windows = static_cast<int>(windowIds.size());
    const int perWindow = (alerts + windows - 1) / windows;
    uint32_t time = 1765200000 + seed % 1000;
    char buffer[96];
    for (int i = 0; i < alerts; ++i) {
        if (i % perWindow == 0)
            out += (i > 0 ? "</WINDOW><WINDOW ID=\"" : "<WINDOW ID=\"") + windowIds[i / perWindow]
                + "\">";
        const TAlertType &type = AlertTypes[rng() % AlertTypes.size()];
        std::string symbol = Symbols[rng() % Symbols.size()];
        if (chance(0.3)) { // plenty of small names besides the usual ones
            symbol.clear();
            for (int n = 1 + rng() % 4; n >= 0; --n)
                symbol += static_cast<char>('A' + rng() % 26);
        }
        time += rng() % 3;
        std::snprintf(buffer, sizeof buffer, type.Description, static_cast<int>(5 + rng() % 55));
        out += "<ALERT SYMBOL=\"" + symbol + "\" TYPE=\"" + type.Code + "\" TIME=\""
            + std::to_string(time) + "\" DESCRIPTION=\"" + buffer + "\"";
        const auto optional = [&](const char *name, double value) {
            if (chance(0.85))
                out += std::string(" ") + name + "=\"" + Number(value) + "\"";
        };
        optional("QUALITY", unit(rng) * 5);
        optional("RELVOL", unit(rng) * 8);
        if (chance(0.85))
            out += " NUM=\"" + std::to_string(1 + rng() % 20) + "\"";
        optional("DAY_RANGE", unit(rng) * 3);
        optional("STDDEV", unit(rng) * 4);
        optional("VOLATILITY", unit(rng) * 2);
        out += "/>";
    }
    out += "</WINDOW></DATA><RESTART LAST_ID=\"" + std::to_string(100000 + seed * 1000 + alerts)
        + "\"/></API>";
    return out;
}

TWireReplies MakeWireReplies(int replies, int alertsPerReply, uint32_t seed, int32_t messageId,
    const std::vector<std::string> &windowIds)
{
    TWireReplies wire;
    wire.AlertsPerReply = alertsPerReply;
    TZLibCompressor compressor;
    for (int i = 0; i < replies; ++i) {
        std::string body = MakeAlertsReply(alertsPerReply, seed + i, windowIds);
        wire.BodyBytes += body.size();
        compressor.Write(EncodeFrame(messageId, body));
        compressor.Flush();
        wire.Chunks.push_back(std::move(compressor.Output()));
        compressor.Output().clear();
        wire.Bodies.push_back(std::move(body));
    }
    return wire;
}

void SetReplyCounters(benchmark::State &state, const TWireReplies &wire)
{
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(iterations * wire.BodyBytes));
    state.counters["alerts"] = benchmark::Counter(
        iterations * wire.AlertsPerReply * wire.Bodies.size(), benchmark::Counter::kIsRate);
    state.counters["replies"]
        = benchmark::Counter(iterations * wire.Bodies.size(), benchmark::Counter::kIsRate);
}

} // namespace kestrova::bench
