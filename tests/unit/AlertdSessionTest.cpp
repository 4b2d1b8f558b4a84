// One server connection driven with plain bytes and a settable clock.

#include "AlertdSession.h"

#include "History.h"
#include "ServerState.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"
#include "support/RawServerClient.h"
#include "xml/XmlNodes.h"

#include <gtest/gtest.h>

using namespace kestrova;
using namespace kestrova::alertd;
using kvtest::XmlAttribute;

namespace {

constexpr int64_t Start = 1700000000000;

// A server state with a settable clock and an in-memory list store, and a client end that
// compresses requests and decodes the session's frames.
class AlertdSessionTest : public ::testing::Test
{
protected:
    AlertdSessionTest()
    {
        Configure([](TServerOptions &) {});
    }
    // A fresh server state: 100 alerts/s, 1 s heartbeat, 20 symbols, then the test's changes.
    void Configure(const std::function<void(TServerOptions &)> &change)
    {
        TServerOptions o;
        o.Rate = 100;
        o.HeartbeatMs = 1000;
        o.SymbolCount = 20;
        change(o);
        State = std::make_unique<TServerState>(
            o, [this] { return Now; }, std::make_unique<TSymbolListStore>(":memory:"));
    }
    TAlertdSession &Open()
    {
        Sessions.push_back(std::make_unique<TAlertdSession>(*State, 1));
        Deflate = std::make_unique<TZLibCompressor>();
        Inflate = std::make_unique<TZLibDecompressor>();
        Frames = TFrameReader();
        Sessions.back()->Receive(ClientPreamble);
        return *Sessions.back();
    }
    int32_t Send(const TMessageToServer &message)
    {
        const int32_t id = NextId++;
        Deflate->Write(EncodeRequest(message, id));
        Deflate->Flush();
        Sessions.back()->Receive(Deflate->Output());
        Deflate->Output().clear();
        return id;
    }
    // Frames the session produced since the last call.
    std::vector<std::pair<int32_t, std::string>> Take()
    {
        Inflate->Feed(Sessions.back()->TakeOutput());
        Frames.Append(Inflate->Output());
        Inflate->Output().clear();
        std::vector<std::pair<int32_t, std::string>> out;
        int32_t id;
        std::string body;
        while (Frames.Next(id, body))
            out.emplace_back(id, body);
        return out;
    }
    void Advance(int64_t ms)
    {
        Now += ms;
        State->AdvanceMarket();
        Sessions.back()->OnMarketAlerts();
        Sessions.back()->Tick();
    }
    // The market runs for that many seconds, 100 alerts a second.
    void RunMarket(int seconds)
    {
        for (int i = 0; i < seconds; ++i) {
            Now += 1000;
            State->AdvanceMarket();
        }
    }
    struct THistory
    {
        std::vector<std::pair<int64_t, int64_t>> Alerts; // id and Unix time, as received
        size_t Messages = 0;
        std::string Restart; // of the last message
        bool Finished = false;
    };
    // One history request of window "H" on the logged-in session, answered at once.
    THistory History(const std::string &startTime, const std::string &endTime, int maxCount,
        const std::string &startId = "")
    {
        const int32_t listen = Send({ { "command", "history_listen" } });
        Send({ { "command", "set_config_info" }, { "window_id", "H" }, { "long_form", "O=fffff" },
            { "long_history", "1" }, { "long_history_max_count", std::to_string(maxCount) },
            { "long_history_start_id", startId }, { "long_history_start_time", startTime },
            { "long_history_end_time", endTime } });
        THistory history;
        for (const auto &[id, body] : Take()) {
            if (id != listen)
                continue;
            const PXmlNode message = ParseXml(body)->Child(0)->Child(0);
            if (message->Attribute("TYPE") == "finished") {
                history.Finished = true;
                continue;
            }
            ++history.Messages;
            history.Restart = std::string(message->Attribute("RESTART"));
            for (int i = 0; i < message->ChildCount(); ++i)
                history.Alerts.emplace_back(
                    std::stoll(std::string(message->Child(i)->Attribute("ID"))),
                    std::stoll(std::string(message->Child(i)->Attribute("TIME"))));
        }
        return history;
    }
    static int Count(const std::string &text, const std::string &what)
    {
        int n = 0;
        for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size())
            ++n;
        return n;
    }

    int64_t Now = Start;
    std::unique_ptr<TServerState> State;
    std::vector<std::unique_ptr<TAlertdSession>> Sessions;
    std::unique_ptr<TZLibCompressor> Deflate;
    std::unique_ptr<TZLibDecompressor> Inflate;
    TFrameReader Frames;
    int32_t NextId = 1;
};

TEST_F(AlertdSessionTest, LoginReportsAccountRestartAndTimeInTheAskedForm)
{
    Open();
    Send({ { "command", "set_time_format" }, { "format", "1" } });
    const int32_t login
        = Send({ { "command", "login" }, { "username", "ann" }, { "password", "x" } });
    const auto frames = Take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].first, login);
    const std::string &body = frames[1].second;
    EXPECT_EQ(XmlAttribute(body, "ACCOUNT_STATUS", "STATE"), "good");
    EXPECT_EQ(XmlAttribute(body, "RESTART", "SEQUENCE"), "1");
    EXPECT_EQ(XmlAttribute(body, "RESTART", "KEY").size(), 16u);
    EXPECT_EQ(XmlAttribute(body, "TIME", "SECONDS"), LocalTimeText(Start / 1000));
    EXPECT_EQ(XmlAttribute(body, "TIME", "MILLISECONDS"), "0");
}

TEST_F(AlertdSessionTest, LongPollWaitsForAlertsOrTheHeartbeat)
{
    TAlertdSession &session = Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    const int32_t config = Send({ { "command", "set_config_info" }, { "window_id", "0000000A" },
        { "long_form", "O=fffff&WN=All" }, { "skip_history", "1" } });
    auto frames = Take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].first, config);
    EXPECT_EQ(XmlAttribute(frames[1].second, "STATUS", "WINDOW_NAME"), "All");
    EXPECT_EQ(
        XmlAttribute(frames[1].second, "STATUS", "SHORT_FORM").rfind("form=1&Sh_NH=ON", 0), 0u);

    // Nothing new yet: the poll stays open until the heartbeat is due.
    int32_t poll = Send({ { "command", "get_alerts" } });
    EXPECT_TRUE(Take().empty());
    Now += 999;
    session.Tick();
    EXPECT_TRUE(Take().empty());
    Now += 1;
    session.Tick();
    frames = Take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, poll);
    EXPECT_EQ(frames[0].second.find("<DATA>"), std::string::npos);
    EXPECT_FALSE(session.PollOutstanding());

    // Alerts answer the next poll at once (the market caught up on 1.1 s at 100 alerts/s);
    // LAST_ID is the newest alert seen.
    poll = Send({ { "command", "get_alerts" } });
    Advance(100);
    frames = Take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Count(frames[0].second, "<ALERT "), 110);
    EXPECT_EQ(XmlAttribute(frames[0].second, "WINDOW", "ID"), "0000000A");
    EXPECT_EQ(XmlAttribute(frames[0].second, "RESTART", "LAST_ID"),
        std::to_string(State->Log().LastId()));

    // A withdrawn window gets nothing more: the next poll waits for the heartbeat.
    Send({ { "command", "remove_config_info" }, { "window_id", "0000000A" } });
    EXPECT_EQ(session.WindowCount(), 0u);
    Take();
    Send({ { "command", "get_alerts" } });
    Advance(100);
    EXPECT_TRUE(Take().empty());
}

TEST_F(AlertdSessionTest, ResumeContinuesAfterTheLastIdWithNothingLost)
{
    Open();
    const int32_t login = Send({ { "command", "login" }, { "username", "ann" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" } });
    const auto first = Take();
    const std::string key = XmlAttribute(first[0].second, "RESTART", "KEY");
    ASSERT_EQ(first[0].first, login);
    Send({ { "command", "get_alerts" } });
    Advance(100);
    const auto delivered = Take();
    ASSERT_EQ(delivered.size(), 1u);
    const std::string lastId = XmlAttribute(delivered[0].second, "RESTART", "LAST_ID");

    // The link drops; alerts keep coming; a new connection resumes.
    Sessions.back().reset();
    Now += 500;
    State->AdvanceMarket();
    Open();
    Send({ { "command", "login" }, { "username", "ann" }, { "restart_after", lastId },
        { "restart_key", key }, { "sequence", "1" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" },
        { "skip_history", "1" } });
    Send({ { "command", "get_alerts" } });
    const auto resumed = Take();
    ASSERT_EQ(resumed.size(), 3u);
    EXPECT_EQ(XmlAttribute(resumed[0].second, "RESTART", "SEQUENCE"), "2");
    EXPECT_EQ(Count(resumed[2].second, "<ALERT "), 50);
    // Newest first: the 50 alerts after lastId.
    EXPECT_EQ(
        XmlAttribute(resumed[2].second, "ALERT", "ID"), std::to_string(std::stoll(lastId) + 50));

    // A key from elsewhere starts at the newest alert instead.
    Open();
    Send({ { "command", "login" }, { "username", "ann" }, { "restart_after", "1" },
        { "restart_key", "0123" } });
    EXPECT_EQ(XmlAttribute(Take()[0].second, "RESTART", "LAST_ID"),
        std::to_string(State->Log().LastId()));
}

TEST_F(AlertdSessionTest, SkipHistoryZeroSendsRecentAlertsAtOnce)
{
    Now += 1000;
    State->AdvanceMarket(); // 100 alerts before the window exists
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" },
        { "skip_history", "0" } });
    Send({ { "command", "get_alerts" } });
    const auto frames = Take();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Count(frames[2].second, "<ALERT "), 20);
}

TEST_F(AlertdSessionTest, RefusesConfigurationsItCannotUseAndKeepsTheClientText)
{
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "rubbish" } });
    const auto frames = Take();
    EXPECT_EQ(XmlAttribute(frames[1].second, "STATUS", "SHORT_FORM"), "rubbish");
    EXPECT_NE(XmlAttribute(frames[1].second, "STATUS", "KV-ErrorMsg"), "");
    EXPECT_EQ(Sessions.back()->WindowCount(), 0u);
}

TEST_F(AlertdSessionTest, GarbageClosesTheConnection)
{
    TAlertdSession &badPreamble = Open();
    badPreamble.Receive("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(badPreamble.WantsClose());

    TAlertdSession &badZlib = Open();
    badZlib.Receive(std::string(64, '\xFF'));
    EXPECT_TRUE(badZlib.WantsClose());
    EXPECT_NE(badZlib.CloseReason().find("invalid data"), std::string::npos);

    // One string announced far longer than any request may be.
    TAlertdSession &huge = Open();
    std::string request;
    AppendLittleEndian32(request, 0x7FFFFFFF);
    Deflate->Write(request);
    Deflate->Flush();
    huge.Receive(Deflate->Output());
    EXPECT_TRUE(huge.WantsClose());
}

TEST_F(AlertdSessionTest, SymbolListsDriveOnlyListWindows)
{
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    const std::string symbol = State->Market().SymbolName(5);
    const int32_t update = Send({ { "command", "update_list" }, { "id", "3" }, { "name", "Mine" },
        { "add", symbol + "\n" }, { "request_list", "1" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" },
        { "long_form", "O=fffff&EntireUniverse=&3=ON" } });
    const int32_t lists = Send({ { "command", "get_list_of_lists" } });
    auto frames = Take();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].first, update);
    EXPECT_EQ(XmlAttribute(frames[1].second, "SYMBOL ", "NAME"), symbol);
    EXPECT_EQ(frames[3].first, lists);
    EXPECT_EQ(XmlAttribute(frames[3].second, "LIST ", "NAME"), "Mine");
    Send({ { "command", "get_alerts" } });
    Advance(5000);
    frames = Take();
    ASSERT_FALSE(frames.empty());
    const std::string &body = frames[0].second;
    EXPECT_GT(Count(body, "<ALERT "), 0);
    EXPECT_EQ(Count(body, "<ALERT "), Count(body, "SYMBOL=\"" + symbol + "\""));
}

TEST_F(AlertdSessionTest, ResumeTakesWhatTheLogAndTheAccountBufferStillHold)
{
    Configure([](TServerOptions &o) {
        o.BufferSize = 30;
        o.AccountBuffer = 50;
    });
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" } });
    const std::string key = XmlAttribute(Take()[0].second, "RESTART", "KEY");
    Send({ { "command", "get_alerts" } });
    Advance(100);
    ASSERT_EQ(XmlAttribute(Take()[0].second, "RESTART", "LAST_ID"), "10");

    Sessions.back().reset(); // the link drops: the account's window is parked
    Now += 1000;
    State->AdvanceMarket(); // alerts 11..110; the shared log keeps 81..110, the account 61..110
    EXPECT_EQ(State->Log().FirstId(), 81);
    Open();
    Send({ { "command", "login" }, { "username", "ann" }, { "restart_after", "10" },
        { "restart_key", key } });
    EXPECT_EQ(XmlAttribute(Take()[0].second, "RESTART", "LAST_ID"), "10");
    Send({ { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", "O=fffff" },
        { "skip_history", "1" } });
    Send({ { "command", "get_alerts" } });
    const auto frames = Take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Count(frames[1].second, "<ALERT "), 50);
    EXPECT_EQ(XmlAttribute(frames[1].second, "ALERT", "ID"), "110"); // 61..110, newest first
    EXPECT_EQ(XmlAttribute(frames[1].second, "RESTART", "LAST_ID"), "110");
}

TEST_F(AlertdSessionTest, TimedFaultsFireOnTheClock)
{
    Configure([](TServerOptions &o) {
        std::string error;
        for (const char *f : { "silent:5", "logout:2", "restart-every:1" })
            o.Faults.push_back(*ParseFault(f, error));
    });
    TAlertdSession &session = Open();
    const int32_t login = Send({ { "command", "login" }, { "username", "ann" } });
    Take();
    Now += 1000;
    session.Tick();
    auto frames = Take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0],
        std::make_pair(login, std::string("<API><STATUS GRACEFUL_RESTART=\"1\"/></API>")));
    Now += 1000;
    session.Tick();
    frames = Take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(XmlAttribute(frames[0].second, "STATUS", "DISCONNECT_FOR_GOOD"), "1");
    Now += 3000;
    session.Tick();
    Take();
    Send({ { "command", "ping" } });
    Send({ { "command", "get_alerts" } });
    Now += 1000;
    session.Tick();
    frames = Take();
    ASSERT_EQ(frames.size(), 1u) << "only the periodic restart; silent after 5 s";
}

TEST_F(AlertdSessionTest, HistoryReadsBackFromItsNewestBoundToItsOldest)
{
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Take();
    RunMarket(100);
    const int64_t t0 = Start / 1000;
    auto logged = [&](int64_t oldest, int64_t newest) {
        size_t n = 0;
        for (int64_t id = State->Log().FirstId(); id <= State->Log().LastId(); ++id)
            n += State->Log().Find(id)->UnixTime >= oldest
                && State->Log().Find(id)->UnixTime <= newest;
        return n;
    };

    // From now back to 40 s ago: the newest alert first, nothing older than the bound.
    THistory recent = History("0", std::to_string(t0 + 60), 20000);
    ASSERT_TRUE(recent.Finished);
    ASSERT_FALSE(recent.Alerts.empty());
    EXPECT_EQ(recent.Alerts.front().first, State->Log().LastId());
    EXPECT_EQ(recent.Alerts.size(), logged(t0 + 60, t0 + 100));
    for (const auto &[id, time] : recent.Alerts)
        ASSERT_GE(time, t0 + 60) << id;
    EXPECT_EQ(recent.Restart, "") << "the range is exhausted";

    // A chosen newest bound: from 50 s after the start back to 20 s after it.
    THistory window = History(std::to_string(t0 + 50), std::to_string(t0 + 20), 20000);
    EXPECT_EQ(window.Alerts.size(), logged(t0 + 20, t0 + 50));
    ASSERT_FALSE(window.Alerts.empty());
    EXPECT_EQ(window.Alerts.front().second, t0 + 50);
    EXPECT_EQ(window.Alerts.back().second, t0 + 20);
}

TEST_F(AlertdSessionTest, HistoryCountCapsTheWholeRequestAndTheNextContinuesAfterIt)
{
    Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Take();
    RunMarket(30);
    const THistory first = History("0", "0", 1200);
    EXPECT_EQ(first.Alerts.size(), 1200u);
    EXPECT_EQ(first.Messages, 3u);
    ASSERT_FALSE(first.Restart.empty());
    const THistory second = History("0", "0", 1200, first.Restart);
    ASSERT_EQ(second.Alerts.size(), 1200u);
    // One unbroken run of ids, newest first, across both requests.
    EXPECT_EQ(first.Alerts.front().first, State->Log().LastId());
    EXPECT_EQ(second.Alerts.front().first, first.Alerts.back().first - 1);
    EXPECT_EQ(second.Alerts.back().first, State->Log().LastId() - 2399);
}

TEST_F(AlertdSessionTest, ConnectionsThatNeverLogInOrNeverFinishARequestAreClosed)
{
    Sessions.push_back(std::make_unique<TAlertdSession>(*State, 1));
    TAlertdSession &silent = *Sessions.back();
    Now += LoginTimeoutMs - 1;
    silent.Tick();
    EXPECT_FALSE(silent.WantsClose());
    Now += 1;
    silent.Tick();
    EXPECT_TRUE(silent.WantsClose());
    EXPECT_NE(silent.CloseReason().find("no login"), std::string::npos) << silent.CloseReason();

    // A busy client whose reads end inside requests: each answered request restarts the clock.
    TAlertdSession &slow = Open();
    Send({ { "command", "login" }, { "username", "ann" } });
    Take();
    Now += 60000;
    slow.Tick();
    EXPECT_FALSE(slow.WantsClose()) << "an idle logged-in connection stays";
    const std::string ping = EncodeRequest({ { "command", "ping" } }, 7);
    std::string stream;
    for (int i = 0; i < 4; ++i)
        stream += ping;
    auto feed = [&](size_t from, size_t to) {
        Deflate->Write(stream.substr(from, to - from));
        Deflate->Flush();
        slow.Receive(Deflate->Output());
        Deflate->Output().clear();
    };
    for (size_t from = 0, to; from < stream.size(); from = to) {
        to = std::min((from / ping.size() + 1) * ping.size() + 3, stream.size());
        feed(from, to);
        Now += UnfinishedRequestTimeoutMs - 1;
        slow.Tick();
    }
    EXPECT_EQ(Take().size(), 4u);
    EXPECT_FALSE(slow.WantsClose());
    EXPECT_EQ(slow.BufferedBytes(), 0u);

    // A request that trickles in a byte at a time: the clock runs from its first byte.
    for (size_t sent = 1; sent < 4; ++sent) {
        feed(sent - 1, sent);
        EXPECT_EQ(slow.BufferedBytes(), sent);
        Now += UnfinishedRequestTimeoutMs / 3;
        slow.Tick();
    }
    EXPECT_TRUE(slow.WantsClose());
    EXPECT_NE(slow.CloseReason().find("unfinished request"), std::string::npos)
        << slow.CloseReason();
}

} // namespace
