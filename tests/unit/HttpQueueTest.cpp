// The HTTP client and the HTTP queue against a canned HTTP server on 127.0.0.1.

#include "net/HttpClient.h"
#include "session/GenericNetRequest.h"
#include "support/CannedHttpServer.h"
#include "support/FakeServerRequests.h"
#include "support/LoopbackServer.h"
#include "support/QtLoop.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::CannedHttpServer;
using kvtest::RunUntil;

namespace {

using Reply = std::optional<std::string>;

// Serves "/ok" and "/missing"; holds every other path open.
Reply Canned(const std::string &line, const std::string &)
{
    if (line.rfind("GET /ok ", 0) == 0)
        return CannedHttpServer::Response(200, "OK", "fetched body");
    if (line.rfind("GET /missing ", 0) == 0)
        return CannedHttpServer::Response(404, "Not Found", "no");
    return std::nullopt;
}

struct ClientRun
{
    THttpClient Client;
    std::string Body;
    std::vector<int> Done;

    ClientRun()
    {
        Client.OnDocumentData = [this](const char *data, size_t size) { Body.append(data, size); };
        Client.OnRequestDone = [this](int code) { Done.push_back(code); };
    }
    bool Finish()
    {
        return RunUntil([this] { return !Done.empty(); });
    }
};

TEST(HttpClient, GetsBodyInPiecesStatusAndReason)
{
    CannedHttpServer server([](const std::string &, const std::string &) { return Reply(); });
    ClientRun run;
    run.Client.Get(server.Url("/doc"));
    ASSERT_TRUE(RunUntil([&] { return server.RequestCount() == 1; }));
    EXPECT_EQ(server.RequestLine(0), "GET /doc HTTP/1.1");
    EXPECT_TRUE(run.Client.Busy());
    server.Answer(0, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nfirst", false);
    ASSERT_TRUE(RunUntil([&] { return run.Body == "first"; }));
    EXPECT_TRUE(run.Done.empty());
    server.Answer(0, "-last");
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(run.Done, std::vector<int> { 0 });
    EXPECT_EQ(run.Body, "first-last");
    EXPECT_EQ(run.Client.StatusCode(), 200);
    EXPECT_EQ(run.Client.ReasonPhrase(), "OK");
    EXPECT_FALSE(run.Client.Busy());
}

TEST(HttpClient, AbortFromInsideTheDataEventCompletesOnce)
{
    CannedHttpServer server([](const std::string &, const std::string &) {
        return Reply("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
    });
    ClientRun run;
    int pieces = 0;
    run.Client.OnDocumentData = [&](const char *, size_t) {
        ++pieces;
        run.Client.Abort();
        run.Client.Abort();
    };
    run.Client.Get(server.Url("/big"));
    ASSERT_TRUE(run.Finish());
    kvtest::RunFor(50);
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(run.Done, std::vector<int> { THttpClient::AbortedCode });
    run.Client.Abort(); // idle: nothing happens
    EXPECT_EQ(run.Done.size(), 1u);
}

TEST(HttpClient, RefusedConnectionAndBadUrlComplete)
{
    ClientRun run;
    run.Client.Get("http://127.0.0.1:" + std::to_string(kvtest::UnusedLoopbackPort()) + "/");
    ASSERT_TRUE(run.Finish());
    EXPECT_NE(run.Done.at(0), 0);
    EXPECT_EQ(run.Client.StatusCode(), 0);
    EXPECT_FALSE(run.Client.ErrorText().empty());

    run.Done.clear();
    run.Client.Get("gopher://127.0.0.1/");
    EXPECT_TRUE(run.Done.empty()); // never completes inside Get
    ASSERT_TRUE(run.Finish());
    EXPECT_NE(run.Done.at(0), 0);
}

class HttpQueueTest : public ::testing::Test
{
protected:
    void SetUp() override { Session.Settings.HttpTimeLimit = 5000; }

    kvtest::FakeServerRequests Session;
    CannedHttpServer Server { Canned };
    THttpQueue Queue { Session };
    TNetRequestRegistry Registry { Session, Queue, false };
    std::vector<std::string> Results;

    std::unique_ptr<TGenericNetRequest> Fetch(const std::string &path)
    {
        return std::make_unique<TGenericNetRequest>(
            "HTTP://" + Server.Url(path).substr(7),
            [this](TGenericNetRequest &request) { Results.push_back(request.Result()); }, Registry);
    }
};

TEST_F(HttpQueueTest, SuccessAndErrorStatusAreReportedAsNetworkActivity)
{
    auto good = Fetch("/ok");
    auto bad = Fetch("/missing");
    ASSERT_TRUE(RunUntil([&] { return Session.Activity.size() == 2; }));
    EXPECT_EQ(Results, std::vector<std::string> { "fetched body" });
    EXPECT_TRUE(good->Finished());
    EXPECT_TRUE(bad->RetryPending());
    EXPECT_EQ(bad->RetryTicks(), 90);
    EXPECT_EQ(bad->RetryCount(), 1);
    std::sort(Session.Activity.begin(), Session.Activity.end());
    EXPECT_EQ(Session.Activity.at(0), std::make_pair(false, std::string("Not Found (HTTP)")));
    EXPECT_EQ(Session.Activity.at(1), std::make_pair(true, std::string()));
    EXPECT_EQ(Queue.IdleCount(), 3u);
}

TEST_F(HttpQueueTest, SilentServerTimesOutAndIsRetriedAfterNinetyTicks)
{
    Session.Settings.HttpTimeLimit = 200;
    auto request = Fetch("/silent");
    ASSERT_TRUE(RunUntil([&] { return !Session.Activity.empty(); }));
    EXPECT_EQ(Session.Activity.at(0), std::make_pair(false, std::string("HTTP timed out")));
    EXPECT_TRUE(request->RetryPending());
    EXPECT_EQ(request->RetryTicks(), 90);
    for (int i = 0; i < 89; ++i)
        Registry.OnTimerGlobal();
    EXPECT_EQ(Server.RequestCount(), 1u);
    Registry.OnTimerGlobal();
    ASSERT_TRUE(RunUntil([&] { return Server.RequestCount() == 2; }));
}

TEST_F(HttpQueueTest, TruncatedBodyCutByTheTimeLimitIsNotAResult)
{
    Session.Settings.HttpTimeLimit = 300;
    auto request = Fetch("/partial");
    ASSERT_TRUE(RunUntil([&] { return Server.RequestCount() == 1; }));
    Server.Answer(0, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<half", false);
    ASSERT_TRUE(RunUntil([&] { return !Session.Activity.empty(); }));
    EXPECT_EQ(Session.Activity.at(0), std::make_pair(false, std::string("HTTP timed out")));
    EXPECT_TRUE(Results.empty());
    EXPECT_TRUE(request->RetryPending());
}

TEST_F(HttpQueueTest, FourthGetWaitsAndACancelledOneIsNeverStarted)
{
    std::vector<std::unique_ptr<TGenericNetRequest>> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(Fetch("/held" + std::to_string(i)));
    auto dropped = Fetch("/dropped");
    ASSERT_TRUE(RunUntil([&] { return Server.RequestCount() == 3; }));
    kvtest::RunFor(100);
    EXPECT_EQ(Server.RequestCount(), 3u);
    EXPECT_EQ(Queue.PendingCount(), 2u);
    dropped.reset();

    Server.Answer(1, CannedHttpServer::Response(200, "OK", "one"));
    ASSERT_TRUE(RunUntil([&] { return Server.RequestCount() == 4; }));
    EXPECT_EQ(Server.RequestLine(3), "GET /held3 HTTP/1.1");
    EXPECT_EQ(Results, std::vector<std::string> { "one" });
    EXPECT_EQ(Queue.PendingCount(), 1u); // the cancelled entry waits for a free wrapper

    // Destroying a request whose GET runs lets it finish silently; its wrapper then drops the
    // cancelled entry instead of starting it.
    held[0].reset();
    Server.Answer(0, CannedHttpServer::Response(200, "OK", "silent"));
    ASSERT_TRUE(RunUntil([&] { return Queue.IdleCount() == 1; }));
    kvtest::RunFor(100);
    EXPECT_EQ(Queue.PendingCount(), 0u);
    EXPECT_EQ(Server.RequestCount(), 4u);
    EXPECT_EQ(Results.size(), 1u);
}

} // namespace
