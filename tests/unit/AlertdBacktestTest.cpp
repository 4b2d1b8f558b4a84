// The server's backtests on a settable clock: the days examined, a run's messages, replacing,
// cancelling and refusing runs, and the exit rules of the simulated trades.

#include "Backtests.h"
#include "dialogs/QuorixConfigWindowsModel.h"
#include "xml/XmlNodes.h"

#include <ctime>
#include <gtest/gtest.h>
#include <set>

using namespace kestrova;
using namespace kestrova::alertd;

namespace {

constexpr int64_t Start = 1700000000000; // a Tuesday

TMessageToServer Request(TQuorixSettings settings, const std::string &windowId = "W",
    bool debug = false, const std::string &entry = "O=fffff")
{
    return kestrova::BuildQuorixRequest(settings, entry, windowId, debug);
}

// The request with one pair's value replaced.
TMessageToServer With(TMessageToServer request, const std::string &key, const std::string &value)
{
    for (auto &field : request)
        if (field.Key == key)
            field.Value = value;
    return request;
}

TQuorixSettings Days(int days)
{
    TQuorixSettings s;
    s.DaysOfTest = std::to_string(days);
    return s;
}

struct TMessage
{
    int32_t Id;
    std::string Window, Type, Text;
};

class AlertdBacktests : public ::testing::Test
{
protected:
    AlertdBacktests()
    {
        TServerOptions o;
        o.SymbolCount = 40;
        o.BacktestDayMs = 100;
        State = std::make_unique<TServerState>(
            o, [this] { return Now; }, std::make_unique<TSymbolListStore>(":memory:"));
        Runs = std::make_unique<TBacktests>(
            *State,
            [this](int32_t id, const std::string &body) {
                const PXmlNode message = ParseXml(body)->Child(0)->Child(0);
                Sent.push_back({ id, std::string(message->Attribute("WINDOW")),
                    std::string(message->Attribute("TYPE")), std::string(message->Text()) });
            },
            nullptr);
    }
    void Advance(int64_t ms)
    {
        Now += ms;
        Runs->Tick();
    }
    std::vector<std::string> Types() const
    {
        std::vector<std::string> types;
        for (const auto &m : Sent)
            types.push_back(m.Type);
        return types;
    }

    int64_t Now = Start;
    std::unique_ptr<TServerState> State;
    std::unique_ptr<TBacktests> Runs;
    std::vector<TMessage> Sent;
};

TEST(AlertdBacktestDays, WeekdaysBeforeTodayOldestFirst)
{
    const int64_t now = Start / 1000;
    const auto days = BacktestDays(now, 2, 6);
    ASSERT_EQ(days.size(), 6u);
    const auto all = BacktestDays(now, 0, 8);
    EXPECT_EQ(std::vector<int64_t>(all.begin(), all.begin() + 6), days) << "the newest 2 skipped";
    for (size_t i = 0; i < all.size(); ++i) {
        const std::time_t t = static_cast<std::time_t>(all[i]);
        std::tm tm {};
        localtime_r(&t, &tm);
        EXPECT_TRUE(tm.tm_wday >= 1 && tm.tm_wday <= 5) << i;
        EXPECT_EQ(tm.tm_hour * 60 + tm.tm_min, SessionOpenMinute);
        EXPECT_LT(all[i], now - 86400 + 3600 * 14);
        if (i)
            EXPECT_GT(all[i], all[i - 1]);
    }
}

TEST_F(AlertdBacktests, ARunReportsEachDayThenResultsThenFinished)
{
    Runs->NewRequest(Request(Days(3)));
    Runs->Listen(7); // messages wait for the listen
    Advance(99);
    EXPECT_EQ(Types(), std::vector<std::string> { "progress" });
    EXPECT_EQ(Sent[0].Text, "Examining 3 trading days.");
    Advance(1);
    ASSERT_EQ(Sent.size(), 2u);
    EXPECT_EQ(Sent[1].Text.rfind("Day 1 of 3 (", 0), 0u) << Sent[1].Text;
    Advance(200);
    EXPECT_EQ(Types(),
        (std::vector<std::string> {
            "progress", "progress", "progress", "progress", "progress", "finished" }));
    for (const auto &m : Sent) {
        EXPECT_EQ(m.Id, 7);
        EXPECT_EQ(m.Window, "W");
    }
    const std::string results = Sent[4].Text;
    EXPECT_EQ(results.rfind("{\\rtf1", 0), 0u) << results;
    EXPECT_NE(results.find("Backtest results"), std::string::npos);
    EXPECT_NE(results.find("3 trading days"), std::string::npos);
    EXPECT_NE(results.find("Trades: "), std::string::npos) << results;
    EXPECT_FALSE(Runs->IsRunning("W"));

    // The same request gives the same results; debug messages only when asked.
    Sent.clear();
    Runs->NewRequest(Request(Days(3), "W", true));
    Advance(300);
    EXPECT_EQ(Types(),
        (std::vector<std::string> { "progress", "progress", "debug", "progress", "debug",
            "progress", "debug", "progress", "finished" }));
    EXPECT_EQ(Sent[7].Text, results);
    EXPECT_NE(Sent[2].Text.find(" trades"), std::string::npos) << Sent[2].Text;
}

TEST_F(AlertdBacktests, NewRequestReplacesCancelStopsBadInputIsExplained)
{
    Runs->Listen(3);
    Runs->NewRequest(Request(Days(10), "A"));
    Runs->NewRequest(Request(Days(10), "B"));
    Advance(150);
    Runs->NewRequest(Request(Days(2), "A")); // replaces A's run
    Advance(200);
    std::vector<std::string> a;
    for (const auto &m : Sent)
        if (m.Window == "A")
            a.push_back(m.Type == "finished" ? "finished" : m.Text.substr(0, 12));
    // Examining 10, day 1 of 10; then the new run: examining 2, two days, results, finished.
    EXPECT_EQ(a,
        (std::vector<std::string> { "Examining 10", "Day 1 of 10 ", "Examining 2 ", "Day 1 of 2 (",
            "Day 2 of 2 (", "{\\rtf1\\ansi{", "finished" }));
    EXPECT_TRUE(Runs->IsRunning("B"));

    Runs->Cancel("B");
    Sent.clear();
    Advance(2000);
    EXPECT_TRUE(Sent.empty());
    EXPECT_EQ(Runs->Running(), 0u);

    // What the client would normalise away, from a client that does not.
    Runs->NewRequest(With(Request(Days(1), "C"), "days_of_test", "abc"));
    Runs->NewRequest(With(Request(Days(200), "D"), "days_to_skip", "100"));
    Runs->NewRequest(Request(Days(1), "E", false, "nonsense"));
    Runs->NewRequest(Request(Days(1), "F"), "Not logged in.");
    ASSERT_EQ(Sent.size(), 8u);
    EXPECT_EQ(Sent[0].Text, "Backtest error: Invalid number of days to test: \"abc\" (1 to 250).");
    EXPECT_NE(Sent[2].Text.find("250 trading days"), std::string::npos) << Sent[2].Text;
    EXPECT_EQ(Sent[4].Text, "Backtest error: Entry condition: Unrecognized alert configuration.");
    EXPECT_EQ(Sent[6].Text, "Backtest error: Not logged in.");
    for (size_t i = 1; i < Sent.size(); i += 2)
        EXPECT_EQ(Sent[i].Type, "finished");
    EXPECT_EQ(Runs->Running(), 0u);
}

TEST_F(AlertdBacktests, TradesFollowTheEntryWindowAndTheExitRules)
{
    const TMarket &market = State->Market();
    const int64_t open = BacktestDays(Start / 1000, 0, 1).front();
    TQuorixSettings s;
    s.EntryMinutesStart = "60";
    s.EntryHoursEnd = "5"; // entries from 10:30 to 11:00
    TParsedBacktest parsed = ParseBacktestRequest(Request(s));
    ASSERT_EQ(parsed.Error, "");
    const auto trades = RunBacktestDay(market, parsed.Params, open);
    ASSERT_FALSE(trades.empty());
    std::set<int> symbols;
    for (const auto &t : trades) {
        EXPECT_GE(t.EntryUnix, open + 3600);
        EXPECT_LT(t.EntryUnix, open + 5400);
        EXPECT_TRUE(symbols.insert(t.Symbol).second) << "one trade per symbol and day";
        EXPECT_EQ(t.Reason, "time");
    }

    // Tight targets end every trade early; a trailing stop ends some.
    s.UseProfitTarget = s.UseStopLoss = true;
    s.ProfitTarget = s.StopLoss = "0.0001";
    parsed = ParseBacktestRequest(Request(s));
    for (const auto &t : RunBacktestDay(market, parsed.Params, open))
        EXPECT_TRUE(t.Reason == "profit target" || t.Reason == "stop loss") << t.Reason;
    s.UseProfitTarget = s.UseStopLoss = false;
    s.ExitConditionType = ecPercentTrailing;
    s.ExitConditionPercent = "0.2";
    s.ExitTimeType = etAtClose;
    parsed = ParseBacktestRequest(Request(s));
    EXPECT_EQ(parsed.Params.Exit, TExitKind::PercentTrailing);
    size_t trailing = 0;
    for (const auto &t : RunBacktestDay(market, parsed.Params, open))
        trailing += t.Reason == "trailing stop";
    EXPECT_GT(trailing, 0u);
}

} // namespace
