#pragma once
// A string-to-string map with separate chaining, automatic growth and fail-fast iterators.
// Bucket choice, growth steps and iteration order are fixed (see HashKey and Grow) so that
// iteration order is reproducible. GUI thread only; not copyable.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrova {

// One key/value pair; Next is the following entry of the same bucket.
struct THashEntry
{
    std::string Key;
    std::string Value;
    std::unique_ptr<THashEntry> Next;
};

// The bucket-independent hash of a key: the key plus its terminating zero byte is read as
// little-endian 32-bit words (h = word XOR (h * 9 + index)), then the key bytes left over after
// the last complete word are mixed in as h = h * 33 + byte. 32-bit wrap-around; "" hashes to 0.
uint32_t HashKey(const std::string &key);

class tMapIterator;

class tHashTable
{
public:
    // initialBuckets may be 0: the first insertion then grows the table to 3 buckets.
    explicit tHashTable(int initialBuckets = 0);
    virtual ~tHashTable();
    tHashTable(const tHashTable &) = delete;
    tHashTable &operator=(const tHashTable &) = delete;

    // Redistributes every entry over newBuckets buckets (a structural change).
    virtual void Rehash(int newBuckets);
    // Rehash to bucket count * 3 / 2 + 3: 0, 3, 7, 13, 22, 36, ...
    virtual void Grow();
    virtual void Store(const std::string &key, const std::string &value);
    // An iterator on the first entry (or on nothing when empty). It may outlive the table: it
    // then reports itself invalid.
    virtual std::unique_ptr<tMapIterator> NewIterator();
    virtual bool ContainsKey(const std::string &key) const;
    virtual bool ContainsValue(const std::string &value) const;
    // The value stored under key; "" when absent.
    virtual std::string GetValue(const std::string &key) const;
    // Replaces the value of an existing key (returns false, not a structural change) or adds
    // the key (returns true).
    virtual bool Put(const std::string &key, const std::string &value);
    // Removes the key and returns its value; "" when absent.
    virtual std::string Remove(const std::string &key);
    virtual int Size() const;
    // Frees every entry; the bucket count stays.
    virtual void Clear();

    int BucketCount() const { return static_cast<int>(Buckets.size()); }
    // Increased by every structural change (add, remove, clear, rehash).
    uint64_t Modifications() const { return FModifications; }

private:
    friend class tHashTableIterator;

    size_t BucketOf(const std::string &key) const;
    THashEntry *Find(const std::string &key) const;
    void FreeChains();

    std::vector<std::unique_ptr<THashEntry>> Buckets;
    int FSize = 0;
    uint64_t FModifications = 0;
    // Lets iterators notice that the table is gone.
    std::shared_ptr<tHashTable *> Alive;
};

// Iterator over a map. Every operation but IsValid raises kestrova::Exception
// "Iterator no longer valid" once the map changed structurally other than through this
// iterator's RemoveCurrent (or the map was destroyed).
class tMapIterator
{
public:
    virtual ~tMapIterator() = default;
    // Steps to the following entry (after RemoveCurrent: only accepts the step already taken).
    virtual void Next() = 0;
    // Removes the current entry and steps past it; the iterator stays valid.
    virtual void RemoveCurrent() = 0;
    // True when another entry follows the current one.
    virtual bool HasNext() = 0;
    // The current entry's key or value; "" when there is none or it was just removed.
    virtual std::string Key() = 0;
    virtual std::string Value() = 0;
    virtual bool IsValidEntry() = 0;
    // Replaces the current entry's value; raises "The entry is not valid" without one.
    virtual void SetValue(const std::string &value) = 0;
    virtual bool IsValid() = 0;
};

class tHashTableIterator : public tMapIterator
{
public:
    explicit tHashTableIterator(tHashTable &table);

    void Next() override;
    void RemoveCurrent() override;
    bool HasNext() override;
    std::string Key() override;
    std::string Value() override;
    bool IsValidEntry() override;
    void SetValue(const std::string &value) override;
    bool IsValid() override;

private:
    void CheckValid();
    // Moves Current to the following entry in iteration order (or to none).
    void Advance();

    std::weak_ptr<tHashTable *> Table;
    size_t Bucket = 0;
    THashEntry *Current = nullptr;
    uint64_t ExpectedModifications = 0;
    bool Removed = false;
    int Position = 0;
};

} // namespace kestrova
