// The fault flags of kestrova-alertd that break the connection or its data, each seen from a
// client. The timed logout, restart and silence faults are unit-tested on the session.

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
        Client.Send({ { "command", "login" }, { "username", "ann" } });
        Client.Send(
            { { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" } });
        Client.Send({ { "command", "get_alerts" } });
        return true;
    }
    AlertServerProcess Server;
    RawServerClient Client;
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

} // namespace
