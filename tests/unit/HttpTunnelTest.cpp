// The HTTP tunnel over two fake HTTP clients and the settable clock: the reader's first lines,
// the writer's numbered chunks, retries, the deadline and the close; plus P64 and the writer
// address.

#include "link/HttpTunnels.h"
#include "link/P64.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

using namespace std::string_literals;

TEST(P64, VectorsRoundTripAndRejects)
{
    EXPECT_EQ(P64Encode(""), "");
    EXPECT_EQ(P64Encode("\0"s), "aa");
    EXPECT_EQ(P64Encode("\0\0\0"s), "aaaa");
    EXPECT_EQ(P64Encode("\xFF\xFF\xFF"s), "----");
    EXPECT_EQ(P64Encode("\x01\x02"s), "aqi");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t n = 0; n <= 5; ++n) {
        const std::string bytes = all.substr(250 - n, n) + all;
        std::string back;
        ASSERT_TRUE(P64Decode(P64Encode(bytes), back));
        EXPECT_EQ(back, bytes);
    }
    std::string ignored;
    for (const char *bad : { "a", "abcde", "aa=a", "ab", "aqj", "a a" })
        EXPECT_FALSE(P64Decode(bad, ignored)) << bad;
}

TEST(TunnelWriterAddress, ResolvedAgainstTheReaderAndOnlyHttp)
{
    const std::string base = "http://proxy.example:8080/tunnel/Read.php?x=1";
    const std::pair<const char *, const char *> cases[] = {
        { "Write.php?session=7", "http://proxy.example:8080/tunnel/Write.php?session=7" },
        { "/Write.php", "http://proxy.example:8080/Write.php" },
        { "../w/./x/../Write.php", "http://proxy.example:8080/w/Write.php" },
        { "//other.example/W", "http://other.example/W" },
        { "HTTPS://secure.example/W?a=b#frag", "https://secure.example/W?a=b" },
        { "", "http://proxy.example:8080/tunnel/Read.php?x=1" },
        { "ftp://files.example/W", "" },
        { "javascript:alert(1)", "" },
        { "file:///etc/passwd", "" },
        { "http:///nohost", "" },
        { "Write.php?session=a b", "" },
    };
    for (const auto &[reference, expected] : cases)
        EXPECT_EQ(ResolveTunnelUrl(base, reference), expected) << reference;
}

class FakeHttp : public ITunnelHttpClient
{
public:
    struct Request
    {
        std::string Method, Url, Body;
    };
    void SetProxy(const THttpProxySettings &proxy) override { Proxy = proxy; }
    void Get(const std::string &url) override { Begin({ "GET", url, "" }); }
    void Post(const std::string &url, const std::string &body) override
    {
        Begin({ "POST", url, body });
    }
    void Abort() override
    {
        if (FState != THttpClientState::Ready)
            Finish(-1);
    }
    THttpClientState State() const override { return FState; }
    int StatusCode() const override { return FStatus; }
    std::string ReasonPhrase() const override { return FReason; }
    std::string ErrorText() const override { return "connection refused"; }

    // The response's status line, then its body pieces, then its end.
    void Respond(int status, const std::string &reason)
    {
        FStatus = status;
        FReason = reason;
        FState = THttpClientState::Receiving;
    }
    void Body(const std::string &piece)
    {
        if (auto handler = OnDocumentData)
            handler(piece.data(), piece.size());
    }
    void Finish(int errorCode = 0)
    {
        FState = THttpClientState::Ready;
        if (auto handler = OnRequestDone)
            handler(errorCode);
    }
    void Answer(int status, const std::string &reason)
    {
        Respond(status, reason);
        Finish();
    }

    THttpProxySettings Proxy;
    std::vector<Request> Requests;

private:
    void Begin(Request request)
    {
        Requests.push_back(std::move(request));
        FState = THttpClientState::Requesting;
        FStatus = 0;
        FReason.clear();
    }
    THttpClientState FState = THttpClientState::Ready;
    int FStatus = 0;
    std::string FReason;
};

// A tunnel on two fakes (the first client made is the reader) with its events recorded.
struct TunnelRig
{
    TunnelRig()
    {
        Tunnel = std::make_unique<THttpTunnel>("http://tunnel.example/t/Read.php", [this] {
            auto client = std::make_unique<FakeHttp>();
            (Reader ? Writer : Reader) = client.get();
            return client;
        });
        Tunnel->WriteTimeOut = 1000;
        Tunnel->OnSessionConnected = [this](TGenericServerConnection &) { ++Connected; };
        Tunnel->OnSessionClosed = [this](TGenericServerConnection &) { ++Closed; };
        Tunnel->OnDataAvailable = [this](TGenericServerConnection &c) {
            std::string bytes;
            c.ReadAll(bytes);
            Data += bytes;
        };
        Tunnel->OnDebugMessage = [this](TGenericServerConnection &, const std::string &text) {
            Debug.push_back(text);
        };
    }

    void Open()
    {
        ASSERT_TRUE(Tunnel->Connect());
        Reader->Respond(200, "OK");
        Reader->Body("tunnel 1\r\nWrite.php?session=1\r\n");
        ASSERT_EQ(Tunnel->State(), TTunnelState::Connected);
    }
    // The POST's sequence number and decoded bytes.
    static std::pair<int, std::string> Chunk(const FakeHttp::Request &post)
    {
        const size_t amp = post.Body.find("&body=");
        EXPECT_EQ(post.Body.rfind("sequence=", 0), 0u) << post.Body;
        std::string bytes;
        EXPECT_TRUE(P64Decode(post.Body.substr(amp + 6), bytes));
        return { std::stoi(post.Body.substr(9, amp - 9)), bytes };
    }

    FakeHttp *Reader = nullptr;
    FakeHttp *Writer = nullptr;
    std::unique_ptr<THttpTunnel> Tunnel;
    int Connected = 0, Closed = 0;
    std::string Data;
    std::vector<std::string> Debug;
};

class HttpTunnel : public ::testing::Test, public TunnelRig
{
protected:
    kvtest::FakeClock Clock;
};

TEST_F(HttpTunnel, FirstLinesSplitOverPiecesGiveTheWriterAndTheRestIsData)
{
    Tunnel->HttpProxyHost = "proxy.example";
    Tunnel->HttpProxyPort = 3128;
    Tunnel->SocksServer = "socks.example"; // never chained behind the HTTP proxy
    Tunnel->SocksPort = "1080";
    Tunnel->SocksLevel = "5";
    ASSERT_TRUE(Tunnel->Connect());
    ASSERT_EQ(Reader->Requests.size(), 1u);
    EXPECT_EQ(Reader->Requests[0].Url, "http://tunnel.example/t/Read.php");
    for (FakeHttp *client : { Reader, Writer }) {
        EXPECT_EQ(client->Proxy.Host, "proxy.example");
        EXPECT_EQ(client->Proxy.Port, "3128");
        EXPECT_EQ(client->Proxy.SocksLevel, "");
    }
    Reader->Respond(200, "OK");
    for (const char *piece : { "tun", "nel 1\r", "\nWrite.php", "?session=1\r", "\nAB" }) {
        EXPECT_EQ(Connected, 0);
        Reader->Body(piece);
    }
    EXPECT_EQ(Connected, 1);
    EXPECT_EQ(Tunnel->WriterUrl(), "http://tunnel.example/t/Write.php?session=1");
    EXPECT_EQ(Data, "AB");
    Reader->Body("\r\nCD");
    EXPECT_EQ(Data, "AB\r\nCD");
    EXPECT_EQ(Connected, 1);
    EXPECT_EQ(Closed, 0);
    // The GET ending closes the tunnel, once.
    Reader->Finish();
    Tunnel->Close();
    EXPECT_EQ(Closed, 1);
}

TEST_F(HttpTunnel, AnythingButStatus200ClosesWithTheStatusAndNothingIsPosted)
{
    // A proxy's page that happens to hold two lines, the second an address.
    ASSERT_TRUE(Tunnel->Connect());
    Reader->Respond(407, "Proxy Authentication Required");
    Reader->Body("<html>\r\nhttp://elsewhere.example/steal\r\n</html>");
    EXPECT_EQ(Closed, 1);
    EXPECT_EQ(Connected, 0);
    EXPECT_EQ(Tunnel->ErrorMessage, "HTTP 407 Proxy Authentication Required");
    Tunnel->Send("login with a password");
    EXPECT_TRUE(Writer->Requests.empty());

    // Without a body: the status when the GET ends; without a response: the client's text.
    for (int status : { 502, 0 }) {
        TunnelRig other;
        ASSERT_TRUE(other.Tunnel->Connect());
        if (status)
            other.Reader->Respond(status, "Bad Gateway");
        other.Reader->Finish(status ? 0 : 7);
        EXPECT_EQ(other.Closed, 1);
        EXPECT_EQ(
            other.Tunnel->ErrorMessage, status ? "HTTP 502 Bad Gateway" : "connection refused");
    }

    // Status 200 but no second line within 8 KiB.
    TunnelRig endless;
    ASSERT_TRUE(endless.Tunnel->Connect());
    endless.Reader->Respond(200, "OK");
    endless.Reader->Body("first line\r\n" + std::string(8200, 'x'));
    EXPECT_EQ(endless.Closed, 1);
    EXPECT_NE(endless.Tunnel->ErrorMessage.find("8192"), std::string::npos);
}

TEST_F(HttpTunnel, ThirteenThousandBytesGoAsThreeNumberedChunksOneAtATime)
{
    Open();
    std::string bytes(13000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    Tunnel->Send(bytes);
    Tunnel->CheckForSend();
    Tunnel->CheckForSend(); // one POST at a time
    std::string received;
    for (int sequence = 0; sequence < 3; ++sequence) {
        ASSERT_EQ(Writer->Requests.size(), static_cast<size_t>(sequence + 1));
        const auto &post = Writer->Requests.back();
        EXPECT_EQ(post.Url, "http://tunnel.example/t/Write.php?session=1");
        const auto [number, chunk] = Chunk(post);
        EXPECT_EQ(number, sequence);
        EXPECT_EQ(chunk.size(), sequence < 2 ? 6000u : 1000u);
        received += chunk;
        Writer->Answer(200, "OK");
        Tunnel->CheckForSend();
    }
    EXPECT_EQ(received, bytes);
    EXPECT_EQ(Writer->Requests.size(), 3u);
    EXPECT_EQ(Tunnel->Writer().Sequence(), 3);
}

TEST_F(HttpTunnel, FailedPostIsRepostedWithItsNumberUntilFourFailuresTooManyClose)
{
    Open();
    Tunnel->Send("ping");
    Tunnel->CheckForSend();
    Writer->Answer(500, "Internal Server Error");
    EXPECT_EQ(Debug,
        std::vector<std::string> { "Error sending data to server:  500, "
                                   "Internal Server Error, state: 0" });
    Tunnel->CheckForSend();
    ASSERT_EQ(Writer->Requests.size(), 2u);
    EXPECT_EQ(Writer->Requests[1].Body, Writer->Requests[0].Body);
    EXPECT_EQ(Tunnel->Writer().Failures(), 1);

    // Past its deadline on the settable clock the POST is aborted and posted again.
    Clock.AdvanceMilliseconds(900);
    Tunnel->CheckDeadline();
    EXPECT_EQ(Writer->State(), THttpClientState::Requesting);
    Clock.AdvanceMilliseconds(200);
    Tunnel->CheckDeadline();
    EXPECT_EQ(Tunnel->Writer().Failures(), 2);
    Tunnel->CheckForSend();
    ASSERT_EQ(Writer->Requests.size(), 3u);
    EXPECT_EQ(Writer->Requests[2].Body, Writer->Requests[0].Body);

    // A success lowers the count by one and moves on.
    Writer->Answer(200, "OK");
    EXPECT_EQ(Tunnel->Writer().Failures(), 1);
    Tunnel->Send("next");
    Tunnel->CheckForSend();
    EXPECT_EQ(Chunk(Writer->Requests.back()).first, 1);

    // Three more failures make four in excess: one close, however the rest ends.
    for (int i = 0; i < 3; ++i) {
        Writer->Answer(503, "Service Unavailable");
        Tunnel->CheckForSend();
    }
    EXPECT_EQ(Closed, 1);
    EXPECT_EQ(Tunnel->State(), TTunnelState::Closed);
    EXPECT_EQ(Debug.back(), "ERROR sending data to server:  503, Service Unavailable, state: 0");
    EXPECT_EQ(Writer->Requests.size(), 6u);
    Reader->Finish();
    Tunnel->Close();
    Tunnel->Send("dropped");
    Tunnel->CheckForSend();
    EXPECT_EQ(Closed, 1);
    EXPECT_EQ(Writer->Requests.size(), 6u);
}

} // namespace
