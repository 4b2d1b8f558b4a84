// Backtests end to end: a window connection's StartQuorix with the request the configuration
// window builds, against kestrova-alertd on 127.0.0.1: progress, debug, results, "finished",
// a second start replacing the first, cancel and withdrawing the window.

#include "dialogs/QuorixConfigWindowsModel.h"
#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>
#include <list>
#include <memory>

using namespace kestrova;
using kvtest::AlertServerProcess;
using kvtest::RunFor;
using kvtest::RunUntil;

namespace {

class SessionBacktest : public ::testing::Test
{
protected:
    // dayMs: how long the server takes per simulated day.
    void Start(int dayMs)
    {
        Server = std::make_unique<AlertServerProcess>(QStringList {
            "--backtest-day-ms", QString::number(dayMs), "--heartbeat-ms", "200", "--rate", "20" });
        ASSERT_TRUE(Server->Start()) << Server->Log();
        Session = std::make_unique<TAllAlertsConnection>();
        Session->SetServerAddress("127.0.0.1:" + std::to_string(Server->Port()));
        Session->SetUsername("ann");
        Window = std::make_unique<TAlertWindowConnection>(*Session);
        Window->SetConfig("form=1&Sh_NH=ON&Sh_NL=ON&Sh_GU=ON&WN=Highs");
    }
    void TearDown() override
    {
        Window.reset();
        Session.reset();
    }
    // Starts a backtest of `days` days; returns the list its notifications go to (it lives as
    // long as the fixture: the window connection's destructor still notifies a running one).
    std::vector<TQuorixInfo> &StartBacktest(int days, bool debug = false)
    {
        std::vector<TQuorixInfo> &into = Notifications.emplace_back();
        TQuorixSettings settings;
        settings.DaysOfTest = std::to_string(days);
        settings.UseProfitTarget = true;
        Window->StartQuorix(
            BuildQuorixRequest(settings, Window->Config(), Window->WindowId(), debug),
            [&into](const TQuorixInfo &info) { into.push_back(info); });
        return into;
    }
    static bool Has(const std::vector<TQuorixInfo> &infos, const std::string &prefix)
    {
        for (const auto &info : infos)
            if (info.ProgressText.rfind(prefix, 0) == 0)
                return true;
        return false;
    }

    std::list<std::vector<TQuorixInfo>> Notifications;
    std::unique_ptr<AlertServerProcess> Server;
    std::unique_ptr<TAllAlertsConnection> Session;
    std::unique_ptr<TAlertWindowConnection> Window;
};

TEST_F(SessionBacktest, ProgressDebugResultsThenFinished)
{
    Start(5);
    const auto &infos = StartBacktest(4, true);
    ASSERT_TRUE(RunUntil([&] { return Window->QuorixInfo().Status == qsFinished; }))
        << Server->Log();

    ASSERT_GE(infos.size(), 7u);
    EXPECT_EQ(infos.front().ProgressText, "Quorix Started");
    EXPECT_TRUE(Has(infos, "Examining 4 trading days."));
    EXPECT_TRUE(Has(infos, "Day 1 of 4 ("));
    EXPECT_TRUE(Has(infos, "Day 4 of 4 ("));
    size_t debug = 0;
    for (const auto &info : infos)
        debug += !info.DebugText.empty();
    EXPECT_EQ(debug, 4u) << "one per day, as asked";
    const TQuorixInfo &last = infos.back();
    EXPECT_EQ(last.Status, qsFinished);
    EXPECT_EQ(last.ProgressText.rfind("{\\rtf1", 0), 0u) << last.ProgressText;
    EXPECT_NE(last.ProgressText.find("4 trading days from "), std::string::npos);
    EXPECT_NE(last.ProgressText.find("Trades: "), std::string::npos);
    for (size_t i = 0; i + 1 < infos.size(); ++i)
        EXPECT_EQ(infos[i].Status, qsRunning) << i;
}

TEST_F(SessionBacktest, ASecondStartReplacesTheFirstAndCancelStops)
{
    Start(60);
    const auto &first = StartBacktest(20);
    ASSERT_TRUE(RunUntil([&] { return Has(first, "Day 1 of 20"); })) << Server->Log();
    const auto &second = StartBacktest(2);
    ASSERT_TRUE(RunUntil([&] { return Window->QuorixInfo().Status == qsFinished; }))
        << Server->Log();
    const size_t firstCount = first.size();
    RunFor(250);
    EXPECT_EQ(first.size(), firstCount) << "the first run's handler hears nothing more";
    EXPECT_FALSE(Has(second, "Day 2 of 20")) << "the first run stopped on the server";
    EXPECT_NE(second.back().ProgressText.find("2 trading days from "), std::string::npos);
    size_t finished = 0;
    for (const auto &info : second)
        finished += info.Status == qsFinished;
    EXPECT_EQ(finished, 1u);

    const auto &third = StartBacktest(20);
    ASSERT_TRUE(RunUntil([&] { return Has(third, "Day 1 of 20"); })) << Server->Log();
    Window->CancelQuorix();
    EXPECT_EQ(third.back().Status, qsIdle);
    const std::string stopped = "backtest for window " + Window->WindowId() + " stopped";
    ASSERT_TRUE(RunUntil([&] { return Server->Log().find(stopped) != std::string::npos; }))
        << Server->Log();
    EXPECT_EQ(Window->QuorixInfo().Status, qsIdle);

    // Withdrawing the window stops its run too.
    const auto &fourth = StartBacktest(20);
    ASSERT_TRUE(RunUntil([&] { return Has(fourth, "Day 1 of 20"); })) << Server->Log();
    Window->Unsubscribe();
    ASSERT_TRUE(RunUntil([&] {
        const std::string log = Server->Log();
        return log.find(stopped) != log.rfind(stopped);
    })) << Server->Log();
}

} // namespace
