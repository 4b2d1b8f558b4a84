// HTTP fetches through a real HTTP proxy (tinyproxy) that requires basic authentication.

#include "net/HttpClient.h"
#include "session/SimpleHttpRequest.h"
#include "support/CannedHttpServer.h"
#include "support/FakeServerRequests.h"
#include "support/QtLoop.h"
#include "support/TinyproxyFixture.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::CannedHttpServer;

namespace {

class HttpProxyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KV_REQUIRE_TINYPROXY();
        ASSERT_TRUE(Proxy.Start("user", "s3cret")) << Proxy.Error();
    }

    // Fetches url through the proxy with the given credentials; returns the status code.
    int Fetch(const std::string &username, const std::string &password)
    {
        THttpClient client;
        client.Proxy.Host = "127.0.0.1";
        client.Proxy.Port = std::to_string(Proxy.Port());
        client.Proxy.Username = username;
        client.Proxy.Password = password;
        bool done = false;
        Body.clear();
        client.OnDocumentData = [this](const char *data, size_t size) { Body.append(data, size); };
        client.OnRequestDone = [&](int code) {
            done = true;
            Code = code;
        };
        client.Get(Server.Url("/through"));
        EXPECT_TRUE(kvtest::RunUntil([&] { return done; }));
        return client.StatusCode();
    }

    kvtest::TinyproxyFixture Proxy;
    CannedHttpServer Server { [](const std::string &, const std::string &) {
        return std::optional<std::string>(CannedHttpServer::Response(200, "OK", "proxied"));
    } };
    std::string Body;
    int Code = -1;
};

TEST_F(HttpProxyTest, ClientAuthenticatesAndIsRefusedWithoutTheRightCredentials)
{
    EXPECT_EQ(Fetch("user", "s3cret"), 200);
    EXPECT_EQ(Code, 0);
    EXPECT_EQ(Body, "proxied");
    ASSERT_EQ(Server.RequestCount(), 1u);
    EXPECT_EQ(Server.RequestLine(0), "GET /through HTTP/1.1");
    // The proxy consumed the credentials: they never reach the target.
    EXPECT_EQ(Server.Head(0).find("Proxy-Authorization"), std::string::npos);

    EXPECT_EQ(Fetch("user", "wrong"), 401);
    EXPECT_EQ(Fetch("", ""), 407);
    EXPECT_EQ(Server.RequestCount(), 1u);
}

} // namespace
