// The SOCKS handshake, driven with plain bytes.

#include "net/Socks.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

using namespace std::string_literals;

TSocksRequest Socks5(bool authenticate)
{
    TSocksRequest r;
    r.Version = 5;
    r.TargetHost = "alerts.example";
    r.TargetPort = 8888;
    r.UserName = "ann";
    r.Password = "pw";
    r.Authenticate = authenticate;
    return r;
}

// Feeds the proxy's reply one byte at a time; returns the last step.
TSocksStep FeedBytewise(TSocksNegotiation &n, const std::string &bytes)
{
    TSocksStep step = TSocksStep::NeedMore;
    for (char c : bytes)
        step = n.Feed(&c, 1);
    return step;
}

TEST(Socks, Socks4SendsResolvedAddressAndUserId)
{
    TSocksRequest r;
    r.Version = 4;
    r.TargetPort = 0x1F90;
    ASSERT_TRUE(ParseIPv4("10.1.2.3", r.TargetIPv4));
    r.UserName = "bob";
    TSocksNegotiation n(r);
    EXPECT_EQ(n.Start(), "\x04\x01\x1F\x90\x0A\x01\x02\x03"s + "bob" + '\0');
    EXPECT_EQ(FeedBytewise(n, "\x00\x5A\x00\x00\x00\x00\x00\x00"s), TSocksStep::Done);

    TSocksNegotiation refused(r);
    refused.Start();
    EXPECT_EQ(refused.Feed("\x00\x5B\x00\x00\x00\x00\x00\x00"s), TSocksStep::Failed);
    EXPECT_NE(refused.Error().find("SOCKS 4 proxy could not connect"), std::string::npos);
}

TEST(Socks, Socks5WithoutAuthSendsNameAndKeepsTargetBytes)
{
    TSocksNegotiation n(Socks5(false));
    EXPECT_EQ(n.Start(), "\x05\x01\x00"s);
    EXPECT_EQ(FeedBytewise(n, "\x05\x00"s), TSocksStep::NeedMore);
    EXPECT_EQ(n.TakeOutput(), "\x05\x01\x00\x03\x0E"s + "alerts.example" + "\x22\xB8");
    // Reply with a domain-name bound address, followed at once by bytes from the server.
    const std::string reply = "\x05\x00\x00\x03\x04host\x01\x02"s + "DATA";
    EXPECT_EQ(FeedBytewise(n, reply), TSocksStep::Done);
    EXPECT_EQ(n.TakeLeftover(), "DATA");
}

TEST(Socks, Socks5UserNameAndPassword)
{
    TSocksNegotiation n(Socks5(true));
    EXPECT_EQ(n.Start(), "\x05\x02\x00\x02"s);
    n.Feed("\x05\x02"s);
    EXPECT_EQ(n.TakeOutput(), "\x01\x03"s + "ann" + "\x02" + "pw");
    n.Feed("\x01\x00"s);
    EXPECT_EQ(n.TakeOutput().substr(0, 4), "\x05\x01\x00\x03"s);
    EXPECT_EQ(n.Feed("\x05\x00\x00\x01\x7F\x00\x00\x01\x00\x50"s), TSocksStep::Done);

    TSocksNegotiation rejected(Socks5(true));
    rejected.Start();
    rejected.Feed("\x05\x02"s);
    EXPECT_EQ(rejected.Feed("\x01\x01"s), TSocksStep::Failed);
    EXPECT_EQ(rejected.Error(), "SOCKS 5 proxy rejected the user name or password");
}

TEST(Socks, Socks5FailuresAreWordedForTheUser)
{
    struct Case
    {
        bool Authenticate;
        std::string Reply;
        std::string Expected;
    };
    const Case cases[] = {
        { false, "\x05\xFF"s, "SOCKS 5 proxy requires a user name and password" },
        { true, "\x05\xFF"s, "SOCKS 5 proxy accepts none of the offered authentication methods" },
        { false, "\x04\x00"s, "Invalid reply from SOCKS 5 proxy (is it a SOCKS 5 proxy?)" },
        { false, "\x05\x00\x05\x05\x00\x01"s,
            "SOCKS 5 proxy could not connect to the server: connection refused by the server" },
        { false, "\x05\x00\x05\x04\x00\x01"s,
            "SOCKS 5 proxy could not connect to the server: host unreachable" },
    };
    for (const Case &c : cases) {
        TSocksNegotiation n(Socks5(c.Authenticate));
        n.Start();
        EXPECT_EQ(n.Feed(c.Reply), TSocksStep::Failed) << c.Expected;
        EXPECT_EQ(n.Error(), c.Expected);
        EXPECT_EQ(n.TakeLeftover(), "");
    }
}

TEST(Socks, ParsesOnlyDottedIPv4)
{
    uint32_t a = 0;
    EXPECT_TRUE(ParseIPv4("127.0.0.1", a));
    EXPECT_EQ(a, 0x7F000001u);
    for (const char *bad : { "", "1.2.3", "1.2.3.4.", "256.1.1.1", "1.2.3.4x", "host", "1..2.3" })
        EXPECT_FALSE(ParseIPv4(bad, a)) << bad;
}

} // namespace
