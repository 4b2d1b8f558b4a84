// build/bin/kvtail against kestrova-alertd: text and JSON lines, a history range, Ctrl-C, a
// wrong flag, the password taken from KESTROVA_PASSWORD with an accounts file, the endings of a
// run (refused login, logout, closed output), several windows, and its reconnection lines.

#include "support/AlertServerProcess.h"
#include "support/KvtailProcess.h"
#include "support/QtLoop.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <signal.h>

using namespace kvtest;

namespace {

QStringList ServerArgs(const AlertServerProcess &server)
{
    return { "--server", QStringLiteral("127.0.0.1:%1").arg(server.Port()), "--user", "ann",
        "--password", "pw" };
}

TEST(Kvtail, TextOrJsonLinesThenCleanExitOnCtrlC)
{
    AlertServerProcess server({ "--rate", "200" });
    ASSERT_TRUE(server.Start());
    Kvtail tail(ServerArgs(server));
    ASSERT_TRUE(tail.WaitLines(6)) << tail.Errors().toStdString();
    const QStringList lines = tail.Lines();
    // Aligned columns: a 19-character time, then the symbol where the header puts it.
    const int symbolColumn = lines[0].indexOf("SYMBOL");
    EXPECT_EQ(symbolColumn, 21) << lines[0].toStdString();
    for (int i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(QDateTime::fromString(lines[i].left(19), "yyyy-MM-dd hh:mm:ss").isValid())
            << lines[i].toStdString();
        EXPECT_EQ(lines[i].mid(19, 2), "  ");
        EXPECT_NE(lines[i].at(symbolColumn), ' ') << lines[i].toStdString();
    }
    EXPECT_TRUE(tail.Errors().contains("connected to 127.0.0.1:")) << tail.Errors().toStdString();

    ::kill(static_cast<pid_t>(tail.Process.processId()), SIGINT);
    EXPECT_EQ(tail.Finish(), 130) << tail.Errors().toStdString();
    EXPECT_TRUE(tail.Errors().contains("stopping"));

    // In a time zone 13:45 ahead of the server's (a quarter-hour zone), the server's wall-clock
    // times still give the right Unix times.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "XYZ-13:45");
    Kvtail json(ServerArgs(server) + QStringList { "--format", "json" }, env);
    ASSERT_TRUE(json.WaitLines(5)) << json.Errors().toStdString();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &line : json.Lines()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_TRUE(doc.isObject())
            << line.toStdString() << ": " << error.errorString().toStdString();
        EXPECT_FALSE(doc.object().value("symbol").toString().isEmpty()) << line.toStdString();
        const qint64 unix = doc.object().value("unix_time").toInteger();
        EXPECT_LE(std::abs(unix - now), 60) << line.toStdString();
        // The time text is the server's wall clock (the server runs in this test's zone).
        const QDateTime serverTime
            = QDateTime::fromString(doc.object().value("time").toString(), "yyyy-MM-dd hh:mm:ss");
        EXPECT_EQ(serverTime.toSecsSinceEpoch(), unix) << line.toStdString();
    }
}

// The local times of kvtail's CSV lines (after the header), in the order printed.
std::vector<QDateTime> CsvTimes(const QStringList &lines)
{
    std::vector<QDateTime> times;
    for (int i = 1; i < lines.size(); ++i)
        times.push_back(QDateTime::fromString(lines[i].section(',', 1, 1), "yyyy-MM-dd hh:mm:ss"));
    return times;
}

TEST(Kvtail, HistoryRangePrintsTheNewestOfTheRangeOldestFirstUpToTheCountAndExits)
{
    AlertServerProcess server({ "--rate", "100" });
    ASSERT_TRUE(server.Start());
    // An hour, two hours ago: the server regenerates alerts for times before it started.
    const QString format = "yyyy-MM-dd hh:mm";
    auto minute = [&](qint64 secs) {
        return QDateTime::fromString(
            QDateTime::currentDateTime().addSecs(secs).toString(format), format);
    };
    const QDateTime from = minute(-7200), to = minute(-3600);
    // Two windows: the cap holds for the run, not for each window.
    Kvtail past(ServerArgs(server)
        + QStringList { "--history", from.toString(format) + ".." + to.toString(format), "--format",
            "csv", "--history-max", "30", "--config", "O=1fffffffffffffffffffffff0_3d_0",
            "--config", "O=1fffffffffffffffffffffff0_3d_0&WN=Second" });
    EXPECT_EQ(past.Finish(10000), 0) << past.Errors().toStdString();
    const auto times = CsvTimes(past.Lines());
    EXPECT_EQ(times.size(), 30u) << "--history-max caps the whole run";
    for (size_t i = 0; i < times.size(); ++i) {
        ASSERT_TRUE(times[i] >= from && times[i] <= to) << times[i].toString().toStdString();
        if (i > 0) {
            EXPECT_LE(times[i - 1], times[i]) << "oldest first, as live alerts";
        }
    }
    ASSERT_FALSE(times.empty());
    EXPECT_GT(times.back(), to.addSecs(-300)) << "the newest end of the range";

    // From the start of the last minute up to now: today's live alerts, the newest last.
    RunFor(1500);
    const QDateTime started = minute(-60);
    Kvtail recent(ServerArgs(server)
        + QStringList { "--history", started.toString(format) + "..now", "--format", "csv" });
    EXPECT_EQ(recent.Finish(10000), 0) << recent.Errors().toStdString();
    const auto now = CsvTimes(recent.Lines());
    ASSERT_GT(now.size(), 50u);
    EXPECT_GE(now.back(), QDateTime::currentDateTime().addSecs(-5));
    for (const QDateTime &time : now)
        ASSERT_GE(time, started) << time.toString().toStdString();
}

TEST(Kvtail, WrongFlagExitsWithUsage)
{
    Kvtail tail({ "--colour", "red" });
    EXPECT_EQ(tail.Finish(), 2);
    EXPECT_TRUE(tail.Errors().contains("usage: kvtail")) << tail.Errors().toStdString();
}

TEST(Kvtail, PasswordFromTheEnvironmentThenARefusedLoginOrALogoutEndsTheRun)
{
    AlertServerProcess server({ "--rate", "200", "--fault", "logout:2" });
    server.SetUsers("ann:s3cret\n");
    ASSERT_TRUE(server.Start());
    const QStringList args { "--server", QStringLiteral("127.0.0.1:%1").arg(server.Port()),
        "--user", "ann" };

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTROVA_PASSWORD", "s3cret");
    Kvtail good(args, env);
    ASSERT_TRUE(good.WaitLines(3)) << good.Errors().toStdString();
    EXPECT_TRUE(good.Errors().contains("logged in as ann"));
    // The server ends the login for good: the run ends with the server's words.
    EXPECT_EQ(good.Finish(10000), 4) << good.Errors().toStdString();
    EXPECT_TRUE(good.Errors().contains("logged out for good: ")) << good.Errors().toStdString();

    env.insert("KESTROVA_PASSWORD", "wrong");
    Kvtail bad(args, env);
    EXPECT_EQ(bad.Finish(10000), 3) << bad.Errors().toStdString();
    EXPECT_TRUE(bad.Errors().contains("login refused: bad password")) << bad.Errors().toStdString();
}

TEST(Kvtail, TheDemoPipedIntoHeadPrintsOnlyItsJsonLinesAndEndsAtOnceWithZero)
{
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KV_BIN_DIR", KV_BIN_DIR);
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(KV_SOURCE_DIR);
    shell.start("bash", { "-o", "pipefail", "-c", "scripts/demo.sh --format json | head -3" });
    ASSERT_TRUE(RunUntil([&] { return shell.state() == QProcess::NotRunning; }, 20000));
    const QString errors = QString::fromUtf8(shell.readAllStandardError());
    EXPECT_EQ(shell.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(shell.exitCode(), 0) << errors.toStdString();
    const QStringList lines = QString::fromUtf8(shell.readAllStandardOutput()).split('\n');
    ASSERT_EQ(lines.size(), 4) << "three lines and the end";
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(QJsonDocument::fromJson(lines[i].toUtf8()).isObject())
            << lines[i].toStdString();
    EXPECT_FALSE(errors.contains("stopping")) << "a closed output ends it quietly";
    EXPECT_FALSE(errors.contains("rror")) << errors.toStdString();
}

TEST(Kvtail, SeveralWindowsAreNamedInTextAndARefusedConfigurationIsSaidOnce)
{
    AlertServerProcess server({ "--rate", "200" });
    ASSERT_TRUE(server.Start());
    Kvtail tail(ServerArgs(server)
        + QStringList { "--config", "form=1&Sh_NH=on&Sh_NL=on&WN=Highs", "--config", "O=zz",
            "--config", "form=1&Sh_GU=on&Sh_GD=on" });
    ASSERT_TRUE(tail.WaitLines(40)) << tail.Errors().toStdString();
    RunFor(500);
    const QStringList lines = tail.Lines();
    EXPECT_TRUE(lines[0].startsWith("WINDOW ")) << lines[0].toStdString();
    QSet<QString> windows;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(' ', Qt::SkipEmptyParts);
        ASSERT_GE(fields.size(), 5) << lines[i].toStdString();
        // The server's name for the first window, the number of the third.
        const QString expected = fields[0] == "Highs" ? "NH NL" : "GU GD";
        EXPECT_TRUE(fields[0] == "Highs" || fields[0] == "#3") << lines[i].toStdString();
        EXPECT_TRUE(expected.split(' ').contains(fields[4])) << lines[i].toStdString();
        windows.insert(fields[0]);
    }
    EXPECT_EQ(windows.size(), 2);
    const QString errors = tail.Errors();
    EXPECT_EQ(
        errors.count("refused the configuration of window 2 (\"O=zz\"): Invalid alert type"), 1)
        << errors.toStdString();
}

TEST(Kvtail, ReconnectionAttemptsAreSaidOnceEachWithAGrowingDelay)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there now
    Kvtail tail({ "--server", QStringLiteral("127.0.0.1:%1").arg(port), "--user", "ann",
        "--password", "pw" });
    ASSERT_TRUE(RunUntil([&] { return tail.Errors().contains("(attempt 4)"); }, 10000))
        << tail.Errors().toStdString();
    ::kill(static_cast<pid_t>(tail.Process.processId()), SIGTERM);
    EXPECT_EQ(tail.Finish(), 143);

    static const QRegularExpression attempt(
        R"(^kvtail: reconnecting in ([0-9.]+) s \(attempt (\d+)\): .*Connection refused)");
    QStringList lines = tail.Errors().split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), QSet<QString>(lines.begin(), lines.end()).size()) << "no repeats";
    double lastDelay = 0;
    int expectedAttempt = 2;
    for (const QString &line : lines) {
        const auto match = attempt.match(line);
        if (!match.hasMatch())
            continue;
        EXPECT_EQ(match.captured(2).toInt(), expectedAttempt++) << line.toStdString();
        EXPECT_GT(match.captured(1).toDouble(), lastDelay) << line.toStdString();
        lastDelay = match.captured(1).toDouble();
    }
    EXPECT_GE(expectedAttempt, 5);
}

} // namespace
