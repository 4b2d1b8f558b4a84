// The whole conversation over the HTTP tunnel against kestrova-alertd's tunnel endpoint, with its
// POST faults on: kvtail directly and through tinyproxy with basic authentication (a wrong
// password is refused with a readable reason and reaches nothing), and the host's exports losing
// no alert and no symbol-list edit, directly and through the proxy.

#include "exports/LibraryStartUp.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "support/AlertServerProcess.h"
#include "support/KvtailProcess.h"
#include "support/QtLoop.h"
#include "support/ServerWitness.h"
#include "support/TinyproxyFixture.h"

#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>

using namespace kestrova;
using namespace kvtest;

namespace {

const char *const AllAlerts = "O=fffff&WN=Everything";
// Every 3rd POST refused, every 4th answered after the client's 1 s limit.
const QStringList TunnelFaults { "--http-port", "0", "--fault", "post-fail:3", "--fault",
    "post-slow:4" };

int TunnelsOpened(AlertServerProcess &server)
{
    return static_cast<int>(QString::fromStdString(server.Log())
                                .count(QRegularExpression(QStringLiteral("tunnel \\d+ opened"))));
}

TEST(Tunnel, KvtailDirectlyAndThroughAnAuthenticatingProxy)
{
    KV_REQUIRE_TINYPROXY();
    AlertServerProcess server(QStringList { "--rate", "100" } + TunnelFaults);
    ASSERT_TRUE(server.Start()) << server.Log();
    TinyproxyFixture proxy;
    ASSERT_TRUE(proxy.Start("user", "s3cret")) << proxy.Error();
    const QString url = QString::fromStdString(server.TunnelUrl());
    const QStringList login { "--user", "ann", "--password", "pw", "--tunnel", url };
    const QString proxyAt = QStringLiteral("@127.0.0.1:%1").arg(proxy.Port());

    for (const QStringList &via :
        { QStringList {}, QStringList { "--http-proxy", "user:s3cret" + proxyAt } }) {
        Kvtail tail(login + via);
        ASSERT_TRUE(tail.WaitLines(30, 15000)) << tail.Errors().toStdString() << server.Log();
        EXPECT_TRUE(tail.Errors().contains("connected to " + url)) << tail.Errors().toStdString();
        EXPECT_TRUE(tail.Errors().contains("logged in"));
        ::kill(static_cast<pid_t>(tail.Process.processId()), SIGINT);
        EXPECT_EQ(tail.Finish(), 130) << tail.Errors().toStdString();
    }
    EXPECT_NE(server.Log().find("fault post-fail"), std::string::npos);
    EXPECT_NE(server.Log().find("fault post-slow"), std::string::npos);

    // The proxy refuses the wrong password; the user reads why, and the server hears nothing.
    const int opened = TunnelsOpened(server);
    Kvtail refused(login + QStringList { "--http-proxy", "user:wrong" + proxyAt });
    EXPECT_TRUE(RunUntil([&] { return refused.Errors().contains("(attempt 2): HTTP 401"); }))
        << refused.Errors().toStdString();
    RunFor(500);
    EXPECT_EQ(refused.Lines().size(), 1) << "only the header";
    EXPECT_EQ(TunnelsOpened(server), opened);
}

// The host's route to the tunnel endpoint: straight to it, or through an authenticating proxy.
class TunnelHost : public ::testing::TestWithParam<bool>
{
protected:
    static bool ThroughProxy() { return GetParam(); }
};

TEST_P(TunnelHost, ExportsLoseNoAlertAndNoListEdit)
{
    if (ThroughProxy()) {
        KV_REQUIRE_TINYPROXY();
    }
    const qint64 started = QDateTime::currentSecsSinceEpoch() - 1;
    AlertServerProcess server(QStringList { "--rate", "40" } + TunnelFaults);
    ASSERT_TRUE(server.Start()) << server.Log();
    TinyproxyFixture proxy;
    if (ThroughProxy()) {
        ASSERT_TRUE(proxy.Start("user", "s3cret")) << proxy.Error();
    }

    RestartLibraryForTests();
    ASSERT_TRUE(EnsureLibraryStarted()); // its start-up sets server time, which the test replaces
    if (ThroughProxy())
        KV_SetHttpProxyInformation("user", "s3cret", "127.0.0.1", proxy.Port());
    SetTimeOffset(0); // Unix times on the wire, comparable with the server's log
    TAllAlertsConnection &session = AllAlertsConnection();
    session.SetTunnel(true, server.TunnelUrl());
    KV_SetUsernameAndPassword("ann", "pw");
    std::multiset<std::string> received;
    auto window = std::make_unique<TAlertWindowConnection>(session);
    window->SetConfig(AllAlerts);
    window->OnAlerts = [&](const TAlertRecords &records, bool) {
        for (const auto &a : records)
            received.insert(
                AlertKey(a.Symbol, a.AlertType, std::to_string(a.UnixTime), a.Description));
    };

    KV_SetListName(1, "Watch", 1);
    KV_AddSymbolToList(1, "aaa");
    KV_AddSymbolToList(1, "bbb");
    KV_AddSymbolToList(2, "ccc");
    RunFor(1500);
    KV_DeleteSymbolFromList(1, "aaa");
    KV_AddToTempList("x");
    KV_AddToTempList("y");
    KV_SendTempList(3);
    KV_DeleteList(2);
    RunFor(1500);
    KV_AddSymbolToList(1, "ddd");
    KV_AddSymbolToList(4, "eee");
    const std::string expected = "1 \"Watch\": BBB DDD\n3 \"\": X Y\n4 \"List #4\": EEE\n";
    std::string lists;
    EXPECT_TRUE(RunUntil(
        [&] {
            RunFor(500);
            lists = ServerLists(server.Port(), "ann");
            return lists == expected;
        },
        20000))
        << lists << server.Log();
    RunFor(2000);
    window.reset();
    RestartLibraryForTests();
    ResetTimeDefaults();

    // Every logged alert between the first and the last one received arrived exactly once.
    const TLoggedSpan span = LoggedSpan(LoggedAlerts(server.Port(), AllAlerts, started), received);
    ASSERT_GE(span.First, 0) << "the witness found none of the " << received.size() << " alerts";
    EXPECT_GT(received.size(), 100u);
    EXPECT_EQ(received.size(), span.Alerts.size());
    EXPECT_TRUE(received == span.Alerts);
    EXPECT_NE(server.Log().find("fault post-slow"), std::string::npos);
    EXPECT_GT(TunnelsOpened(server), 0) << "the conversation went over the tunnel";
}

// Two tests, so that the two routes run side by side.
INSTANTIATE_TEST_SUITE_P(
    Tunnel, TunnelHost, ::testing::Bool(), [](const ::testing::TestParamInfo<bool> &info) {
        return std::string(info.param ? "ThroughTheProxy" : "Directly");
    });

} // namespace
