// The alert session over real sockets against kestrova-alertd on 127.0.0.1: live alerts into a
// window's alert list, lost and never-answering connections (and the diagnostics of a lost
// one), logout for good, general info.

#include "alerts/AlertLists.h"
#include "session/GetAlertData.h"
#include "session/SessionDiagnostics.h"
#include "support/AlertServerProcess.h"
#include "support/FaultProxy.h"
#include "support/QtLoop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrova;
using kvtest::AlertServerProcess;
using kvtest::FaultProxy;
using kvtest::RunFor;
using kvtest::RunUntil;

namespace {

const char *const AllAlerts = "O=fffff&WN=Everything";
const char *const HighsAndLows = "form=1&Sh_NH=ON&Sh_NL=ON&WN=Highs";

// One alert window: its subscription and the alert list fed from it.
struct Window
{
    explicit Window(TAllAlertsConnection &session, const std::string &config)
        : Connection(session)
    {
        Connection.SetConfig(config);
        Connection.OnAlerts = [this](const TAlertRecords &records, bool isHistory) {
            if (records.empty())
                return;
            List.AddAlerts(records, isHistory);
            Received += records.size();
        };
    }
    TAlertWindowConnection Connection;
    TSortableAlertList List;
    size_t Received = 0;
};

class SessionLive : public ::testing::Test
{
protected:
    void StartServer(QStringList flags)
    {
        Server = std::make_unique<AlertServerProcess>(flags);
        ASSERT_TRUE(Server->Start()) << Server->Log();
    }
    // A session logged in as "ann" at address (the server's own when empty).
    void StartSession(const std::string &address = {})
    {
        Session = std::make_unique<TAllAlertsConnection>();
        Session->OnStatusMessage
            = [this](int code, const std::string &text) { Status.emplace_back(code, text); };
        Session->SetServerAddress(
            address.empty() ? "127.0.0.1:" + std::to_string(Server->Port()) : address);
        Session->SetUsername("ann");
    }
    bool HasStatus(int code, const std::string &text) const
    {
        return std::find(Status.begin(), Status.end(), std::make_pair(code, text)) != Status.end();
    }

    std::unique_ptr<AlertServerProcess> Server;
    std::unique_ptr<TAllAlertsConnection> Session;
    std::vector<std::pair<int, std::string>> Status;
};

TEST_F(SessionLive, LiveAlertsReachTheWindowsAlertList)
{
    StartServer({ "--rate", "200" });
    StartSession();
    Window window(*Session, HighsAndLows);
    bool configChanged = false;
    window.Connection.OnConfigChanged = [&] { configChanged = true; };
    ASSERT_TRUE(RunUntil([&] { return window.List.Count() >= 10; })) << Server->Log();

    EXPECT_TRUE(window.Connection.ConfigSent());
    EXPECT_TRUE(configChanged);
    EXPECT_EQ(window.Connection.WindowName(), "Highs");
    EXPECT_EQ(Session->LoginState(), lsGood);
    EXPECT_EQ(Session->LinksCreated(), 1u);
    EXPECT_FALSE(Session->RestartKey().empty());
    for (int32_t i = 0; i < window.List.Count(); ++i) {
        TAlertRecord alert;
        window.List.GetAlert(i, alert);
        EXPECT_TRUE(alert.AlertType == "NH" || alert.AlertType == "NL") << alert.AlertType;
        EXPECT_FALSE(alert.Symbol.empty());
        EXPECT_GT(alert.UnixTime, 0);
        EXPECT_GT(alert.Time, 0);
    }
    EXPECT_TRUE(HasStatus(scNetworkSuccess, ""));
}

TEST_F(SessionLive, LiveBatchesComeNewestFirst)
{
    StartServer({ "--rate", "10" });
    RunFor(2500); // the first reply carries the recent alerts of the last seconds
    StartSession();
    Window window(*Session, AllAlerts);
    std::vector<TAlertRecords> batches;
    window.Connection.OnAlerts = [&](const TAlertRecords &records, bool) {
        if (!records.empty())
            batches.push_back(records);
    };
    ASSERT_TRUE(RunUntil([&] { return !batches.empty() && batches[0].size() >= 10; }))
        << Server->Log();
    RunFor(1000);
    for (const auto &batch : batches)
        for (size_t i = 1; i < batch.size(); ++i)
            EXPECT_GE(batch[i - 1].UnixTime, batch[i].UnixTime) << "alert " << i;
    EXPECT_GT(batches[0].front().UnixTime, batches[0].back().UnixTime)
        << "the first batch spans seconds";
}

TEST_F(SessionLive, ConnectionCutMidStreamResubscribesEveryWindow)
{
    StartServer({ "--rate", "200" });
    FaultProxy proxy(Server->Port());
    proxy.SetMode(FaultProxy::Mode::CutAfterBytes, 3000, true);
    StartSession(proxy.Address());
    Window all(*Session, AllAlerts), highs(*Session, HighsAndLows);
    ASSERT_TRUE(RunUntil([&] { return proxy.ConnectionCount() == 1 && proxy.Cut(0); }));
    ASSERT_TRUE(RunUntil([&] { return Session->LinksCreated() == 2; }));
    const size_t allBefore = all.Received, highsBefore = highs.Received;
    ASSERT_TRUE(RunUntil([&] { return all.Received > allBefore && highs.Received > highsBefore; }))
        << "both windows receive alerts on the new link";
    EXPECT_TRUE(all.Connection.ConfigSent());
    EXPECT_TRUE(highs.Connection.ConfigSent());
    EXPECT_EQ(proxy.ConnectionCount(), 2u);
    EXPECT_TRUE(HasStatus(scNetworkFailure, "Unexpected disconnect from server."));

    // The diagnostics tell the same story.
    highs.Connection.AlertsHeld = [&] { return static_cast<size_t>(highs.List.Count()); };
    ASSERT_TRUE(RunUntil([&] { return highs.Connection.SubscriptionConfirmed(); }));
    const QJsonObject d
        = QJsonDocument::fromJson(QByteArray::fromStdString(SessionDiagnosticsJson(*Session, 2)))
              .object();
    EXPECT_EQ(d["link"].toString(), "connected");
    EXPECT_EQ(d["server"].toString().toStdString(), proxy.Address());
    EXPECT_EQ(d["login"].toString(), "good");
    EXPECT_FALSE(d["connected_since"].isNull());
    EXPECT_GE(d["last_message_age_ms"].toInteger(-1), 0);
    EXPECT_GT(d["bytes_in"].toInteger(), 3000);
    EXPECT_EQ(d["bytes_in"].toInteger(), static_cast<qint64>(Session->BytesReceived()));
    EXPECT_GT(d["bytes_out"].toInteger(), 0);
    EXPECT_EQ(d["alerts_received"].toInteger(), static_cast<qint64>(all.Received + highs.Received));
    EXPECT_EQ(d["reconnects"].toInt(), 1);
    const QJsonArray ends = d["recent_disconnects"].toArray();
    ASSERT_EQ(ends.size(), 1);
    EXPECT_EQ(ends[0]["reason"].toString(), "Unexpected disconnect from server.");
    EXPECT_TRUE(ends[0]["time"].toString().endsWith('Z'));
    EXPECT_EQ(d["list_edits_waiting"].toInt(), 2);
    const QJsonArray windows = d["windows"].toArray();
    ASSERT_EQ(windows.size(), 2);
    for (const QJsonValue &w : windows) {
        const bool isHighs = w["id"].toString().toStdString() == highs.Connection.WindowId();
        EXPECT_EQ(w["name"].toString(), isHighs ? "Highs" : "Everything");
        EXPECT_EQ(w["alerts_held"].isNull(), !isHighs);
        if (isHighs) {
            EXPECT_EQ(w["alerts_held"].toInt(), highs.List.Count());
            EXPECT_TRUE(w["subscribed"].toBool());
        }
    }
}

TEST_F(SessionLive, ServerThatNeverAnswersIsRestartedByTheWatchdog)
{
    StartServer({ "--rate", "200" });
    FaultProxy proxy(Server->Port());
    proxy.SetMode(FaultProxy::Mode::Silent, 0, true);
    StartSession(proxy.Address());
    Window window(*Session, AllAlerts);
    ASSERT_TRUE(RunUntil([&] { return proxy.ConnectionCount() == 1 && proxy.ClientBytes(0) > 0; }));
    // The watchdog's ticks, called directly instead of waiting 12.5 s.
    for (int tick = 0; tick < 24; ++tick)
        Session->TimerTick();
    EXPECT_EQ(Session->LinksCreated(), 1u) << "24 ticks without a reply are still tolerated";
    Session->TimerTick();
    ASSERT_TRUE(RunUntil([&] { return Session->LinksCreated() == 2; }));
    ASSERT_TRUE(RunUntil([&] { return window.Received > 0; })) << Server->Log();
    EXPECT_EQ(proxy.ConnectionCount(), 2u);
}

TEST_F(SessionLive, LogoutForGoodStopsTheSessionUntilReset)
{
    StartServer({ "--rate", "200", "--fault", "logout:0.5" });
    StartSession();
    Window window(*Session, AllAlerts);
    ASSERT_TRUE(RunUntil([&] { return Session->DisconnectedForGood(); }));
    EXPECT_TRUE(HasStatus(
        scServerMessage, "Message from server:  This account was logged out by the server."));
    EXPECT_GT(window.Received, 0u);
    RunFor(300); // a poll answered at the moment of the logout may still arrive
    const size_t received = window.Received;
    const uint64_t links = Session->LinksCreated();
    for (int tick = 0; tick < 3; ++tick) { // the ticks and wake-ups, called directly
        Session->TimerTick();
        Session->PollWake();
        Session->ConnectWake();
        RunFor(50);
    }
    EXPECT_EQ(window.Received, received) << "no polling while logged out";
    EXPECT_EQ(Session->LinksCreated(), links);

    Session->Reset();
    EXPECT_FALSE(Session->DisconnectedForGood());
    ASSERT_TRUE(RunUntil([&] { return window.Received > received; })) << "alerts flow again";
    EXPECT_EQ(Session->LinksCreated(), links + 1);
    EXPECT_TRUE(HasStatus(scReset, ""));
}

TEST_F(SessionLive, GeneralInfoReachesTheSessionAndEveryWindow)
{
    StartServer({ "--rate", "0" });
    StartSession();
    Window first(*Session, AllAlerts), second(*Session, HighsAndLows);
    int notified = 0;
    first.Connection.OnGeneralInfo = [&] { ++notified; };
    second.Connection.OnGeneralInfo = [&] { ++notified; };
    ASSERT_TRUE(RunUntil([&] { return Session->GeneralInfo() != nullptr; })) << Server->Log();
    EXPECT_EQ(notified, 2);
    EXPECT_NE(Session->GeneralInfo()->ChildNamed("CHART_TIME"), nullptr);
    EXPECT_GT(Session->ChartRefreshTime(), 0);
}

} // namespace
