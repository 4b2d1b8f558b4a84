// The alert grid's pictures against kestrova-alertd on 127.0.0.1: an alert's icon is drawn in
// its cell once the download arrives; a picture that cannot be decoded leaves the cell without
// it, asked for once.

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "icons/AlertIcons.h"
#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace kestrova;
using kvtest::RunFor;
using kvtest::RunUntil;

namespace {

const QColor Up(0x1E, 0x8C, 0x3A); // the ground of the server's icons for rising alert types

class AlertGridDrawingLive : public ::testing::Test
{
protected:
    void Start(QStringList flags)
    {
        Server = std::make_unique<kvtest::AlertServerProcess>(flags);
        ASSERT_TRUE(Server->Start()) << Server->Log();
        Session = std::make_unique<TAllAlertsConnection>();
        Session->SetServerAddress("127.0.0.1:" + std::to_string(Server->Port()));
        Session->SetUsername("ann");
        Icons = std::make_unique<TIconCache>(*Session, 200);
        Panel = std::make_unique<TAlertPanel>(*Session);
        Panel->resize(400, 200);
        Panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
        Grid().SetIconCache(Icons.get());
        // Icon and Symbol on a plain white ground ("Classic" colours only the text).
        Grid().SetWindowConfig("C,2,1,40,3,60,0,1,20,31,1,0");
        TAlertRecord alert;
        alert.Symbol = "ICON";
        alert.AlertType = "GU";
        alert.Time = Session->GetServerNow();
        Grid().AlertsArrived({ alert }, false);
    }
    void TearDown() override
    {
        Panel.reset();
        Icons.reset();
        Session.reset();
    }
    TAlertGrid &Grid() { return Panel->Grid(); }
    // A point inside the icon's coloured ground, in the cell of the alert "ICON".
    QColor IconPixel()
    {
        const QImage shot = Grid().viewport()->grab().toImage();
        for (int row = 1; row < Grid().RowCount(); ++row)
            if (Grid().CellText(1, row) == "ICON") {
                const QRect cell = Grid().CellRect(0, row);
                return shot.pixelColor(
                    cell.left() + 36, cell.top() + (cell.height() - 20) / 2 + 16);
            }
        return {};
    }
    TIconStatus Status()
    {
        const TIconInfo *info = Icons->Find("GU.gif", ikAlert);
        return info ? info->Status : isNotRequested;
    }

    std::unique_ptr<kvtest::AlertServerProcess> Server;
    std::unique_ptr<TAllAlertsConnection> Session;
    std::unique_ptr<TIconCache> Icons;
    std::unique_ptr<TAlertPanel> Panel;
};

TEST_F(AlertGridDrawingLive, AnIconIsDrawnInItsCellOnceItsDownloadArrives)
{
    Start({});
    EXPECT_EQ(IconPixel(), QColor(Qt::white)) << "painting the cell asks for the icon";
    ASSERT_TRUE(RunUntil([&] { return IconPixel() == Up; })) << Server->Log();
    EXPECT_EQ(Status(), isLoaded);
}

TEST_F(AlertGridDrawingLive, ACellWithAnUndecodablePictureIsDrawnWithoutIt)
{
    Start({ "--fault", "bad-gif", "--rate", "0" }); // no other alerts, no other pictures
    EXPECT_EQ(IconPixel(), QColor(Qt::white));
    ASSERT_TRUE(RunUntil([&] { return Status() == isUnavailable; })) << Server->Log();
    RunFor(600); // repaints and pumps: the picture is not asked for again
    EXPECT_EQ(IconPixel(), QColor(Qt::white));
    EXPECT_EQ(Status(), isUnavailable);
    // The cell's icon is the only picture here: it was sent once, spoiled once.
    const std::string log = Server->Log();
    const std::string fired = "fault bad-gif fired";
    const size_t first = log.find(fired);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(fired, first + 1), std::string::npos) << log;
}

} // namespace
