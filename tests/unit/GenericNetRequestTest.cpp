// Net requests fetched from the server: download pairs, completion, retries and cancellation.

#include "session/GenericNetRequest.h"

#include "support/DebugLog.h"
#include "support/FakeServerRequests.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::FakeServerRequests;

namespace {

bool LogHas(const std::string &text)
{
    const auto log = DebugLog::Entries();
    return std::any_of(log.begin(), log.end(),
        [&](const std::string &entry) { return entry.find(text) != std::string::npos; });
}

class NetRequestTest : public ::testing::Test
{
protected:
    FakeServerRequests Session;
    THttpQueue Queue { Session };
    TNetRequestRegistry Registry { Session, Queue, false };
    int DoneCount = 0;
    std::string DoneResult;

    std::unique_ptr<TGenericNetRequest> Fetch(const std::string &location)
    {
        return std::make_unique<TGenericNetRequest>(
            location,
            [this](TGenericNetRequest &request) {
                ++DoneCount;
                DoneResult = request.Result();
            },
            Registry);
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            Registry.OnTimerGlobal();
    }
};

TEST(DownloadRequest, SplitsTheLocationAtItsLastSlash)
{
    const auto pairs = [](const std::string &location) {
        const TMessageToServer m = DownloadRequest(location);
        EXPECT_EQ(m.at(0), (TMessageField { "command", "download" }));
        return m.at(1).Value + "|" + m.at(2).Value;
    };
    EXPECT_EQ(pairs("GSM:/Misc/GeneralInfo.xml"), "/Misc/|GeneralInfo.xml");
    EXPECT_EQ(pairs("GSM:/Top.xml"), "/|Top.xml");
    EXPECT_EQ(pairs("GSM:NoSlash.xml"), "NoSlash.xml|");
    EXPECT_EQ(pairs("GSM:/a/b/"), "/a/b/|");
    EXPECT_EQ(pairs("GSM:"), "|");
}

TEST_F(NetRequestTest, ServerDownloadIsRetriedEachTickUntilItSucceedsOrIsDestroyed)
{
    auto request = Fetch("gsm:/Misc/GeneralInfo.xml");
    ASSERT_EQ(Session.Requests.size(), 1u);
    EXPECT_EQ(Session.Value(0, "location"), "/Misc/");
    EXPECT_EQ(Session.Value(0, "file"), "GeneralInfo.xml");
    Session.Answer(0, false);
    EXPECT_TRUE(request->RetryPending());
    Ticks(1);
    ASSERT_EQ(Session.Requests.size(), 2u);
    Session.Answer(1, true, "<INFO/>");
    EXPECT_EQ(DoneCount, 1);
    EXPECT_EQ(DoneResult, "<INFO/>");
    EXPECT_EQ(Registry.Count(), 0u);
    Ticks(5);
    EXPECT_EQ(Session.Requests.size(), 2u);

    // Destroying a request cancels its download and unregisters it.
    request = Fetch("GSM:/a/b.xml");
    request.reset();
    EXPECT_TRUE(Session.Requests.at(2).Cancelled);
    EXPECT_EQ(Registry.Count(), 0u);
    Session.Answer(2, true, "late");
    EXPECT_EQ(DoneCount, 1);
}

TEST_F(NetRequestTest, UnsupportedLocationCompletesEmptyAfterNinetyTicks)
{
    auto request = Fetch("ftp://example/x");
    EXPECT_TRUE(request->Unsupported());
    EXPECT_TRUE(Session.Requests.empty());
    Ticks(89);
    EXPECT_EQ(DoneCount, 0);
    Ticks(1);
    EXPECT_EQ(DoneCount, 1);
    EXPECT_EQ(DoneResult, "");
    EXPECT_EQ(Registry.Count(), 0u);
}

TEST_F(NetRequestTest, OwnerMayFreeRequestsInsideTheDoneHandler)
{
    // Two requests due at the same tick; the first one's handler frees both.
    std::unique_ptr<TGenericNetRequest> first, second;
    const auto freeBoth = [&](TGenericNetRequest &) {
        ++DoneCount;
        first.reset();
        second.reset();
    };
    first = std::make_unique<TGenericNetRequest>("bad:1", freeBoth, Registry);
    second = std::make_unique<TGenericNetRequest>("bad:2", freeBoth, Registry);
    Ticks(90);
    EXPECT_EQ(DoneCount, 1);
    EXPECT_EQ(Registry.Count(), 0u);
}

TEST_F(NetRequestTest, ExceptionsFromTheHandlerAndTheSessionAreReported)
{
    DebugLog::Clear();
    TGenericNetRequest throwing(
        "GSM:/t.xml", [](TGenericNetRequest &) { throw std::runtime_error("owner broke"); },
        Registry);
    Session.Answer(0, true, "x");
    EXPECT_TRUE(LogHas("Message=owner broke, Location=GenericNetRequest, "
                       "TGenericNetRequest.OnServerMessage"));

    struct RefusingSession : FakeServerRequests
    {
        void SendRequest(const TMessageToServer &, TMessageHandle &, TServerResponseEvent) override
        {
            throw std::runtime_error("no link");
        }
    } refusing;
    TNetRequestRegistry registry(refusing, Queue, false);
    TGenericNetRequest failed("GSM:/f.xml", {}, registry);
    EXPECT_TRUE(LogHas("Location=GenericNetRequest, TGenericNetRequest.Create(GSM:/f.xml, ...)"));
    // Marked unsupported but not scheduled: it stays registered until its owner frees it.
    EXPECT_TRUE(failed.Unsupported());
    EXPECT_FALSE(failed.RetryPending());
    EXPECT_EQ(registry.Count(), 1u);
}

} // namespace
