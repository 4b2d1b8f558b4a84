// The Qt host example (examples/qt-host) against the real kestrova-alertd: a separate process
// that loads the library with dlopen, embeds its windows and prints the callbacks, then quits
// with its windows released.

#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(QtHost, ShowsLiveAlertsWithTheirCallbacksAndQuitsCleanly)
{
    kvtest::AlertServerProcess server({ "--rate", "40" });
    ASSERT_TRUE(server.Start()) << server.Log();
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", "/tmp/kv-test-runtime");
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(KV_BIN_DIR "/qt-host"),
        { "--quit-after", "4", QString("127.0.0.1:%1").arg(server.Port()) });
    ASSERT_TRUE(host.waitForStarted(5000));
    ASSERT_TRUE(kvtest::RunUntil([&] { return host.state() == QProcess::NotRunning; }, 30000));
    const QString out = QString::fromUtf8(host.readAllStandardOutput());
    const QString err = QString::fromUtf8(host.readAllStandardError());
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(host.exitCode(), 0) << "alerts arrived: " << err.toStdString();
    // Both windows were named by the server, and their alerts came with their details.
    EXPECT_TRUE(out.contains("is now \"All Alerts\"")) << out.left(2000).toStdString();
    EXPECT_TRUE(out.contains("is now \"Highs, Lows and Gaps\""));
    EXPECT_TRUE(out.contains(
        QRegularExpression(R"(\nalert   All Alerts  \d\d:\d\d:\d\d  [A-Z]+ [A-Z]+  \S)")));
}

} // namespace
