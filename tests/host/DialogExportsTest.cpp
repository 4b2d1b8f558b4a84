// The windows' dialogs as a host meets them, against the reference server: "Configure..." through
// the menu export opens the shared configure dialog, and the accepted change is what the host
// reads back and what the server's alerts follow; a backtest started through the button export
// with the host's permission shows its progress and results, saves them, runs again and stops.

#include "host/HostWindows.h"
#include "support/AlertServerProcess.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

using namespace kvhost;
using kvtest::RunUntil;

namespace {

// The alert types the each-alert callback reported for a window, from the index'th event on.
std::vector<std::string> TypesSince(size_t index, KV_HWND window)
{
    std::vector<std::string> types;
    const auto &events = Rec().Events;
    for (size_t i = index; i < events.size(); ++i)
        if (events[i].What == "each" && events[i].Window == window)
            types.push_back(events[i].Type);
    return types;
}

bool AllAre(const std::vector<std::string> &types, const std::string &type)
{
    return std::all_of(types.begin(), types.end(), [&](const auto &t) { return t == type; });
}

QWidget *Window(KV_HWND h)
{
    return QWidget::find(static_cast<WId>(h));
}

void ClickCheckBoxOf(QWidget &form, const char *rowName)
{
    auto *row = form.findChild<QWidget *>(rowName);
    ASSERT_TRUE(row) << rowName;
    QTest::mouseClick(row->findChild<QCheckBox *>(), Qt::LeftButton);
}

TEST_F(HostWindows, ConfigureFromTheMenuChangesWhatTheHostReadsAndWhatTheServerSends)
{
    kvtest::AlertServerProcess server({ "--rate", "300" });
    ASSERT_TRUE(server.Start()) << server.Log();
    UseServer("127.0.0.1:" + std::to_string(server.Port()));
    const KV_HWND highs = Create("form=1&Sh_NH=ON&WN=Highs");
    const KV_HWND lows = Create("form=1&Sh_NL=ON&WN=Lows");
    ASSERT_TRUE(RunUntil([&] { return TypesSince(0, highs).size() >= 3; }, 15000)) << server.Log();
    EXPECT_TRUE(AllAre(TypesSince(0, highs), "NH"));

    Kv().KV_SimulateMenuClick(highs, "Configure...");
    QWidget *form = Shown("ConfigureAlertsForm");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->windowModality(), Qt::ApplicationModal);
    // Refused while the dialog is open for another window: no second dialog.
    Kv().KV_SimulateMenuClick(lows, "Configure...");
    int shown = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        shown += w->isVisible() && w->objectName() == QLatin1String("ConfigureAlertsForm");
    EXPECT_EQ(shown, 1);

    auto *pleaseWait = form->findChild<QLabel *>("PleaseWaitPanel");
    ASSERT_TRUE(RunUntil([&] { return !pleaseWait->isVisible(); }, 10000)) << server.Log();
    auto *pages = form->findChild<QTabWidget *>("PageControl1");
    for (int i = 0; i < pages->count(); ++i)
        if (pages->tabText(i) == "Select Alerts")
            pages->setCurrentIndex(i);
    ClickCheckBoxOf(*form, "AlertType_NH");
    ClickCheckBoxOf(*form, "AlertType_GU");
    auto *ok = form->findChild<QPushButton *>("OkayButton");
    ASSERT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(pages->tabText(pages->currentIndex()), "Window Name") << "the name is offered first";
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());

    // The window that opened the dialog took the result; the other kept its own.
    EXPECT_STREQ(Kv().KV_GetDataConfig(highs), "form=1&Sh_GU=ON&EntireUniverse=1&WN=Highs");
    const std::string other = Kv().KV_GetDataConfig(lows);
    EXPECT_NE(other.find("Sh_NL=ON"), std::string::npos) << other;
    EXPECT_EQ(other.find("GU"), std::string::npos) << other;

    // From the first gap up on (replies come in order), only gaps up reach the host.
    const size_t changed = Rec().Events.size();
    size_t firstGap = 0;
    ASSERT_TRUE(RunUntil(
        [&] {
            for (size_t i = changed; i < Rec().Events.size() && !firstGap; ++i)
                if (Rec().Events[i].Window == highs && Rec().Events[i].Type == "GU")
                    firstGap = i;
            return firstGap && TypesSince(firstGap, highs).size() >= 4;
        },
        15000))
        << server.Log();
    EXPECT_TRUE(AllAre(TypesSince(firstGap, highs), "GU"));
    EXPECT_TRUE(AllAre(TypesSince(changed, lows), "NL"));
}

// The backtest button's caption and the status box beside it, as the user sees them, with
// every text the box has shown.
struct BacktestBar
{
    QPushButton *Button = nullptr;
    QTextEdit *Status = nullptr;
    std::vector<std::string> Shown;

    explicit BacktestBar(QWidget &window)
    {
        Status = window.findChild<QTextEdit *>();
        for (auto *button : window.findChildren<QPushButton *>())
            if (button->text() == "Backtest" || button->text() == "Stop")
                Button = button;
        if (Status)
            QObject::connect(
                Status, &QTextEdit::textChanged, Status, [this] { Shown.push_back(Text()); });
    }
    std::string Caption() const { return Button->text().toStdString(); }
    std::string Text() const { return Status->toPlainText().toStdString(); }
    bool Shows(const std::string &part) const { return Text().find(part) != std::string::npos; }
    bool HasShown(const std::string &part) const
    {
        return std::any_of(Shown.begin(), Shown.end(),
            [&](const std::string &text) { return text.find(part) != std::string::npos; });
    }
};

// The host's click on the backtest button; the user asks for `days` days and presses OK.
void StartBacktest(KV_HWND h, int days)
{
    Kv().KV_SimulateQuorixClick(h);
    QWidget *settings = Shown("QuorixConfigWindow");
    ASSERT_TRUE(settings);
    settings->findChild<QLineEdit *>("DaysOfTestEdit")->setText(QString::number(days));
    QTest::mouseClick(settings->findChild<QPushButton *>("OkayButton"), Qt::LeftButton);
    EXPECT_FALSE(settings->isVisible());
}

size_t Count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST_F(HostWindows, BacktestFromTheHostShowsProgressAndResultsSavesRunsAgainAndStops)
{
    kvtest::AlertServerProcess server({ "--backtest-day-ms", "60", "--rate", "20" });
    ASSERT_TRUE(server.Start()) << server.Log();
    UseServer("127.0.0.1:" + std::to_string(server.Port()));
    const KV_HWND h = Create("form=1&Sh_NH=ON&Sh_NL=ON&WN=Highs");
    Kv().KV_SetWindowPosition(h, 0, 0, 700, 400);
    BacktestBar bar(*Window(h));
    ASSERT_TRUE(bar.Button && bar.Status);
    const std::string idle = bar.Text();

    // The host refuses: nothing opens.
    Kv().KV_SimulateQuorixClick(h);
    ASSERT_EQ(Of("quorix").size(), 1u);
    EXPECT_EQ(Of("quorix")[0].Window, h);
    kvtest::RunFor(50);
    EXPECT_FALSE(Shown("QuorixConfigWindow"));

    // Allowed: a short run shows its days, then its results.
    Rec().Allow = 1;
    StartBacktest(h, 3);
    EXPECT_EQ(bar.Caption(), "Stop");
    ASSERT_TRUE(RunUntil([&] { return bar.Caption() == "Backtest"; }, 10000)) << server.Log();
    EXPECT_TRUE(bar.HasShown("Day 1 of 3 (") && bar.HasShown("Day 3 of 3 ("));
    EXPECT_TRUE(bar.Shows("3 trading days from ")) << bar.Text();
    EXPECT_TRUE(bar.Shows("Trades: ")) << bar.Text();
    EXPECT_FALSE(bar.Shows("{")) << "read as rich text, not shown as markup";

    // Saved through the menu; the save dialog is answered while the loop runs on.
    QTemporaryDir dir;
    Kv().KV_SimulateMenuClick(h, "History,Save Quorix Results...");
    QFileDialog *save = nullptr;
    for (auto *dialog : Window(h)->findChildren<QFileDialog *>())
        if (dialog->isVisible())
            save = dialog;
    ASSERT_TRUE(save);
    save->selectFile(dir.filePath("results.rtf"));
    static_cast<QDialog *>(save)->accept();
    QFile file(dir.filePath("results.rtf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string saved = file.readAll().toStdString();
    EXPECT_EQ(saved.rfind("{\\rtf", 0), 0u) << saved;
    EXPECT_NE(saved.find("trading days from"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Trades: "), std::string::npos) << saved;

    // A second, longer run takes the panel over from the first one's results.
    StartBacktest(h, 30);
    EXPECT_EQ(Of("quorix").size(), 3u);
    ASSERT_TRUE(RunUntil([&] { return bar.Shows(" of 30 ("); }, 10000)) << server.Log();
    EXPECT_FALSE(bar.Shows("Trades: ")) << bar.Text();

    // Stopped from the button: the host is not asked, the panel is as before any run, and
    // nothing more of the run arrives.
    Kv().KV_SimulateQuorixClick(h);
    EXPECT_EQ(Of("quorix").size(), 3u);
    EXPECT_EQ(bar.Caption(), "Backtest");
    EXPECT_EQ(bar.Text(), idle);
    ASSERT_TRUE(RunUntil([&] { return Count(server.Log(), " stopped") == 1; })) << server.Log();
    kvtest::RunFor(300);
    EXPECT_EQ(bar.Text(), idle);
    EXPECT_EQ(bar.Caption(), "Backtest");
}

} // namespace
