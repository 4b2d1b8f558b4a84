// An alert window's dialog commands against kestrova-alertd on 127.0.0.1: backtests started
// and stopped from the panel's button with the host's permission, progress and results in the
// panel, results saved; "Configure..." through the shared dialog, refused to a second window
// while open, and the backtest window's exit alert configured through the same dialog.

#include "dialogs/AlertWindowConfigForm.h"
#include "dialogs/QuorixConfigWindows.h"
#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "rtf/RichText.h"
#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace kestrova;
using kvtest::RunUntil;

namespace {

template<typename T>
T *OpenChild(QWidget &owner)
{
    for (T *dialog : owner.findChildren<T *>())
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

std::string Status(TAlertPanel &panel)
{
    return panel.StatusBox().toPlainText().toStdString();
}

bool Shows(TAlertPanel &panel, const std::string &text)
{
    return Status(panel).find(text) != std::string::npos;
}

// Starts a backtest of `days` days from the button, as the user confirms the window.
void StartFromButton(TAlertGrid &grid, int days)
{
    grid.QuorixButtonClicked();
    auto *window = OpenChild<TQuorixConfigWindow>(grid);
    ASSERT_NE(window, nullptr);
    window->findChild<QLineEdit *>("DaysOfTestEdit")->setText(QString::number(days));
    QTest::mouseClick(window->findChild<QPushButton *>("OkayButton"), Qt::LeftButton);
}

size_t Occurrences(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(GridCommandsLive, BacktestsRunFromTheButtonWithProgressAndResultsInThePanel)
{
    kvtest::AlertServerProcess server({ "--backtest-day-ms", "60", "--rate", "20" });
    ASSERT_TRUE(server.Start()) << server.Log();
    TAllAlertsConnection session;
    session.SetServerAddress("127.0.0.1:" + std::to_string(server.Port()));
    session.SetUsername("ann");
    TAlertPanel panel(session);
    panel.resize(600, 300);
    panel.show();
    TAlertGrid &grid = panel.Grid();
    grid.SetDataConfig("form=1&Sh_NH=ON&Sh_NL=ON&WN=Highs");
    bool allow = false;
    grid.OnBeforeQuorix = [&](bool &a) { a = allow; };

    // The host refuses: nothing opens, nothing is sent.
    panel.SimulateBacktestClick();
    EXPECT_EQ(OpenChild<TQuorixConfigWindow>(grid), nullptr);
    EXPECT_FALSE(panel.Running());

    // A long run: its progress reaches the panel, and the button stops it.
    allow = true;
    StartFromButton(grid, 20);
    ASSERT_TRUE(RunUntil([&] { return Shows(panel, " of 20 ("); })) << server.Log();
    EXPECT_TRUE(panel.Running());
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty())
        panel.grab().save(dir + "/backtest-running.png");
    panel.SimulateBacktestClick();
    EXPECT_FALSE(panel.Running());
    EXPECT_EQ(Status(panel), TAlertPanel::DefaultStatusText());
    const std::string stopped = "backtest for window " + grid.Connection().WindowId() + " stopped";
    ASSERT_TRUE(RunUntil([&] { return server.Log().find(stopped) != std::string::npos; }))
        << server.Log();

    // A second start replaces the first: it runs to its results, shown as rich text.
    StartFromButton(grid, 2);
    ASSERT_TRUE(RunUntil([&] { return !panel.Running(); }, 10000)) << server.Log();
    EXPECT_TRUE(Shows(panel, "2 trading days from ")) << Status(panel);
    EXPECT_TRUE(Shows(panel, "Trades: ")) << Status(panel);
    EXPECT_FALSE(Shows(panel, "{")) << "read as rich text, not shown as markup";
    kvtest::RunFor(200);
    EXPECT_EQ(Occurrences(server.Log(), stopped), 1u);
    EXPECT_FALSE(Shows(panel, "Day ")) << "nothing of the first run came back";

    // The results saved as rich text.
    QTemporaryDir dir;
    grid.SaveQuorixResultsClicked();
    auto *save = OpenChild<QFileDialog>(grid);
    ASSERT_NE(save, nullptr);
    save->selectFile(dir.filePath("results.rtf"));
    static_cast<QDialog *>(save)->accept();
    QFile file(dir.filePath("results.rtf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string saved = ReadRtf(file.readAll().toStdString()).PlainText();
    EXPECT_NE(saved.find("Trades: "), std::string::npos) << saved;
    EXPECT_EQ(saved, Status(panel));
}

TEST(GridCommandsLive, ConfigureGoesThroughTheSharedDialogOneWindowAtATime)
{
    kvtest::AlertServerProcess server({ "--rate", "50" });
    ASSERT_TRUE(server.Start()) << server.Log();
    TAllAlertsConnection &session = AllAlertsConnection();
    session.SetServerAddress("127.0.0.1:" + std::to_string(server.Port()));
    session.SetUsername("ann");
    auto first = std::make_unique<TAlertPanel>();
    auto second = std::make_unique<TAlertPanel>();
    first->Grid().SetDataConfig("form=1&Sh_NH=ON&WN=Highs");
    second->Grid().SetDataConfig("form=1&Sh_NL=ON&WN=Lows");
    std::vector<WId> modal;
    first->Grid().OnBeforeModal = [&](WId dialog) { modal.push_back(dialog); };
    first->Grid().ToggleRealTime(true); // "Configure..." brings the window back to live

    first->Grid().ConfigureClicked();
    TConfigureAlertsForm &form = ConfigureAlertsForm();
    ASSERT_TRUE(form.isVisible());
    EXPECT_EQ(modal, std::vector<WId> { form.winId() });
    second->Grid().ConfigureClicked(); // refused while open
    auto *pleaseWait = form.findChild<QLabel *>("PleaseWaitPanel");
    ASSERT_TRUE(RunUntil([&] { return !pleaseWait->isVisible(); }, 10000)) << server.Log();
    form.Pages()->setCurrentIndex(TConfigureAlertsForm::tpSelectAlerts);
    for (const char *type : { "AlertType_NH", "AlertType_GU" })
        QTest::mouseClick(
            form.findChild<QWidget *>(type)->findChild<QCheckBox *>(), Qt::LeftButton);
    auto *ok = form.findChild<QPushButton *>("OkayButton");
    QTest::mouseClick(ok, Qt::LeftButton); // to the window name first
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(first->Grid().DataConfig(), "form=1&Sh_GU=ON&EntireUniverse=1&WN=Highs");
    EXPECT_TRUE(first->Grid().RealTime());
    const std::string other = second->Grid().DataConfig(); // as the server wrote it back
    EXPECT_TRUE(
        other.find("Sh_NL=ON") != std::string::npos && other.find("GU") == std::string::npos)
        << other;

    // The backtest window's "Configure" edits its exit alert in the same dialog.
    first->Grid().QuorixButtonClicked();
    auto *window = OpenChild<TQuorixConfigWindow>(first->Grid());
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->findChild<QPushButton *>("ExitCondConfigureButton"), Qt::LeftButton);
    ASSERT_TRUE(form.isVisible());
    ASSERT_TRUE(RunUntil([&] { return !pleaseWait->isVisible(); }, 10000)) << server.Log();
    QTest::mouseClick(
        form.findChild<QWidget *>("AlertType_NL")->findChild<QCheckBox *>(), Qt::LeftButton);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(window->ExitAlertConfig().rfind("form=1&Sh_NL=ON", 0), 0u)
        << window->ExitAlertConfig();
    EXPECT_TRUE(window->findChild<QRadioButton *>("ExitCondAnotherAlertRadioButton")->isChecked());
    EXPECT_TRUE(window->isVisible()) << "back to the backtest window";

    // A window freed while the dialog is open for it: the dialog closes, the other window goes
    // on; the last window takes the shared dialog with it.
    second->Grid().ConfigureClicked();
    ASSERT_TRUE(ConfigureAlertsBusy());
    second.reset();
    EXPECT_FALSE(ConfigureAlertsBusy());
    first.reset();
    EXPECT_FALSE(ConfigureAlertsBusy());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
