// List controllers and the delete-all: what reaches the server, when, and after which failures.

#include "symbollists/SymbolLists.h"

#include "support/DebugLog.h"
#include "support/FakeServerRequests.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>
#include <set>

using namespace kestrova;

namespace {

class SymbolListsTest : public ::testing::Test
{
protected:
    kvtest::FakeServerRequests Server;
    TSymbolListsHub Hub { Server, false };
};

TEST(SortedStrings, OrderedAndUniqueWithoutRegardToCase)
{
    TSortedStrings list({ "msft", "IBM", "MSFT", "aapl", "ibm" });
    EXPECT_EQ(list.Items(), (std::vector<std::string> { "aapl", "IBM", "msft" }));
    list.Remove("AAPL");
    EXPECT_FALSE(list.Contains("aapl"));
    EXPECT_TRUE(list.Contains("Ibm"));
}

TEST_F(SymbolListsTest, EditsMadeWhileInFlightGoOutMergedInOneRequestAfterTheReply)
{
    TListController &list = Hub.GetListController(5);
    list.SetName("Tech");
    list.AddSymbol("AAA");
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(Server.Requests[0].Message,
        (TMessageToServer {
            { "id", "5" }, { "name", "Tech" }, { "add", "AAA\n" }, { "command", "update_list" } }));

    list.AddSymbol("DDD");
    list.DeleteSymbol("CCC");
    list.AddSymbol("BBB");
    Hub.Tick();
    EXPECT_EQ(Server.Requests.size(), 1u);

    Server.Answer(0, true, "<REPLY/>");
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Requests[1].Message,
        (TMessageToServer { { "id", "5" }, { "name", "Tech" }, { "add", "BBB\nDDD\n" },
            { "delete", "CCC\n" }, { "command", "update_list" } }));
    Server.Answer(1, true, "<REPLY/>");
    EXPECT_FALSE(list.InFlight() || list.Pending() || list.RequestOutstanding());

    // Added then deleted before sending: only the deletion goes out.
    list.AddSymbol("FIRST");
    list.AddSymbol("XYZ");
    list.DeleteSymbol("XYZ");
    Server.Answer(2, true);
    ASSERT_EQ(Server.Requests.size(), 4u);
    for (const TMessageField &f : Server.Requests[3].Message)
        EXPECT_NE(f.Key, "add");
    EXPECT_EQ(Server.Value(3, "delete"), "XYZ\n");
}

TEST_F(SymbolListsTest, FailedUpdateIsResentTwoTicksLaterWithEveryEditMadeMeanwhile)
{
    TListController &list = Hub.GetListController(2);
    list.AddSymbol("AAA");
    list.AddSymbol("BBB");
    list.DeleteSymbol("AAA"); // replayed on the failed request: AAA moves to "delete"
    Server.Answer(0, false);
    EXPECT_EQ(list.RetryDelay(), 2u);

    Hub.Tick();
    EXPECT_EQ(Server.Requests.size(), 1u);
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Value(1, "add"), "BBB\n");
    EXPECT_EQ(Server.Value(1, "delete"), "AAA\n");

    // Ticks while a request is outstanding do not count down a later delay.
    Server.Answer(1, false);
    for (int i = 0; i < 4; ++i)
        Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 3u);
    Hub.Tick();
    Hub.Tick();
    EXPECT_EQ(Server.Requests.size(), 3u);
}

TEST_F(SymbolListsTest, AnUpdateThatKeepsFailingBacksOffToAMinuteAndHoldsBackNoOtherList)
{
    TListController &bad = Hub.GetListController(1);
    TListController &good = Hub.GetListController(2);
    bad.AddSymbol("POISON");
    std::vector<uint32_t> waits;
    for (int failure = 0; failure < 8; ++failure) {
        const size_t badRequest = Server.Requests.size() - 1;
        Server.Answer(badRequest, false);
        waits.push_back(bad.RetryDelay());
        // Meanwhile the other list's edits go out at once and are confirmed.
        good.AddSymbol("S" + std::to_string(failure));
        ASSERT_EQ(Server.Value(Server.Requests.size() - 1, "id"), "2");
        Server.Answer(Server.Requests.size() - 1, true, "<OK/>");
        uint32_t ticks = 0;
        while (Server.Requests.size() == badRequest + 2 && ticks < 100) {
            Hub.Tick();
            ++ticks;
        }
        EXPECT_EQ(ticks, waits.back());
    }
    EXPECT_EQ(waits, (std::vector<uint32_t> { 2, 4, 8, 16, 32, 60, 60, 60 }));
    EXPECT_EQ(Server.Value(Server.Requests.size() - 1, "add"), "POISON\n");

    // A success starts the count afresh.
    Server.Answer(Server.Requests.size() - 1, true, "<OK/>");
    bad.AddSymbol("NEXT");
    Server.Answer(Server.Requests.size() - 1, false);
    EXPECT_EQ(bad.RetryDelay(), 2u);
}

TEST_F(SymbolListsTest, DeletingAListThenAddingReplacesItInsteadOfDeleting)
{
    TListController &list = Hub.GetListController(4);
    list.AddSymbol("FIRST");
    list.DeleteList();
    list.AddSymbol("NEW");
    Server.Answer(0, true);
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Requests[1].Message,
        (TMessageToServer { { "id", "4" }, { "name", "" }, { "delete_all", "1" },
            { "add", "NEW\n" }, { "command", "update_list" } }));

    list.AddSymbol("X");
    list.DeleteList(); // merged over the failed replacement: the deletion wins
    Server.Answer(1, false);
    Hub.Tick();
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 3u);
    EXPECT_EQ(Server.Requests[2].Message,
        (TMessageToServer {
            { "id", "4" }, { "name", "" }, { "delete_list", "1" }, { "command", "update_list" } }));
}

TEST_F(SymbolListsTest, DeleteAllHoldsBackUpdatesAndOnlyLaterEditsAreSent)
{
    TListController &a = Hub.GetListController(1);
    TListController &b = Hub.GetListController(2);
    a.AddSymbol("OLD");
    b.SetName("B");
    b.DeleteSymbol("GONE");
    Server.Answer(1, false); // b waits for its retry with "GONE"

    Hub.DeleteAllLists();
    EXPECT_TRUE(Server.Requests[0].Cancelled);
    ASSERT_EQ(Server.Requests.size(), 3u);
    EXPECT_EQ(Server.Requests[2].Message, (TMessageToServer { { "command", "delete_all_lists" } }));

    a.AddSymbol("NEW");
    for (int i = 0; i < 3; ++i)
        Hub.Tick();
    EXPECT_EQ(Server.Requests.size(), 3u);

    // Failure: retried by the timer, still holding the update back.
    Server.Answer(2, false);
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 4u);
    EXPECT_EQ(Server.Value(3, "command"), "delete_all_lists");

    Server.Answer(3, true, "anything");
    EXPECT_EQ(Server.Requests.size(), 4u);
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 5u);
    EXPECT_EQ(Server.Value(4, "id"), "1");
    EXPECT_EQ(Server.Value(4, "add"), "NEW\n");
    EXPECT_EQ(b.InFlight(), std::nullopt);
}

TEST_F(SymbolListsTest, DeleteAllAskedForWhileOneIsInFlightIsSentAgainAfterIt)
{
    Hub.DeleteAllLists();
    Hub.DeleteAllLists();
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_TRUE(Hub.DeleteAll().Resend());
    Server.Answer(0, true);
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Value(1, "command"), "delete_all_lists");
    Server.Answer(1, true);
    EXPECT_FALSE(Hub.DeleteAll().HoldsBackUpdates());
}

TEST_F(SymbolListsTest, EditsWithoutAUserAreDropped)
{
    Server.User.clear();
    TListController &list = Hub.GetListController(9);
    list.AddSymbol("AAA");
    Hub.DeleteAllLists();
    EXPECT_TRUE(Server.Requests.empty());
    EXPECT_FALSE(list.Pending() || list.InFlight());
    Server.User = "trader";
    Hub.Tick();
    EXPECT_TRUE(Server.Requests.empty());
}

TEST_F(SymbolListsTest, RequestedSymbolsAreReadFromTheReplyAndABadReplyIsRetried)
{
    TListController &list = Hub.GetListController(6);
    list.RequestSymbols();
    EXPECT_EQ(Server.Value(0, "request_list"), "1");
    Server.Answer(0, true, "<<broken");
    EXPECT_EQ(list.RetryDelay(), 2u);
    const auto log = DebugLog::Entries();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(
        log.back().find("Location=SymbolLists, TListController.OnRequestFinished, \"<<broken\""),
        std::string::npos);

    Hub.Tick();
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 2u);
    Server.Answer(1, true,
        "<REPLY><SYMBOLS><S NAME=' msft '/><S NAME='aapl'/><S NAME=' '/>"
        "<S NAME='MSFT'/></SYMBOLS></REPLY>");
    EXPECT_TRUE(list.SymbolsValid());
    EXPECT_EQ(list.Symbols().Items(), (std::vector<std::string> { "AAPL", "MSFT" }));
}

TEST_F(SymbolListsTest, AReplyThatCannotBeParsedAcknowledgesNothing)
{
    // A garbage reply to a plain update: the edit stays and goes out again.
    TListController &list = Hub.GetListController(3);
    list.AddSymbol("AAA");
    Server.Answer(0, true, "</garbage>");
    EXPECT_TRUE(list.InFlight());
    Hub.Tick();
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Value(1, "add"), "AAA\n");
    Server.Answer(1, true, "<REPLY/>");
    EXPECT_FALSE(list.InFlight());

    // A garbage reply to the delete-all: it is resent and holds updates back until confirmed.
    Hub.DeleteAllLists();
    Server.Answer(2, true, "<A></B>");
    EXPECT_TRUE(Hub.DeleteAll().HoldsBackUpdates());
    EXPECT_NE(DebugLog::Entries().back().find("TDeleteAllLists.OnRequestFinished, \"<A></B>\""),
        std::string::npos);
    list.AddSymbol("BBB");
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 4u);
    EXPECT_EQ(Server.Value(3, "command"), "delete_all_lists");
    Server.Answer(3, true, "<REPLY/>");
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 5u);
    EXPECT_EQ(Server.Value(4, "add"), "BBB\n");
}

TEST_F(SymbolListsTest, NothingCountsAsDoneWhileTheLoginIsRefusedAndEditsGoOutAfterIt)
{
    TListController &list = Hub.GetListController(4);
    list.AddSymbol("AAA");
    // Refused before the answer came: an empty answer, as a server that keeps nothing for a
    // refused login may give, acknowledges nothing.
    Server.Refused = true;
    Server.Answer(0, true, "<API/>");
    EXPECT_TRUE(list.InFlight());
    // Made while refused, a delete-all too: kept, and nothing is sent however long it lasts.
    Hub.DeleteAllLists();
    list.AddSymbol("BBB");
    for (int i = 0; i < 100; ++i)
        Hub.Tick();
    EXPECT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(Hub.EditsWaiting(), 2);

    // New credentials: the delete-all goes first, then the later edit. The server's own refusal
    // fails quietly.
    Server.Refused = false;
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Value(1, "command"), "delete_all_lists");
    Server.Answer(1, true, "<API/>");
    Hub.Tick();
    ASSERT_EQ(Server.Requests.size(), 3u);
    EXPECT_EQ(Server.Value(2, "add"), "BBB\n");
    const size_t logged = DebugLog::Entries().size();
    Server.Answer(2, true, "<API><STATUS KV-ErrorMsg='Not logged in.'/></API>");
    EXPECT_TRUE(list.InFlight());
    EXPECT_EQ(DebugLog::Entries().size(), logged);
}

TEST_F(SymbolListsTest, ControllersAreCreatedOnceForPositiveIdsAndCancelTheirRequestsWhenFreed)
{
    EXPECT_THROW(Hub.GetListController(0), EAssertionFailed);
    EXPECT_EQ(&Hub.GetListController(12), &Hub.GetListController(12));
    EXPECT_EQ(Hub.FindListController(13), nullptr);
    {
        TSymbolListsHub other(Server, false);
        other.GetListController(1).AddSymbol("AAA");
        other.DeleteAll().Send();
    }
    EXPECT_TRUE(Server.Requests[0].Cancelled);
    EXPECT_TRUE(Server.Requests[1].Cancelled);
}

TEST(SymbolListsTimers, TheEventLoopDrivesTheTickAndTheListOfListsRetry)
{
    kvtest::FakeServerRequests server;
    TSymbolListsHub hub(server, true);
    TListOfListsReal subscriber(hub.Master(), nullptr);
    hub.DeleteAllLists();
    server.Answer(0, false);
    server.Answer(1, false);
    // The delete-all is resent by the next tick, the fetch after its one-second delay.
    ASSERT_TRUE(kvtest::RunUntil([&] { return server.Requests.size() == 4; }, 3000));
    std::set<std::string> resent { server.Value(2, "command"), server.Value(3, "command") };
    EXPECT_EQ(resent, (std::set<std::string> { "delete_all_lists", "get_list_of_lists" }));
}

} // namespace
