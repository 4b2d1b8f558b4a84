// The configure-alerts dialog against kestrova-alertd on 127.0.0.1: a window's configuration
// is opened, a type changed and accepted, and the server's alerts for the window follow.

#include "dialogs/AlertWindowConfigForm.h"
#include "session/GetAlertData.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/ServerPictures.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

using namespace kestrova;
using kvtest::RunUntil;

TEST(ConfigureAlertsLive, AnAcceptedChangeMakesTheServerSendTheNewTypes)
{
    kvtest::AlertServerProcess server({ "--rate", "300" });
    ASSERT_TRUE(server.Start()) << server.Log();
    TAllAlertsConnection session;
    session.SetServerAddress("127.0.0.1:" + std::to_string(server.Port()));
    session.SetUsername("ann");

    TAlertWindowConnection window(session);
    window.SetConfig("form=1&Sh_NH=ON&WN=Highs");
    std::multiset<std::string> types;
    window.OnAlerts = [&](const TAlertRecords &records, bool) {
        for (const auto &alert : records)
            types.insert(alert.AlertType);
    };
    ASSERT_TRUE(RunUntil([&] { return types.size() >= 3; }, 15000)) << server.Log();
    EXPECT_EQ(types.count("NH"), types.size());

    TAlertConfigSession configSession(&session);
    kvtest::ServerPictures pictures(session);
    TConfigureAlertsForm form(configSession, &pictures);
    std::vector<TConfigureAlertsResult> results;
    ASSERT_TRUE(OpenConfigureAlerts(form, nullptr, window.Config(), {},
        [&](const TConfigureAlertsResult &r) { results.push_back(r); }));
    auto *pleaseWait = form.findChild<QLabel *>("PleaseWaitPanel");
    ASSERT_TRUE(RunUntil([&] { return !pleaseWait->isVisible(); })) << server.Log();
    // Every icon of the catalogue was asked for; let them arrive for the pictures below.
    RunUntil([&] { return pictures.Loaded() >= 20; }, 3000);

    form.Pages()->setCurrentIndex(TConfigureAlertsForm::tpSelectAlerts);
    QTest::mouseClick(
        form.findChild<QWidget *>("AlertType_NH")->findChild<QCheckBox *>(), Qt::LeftButton);
    QTest::mouseClick(
        form.findChild<QWidget *>("AlertType_GU")->findChild<QCheckBox *>(), Qt::LeftButton);
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        for (int page : { TConfigureAlertsForm::tpSelectAlerts, TConfigureAlertsForm::tpSearch,
                 TConfigureAlertsForm::tpFilters, TConfigureAlertsForm::tpStrategies }) {
            form.Pages()->setCurrentIndex(page);
            kvtest::RunFor(50);
            form.grab().save(QString("%1/configure-alerts-live-%2.png").arg(dir).arg(page));
        }
        form.Pages()->setCurrentIndex(TConfigureAlertsForm::tpSelectAlerts);
    }
    auto *ok = form.findChild<QPushButton *>("OkayButton");
    QTest::mouseClick(ok, Qt::LeftButton); // to the window name first
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].Accepted && results[0].Changed);
    EXPECT_EQ(results[0].Config, "form=1&Sh_GU=ON&EntireUniverse=1&WN=Highs");

    window.SetConfig(results[0].Config);
    // From the first gap up on (replies come in order), only gaps up arrive.
    ASSERT_TRUE(RunUntil([&] { return types.count("GU") > 0; }, 15000)) << server.Log();
    types.clear();
    ASSERT_TRUE(RunUntil([&] { return types.size() >= 3; }, 15000)) << server.Log();
    EXPECT_EQ(types.count("GU"), types.size());
}
