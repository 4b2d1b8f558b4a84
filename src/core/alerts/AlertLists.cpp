#include "alerts/AlertLists.h"

#include "support/Exceptions.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <iterator>
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

// strxfrm of text: byte order of the results is the collation order of the texts.
std::string CollationKey(const std::string &text)
{
    std::string out(text.size() * 4 + 16, '\0');
    size_t length = std::strxfrm(out.data(), text.c_str(), out.size());
    if (length >= out.size()) {
        out.assign(length + 1, '\0');
        length = std::strxfrm(out.data(), text.c_str(), out.size());
    }
    out.resize(length);
    return out;
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
}

int32_t TSortableAlertList::Count() const
{
    return RowsFromSortedStore() ? SortedCount() : FRingCount;
}

const TAlertRecord &TSortableAlertList::RowRecord(int32_t i) const
{
    KV_ASSERT(IsValidIndex(i), "alert list row out of range");
    if (RowsFromSortedStore()) {
        const int32_t position = FHistoryMode ? i : SortedCount() - 1 - i;
        return FEntries[static_cast<size_t>(FOrder[static_cast<size_t>(position)])].Record;
    }
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
    FEntries.clear();
    FFreeEntries.clear();
    FOrder.clear();
    FDirty.clear();
    FSymbolIndex.clear();
    FOrderedBy = cdBlank;
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
    int32_t index;
    const auto found = FSymbolIndex.find(key);
    if (found != FSymbolIndex.end()) {
        index = found->second;
    } else {
        if (FFreeEntries.empty()) {
            index = static_cast<int32_t>(FEntries.size());
            FEntries.emplace_back();
        } else {
            index = FFreeEntries.back();
            FFreeEntries.pop_back();
        }
        TEntry &entry = FEntries[static_cast<size_t>(index)];
        entry.Key = key;
        entry.Collated = FByteCollation ? std::string() : CollationKey(entry.Key);
        entry.Dirty = false;
        entry.New = true;
        FSymbolIndex.emplace(std::move(key), index);
        FOrder.push_back(index);
    }
    TEntry &entry = FEntries[static_cast<size_t>(index)];
    entry.Record = slot;
    if (!entry.Dirty) {
        entry.Dirty = true;
        FDirty.push_back(index);
    }
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
    CutToCapacity();
}

void TSortableAlertList::CutToCapacity()
{
    while (SortedCount() > Capacity) {
        const int32_t index = FOrder.back();
        FOrder.pop_back();
        TEntry &entry = FEntries[static_cast<size_t>(index)];
        FSymbolIndex.erase(entry.Key);
        entry.Dirty = false;
        FFreeEntries.push_back(index);
    }
}

void TSortableAlertList::PrepareCollation()
{
    const char *name = std::setlocale(LC_COLLATE, nullptr);
    const std::string locale = name ? name : "";
    if (locale == FCollationLocale)
        return;
    FCollationLocale = locale;
    FByteCollation = locale == "C" || locale == "POSIX";
    for (const int32_t index : FOrder) {
        TEntry &entry = FEntries[static_cast<size_t>(index)];
        entry.Collated = FByteCollation ? std::string() : CollationKey(entry.Key);
    }
    FOrderedBy = cdBlank;
}

// The same result as CompareSymbols on the entries' symbols.
int TSortableAlertList::CompareKeys(const TEntry &a, const TEntry &b) const
{
    if (a.Key == b.Key)
        return 0;
    const int collated = FByteCollation ? std::strcmp(a.Key.c_str(), b.Key.c_str())
                                        : a.Collated.compare(b.Collated);
    if (collated != 0)
        return collated < 0 ? -1 : 1;
    return a.Key < b.Key ? -1 : 1;
}

int TSortableAlertList::CompareEntries(int32_t a, int32_t b, TDataTypes key) const
{
    const TEntry &ea = FEntries[static_cast<size_t>(a)];
    const TEntry &eb = FEntries[static_cast<size_t>(b)];
    if (key != cdSymbol) {
        const int result = CompareByKey(ea.Record, eb.Record, key);
        if (result != 0)
            return result;
    }
    return CompareKeys(ea, eb);
}

void TSortableAlertList::SortStore()
{
    if (FFrozen) {
        FOrderedBy = cdBlank;
    } else {
        const TDataTypes key = IsSorted() ? FSortKey : FLastSortableKey;
        PrepareCollation();
        if (FOrder.size() > 1) {
            // Symbols are unique in the store, so every key but the time (equal within 1 ms,
            // which is not transitive) orders it strictly: any correct sort gives the quicksort's
            // result, and entries that did not change since the last sort stay in order.
            if (key == cdTime)
                QuickSort(0, SortedCount() - 1, key);
            else if (FOrderedBy == key)
                MergeDirty(key);
            else
                std::sort(FOrder.begin(), FOrder.end(),
                    [&](int32_t a, int32_t b) { return CompareEntries(a, b, key) < 0; });
        }
        FOrderedBy = key == cdTime ? cdBlank : key;
    }
    for (const int32_t index : FDirty) {
        FEntries[static_cast<size_t>(index)].Dirty = false;
        FEntries[static_cast<size_t>(index)].New = false;
    }
    FDirty.clear();
}

void TSortableAlertList::MergeDirty(TDataTypes key)
{
    const auto less = [&](int32_t a, int32_t b) { return CompareEntries(a, b, key) < 0; };
    // Under the symbol key a replaced entry keeps its place; only new symbols move.
    std::vector<int32_t> &changed = FScratch;
    changed.clear();
    for (const int32_t index : FDirty) {
        TEntry &entry = FEntries[static_cast<size_t>(index)];
        if (key == cdSymbol && !entry.New)
            entry.Dirty = false;
        else
            changed.push_back(index);
    }
    if (changed.empty())
        return;
    FOrder.erase(std::remove_if(FOrder.begin(), FOrder.end(),
                     [&](int32_t index) { return FEntries[static_cast<size_t>(index)].Dirty; }),
        FOrder.end());
    std::sort(changed.begin(), changed.end(), less);
    // Few changes into a long store: binary insertion; else one merge.
    if (changed.size() * 8 < FOrder.size()) {
        auto from = FOrder.begin();
        for (const int32_t index : changed)
            from = FOrder.insert(std::upper_bound(from, FOrder.end(), index, less), index) + 1;
    } else {
        std::vector<int32_t> kept;
        kept.swap(FOrder);
        FOrder.reserve(kept.size() + changed.size());
        std::merge(kept.begin(), kept.end(), changed.begin(), changed.end(),
            std::back_inserter(FOrder), less);
    }
}

// Hoare partition around the middle element. Recursing into the smaller part and looping on the
// larger keeps the stack depth logarithmic; the order produced is the same either way.
void TSortableAlertList::QuickSort(int32_t left, int32_t right, TDataTypes key)
{
    while (left < right) {
        const int32_t pivot = FOrder[static_cast<size_t>(left + (right - left) / 2)];
        int32_t i = left, j = right;
        while (i <= j) {
            while (i <= right && CompareEntries(FOrder[static_cast<size_t>(i)], pivot, key) < 0)
                ++i;
            while (j >= left && CompareEntries(FOrder[static_cast<size_t>(j)], pivot, key) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(FOrder[static_cast<size_t>(i)], FOrder[static_cast<size_t>(j)]);
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

std::string TSortableAlertList::IndexKey(const std::string &symbol)
{
    return UpperAscii(symbol);
}

} // namespace kestrova
