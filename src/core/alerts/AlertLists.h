#pragma once
// The store behind one alert grid: the most recent alerts in arrival order, and beside them the
// latest alert of each symbol in a sorted array. GUI thread only.

#include "alerts/DataTypes.h"
#include "session/AlertRecord.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrova {

// What a grid asks of its alert list. Rows are numbered from 0 to Count() - 1.
class TAlertList
{
public:
    explicit TAlertList(int32_t capacity)
        : Capacity(capacity)
    {
    }
    virtual ~TAlertList() = default;

    virtual bool IsSorted() const = 0;
    virtual TDataTypes GetSortKey() const = 0;
    virtual void SetSortKey(TDataTypes key) = 0;
    virtual bool GetFrozen() const = 0;
    virtual void SetFrozen(bool frozen) = 0;
    virtual bool IsValidIndex(int32_t i) const = 0;
    // Copies the alert shown at row i; an invalid row raises EAssertionFailed.
    virtual void GetAlert(int32_t i, TAlertRecord &record) const = 0;
    virtual void Clear() = 0;
    virtual int32_t Count() const = 0;
    virtual void AddOne(const TAlertRecord &record, bool isHistory) = 0;
    virtual void AddAlerts(const TAlertRecords &records, bool isHistory) = 0;
    virtual bool IsFromLastBatch(int32_t i) const = 0;

    // Most alerts kept in arrival order and, after each batch, in the sorted store.
    const int32_t Capacity;
};

// True for the keys the sorted store can be ordered by.
bool IsSortableKey(TDataTypes key);

// Orders two alerts as the sorted store keeps them under key: negative when a comes first.
// Numbers: largest first, NaN after every number, NaN equal to NaN; times newest first, equal
// within 1 ms; symbols ascending, case-insensitive in the current locale. Ties, and keys that
// compare nothing, fall back to the symbol.
int CompareAlerts(const TAlertRecord &a, const TAlertRecord &b, TDataTypes key);

// Case-insensitive symbol order in the current collation locale (strcoll on upper-cased copies,
// bytes as the final tie-break so that the order is total).
int CompareSymbols(const std::string &a, const std::string &b);

class TSortableAlertList : public TAlertList
{
public:
    explicit TSortableAlertList(int32_t capacity = 1000);

    bool IsSorted() const override;
    TDataTypes GetSortKey() const override { return FSortKey; }
    // An unsortable key shows the recent ring and keeps the last sortable key for later; a
    // sortable key re-sorts the store (unless frozen).
    void SetSortKey(TDataTypes key) override;
    bool GetFrozen() const override { return FFrozen; }
    void SetFrozen(bool frozen) override { FFrozen = frozen; }
    bool IsValidIndex(int32_t i) const override { return i >= 0 && i < Count(); }
    void GetAlert(int32_t i, TAlertRecord &record) const override;
    void Clear() override;
    int32_t Count() const override;
    // Adds one alert to the ring and to the sorted store (replacing the symbol's previous entry).
    // Switching between live and history clears the list first; a full history ring takes
    // nothing more, a full live ring overwrites its oldest entry.
    void AddOne(const TAlertRecord &record, bool isHistory) override;
    // Adds one batch (history first to last, live last to first), then sorts the store and cuts
    // it back to Capacity. Within a batch the store grows as needed.
    void AddAlerts(const TAlertRecords &records, bool isHistory) override;
    // False for an invalid row.
    bool IsFromLastBatch(int32_t i) const override;

    bool HistoryMode() const { return FHistoryMode; }
    int32_t BatchCounter() const { return FBatchCounter; }
    TDataTypes LastSortableKey() const { return FLastSortableKey; }
    int32_t SortedCount() const { return static_cast<int32_t>(FOrder.size()); }
    int32_t RingCount() const { return FRingCount; }

private:
    // One symbol's latest alert in the sorted store. Entries stay where they are in FEntries;
    // the store's order is FOrder, so sorting moves indices, not records.
    struct TEntry
    {
        TAlertRecord Record;
        std::string Key; // upper-cased symbol: the index key and the symbol order's input
        std::string Collated; // strxfrm of Key, when the collation is not byte order
        bool Dirty = false; // added or replaced since the store was last ordered
        bool New = false; // added since the store was last ordered
    };

    const TAlertRecord &RowRecord(int32_t i) const;
    bool RowsFromSortedStore() const { return IsSorted() || FFrozen; }
    // Orders the store unless frozen.
    void SortStore();
    // Orders FOrder[left..right] by the quicksort the store has always used (needed where the
    // comparison is not a strict order: times equal within 1 ms).
    void QuickSort(int32_t left, int32_t right, TDataTypes key);
    // Merges the dirty entries into the order kept so far (a strict total order only).
    void MergeDirty(TDataTypes key);
    int CompareEntries(int32_t a, int32_t b, TDataTypes key) const;
    int CompareKeys(const TEntry &a, const TEntry &b) const;
    // Makes the collation keys match the current collation locale.
    void PrepareCollation();
    void CutToCapacity();
    static std::string IndexKey(const std::string &symbol);

    std::vector<TAlertRecord> FRing;
    int32_t FRingCount = 0;
    int32_t FRingHead = 0;
    bool FHistoryMode = false;
    int32_t FBatchCounter = 0;
    std::vector<TEntry> FEntries;
    std::vector<int32_t> FFreeEntries;
    std::vector<int32_t> FOrder; // the sorted store: indices into FEntries by position
    std::vector<int32_t> FDirty;
    std::vector<int32_t> FScratch;
    std::unordered_map<std::string, int32_t> FSymbolIndex; // upper-cased symbol -> entry
    // The key FOrder is ordered by apart from the dirty entries; cdBlank when unknown.
    TDataTypes FOrderedBy = cdBlank;
    bool FByteCollation = true; // strcoll is strcmp: Collated is not used
    std::string FCollationLocale; // the locale the Collated keys were made for
    TDataTypes FSortKey = cdBlank;
    TDataTypes FLastSortableKey = cdSymbol;
    bool FFrozen = false;
};

} // namespace kestrova
