// Symbol-list edits as a host makes them through the exports, against the reference server: what
// the server's store holds afterwards, read over a connection of the test's own.

#include "host/HostLibrary.h"
#include "support/AlertServerProcess.h"
#include "support/QtLoop.h"
#include "support/ServerWitness.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using kvhost::Kv;

namespace {

int ListsDelivered = 0;
void OnListsReady()
{
    ++ListsDelivered;
}

QJsonObject Diagnostics()
{
    return QJsonDocument::fromJson(QByteArray(Kv().KV_GetDiagnostics())).object();
}

// The host's list-of-lists array, one "id name" line per entry.
std::string HostLists()
{
    std::string text;
    for (const KV_ListEntry *e = Kv().KV_ReadListOfLists(); e && e->ListId; ++e)
        text += std::to_string(e->ListId) + " " + e->ListName + "\n";
    return text;
}

TEST(HostListEdits, EditsMadeWhileTheLoginIsRefusedAreStoredOnceTheRightPasswordIsSet)
{
    ASSERT_EQ(Kv().Error, "");
    kvtest::AlertServerProcess server;
    server.SetUsers("ann:pw\n");
    ASSERT_TRUE(server.Start()) << server.Log();
    const quint16 port = server.Port();
    Kv().KV_SetListOfListsCallback(OnListsReady);
    Kv().KV_SetTcpIpServerAddress(("127.0.0.1:" + std::to_string(port)).c_str());
    Kv().KV_SetUsernameAndPassword("ann", "typo");

    // Sent at once, right behind the login the server refuses; then more while it is refused.
    Kv().KV_SetListName(5, "Watch", 0);
    Kv().KV_AddSymbolToList(5, " abc ");
    Kv().KV_RequestListOfLists();
    ASSERT_TRUE(kvtest::RunUntil([] { return Diagnostics()["login"] == "bad password"; }, 10000))
        << server.Log();
    Kv().KV_AddSymbolToList(5, "def");
    Kv().KV_AddSymbolToList(6, "xyz");
    kvtest::RunFor(3000); // past the first resends
    EXPECT_EQ(kvtest::ServerLists(port, "ann"), "");
    EXPECT_EQ(Diagnostics()["list_edits_waiting"].toInt(), 2);
    EXPECT_EQ(ListsDelivered, 0) << "the host is not told it has no lists";

    Kv().KV_SetUsernameAndPassword("ann", "pw");
    const std::string stored = "5 \"Watch\": ABC DEF\n6 \"List #6\": XYZ\n";
    EXPECT_TRUE(kvtest::RunUntil([&] { return kvtest::ServerLists(port, "ann") == stored; }, 15000))
        << kvtest::ServerLists(port, "ann") << server.Log();
    EXPECT_TRUE(kvtest::RunUntil([] { return Diagnostics()["list_edits_waiting"] == 0; }));

    // The request made while refused is answered after the login; asked again, the lists are
    // the stored ones.
    ASSERT_TRUE(kvtest::RunUntil([] { return ListsDelivered == 1; }, 15000));
    Kv().KV_RequestListOfLists();
    ASSERT_TRUE(kvtest::RunUntil([] { return ListsDelivered == 2; }, 10000));
    EXPECT_EQ(HostLists(), "5 Watch\n6 List #6\n");
    Kv().KV_SetListOfListsCallback(nullptr);
}

} // namespace
