// HTTP fetches of net requests ("HTTP://" locations through the process-wide HTTP queue),
// configured from the session's proxy settings: a real HTTP proxy with authentication
// (tinyproxy), a real SOCKS proxy (dante, SOCKS 5 and 4), and a server that never answers.

#include "session/GenericNetRequest.h"
#include "session/GetAlertData.h"
#include "support/CannedHttpServer.h"
#include "support/DanteProxy.h"
#include "support/FaultProxy.h"
#include "support/QtLoop.h"
#include "support/TinyproxyFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrova;
using kvtest::CannedHttpServer;
using kvtest::RunUntil;

namespace {

class SessionHttp : public ::testing::Test
{
protected:
    SessionHttp()
    {
        Session.OnStatusMessage
            = [this](int code, const std::string &text) { Status.emplace_back(code, text); };
        Session.SetSocksProxy("", 0, 1080, "", ""); // no SOCKS hop unless a test sets one
    }
    ~SessionHttp() override { FreeNetRequests(); }

    // Fetches path from the canned server with an upper-case "HTTP://" location. Empty when
    // the fetch failed (its retry is not awaited).
    std::string Fetch(const std::string &path)
    {
        const size_t reports = Status.size();
        const std::string location = "HTTP://127.0.0.1:" + std::to_string(Target.Port()) + path;
        std::string result;
        bool done = false;
        auto request = std::make_unique<TGenericNetRequest>(location, [&](TGenericNetRequest &r) {
            result = r.Result();
            done = true;
        });
        RunUntil([&] { return done || Status.size() > reports; });
        return result;
    }
    bool HasStatus(int code, const std::string &text) const
    {
        return std::find(Status.begin(), Status.end(), std::make_pair(code, text)) != Status.end();
    }

    TAllAlertsConnection Session;
    std::vector<std::pair<int, std::string>> Status;
    CannedHttpServer Target { [](const std::string &line, const std::string &) {
        return std::optional<std::string>(CannedHttpServer::Response(
            200, "OK", "body of " + line.substr(4, line.find(' ', 4) - 4)));
    } };
};

TEST_F(SessionHttp, GetThroughAnAuthenticatingHttpProxy)
{
    KV_REQUIRE_TINYPROXY();
    kvtest::TinyproxyFixture proxy;
    ASSERT_TRUE(proxy.Start("user", "s3cret")) << proxy.Error();
    Session.SetHttpProxy("user", "s3cret", "127.0.0.1", proxy.Port());
    EXPECT_EQ(Fetch("/doc.xml"), "body of /doc.xml");
    EXPECT_EQ(Target.RequestCount(), 1u);
    EXPECT_TRUE(HasStatus(scNetworkSuccess, ""));

    // A wrong password: the proxy refuses, nothing reaches the target, and the failure is
    // reported with the proxy's reason.
    Status.clear();
    Session.SetHttpProxy("user", "wrong", "127.0.0.1", proxy.Port());
    EXPECT_EQ(Fetch("/doc.xml"), "");
    EXPECT_EQ(Target.RequestCount(), 1u);
    ASSERT_FALSE(Status.empty());
    EXPECT_EQ(Status.back().first, scNetworkFailure);
    EXPECT_NE(Status.back().second.find("(HTTP)"), std::string::npos) << Status.back().second;
}

TEST_F(SessionHttp, GetThroughSocks5AndSocks4)
{
    if (!kvtest::DanteProxy::Available())
        GTEST_SKIP() << "dante-server is not installed";
    kvtest::DanteProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Error();
    Session.SetSocksProxy("127.0.0.1", 5, proxy.Port(), "", "");
    EXPECT_EQ(Fetch("/five"), "body of /five");
    Session.SetSocksProxy("127.0.0.1", 4, proxy.Port(), "", "");
    EXPECT_EQ(Fetch("/four"), "body of /four");
    EXPECT_EQ(Target.RequestCount(), 2u);

    // The proxy is really on the path: with it stopped the fetch fails.
    proxy.Stop();
    Status.clear();
    EXPECT_EQ(Fetch("/gone"), "");
    EXPECT_EQ(Target.RequestCount(), 2u);
    ASSERT_FALSE(Status.empty());
    EXPECT_EQ(Status.back().first, scNetworkFailure);
}

TEST_F(SessionHttp, ServerThatNeverAnswersTimesOut)
{
    kvtest::FaultProxy silent(Target.Port());
    silent.SetMode(kvtest::FaultProxy::Mode::Silent);
    bool done = false;
    TGenericNetRequest request(
        "HTTP://" + silent.Address() + "/slow", [&](TGenericNetRequest &) { done = true; });
    ASSERT_TRUE(RunUntil([&] { return !Status.empty(); }, 3000)); // the limit is 1000 ms
    EXPECT_EQ(Status.back(), std::make_pair(int(scNetworkFailure), std::string("HTTP timed out")));
    EXPECT_FALSE(done);
    EXPECT_TRUE(request.RetryPending());
    EXPECT_EQ(request.RetryTicks(), 90);
    EXPECT_EQ(silent.ConnectionCount(), 1u);
    EXPECT_EQ(Target.RequestCount(), 0u);
}

} // namespace
