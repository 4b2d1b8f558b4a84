// The fault flags of kestrova-alertd, each seen from a client.

#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/RawServerClient.h"

#include <gtest/gtest.h>

using namespace kvtest;

namespace {

// A logged-in client with one window and a poll outstanding.
struct FaultRun
{
    explicit FaultRun(const QStringList &flags)
        : Server(QStringList { "--rate", "100" } + flags)
    {
    }
    bool Begin()
    {
        if (!Server.Start() || !Client.Connect(Server.Port()))
            return false;
        LoginId = Client.Send({ { "command", "login" }, { "username", "ann" } });
        Client.Send(
            { { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" } });
        Client.Send({ { "command", "get_alerts" } });
        return true;
    }
    AlertServerProcess Server;
    RawServerClient Client;
    int32_t LoginId = 0;
};

TEST(AlertdFaults, DropAfterBytesAndAfterSeconds)
{
    FaultRun bytes({ "--fault", "drop-bytes:300" });
    ASSERT_TRUE(bytes.Begin());
    ASSERT_TRUE(bytes.Client.WaitDisconnected());
    EXPECT_EQ(bytes.Client.BytesReceived, 300u);
    EXPECT_NE(bytes.Server.Log().find("fault drop-bytes fired"), std::string::npos);

    FaultRun seconds({ "--fault", "drop-after:0.3" });
    ASSERT_TRUE(seconds.Begin());
    EXPECT_TRUE(seconds.Client.WaitDisconnected());
}

TEST(AlertdFaults, CorruptStreamAndBadFrameLengthsBreakDecoding)
{
    for (const char *fault : { "corrupt:0.2", "negative-length:0.2", "huge-length:0.2" }) {
        FaultRun run({ "--fault", fault });
        ASSERT_TRUE(run.Begin());
        EXPECT_TRUE(RunUntil([&] { return !run.Client.DecodeError().empty(); })) << fault;
    }
}

TEST(AlertdFaults, MalformedXmlInTheNextAlertReply)
{
    FaultRun run({ "--fault", "bad-xml:0" });
    ASSERT_TRUE(run.Begin());
    std::string body;
    ASSERT_TRUE(run.Client.WaitFrame(3, body)); // the get_alerts sent by Begin
    EXPECT_EQ(body.substr(body.size() - 3), "<<&");
}

TEST(AlertdFaults, LogoutAndGracefulRestartArriveOnTheLoginReply)
{
    FaultRun run({ "--fault", "restart-every:0.2", "--fault", "logout:0.5" });
    ASSERT_TRUE(run.Begin());
    std::string body;
    ASSERT_TRUE(run.Client.WaitFrame(run.LoginId, body)); // the login reply itself
    ASSERT_TRUE(run.Client.WaitFrame(run.LoginId, body));
    EXPECT_EQ(XmlAttribute(body, "STATUS", "GRACEFUL_RESTART"), "1");
    bool loggedOut = false;
    RunUntil([&] {
        while (run.Client.WaitFrame(run.LoginId, body, 0))
            loggedOut |= XmlAttribute(body, "STATUS", "DISCONNECT_FOR_GOOD") == "1";
        return loggedOut;
    });
    EXPECT_TRUE(loggedOut);
    EXPECT_NE(XmlAttribute(body, "STATUS", "KV-ErrorMsg"), "");
}

TEST(AlertdFaults, SilentServerStopsAnsweringPollAndPing)
{
    FaultRun run({ "--fault", "silent:0", "--heartbeat-ms", "200" });
    ASSERT_TRUE(run.Begin());
    RunFor(300);
    run.Client.Frames.clear();
    const int32_t ping = run.Client.Send({ { "command", "ping" } });
    std::string body;
    EXPECT_FALSE(run.Client.WaitFrame(ping, body, 800));
    EXPECT_FALSE(run.Client.WaitFrame(3, body, 0)) << "no heartbeat either";
}

} // namespace
