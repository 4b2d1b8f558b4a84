// The request channel over real sockets: a loopback server on 127.0.0.1 and, where installed, a
// real SOCKS proxy (dante) in between.

#include "link/SocketServerConnections.h"
#include "link/TalkWithServer.h"
#include "support/DanteProxy.h"
#include "support/LoopbackServer.h"
#include "support/QtLoop.h"
#include "support/ServerEnd.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

// One conversation: the channel sends a ping, the loopback server answers it.
struct Conversation
{
    explicit Conversation(kvtest::LoopbackServer &server)
        : Server(server)
    {
        Channel.OnConnected = [this] { Connected = true; };
        Channel.OnDisconnected = [this] {
            Disconnected = true;
            DisconnectText = Channel.ErrorText();
        };
    }
    // The channel reports the lost connection when it goes, after the members it would write.
    ~Conversation() { Channel.OnDisconnected = nullptr; }

    void Start(const std::string &address)
    {
        Channel.Settings.ServerAddress = address;
        Channel.SendMessage(MakeMessageToServer("command", "ping"), false, Handle,
            [this](bool ok, const std::string &body, const TMessageToServer &) {
                Replies.push_back(ok ? body : "<failed>");
            });
        Channel.Connect();
    }

    // Waits for the ping on the server's side; false when it did not arrive.
    bool ServerGotPing()
    {
        return kvtest::RunUntil([&] {
            if (Server.ConnectionCount() == 0 || Server.Received(0).size() <= ClientPreamble.size())
                return false;
            const auto requests = kvtest::ServerEnd().Requests(Server.Received(0));
            return !requests.empty()
                && requests[0] == MakeMessageToServer("message_id", Handle.Id, "command", "ping");
        });
    }

    kvtest::LoopbackServer &Server;
    TTalkWithServer Channel;
    kvtest::ServerEnd End;
    TMessageHandle Handle;
    std::vector<std::string> Replies;
    bool Connected = false, Disconnected = false;
    std::string DisconnectText;
};

TEST(ServerConnection, ExchangeWithLoopbackServerThenDropMidFrame)
{
    kvtest::LoopbackServer server;
    Conversation c(server);
    c.Start(server.Address());
    ASSERT_TRUE(c.ServerGotPing());
    EXPECT_TRUE(c.Connected);
    EXPECT_EQ(server.Received(0).substr(0, ClientPreamble.size()), ClientPreamble);

    TMessageHandle stream;
    std::vector<std::string> streamed;
    c.Channel.SendMessage(MakeMessageToServer("command", "listen"), true, stream,
        [&](bool ok, const std::string &body, const TMessageToServer &) {
            streamed.push_back(ok ? body : "<failed>");
        });
    const std::string frame = EncodeFrame(stream.Id, "<MORE/>");
    server.Write(0, c.End.Reply(EncodeFrame(c.Handle.Id, "<PONG/>") + frame + frame.substr(0, 10)));
    ASSERT_TRUE(kvtest::RunUntil([&] { return streamed.size() == 1; }));
    EXPECT_EQ(c.Replies, (std::vector<std::string> { "<PONG/>" }));

    server.Close(0);
    ASSERT_TRUE(kvtest::RunUntil([&] { return c.Disconnected; }));
    EXPECT_EQ(c.DisconnectText, "Unexpected disconnect from server.");
    EXPECT_EQ(streamed, (std::vector<std::string> { "<MORE/>", "<failed>" }));
}

TEST(ServerConnection, FailuresBeforeConnectingExplainThemselves)
{
    kvtest::LoopbackServer server;
    struct Case
    {
        std::string Address;
        std::string Expected;
    };
    const Case cases[] = {
        { "127.0.0.1:" + std::to_string(kvtest::UnusedLoopbackPort()),
            "Error in server connection. (Connection refused)" }, // our words, then the system's
        { "kv..invalid:8888", "DNS error" }, // rejected by the resolver without a query
        { "bad host:8888", "DNS error" }, // fails inside Connect
        { "127.0.0.1:http",
            "TSocketServerConnection.Connect, ESocketException, connect: invalid "
            "port 'http'" },
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.Address);
        Conversation c(server);
        c.Start(test.Address);
        ASSERT_TRUE(kvtest::RunUntil([&] { return c.Disconnected; }));
        EXPECT_EQ(c.DisconnectText, test.Expected);
        EXPECT_EQ(c.Replies, (std::vector<std::string> { "<failed>" }));
        EXPECT_FALSE(c.Connected);
    }
}

TEST(ServerConnection, ReadAllTakesEverythingAndDestroyReportsTheCloseOnce)
{
    kvtest::LoopbackServer server;
    for (const bool closeFirst : { false, true }) {
        SCOPED_TRACE(closeFirst ? "closed, then destroyed" : "destroyed");
        auto connection
            = std::make_unique<TSocketServerConnection>("127.0.0.1", std::to_string(server.Port()));
        bool connected = false;
        int closes = 0;
        connection->OnSessionConnected = [&](TGenericServerConnection &) { connected = true; };
        connection->OnSessionClosed = [&](TGenericServerConnection &) { ++closes; };
        ASSERT_TRUE(connection->Connect());
        ASSERT_TRUE(kvtest::RunUntil([&] { return connected; }));
        if (closeFirst) {
            // The closed event comes later, from the loop, and only once.
            connection->Close();
            EXPECT_EQ(closes, 0);
            ASSERT_TRUE(kvtest::RunUntil([&] { return closes == 1; }));
            EXPECT_EQ(connection->State(), TSocketConnectionState::Closed);
        } else {
            ASSERT_TRUE(kvtest::RunUntil([&] { return server.ConnectionCount() == 1; }));
            server.Write(0, std::string(10000, 'x'));
            kvtest::RunFor(100);
            std::string bytes;
            connection->ReadAll(bytes);
            EXPECT_EQ(bytes.size(), 10000u);
            connection->ReadAll(bytes);
            EXPECT_TRUE(bytes.empty());
        }
        connection.reset();
        EXPECT_EQ(closes, 1);
    }
}

// SOCKS through a real proxy.
class SocksProxy : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!kvtest::DanteProxy::Available())
            GTEST_SKIP() << "dante-server is not installed: SOCKS proxy tests skipped";
    }

    // Runs the ping conversation through the proxy; returns the reply or the channel's error.
    std::string Run(quint16 proxyPort, int level, const std::string &target,
        const std::string &user = {}, const std::string &password = {})
    {
        Conversation c(Server);
        c.Channel.Settings.SocksServer = "127.0.0.1";
        c.Channel.Settings.SocksPort = proxyPort;
        c.Channel.Settings.SocksLevel = level;
        c.Channel.Settings.SocksUsername = user;
        c.Channel.Settings.SocksPassword = password;
        const size_t before = Server.ConnectionCount();
        c.Start(target);
        kvtest::RunUntil([&] { return c.Disconnected || Server.ConnectionCount() > before; });
        if (c.Disconnected)
            return c.DisconnectText;
        EXPECT_TRUE(kvtest::RunUntil([&] { return c.Connected; }));
        const size_t i = Server.ConnectionCount() - 1;
        kvtest::RunUntil([&] { return Server.Received(i).size() > ClientPreamble.size(); });
        Server.Write(i, c.End.Reply(EncodeFrame(c.Handle.Id, "<PONG/>")));
        kvtest::RunUntil([&] { return !c.Replies.empty() || c.Disconnected; });
        return c.Replies.empty() ? c.DisconnectText : c.Replies[0];
    }

    std::string Target() const { return "localhost:" + std::to_string(Server.Port()); }
    std::string Unreachable() const
    {
        return "127.0.0.1:" + std::to_string(kvtest::UnusedLoopbackPort());
    }

    kvtest::LoopbackServer Server;
};

TEST_F(SocksProxy, Socks4AndSocks5WithoutAuthentication)
{
    kvtest::DanteProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Error();
    const quint16 port = proxy.Port();
    EXPECT_EQ(Run(port, 4, Target()), "<PONG/>"); // the name is resolved here
    EXPECT_EQ(Run(port, 5, Target()), "<PONG/>"); // the proxy resolves the name
    EXPECT_EQ(Run(port, 4, Unreachable()),
        "SOCKS 4 proxy could not connect to the server: request rejected or server "
        "unreachable");
    EXPECT_EQ(Run(port, 5, Unreachable()),
        "SOCKS 5 proxy could not connect to the server: connection refused by the server");
    EXPECT_EQ(Run(port, 5, Target(), "someone", "pw"), "<PONG/>"); // no auth offered back
    proxy.Stop();
    const std::string refused = Run(port, 5, Target());
    EXPECT_EQ(refused.rfind("Unable to connect to the SOCKS proxy at 127.0.0.1:", 0), 0u)
        << refused;
}

TEST_F(SocksProxy, Socks5UserNameAndPassword)
{
    std::string error;
    if (!kvtest::DanteProxy::EnsureSystemUser(error))
        GTEST_SKIP() << "SOCKS user name tests skipped: " << error;
    kvtest::DanteProxy proxy(true);
    ASSERT_TRUE(proxy.Running()) << proxy.Error();
    EXPECT_EQ(
        Run(proxy.Port(), 5, Target(), kvtest::DanteProxy::UserName, kvtest::DanteProxy::Password),
        "<PONG/>");
    EXPECT_EQ(Run(proxy.Port(), 5, Target(), kvtest::DanteProxy::UserName, "wrong"),
        "SOCKS 5 proxy rejected the user name or password");
    EXPECT_EQ(Run(proxy.Port(), 5, Target()), "SOCKS 5 proxy requires a user name and password");
}

} // namespace
