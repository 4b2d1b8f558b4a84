// The icon cache over a fake session: containers, downloads, the throttle and clearing kinds.

#include "icons/AlertIcons.h"

#include "session/GetAlertData.h"
#include "support/DebugLog.h"
#include "support/FakeServerRequests.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::FakeServerRequests;

namespace {

QImage Solid(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Qt writes no GIF: a 2 x 1 GIF89a with a two-colour table whose pixels are both colour 0
// (LZW codes clear, 0, 0, end in 3 bits each).
std::string GifBytes(QColor color)
{
    const uchar gif[]
        = { 'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, static_cast<uchar>(color.red()),
              static_cast<uchar>(color.green()), static_cast<uchar>(color.blue()), 0, 0, 0, ',', 0,
              0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x04, 0x0A, 0, ';' };
    return std::string(reinterpret_cast<const char *>(gif), sizeof gif);
}

// A widget that counts its repaints.
class Viewer : public QWidget
{
public:
    int Paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++Paints; }
};

struct IconCacheTest : ::testing::Test
{
    FakeServerRequests Session;
    TIconCache Cache { Session, 3600000 }; // the pump's timer never fires by itself here
    size_t Sent() const { return Session.Requests.size(); }
};

TEST(ImageContainers, PackedCellsStayOnePerNameWhateverTheSizeAndSpillIntoASecondSheet)
{
    TPackedImageContainer charts(ikDailyChart, "/GifCharts/", 66, 20);
    // A wide picture is scaled into its one cell; the next name still finds its own picture.
    ASSERT_TRUE(charts.Add("wide", Solid({ 200, 20 }, Qt::red)));
    ASSERT_TRUE(charts.Add("next", Solid({ 66, 20 }, Qt::green)));
    EXPECT_EQ(charts.Get("wide")->size(), QSize(66, 20));
    EXPECT_EQ(charts.Get("wide")->pixel(65, 10), QColor(Qt::red).rgb());
    EXPECT_EQ(charts.Get("next")->pixel(0, 0), QColor(Qt::green).rgb());

    // Replacing keeps the count.
    ASSERT_TRUE(charts.Add("wide", Solid({ 66, 20 }, Qt::blue)));
    EXPECT_EQ(charts.Count(), 2u);
    EXPECT_EQ(charts.Get("wide")->pixel(0, 0), QColor(Qt::blue).rgb());

    for (int i = 2; i < 513; ++i)
        charts.Add("n" + std::to_string(i), Solid({ 66, 20 }, QColor(i % 256, 0, i / 256)));
    EXPECT_EQ(charts.SheetCount(), 2u);
    EXPECT_EQ(charts.IndexOf("n512"), 512) << "position 0 of the second sheet";
    EXPECT_EQ(charts.Get("n512")->pixel(3, 3), QColor(0, 0, 2).rgb());
    EXPECT_EQ(charts.Get("n511")->pixel(3, 3), QColor(255, 0, 1).rgb());
    EXPECT_EQ(charts.Get("absent"), nullptr);

    DebugLog::Clear();
    EXPECT_FALSE(charts.Add("null", QImage()));
    EXPECT_EQ(charts.Count(), 513u);
    ASSERT_EQ(DebugLog::Entries().size(), 1u);
    EXPECT_NE(DebugLog::Entries()[0].find("Location=AlertIcons, TPackedImageContainer.Add(null, "
                                          "Bitmap)"),
        std::string::npos);
    charts.Clear();
    EXPECT_EQ(charts.Get("n512"), nullptr);
    EXPECT_EQ(charts.SheetCount(), 0u);
}

TEST(ImageContainers, GifsDecodeOpaqueAndTransparencyBecomesWhite)
{
    const QImage picture = DecodeGifPicture(GifBytes(QColor(10, 20, 30)));
    ASSERT_EQ(picture.size(), QSize(2, 1));
    EXPECT_FALSE(picture.hasAlphaChannel());
    EXPECT_EQ(picture.pixel(1, 0), qRgb(10, 20, 30));
    EXPECT_TRUE(DecodeGifPicture("this is not a picture").isNull());

    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_EQ(OpaqueOnWhite(clear).pixel(2, 2), qRgb(255, 255, 255));
}

TEST_F(IconCacheTest, AnIconArrivesIsDrawnByViewersAndIsNeverFetchedAgain)
{
    Viewer viewer;
    viewer.show();
    Cache.RegisterIconViewer(&viewer);
    ASSERT_TRUE(kvtest::RunUntil([&] { return viewer.Paints > 0; }));
    const int paintsBefore = viewer.Paints;

    TIconLookup first = Cache.GetAlertIcon("NH", false);
    EXPECT_EQ(first.Picture, nullptr);
    EXPECT_EQ(first.Status, isNotRequested);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Session.Value(0, "command"), "download");
    EXPECT_EQ(Session.Value(0, "location"), "/Alerts/");
    EXPECT_EQ(Session.Value(0, "file"), "NH.gif");
    EXPECT_EQ(Cache.GetAlertIcon("NH", false).Status, isRequested);
    EXPECT_EQ(Sent(), 1u) << "a requested icon is not asked for twice";

    Session.Answer(0, true, GifBytes(Qt::red));
    EXPECT_TRUE(kvtest::RunUntil([&] { return viewer.Paints > paintsBefore; }));
    const TIconLookup loaded = Cache.GetAlertIcon("NH", false);
    EXPECT_EQ(loaded.Status, isLoaded);
    ASSERT_NE(loaded.Picture, nullptr);
    EXPECT_EQ(loaded.Picture->size(), QSize(40, 20)) << "scaled into its cell";
    EXPECT_EQ(loaded.Picture->pixel(20, 10), QColor(Qt::red).rgb());
    EXPECT_EQ(Sent(), 1u);
    EXPECT_TRUE(Cache.Dispatch().ServerGood());
}

TEST_F(IconCacheTest, MissingAndUndecodablePicturesAreUnavailableAndNotAskedForAgain)
{
    Cache.GetIcon("Gone.gif", ikFilter, false);
    Session.Answer(0, true, "");
    Cache.GetIcon("Broken.gif", ikFilter, false);
    ASSERT_EQ(Sent(), 2u);
    DebugLog::Clear();
    Session.Answer(1, true, "<html>not a picture</html>");
    ASSERT_EQ(DebugLog::Entries().size(), 1u);
    EXPECT_NE(
        DebugLog::Entries()[0].find("AlertIcons, TIconDispatch.OnCompleted)"), std::string::npos);
    for (const char *file : { "Gone.gif", "Broken.gif" }) {
        const TIconLookup lookup = Cache.GetIcon(file, ikFilter, false);
        EXPECT_EQ(lookup.Status, isUnavailable) << file;
        EXPECT_EQ(lookup.Picture, nullptr) << file;
    }
    Cache.Dispatch().Pump();
    EXPECT_EQ(Sent(), 2u) << "no request loop";
}

TEST_F(IconCacheTest, FailuresThrottleToOneRequestPerPumpUntilADownloadSucceeds)
{
    // Not known to be good at first: each call's pump sends one, up to the 50 holders.
    for (int i = 0; i < 60; ++i)
        Cache.GetIcon("W_S" + std::to_string(i) + ".gif", ikWeeklyChart, true);
    EXPECT_EQ(Sent(), TIconDispatch::HolderCount);
    for (size_t i = 0; i < 10; ++i)
        Session.Answer(i, false);
    EXPECT_FALSE(Cache.Dispatch().ServerGood());
    EXPECT_EQ(Cache.GetIcon("W_S0.gif", ikWeeklyChart, true).Status, isRetrying);
    EXPECT_EQ(Sent(), 51u) << "the caller's pump sends one";

    // A success makes the server good: every free holder is used at once.
    Session.Answer(10, true, GifBytes(Qt::blue));
    EXPECT_TRUE(Cache.Dispatch().ServerGood());
    EXPECT_EQ(Cache.Dispatch().InFlight(), TIconDispatch::HolderCount);
    EXPECT_EQ(Sent(), 61u);

    // Failures: the entries go back to the front, and each pump sends one of them.
    Session.Answer(11, false);
    Session.Answer(12, false);
    EXPECT_EQ(Sent(), 61u);
    Cache.Dispatch().Pump();
    ASSERT_EQ(Sent(), 62u);
    EXPECT_EQ(Session.Value(61, "file"), "W_S12.gif");
    Cache.Dispatch().Pump();
    ASSERT_EQ(Sent(), 63u);
    EXPECT_EQ(Session.Value(62, "file"), "W_S11.gif");
}

TEST_F(IconCacheTest, AskingInTheForegroundJumpsTheBackgroundQueue)
{
    for (size_t i = 0; i < TIconDispatch::HolderCount; ++i)
        Cache.GetIcon("busy" + std::to_string(i) + ".gif", ikAlert, true);
    Cache.GetIcon("back1.gif", ikAlert, true);
    Cache.GetIcon("back2.gif", ikAlert, true);
    Cache.GetIcon("back2.gif", ikAlert, false);
    ASSERT_EQ(Sent(), TIconDispatch::HolderCount);
    Session.Answer(0, true, GifBytes(Qt::red)); // frees one holder
    ASSERT_EQ(Sent(), TIconDispatch::HolderCount + 1);
    EXPECT_EQ(Session.Value(Sent() - 1, "file"), "back2.gif");
}

TEST_F(IconCacheTest, ClearingChartKindsCancelsTheirDownloadsAndKeepsAlertIcons)
{
    Cache.GetAlertIcon("NH", false);
    Session.Answer(0, true, GifBytes(Qt::red));
    Cache.GetIcon("D_ABC.gif", ikDailyChart, false);
    Cache.GetIcon("W_ABC.gif", ikWeeklyChart, false);
    Cache.GetIcon("W_XYZ.gif", ikWeeklyChart, false);
    Session.Answer(1, true, GifBytes(Qt::green));
    ASSERT_EQ(Sent(), 4u);
    ASSERT_EQ(Cache.GetIcon("D_ABC.gif", ikDailyChart, false).Status, isLoaded);

    Cache.ClearIconKinds(ChartIconKinds);
    EXPECT_TRUE(Session.Requests[2].Cancelled);
    EXPECT_TRUE(Session.Requests[3].Cancelled);
    EXPECT_EQ(Cache.Dispatch().InFlight(), 0u);
    EXPECT_EQ(Cache.Container(ikDailyChart).Count(), 0u);
    EXPECT_EQ(Cache.Find("W_ABC.gif", ikWeeklyChart), nullptr);
    EXPECT_EQ(Cache.GetAlertIcon("NH", false).Status, isLoaded);

    // Asked again, a chart starts from scratch.
    const TIconLookup again = Cache.GetIcon("D_ABC.gif", ikDailyChart, false);
    EXPECT_EQ(again.Status, isNotRequested);
    EXPECT_EQ(again.Picture, nullptr);
    EXPECT_EQ(Session.Value(Sent() - 1, "file"), "D_ABC.gif");
}

TEST(IconCacheProcessWide, FollowsTheSessionsChartRefreshUntilFreed)
{
    TAllAlertsConnection &session = AllAlertsConnection();
    IconCache().Container(ikWeeklyChart).Add("W_A.gif", Solid({ 53, 20 }, Qt::red));
    IconCache().Container(ikAlert).Add("NH.gif", Solid({ 40, 20 }, Qt::red));
    ASSERT_TRUE(session.OnDiscardCharts);
    session.OnDiscardCharts();
    EXPECT_EQ(IconCache().Container(ikWeeklyChart).Count(), 0u);
    EXPECT_EQ(IconCache().Container(ikAlert).Count(), 1u);
    FreeIconCache();
    EXPECT_FALSE(IconCacheExists());
    EXPECT_FALSE(session.OnDiscardCharts);
    UnregisterIconViewer(nullptr); // does not bring the cache back
    EXPECT_FALSE(IconCacheExists());
}

} // namespace
