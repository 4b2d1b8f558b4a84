// The configure-alerts dialog driven with QTest on the reference server's editor reply: OK and
// its detour over the window name, strategies to adapt, the Search page, the wheel, pictures
// arriving, and the shared dialog's one-window-at-a-time rule.

#include "dialogs/AlertWindowConfigForm.h"

#include "AlertCatalogue.h"
#include "ConfigEditor.h"
#include "dialogs/AlertPictures.h"
#include "dialogs/AlertWindowConfigWidgets.h"
#include "support/FakeAlertConfigSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <set>

using namespace kestrova;

namespace {

const char *const Config = "form=1&Sh_NH=ON&QNH=5&MinPrice=3&EntireUniverse=1&WN=Highs";

// Pictures in a colour of their own, there once Arrive() was called.
class FakePictures : public IAlertPictures
{
public:
    std::optional<QImage> Picture(int kind, const std::string &fileName) override
    {
        Asked.insert(fileName);
        if (!Arrived)
            return std::nullopt;
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(kind == pkFilter ? FilterColour : TypeColour);
        return image;
    }
    void RegisterViewer(QWidget *viewer) override { Viewers.insert(viewer); }
    void UnregisterViewer(QWidget *viewer) override { Viewers.erase(viewer); }
    void Arrive()
    {
        Arrived = true;
        for (QWidget *viewer : Viewers)
            viewer->update();
    }
    static constexpr QRgb TypeColour = 0xFF20A040, FilterColour = 0xFFC03020;
    bool Arrived = false;
    std::set<std::string> Asked;
    std::set<QWidget *> Viewers;
};

bool HasColour(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
    return false;
}

class ConfigureAlertsDialog : public ::testing::Test
{
protected:
    ~ConfigureAlertsDialog() override
    {
        if (Form.isVisible())
            Form.reject();
    }
    // Opens the dialog on Config and answers with the server's reply.
    void Open()
    {
        ASSERT_TRUE(OpenConfigureAlerts(
            Form, nullptr, Config, [this](uintptr_t handle) { BeforeModal.push_back(handle); },
            [this](const TConfigureAlertsResult &r) { Results.push_back(r); }));
        const std::string reply
            = alertd::EditConfigReply(Config, true, { { 12, "Tech" }, { 40, "Banks" } });
        Session.AnswerLast(reply.c_str());
    }
    template<typename T = QWidget>
    T *Find(const char *name)
    {
        T *widget = Form.findChild<T *>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void Click(const char *name) { QTest::mouseClick(Find(name), Qt::LeftButton); }
    int Page() const { return Form.Pages()->currentIndex(); }
    // Selects a page and lets its scroll boxes lay out, as the event loop would.
    void ShowPage(int page)
    {
        Form.Pages()->setCurrentIndex(page);
        QCoreApplication::processEvents();
    }
    // A second press that the platform reports as a double click.
    static void DoubleClick(QTreeWidget *tree, QTreeWidgetItem *item)
    {
        const QPoint at = tree->visualItemRect(item).center();
        QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    }
    QTreeWidgetItem *Node(const char *name)
    {
        auto found = Find<QTreeWidget>("StrategyTreeView")
                         ->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.empty() ? nullptr : found.front();
    }

    kvtest::FakeAlertConfigSession Session;
    FakePictures Pictures;
    TConfigureAlertsForm Form { Session, &Pictures };
    std::vector<uintptr_t> BeforeModal;
    std::vector<TConfigureAlertsResult> Results;
};

TEST_F(ConfigureAlertsDialog, OkAfterChangingNothingReportsNoChangeAndASecondOpenIsRefused)
{
    Open();
    ASSERT_EQ(BeforeModal.size(), 1u);
    EXPECT_EQ(BeforeModal[0], static_cast<uintptr_t>(Form.winId()));
    EXPECT_EQ(Form.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(Session.Server.Value(0, "config"), Config);
    EXPECT_FALSE(Find("PleaseWaitPanel")->isVisible());
    EXPECT_EQ(Page(), TConfigureAlertsForm::tpStrategies);
    EXPECT_FALSE(Find("OkayButton")->isEnabled());
    EXPECT_FALSE(OpenConfigureAlerts(Form, nullptr, "form=1", {}, {})) << "busy";

    // Ticked and unticked again: OK is on, goes to the window name first, and nothing changed.
    ShowPage(TConfigureAlertsForm::tpSelectAlerts);
    auto *newLow = Find<QWidget>("AlertType_NL");
    QTest::mouseClick(newLow->findChild<QLabel *>(), Qt::LeftButton); // the label toggles it
    EXPECT_TRUE(newLow->findChild<QCheckBox *>()->isChecked());
    QTest::mouseClick(newLow->findChild<QCheckBox *>(), Qt::LeftButton);
    Click("OkayButton");
    EXPECT_EQ(Page(), TConfigureAlertsForm::tpWindowName);
    EXPECT_TRUE(Form.isVisible());
    Click("OkayButton");
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_TRUE(Results[0].Accepted);
    EXPECT_FALSE(Results[0].Changed);
    EXPECT_TRUE(
        Session.Server.Requests.back().Cancelled || Session.Server.Requests.back().Answered);
}

TEST_F(ConfigureAlertsDialog, AChangedTypeShowsInTheRecentStripAndComesBackAsTheNewString)
{
    Open();
    ShowPage(TConfigureAlertsForm::tpSelectAlerts);
    QTest::mouseClick(Find("AlertType_GU")->findChild<QCheckBox *>(), Qt::LeftButton);
    auto *quality = Find<QLineEdit>("Quality_GU");
    QTest::keyClicks(quality, "2.5");
    Pictures.Arrive();
    Click("OkayButton");
    ASSERT_EQ(Page(), TConfigureAlertsForm::tpWindowName);
    // One icon for the type, however often it changed.
    auto *strip = Find<QScrollArea>("RecentChangesScrollBox");
    EXPECT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->widget()->findChildren<TIconBox *>().size(), 1u);
    EXPECT_TRUE(HasColour(strip->grab().toImage(), FakePictures::TypeColour));

    QTest::keyClicks(Find<QLineEdit>("WindowNameEdit"), " and gaps");
    Click("OkayButton");
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_TRUE(Results[0].Changed);
    EXPECT_EQ(Results[0].Config,
        "form=1&Sh_NH=ON&QNH=5&Sh_GU=ON&QGU=2.5&MinPrice=3&EntireUniverse=1&WN=Highs%20and%20gaps");
}

TEST_F(ConfigureAlertsDialog, AStrategyTheUserMustAdaptKeepsOkOffAndDoesNotCloseOnDoubleClick)
{
    Open();
    auto *tree = Find<QTreeWidget>("StrategyTreeView");
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->currentItem(), Node("Current settings"));
    QTreeWidgetItem *adapt = Node("My symbol lists");
    tree->setCurrentItem(adapt);
    EXPECT_TRUE(Find("LoadSettingsButton")->isEnabled());
    EXPECT_NE(Find<QLabel>("StrategyDescriptionLabel")->text().indexOf("Choose your lists"), -1);
    DoubleClick(tree, adapt);
    EXPECT_TRUE(Form.isVisible());
    EXPECT_FALSE(Find("OkayButton")->isEnabled());
    EXPECT_FALSE(Find("LoadSettingsButton")->isEnabled()) << "it carries the loaded mark";
    EXPECT_EQ(
        Form.Model().LoadedNode(), static_cast<int>(Form.Model().Strategies().Nodes.size()) - 1);
    EXPECT_TRUE(Find<QRadioButton>("SymbolMode1")->isChecked());

    // Any other strategy closes the dialog with OK at once.
    tree->expandAll();
    QCoreApplication::processEvents();
    QTreeWidgetItem *gaps = Node("Gap and go");
    DoubleClick(tree, gaps);
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_TRUE(Results[0].Changed);
    EXPECT_EQ(Results[0].Config.rfind("form=1&Sh_GU=ON&QGU=2&Sh_RU=ON&MinPrice=5", 0), 0u);
}

TEST_F(ConfigureAlertsDialog, SearchShowsRowsHavingEveryWordsPrefixAndMinMaxShareARow)
{
    Open();
    ShowPage(TConfigureAlertsForm::tpSearch);
    auto *box = Find<QScrollArea>("SearchScrollBox");
    auto shownTexts = [&] {
        std::vector<QString> texts;
        for (QWidget *panel : box->widget()->findChildren<QWidget *>(
                 QRegularExpression("SearchRow_"), Qt::FindDirectChildrenOnly))
            if (panel->isVisible())
                texts.push_back(panel->findChild<QLabel *>()->text());
        return texts;
    };
    const auto all = shownTexts();
    EXPECT_EQ(all.size(), alertd::AlertTypes().size() + alertd::WindowFilters().size() - 3)
        << "three Max filters share their Min filter's row";
    QWidget *price = nullptr;
    for (QWidget *panel : box->widget()->findChildren<QWidget *>(QRegularExpression("SearchRow_")))
        if (panel->findChild<QLabel *>()->text().startsWith("Price [$]"))
            price = panel;
    ASSERT_NE(price, nullptr);
    EXPECT_EQ(price->findChildren<TIconBox *>().size(), 2u);

    QTest::keyClicks(Find<QLineEdit>("SearchEdit"), "new hi");
    EXPECT_EQ(shownTexts(),
        (std::vector<QString> { "New high [Days] { high breakout record "
                                ".highs.and.lows. }" }));
    Find<QLineEdit>("SearchEdit")->clear();
    for (auto *link : Form.findChildren<TLinkLabel *>())
        if (link->text() == "gaps")
            QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>("SearchEdit")->text(), ".gaps.");
    EXPECT_EQ(shownTexts().size(), 2u);
}

TEST_F(ConfigureAlertsDialog, TheWheelMovesThePageByOneStepOnlyAndPicturesRepaintWhenTheyArrive)
{
    Open();
    ShowPage(TConfigureAlertsForm::tpSelectAlerts);
    auto *box = Find<QScrollArea>("SelectAlertsScrollBox");
    QWidget *row = Find("AlertType_CAO")->findChild<QCheckBox *>();
    const QPoint at = row->rect().center();
    QWheelEvent down(
        at, row->mapToGlobal(at), {}, { 0, -120 }, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(row, &down);
    EXPECT_EQ(box->verticalScrollBar()->value(), 32) << "one step, and the box itself not again";

    QWidget *icons = box->widget();
    EXPECT_TRUE(Pictures.Viewers.count(icons));
    EXPECT_TRUE(Pictures.Asked.count("NH.gif") && Pictures.Asked.count("MinPrice.gif"));
    EXPECT_FALSE(HasColour(box->grab().toImage(), FakePictures::TypeColour));
    Pictures.Arrive();
    EXPECT_TRUE(HasColour(box->grab().toImage(), FakePictures::TypeColour));
}

TEST_F(ConfigureAlertsDialog, ClosingTheOwnersWindowCancelsTheDialogWithoutAResult)
{
    auto owner = std::make_unique<QObject>();
    bool called = false;
    ASSERT_TRUE(OpenConfigureAlerts(
        Form, owner.get(), Config, {}, [&](const TConfigureAlertsResult &) { called = true; }));
    owner.reset();
    EXPECT_FALSE(Form.isVisible());
    EXPECT_FALSE(called);
    // The next window gets its own result.
    Open();
    QTest::keyClick(&Form, Qt::Key_Escape);
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_FALSE(Results[0].Accepted);
}

// Every page, and the dialog waiting for its reply, saved under KV_SCREENSHOT_DIR when it is
// set (to look at them).
TEST_F(ConfigureAlertsDialog, EveryPageRenders)
{
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    auto save = [&](const QString &name) {
        const QImage image = Form.grab().toImage();
        EXPECT_EQ(image.size(), QSize(525, 356) * image.devicePixelRatio());
        if (!dir.isEmpty())
            image.save(QString("%1/configure-alerts-%2.png").arg(dir, name));
    };
    ASSERT_TRUE(OpenConfigureAlerts(Form, nullptr, Config, {}, {}));
    save("wait");
    Pictures.Arrive();
    const std::string reply = alertd::EditConfigReply(Config, true, { { 12, "Tech" } });
    Session.AnswerLast(reply.c_str());
    Form.Model().SetAlertTypeChecked(3, true);
    for (int page = 0; page < TConfigureAlertsForm::tpPageCount; ++page) {
        ShowPage(page);
        save(QString::number(page));
    }
}

} // namespace
