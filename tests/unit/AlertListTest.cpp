// The sortable alert list: ring and sorted store, modes, batches, sort keys and comparison.

#include "alerts/AlertLists.h"
#include "support/Exceptions.h"

#include <cctype>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace kestrova;

namespace {

const double NaN = std::nan("");

TAlertRecord Alert(const std::string &symbol, int num = 0, double quality = NaN)
{
    TAlertRecord r;
    r.Symbol = symbol;
    r.Num = num;
    r.Quality = quality;
    return r;
}

std::vector<std::string> Symbols(const TAlertList &list)
{
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.Count(); ++i) {
        TAlertRecord r;
        list.GetAlert(i, r);
        out.push_back(r.Symbol);
    }
    return out;
}

using Strings = std::vector<std::string>;

TEST(AlertList, LiveRingShowsNewestFirstAndOverwritesOldest)
{
    TSortableAlertList list(3);
    list.AddAlerts({ Alert("B"), Alert("A") }, false); // arrival order: A, then B
    list.AddAlerts({ Alert("E"), Alert("D"), Alert("C") }, false);
    EXPECT_EQ(Symbols(list), (Strings { "E", "D", "C" }));
    EXPECT_EQ(list.RingCount(), 3);
    // The sorted store keeps the latest of each symbol, cut back to capacity after the batch.
    EXPECT_EQ(list.SortedCount(), 3);
    TAlertRecord r;
    EXPECT_THROW(list.GetAlert(3, r), EAssertionFailed);
    EXPECT_THROW(list.GetAlert(-1, r), EAssertionFailed);
}

TEST(AlertList, HistoryModeClearsOnSwitchAndStopsWhenTheRingIsFull)
{
    TSortableAlertList list(2);
    list.AddAlerts({ Alert("L") }, false);
    list.AddAlerts({ Alert("H1"), Alert("H2") }, true);
    EXPECT_TRUE(list.HistoryMode());
    EXPECT_EQ(Symbols(list), (Strings { "H1", "H2" })); // history rows in arrival order
    list.AddAlerts({ Alert("H3") }, true);
    EXPECT_EQ(Symbols(list), (Strings { "H1", "H2" }));
    list.SetSortKey(cdSymbol);
    EXPECT_EQ(Symbols(list), (Strings { "H1", "H2" }));
    list.AddAlerts({ Alert("L2") }, false);
    EXPECT_FALSE(list.HistoryMode());
    EXPECT_EQ(Symbols(list), (Strings { "L2" }));
}

TEST(AlertList, UnsortableKeyKeepsTheLastSortableKeyAndShowsTheRing)
{
    TSortableAlertList list;
    list.AddAlerts({ Alert("B", 1), Alert("C", 3), Alert("A", 2) }, true);
    list.SetSortKey(cdNum);
    EXPECT_EQ(Symbols(list), (Strings { "C", "A", "B" }));
    list.SetSortKey(cdAge);
    EXPECT_FALSE(list.IsSorted());
    EXPECT_EQ(list.LastSortableKey(), cdNum);
    EXPECT_EQ(Symbols(list), (Strings { "B", "C", "A" }));
    // The store keeps sorting by the last sortable key while rows come from the ring.
    list.AddAlerts({ Alert("D", 9) }, true);
    list.SetFrozen(true);
    EXPECT_EQ(Symbols(list), (Strings { "D", "C", "A", "B" }));
}

TEST(AlertList, IsFromLastBatchMarksOnlyTheLatestBatch)
{
    TSortableAlertList list;
    list.AddAlerts({ Alert("A"), Alert("B") }, false);
    list.AddAlerts({ Alert("C") }, false);
    EXPECT_EQ(list.BatchCounter(), 2);
    EXPECT_TRUE(list.IsFromLastBatch(0));
    EXPECT_FALSE(list.IsFromLastBatch(1));
    EXPECT_FALSE(list.IsFromLastBatch(2));
    EXPECT_FALSE(list.IsFromLastBatch(3));
    TAlertRecord r;
    list.GetAlert(0, r);
    EXPECT_EQ(r.BatchNumber, 2);
}

TEST(AlertCompare, NumbersLargestFirstNaNLastTiesBySymbol)
{
    EXPECT_LT(CompareAlerts(Alert("Z", 0, 5), Alert("A", 0, 3), cdQuality), 0);
    EXPECT_LT(CompareAlerts(Alert("Z", 0, -1e300), Alert("A", 0, NaN), cdQuality), 0);
    EXPECT_LT(CompareAlerts(Alert("a", 0, NaN), Alert("B", 0, NaN), cdQuality), 0);
    EXPECT_GT(CompareAlerts(Alert("b", 0, 2), Alert("A", 0, 2), cdQuality), 0);
    EXPECT_EQ(CompareAlerts(Alert("ab"), Alert("AB"), cdDescription), 0);

    TAlertRecord vol = Alert("A"), noVol = Alert("B");
    vol.RelVol = 2;
    vol.Volatility = 0.5;
    noVol.RelVol = 100; // no volatility: its product is NaN and sorts last
    EXPECT_LT(CompareAlerts(vol, noVol, cdWiggle), 0);

    TAlertRecord early = Alert("A"), late = Alert("B");
    early.Time = 46000.5;
    late.Time = early.Time + 0.4 / 86400000; // within a millisecond: equal, then by symbol
    EXPECT_LT(CompareAlerts(early, late, cdTime), 0);
    late.Time = early.Time + 2.0 / 86400000;
    EXPECT_GT(CompareAlerts(early, late, cdTime), 0);
}

// The list as first written: records sorted in place by the quicksort after every batch and
// the symbol index rebuilt. The list keeps its order incrementally; the rows must not differ.
// Random batches also cover a symbol twice in one batch (in any case), replacement after a
// re-sort and big batches into a full store.
class ReferenceList
{
public:
    explicit ReferenceList(int32_t capacity)
        : FCapacity(capacity)
        , FRing(capacity)
    {
    }
    void SetSortKey(TDataTypes key)
    {
        if (key == FSortKey)
            return;
        if (!IsSortableKey(key)) {
            if (IsSortableKey(FSortKey))
                FLast = FSortKey;
            FSortKey = key;
            return;
        }
        FSortKey = FLast = key;
        Sort();
        Reindex();
    }
    void Clear()
    {
        FRingCount = FRingHead = 0;
        FSorted.clear();
        FIndex.clear();
    }
    void AddAlerts(const TAlertRecords &records, bool isHistory)
    {
        ++FBatch;
        if (isHistory)
            for (const auto &r : records)
                AddOne(r, true);
        else
            for (auto it = records.rbegin(); it != records.rend(); ++it)
                AddOne(*it, false);
        Sort();
        if (static_cast<int32_t>(FSorted.size()) > FCapacity)
            FSorted.resize(FCapacity);
        Reindex();
    }
    int32_t Count() const
    {
        return IsSortableKey(FSortKey) || Frozen ? static_cast<int32_t>(FSorted.size())
                                                 : FRingCount;
    }
    const TAlertRecord &Row(int32_t i) const
    {
        if (IsSortableKey(FSortKey) || Frozen)
            return FSorted[FHistory ? i : Count() - 1 - i];
        return FRing[FHistory ? i : (FRingHead + FCapacity - i - 1) % FCapacity];
    }
    bool Frozen = false;

private:
    static std::string Upper(std::string s)
    {
        for (char &c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    void AddOne(const TAlertRecord &record, bool isHistory)
    {
        if (FHistory != isHistory) {
            Clear();
            FHistory = isHistory;
        }
        if (FRingCount < FCapacity)
            ++FRingCount;
        else if (FHistory)
            return;
        TAlertRecord &slot = FRing[FRingHead];
        slot = record;
        slot.BatchNumber = FBatch;
        FRingHead = (FRingHead + 1) % FCapacity;
        const auto found = FIndex.find(Upper(record.Symbol));
        if (found != FIndex.end()) {
            FSorted[found->second] = slot;
            return;
        }
        FIndex.emplace(Upper(record.Symbol), static_cast<int32_t>(FSorted.size()));
        FSorted.push_back(slot);
    }
    void Sort()
    {
        if (!Frozen && FSorted.size() > 1)
            QuickSort(0, static_cast<int32_t>(FSorted.size()) - 1,
                IsSortableKey(FSortKey) ? FSortKey : FLast);
    }
    void QuickSort(int32_t left, int32_t right, TDataTypes key)
    {
        const TAlertRecord pivot = FSorted[left + (right - left) / 2];
        int32_t i = left, j = right;
        while (i <= j) {
            while (i <= right && CompareAlerts(FSorted[i], pivot, key) < 0)
                ++i;
            while (j >= left && CompareAlerts(FSorted[j], pivot, key) > 0)
                --j;
            if (i <= j)
                std::swap(FSorted[i++], FSorted[j--]);
        }
        if (left < j)
            QuickSort(left, j, key);
        if (i < right)
            QuickSort(i, right, key);
    }
    void Reindex()
    {
        FIndex.clear();
        for (size_t p = 0; p < FSorted.size(); ++p)
            FIndex.emplace(Upper(FSorted[p].Symbol), static_cast<int32_t>(p));
    }

    int32_t FCapacity;
    std::vector<TAlertRecord> FRing;
    int32_t FRingCount = 0, FRingHead = 0, FBatch = 0;
    bool FHistory = false;
    std::vector<TAlertRecord> FSorted;
    std::map<std::string, int32_t> FIndex;
    TDataTypes FSortKey = cdBlank, FLast = cdSymbol;
};

TEST(AlertList, RandomBatchesKeysAndFreezingGiveTheRowsOfTheStraightforwardList)
{
    std::mt19937 random(11);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::string> symbols;
    for (int i = 0; i < 60; ++i) {
        std::string s(1 + pick(3), 'A');
        for (char &c : s)
            c = static_cast<char>((pick(2) ? 'a' : 'A') + pick(6));
        symbols.push_back(s);
    }
    const TDataTypes keys[] = { cdTime, cdSymbol, cdQuality, cdNum, cdWiggle, cdAge, cdBlank };
    TSortableAlertList list(25);
    ReferenceList reference(25);
    for (int step = 0; step < 3000; ++step) {
        const int action = pick(20);
        if (action == 0) {
            const TDataTypes key = keys[pick(7)];
            list.SetSortKey(key);
            reference.SetSortKey(key);
        } else if (action == 1) {
            const bool frozen = pick(3) == 0;
            list.SetFrozen(frozen);
            reference.Frozen = frozen;
        } else {
            TAlertRecords batch(pick(action == 2 ? 40 : 6));
            for (auto &r : batch) {
                r.Symbol = symbols[pick(60)];
                r.Num = pick(5);
                r.Quality = pick(4) == 0 ? NaN : pick(5);
                r.RelVol = pick(5) == 0 ? NaN : pick(3);
                r.Volatility = pick(3);
                r.Time = 46000 + pick(4) / 86400.0 + pick(3) * 0.0004 / 86400;
            }
            const bool history = pick(15) == 0;
            list.AddAlerts(batch, history);
            reference.AddAlerts(batch, history);
        }
        ASSERT_EQ(list.Count(), reference.Count()) << "step " << step;
        for (int32_t i = 0; i < list.Count(); ++i) {
            TAlertRecord row;
            list.GetAlert(i, row);
            const TAlertRecord &expected = reference.Row(i);
            ASSERT_EQ(row.Symbol, expected.Symbol) << "step " << step << ", row " << i;
            ASSERT_EQ(row.Num, expected.Num);
            ASSERT_EQ(row.BatchNumber, expected.BatchNumber);
        }
    }
}

} // namespace
