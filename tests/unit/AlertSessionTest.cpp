// The alert session against a fake channel and a settable clock.

#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "support/DebugLog.h"
#include "support/FakeChannel.h"
#include "support/FakeClock.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::FakeChannel;

namespace {

TSharedDefaults &ServerTimeMode(TSharedDefaults &defaults)
{
    defaults.SetTimeOffset(ServerTimeOffsetMinutes);
    return defaults;
}

class AlertSession : public ::testing::Test
{
protected:
    AlertSession()
        : Session(Channels.Factory(), Clock, {}, ServerTimeMode(Defaults))
    {
        Session.OpenUrl = [this](const std::string &url) { Opened.push_back(url); };
        Session.OnStatusMessage
            = [this](int code, const std::string &text) { Status.emplace_back(code, text); };
    }
    FakeChannel &Link() { return Channels.Current(); }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            Clock.AdvanceMilliseconds(500);
            Session.TimerTick();
        }
    }
    // Logs in with one window and the first poll sent.
    std::unique_ptr<TAlertWindowConnection> StartWithWindow()
    {
        Session.SetUsername("trader");
        auto window = std::make_unique<TAlertWindowConnection>(Session);
        Session.PollWake();
        Session.ConnectWake();
        return window;
    }

    kvtest::FakeClock Clock;
    TSharedDefaults Defaults { Clock };
    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    std::vector<std::string> Opened;
    std::vector<std::pair<int, std::string>> Status;
};

TEST_F(AlertSession, WithoutWindowsNothingConnectsPingsOrRestarts)
{
    Session.SetUsername("trader");
    Session.SetVendorId("DLL");
    Session.Restart();
    Session.Reset();
    Session.ConnectWake();
    Session.PollWake();
    Tick(60);
    EXPECT_TRUE(Channels.Made.empty());
    EXPECT_FALSE(Session.HasLink());
}

TEST_F(AlertSession, WindowSubscribesLogsInAndPolls)
{
    auto window = StartWithWindow();
    ASSERT_EQ(Channels.Made.size(), 1u);
    FakeChannel &link = Link();
    EXPECT_TRUE(link.Started);
    ASSERT_GE(link.Requests.size(), 4u);
    EXPECT_EQ(link.Requests[0].Command(), "set_time_format"); // server-time mode
    EXPECT_EQ(link.Requests[1].Command(), "login");
    EXPECT_TRUE(link.Requests[1].Persistent);
    EXPECT_EQ(link.Requests[1].Value("default_data_verion"), "1");
    const int subscribe = link.Last("set_config_info");
    ASSERT_GE(subscribe, 0);
    EXPECT_EQ(link.Requests[subscribe].Value("window_id"), window->WindowId());
    EXPECT_EQ(link.Requests[subscribe].Value("skip_history"), "0");
    EXPECT_EQ(link.Count("get_alerts"), 1);
    Session.PollWake(); // exactly one poll in flight
    EXPECT_EQ(link.Count("get_alerts"), 1);
}

TEST_F(AlertSession, SilentServerRestartsAfterTwentyFourTicksWithoutAPollReply)
{
    auto window = StartWithWindow();
    Tick(20);
    Link().Reply(static_cast<size_t>(Link().Last("get_alerts")), "<API/>");
    EXPECT_EQ(Session.TicksSinceReply(), 0u);
    Session.PollWake();
    EXPECT_EQ(Link().Count("get_alerts"), 2);
    Tick(24);
    EXPECT_EQ(Session.LinksCreated(), 1u);
    EXPECT_TRUE(Session.HasLink());
    Tick(1);
    EXPECT_FALSE(Session.HasLink());
    Session.PollWake();
    EXPECT_EQ(Session.LinksCreated(), 2u);
    EXPECT_EQ(Link().Count("get_alerts"), 1);
}

TEST_F(AlertSession, LoginRepliesSetStatusRestartStateAndConfirm)
{
    auto window = StartWithWindow();
    FakeChannel &link = Link();
    link.Reply(1,
        "<API><ACCOUNT_STATUS STATE=\"good\" QUORIX=\"3\"/>"
        "<RESTART LAST_ID=\"17\"/></API>");
    EXPECT_EQ(Session.LoginState(), lsGood);
    EXPECT_EQ(Session.NextPayment(), 0);
    EXPECT_EQ(Session.QuorixEntitlement(), 3);
    EXPECT_EQ(Session.RestartLastId(), "17");
    EXPECT_EQ(link.Count("confirm_login"), 0) << "no key: no confirmation";

    link.Reply(1, "<API><RESTART KEY=\"k1\" SEQUENCE=\"9\"/></API>");
    EXPECT_EQ(link.Count("confirm_login"), 1);
    EXPECT_EQ(link.Requests[link.Last("confirm_login")].Value("key"), "k1");
    EXPECT_EQ(Session.RestartLastId(), "17");

    // The restart state goes with the next login.
    Session.Restart();
    Session.PollWake();
    const FakeChannel::Request &login = Link().Requests[Link().Last("login")];
    EXPECT_EQ(login.Value("restart_after"), "17");
    EXPECT_EQ(login.Value("restart_key"), "k1");
    EXPECT_EQ(login.Value("sequence"), "9");
}

TEST_F(AlertSession, DisconnectForGoodWithGracefulRestartStopsTheSession)
{
    auto window = StartWithWindow();
    Link().Reply(1,
        "<API><STATUS DISCONNECT_FOR_GOOD=\"1\" GRACEFUL_RESTART=\"1\" "
        "KV-ErrorMsg=\"Account closed\"/></API>");
    EXPECT_TRUE(Session.DisconnectedForGood());
    EXPECT_FALSE(Session.HasLink());
    ASSERT_FALSE(Status.empty());
    EXPECT_EQ(
        Status.back(), std::make_pair(0, std::string("Message from server:  Account closed")));
    Session.ConnectWake();
    Session.PollWake();
    Tick(30);
    // A later link may still fetch the general-info document, but never logs in or polls.
    if (Session.LinksCreated() > 1) {
        EXPECT_EQ(Link().Count("login"), 0);
        EXPECT_EQ(Link().Count("get_alerts"), 0);
        EXPECT_EQ(Link().Count("set_config_info"), 0);
    }

    // The same user name again resets the session while it is disconnected for good.
    const uint64_t links = Session.LinksCreated();
    Session.SetUsername("trader");
    EXPECT_FALSE(Session.DisconnectedForGood());
    Session.PollWake();
    EXPECT_EQ(Session.LinksCreated(), links + 1);
    EXPECT_EQ(Link().Count("login"), 1);
    EXPECT_EQ(Link().Count("get_alerts"), 1);
}

TEST_F(AlertSession, MalformedLoginMessageRestarts)
{
    auto window = StartWithWindow();
    Link().Reply(1, "<API><oops></API>");
    EXPECT_FALSE(Session.HasLink());
    ASSERT_FALSE(Status.empty());
    EXPECT_EQ(Status.back().first, 3);
    EXPECT_EQ(Status.back().second.rfind("Invalid message from server:  ", 0), 0u);
}

TEST_F(AlertSession, SettersThatChangeNothingDoNothing)
{
    auto window = StartWithWindow();
    const uint64_t resets = Session.ResetCount();
    Session.SetUsername("trader");
    Session.SetSocksProxy("", 4, 1080, "", "");
    Session.SetHttpProxy("", "", "", 0);
    Session.SetServerAddress(Session.ServerAddress());
    EXPECT_TRUE(Session.HasLink());
    EXPECT_EQ(Session.ResetCount(), resets);

    Session.SetSocksProxy("", 4, 1081, "", "");
    EXPECT_FALSE(Session.HasLink());
    EXPECT_EQ(Session.ConnectionSettings().SocksPort, 1081);
}

TEST_F(AlertSession, LostLinkIsReportedFreedAndReplaced)
{
    auto window = StartWithWindow();
    Link().Error = "Error in server connection.";
    Link().Lose();
    EXPECT_NE(std::find(Status.begin(), Status.end(),
                  std::make_pair(3, std::string("Error in server connection."))),
        Status.end());
    EXPECT_FALSE(Session.PollOutstanding());
    EXPECT_FALSE(window->ConfigSent());
    Tick();
    Session.PollWake();
    EXPECT_EQ(Session.LinksCreated(), 2u);
    EXPECT_EQ(Link().Count("set_config_info"), 1);
    EXPECT_EQ(Link().Count("get_alerts"), 1);
}

TEST_F(AlertSession, PingReportsHalfTheRoundTripAndNeedsACounter)
{
    Clock.TicksPerSecond = 0;
    auto noCounter = StartWithWindow();
    Tick(20);
    EXPECT_EQ(Link().Count("ping"), 0);

    Session.Restart();
    Clock.TicksPerSecond = 1'000'000;
    auto window = StartWithWindow();
    Tick(10);
    const int ping = Link().Last("ping");
    ASSERT_GE(ping, 0);
    Clock.Ticks += 40'000; // 40 ms round trip
    Link().Reply(static_cast<size_t>(ping), "<API/>");
    ASSERT_FALSE(Status.empty());
    EXPECT_EQ(Status.back(), std::make_pair(4, std::string("20ms")));
}

TEST_F(AlertSession, AFailingStatusListenerIsReportedWithTheActivityWhateverItThrows)
{
    DebugLog::Clear();
    Session.OnStatusMessage = [](int, const std::string &text) {
        if (text == "down")
            throw 7;
        throw std::runtime_error("listener failed");
    };
    Session.ReportNetworkActivity(false, "down");
    Session.ReportNetworkActivity(true, "");
    const std::string where = "Location=GetAlertData, TAllAlertsConnection.ReportNetworkActivity(";
    EXPECT_EQ(DebugLog::Entries(),
        (std::vector<std::string> {
            "Class=Unknown, Message=Unknown exception, " + where + "Failure\"down\")",
            "Class=std::runtime_error, Message=listener failed, " + where + "Success\"\")" }));
}

TEST_F(AlertSession, FailedAttemptsBackOffAndAGoodLoginOrTheHostStartsOver)
{
    auto window = StartWithWindow();
    // Loses the link before it logs in; the next link waits. Returns the wait in ms.
    auto failAndWait = [&] {
        Link().Lose();
        Session.TimerTick(); // frees the dead link; the next request makes a new one
        Session.PollWake();
        Session.ConnectWake();
        EXPECT_FALSE(Link().Started) << "no attempt before the wait is over";
        return (Session.ConnectNotBefore() - Clock.Now()) * 86400000.0;
    };
    for (double expected : { 500, 1000, 2000, 4000, 8000, 10000, 10000 }) {
        const double wait = failAndWait();
        EXPECT_GE(wait, expected * 0.79);
        EXPECT_LE(wait, expected * 1.21);
        Clock.AdvanceMilliseconds(wait - 1);
        Session.ConnectWake();
        EXPECT_FALSE(Link().Started) << expected;
        Clock.AdvanceMilliseconds(2);
        Session.ConnectWake();
        EXPECT_TRUE(Link().Started) << expected;
    }
    EXPECT_EQ(Session.LinksCreated(), 8u);

    // A good login: the next failure waits half a second again.
    Link().Reply(
        static_cast<size_t>(Link().Last("login")), "<API><ACCOUNT_STATUS STATE=\"good\"/></API>");
    Link().Lose();
    Session.TimerTick();
    Session.PollWake();
    Session.ConnectWake();
    EXPECT_TRUE(Link().Started) << "a link that had logged in is replaced at once";
    EXPECT_LE((failAndWait()), 500 * 1.21);

    // The host's restart, reset or new settings connect at once.
    for (const auto &hostAction : std::vector<std::function<void()>> { [&] { Session.Restart(); },
             [&] { Session.Reset(); }, [&] { Session.SetVendorId("other"); } }) {
        failAndWait();
        hostAction();
        Session.PollWake();
        Session.ConnectWake();
        EXPECT_TRUE(Link().Started);
    }
}

TEST_F(AlertSession, AServerAddressWithoutAUsablePortIsReportedOnceAndNeverTried)
{
    auto window = StartWithWindow();
    for (const char *address : { "127.0.0.1:0", "127.0.0.1:70000", "alerts.test:http" }) {
        Status.clear();
        Session.SetServerAddress(address);
        for (int round = 0; round < 3; ++round) {
            Session.PollWake();
            Session.ConnectWake();
            Tick();
        }
        EXPECT_FALSE(Link().Started) << address;
        EXPECT_EQ(std::count(Status.begin(), Status.end(),
                      std::make_pair(3,
                          "The server address \"" + std::string(address)
                              + "\" has no usable port: a port is a number from 1 to 65535.")),
            1)
            << address;
    }
    Session.SetServerAddress("127.0.0.1:8888");
    Session.PollWake();
    Session.ConnectWake();
    EXPECT_TRUE(Link().Started);
}

TEST_F(AlertSession, HelpTopicsOpenOnlyWhenEnabled)
{
    Session.ShowHelpTopic("Intro");
    EXPECT_TRUE(Opened.empty());
    Session.HelpEnabled = true;
    Session.HelpUrl = "http://help.test/p#";
    Session.ShowPrefixedHelpTopic("Filters");
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], "http://help.test/p#WSF_Filters");
    // A type the server named with characters a path cannot hold arrives escaped.
    Session.ShowHelpTopic("A&B C/D?");
    ASSERT_EQ(Opened.size(), 2u);
    EXPECT_EQ(Opened[1], "http://help.test/p#A%26B%20C%2FD%3F");
}

} // namespace
