// The alert panel and its colour button: strip heights in whole lines, hiding and showing the
// strips, splitter drags, rich status texts and their files, the backtest button.

#include "grid/AlertPanel.h"

#include "grid/AlertGrids.h"
#include "grid/ColorButton.h"
#include "grid/PanelSplitter.h"
#include "rtf/RichText.h"
#include "session/BacktestNames.h"
#include "support/FakeChannel.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrova;

namespace {

class AlertPanelTest : public ::testing::Test
{
protected:
    AlertPanelTest()
        : Session(Channels.Factory())
    {
        Panel = std::make_unique<TAlertPanel>(Session);
        Panel->resize(500, 300);
        Panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
    }
    // One text line of a strip: margin plus the height of a line of its font.
    int DescriptionLine() const
    {
        return 7 + QFontMetrics(Panel->DescriptionBox().font()).height();
    }
    int BacktestLine() const
    {
        QFont bold = Panel->StatusBox().font();
        bold.setBold(true);
        return 5 + QFontMetrics(bold).height();
    }
    TPanelSplitter *SplitterAbove(QWidget &strip)
    {
        for (auto *s : Panel->findChildren<TPanelSplitter *>())
            if (s->geometry().bottom() + 1 == strip.geometry().top())
                return s;
        return nullptr;
    }

    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    std::unique_ptr<TAlertPanel> Panel;
};

TEST_F(AlertPanelTest, StripsSnapToWholeLinesAndStackUnderTheGrid)
{
    QWidget &description = Panel->DescriptionBox();
    const int h = QFontMetrics(description.font()).height();
    EXPECT_EQ(Panel->DescriptionHeight(), DescriptionLine());
    EXPECT_EQ(description.geometry().bottom(), Panel->height() - 1);

    Panel->SetDescriptionHeight(1); // one line at least
    EXPECT_EQ(Panel->DescriptionHeight(), DescriptionLine());
    Panel->SetDescriptionHeight(7 + 3 * h + h / 2 - 1); // rounds to three lines
    EXPECT_EQ(Panel->DescriptionHeight(), 7 + 3 * h);
    EXPECT_EQ(description.height(), 7 + 3 * h);

    // The grid fills what the strips and their splitters leave.
    const int strips = Panel->DescriptionHeight() + Panel->BacktestHeight() + 2 * 2;
    EXPECT_EQ(Panel->Grid().geometry(), QRect(0, 0, 500, 300 - strips));

    // Height 0 hides a strip with its splitter; the grid takes the room.
    Panel->SetDescriptionHeight(0);
    EXPECT_FALSE(description.isVisible());
    EXPECT_EQ(Panel->DescriptionHeight(), 0);
    EXPECT_EQ(Panel->Grid().WindowConfig().substr(Panel->Grid().WindowConfig().rfind(",0,2,") + 5),
        "0," + std::to_string(Panel->BacktestHeight()) + ",1,0");
    Panel->SetBacktestHeight(0);
    EXPECT_EQ(Panel->Grid().height(), 300);
    EXPECT_EQ(Panel->findChildren<TPanelSplitter *>().size(), 2);
    for (auto *s : Panel->findChildren<TPanelSplitter *>())
        EXPECT_FALSE(s->isVisible());

    Panel->ShowAllPanels();
    EXPECT_TRUE(description.isVisible());
    EXPECT_EQ(Panel->DescriptionHeight(), DescriptionLine());
    EXPECT_EQ(Panel->BacktestHeight(), BacktestLine());

    // Another font snaps the chosen height to its own lines.
    Panel->SetDescriptionHeight(7 + 4 * h);
    QFont big = Panel->font();
    big.setPointSize(14);
    Panel->setFont(big);
    const int bigLine = QFontMetrics(Panel->DescriptionBox().font()).height();
    EXPECT_EQ(Panel->DescriptionHeight(), 7 + bigLine * std::lrint(4.0 * h / bigLine));
}

TEST_F(AlertPanelTest, DraggingASplitterSnapsAndCanCollapseTheStrip)
{
    QWidget &description = Panel->DescriptionBox();
    const int h = QFontMetrics(description.font()).height();
    TPanelSplitter *splitter = SplitterAbove(description);
    ASSERT_NE(splitter, nullptr);
    // The splitter moves under the mouse: events are placed by where the mouse is on screen.
    const auto drag = [&](int dy, const std::function<void()> &whileDragging) {
        const QPoint start = splitter->mapToGlobal(QPoint(10, 1));
        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(10, 1));
        QTest::mouseMove(splitter, splitter->mapFromGlobal(start + QPoint(0, dy)));
        whileDragging();
        QTest::mouseRelease(
            splitter, Qt::LeftButton, {}, splitter->mapFromGlobal(start + QPoint(0, dy)));
    };
    drag(-(2 * h + 3), [&] { EXPECT_EQ(Panel->DescriptionHeight(), 7 + 3 * h); });
    EXPECT_EQ(Panel->DescriptionHeight(), 7 + 3 * h);
    drag(3 * h + 4, [] {});
    EXPECT_EQ(Panel->DescriptionHeight(), 0);
    EXPECT_FALSE(description.isVisible());
    EXPECT_FALSE(splitter->isVisible());
}

TEST_F(AlertPanelTest, StatusTextsMayCarryRichText)
{
    QTextEdit &box = Panel->StatusBox();
    EXPECT_EQ(box.toPlainText().toStdString(), TAlertPanel::DefaultStatusText());
    EXPECT_EQ(
        TAlertPanel::DefaultStatusText().rfind(BacktestFeatureName() + ":  Calculate", 0), 0u);

    Panel->SetStatusText("Quorix running.");
    EXPECT_EQ(box.toPlainText(), "Quorix running.");
    EXPECT_FALSE(box.document()->firstBlock().begin().fragment().charFormat().font().bold());

    Panel->SetStatusText("\\b Won:\\b0  62%\\par {\\i Lost:} 38%");
    EXPECT_EQ(box.toPlainText(), "Won: 62%\nLost: 38%");
    const QTextFragment won = box.document()->firstBlock().begin().fragment();
    EXPECT_EQ(won.text(), "Won:");
    EXPECT_TRUE(won.charFormat().font().bold());
    EXPECT_EQ(Panel->StatusText(), "\\b Won:\\b0  62%\\par {\\i Lost:} 38%");

    // Saved as an RTF file that reads back with its styles.
    QTemporaryDir dir;
    const std::string file = dir.filePath("results.rtf").toStdString();
    Panel->SaveStatus(file);
    std::ifstream in(file, std::ios::binary);
    std::stringstream rtf;
    rtf << in.rdbuf();
    const TRichText saved = ReadRtf(rtf.str());
    EXPECT_EQ(saved.PlainText(), "Won: 62%\nLost: 38%");
    EXPECT_TRUE(saved.Paragraphs[0].Runs[0].Style.Bold);
    EXPECT_TRUE(saved.Paragraphs[1].Runs[0].Style.Italic);
    EXPECT_THROW(Panel->SaveStatus(dir.filePath("missing/results.rtf").toStdString()), EInOutError);
}

// How many lines of a text box show whole, counted from the text's first line (none when the
// first line is scrolled out of view); and whether anything of the next line shows below them
// (a pixel of another colour than the box's background).
template<typename TBox>
std::pair<int, bool> WholeLinesAndMore(TBox &box)
{
    const int height = box.viewport()->height();
    int whole = 0, end = 0;
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next())
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            QTextCursor at(block);
            at.setPosition(block.position() + block.layout()->lineAt(i).textStart());
            const QRect line = box.cursorRect(at);
            if (line.top() >= 0 && line.bottom() < height && (whole > 0 || end == 0)) {
                ++whole;
                end = line.bottom() + 1;
            } else if (end == 0) {
                end = -1; // the first line is not shown whole
            }
        }
    const QImage shown = box.viewport()->grab().toImage();
    const QColor background = box.palette().color(QPalette::Base);
    bool more = false;
    for (int y = std::max(0, end); y < height; ++y)
        for (int x = 0; x < shown.width(); ++x)
            more = more || shown.pixelColor(x, y) != background;
    return { whole, more };
}

TEST_F(AlertPanelTest, InANarrowWindowAStripOfKLinesShowsKWholeLines)
{
    Panel->resize(320, 300);
    const std::string lines = "\\b Backtest results\\b0\\par Won 62%\\par Lost 38%\\par Even 0%";
    Panel->SetStatusText(lines);
    Panel->SetDescriptionText("ABC at 09:30:05:  New high\nfirst\nsecond\nthird");
    QTextEdit &status = Panel->StatusBox();
    QPlainTextEdit &description = Panel->DescriptionBox();
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        Panel->SetBacktestHeight(BacktestLine() + (k - 1) * (BacktestLine() - 5));
        Panel->SetDescriptionHeight(DescriptionLine() + (k - 1) * (DescriptionLine() - 7));
        EXPECT_EQ(WholeLinesAndMore(status), std::make_pair(k, false));
        EXPECT_EQ(WholeLinesAndMore(description), std::make_pair(k, false));
    }
    // A window opened narrow, in the default layout (a backtest bar of two lines): the
    // invitation wraps to more lines than that and shows from its start, no line cut.
    TAlertPanel narrow(Session);
    narrow.resize(300, 250);
    narrow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&narrow));
    EXPECT_EQ(narrow.BacktestHeight(), BacktestLine() + BacktestLine() - 5);
    EXPECT_GT(narrow.StatusBox().document()->size().height(), narrow.StatusBox().height());
    EXPECT_EQ(WholeLinesAndMore(narrow.StatusBox()), std::make_pair(2, false));
}

TEST_F(AlertPanelTest, TheBacktestButtonShowsWhetherABacktestRuns)
{
    TColorButton &button = Panel->BacktestButton();
    EXPECT_EQ(button.text(), "Backtest");
    EXPECT_EQ(button.Color(), QColor(0, 128, 0));
    QFont bold = Panel->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    EXPECT_EQ(button.width(),
        std::max(metrics.horizontalAdvance("Stop"), metrics.horizontalAdvance("Backtest")) + 12);
    Panel->SetRunning(true);
    EXPECT_EQ(button.text(), "Stop");
    const QImage face = button.grab().toImage();
    EXPECT_EQ(face.pixelColor(4, button.height() / 2), QColor(255, 0, 0));

    // A collapsed bar is shown before the button is clicked for the host.
    int clicks = 0;
    Panel->SetBacktestButtonHandler([&] { ++clicks; });
    Panel->SetBacktestHeight(0);
    Panel->SimulateBacktestClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Panel->BacktestHeight(), BacktestLine());
}

TEST(ColorButton, PaintsItsColourTakesDoubleClicksAsTwoAndGreysWhenDisabled)
{
    TColorButton button;
    button.setText("Backtest");
    button.resize(90, 26);
    button.SetColor(QColor(0, 128, 0));
    QPalette palette = button.palette();
    palette.setColor(QPalette::ButtonText, Qt::white);
    button.setPalette(palette);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));

    QSignalSpy clicked(&button, &QPushButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseDClick(&button, Qt::LeftButton);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 2);

    const auto colours = [&] {
        std::map<QRgb, int> count;
        const QImage image = button.grab().toImage();
        for (int y = 4; y < image.height() - 4; ++y)
            for (int x = 4; x < image.width() - 4; ++x)
                ++count[image.pixel(x, y)];
        return count;
    };
    const QRgb green = QColor(0, 128, 0).rgb();
    std::map<QRgb, int> enabled = colours();
    EXPECT_GT(enabled[green], 1000);
    EXPECT_GT(enabled[QColor(Qt::white).rgb()], 10); // the caption
    button.setEnabled(false);
    std::map<QRgb, int> disabled = colours();
    EXPECT_GT(disabled[green], 1000);
    // Greyed: drawn in the shadow colour over a light offset copy, no longer in white.
    EXPECT_GT(disabled[button.palette().color(QPalette::Dark).rgb()], 0);
    EXPECT_LT(disabled[QColor(Qt::white).rgb()], enabled[QColor(Qt::white).rgb()] / 2);

    // The focus mark of a focused default button, unless it is hidden; the hook sees the face.
    button.setEnabled(true);
    button.setDefault(true);
    button.setFocus();
    QRect hooked;
    button.OnDrawButton = [&](QPainter &, const QRect &face, unsigned state) {
        hooked = face;
        EXPECT_TRUE(state & bdsFocused);
    };
    const QImage withFocus = button.grab().toImage();
    EXPECT_TRUE(QRect(0, 0, 90, 26).contains(hooked) && hooked.width() > 80);
    button.SetHideFocus(true);
    EXPECT_NE(button.grab().toImage(), withFocus);
}

} // namespace
