// The exports as a host calls them: start-up on the first call, argument checks, and a library
// that is only configured never opening a connection.

#include "exports/LibraryStartUp.h"
#include "icons/AlertIcons.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/BacktestNames.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "support/DebugLog.h"
#include "support/LoopbackServer.h"
#include "support/QtLoop.h"
#include "symbollists/ListExports.h"
#include "symbollists/SymbolLists.h"

#include <gtest/gtest.h>

namespace {

using namespace kestrova;

class LibraryExports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RestartLibraryForTests();
        ResetTimeDefaults();
        BacktestFeatureName() = "Quorix";
        BacktestWording().clear();
    }
    void TearDown() override
    {
        RestartLibraryForTests();
        ResetTimeDefaults();
    }
};

TEST_F(LibraryExports, FirstCallRunsTheStartUpBlock)
{
    EXPECT_FALSE(AllAlertsConnectionExists());
    KV_Disconnect(); // any export starts the library
    ASSERT_TRUE(AllAlertsConnectionExists());
    auto &session = AllAlertsConnection();
    EXPECT_TRUE(session.HelpEnabled);
    EXPECT_EQ(BacktestFeatureName(), "Backtester");
    EXPECT_EQ(BacktestWording(), "Halvex");
    EXPECT_TRUE(ServerTimeMode());
    EXPECT_EQ(GetTimeFormatsText(), "hh:nn:ss M/d/yyyy|hh:nn:ss");
    EXPECT_EQ(GetTimeFormats(), (TPossibleTimeFormats { "hh:nn:ss", "hh:nn:ss M/d/yyyy" }));
    EXPECT_EQ(session.VendorId(), "DLL");
    EXPECT_EQ(session.LinksCreated(), 0u);

    // Start-up runs once: a later change is not undone by the next export.
    KV_SetVendorID("acme");
    KV_Connect();
    EXPECT_EQ(session.VendorId(), "acme");
    EXPECT_TRUE(ConnectRequested());
    KV_Disconnect();
    EXPECT_FALSE(ConnectRequested());
}

TEST_F(LibraryExports, VendorIdAndHelpUrl)
{
    KV_SetVendorID("");
    EXPECT_EQ(AllAlertsConnection().VendorId(), "");
    KV_SetVendorID(nullptr);
    EXPECT_EQ(AllAlertsConnection().VendorId(), "DLL");

    KV_SetHelpURL("http://help.example/a/");
    EXPECT_TRUE(AllAlertsConnection().HelpEnabled);
    KV_SetHelpURL("");
    EXPECT_FALSE(AllAlertsConnection().HelpEnabled);
    EXPECT_EQ(AllAlertsConnection().HelpUrl, "http://help.example/a/");
    KV_SetHelpURL("http://help.example/b/");
    EXPECT_TRUE(AllAlertsConnection().HelpEnabled);
    EXPECT_EQ(AllAlertsConnection().HelpUrl, "http://help.example/b/");
    KV_SetHelpURL(nullptr);
    EXPECT_FALSE(AllAlertsConnection().HelpEnabled);

    KV_SetReplacementSamplesURL("http://samples.example/");
    EXPECT_EQ(AllAlertsConnection().ReplacementSamplesUrl, "http://samples.example/");
    KV_SetReplacementSamplesURL(nullptr);
    EXPECT_EQ(AllAlertsConnection().ReplacementSamplesUrl, "");
}

TEST_F(LibraryExports, NullPointersAndBadIdsDoNothing)
{
    KV_SetUsernameAndPassword(nullptr, nullptr);
    EXPECT_EQ(AllAlertsConnection().Username(), "");
    KV_SetHttpProxyInformation(nullptr, nullptr, nullptr, 0);
    KV_SetSocksProxyInformation(nullptr, 5, 1080, nullptr, nullptr);
    EXPECT_EQ(AllAlertsConnection().ConnectionSettings().SocksServer, "");
    const std::string address = AllAlertsConnection().ServerAddress();
    KV_SetTcpIpServerAddress(nullptr);
    KV_SetTcpIpServerAddress("");
    EXPECT_EQ(AllAlertsConnection().ServerAddress(), address);

    KV_SetListName(1, nullptr, 1);
    KV_SetListName(0, "zero", 1);
    KV_AddSymbolToList(2, nullptr);
    KV_AddSymbolToList(2, "   ");
    KV_AddSymbolToList(-1, "ABC");
    KV_DeleteSymbolFromList(0, "ABC");
    KV_DeleteSymbolFromList(3, nullptr);
    KV_DeleteList(0);
    KV_SendTempList(-5);
    KV_AddToTempList(nullptr);
    KV_AddToTempList(" \t");
    KV_SetListOfListsCallback(nullptr);
    for (int32_t id : { -5, -1, 0, 1, 2, 3 })
        EXPECT_EQ(SymbolListsHub().FindListController(id), nullptr) << id;
    EXPECT_TRUE(SymbolListExports().TempList().empty());
    EXPECT_EQ(KV_ReadListOfLists(), nullptr);
    KV_SetDebugInformation();
    KV_ProcessMessages(-1);
    KV_ProcessMessages(0);
    EXPECT_EQ(AllAlertsConnection().LinksCreated(), 0u);
}

int ListCallbacks = 0;

TEST_F(LibraryExports, ListOfListsWithoutAUserArrivesEmptyFromTheEventLoop)
{
    // A host that asks again from its callback used to nest without end: each delivery came
    // from inside the request that asked for it.
    ListCallbacks = 0;
    KV_SetListOfListsCallback([] {
        if (++ListCallbacks < 3)
            KV_RequestListOfLists();
    });
    EXPECT_EQ(KV_ReadListOfLists(), nullptr);
    KV_RequestListOfLists();
    EXPECT_EQ(ListCallbacks, 0);
    ASSERT_TRUE(kvtest::RunUntil([] { return ListCallbacks == 3; }, 2000));
    const KV_ListEntry *lists = KV_ReadListOfLists();
    ASSERT_NE(lists, nullptr);
    EXPECT_EQ(lists[0].ListId, 0);
    EXPECT_EQ(lists[0].ListName, nullptr);
    // Edits without a user are dropped, never sent.
    KV_AddSymbolToList(3, " abc ");
    ASSERT_NE(SymbolListsHub().FindListController(3), nullptr);
    EXPECT_EQ(SymbolListsHub().FindListController(3)->Name(), "List #3");
    EXPECT_EQ(AllAlertsConnection().LinksCreated(), 0u);
}

TEST_F(LibraryExports, ConfiguringAloneNeverConnects)
{
    kvtest::LoopbackServer server;
    KV_SetTcpIpServerAddress(server.Address().c_str());
    KV_SetUsernameAndPassword("ann", "pw");
    KV_SetVendorID("acme");
    KV_SetHttpProxyInformation("", "", "", 0);
    KV_SetSocksProxyInformation("", 0, 0, "", "");
    KV_Reset();
    KV_SetUsernameAndPassword("bob", "pw2");
    KV_SetListName(4, "Named only", 0);
    KV_ProcessMessages(300);
    // The session's and the lists' ticks, called directly rather than waited for.
    for (int tick = 0; tick < 3; ++tick) {
        AllAlertsConnection().TimerTick();
        SymbolListsHub().Tick();
    }
    kvtest::RunFor(100);
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(AllAlertsConnection().LinksCreated(), 0u);

    // The first request does connect: the probe above could have seen one.
    KV_AddSymbolToList(4, "abc");
    EXPECT_TRUE(kvtest::RunUntil([&] { return server.ConnectionCount() > 0; }, 5000));
}

TEST_F(LibraryExports, AUserNameLongerThanTheServerTakesIsRefused)
{
    KV_SetUsernameAndPassword("ann", "pw");
    const std::string huge(1001, 'u');
    KV_SetUsernameAndPassword(huge.c_str(), "pw2");
    EXPECT_EQ(AllAlertsConnection().Username(), "ann");
    EXPECT_NE(
        DebugLog::Entries().back().find("user name of 1001 bytes was refused"), std::string::npos);
}

TEST_F(LibraryExports, AfterShutdownExportsAreInert)
{
    KV_SetUsernameAndPassword("ann", "pw");
    KV_AddToTempList("abc");
    IconCache(); // talks through the session: it must not outlive it
    ShutDownLibrary();
    EXPECT_FALSE(AllAlertsConnectionExists());
    EXPECT_FALSE(IconCacheExists());
    KV_SetUsernameAndPassword("bob", "pw");
    KV_AddSymbolToList(1, "abc");
    EXPECT_EQ(KV_ReadListOfLists(), nullptr);
    KV_ProcessMessages(10);
    EXPECT_FALSE(AllAlertsConnectionExists());
}

} // namespace
