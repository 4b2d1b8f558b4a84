// The server's tunnel endpoint without HTTP: a reader stream per session, POSTs applied in
// sequence order, the refusals, the tunnel faults and the idle drop, on a settable clock.

#include "TunnelEndpoint.h"

#include "link/P64.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"

#include <gtest/gtest.h>

using namespace kestrova;
using namespace kestrova::alertd;

namespace {

class TunnelEndpointTest : public ::testing::Test
{
protected:
    void Configure(std::vector<TFault> faults)
    {
        TServerOptions o;
        o.Rate = 0;
        o.SymbolCount = 20;
        o.Faults = std::move(faults);
        Endpoint.reset();
        State = std::make_unique<TServerState>(
            o, [this] { return Now; }, std::make_unique<TSymbolListStore>(":memory:"));
        Endpoint = std::make_unique<TTunnelEndpoint>(*State);
        Endpoint->OnStream = [this](const std::string &id) { Woken.push_back(id); };
        Id = Endpoint->Open();
    }
    TTunnelReply Post(int64_t sequence, const std::string &bytes)
    {
        return Endpoint->Post(
            Id, "sequence=" + std::to_string(sequence) + "&body=" + P64Encode(bytes), false);
    }
    // The client's next compressed bytes for a request with this id.
    std::string Request(const TMessageToServer &message, int32_t id)
    {
        Deflate.Write(EncodeRequest(message, id));
        Deflate.Flush();
        return std::exchange(Deflate.Output(), {});
    }
    // Ids of the frames the stream delivered since the last call.
    std::vector<int32_t> Frames()
    {
        Inflate.Feed(Endpoint->TakeStream(Id, 1 << 20));
        Reader.Append(std::exchange(Inflate.Output(), {}));
        std::vector<int32_t> ids;
        int32_t id;
        std::string body;
        while (Reader.Next(id, body))
            ids.push_back(id);
        return ids;
    }

    int64_t Now = 1700000000000;
    std::unique_ptr<TServerState> State;
    std::unique_ptr<TTunnelEndpoint> Endpoint;
    std::string Id;
    std::vector<std::string> Woken;
    TZLibCompressor Deflate;
    TZLibDecompressor Inflate;
    TFrameReader Reader;
};

TEST_F(TunnelEndpointTest, PostsApplyInOrderDuplicatesAreAnsweredGapsAndJunkRefused)
{
    Configure({});
    EXPECT_EQ(
        Endpoint->TakeStream(Id, 1 << 20), "tunnel " + Id + "\r\nWrite.php?session=" + Id + "\r\n");
    EXPECT_EQ(Post(0, std::string(ClientPreamble)).Status, 200);
    EXPECT_EQ(Post(0, std::string(ClientPreamble)).Body, "duplicate\n");
    Woken.clear(); // the preamble's answer: the start of the session's compressed stream
    const std::string ping = Request({ { "command", "ping" } }, 5);
    EXPECT_EQ(Post(2, ping).Status, 409);
    EXPECT_TRUE(Frames().empty());
    EXPECT_TRUE(Woken.empty());
    EXPECT_EQ(Post(1, ping).Status, 200);
    EXPECT_EQ(Woken, std::vector<std::string> { Id });
    EXPECT_EQ(Frames(), std::vector<int32_t> { 5 });
    // The duplicate of an applied POST is not applied twice.
    EXPECT_EQ(Post(1, ping).Status, 200);
    EXPECT_TRUE(Frames().empty());

    EXPECT_EQ(Endpoint->Post("nosuch", "sequence=2&body=", false).Status, 404);
    EXPECT_EQ(Endpoint->Post(Id, "sequence=2&body=aa", true).Status, 413);
    for (const char *form : { "sequence=x&body=aa", "body=aa", "sequence=2", "sequence=2&body=a",
             "sequence=-1&body=aa", "sequence=2&body=a+a" })
        EXPECT_EQ(Endpoint->Post(Id, form, false).Status, 400) << form;
    EXPECT_EQ(Post(2, Request({ { "command", "ping" } }, 6)).Status, 200);
    EXPECT_EQ(Frames(), std::vector<int32_t> { 6 });
}

TEST_F(TunnelEndpointTest, TunnelFaultsCountPostsAndIdleOrClosingSessionsEndTheStream)
{
    Configure({ { TFaultKind::PostFail, 2 }, { TFaultKind::PostSlow, 3 } });
    Endpoint->TakeStream(Id, 1 << 20);
    EXPECT_EQ(Post(0, std::string(ClientPreamble)).DelayMs, 0);
    // A login, so that the server keeps the session past its login time-out.
    const std::string ping = Request({ { "command", "login" }, { "username", "ann" } }, 1);
    EXPECT_EQ(Post(1, ping).Status, 503); // POST 2: refused, not applied
    EXPECT_TRUE(Frames().empty());
    const TTunnelReply slow = Post(1, ping); // POST 3: applied, answered late
    EXPECT_EQ(slow.Status, 200);
    EXPECT_EQ(slow.DelayMs, SlowPostDelayMs);
    EXPECT_EQ(Frames(), std::vector<int32_t> { 1 });
    EXPECT_EQ(Post(1, ping).Status, 503); // POST 4
    EXPECT_EQ(Post(1, ping).Body, "duplicate\n"); // POST 5: the client's retry
    EXPECT_TRUE(Frames().empty());

    // Sixty seconds without a POST: the session ends and its reader is woken to end the stream.
    Woken.clear();
    Now += TunnelIdleMs - 1;
    Endpoint->Tick();
    EXPECT_FALSE(Endpoint->StreamEnded(Id));
    Now += 2;
    Endpoint->Tick();
    EXPECT_EQ(Woken, std::vector<std::string> { Id });
    EXPECT_TRUE(Endpoint->StreamEnded(Id));
    EXPECT_EQ(Post(2, ping).Status, 404);
    Endpoint->Close(Id);
    EXPECT_EQ(Endpoint->SessionCount(), 0u);

    // A session that closes itself (here on a bad preamble) ends its stream once it is read.
    Id = Endpoint->Open();
    EXPECT_EQ(Post(0, "not the preamble").Status, 200);
    EXPECT_FALSE(Endpoint->StreamEnded(Id));
    Endpoint->TakeStream(Id, 1 << 20);
    EXPECT_TRUE(Endpoint->StreamEnded(Id));
}

} // namespace
