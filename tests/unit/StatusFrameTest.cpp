// The status frame: its model (message ring, event history, fading) and what the strip shows.

#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "status/StatusFrames.h"
#include "support/DateTime.h"
#include "support/FakeChannel.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(StatusFrameModel, TheToolTipKeepsTheLastTenMessagesOldestFirstWithRepeatsCounted)
{
    Clock::SetNowSource([] { return EncodeDateTime({ 2024, 3, 5, 14, 7, 9 }); });
    TStatusFrameModel model;
    EXPECT_EQ(model.Hint(), "");
    for (int i = 0; i < 3; ++i)
        model.Notify(scNetworkFailure, "Unable to connect to server.");
    model.Notify(scNetworkSuccess, ""); // no text: not a message
    model.Notify(scLatency, "12ms"); // response times are not messages
    const auto [date, time] = LocaleShortDateTimePatterns();
    EXPECT_EQ(model.Hint(),
        "Unable to connect to server. (3)\r\nLast message:  "
            + FormatDateTime(date + " " + time, Clock::Now()));

    for (int i = 1; i <= 11; ++i)
        model.Notify(scNetworkFailure, "m" + std::to_string(i));
    const std::vector<std::string> expected { "m2", "m3", "m4", "m5", "m6", "m7", "m8", "m9", "m10",
        "m11" };
    EXPECT_EQ(model.MessageLines(), expected);
    EXPECT_EQ(model.Hint().substr(0, 8), "m2\r\nm3\r\n");
    Clock::SetNowSource(nullptr);
}

TEST(StatusFrameModel, EventsShiftInDownIsRecordedOnceAndColoursFade)
{
    TStatusFrameModel model;
    model.Notify(scServerMessage, "Disconnected by server.");
    EXPECT_EQ(model.Events().back().Kind, skNone) << "no activity yet: no red bar";
    EXPECT_EQ(model.Light(), slRed);
    model.Notify(scReset, "");
    EXPECT_EQ(model.Light(), slGreen);

    model.Notify(scNetworkSuccess, "");
    model.Tick();
    model.Notify(scNetworkFailure, "lost");
    EXPECT_EQ(model.Light(), slYellow);
    model.Notify(scServerMessage, "bye");
    model.Notify(scServerMessage, "bye again");
    const auto &events = model.Events();
    EXPECT_EQ(events[14].Kind, skRed);
    EXPECT_EQ(events[13].Kind, skYellow);
    EXPECT_EQ(events[12].Kind, skGreen);
    EXPECT_EQ(events[11].Kind, skNone) << "a down while down records nothing";
    EXPECT_EQ(events[12].Tick, 0);
    EXPECT_EQ(events[13].Tick, 1);

    // Fresh: all 15 slots, newest at the right; two ticks on, the graph moves one bar left.
    auto bars = model.Bars();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars.back().X, 98);
    EXPECT_EQ(bars.back().Light, 0xFF0000u);
    EXPECT_EQ(bars.back().Dark, 0x7F0000u);
    EXPECT_EQ(bars.back().Fill, 0xBF0000u);
    EXPECT_EQ(bars.front().Light, 0x00FE00u) << "one tick old";
    model.Tick();
    model.Tick();
    EXPECT_EQ(model.Bars().back().X, 91);

    model.Notify(5, "timed out");
    EXPECT_EQ(model.ResponseText(), "timed out");
    EXPECT_EQ(model.ResponseColor(), 0xFF0000u);
    model.Notify(scLatency, "15ms");
    EXPECT_EQ(model.ResponseColor(), 0x00FF00u);
    for (int i = 0; i < 63; ++i)
        model.Tick();
    EXPECT_EQ(model.ResponseColor(), 0x000300u);
    model.Tick();
    EXPECT_EQ(model.ResponseColor(), 0u) << "black within 64 ticks";
}

struct StatusFrameTest : ::testing::Test
{
    TAllAlertsConnection Session { [] { return std::make_unique<kvtest::FakeChannel>(); } };
    TStatusFrameList List { Session };

    // The colour at a point of the frame's picture.
    static QRgb At(TStatusFrame &frame, int x, int y)
    {
        return frame.grab().toImage().pixel(x, y) & 0xFFFFFF;
    }
};

TEST_F(StatusFrameTest, TheSessionsNotificationsShowInEveryFrame)
{
    TStatusFrame a(nullptr, List), b(nullptr, List);
    ASSERT_EQ(List.Count(), 2u);
    EXPECT_EQ(a.size(), QSize(134, 25));
    a.Timer1Timer();
    const QRgb green = At(a, 121, 12);
    EXPECT_GT(qGreen(green), 150) << std::hex << green;
    EXPECT_LT(qRed(green), 100);

    Session.ReportNetworkActivity(false, "Unable to connect to server.");
    a.Timer1Timer();
    b.Timer1Timer();
    for (TStatusFrame *frame : { &a, &b }) {
        const QRgb yellow = At(*frame, 121, 12);
        EXPECT_GT(qRed(yellow), 150) << std::hex << yellow;
        EXPECT_GT(qGreen(yellow), 150) << std::hex << yellow;
        EXPECT_TRUE(frame->toolTip().contains("Unable to connect to server."));
        // The newest bar is the right-most, yellow, faded by one tick: (254, 254) * 3 / 4.
        EXPECT_EQ(At(*frame, 8 + 98 + 1, 4 + 8), 0xBEBE00u);
    }

    Session.OnStatusMessage(scLatency, "42ms");
    EXPECT_EQ(a.PingTimeLabel->text(), "42ms");
    // In the application's font at 8 points, as wide as the text measures.
    const QFont font = a.PingTimeLabel->font();
    EXPECT_EQ(font.family().toStdString(), QApplication::font().family().toStdString());
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_GE(a.PingTimeLabel->width(), QFontMetrics(font).horizontalAdvance("42ms"));
    a.Timer1Timer();
    EXPECT_EQ(a.PingTimeLabel->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, 0x00FB00u);

    // Wider: the bars and the light keep to the right edge.
    a.show();
    a.resize(200, 25);
    EXPECT_EQ(a.CurrentStatusYellow->x(), 113 + 66);
    EXPECT_EQ(At(a, 8 + 66 + 91 + 1, 4 + 8), 0xBDBD00u) << "two ticks old, moved one bar left";
}

TEST_F(StatusFrameTest, DoubleClickingTheRedLightReconnectsAtOnce)
{
    TStatusFrame frame(nullptr, List);
    frame.show();
    Session.OnStatusMessage(scServerMessage, "Message from server:  logged out");
    frame.Timer1Timer();
    ASSERT_TRUE(frame.CurrentStatusRed->isVisible());
    EXPECT_FALSE(frame.CurrentStatusGreen->isVisible());
    QTest::mouseDClick(frame.CurrentStatusRed, Qt::LeftButton);
    frame.Timer1Timer(); // the reset's notification clears the down flag
    EXPECT_FALSE(frame.Model().Down());
    EXPECT_TRUE(frame.CurrentStatusGreen->isVisible());
    EXPECT_EQ(Session.ResetCount(), 1u);
}

TEST(StatusFrameList, FramesOutliveTheirListAndTheListLeavesTheSession)
{
    TAllAlertsConnection session([] { return std::make_unique<kvtest::FakeChannel>(); });
    auto list = std::make_unique<TStatusFrameList>(session);
    TStatusFrame frame(nullptr, *list);
    ASSERT_TRUE(session.OnStatusMessage);
    list.reset();
    EXPECT_FALSE(session.OnStatusMessage);
    frame.Timer1Timer(); // still paints; it just hears nothing more
}

} // namespace
