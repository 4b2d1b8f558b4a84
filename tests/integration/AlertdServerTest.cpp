// The real kestrova-alertd over TCP: every command, heartbeat, resume, history, downloads,
// symbol lists across a restart, and garbage from one client not harming another.

#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/RawServerClient.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

TEST(AlertdServer, ResumeAfterADroppedConnectionLosesNoAlert)
{
    // The shared log keeps only 50 alerts: what the client missed comes from its account's
    // buffer.
    AlertServerProcess server({ "--rate", "300", "--buffer", "50" });
    ASSERT_TRUE(server.Start());
    std::string key, lastId;
    {
        RawServerClient first;
        ASSERT_TRUE(first.Connect(server.Port()));
        const std::string login = first.Call({ { "command", "login" }, { "username", "ann" } });
        key = XmlAttribute(login, "RESTART", "KEY");
        first.Call(
            { { "command", "set_config_info" }, { "window_id", "W" }, { "long_form", AllAlerts } });
        const std::string alerts = first.Call({ { "command", "get_alerts" } });
        ASSERT_GT(CountElements(alerts, "ALERT"), 0);
        lastId = XmlAttribute(alerts, "RESTART", "LAST_ID");
        first.Close();
    }
    RunFor(700); // alerts keep firing while the client is away
    RawServerClient second;
    ASSERT_TRUE(second.Connect(server.Port()));
    second.Call({ { "command", "login" }, { "username", "ann" }, { "restart_after", lastId },
        { "restart_key", key }, { "sequence", "1" } });
    second.Call({ { "command", "set_config_info" }, { "window_id", "W" },
        { "long_form", AllAlerts }, { "skip_history", "1" } });
    const std::string alerts = second.Call({ { "command", "get_alerts" } });
    ASSERT_GT(CountElements(alerts, "ALERT"), 100) << "everything since the drop";
    // The window takes every alert, so the ids run without a gap (newest first) down to the
    // one after lastId.
    long long expected = std::stoll(XmlAttribute(alerts, "RESTART", "LAST_ID"));
    for (size_t p = 0; (p = alerts.find("<ALERT ID=\"", p)) != std::string::npos; ++p)
        ASSERT_EQ(std::stoll(alerts.substr(p + 11)), expected--);
    EXPECT_EQ(expected, std::stoll(lastId));
}

TEST(AlertdServer, HistoryPagesEndWithFinished)
{
    AlertServerProcess server({ "--rate", "0" });
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    client.Call({ { "command", "login" }, { "username", "ann" } });
    const int32_t listen = client.Send({ { "command", "history_listen" } });
    const auto now = QDateTime::currentSecsSinceEpoch();
    std::string startId;
    int total = 0, rounds = 0;
    for (; rounds < 20; ++rounds) {
        client.Call({ { "command", "set_config_info" }, { "window_id", "H" },
            { "long_form", AllAlerts }, { "long_history", "1" }, { "long_history_max_count", "10" },
            { "long_history_start_id", startId },
            { "long_history_start_time", std::to_string(now - 3600) },
            { "long_history_end_time", "" } });
        std::string body;
        for (;;) {
            ASSERT_TRUE(client.WaitFrame(listen, body)) << "history message";
            ASSERT_EQ(XmlAttribute(body, "MESSAGE", "WINDOW"), "H");
            if (XmlAttribute(body, "MESSAGE", "TYPE") == "finished")
                break;
            ASSERT_EQ(XmlAttribute(body, "MESSAGE", "TYPE"), "alerts");
            const int count = CountElements(body, "ALERT");
            EXPECT_LE(count, 10);
            total += count;
            startId = XmlAttribute(body, "MESSAGE", "RESTART");
            if (count) {
                EXPECT_EQ(XmlAttribute(body, "ALERT", "HISTORICAL"), "1");
            }
        }
        if (startId.empty())
            break;
    }
    EXPECT_GT(rounds, 0) << "an hour does not fit in one request of 10 messages of 10";
    EXPECT_TRUE(startId.empty()) << "the range ends";
    EXPECT_GE(total, 200); // about four alerts a minute
}

TEST(AlertdServer, DownloadsAreGifsQtDecodesAtTheirSizes)
{
    AlertServerProcess server;
    ASSERT_TRUE(server.Start());
    RawServerClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const std::string info = client.Call(
        { { "command", "download" }, { "location", "/Misc/" }, { "file", "GeneralInfo.xml" } });
    ASSERT_NE(info.find("<FORMATTING>"), std::string::npos);
    // A symbol from the stream names the charts.
    client.Call({ { "command", "set_config_info" }, { "window_id", "W" },
        { "long_form", AllAlerts }, { "skip_history", "0" } });
    std::string symbol;
    for (int i = 0; i < 5 && symbol.empty(); ++i)
        symbol
            = XmlAttribute(client.Call({ { "command", "get_alerts" } }, 8000), "ALERT", "SYMBOL");
    ASSERT_FALSE(symbol.empty());
    const std::tuple<const char *, std::string, int, int> files[] = {
        { "/Alerts/", "GU.gif", 40, 20 },
        { "/Filters/", "MaxRV.gif", 40, 20 },
        { "/Texture/", "Slate.gif", 32, 32 },
        { "/GifCharts/", "W_" + symbol + ".gif", 53, 20 },
        { "/GifCharts/", "D_" + symbol + ".gif", 66, 20 },
    };
    for (const auto &[location, file, width, height] : files) {
        const std::string body = client.Call(
            { { "command", "download" }, { "location", location }, { "file", file } });
        QImage image;
        ASSERT_TRUE(
            image.loadFromData(reinterpret_cast<const uchar *>(body.data()), int(body.size())))
            << file;
        EXPECT_EQ(image.size(), QSize(width, height)) << file;
    }
    EXPECT_EQ(client.Call(
                  { { "command", "download" }, { "location", "/Alerts/" }, { "file", "ZZZ.gif" } }),
        "");
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
    QTemporaryDir dir;
    QFile users(dir.filePath("users"));
    ASSERT_TRUE(users.open(QIODevice::WriteOnly));
    users.write("ann:secret\n");
    users.close();
    AlertServerProcess server({ "--users", users.fileName() });
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
    EXPECT_EQ(state("ann", "secret"), "good");
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

} // namespace
