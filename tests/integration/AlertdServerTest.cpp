// The real kestrova-alertd over TCP: commands, heartbeat, downloads, symbol lists across a
// restart, and garbage from one client not harming another. Resume and history paging are
// unit-tested on the session and end to end by the session and kvtail tests.

#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/RawServerClient.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>

using namespace kvtest;

namespace {

const char *const AllAlerts = "O=fffff&WN=Everything";

TEST(AlertdServer, HelpAndBadFlags)
{
    QProcess help;
    help.start(QStringLiteral(KV_BIN_DIR "/kestrova-alertd"), { "--help" });
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char *flag :
        { "--listen", "--port", "--data", "--seed", "--rate", "--users", "--fault" })
        EXPECT_TRUE(text.contains(flag)) << flag;

    QProcess bad;
    bad.start(QStringLiteral(KV_BIN_DIR "/kestrova-alertd"), { "--rate", "fast" });
    ASSERT_TRUE(bad.waitForFinished(5000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--rate"));
}

TEST(AlertdServer, LoginPingTimeFormatAndAStreamOfMatchingAlerts)
{
    AlertServerProcess server({ "--rate", "400" });
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    client.Send({ { "command", "set_time_format" }, { "format", "1" } }, false);
    const std::string login
        = client.Call({ { "command", "login" }, { "username", "ann" }, { "password", "pw" } });
    EXPECT_EQ(XmlAttribute(login, "ACCOUNT_STATUS", "STATE"), "good");
    EXPECT_EQ(XmlAttribute(login, "TIME", "SECONDS").size(), 19u) << login;
    EXPECT_NE(XmlAttribute(login, "RESTART", "KEY"), "");
    client.Send(
        { { "command", "confirm_login" }, { "key", XmlAttribute(login, "RESTART", "KEY") } },
        false);
    EXPECT_NE(client.Call({ { "command", "ping" }, { "response", "1" } }), "(no reply)");

    const std::string status
        = client.Call({ { "command", "set_config_info" }, { "window_id", "0000ABCD" },
            { "long_form", "form=1&Sh_NH=ON&Sh_NL=ON&WN=Highs%20%26%20lows" },
            { "skip_history", "1" } });
    EXPECT_EQ(XmlAttribute(status, "STATUS", "WINDOW_NAME"), "Highs & lows");
    EXPECT_EQ(XmlAttribute(status, "STATUS", "SHORT_FORM"),
        "form=1&Sh_NH=ON&Sh_NL=ON&EntireUniverse=1&WN=Highs%20%26%20lows");
    const std::string alerts = client.Call({ { "command", "get_alerts" } });
    ASSERT_GT(CountElements(alerts, "ALERT"), 0) << alerts;
    EXPECT_EQ(XmlAttribute(alerts, "WINDOW", "ID"), "0000ABCD");
    for (size_t p = 0; (p = alerts.find(" TYPE=\"", p)) != std::string::npos; ++p) {
        const std::string type = alerts.substr(p + 7, 3);
        EXPECT_TRUE(type == "NH\"" || type == "NL\"") << type;
    }
    EXPECT_EQ(XmlAttribute(alerts, "ALERT", "TIME").size(), 19u) << "server-time form";
    EXPECT_NE(XmlAttribute(alerts, "RESTART", "LAST_ID"), "");

    client.Call({ { "command", "remove_config_info" }, { "window_id", "0000ABCD" } });
    EXPECT_EQ(server.Stop(), 0) << "SIGTERM stops it cleanly";
}

TEST(AlertdServer, IdlePollIsAnsweredByTheHeartbeat)
{
    AlertServerProcess server({ "--rate", "0", "--heartbeat-ms", "300" });
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    client.Call({ { "command", "login" }, { "username", "ann" } });
    client.Call(
        { { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", AllAlerts } });
    for (int i = 0; i < 3; ++i) {
        const std::string reply = client.Call({ { "command", "get_alerts" } }, 3000);
        EXPECT_EQ(reply.find("<DATA>"), std::string::npos) << reply;
        EXPECT_NE(XmlAttribute(reply, "RESTART", "LAST_ID"), "") << reply;
    }
}

// Which file is which is unit-tested; this checks the download command serves them.
TEST(AlertdServer, DownloadServesGeneralInfoAndGifs)
{
    AlertServerProcess server;
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const std::string info = client.Call(
        { { "command", "download" }, { "location", "/Misc/" }, { "file", "GeneralInfo.xml" } });
    EXPECT_NE(info.find("<FORMATTING>"), std::string::npos);
    const std::string icon = client.Call(
        { { "command", "download" }, { "location", "/Alerts/" }, { "file", "GU.gif" } });
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar *>(icon.data()), int(icon.size())));
    EXPECT_EQ(image.size(), QSize(40, 20));
}

TEST(AlertdServer, SymbolListsPersistAcrossARestart)
{
    QTemporaryDir data;
    {
        AlertServerProcess server({}, data.path());
        ASSERT_TRUE(server.Start());
        RawServerClient client;
        ASSERT_TRUE(client.Connect(server.Port()));
        client.Call({ { "command", "login" }, { "username", "ann" } });
        const std::string reply = client.Call({ { "command", "update_list" }, { "id", "7" },
            { "name", "Movers" }, { "add", "abc\nxyz\n" }, { "request_list", "1" } });
        EXPECT_EQ(CountElements(reply, "SYMBOL"), 2) << reply;
        client.Call(
            { { "command", "update_list" }, { "id", "8" }, { "name", "Temp" }, { "add", "Q\n" } });
        client.Call({ { "command", "update_list" }, { "id", "8" }, { "name", "Temp" },
            { "delete_list", "1" } });
        ASSERT_EQ(server.Stop(), 0);
    }
    AlertServerProcess server({}, data.path());
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    client.Call({ { "command", "login" }, { "username", "ann" } });
    const std::string lists = client.Call({ { "command", "get_list_of_lists" } });
    EXPECT_EQ(CountElements(lists, "LIST"), 1) << lists;
    EXPECT_EQ(XmlAttribute(lists, "LIST ", "ID"), "7");
    EXPECT_EQ(XmlAttribute(lists, "LIST ", "NAME"), "Movers");
    const std::string symbols = client.Call({ { "command", "update_list" }, { "id", "7" },
        { "name", "Movers" }, { "request_list", "1" } });
    EXPECT_NE(symbols.find("NAME=\"XYZ\""), std::string::npos);
    client.Call({ { "command", "delete_all_lists" } });
    EXPECT_EQ(CountElements(client.Call({ { "command", "get_list_of_lists" } }), "LIST"), 0);
}

TEST(AlertdServer, UsersFileRefusesUnknownUsersAndWrongPasswords)
{
    AlertServerProcess server;
    server.SetUsers("ann:secret\n");
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    auto state = [&](const char *user, const char *password) {
        return XmlAttribute(
            client.Call({ { "command", "login" }, { "username", user }, { "password", password } }),
            "ACCOUNT_STATUS", "STATE");
    };
    EXPECT_EQ(state("bob", "secret"), "bad username");
    EXPECT_EQ(state("ann", "guess"), "bad password");
    // A refused login's list requests are refused too, in the form the client reads as failure.
    for (const char *command : { "update_list", "delete_all_lists", "get_list_of_lists" }) {
        const std::string reply
            = client.Call({ { "command", command }, { "id", "1" }, { "add", "ABC\n" } });
        EXPECT_EQ(XmlAttribute(reply, "STATUS", "KV-ErrorMsg"), "Not logged in.") << command;
    }
    EXPECT_EQ(state("ann", "secret"), "good");
    EXPECT_EQ(CountElements(client.Call({ { "command", "get_list_of_lists" } }), "LIST"), 0);
}

TEST(AlertdServer, GarbageDisconnectsOnlyItsSender)
{
    AlertServerProcess server({ "--rate", "50" });
    ASSERT_TRUE(server.Start());
    RawServerClient good;
    ASSERT_TRUE(good.Connect(server.Port()));
    good.Call({ { "command", "login" }, { "username", "ann" } });

    RawServerClient badPreamble, badZlib, oversized;
    ASSERT_TRUE(badPreamble.Connect(server.Port(), false));
    badPreamble.SendRaw("GET / HTTP/1.0\r\n\r\n" + std::string(64, 'x'));
    ASSERT_TRUE(badZlib.Connect(server.Port()));
    badZlib.SendRaw(std::string(100, '\x07'));
    ASSERT_TRUE(oversized.Connect(server.Port()));
    oversized.Send(
        { { "command", "set_config_info" }, { "long_form", std::string(2 << 20, 'a') } });
    for (auto *bad : { &badPreamble, &badZlib, &oversized })
        EXPECT_TRUE(bad->WaitDisconnected());

    EXPECT_NE(good.Call({ { "command", "ping" } }), "(no reply)");
    EXPECT_TRUE(server.Running());
}

// The login and unfinished-request time-outs are unit-tested on the session's clock.
TEST(AlertdServer, LimitsClientsAndTheBytesTheyHold)
{
    AlertServerProcess server({ "--max-clients", "3", "--max-buffered-mb", "1" });
    ASSERT_TRUE(server.Start());
    RawServerClient good, held, hog;
    ASSERT_TRUE(good.Connect(server.Port()));
    good.Call({ { "command", "login" }, { "username", "ann" } });
    // 400 KiB and 700 KiB of unfinished requests exceed 1 MiB: the larger goes.
    ASSERT_TRUE(held.Connect(server.Port()));
    held.SendPlain(UnfinishedRequest(1, 400 << 10));
    ASSERT_TRUE(hog.Connect(server.Port()));
    hog.SendPlain(UnfinishedRequest(1, 700 << 10));
    EXPECT_TRUE(hog.WaitDisconnected());

    // A third connection is served; a fourth is refused.
    RawServerClient third, fourth;
    ASSERT_TRUE(third.Connect(server.Port()));
    EXPECT_NE(third.Call({ { "command", "ping" } }), "(no reply)");
    fourth.Connect(server.Port()); // (closed at once, maybe before it counts as connected)
    EXPECT_TRUE(fourth.WaitDisconnected());

    // The one within the limit finishes its request and is answered.
    std::string end = "a";
    kestrova::AppendLittleEndian32(end, 0);
    held.SendPlain(end);
    std::string reply;
    ASSERT_TRUE(held.WaitFrame(1, reply));
    EXPECT_NE(XmlAttribute(reply, "STATUS", "KV-ErrorMsg"), "");
    EXPECT_NE(good.Call({ { "command", "ping" } }), "(no reply)");
    const std::string log = server.Log();
    EXPECT_NE(log.find("above the limit of 1048576"), std::string::npos) << log;
    EXPECT_NE(log.find("refused (3 clients already"), std::string::npos) << log;
}

TEST(AlertdLoad, HelpIsPrintedAndATerminatedRunLeavesNothingBehind)
{
    QProcess help;
    help.start(QStringLiteral(KV_BIN_DIR "/alertd_load"), { "--help" });
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    const QString usage = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_TRUE(usage.startsWith("Usage: alertd_load")) << usage.toStdString();
    EXPECT_TRUE(usage.contains("--clients"));

    QTemporaryDir temp;
    QProcess load;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", temp.path());
    load.setProcessEnvironment(env);
    load.start(QStringLiteral(KV_BIN_DIR "/alertd_load"),
        { "--clients", "2", "--seconds", "60", "--rate", "100" });
    QByteArray log;
    ASSERT_TRUE(RunUntil([&] {
        log += load.readAllStandardError();
        return log.contains("connection 2 from");
    })) << log.toStdString();
    ASSERT_FALSE(QDir(temp.path()).isEmpty()) << "the server's data directory";
    ::kill(static_cast<pid_t>(load.processId()), SIGTERM);
    ASSERT_TRUE(load.waitForFinished(10000));
    log += load.readAllStandardError();
    EXPECT_EQ(load.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(log.contains("signal received, stopping")) << "the server is stopped too";
    EXPECT_TRUE(QDir(temp.path()).isEmpty())
        << QDir(temp.path())
               .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
               .join(' ')
               .toStdString();
}

} // namespace
