// The string hash table: exact hash and growth steps, look-ups, and fail-fast iterators.

#include "support/HashTables.h"

#include "support/Exceptions.h"

#include <gtest/gtest.h>
#include <map>

using namespace kestrova;

namespace {

std::vector<std::string> KeysInOrder(tHashTable &table)
{
    std::vector<std::string> keys;
    for (auto it = table.NewIterator(); it->IsValidEntry(); it->Next())
        keys.push_back(it->Key());
    return keys;
}

void ExpectMessage(const std::function<void()> &action, const std::string &message)
{
    try {
        action();
        ADD_FAILURE() << "expected \"" << message << "\"";
    } catch (const Exception &e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(HashTables, HashReadsWordsIncludingTheTerminatorThenLeftoverBytes)
{
    EXPECT_EQ(HashKey(""), 0u);
    EXPECT_EQ(HashKey("a"), 97u); // no complete word: 0 * 33 + 'a'
    EXPECT_EQ(HashKey("abc"), 0x00636261u); // "abc\0" is one word
    EXPECT_EQ(HashKey("abcd"), 0x64636261u); // terminator left over, not mixed in
    EXPECT_EQ(HashKey("abcde"), 0xF0CFAEE6u); // word, then 'e' by * 33
    EXPECT_EQ(HashKey("abcdefg"), 0x8719130Fu); // two words: w1 ^ (h * 9 + 1)
    EXPECT_EQ(HashKey("\xFF\xFE"), 8669u); // bytes are unsigned
    EXPECT_EQ(HashKey("symbol=MSFT"), 0x0051322Eu);
}

TEST(HashTables, GrowsThroughThreeSevenThirteenTwentyTwoThirtySix)
{
    tHashTable table(0);
    EXPECT_EQ(table.BucketCount(), 0);
    const std::map<int, int> bucketsAfter { { 1, 3 }, { 2, 3 }, { 3, 7 }, { 5, 7 }, { 6, 13 },
        { 9, 13 }, { 10, 22 }, { 16, 22 }, { 17, 36 } };
    for (int n = 1; n <= 17; ++n) {
        EXPECT_TRUE(table.Put("k" + std::to_string(n), "v"));
        if (bucketsAfter.count(n)) {
            EXPECT_EQ(table.BucketCount(), bucketsAfter.at(n)) << "after " << n << " keys";
        }
    }
    EXPECT_EQ(table.Size(), 17);
}

TEST(HashTables, IterationOrderFollowsBucketsAndHeadInsertionAcrossRehashes)
{
    // 'a', 'h', 'o', 'v' share a bucket of 7; rehashing to 13 walks each chain from its head.
    tHashTable table(0);
    for (const char *k : { "a", "h", "o", "v", "b" })
        table.Put(k, "");
    EXPECT_EQ(KeysInOrder(table), (std::vector<std::string> { "b", "v", "o", "h", "a" }));
    for (const char *k : { "i", "p", "w" })
        table.Put(k, "");
    EXPECT_EQ(
        KeysInOrder(table), (std::vector<std::string> { "h", "i", "v", "w", "a", "o", "b", "p" }));
}

TEST(HashTables, LookUpsOnEmptyAndFilledTables)
{
    tHashTable empty(0);
    EXPECT_EQ(empty.GetValue("x"), "");
    EXPECT_FALSE(empty.ContainsKey("x"));
    EXPECT_EQ(empty.Remove("x"), "");
    EXPECT_FALSE(empty.NewIterator()->IsValidEntry());

    tHashTable table(0);
    table.Store("", "empty key");
    table.Store("Key", "upper");
    EXPECT_TRUE(table.Put("key", "lower"));
    EXPECT_FALSE(table.Put("key", "again"));
    EXPECT_EQ(table.GetValue(""), "empty key");
    EXPECT_EQ(table.GetValue("Key"), "upper");
    EXPECT_EQ(table.GetValue("key"), "again");
    EXPECT_TRUE(table.ContainsValue("upper"));
    EXPECT_FALSE(table.ContainsValue("lower"));
    EXPECT_EQ(table.Remove(""), "empty key");
    EXPECT_FALSE(table.ContainsKey(""));
    EXPECT_EQ(table.Size(), 2);

    const int buckets = table.BucketCount();
    table.Clear();
    EXPECT_EQ(table.Size(), 0);
    EXPECT_EQ(table.BucketCount(), buckets);
    EXPECT_EQ(table.GetValue("Key"), "");
}

TEST(HashTables, ManyKeysSurviveEveryRehashAndRemoval)
{
    tHashTable table(0);
    for (int i = 0; i < 2000; ++i)
        table.Put("symbol" + std::to_string(i), std::to_string(i * 7));
    EXPECT_EQ(table.Size(), 2000);
    EXPECT_EQ(KeysInOrder(table).size(), 2000u);
    for (int i = 0; i < 2000; i += 2)
        EXPECT_EQ(table.Remove("symbol" + std::to_string(i)), std::to_string(i * 7));
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(table.ContainsKey("symbol" + std::to_string(i)), i % 2 == 1) << i;
    EXPECT_EQ(table.Size(), 1000);
}

TEST(HashTables, ReplacingAValueKeepsIteratorsButStructuralChangesInvalidateThem)
{
    tHashTable table(0);
    table.Put("a", "1");
    table.Put("b", "2");
    auto it = table.NewIterator();
    EXPECT_FALSE(table.Put("a", "changed"));
    EXPECT_TRUE(it->IsValid());
    it->SetValue("set");
    EXPECT_TRUE(table.ContainsValue("set"));

    table.Put("c", "3");
    EXPECT_FALSE(it->IsValid());
    for (const std::function<void()> &use :
        std::initializer_list<std::function<void()>> { [&] { it->Next(); }, [&] { it->Key(); },
            [&] { it->HasNext(); }, [&] { it->IsValidEntry(); }, [&] { it->SetValue("x"); } })
        ExpectMessage(use, "Iterator no longer valid");

    auto second = table.NewIterator();
    table.Remove("a");
    ExpectMessage([&] { second->Value(); }, "Iterator no longer valid");
    auto third = table.NewIterator();
    table.Clear();
    EXPECT_FALSE(third->IsValid());
}

TEST(HashTables, IteratorEndsCleanlyAndNoticesTheTableIsGone)
{
    auto table = std::make_unique<tHashTable>(0);
    table->Put("only", "1");
    auto it = table->NewIterator();
    EXPECT_FALSE(it->HasNext());
    EXPECT_TRUE(it->IsValidEntry());
    it->Next();
    EXPECT_FALSE(it->IsValidEntry());
    EXPECT_EQ(it->Key(), "");
    ExpectMessage([&] { it->SetValue("x"); }, "The entry is not valid");
    table.reset();
    EXPECT_FALSE(it->IsValid());
    ExpectMessage([&] { it->Next(); }, "Iterator no longer valid");

    tHashTable single(0);
    single.Put("x", "1");
    auto last = single.NewIterator();
    last->RemoveCurrent(); // removing the last entry ends the iteration
    EXPECT_FALSE(last->HasNext());
    last->Next();
    EXPECT_FALSE(last->IsValidEntry());
    EXPECT_EQ(single.Size(), 0);
}

TEST(HashTables, RemovingThroughTheIteratorVisitsEveryOtherEntryOnce)
{
    tHashTable table(0);
    for (int i = 0; i < 25; ++i)
        table.Put("k" + std::to_string(i), std::to_string(i));
    const std::vector<std::string> order = KeysInOrder(table);

    std::vector<std::string> visited, kept;
    bool remove = true;
    auto it = table.NewIterator();
    while (it->IsValidEntry()) {
        visited.push_back(it->Key());
        EXPECT_EQ(it->HasNext(), visited.size() < order.size());
        if (remove) {
            it->RemoveCurrent();
            EXPECT_TRUE(it->IsValid());
            EXPECT_EQ(it->Key(), "");
            EXPECT_FALSE(it->IsValidEntry());
            it->RemoveCurrent(); // a second removal before Next does nothing
        } else {
            kept.push_back(it->Key());
        }
        remove = !remove;
        it->Next();
    }
    EXPECT_EQ(visited, order);
    EXPECT_EQ(table.Size(), static_cast<int>(kept.size()));
    EXPECT_EQ(KeysInOrder(table), kept);
}

} // namespace
