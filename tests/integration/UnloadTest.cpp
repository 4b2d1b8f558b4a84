// A host unloads the library with dlclose and loads it again, with and without a Qt application
// of its own; Qt's messages go to the library's log (and KESTROVA_LOG) only when the library
// made the application.

#include "kestrova/KestrovaAlerts.h"
#include "support/QtLoop.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(Unload, AHostUnloadsAndReloadsTheLibraryWithOrWithoutItsOwnQtApplication)
{
    for (const bool ownApplication : { false, true }) {
        SCOPED_TRACE(ownApplication ? "the host's application" : "the library's application");
        QTemporaryDir dir;
        const QString logFile = dir.filePath("kestrova.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTROVA_LOG", logFile);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess host;
        host.setProcessEnvironment(env);
        QStringList args { KV_LIB_DIR "/libKestrovaAlerts.so" };
        if (ownApplication)
            args << "--qt-app";
        host.start(KV_BIN_DIR "/kv_unload_host", args);
        ASSERT_TRUE(kvtest::RunUntil([&] { return host.state() == QProcess::NotRunning; }, 30000));
        const QString out = QString::fromUtf8(host.readAllStandardOutput());
        const QString err = QString::fromUtf8(host.readAllStandardError());
        ASSERT_EQ(host.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(host.exitCode(), 0) << err.toStdString();

        const QString seen = ownApplication ? "no" : "yes";
        for (int round = 0; round < 2; ++round) {
            EXPECT_TRUE(out.contains(QStringLiteral(
                "round %1: version " KV_VERSION_STRING ", qt message in log: %2, unloaded: yes")
                                         .arg(round)
                                         .arg(seen)))
                << out.toStdString();
        }
        if (ownApplication) {
            EXPECT_TRUE(out.contains("application ended"));
        }
        EXPECT_EQ(err.contains("unload host message 0"), ownApplication) << err.toStdString();

        QFile log(logFile);
        const bool logged = log.open(QIODevice::ReadOnly)
            && log.readAll().contains("warning: Qt: unload host message 1");
        EXPECT_EQ(logged, !ownApplication) << "the second load writes to KESTROVA_LOG again";
    }
}

} // namespace
