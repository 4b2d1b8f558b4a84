// The list-of-lists fetcher and the reading of its reply.

#include "symbollists/ListOfLists.h"

#include "support/DebugLog.h"
#include "support/FakeServerRequests.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

const char *const TwoLists = "<?xml version='1.0'?><REPLY><!-- x --><LISTS>"
                             "<L ID='3' NAME='Tech &amp; Co'/><L ID='7'>t</L></LISTS></REPLY>";

TEST(ListReplies, ListsAreReadInOrderBelowTheFirstTopElement)
{
    EXPECT_EQ(ParseListsReply(TwoLists), (TLists { { 3, "Tech & Co" }, { 7, "" } }));
    // Empty, or not directly below the first top element, or repeated: no lists.
    for (const char *body : { "<REPLY><LISTS></LISTS></REPLY>", "<REPLY/>", "",
             "<A><B><LISTS><L ID='1'/></LISTS></B></A>", "<A/><B><LISTS><L ID='1'/></LISTS></B>",
             "<A><LISTS><L ID='1'/></LISTS><LISTS/></A>" })
        EXPECT_TRUE(ParseListsReply(body).empty()) << body;
}

TEST(ListReplies, IdsNotAboveZeroAreSkippedAndTheFirstOfDuplicatesIsKept)
{
    // An id of 0 would also end the host's array early and hide every list after it.
    EXPECT_EQ(ParseListsReply("<R><LISTS><L ID='0' NAME='zero'/><L ID='5' NAME='a'/>"
                              "<L ID='-2'/><L ID='5' NAME='b'/><L ID='9'/></LISTS></R>"),
        (TLists { { 5, "a" }, { 9, "" } }));
}

TEST(ListReplies, BadIdsAndBrokenMarkupAreErrors)
{
    for (const char *body :
        { "<R><LISTS><L NAME='x'/></LISTS></R>", "<R><LISTS><L ID='1x'/></LISTS></R>",
            "<R><LISTS><L ID='99999999999'/></LISTS></R>", "<R><LISTS><L ID='1'/></LISTS></X>",
            "<R><LISTS>", "<R><![CDATA[x]]></R>", "<R><L ID=1/></R>" })
        EXPECT_THROW(ParseListsReply(body), Exception) << body;
}

class ListMasterTest : public ::testing::Test
{
protected:
    kvtest::FakeServerRequests Server;
    TListMaster Master { Server };
};

TEST_F(ListMasterTest, WaitingSubscribersShareOneRequestAndGetTheSameLists)
{
    int calls = 0;
    TListOfListsReal first(Master, [&](const TLists &) { ++calls; });
    TListOfListsReal second(Master, [&](const TLists &) { ++calls; });
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(
        Server.Requests[0].Message, (TMessageToServer { { "command", "get_list_of_lists" } }));

    Server.Answer(0, true, TwoLists);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(first.Lists(), second.Lists());
    EXPECT_EQ(first.Lists().size(), 2u);
    EXPECT_FALSE(first.Waiting() || second.Waiting());
}

TEST_F(ListMasterTest, AReplyFromBeforeAResetIsDiscardedAndFetchedAgain)
{
    int calls = 0;
    TListOfListsReal subscriber(Master, [&](const TLists &) { ++calls; });
    ++Server.Resets;
    Server.Answer(0, true, TwoLists);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(Master.RetryTimerEnabled());

    Master.RetryTimerFired();
    EXPECT_FALSE(Master.RetryTimerEnabled());
    ASSERT_EQ(Server.Requests.size(), 2u);
    Server.Answer(1, true, TwoLists);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(subscriber.Lists().front().ListId, 3);
}

TEST_F(ListMasterTest, RetryDelayGrowsBySecondsUpToTenAndRestartsOnANewRequest)
{
    TListOfListsReal subscriber(Master, nullptr);
    std::vector<int> delays;
    for (size_t i = 0; i < 12; ++i) {
        Server.Answer(i, false);
        delays.push_back(Master.RetryIntervalMs());
        Master.RetryTimerFired();
    }
    EXPECT_EQ(delays,
        (std::vector<int> {
            1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 10000, 10000 }));

    Server.Answer(12, true, "<R><LISTS><L ID='oops'/></LISTS></R>"); // a parse error fails too
    EXPECT_EQ(Master.RetryIntervalMs(), 10000);
    EXPECT_NE(DebugLog::Entries().back().find("ListOfListsUnit, TListMaster.ReceiveData, \"<R>"),
        std::string::npos);

    subscriber.Request(); // while a retry is pending: sent now, count starts over
    ASSERT_EQ(Server.Requests.size(), 14u);
    Server.Answer(13, false);
    EXPECT_EQ(Master.RetryIntervalMs(), 1000);

    // Nobody waits any more: the timer does not fetch.
    Master.RetryTimerFired();
    Server.Answer(14, true, "<R/>");
    Master.RetryTimerFired();
    EXPECT_EQ(Server.Requests.size(), 15u);
}

TEST_F(ListMasterTest, WithoutAUserAnEmptyResultComesFromTheEventLoop)
{
    Server.User.clear();
    int calls = 0;
    TListOfListsReal subscriber(Master, [&](const TLists &lists) {
        ++calls;
        EXPECT_TRUE(lists.empty());
    });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(Master.RetryTimerEnabled());
    EXPECT_EQ(Master.RetryIntervalMs(), 0);
    Master.RetryTimerFired();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(Master.ResultDue());
    EXPECT_TRUE(Server.Requests.empty());
}

TEST_F(ListMasterTest, SubscribersLeavingKeepTheOthersServed)
{
    int calls = 0;
    auto first = std::make_unique<TListOfListsReal>(Master, nullptr);
    TListOfListsReal second(Master, [&](const TLists &) { ++calls; });
    first.reset();
    EXPECT_EQ(Master.SubscriberCount(), 1u);
    Server.Answer(0, true, TwoLists);
    EXPECT_EQ(calls, 1);
}

} // namespace
