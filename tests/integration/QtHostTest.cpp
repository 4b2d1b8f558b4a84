// The Qt host example (examples/qt-host) against the real kestrova-alertd: a separate process
// that loads the library with dlopen, embeds its windows and prints the callbacks, then quits
// with its windows released; and its --help and --version, which need no display.

#include "kestrova/KestrovaAlerts.h"
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

struct Finished
{
    int ExitCode = -1;
    QString Out, Err;
};

// Runs qt-host to its end with no display at all: nothing here may start a Qt application.
Finished RunWithoutDisplay(const QStringList &arguments)
{
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(name);
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(KV_BIN_DIR "/qt-host"), arguments);
    Finished run;
    if (!host.waitForFinished(10000) || host.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = host.exitCode();
    run.Out = QString::fromUtf8(host.readAllStandardOutput());
    run.Err = QString::fromUtf8(host.readAllStandardError());
    return run;
}

TEST(QtHost, HelpListsTheOptionsAndVersionNamesItselfAndTheLibrary)
{
    const Finished help = RunWithoutDisplay({ "--help" });
    EXPECT_EQ(help.ExitCode, 0) << help.Err.toStdString();
    for (const char *option : { "--lib", "--user", "--password", "--quit-after", "--shots",
             "--wait", "--menu-item", "--help", "--version", "SERVER" })
        EXPECT_TRUE(help.Out.contains(option)) << option;

    const Finished version = RunWithoutDisplay({ "--version" });
    EXPECT_EQ(version.ExitCode, 0) << version.Err.toStdString();
    EXPECT_EQ(version.Out.toStdString(),
        "qt-host " KV_VERSION_STRING "\nlibrary " KV_VERSION_STRING "\n");

    const Finished missing = RunWithoutDisplay({ "--lib", "no-such-library.so", "--version" });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(missing.Err.contains("no-such-library.so")) << missing.Err.toStdString();
    EXPECT_TRUE(missing.Out.isEmpty());

    const Finished wrong = RunWithoutDisplay({ "--no-such-option", "127.0.0.1:1" });
    EXPECT_EQ(wrong.ExitCode, 1);
    EXPECT_TRUE(wrong.Err.startsWith("usage: qt-host")) << wrong.Err.toStdString();
}

} // namespace
