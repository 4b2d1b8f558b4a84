// build/bin/kvtail against kestrova-alertd: text and JSON lines, a history range, Ctrl-C, a
// wrong flag, and the password taken from KESTROVA_PASSWORD with an accounts file.

#include "support/AlertServerProcess.h"
#include "support/KvtailProcess.h"
#include "support/QtLoop.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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
    EXPECT_EQ(tail.Finish(), 0) << tail.Errors().toStdString();
    EXPECT_TRUE(tail.Errors().contains("stopping"));

    Kvtail json(ServerArgs(server) + QStringList { "--format", "json" });
    ASSERT_TRUE(json.WaitLines(5)) << json.Errors().toStdString();
    for (const QString &line : json.Lines()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_TRUE(doc.isObject())
            << line.toStdString() << ": " << error.errorString().toStdString();
        EXPECT_FALSE(doc.object().value("symbol").toString().isEmpty()) << line.toStdString();
        EXPECT_TRUE(doc.object().contains("time"));
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

TEST(Kvtail, HistoryRangePrintsTheRangeNewestFirstUpToTheCountAndExits)
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
    Kvtail past(ServerArgs(server)
        + QStringList { "--history", from.toString(format) + ".." + to.toString(format), "--format",
            "csv", "--history-max", "30" });
    EXPECT_EQ(past.Finish(10000), 0) << past.Errors().toStdString();
    const auto times = CsvTimes(past.Lines());
    EXPECT_EQ(times.size(), 30u) << "--history-max caps the whole run";
    for (size_t i = 0; i < times.size(); ++i) {
        ASSERT_TRUE(times[i] >= from && times[i] <= to) << times[i].toString().toStdString();
        if (i > 0) {
            EXPECT_GE(times[i - 1], times[i]) << "newest first";
        }
    }
    ASSERT_FALSE(times.empty());
    EXPECT_GT(times.front(), to.addSecs(-300)) << "starts at the newest end of the range";

    // From the start of the last minute up to now: today's live alerts, the newest first.
    RunFor(1500);
    const QDateTime started = minute(-60);
    Kvtail recent(ServerArgs(server)
        + QStringList { "--history", started.toString(format) + "..now", "--format", "csv" });
    EXPECT_EQ(recent.Finish(10000), 0) << recent.Errors().toStdString();
    const auto now = CsvTimes(recent.Lines());
    ASSERT_GT(now.size(), 50u);
    EXPECT_GE(now.front(), QDateTime::currentDateTime().addSecs(-5));
    for (const QDateTime &time : now)
        ASSERT_GE(time, started) << time.toString().toStdString();
}

TEST(Kvtail, WrongFlagExitsWithUsage)
{
    Kvtail tail({ "--colour", "red" });
    EXPECT_EQ(tail.Finish(), 2);
    EXPECT_TRUE(tail.Errors().contains("usage: kvtail")) << tail.Errors().toStdString();
}

TEST(Kvtail, PasswordFromTheEnvironment)
{
    AlertServerProcess server({ "--rate", "200" });
    server.SetUsers("ann:s3cret\n");
    ASSERT_TRUE(server.Start());
    const QStringList args { "--server", QStringLiteral("127.0.0.1:%1").arg(server.Port()),
        "--user", "ann" };

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTROVA_PASSWORD", "s3cret");
    Kvtail good(args, env);
    ASSERT_TRUE(good.WaitLines(3)) << good.Errors().toStdString();
    EXPECT_TRUE(good.Errors().contains("logged in"));

    env.insert("KESTROVA_PASSWORD", "wrong");
    Kvtail bad(args, env);
    EXPECT_TRUE(RunUntil([&] { return bad.Errors().contains("login refused: bad password"); }))
        << bad.Errors().toStdString();
}

} // namespace
