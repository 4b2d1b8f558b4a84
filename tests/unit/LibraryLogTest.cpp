// What a host learns from the library: its version, its log through the host's function (levels,
// what that function may call), and KV_GetDiagnostics while the server cannot be reached.

#include "exports/LibraryStartUp.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/GetAlertData.h"
#include "support/DebugLog.h"
#include "support/QtLoop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using namespace kestrova;

std::vector<std::pair<int, std::string>> Lines;

void Collect(int level, const char *line)
{
    Lines.emplace_back(level, line);
}

// A log callback that tries what it must not do.
void CallsExports(int level, const char *line)
{
    Collect(level, line);
    KV_SetVendorID("from the callback");
    ShowDebugMessage("reported from the callback");
}

QJsonObject Diagnostics()
{
    return QJsonDocument::fromJson(QByteArray(KV_GetDiagnostics())).object();
}

class LibraryLog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RestartLibraryForTests();
        Lines.clear();
    }
    void TearDown() override
    {
        KV_SetLogCallback(nullptr);
        RestartLibraryForTests();
    }
};

TEST_F(LibraryLog, TheHostsFunctionGetsEveryReportWithItsLevelUntilSwitchedOff)
{
    KV_SetLogCallback(Collect);
    EXPECT_FALSE(AllAlertsConnectionExists()) << "setting the callback starts nothing";
    ShowDebugMessage("first\r\nsecond");
    ReportException(std::runtime_error("boom"), "Somewhere");
    ShowDebugMessage("careful", llWarning);
    // An export's own report: a user name the server would not take.
    KV_SetUsernameAndPassword(std::string(1001, 'u').c_str(), "pw");
    ASSERT_EQ(Lines.size(), 4u);
    EXPECT_EQ(Lines[0], std::make_pair(KV_LOG_INFO, std::string("first\nsecond")));
    EXPECT_EQ(Lines[1].first, KV_LOG_ERROR);
    EXPECT_NE(Lines[1].second.find("Message=boom, Location=Somewhere"), std::string::npos);
    EXPECT_EQ(Lines[2].first, KV_LOG_WARNING);
    EXPECT_NE(Lines[3].second.find("was refused"), std::string::npos) << Lines[3].second;

    KV_SetLogCallback(nullptr);
    ShowDebugMessage("not passed on");
    EXPECT_EQ(Lines.size(), 4u);
    EXPECT_EQ(DebugLog::Entries().back(), "not passed on");
}

TEST_F(LibraryLog, TheLogCallbackCallsNoExportAndHearsNothingOfItsOwn)
{
    KV_SetVendorID("before");
    KV_SetLogCallback(CallsExports);
    ShowDebugMessage("trigger");
    EXPECT_EQ(AllAlertsConnection().VendorId(), "before");
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_EQ(Lines[0].second, "trigger");
    EXPECT_EQ(DebugLog::Entries().back(), "reported from the callback") << "kept in the log";
    ShowDebugMessage("again");
    EXPECT_EQ(Lines.size(), 2u) << "the callback still works afterwards";
}

TEST_F(LibraryLog, VersionAndDiagnosticsOfALibraryThatCannotReachItsServer)
{
    EXPECT_STREQ(KV_GetVersion(), KV_VERSION_STRING);
    EXPECT_EQ(QStringLiteral("%1.%2.%3")
                  .arg(KV_VERSION_MAJOR)
                  .arg(KV_VERSION_MINOR)
                  .arg(KV_VERSION_PATCH),
        KV_VERSION_STRING);
    EXPECT_FALSE(AllAlertsConnectionExists()) << "asking for the version starts nothing";

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const std::string address = "127.0.0.1:" + std::to_string(closed.serverPort());
    closed.close();
    KV_SetTcpIpServerAddress(address.c_str());
    KV_SetUsernameAndPassword("ann", "pw");
    KV_AddSymbolToList(3, "abc"); // work for the server, which refuses the connection
    KV_AddSymbolToList(4, "xyz");
    ASSERT_TRUE(kvtest::RunUntil(
        [] { return !Diagnostics()["recent_disconnects"].toArray().isEmpty(); }, 5000))
        << KV_GetDiagnostics();

    const QJsonObject d = Diagnostics();
    EXPECT_EQ(d["server"].toString().toStdString(), address);
    EXPECT_EQ(d["user"].toString(), "ann");
    EXPECT_EQ(d["login"].toString(), "unknown");
    EXPECT_TRUE(d["connected_since"].isNull());
    EXPECT_TRUE(d["last_message_age_ms"].isNull());
    EXPECT_EQ(d["alerts_received"].toInt(), 0);
    EXPECT_EQ(d["list_edits_waiting"].toInt(), 2) << "kept while offline";
    EXPECT_TRUE(d["windows"].toArray().isEmpty());
    EXPECT_NE(d["recent_disconnects"][0]["reason"].toString().indexOf("Connection refused"), -1)
        << KV_GetDiagnostics();
}

} // namespace
