// The alert grid's dialog commands as a user drives them: the window's contents saved as CSV
// and read back by Python's csv module, failed saves that keep the old file, the history range
// and collaboration dialogs, the backtest button with the host's permission, the progress
// table, and a grid freed while its dialogs are open.

#include "dialogs/QuorixConfigWindows.h"
#include "dialogs/SelectHistoryRange.h"
#include "dialogs/ShareSettings.h"
#include "grid/AlertGrids.h"
#include "grid/AlertGridsMenus.h"
#include "grid/AlertPanel.h"
#include "session/TimeDefaults.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"
#include "support/FakeChannel.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace kestrova;

namespace {

const double NaN = std::nan("");

TAlertRecord Alert(const std::string &symbol, const std::string &description)
{
    TAlertRecord r;
    r.Symbol = symbol;
    r.AlertType = "NHP";
    r.Time = EncodeDateTime({ 2025, 3, 14, 9, 30, 5 }); // as text: no Unix time
    r.Description = description;
    r.Quality = 0.5;
    r.RelVol = 2.34567;
    r.Num = 7;
    r.DayRange = 0.45;
    r.Volatility = 1.5;
    r.StdDev = NaN;
    return r;
}

// The rows of a CSV file as Python's csv module reads them.
std::vector<std::vector<std::string>> ReadWithPython(const QString &file)
{
    QProcess python;
    python.start("/usr/bin/python3",
        { "-c",
            "import csv, json, sys\n"
            "with open(sys.argv[1], newline='') as f:\n"
            "    print(json.dumps(list(csv.reader(f))))\n",
            file });
    EXPECT_TRUE(python.waitForFinished(10000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    std::vector<std::vector<std::string>> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        rows.emplace_back();
        for (const QJsonValue &field : row.toArray())
            rows.back().push_back(field.toString().toStdString());
    }
    return rows;
}

QByteArray FileBytes(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class GridCommandsTest : public ::testing::Test
{
protected:
    GridCommandsTest()
        : Session((SetTimeOffset(ServerTimeOffsetMinutes), Channels.Factory()))
    {
        Session.SetUsername("trader");
        Session.WebViewUrl = "http://www.example.com/View.php?";
        Panel = std::make_unique<TAlertPanel>(Session);
        Panel->resize(600, 400);
        Panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
        Grid().OnBeforeModal = [this](WId dialog) { ModalHandles.push_back(dialog); };
    }
    ~GridCommandsTest() override
    {
        Panel.reset();
        ResetTimeDefaults();
    }
    TAlertGrid &Grid() { return Panel->Grid(); }
    template<typename T>
    T *Open()
    {
        for (T *dialog : Grid().findChildren<T *>())
            if (dialog->isVisible())
                return dialog;
        return nullptr;
    }
    // Chooses a file in the open save dialog.
    void ChooseFile(const QString &file)
    {
        QFileDialog *dialog = Open<QFileDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->defaultSuffix().size(), 3);
        dialog->selectFile(file);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
    }
    // Answers the open message box with a button; returns its title and text.
    std::string Answer(QMessageBox::StandardButton button)
    {
        QMessageBox *box = Open<QMessageBox>();
        if (!box)
            return "<no message box>";
        const std::string said
            = box->windowTitle().toStdString() + " | " + box->text().toStdString();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
        return said;
    }

    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    std::unique_ptr<TAlertPanel> Panel;
    std::vector<WId> ModalHandles;
};

TEST_F(GridCommandsTest, SaveContentsWritesACsvThatPythonReadsBack)
{
    Grid().SetWindowConfig("C,2,3,60,2,80,0,2,20,31,1,0"); // Symbol, Time
    TAlertRecord tricky = Alert("BRK.B", "Up 5%, then \"halted\"\r\nresumed\tlater");
    tricky.DayRange = tricky.Quality = NaN;
    Grid().AlertsArrived({ tricky, Alert("AAPL", "New high") }, false);

    QTemporaryDir dir;
    const QString file = dir.filePath("contents");
    Grid().SaveContentsClicked();
    ASSERT_EQ(ModalHandles.size(), 1u) << "the host hears of the dialog first";
    ChooseFile(file);
    const QString saved = file + ".csv"; // the default extension
    ASSERT_TRUE(QFile::exists(saved));

    const auto rows = ReadWithPython(saved);
    ASSERT_EQ(rows.size(), 3u) << FileBytes(saved).toStdString();
    EXPECT_EQ(rows[0],
        (std::vector<std::string> { "Symbol", "Time", "Date", "C / Unix Time", "Alert Type",
            "Description", "Quality", "Relative Volume", "#", "Range", "Volatility", "Std Dev" }));
    // In server-time mode the Unix time is derived from the alert's time.
    const auto unix = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 5)).toSecsSinceEpoch();
    const auto [datePattern, timePattern] = LocaleShortDateTimePatterns();
    const std::string time = FormatDateTime(timePattern, tricky.Time);
    const std::string date = FormatDateTime(datePattern, tricky.Time);
    // In the window's order (the batch came newest first).
    EXPECT_EQ(rows[1][0], "BRK.B");
    EXPECT_EQ(rows[1][5], tricky.Description) << "one field, line break and all";
    EXPECT_EQ(rows[1][6] + rows[1][9], "") << "no quality, no range";
    EXPECT_EQ(rows[2],
        (std::vector<std::string> { "AAPL", time, date, std::to_string(unix), "NHP", "New high",
            "0.5", "2.3457", "7", "45.00%", "1.5000", "" }));
}

TEST_F(GridCommandsTest, AFailedSaveSaysSoAndKeepsTheOldFile)
{
    Grid().AlertsArrived({ Alert("AAPL", std::string(4000, 'x')) }, false);
    QTemporaryDir dir;
    const QString file = dir.filePath("old.csv");
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents\r\n");
    }

    // Replacing needs the user's consent; No leaves the file alone.
    Grid().SaveContentsClicked();
    ChooseFile(file);
    EXPECT_EQ(Answer(QMessageBox::No),
        "Confirm Save As | old.csv already exists.\n"
        "Do you want to replace it?");
    EXPECT_EQ(FileBytes(file), "old contents\r\n");

    // A write that fails half way (the file size limit stops it; root is not stopped by
    // permissions): the box says why and the old file stays whole.
    rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Grid().SaveContentsClicked();
    ChooseFile(file);
    EXPECT_EQ(Answer(QMessageBox::Yes).substr(0, 8), "Confirm ");
    const std::string error = Answer(QMessageBox::Ok);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error.rfind("Error saving file. | Cannot write file \"" + file.toStdString(), 0), 0u)
        << error;
    EXPECT_EQ(FileBytes(file), "old contents\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { "old.csv" })
        << "no temporary file left";

    // A folder where nothing can be created.
    Grid().SaveQuorixResultsClicked();
    ChooseFile("/proc/results.rtf");
    EXPECT_EQ(Answer(QMessageBox::Ok).rfind("Error saving file. | Cannot create file", 0), 0u);
    EXPECT_FALSE(QFile::exists("/proc/results.rtf"));
}

TEST_F(GridCommandsTest, BacktestButtonAsksTheHostThenRunsAndShowsProgress)
{
    bool allow = false;
    Grid().OnBeforeQuorix = [&](bool &a) { a = allow; };
    std::vector<std::string> debug;
    Grid().OnQuorixDebug = [&](const std::string &line) {
        debug.push_back(line);
        throw std::runtime_error("ignored");
    };

    // The host refuses: nothing opens.
    Panel->SimulateBacktestClick();
    EXPECT_EQ(Open<TQuorixConfigWindow>(), nullptr);

    allow = true;
    Grid().StrategyConfig = "PriceMoveDirection=1&DaysOfTest=3";
    Grid().QuorixButtonClicked();
    TQuorixConfigWindow *window = Open<TQuorixConfigWindow>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ModalHandles, std::vector<WId> { window->winId() });
    window->findChild<QLineEdit *>("DaysOfTestEdit")->setText("4");
    QTest::mouseClick(window->findChild<QPushButton *>("OkayButton"), Qt::LeftButton);

    EXPECT_EQ(ParseQuorixSettings(Grid().StrategyConfig).DaysOfTest, "4");
    const auto &sent = Channels.Current().Requests;
    auto request = std::find_if(sent.begin(), sent.end(),
        [](const auto &r) { return r.Command() == "quorix_new_request"; });
    ASSERT_NE(request, sent.end());
    EXPECT_EQ(request->Value("entry_condition"), Grid().DataConfig());
    EXPECT_EQ(request->Value("success_direction"), "-");
    EXPECT_EQ(request->Value("show_debug_info"), "1") << "the host listens";
    EXPECT_EQ(debug, std::vector<std::string> { "START" });
    EXPECT_TRUE(Panel->Running());
    EXPECT_EQ(Panel->StatusBox().toPlainText(), "Quorix Started");

    // The progress table.
    Grid().QuorixProgress({ qsRunning, "", "d1" });
    EXPECT_EQ(Panel->StatusBox().toPlainText(), "Quorix running.");
    Grid().QuorixProgress({ TQuorixStatus(5), "ignored", "" });
    EXPECT_EQ(Panel->StatusBox().toPlainText(), "");
    EXPECT_TRUE(Panel->Running()) << "left as it was";
    Grid().QuorixProgress({ qsFinished, "{\\rtf1 \\b Won:\\b0  3}", "d2" });
    EXPECT_EQ(Panel->StatusBox().toPlainText(), "Won: 3");
    EXPECT_FALSE(Panel->Running());
    EXPECT_EQ(debug, (std::vector<std::string> { "START", "ENTRY d1", "ENTRY d2", "DONE" }));
    DebugLog::Clear();
    Grid().OnQuorixDebug = nullptr; // then debug text goes to the debug log
    Grid().QuorixProgress({ qsRunning, "", "entry AAPL" });
    EXPECT_EQ(DebugLog::Entries(), std::vector<std::string> { "entry AAPL" });
    Grid().OnQuorixDebug = [&](const std::string &line) { debug.push_back(line); };

    // Stopped with the button: cancelled on the server, back to the invitation.
    Grid().QuorixProgress({ qsRunning, "Day 1 of 4", "" });
    Panel->SimulateBacktestClick();
    EXPECT_EQ(Channels.Current().Requests.back().Command(), "quorix_cancel_request");
    EXPECT_FALSE(Panel->Running());
    EXPECT_EQ(Panel->StatusBox().toPlainText().toStdString(), TAlertPanel::DefaultStatusText());
    EXPECT_EQ(debug.back(), "RESET");
}

TEST_F(GridCommandsTest, TimeFrameAndCollaborationDialogs)
{
    Grid().AlertsArrived({ Alert("AAPL", "live") }, false);
    const std::string liveName = Grid().WindowName();

    // Cancel changes nothing; the dialog is kept for the next use.
    Grid().TimeFrameClicked();
    TSelectHistoryRangeForm *range = Open<TSelectHistoryRangeForm>();
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(ModalHandles, std::vector<WId> { range->winId() });
    QTest::mouseClick(range->findChild<QPushButton *>("CancelButton"), Qt::LeftButton);
    EXPECT_TRUE(Grid().RealTime());
    EXPECT_EQ(Grid().Alerts().Count(), 1);

    // OK: the window asks for the chosen stretch of history, starting empty. Opened from the
    // menu, as the user (or a host's simulated click) opens it.
    ASSERT_TRUE(Grid().Menus().SimulateClick("History,Time Frame..."));
    EXPECT_EQ(Open<TSelectHistoryRangeForm>(), range);
    range->findChild<QComboBox *>("EndDaysComboBox")->setCurrentIndex(3);
    QTest::mouseClick(range->findChild<QPushButton *>("OkayButton"), Qt::LeftButton);
    const TAlertWindowConnection &connection = Grid().Connection();
    EXPECT_EQ(connection.HistoryState(), hsRequested);
    EXPECT_EQ(connection.HistoryStartTime(), 0) << "Now";
    EXPECT_EQ(connection.HistoryEndTime(), range->EndTime());
    EXPECT_EQ(connection.HistoryMaxCount(), Grid().Alerts().Capacity);
    EXPECT_FALSE(Grid().RealTime());
    EXPECT_FALSE(Grid().MoreEnabled());
    EXPECT_FALSE(Grid().TimeFrameEnabled());
    EXPECT_EQ(Grid().Alerts().Count(), 0);
    EXPECT_NE(Grid().WindowName(), liveName);

    // Collaboration: the address of this window's settings, all selected; OK takes another
    // user's address.
    Grid().CollaborateClicked();
    auto *share = Open<TShareSettingsDlg>();
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(share->Edit1->text().toStdString(), Session.WebViewUrl + Grid().DataConfig());
    EXPECT_EQ(share->Edit1->selectedText(), share->Edit1->text());
    share->Edit1->setText("http://www.example.com/View.php?form=1&Sh_NL=ON&WN=Lows");
    QTest::mouseClick(share->OKBtn, Qt::LeftButton);
    EXPECT_EQ(Grid().DataConfig(), "form=1&Sh_NL=ON&WN=Lows");
    EXPECT_TRUE(Grid().RealTime()) << "a new configuration is live";
    EXPECT_EQ(ModalHandles.size(), 3u);
}

TEST_F(GridCommandsTest, AGridFreedWithItsDialogsOpenClosesThemAndHearsNothing)
{
    std::vector<std::string> debug;
    Grid().OnQuorixDebug = [&](const std::string &line) { debug.push_back(line); };
    Grid().QuorixButtonClicked();
    QTest::mouseClick(
        Open<TQuorixConfigWindow>()->findChild<QPushButton *>("OkayButton"), Qt::LeftButton);
    ASSERT_TRUE(Panel->Running());

    // Each dialog opened in turn is left open (a host may open them under each other).
    std::vector<QPointer<QDialog>> dialogs;
    Grid().TimeFrameClicked();
    Grid().CollaborateClicked();
    Grid().SaveContentsClicked();
    Grid().SaveQuorixResultsClicked();
    for (QDialog *dialog : Grid().findChildren<QDialog *>())
        if (dialog->isVisible())
            dialogs.emplace_back(dialog);
    ASSERT_EQ(dialogs.size(), 4u);

    debug.clear();
    Panel.reset();
    for (const auto &dialog : dialogs)
        EXPECT_TRUE(dialog.isNull());
    EXPECT_TRUE(debug.empty()) << "the cancelled backtest reported nothing to a freed grid";
    EXPECT_GE(Channels.Current().Last("quorix_cancel_request"), 0) << "the run stopped";
}

} // namespace
