// The host's symbol-list functions: argument checks, symbol normalisation, the temporary list and
// the list-of-lists array handed to the host.

#include "symbollists/ListExports.h"

#include "support/DebugLog.h"
#include "support/FakeServerRequests.h"
#include "symbollists/SymbolLists.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

class ListExportsTest : public ::testing::Test
{
protected:
    kvtest::FakeServerRequests Server;
    TSymbolListsHub Hub { Server, false };
    TSymbolListExports Exports { Hub };
};

TEST_F(ListExportsTest, SymbolsAreTrimmedAndUpperCasedAndBlankOnesIgnored)
{
    EXPECT_EQ(TSymbolListExports::NormaliseSymbol(" \t msft.x  "), "MSFT.X");
    EXPECT_EQ(TSymbolListExports::NormaliseSymbol(nullptr), "");

    Exports.AddSymbolToList(3, "   ");
    Exports.AddSymbolToList(3, nullptr);
    EXPECT_TRUE(Server.Requests.empty());

    Exports.AddSymbolToList(3, "  ibm ");
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(Server.Requests[0].Message,
        (TMessageToServer { { "id", "3" }, { "name", "List #3" }, { "add", "IBM\n" },
            { "command", "update_list" } }));

    Exports.DeleteSymbolFromList(3, " ibm");
    Server.Answer(0, true);
    EXPECT_EQ(Server.Value(1, "delete"), "IBM\n");
}

TEST_F(ListExportsTest, TextsLongerThanTheServerTakesAreRefusedAndLogged)
{
    const std::string longSymbol(MaxSymbolLength + 1, 'x');
    const std::string hugeName(1 << 20, 'n');
    DebugLog::Clear();
    Exports.AddSymbolToList(1, longSymbol.c_str());
    Exports.DeleteSymbolFromList(1, longSymbol.c_str());
    Exports.AddToTempList(longSymbol.c_str());
    Exports.SetListName(1, hugeName.c_str(), 1);
    EXPECT_TRUE(Server.Requests.empty());
    EXPECT_TRUE(Exports.TempList().empty());
    EXPECT_EQ(Hub.FindListController(1), nullptr);
    ASSERT_EQ(DebugLog::Entries().size(), 4u);
    EXPECT_NE(
        DebugLog::Entries()[3].find("list name of 1048576 bytes was refused"), std::string::npos);

    // At the limits (blanks around a symbol do not count) the edits go out.
    const std::string name(MaxListNameLength, 'n');
    Exports.SetListName(1, name.c_str(), 0);
    Exports.AddSymbolToList(1, ("  " + std::string(MaxSymbolLength, 'y') + "  ").c_str());
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(Server.Value(0, "name"), name);
    EXPECT_EQ(Server.Value(0, "add"), std::string(MaxSymbolLength, 'Y') + "\n");
}

TEST_F(ListExportsTest, IdsOfZeroOrBelowAreIgnoredEverywhere)
{
    for (int32_t id : { 0, -1 }) {
        Exports.SetListName(id, "x", 1);
        Exports.AddSymbolToList(id, "A");
        Exports.DeleteSymbolFromList(id, "A");
        Exports.DeleteList(id);
        Exports.AddToTempList("A");
        Exports.SendTempList(id);
        EXPECT_EQ(Hub.FindListController(id), nullptr);
    }
    EXPECT_TRUE(Server.Requests.empty());
}

TEST_F(ListExportsTest, ANameIsStoredAndOnlyForcedOutWithTheFlag)
{
    Exports.SetListName(8, nullptr, 1);
    Exports.SetListName(8, "Energy", 0);
    EXPECT_TRUE(Server.Requests.empty());
    EXPECT_EQ(Hub.GetListController(8).Name(), "Energy");

    Exports.AddSymbolToList(8, "xom"); // keeps the name it has
    Exports.SetListName(8, "Oil", 1);
    Server.Answer(0, true);
    ASSERT_EQ(Server.Requests.size(), 2u);
    EXPECT_EQ(Server.Value(0, "name"), "Energy");
    EXPECT_EQ(Server.Value(1, "name"), "Oil");
    EXPECT_EQ(Server.Value(1, "delete"), "~~~~~~\n");
}

TEST_F(ListExportsTest, TheTemporaryListReplacesAListAndIsKept)
{
    Exports.SendTempList(7); // nothing added yet: the list is emptied
    EXPECT_EQ(Server.Value(0, "delete_all"), "1");
    Server.Answer(0, true);

    for (const char *s : std::vector<const char *> { "b", " a ", "B", "", nullptr })
        Exports.AddToTempList(s);
    EXPECT_EQ(Exports.TempList(), (std::vector<std::string> { "B", "A", "B" }));
    Exports.SendTempList(7);
    EXPECT_EQ(Server.Value(1, "delete_all"), "1");
    EXPECT_EQ(Server.Value(1, "add"), "A\nB\n");
    EXPECT_EQ(Exports.TempList().size(), 3u);
    Exports.ClearTempList();
    EXPECT_TRUE(Exports.TempList().empty());

    Exports.DeleteList(7);
    Exports.DeleteAllLists();
    EXPECT_TRUE(Server.Requests[1].Cancelled);
    EXPECT_EQ(Server.Value(2, "command"), "delete_all_lists");
    EXPECT_FALSE(Hub.GetListController(7).Pending());
}

int CallbackCalls = 0;
const TExportedListEntry *SeenInCallback = nullptr;
TSymbolListExports *Current = nullptr;
void OnLists()
{
    ++CallbackCalls;
    SeenInCallback = Current->ReadListOfLists();
}

TEST_F(ListExportsTest, TheListOfListsArrayIsRebuiltPerDeliveryAndEmptiedPerRequest)
{
    CallbackCalls = 0;
    Current = &Exports;
    Exports.SetListOfListsCallback(OnLists);
    Exports.RequestListOfLists();
    Exports.RequestListOfLists(); // already waiting: no second request
    ASSERT_EQ(Server.Requests.size(), 1u);
    EXPECT_EQ(Exports.ReadListOfLists(), nullptr);

    Server.Answer(0, true, "<R><LISTS><L ID='12' NAME='Tech'/><L ID='4'/></LISTS></R>");
    EXPECT_EQ(CallbackCalls, 1);
    const TExportedListEntry *entries = Exports.ReadListOfLists();
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(SeenInCallback, entries);
    EXPECT_EQ(entries[0].ListId, 12);
    EXPECT_STREQ(entries[0].ListName, "Tech");
    EXPECT_EQ(entries[1].ListId, 4);
    ASSERT_NE(entries[1].ListName, nullptr);
    EXPECT_STREQ(entries[1].ListName, "");
    EXPECT_EQ(entries[2].ListId, 0);
    EXPECT_EQ(entries[2].ListName, nullptr);

    // Valid until the next request; then null until the next delivery, which may be empty.
    Exports.RequestListOfLists();
    EXPECT_EQ(Exports.ReadListOfLists(), nullptr);
    Exports.SetListOfListsCallback(nullptr);
    Server.Answer(1, true, "<R><LISTS/></R>");
    EXPECT_EQ(CallbackCalls, 1);
    entries = Exports.ReadListOfLists();
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(entries[0].ListId, 0);
    EXPECT_EQ(entries[0].ListName, nullptr);
    Current = nullptr;
}

} // namespace
