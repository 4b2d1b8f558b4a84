// The request channel over a fake connection fed with plain bytes.

#include "link/TalkWithServer.h"

#include "link/SocketServerConnections.h"
#include "support/DebugLog.h"
#include "support/QtLoop.h"
#include "support/ServerEnd.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

class FakeConnection : public TGenericServerConnection
{
public:
    bool Connect() override
    {
        if (FailAtOnce.empty())
            return true;
        ErrorMessage = FailAtOnce;
        CloseNow();
        return false;
    }
    void Send(const std::string &bytes) override { Writes.push_back(bytes); }
    void Close() override
    {
        ++CloseCalls;
        CloseNow();
    }
    void ReadAll(std::string &bytes) override { bytes = std::exchange(Inbox, {}); }

    void RaiseConnected() { OnSessionConnected(*this); }
    void Deliver(const std::string &bytes)
    {
        Inbox += bytes;
        OnDataAvailable(*this);
    }
    void CloseNow()
    {
        if (!std::exchange(Closed, true) && OnSessionClosed)
            OnSessionClosed(*this);
    }

    std::string FailAtOnce;
    std::vector<std::string> Writes;
    std::string Inbox;
    int CloseCalls = 0;
    bool Closed = false;
};

struct Reply
{
    bool Success;
    std::string Body;
    std::string Command;
    bool operator==(const Reply &) const = default;
};

class TalkWithServerTest : public ::testing::Test
{
protected:
    TalkWithServerTest() { NewChannel(); }

    // A fresh channel whose connection is a FakeConnection (Fake once Connect ran).
    void NewChannel()
    {
        Channel = std::make_unique<TTalkWithServer>();
        Channel->Settings.ServerAddress = "alerts.test:1234";
        Channel->CreateConnection = [this](const TConnectionSettings &, const std::string &host,
                                        const std::string &port) {
            Host = host;
            Port = port;
            auto c = std::make_unique<FakeConnection>();
            c->FailAtOnce = FailAtOnce;
            Fake = c.get();
            return c;
        };
        Channel->OnResponse = [this](bool ok, const std::string &, const TMessageToServer &m) {
            Responses.push_back(ok ? "ok " + m.at(0).Value : "fail " + m.at(0).Value);
        };
        Channel->OnDisconnected = [this] {
            if (Channel)
                DisconnectText = Channel->ErrorText();
        };
    }

    TServerResponseEvent Record()
    {
        return [this](bool ok, const std::string &body, const TMessageToServer &m) {
            Replies.push_back({ ok, body, m.at(0).Value });
        };
    }
    TMessageHandle Send(
        const std::string &command, bool persistent = false, bool withCallback = true)
    {
        TMessageHandle h;
        Channel->SendMessage(MakeMessageToServer("command", command), persistent, h,
            withCallback ? Record() : TServerResponseEvent());
        return h;
    }
    void ConnectAndFlush()
    {
        Channel->Connect();
        Fake->RaiseConnected();
        kvtest::RunFor(10);
    }

    FakeConnection *Fake = nullptr;
    std::string FailAtOnce, Host, Port, DisconnectText = "<none>";
    std::vector<Reply> Replies;
    std::vector<std::string> Responses;
    kvtest::ServerEnd Server;
    std::unique_ptr<TTalkWithServer> Channel; // last: its close reaches the members above
};

TEST_F(TalkWithServerTest, QueuedRequestsFollowThePreambleInOrderThenBatchPerLoopPass)
{
    Send("first");
    TMessageHandle quiet;
    Channel->SendMessage({ { "", "skipped" }, { "command", "quiet" } }, false, quiet, {});
    EXPECT_TRUE(IsNullHandle(quiet));
    kvtest::RunFor(10); // flushed into the held output while not connected
    ConnectAndFlush();
    EXPECT_EQ(Host, "alerts.test");
    EXPECT_EQ(Port, "1234");
    ASSERT_EQ(Fake->Writes.size(), 1u);
    auto requests = Server.Requests(Fake->Writes[0]);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], (TMessageToServer { { "message_id", "1" }, { "command", "first" } }));
    EXPECT_EQ(requests[1], (TMessageToServer { { "command", "quiet" } }));

    for (int i = 0; i < 5; ++i)
        Send("burst");
    EXPECT_EQ(Fake->Writes.size(), 1u); // nothing written synchronously
    kvtest::RunFor(10);
    ASSERT_EQ(Fake->Writes.size(), 2u);
    EXPECT_EQ(Server.Requests(Fake->Writes[1]).size(), 5u);
}

TEST_F(TalkWithServerTest, RepliesAreRoutedWhateverTheSplit)
{
    ConnectAndFlush();
    const TMessageHandle stream = Send("stream", true);
    const TMessageHandle once = Send("once");
    const TMessageHandle forgotten = Send("forgotten");
    Channel->ForgetMessage(forgotten);
    const std::string frames = EncodeFrame(stream.Id, "<S1/>") + EncodeFrame(once.Id, "")
        + EncodeFrame(0, "<ZERO/>") + EncodeFrame(99, "<UNKNOWN/>")
        + EncodeFrame(once.Id, "<AGAIN/>") + EncodeFrame(forgotten.Id, "<F/>")
        + EncodeFrame(stream.Id, "<S2/>");
    const std::string wire = Server.Reply(frames);
    for (char c : wire)
        Fake->Deliver(std::string(1, c));
    // An empty body is still a reply.
    EXPECT_EQ(Replies,
        (std::vector<Reply> {
            { true, "<S1/>", "stream" }, { true, "", "once" }, { true, "<S2/>", "stream" } }));
    EXPECT_EQ(Responses, (std::vector<std::string> { "ok stream", "ok once", "ok stream" }));
}

TEST_F(TalkWithServerTest, CloseFailsEveryPendingRequestOnceAndLaterOnesAtOnce)
{
    ConnectAndFlush();
    Send("a");
    Send("b", true);
    Send("c");
    Send("none", false, false);
    Fake->CloseNow();
    EXPECT_EQ(DisconnectText, "Unexpected disconnect from server.");
    EXPECT_EQ(Channel->State(), TChannelState::Closed);
    ASSERT_EQ(Replies.size(), 3u);
    for (const auto &r : Replies)
        EXPECT_FALSE(r.Success);
    EXPECT_EQ(Responses, (std::vector<std::string> { "fail a", "fail c" })); // table order

    Replies.clear();
    const TMessageHandle late = Send("late");
    EXPECT_TRUE(IsNullHandle(late));
    ASSERT_EQ(Replies.size(), 1u);
    EXPECT_FALSE(Replies[0].Success);
    TMessageHandle h;
    Channel->SendMessage({ { "", "x" } }, false, h, Record()); // empty message: fails at once
    EXPECT_EQ(Replies.size(), 2u);
}

TEST_F(TalkWithServerTest, InvalidDataClosesWithAReason)
{
    struct Case
    {
        std::string Name;
        std::function<std::string(kvtest::ServerEnd &)> Wire;
        std::string Reason;
    };
    auto header = [](int32_t length) {
        std::string h;
        AppendLittleEndian32(h, 1);
        AppendLittleEndian32(h, static_cast<uint32_t>(length));
        return h;
    };
    const Case cases[] = {
        { "corrupt zlib",
            [](kvtest::ServerEnd &) { return std::string("\x78\x9C\xFF\xFF garbage", 12); }, "" },
        { "negative length", [&](kvtest::ServerEnd &s) { return s.Reply(header(-5)); },
            "negative" },
        { "huge length", [&](kvtest::ServerEnd &s) { return s.Reply(header(MaxFrameLength + 1)); },
            "too large" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        NewChannel();
        ConnectAndFlush();
        Send("x");
        kvtest::ServerEnd server;
        DebugLog::Clear();
        Fake->Deliver(c.Wire(server));
        EXPECT_EQ(Fake->CloseCalls, 1);
        EXPECT_EQ(DisconnectText.rfind("Invalid data from server: ", 0), 0u) << DisconnectText;
        EXPECT_NE(DisconnectText.find(c.Reason), std::string::npos) << DisconnectText;
        const auto log = DebugLog::Entries();
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log[0].find("TTalkWithServer.ServerConnectionDataAvailable"), std::string::npos);
        Channel.reset();
    }
}

TEST_F(TalkWithServerTest, ExplanationIsInErrorTextBeforeOnDisconnected)
{
    FailAtOnce = "DNS error";
    Channel->Connect();
    EXPECT_EQ(DisconnectText, "DNS error");
    EXPECT_EQ(Channel->ErrorText(), "DNS error");

    // Failing later, before coming up: the connection's own words, else the channel's.
    for (const std::string message : { "SOCKS 5 proxy rejected the user name or password", "" }) {
        FailAtOnce.clear();
        NewChannel();
        Channel->Connect();
        EXPECT_EQ(Channel->ErrorText(), "Error in server connection.");
        Fake->ErrorMessage = message;
        Fake->CloseNow();
        EXPECT_EQ(DisconnectText, message.empty() ? "Error in server connection." : message);
    }
}

TEST_F(TalkWithServerTest, CallbacksMayThrowOrDestroyTheChannel)
{
    ConnectAndFlush();
    TMessageHandle a, b;
    Channel->SendMessage(MakeMessageToServer("command", "login", "password", "secret"), false, a,
        [](bool, const std::string &, const TMessageToServer &) {
            throw std::runtime_error("handler failed");
        });
    b = Send("next");
    DebugLog::Clear();
    Fake->Deliver(Server.Reply(EncodeFrame(a.Id, "<A/>") + EncodeFrame(b.Id, "<B/>")));
    ASSERT_EQ(Replies.size(), 1u); // the frame after the failing one is still delivered
    const auto log = DebugLog::Entries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("TTalkWithServer.SendGoodResponse, (\"command\" --> \"login\", "
                          "\"password\" --> \"***\")"),
        std::string::npos);
    EXPECT_EQ(log[0].find("secret"), std::string::npos);

    // Against the rule, but it must not crash: a reply handler and OnDisconnected free the channel.
    TMessageHandle c;
    Channel->SendMessage(MakeMessageToServer("command", "bye"), false, c,
        [this](bool, const std::string &, const TMessageToServer &) { Channel.reset(); });
    Fake->Deliver(Server.Reply(EncodeFrame(c.Id, "<C/>") + EncodeFrame(c.Id, "<D/>")));
    EXPECT_EQ(Channel, nullptr);

    NewChannel();
    Channel->OnDisconnected = [this] { Channel.reset(); };
    ConnectAndFlush();
    Send("pending");
    Fake->CloseNow();
    EXPECT_EQ(Channel, nullptr);
}

TEST(PendingRequests, HighestFreeSlotIsReusedAndTheTableDoubles)
{
    TPendingRequests table;
    const TServerResponseEvent cb = [](bool, const std::string &, const TMessageToServer &) {};
    const TMessageToServer m { { "command", "x" } };
    std::vector<int32_t> ids;
    for (int i = 0; i < 8; ++i)
        ids.push_back(table.Add(m, cb, false).Id);
    EXPECT_EQ(ids, (std::vector<int32_t> { 1, 8, 7, 6, 5, 4, 3, 2 }));
    TServerResponseEvent taken;
    TMessageToServer copy;
    ASSERT_TRUE(table.TakeForReply(5, taken, copy));
    EXPECT_EQ(table.Add(m, cb, false).Id, 5);
    const TMessageHandle ninth = table.Add(m, cb, false);
    EXPECT_EQ(ninth.Id, 9);
    EXPECT_EQ(table.Length(), 16u);

    // A stale serial leaves the callback; the right one unsets it but keeps the slot taken.
    table.Forget({ ninth.Id, ninth.Serial + 1000 });
    EXPECT_TRUE(table.Slot(8).Callback);
    table.Forget(ninth);
    EXPECT_FALSE(table.Slot(8).Callback);
    EXPECT_EQ(table.Add(m, cb, false).Id, 16);
    EXPECT_FALSE(table.TakeForReply(0, taken, copy));
    EXPECT_FALSE(table.TakeForReply(17, taken, copy));
}

TEST(TalkWithServerHelpers, MessagesAddressesAndNumbers)
{
    const TMessageToServer m = MakeMessageToServer("i", 42, "big", int64_t(1) << 40, "yes", true,
        "no", false, "c", 'x', "s", std::string("txt"), "d", 0.1, "e", 2.5e-9);
    EXPECT_EQ(m,
        (TMessageToServer { { "i", "42" }, { "big", "1099511627776" }, { "yes", "1" },
            { "no", "0" }, { "c", "x" }, { "s", "txt" }, { "d", "0.1" }, { "e", "2.5e-09" } }));
    EXPECT_EQ(DescribeMessage({ { "a", "1" }, { "Password", "p" } }),
        "(\"a\" --> \"1\", \"Password\" --> \"***\")");
    EXPECT_DOUBLE_EQ(ServerStrToFloat("12.75"), 12.75);
    EXPECT_THROW(ServerStrToFloat("12.7x"), EConvertError);
    EXPECT_THROW(ServerStrToFloat(""), EConvertError);
    // Plain decimal numbers read as strtod reads them in the C locale, whatever their length.
    for (const char *text : { "-3.25", "0.1", "123456789012345.5", "1e3", "2.5E-09", "5.", ".5",
             "+2", "0.0000000000000001", "1234567890123456789" })
        EXPECT_EQ(ServerStrToFloat(text), std::strtod(text, nullptr)) << text;
    // Anything else raises, even where strtod would read a number.
    for (const char *text : { "-", ".", "1.2.3", "--1", "1-", "nan", "inf", "-Infinity", "0x10",
             " 1", "1 ", "\t2", "1e", "e5", "1,5", "1e999" })
        EXPECT_THROW(ServerStrToFloat(text), EConvertError) << text;

    std::string host, port;
    TTalkWithServer::SplitServerAddress("alerts.test", host, port);
    EXPECT_EQ(host + "|" + port, "alerts.test|8888");
    TTalkWithServer::SplitServerAddress("10.0.0.1:1234", host, port);
    EXPECT_EQ(host + "|" + port, "10.0.0.1|1234");
}

} // namespace
