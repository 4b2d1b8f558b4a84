// What the alert grid's cells look like: scheme colours and textures, the newest batch, the
// bars, numbers that shrink to fit, and quality patterns from the server, hostile ones refused.

#include "Downloads.h"
#include "grid/AlertGrids.h"
#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsPainters.h"
#include "grid/AlertGridsQuality.h"
#include "grid/AlertPanel.h"
#include "icons/AlertIcons.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "support/FakeChannel.h"
#include "support/FakeServerRequests.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

const QColor Up(0x1E, 0x8C, 0x3A); // the reference server's colour of rising alert types

TAlertRecord Alert(const std::string &symbol, const std::string &type)
{
    TAlertRecord r;
    r.Symbol = symbol;
    r.AlertType = type;
    r.Time = 46000.5;
    r.Description = "Gap up (6.1%) at $12.34";
    return r;
}

// Green-tinted pixels (text in the scheme's colour for rising alerts, antialiased).
int Greenish(const QImage &image, const QRect &rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.green() - c.red() > 40;
        }
    return n;
}

// Pixels of a colour inside a rectangle of an image.
int Count(const QImage &image, const QRect &rect, const QColor &color)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

class AlertGridDrawingTest : public ::testing::Test
{
protected:
    AlertGridDrawingTest()
        : Session(Channels.Factory())
    {
        const PXmlNode info = ParseXml(alertd::GeneralInfoDocument())->Child(0);
        FormattingTable().Load(info->ChildNamed("FORMATTING"));
        Panel = std::make_unique<TAlertPanel>(Session);
        Panel->resize(600, 400);
        Panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
        Grid().SetIconCache(&Icons);
    }
    ~AlertGridDrawingTest() override
    {
        Panel.reset();
        FormattingTable().Load(ParseXml("<FORMATTING/>")->Child(0)); // no schemes for others
    }
    TAlertGrid &Grid() { return Panel->Grid(); }
    QImage Shot()
    {
        return Grid().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Answers every download asked for so far with the reference server's picture.
    void AnswerDownloads()
    {
        const alertd::TMarket market(1, 10, 0);
        for (size_t i = 0; i < Pictures.Requests.size(); ++i)
            Pictures.Answer(i, true,
                alertd::Download(market, Pictures.Value(i, "location"), Pictures.Value(i, "file")));
    }

    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    kvtest::FakeServerRequests Pictures;
    TIconCache Icons { Pictures, 3600000 };
    std::unique_ptr<TAlertPanel> Panel;
};

TEST_F(AlertGridDrawingTest, SchemeColoursTexturesAndTheNewestBatch)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig("C,2,3,60,4,200,0,2,20,31,1,0"); // Symbol, Description; "Bold colors"
    g.AlertsArrived({ Alert("GAP", "GU"), Alert("OPN", "CAO") }, false);
    QImage shot = Shot();
    const QRect gap = g.CellRect(0, 1), open = g.CellRect(0, 2);
    EXPECT_EQ(shot.pixelColor(gap.topLeft()), Up);
    EXPECT_GT(Count(shot, gap, Qt::white), 10) << "white text on the scheme's ground";
    EXPECT_EQ(shot.pixelColor(open.topLeft()), Up);

    // "Paper": a texture, and the scheme's text colour only once the texture is there.
    g.SetSchemeName("LIST_3");
    shot = Shot();
    EXPECT_EQ(shot.pixelColor(gap.topLeft()), QColor(Qt::white));
    EXPECT_EQ(Greenish(shot, gap), 0) << "no scheme text colour on a ground it was not made for";
    AnswerDownloads();
    shot = Shot();
    EXPECT_EQ(shot.pixelColor(gap.topLeft()), QColor(0xE6, 0xDD, 0xC6)) << "the texture's corner";
    EXPECT_GT(Count(shot, gap, QColor(0xF4, 0xEF, 0xE1)), gap.width() * gap.height() / 2);
    EXPECT_GT(Greenish(shot, gap), 10) << "the scheme's text colour";

    // Grouped by symbol, the newest batch is white on black; the others keep their scheme.
    g.SetSchemeName("LIST_2");
    g.SetViewMode(vmGroupSortBy, cdSymbol);
    g.AlertsArrived({ Alert("NEW", "GU") }, false);
    shot = Shot();
    for (int row = 1; row <= 3; ++row) {
        const bool newest = g.CellText(0, row) == "NEW";
        EXPECT_EQ(shot.pixelColor(g.CellRect(1, row).topLeft()), newest ? QColor(Qt::black) : Up)
            << g.CellText(0, row);
    }
}

TEST_F(AlertGridDrawingTest, RangeAndAgeBars)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig("C,2,9,40,7,51,0,2,20,31,1,0");
    TAlertRecords batch;
    for (double range : { 0.75, 0.2, 1.5, std::nan("") }) {
        TAlertRecord a = Alert("R", "XX");
        a.DayRange = range;
        a.Time = Session.GetServerNow() - 60.0 / 86400; // a minute old
        batch.push_back(a); // the first is the newest: row 1
    }
    g.AlertsArrived(batch, false);
    const QImage shot = Shot();
    const auto at = [&](int col, int row, int x) {
        const QRect r = g.CellRect(col, row);
        return shot.pixelColor(r.left() + x, r.center().y());
    };
    ASSERT_EQ(g.CellRect(0, 1).width(), 40);
    // 0.75: white, a bar from pixel 20 to 29 in red = blue = 128, green 255, then white.
    EXPECT_EQ(at(0, 1, 19), QColor(Qt::white));
    EXPECT_EQ(at(0, 1, 20), QColor(128, 255, 128));
    EXPECT_EQ(at(0, 1, 29), QColor(128, 255, 128));
    EXPECT_EQ(at(0, 1, 30), QColor(Qt::white));
    // 0.2: from pixel 8 to the middle, red 255 and green = blue = 102.
    EXPECT_EQ(at(0, 2, 7), QColor(Qt::white));
    EXPECT_EQ(at(0, 2, 8), QColor(255, 102, 102));
    EXPECT_EQ(at(0, 2, 19), QColor(255, 102, 102));
    EXPECT_EQ(at(0, 2, 20), QColor(Qt::white));
    EXPECT_EQ(at(0, 3, 5), QColor(0, 255, 0)) << "above the range: all green";
    EXPECT_EQ(Count(shot, g.CellRect(0, 4), Qt::white), 40 * g.CellRect(0, 4).height())
        << "unknown: the middle, all white";
    // A minute old: 13 black pixels, then blue.
    EXPECT_EQ(at(1, 1, 12), QColor(Qt::black));
    EXPECT_EQ(at(1, 1, 13), QColor(0, 0, 255));
    EXPECT_EQ(at(1, 1, 50), QColor(0, 0, 255));

    EXPECT_EQ(AgeBarLength(0), -1) << "brand new: no black part";
    for (double broken : { -5.0, -100.0, std::nan(""), HUGE_VAL })
        EXPECT_EQ(AgeBarLength(broken), 0) << broken;
    EXPECT_EQ(RangeBarFor(-0.1, 40).Ground, QColor(255, 0, 0));
}

TEST(AlertGridFitting, NumbersAndTextsShrinkToFitTheirCell)
{
    const QFontMetrics m { QFont() };
    const auto fit = [&](int64_t value, const QString &room) {
        return FitInteger(value, m, m.horizontalAdvance(room)).Text;
    };
    EXPECT_EQ(fit(1234, "1234"), "1234");
    EXPECT_EQ(fit(1234, "1K"), "1K");
    EXPECT_EQ(FitInteger(1234, m, 1).Text, "...");
    EXPECT_EQ(fit(999, "99"), "...");
    EXPECT_EQ(fit(1234567, "1.23M"), "1.23M");
    EXPECT_EQ(fit(1234567, "1.2M"), "1.2M");
    EXPECT_EQ(fit(1234567, "1M"), "1M");
    EXPECT_EQ(fit(99999999, "100M"), "100M");
    EXPECT_EQ(fit(123456, "123K"), "123K");
    EXPECT_EQ(FitFloat(1.5, m, 100).Text, "1.50");
    EXPECT_EQ(FitFloat(123456.5, m, m.horizontalAdvance("12345")).Text, "...");
    const TFittedText cut = ShortenWithEllipsis("Description", m, m.horizontalAdvance("Desc..."));
    EXPECT_EQ(cut.Text, "Desc...");
    EXPECT_EQ(cut.Width, m.horizontalAdvance("Desc..."));
}

TEST(AlertGridQuality, PatternsFormatTheirOneNumberAndHostileOnesAreRefused)
{
    EXPECT_EQ(FormatQuality("%.1f%%", 6.14), "6.1%");
    EXPECT_EQ(FormatQuality("%f", 2), "2.00");
    EXPECT_EQ(FormatQuality("[%6.1f|]", 3.25), "[   3.2|]");
    EXPECT_EQ(FormatQuality("%-5.0fx", 3), "3    x");
    EXPECT_EQ(FormatQuality("%n shares", 1234567.891), "1,234,567.89 shares");
    EXPECT_EQ(FormatQuality("%.2e", 12345), "1.23E+04");
    EXPECT_EQ(FormatQuality("%g", 0.5), "0.5");
    for (const char *hostile : { "%s%s%n", "%999999f", "%", "%d", "%f and %f", "no number", "%.99f",
             "%*f", "%1$f", "%lf" })
        EXPECT_THROW(ParseQualityFormat(hostile), EConvertError) << hostile;

    // The grid reads patterns from the server's general info; a refused one shows nothing
    // and is reported once.
    TAlertRecord gap = Alert("GAP", "GU");
    gap.Quality = 6.14;
    EXPECT_EQ(QualityText(ParseXml(alertd::GeneralInfoDocument())->Child(0), gap), "6.1%");
    const PXmlNode hostile
        = ParseXml("<GENERAL_INFO><QUALITY><GU FORMAT=\"%s%s%n\"/></QUALITY></GENERAL_INFO>")
              ->Child(0);
    DebugLog::Clear();
    EXPECT_EQ(QualityText(hostile, gap), "");
    EXPECT_EQ(QualityText(hostile, gap), "");
    ASSERT_EQ(DebugLog::Entries().size(), 1u);
    EXPECT_NE(DebugLog::Entries()[0].find("Location=AlertGrids, ShowQuality"), std::string::npos);
    gap.AlertType = "CAO"; // the server gives no pattern
    EXPECT_EQ(QualityText(ParseXml(alertd::GeneralInfoDocument())->Child(0), gap), "");
}

} // namespace
