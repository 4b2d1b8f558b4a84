// The windows' dialogs as a host meets them, against the reference server: "Configure..." through
// the menu export opens the shared configure dialog, and the accepted change is what the host
// reads back and what the server's alerts follow.

#include "host/HostWindows.h"
#include "support/AlertServerProcess.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

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

} // namespace
