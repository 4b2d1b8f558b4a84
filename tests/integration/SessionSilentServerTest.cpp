// A server that falls silent (kestrova-alertd's silent fault): the session restarts after more
// than 24 ticks without a get_alerts reply, logs in with its restart state, and the resumed
// stream holds every alert the server logged for the window, none twice. The reference is the
// server's own record of what it logged, read as history (which the fault does not silence).

#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/ServerWitness.h"

#include <QDateTime>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace kestrova;
using namespace kvtest;

namespace {

const char *const AllAlerts = "O=fffff&WN=Everything";

TEST(SessionSilentServer, RestartsAndResumesWithoutLosingAnAlert)
{
    const qint64 started = QDateTime::currentSecsSinceEpoch() - 1;
    AlertServerProcess server({ "--rate", "40", "--fault", "silent:0.5" });
    ASSERT_TRUE(server.Start());
    TAllAlertsConnection session;
    session.SetServerAddress("127.0.0.1:" + std::to_string(server.Port()));
    session.SetUsername("ann");
    TAlertWindowConnection window(session);
    window.SetConfig(AllAlerts);
    std::multiset<std::string> received;
    size_t beforeRestart = 0;
    window.OnAlerts = [&](const TAlertRecords &records, bool) {
        for (const auto &a : records)
            received.insert(
                AlertKey(a.Symbol, a.AlertType, std::to_string(a.UnixTime), a.Description));
        if (session.LinksCreated() == 1)
            beforeRestart = received.size();
    };

    ASSERT_TRUE(RunUntil([&] { return !received.empty(); })) << server.Log();
    // Two ticks of the loop's timer without a reply: the server has fallen silent. The rest of
    // the watchdog's 12.5 s are its ticks, called directly.
    ASSERT_TRUE(RunUntil([&] { return session.TicksSinceReply() >= 2; })) << server.Log();
    for (uint32_t tick = session.TicksSinceReply(); tick < 24; ++tick)
        session.TimerTick();
    ASSERT_TRUE(session.HasLink()) << "24 silent ticks are still tolerated";
    session.TimerTick();
    EXPECT_FALSE(session.HasLink()) << "the 25th restarts";
    const std::string resumedAfter = session.RestartLastId(); // what the next login sends
    ASSERT_TRUE(RunUntil([&] { return session.LinksCreated() == 2; }));
    // The new link drains what the window missed before its own silence begins.
    RunFor(900);
    ASSERT_GT(received.size(), beforeRestart) << server.Log();
    EXPECT_NE(server.Log().find("resuming \"ann\" after alert " + resumedAfter), std::string::npos)
        << server.Log();

    // Every logged alert between the first and the last one received arrived exactly once.
    const TLoggedSpan span = LoggedSpan(LoggedAlerts(server.Port(), AllAlerts, started), received);
    ASSERT_GE(span.First, 0) << "the witness found none of the received alerts";
    EXPECT_EQ(received.size(), span.Alerts.size());
    EXPECT_TRUE(received == span.Alerts);
    EXPECT_GT(std::stoll(resumedAfter), span.First) << "alerts arrived before the silence";
    EXPECT_GT(span.Last, std::stoll(resumedAfter)) << "alerts logged during the silence arrived";
}

} // namespace
