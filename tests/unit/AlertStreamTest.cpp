// Window subscriptions and the alert stream: routing, history, backtests, alert parsing.

#include "alerts/AlertLists.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "support/DateTime.h"
#include "support/FakeChannel.h"
#include "support/FakeClock.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::FakeChannel;

namespace {

TSharedDefaults &ServerTimeMode(TSharedDefaults &defaults)
{
    defaults.SetTimeOffset(ServerTimeOffsetMinutes);
    return defaults;
}

struct Received
{
    std::vector<std::pair<TAlertRecords, bool>> Batches;
    void Attach(TAlertWindowConnection &w)
    {
        w.OnAlerts = [this](const TAlertRecords &records, bool history) {
            Batches.emplace_back(records, history);
        };
    }
    size_t NonEmpty() const
    {
        size_t n = 0;
        for (const auto &b : Batches)
            n += !b.first.empty();
        return n;
    }
};

class AlertStream : public ::testing::Test
{
protected:
    AlertStream()
        : Session(Channels.Factory(), Clock, {}, ServerTimeMode(Defaults))
    {
        Session.SetUsername("trader");
    }
    FakeChannel &Link() { return Channels.Current(); }
    size_t Poll() { return static_cast<size_t>(Link().Last("get_alerts")); }
    // A window's part of a poll reply.
    static std::string For(const std::string &id, const std::string &alerts)
    {
        return "<W ID=\"" + id + "\">" + alerts + "</W>";
    }

    kvtest::FakeClock Clock;
    TSharedDefaults Defaults { Clock };
    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
};

TEST_F(AlertStream, LiveAlertsAreRoutedByWindowIdAndUnknownOrDestroyedWindowsWithdrawn)
{
    TAlertWindowConnection a(Session);
    auto b = std::make_unique<TAlertWindowConnection>(Session);
    Received ra, rb;
    ra.Attach(a);
    rb.Attach(*b);
    Session.PollWake();
    std::string lower = b->WindowId();
    for (char &c : lower)
        c = static_cast<char>(std::tolower(c));
    Link().Reply(Poll(),
        "<API><DATA>"
            + For(a.WindowId(),
                "<ALERT SYMBOL=\"AAA\"/><a SYMBOL=\"NOT\"/><ALERT SYMBOL=\"BBB\"/><b/>")
            + For(lower, "<ALERT SYMBOL=\"CCC\"/>") + For("DEADBEEF", "<ALERT SYMBOL=\"ZZZ\"/>")
            + For("DEADBEEF", "") + "</DATA><RESTART LAST_ID=\"99\"/></API>");
    ASSERT_EQ(ra.Batches.size(), 1u);
    EXPECT_EQ(ra.Batches[0].first.size(), 2u);
    EXPECT_FALSE(ra.Batches[0].second);
    ASSERT_EQ(rb.Batches.size(), 1u);
    EXPECT_EQ(rb.Batches[0].first[0].Symbol, "CCC");
    // Only ALERT elements are alerts; an unknown window is withdrawn once.
    EXPECT_EQ(ra.Batches[0].first[1].Symbol, "BBB");
    const int remove = Link().Last("remove_config_info");
    ASSERT_GE(remove, 0);
    EXPECT_EQ(Link().Requests[remove].Value("window_id"), "DEADBEEF");
    EXPECT_EQ(std::count_if(Link().Requests.begin(), Link().Requests.end(),
                  [](const auto &r) { return r.Value("command") == "remove_config_info"; }),
        1);
    EXPECT_EQ(Session.RestartLastId(), "99");
    EXPECT_EQ(a.SkipHistoryState(), 2);

    // A malformed number drops the whole reply.
    Link().Reply(Poll(),
        "<API><DATA>"
            + For(a.WindowId(), "<ALERT SYMBOL=\"X\"/><ALERT SYMBOL=\"Y\" QUALITY=\"1.x\"/>")
            + "</DATA></API>");
    EXPECT_EQ(ra.Batches.size(), 1u);

    const std::string id = b->WindowId();
    b.reset();
    EXPECT_EQ(Link().Requests[Link().Last("remove_config_info")].Value("window_id"), id);
}

TEST_F(AlertStream, AHugePartArrivesInBoundedBatchesThatLeaveTheListAsOneBatchWould)
{
    const size_t n = 2 * AlertBatchLimit + 5;
    std::string alerts;
    for (size_t i = 0; i < n; ++i)
        alerts += "<ALERT SYMBOL=\"S" + std::to_string(i) + "\"/>";
    TAlertWindowConnection a(Session);
    TSortableAlertList list;
    std::vector<std::string> added; // in the order the list adds them
    size_t batches = 0, largest = 0;
    a.OnAlerts = [&](const TAlertRecords &records, bool history) {
        batches += !records.empty();
        largest = std::max(largest, records.size());
        list.AddAlerts(records, history);
        const auto add = [&](const TAlertRecord &r) { added.push_back(r.Symbol); };
        history ? std::for_each(records.begin(), records.end(), add)
                : std::for_each(records.rbegin(), records.rend(), add);
    };
    Session.PollWake();
    const std::string reply = "<API><DATA>" + For(a.WindowId(), alerts) + "</DATA></API>";

    // One malformed alert at the very end: nothing at all is delivered, not even a small part
    // before it.
    Link().Reply(Poll(),
        "<API><DATA>" + For(a.WindowId(), "<ALERT/>")
            + For(a.WindowId(), alerts + "<ALERT QUALITY=\"x\"/>") + "</DATA></API>");
    EXPECT_EQ(batches, 0u);

    Session.PollWake();
    Link().Reply(Poll(), reply);
    EXPECT_EQ(batches, 3u);
    EXPECT_EQ(largest, AlertBatchLimit);
    ASSERT_EQ(added.size(), n);
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(added[i], "S" + std::to_string(n - 1 - i)) << "live: the newest (first) last";
    // The rows are those one batch would leave, and all of them read as the newest batch.
    TSortableAlertList whole;
    whole.AddAlerts(ParseAlerts(*ParseXml(reply)->Child(0)->Child(0)->Child(0)), false);
    ASSERT_EQ(list.Count(), whole.Count());
    TAlertRecord row, wholeRow;
    for (int32_t i = 0; i < list.Count(); ++i) {
        list.GetAlert(i, row);
        whole.GetAlert(i, wholeRow);
        ASSERT_EQ(row.Symbol, wholeRow.Symbol) << i;
        ASSERT_TRUE(list.IsFromLastBatch(i)) << i;
    }

    // History arrives first to last.
    added.clear();
    a.RequestHistoryRange();
    Session.PollWake();
    Link().Reply(static_cast<size_t>(Link().Last("history_listen")),
        "<API><M WINDOW=\"" + a.WindowId() + "\" TYPE=\"alerts\">" + alerts + "</M></API>");
    ASSERT_EQ(added.size(), n);
    EXPECT_EQ(added.front(), "S0");
    EXPECT_EQ(added.back(), "S" + std::to_string(n - 1));

    // A handler that frees its window gets no further batch.
    auto b = std::make_unique<TAlertWindowConnection>(Session);
    batches = 0;
    b->OnAlerts = [&](const TAlertRecords &records, bool) {
        if (!records.empty() && ++batches == 1)
            b.reset();
    };
    Session.PollWake();
    Link().Reply(Poll(), "<API><DATA>" + For(b->WindowId(), alerts) + "</DATA></API>");
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(batches, 1u);
}

TEST_F(AlertStream, TheViewMruIsKeptWithoutTheReplyAroundIt)
{
    TAlertWindowConnection a(Session);
    Session.PollWake();
    std::string alerts;
    for (int i = 0; i < 10000; ++i)
        alerts += "<ALERT SYMBOL=\"S\"/>";
    Link().Reply(Poll(),
        "<API><DATA>" + For(a.WindowId(), alerts)
            + "</DATA><VIEW_MRU LAST=\"3\"><V ID=\"w1\"/><V ID=\"w2\"/></VIEW_MRU></API>");
    const PXmlNode mru = Session.ViewMru();
    ASSERT_NE(mru, nullptr);
    EXPECT_EQ(mru->Name(), "VIEW_MRU");
    EXPECT_EQ(mru->Attribute("LAST"), "3");
    ASSERT_EQ(mru->ChildCount(), 2);
    EXPECT_EQ(mru->Child(1)->Attribute("ID"), "w2");
    EXPECT_EQ(XmlTreeElementCount(*mru), 3u) << "the 10,000 alerts of the reply are not kept";
}

TEST_F(AlertStream, ConfigReplyShortFormRefusalAndUnchangedConfig)
{
    TAlertWindowConnection a(Session);
    int changed = 0;
    a.OnConfigChanged = [&] { ++changed; };
    Session.PollWake();
    const size_t sub = static_cast<size_t>(Link().Last("set_config_info"));
    Link().Reply(sub, "<API><STATUS SHORT_FORM=\"form=1&amp;X=1\" WINDOW_NAME=\"Mine\"/></API>");
    EXPECT_EQ(a.Config(), "form=1&X=1");
    EXPECT_EQ(a.WindowName(), "Mine");
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(a.ConfigSent());
    // Setting the same configuration again sends nothing.
    const int before = Link().Count("set_config_info");
    a.SetConfig(a.Config());
    Session.PollWake();
    EXPECT_EQ(Link().Count("set_config_info"), before);

    a.SetConfig("form=1&bad=1");
    Session.PollWake();
    Link().Reply(static_cast<size_t>(Link().Last("set_config_info")),
        "<API><STATUS KV-ErrorMsg=\"No such filter\" WINDOW_NAME=\"Mine\"/></API>");
    EXPECT_FALSE(a.ConfigSent());
    EXPECT_EQ(a.Config(), "form=1&bad=1") << "a reply without a short form keeps the config";
}

TEST_F(AlertStream, AChangeOrAReleaseInsideTheConfigEventIsSafeAndReachesTheServer)
{
    // The host answers the server's name with a configuration of its own: it is sent.
    TAlertWindowConnection a(Session);
    a.OnConfigChanged = [&] { a.SetConfig("form=1&HOST=1"); };
    Session.PollWake();
    Link().Reply(static_cast<size_t>(Link().Last("set_config_info")),
        "<API><STATUS SHORT_FORM=\"form=1&amp;X=1\" WINDOW_NAME=\"Mine\"/></API>");
    EXPECT_FALSE(a.ConfigSent());
    Session.PollWake();
    const int sent = Link().Last("set_config_info");
    EXPECT_EQ(Link().Requests[static_cast<size_t>(sent)].Value("long_form"), "form=1&HOST=1");

    // A host that frees the window there: nothing of it is touched afterwards (the sanitizer
    // build catches a write).
    auto b = std::make_unique<TAlertWindowConnection>(Session);
    b->OnConfigChanged = [&] { b.reset(); };
    Session.PollWake();
    Link().Reply(static_cast<size_t>(Link().Last("set_config_info")),
        "<API><STATUS SHORT_FORM=\"form=1&amp;Y=1\" WINDOW_NAME=\"Gone\"/></API>");
    EXPECT_EQ(b, nullptr);
}

TEST(AlertRecordTimes, UnixTimeIsDerivedFromTheLocalTimeOnlyWhenMissing)
{
    TAlertRecord alert;
    EXPECT_EQ(AlertUnixTime(alert), 0);
    alert.UnixTime = 1700000000;
    alert.Time = 1; // a record that has both keeps its own Unix time
    EXPECT_EQ(AlertUnixTime(alert), 1700000000);
    alert.UnixTime = 0;
    alert.Time = UtcToLocal(UnixToDateTime(1700000123));
    EXPECT_EQ(AlertUnixTime(alert), 1700000123);
    EXPECT_EQ(alert.UnixTime, 0);
}

TEST_F(AlertStream, HistoryStateDecidesWhatIsDelivered)
{
    TAlertWindowConnection a(Session);
    Received ra;
    ra.Attach(a);
    Session.PollWake();

    a.SetHistoryMaxCount(10);
    a.RequestHistoryRange();
    Session.PollWake();
    const int listen = Link().Last("history_listen");
    ASSERT_GE(listen, 0);
    const int sub = Link().Last("set_config_info");
    EXPECT_EQ(Link().Requests[sub].Value("long_history"), "1");
    EXPECT_EQ(Link().Requests[sub].Value("long_history_max_count"), "10");

    // A live batch while history is requested is dropped.
    Link().Reply(
        Poll(), "<API><DATA>" + For(a.WindowId(), "<ALERT SYMBOL=\"L\"/>") + "</DATA></API>");
    EXPECT_EQ(ra.NonEmpty(), 0u);

    const std::string history = "<API><M WINDOW=\"" + a.WindowId()
        + "\" TYPE=\"alerts\" RESTART=\"h7\"><ALERT SYMBOL=\"H1\"/><ALERT "
          "SYMBOL=\"H2\"/></M></API>";
    const std::string finished
        = "<API><M WINDOW=\"" + a.WindowId() + "\" TYPE=\"finished\"/></API>";
    Link().Reply(static_cast<size_t>(listen), history);
    ASSERT_EQ(ra.NonEmpty(), 1u);
    EXPECT_TRUE(ra.Batches.back().second);
    EXPECT_EQ(a.HistoryMaxCount(), 8);
    EXPECT_EQ(a.HistoryStartId(), "h7");

    Link().Reply(static_cast<size_t>(listen), finished);
    EXPECT_EQ(a.HistoryState(), hsMoreAvailable);
    // After "finished" history batches arrive emptied.
    Link().Reply(static_cast<size_t>(listen), history);
    EXPECT_EQ(ra.NonEmpty(), 1u);

    a.StopHistory(false);
    EXPECT_EQ(a.HistoryState(), hsLive);
    Link().Reply(static_cast<size_t>(listen), history);
    EXPECT_EQ(ra.NonEmpty(), 1u) << "history while live is dropped";

    // "finished" without a restart id: the range is complete.
    a.RequestHistoryRange();
    Session.PollWake();
    Link().Reply(static_cast<size_t>(Link().Last("history_listen")), finished);
    EXPECT_EQ(a.HistoryState(), hsComplete);
}

TEST_F(AlertStream, BacktestIsResentAfterTheListenIsLost)
{
    TAlertWindowConnection a(Session);
    std::vector<TQuorixInfo> progress;
    Session.PollWake();
    a.StartQuorix({ { "command", "quorix_new_request" }, { "window_id", a.WindowId() } },
        [&](const TQuorixInfo &info) { progress.push_back(info); });
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].ProgressText, "Quorix Started");
    EXPECT_EQ(Link().Count("quorix_listen"), 1);

    Link().Lose();
    EXPECT_EQ(a.QuorixInfo().Status, qsResend);
    Session.TimerTick();
    Session.PollWake();
    Link().Reply(Poll(), "<API/>");
    EXPECT_EQ(a.QuorixInfo().Status, qsRunning);
    EXPECT_EQ(Link().Count("quorix_new_request"), 1);
    EXPECT_EQ(Link().Count("quorix_listen"), 1);

    const size_t listen = static_cast<size_t>(Link().Last("quorix_listen"));
    const std::string window = "<Q WINDOW=\"" + a.WindowId() + "\" TYPE=";
    Link().Reply(
        listen, "<API>" + window + "\"progress\">50%</Q>" + window + "\"finished\"/></API>");
    EXPECT_EQ(progress[progress.size() - 2].ProgressText, "50%");
    EXPECT_EQ(a.QuorixInfo().Status, qsFinished);
}

TEST_F(AlertStream, BacktestHandlersMayStartAnotherBacktestOrFreeTheirWindow)
{
    auto a = std::make_unique<TAlertWindowConnection>(Session);
    const TMessageToServer request { { "command", "quorix_new_request" } };
    std::vector<std::string> second;
    a->StartQuorix(request, [&](const TQuorixInfo &info) {
        if (info.Status == qsFinished) // the next run starts from the notification
            a->StartQuorix(
                request, [&](const TQuorixInfo &next) { second.push_back(next.ProgressText); });
    });
    const size_t listen = static_cast<size_t>(Link().Last("quorix_listen"));
    auto messages
        = [&](const std::string &types) { Link().Reply(listen, "<API>" + types + "</API>"); };
    auto q = [&](const std::string &type, const std::string &text = "") {
        return "<Q WINDOW=\"" + a->WindowId() + "\" TYPE=\"" + type + "\">" + text + "</Q>";
    };
    messages(q("finished") + q("progress", "10%"));
    EXPECT_EQ(second, (std::vector<std::string> { "Quorix Started", "10%" }))
        << "the new run keeps its handler";
    EXPECT_EQ(a->QuorixInfo().Status, qsRunning);

    // Handlers that free the window: the library touches nothing of it afterwards.
    std::string debugSeen;
    a->StartQuorix(request, [&](const TQuorixInfo &info) {
        if (info.DebugText.empty())
            return;
        a.reset();
        debugSeen = info.DebugText;
    });
    messages(q("debug", "trace"));
    EXPECT_EQ(debugSeen, "trace");
    ASSERT_EQ(a, nullptr);

    for (const char *how : { "finished", "cancel" }) {
        a = std::make_unique<TAlertWindowConnection>(Session);
        TQuorixStatus seen = qsRunning;
        a->StartQuorix(request, [&](const TQuorixInfo &info) {
            if (info.Status == qsRunning)
                return;
            a.reset();
            seen = info.Status;
        });
        if (std::string(how) == "cancel")
            a->CancelQuorix();
        else
            messages(q("finished"));
        EXPECT_EQ(a, nullptr) << how;
        EXPECT_EQ(seen, std::string(how) == "cancel" ? qsIdle : qsFinished);
    }
}

TEST(AlertParsing, TimeFormsAndMissingFractions)
{
    int32_t unix = -1;
    TDateTime time = -1;
    ParseAlertTime("2026-12-08 09:30:05", unix, time);
    EXPECT_EQ(unix, 0);
    EXPECT_EQ(FormatDateTime("yyyy-MM-dd hh:nn:ss", time), "2026-12-08 09:30:05");

    ParseAlertTime("1765200000", unix, time);
    EXPECT_EQ(unix, 1765200000);
    EXPECT_NEAR(time, UtcToLocal(UnixToDateTime(1765200000)), 1e-9);

    ParseAlertTime("soon", unix, time);
    EXPECT_EQ(unix, 0);
    EXPECT_EQ(time, 0);
    ParseAlertTime("2026-13-08 09:30:05", unix, time);
    EXPECT_EQ(time, 0);

    const PXmlNode root
        = ParseXml("<ALERT SYMBOL=\"X\" QUALITY=\"2.5\" NUM=\"7z\" RELVOL=\"0.25\"/>");
    const TAlertRecord r = ParseAlert(*root->Child(0));
    EXPECT_EQ(r.Quality, 2.5);
    EXPECT_EQ(r.RelVol, 0.25);
    EXPECT_EQ(r.Num, 0) << "a malformed integer reads as 0";
    EXPECT_TRUE(std::isnan(r.DayRange));
    EXPECT_TRUE(std::isnan(r.StdDev));
    EXPECT_TRUE(std::isnan(r.Volatility));
}

} // namespace
