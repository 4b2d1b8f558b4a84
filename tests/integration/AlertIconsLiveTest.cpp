// The icon cache against kestrova-alertd on 127.0.0.1: an icon arrives and its viewer is told; a
// picture that is not a GIF is unavailable for good; failing downloads are throttled.

#include "icons/AlertIcons.h"
#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrova;
using kvtest::AlertServerProcess;
using kvtest::RunFor;
using kvtest::RunUntil;

namespace {

// The session as the cache sees it, counting the downloads that pass.
class CountingSession : public IServerRequests
{
public:
    explicit CountingSession(IServerRequests &inner)
        : FInner(inner)
    {
    }
    void SendRequest(const TMessageToServer &message, TMessageHandle &handle,
        TServerResponseEvent onReply) override
    {
        Downloads
            += std::count(message.begin(), message.end(), TMessageField { "command", "download" });
        FInner.SendRequest(message, handle, std::move(onReply));
    }
    void CancelRequest(const TMessageHandle &handle) override { FInner.CancelRequest(handle); }
    std::string Username() const override { return FInner.Username(); }
    bool LoginRefused() const override { return FInner.LoginRefused(); }
    uint64_t ResetCount() const override { return FInner.ResetCount(); }
    TConnectionSettings ConnectionSettings() const override { return FInner.ConnectionSettings(); }
    void ReportNetworkActivity(bool success, const std::string &text) override
    {
        FInner.ReportNetworkActivity(success, text);
    }

    size_t Downloads = 0;

private:
    IServerRequests &FInner;
};

class Viewer : public QWidget
{
public:
    int Paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++Paints; }
};

class AlertIconsLive : public ::testing::Test
{
protected:
    void Start(QStringList flags)
    {
        Server = std::make_unique<AlertServerProcess>(flags);
        ASSERT_TRUE(Server->Start()) << Server->Log();
        Session = std::make_unique<TAllAlertsConnection>();
        Session->SetServerAddress("127.0.0.1:" + std::to_string(Server->Port()));
        Session->SetUsername("ann");
        Counting = std::make_unique<CountingSession>(*Session);
        Cache = std::make_unique<TIconCache>(*Counting, 200);
    }
    TIconStatus Status(const std::string &type) const
    {
        const TIconInfo *info = Cache->Find(type + ".gif", ikAlert);
        return info ? info->Status : isNotRequested;
    }
    void TearDown() override
    {
        Cache.reset();
        Session.reset();
    }

    std::unique_ptr<AlertServerProcess> Server;
    std::unique_ptr<TAllAlertsConnection> Session;
    std::unique_ptr<CountingSession> Counting;
    std::unique_ptr<TIconCache> Cache;
};

TEST_F(AlertIconsLive, AnAlertIconArrivesAndItsViewerIsRepainted)
{
    Start({});
    Viewer viewer;
    viewer.show();
    Cache->RegisterIconViewer(&viewer);
    ASSERT_TRUE(RunUntil([&] { return viewer.Paints > 0; }));
    const int paints = viewer.Paints;

    EXPECT_EQ(Cache->GetAlertIcon("NH", false).Status, isNotRequested);
    ASSERT_TRUE(RunUntil([&] { return Status("NH") == isLoaded; })) << Server->Log();
    EXPECT_TRUE(RunUntil([&] { return viewer.Paints > paints; }));
    const TIconLookup icon = Cache->GetAlertIcon("NH", false);
    ASSERT_NE(icon.Picture, nullptr);
    EXPECT_EQ(icon.Picture->size(), QSize(40, 20));
    EXPECT_NE(icon.Picture->pixel(20, 15), qRgb(255, 255, 255)) << "the icon's coloured ground";
    EXPECT_EQ(Counting->Downloads, 1u);
}

TEST_F(AlertIconsLive, APictureThatIsNotAGifIsUnavailableAndNotAskedForAgain)
{
    Start({ "--fault", "bad-gif" });
    Cache->GetAlertIcon("NL", false);
    ASSERT_TRUE(RunUntil([&] { return Status("NL") == isUnavailable; })) << Server->Log();
    RunFor(700); // several pumps
    EXPECT_EQ(Cache->GetAlertIcon("NL", false).Status, isUnavailable);
    EXPECT_EQ(Counting->Downloads, 1u);
    EXPECT_NE(Server->Log().find("fault bad-gif fired"), std::string::npos);
}

TEST_F(AlertIconsLive, FailingDownloadsAreRetriedOneAtATime)
{
    Start({ "--fault", "download-fail" });
    const std::string types[] = { "NH", "NL", "GU", "GD", "RU" };
    for (const auto &type : types)
        Cache->GetAlertIcon(type, false);
    ASSERT_TRUE(RunUntil([&] {
        return Server->Log().find("fault download-fail fired") != std::string::npos
            && Cache->Dispatch().InFlight() == 0;
    })) << Server->Log();
    const size_t afterFailure = Counting->Downloads;

    size_t mostInFlight = 0;
    RunUntil(
        [&] {
            mostInFlight = std::max(mostInFlight, Cache->Dispatch().InFlight());
            return false;
        },
        1500);
    EXPECT_LE(mostInFlight, 1u) << "one request per pump while the server is not good";
    EXPECT_GE(Counting->Downloads, afterFailure + 2) << "retried by the pump";
    EXPECT_FALSE(Cache->Dispatch().ServerGood());
    for (const auto &type : types)
        EXPECT_NE(Status(type), isLoaded) << type;
}

} // namespace
