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
    int32_t SortedCount() const { return static_cast<int32_t>(FSorted.size()); }
    int32_t RingCount() const { return FRingCount; }

private:
    const TAlertRecord &RowRecord(int32_t i) const;
    bool RowsFromSortedStore() const { return IsSorted() || FFrozen; }
    // Sorts the store unless frozen; the symbol index must be rebuilt afterwards.
    void SortStore();
    void QuickSort(int32_t left, int32_t right, TDataTypes key);
    void RebuildIndex();
    static std::string IndexKey(const std::string &symbol);

    std::vector<TAlertRecord> FRing;
    int32_t FRingCount = 0;
    int32_t FRingHead = 0;
    bool FHistoryMode = false;
    int32_t FBatchCounter = 0;
    std::vector<TAlertRecord> FSorted;
    std::unordered_map<std::string, int32_t> FSymbolIndex; // upper-cased symbol -> position
    TDataTypes FSortKey = cdBlank;
    TDataTypes FLastSortableKey = cdSymbol;
    bool FFrozen = false;
};

} // namespace kestrova
