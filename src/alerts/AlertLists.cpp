#include "alerts/AlertLists.h"

#include "support/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace kestrova {

namespace {

constexpr double OneMillisecond = 1.0 / (24.0 * 60 * 60 * 1000);

std::string UpperAscii(const std::string &text)
{
    std::string upper = text;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Largest first; NaN after every number; two NaNs are equal.
int CompareDescending(double a, double b)
{
    const bool aNan = std::isnan(a), bNan = std::isnan(b);
    if (aNan || bNan)
        return aNan == bNan ? 0 : (aNan ? 1 : -1);
    if (a > b)
        return -1;
    if (a < b)
        return 1;
    return 0;
}

int CompareTimes(double a, double b)
{
    if (std::fabs(a - b) < OneMillisecond)
        return 0;
    return CompareDescending(a, b);
}

double Wiggle(const TAlertRecord &r)
{
    if (std::isnan(r.RelVol) || std::isnan(r.Volatility))
        return std::nan("");
    return r.RelVol * r.Volatility;
}

int CompareByKey(const TAlertRecord &a, const TAlertRecord &b, TDataTypes key)
{
    switch (key) {
    case cdTime:
        return CompareTimes(a.Time, b.Time);
    case cdSymbol:
        return CompareSymbols(a.Symbol, b.Symbol);
    case cdQuality:
        return CompareDescending(a.Quality, b.Quality);
    case cdRelVol:
        return CompareDescending(a.RelVol, b.RelVol);
    case cdNum:
        return CompareDescending(a.Num, b.Num);
    case cdDailyRange:
        return CompareDescending(a.DayRange, b.DayRange);
    case cdVolatility:
        return CompareDescending(a.Volatility, b.Volatility);
    case cdStandardDeviation:
        return CompareDescending(a.StdDev, b.StdDev);
    case cdWiggle:
        return CompareDescending(Wiggle(a), Wiggle(b));
    default:
        return 0;
    }
}

} // namespace

bool IsSortableKey(TDataTypes key)
{
    switch (key) {
    case cdTime:
    case cdSymbol:
    case cdQuality:
    case cdRelVol:
    case cdNum:
    case cdDailyRange:
    case cdVolatility:
    case cdStandardDeviation:
    case cdWiggle:
        return true;
    default:
        return false;
    }
}

int CompareSymbols(const std::string &a, const std::string &b)
{
    const std::string ua = UpperAscii(a), ub = UpperAscii(b);
    if (ua == ub)
        return 0;
    const int collated = std::strcoll(ua.c_str(), ub.c_str());
    if (collated != 0)
        return collated < 0 ? -1 : 1;
    return ua < ub ? -1 : 1;
}

int CompareAlerts(const TAlertRecord &a, const TAlertRecord &b, TDataTypes key)
{
    const int result = CompareByKey(a, b, key);
    if (result != 0 || key == cdSymbol)
        return result;
    return CompareSymbols(a.Symbol, b.Symbol);
}

TSortableAlertList::TSortableAlertList(int32_t capacity)
    : TAlertList(capacity)
{
    KV_ASSERT(capacity > 0, "TSortableAlertList needs a positive capacity");
    FRing.resize(static_cast<size_t>(capacity));
    FSorted.reserve(static_cast<size_t>(capacity) + 50);
}

bool TSortableAlertList::IsSorted() const
{
    return IsSortableKey(FSortKey);
}

void TSortableAlertList::SetSortKey(TDataTypes key)
{
    if (key == FSortKey)
        return;
    if (!IsSortableKey(key)) {
        if (IsSortableKey(FSortKey))
            FLastSortableKey = FSortKey;
        FSortKey = key;
        return;
    }
    FSortKey = FLastSortableKey = key;
    SortStore();
    RebuildIndex(); // positions moved: an index left stale would overwrite other symbols
}

int32_t TSortableAlertList::Count() const
{
    return RowsFromSortedStore() ? SortedCount() : FRingCount;
}

const TAlertRecord &TSortableAlertList::RowRecord(int32_t i) const
{
    KV_ASSERT(IsValidIndex(i), "alert list row out of range");
    if (RowsFromSortedStore())
        return FSorted[static_cast<size_t>(FHistoryMode ? i : SortedCount() - 1 - i)];
    const int32_t position = FHistoryMode ? i : (FRingHead + Capacity - i - 1) % Capacity;
    return FRing[static_cast<size_t>(position)];
}

void TSortableAlertList::GetAlert(int32_t i, TAlertRecord &record) const
{
    record = RowRecord(i);
}

bool TSortableAlertList::IsFromLastBatch(int32_t i) const
{
    return IsValidIndex(i) && RowRecord(i).BatchNumber == FBatchCounter;
}

void TSortableAlertList::Clear()
{
    FRingCount = 0;
    FRingHead = 0;
    FSorted.clear();
    FSymbolIndex.clear();
}

void TSortableAlertList::AddOne(const TAlertRecord &record, bool isHistory)
{
    if (FHistoryMode != isHistory) {
        Clear();
        FHistoryMode = isHistory;
    }
    if (FRingCount < Capacity)
        ++FRingCount;
    else if (FHistoryMode)
        return;
    TAlertRecord &slot = FRing[static_cast<size_t>(FRingHead)];
    slot = record;
    slot.BatchNumber = FBatchCounter;
    FRingHead = (FRingHead + 1) % Capacity;

    std::string key = IndexKey(record.Symbol);
    const auto found = FSymbolIndex.find(key);
    if (found != FSymbolIndex.end()) {
        FSorted[static_cast<size_t>(found->second)] = slot;
        return;
    }
    FSymbolIndex.emplace(std::move(key), SortedCount());
    FSorted.push_back(slot);
}

void TSortableAlertList::AddAlerts(const TAlertRecords &records, bool isHistory)
{
    ++FBatchCounter;
    if (isHistory) {
        for (const TAlertRecord &record : records)
            AddOne(record, true);
    } else {
        for (auto it = records.rbegin(); it != records.rend(); ++it)
            AddOne(*it, false);
    }
    SortStore();
    if (SortedCount() > Capacity)
        FSorted.resize(static_cast<size_t>(Capacity));
    RebuildIndex();
}

void TSortableAlertList::SortStore()
{
    if (!FFrozen && FSorted.size() > 1)
        QuickSort(0, SortedCount() - 1, IsSorted() ? FSortKey : FLastSortableKey);
}

// Hoare partition around the middle element. Recursing into the smaller part and looping on the
// larger keeps the stack depth logarithmic; the order produced is the same either way.
void TSortableAlertList::QuickSort(int32_t left, int32_t right, TDataTypes key)
{
    while (left < right) {
        const TAlertRecord pivot = FSorted[static_cast<size_t>(left + (right - left) / 2)];
        int32_t i = left, j = right;
        while (i <= j) {
            while (i <= right && CompareAlerts(FSorted[static_cast<size_t>(i)], pivot, key) < 0)
                ++i;
            while (j >= left && CompareAlerts(FSorted[static_cast<size_t>(j)], pivot, key) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(FSorted[static_cast<size_t>(i)], FSorted[static_cast<size_t>(j)]);
                ++i;
                --j;
            }
        }
        if (j - left < right - i) {
            QuickSort(left, j, key);
            left = i;
        } else {
            QuickSort(i, right, key);
            right = j;
        }
    }
}

void TSortableAlertList::RebuildIndex()
{
    FSymbolIndex.clear();
    for (int32_t position = 0; position < SortedCount(); ++position)
        FSymbolIndex.emplace(IndexKey(FSorted[static_cast<size_t>(position)].Symbol), position);
}

std::string TSortableAlertList::IndexKey(const std::string &symbol)
{
    return UpperAscii(symbol);
}

} // namespace kestrova
