#include "support/HashTables.h"

#include "support/Exceptions.h"

namespace kestrova {

uint32_t HashKey(const std::string &key)
{
    const size_t n = key.size();
    const size_t words = (n + 1) / 4; // the terminating zero byte counts as data
    auto byteAt
        = [&](size_t i) -> uint32_t { return i < n ? static_cast<unsigned char>(key[i]) : 0u; };
    uint32_t h = 0;
    for (size_t i = 0; i < words; ++i) {
        const size_t p = i * 4;
        const uint32_t w
            = byteAt(p) | byteAt(p + 1) << 8 | byteAt(p + 2) << 16 | byteAt(p + 3) << 24;
        h = w ^ (h * 9u + static_cast<uint32_t>(i));
    }
    for (size_t p = words * 4; p < n; ++p)
        h = h * 33u + byteAt(p);
    return h;
}

tHashTable::tHashTable(int initialBuckets)
    : Buckets(initialBuckets > 0 ? static_cast<size_t>(initialBuckets) : 0)
    , Alive(std::make_shared<tHashTable *>(this))
{
}

tHashTable::~tHashTable()
{
    FreeChains();
}

void tHashTable::FreeChains()
{
    // Unlink iteratively: a long chain must not recurse through unique_ptr destructors.
    for (auto &head : Buckets) {
        while (head)
            head = std::move(head->Next);
    }
}

size_t tHashTable::BucketOf(const std::string &key) const
{
    return HashKey(key) % Buckets.size();
}

THashEntry *tHashTable::Find(const std::string &key) const
{
    if (Buckets.empty())
        return nullptr;
    for (THashEntry *e = Buckets[BucketOf(key)].get(); e; e = e->Next.get()) {
        if (e->Key == key)
            return e;
    }
    return nullptr;
}

void tHashTable::Rehash(int newBuckets)
{
    KV_ASSERT(newBuckets > 0, "Rehash needs at least one bucket");
    std::vector<std::unique_ptr<THashEntry>> old(static_cast<size_t>(newBuckets));
    old.swap(Buckets);
    ++FModifications;
    for (auto &head : old) {
        while (head) {
            std::unique_ptr<THashEntry> entry = std::move(head);
            head = std::move(entry->Next);
            auto &target = Buckets[BucketOf(entry->Key)];
            entry->Next = std::move(target);
            target = std::move(entry);
        }
    }
}

void tHashTable::Grow()
{
    Rehash(BucketCount() * 3 / 2 + 3);
}

void tHashTable::Store(const std::string &key, const std::string &value)
{
    Put(key, value);
}

std::unique_ptr<tMapIterator> tHashTable::NewIterator()
{
    return std::make_unique<tHashTableIterator>(*this);
}

bool tHashTable::ContainsKey(const std::string &key) const
{
    return Find(key) != nullptr;
}

bool tHashTable::ContainsValue(const std::string &value) const
{
    for (const auto &head : Buckets) {
        for (const THashEntry *e = head.get(); e; e = e->Next.get()) {
            if (e->Value == value)
                return true;
        }
    }
    return false;
}

std::string tHashTable::GetValue(const std::string &key) const
{
    const THashEntry *e = Find(key);
    return e ? e->Value : std::string();
}

bool tHashTable::Put(const std::string &key, const std::string &value)
{
    if (THashEntry *e = Find(key)) {
        e->Value = value;
        return false;
    }
    auto entry = std::make_unique<THashEntry>();
    entry->Key = key;
    entry->Value = value;
    ++FModifications;
    ++FSize;
    if (static_cast<int64_t>(BucketCount()) * 3 < static_cast<int64_t>(FSize) * 4)
        Grow();
    auto &head = Buckets[BucketOf(key)];
    entry->Next = std::move(head);
    head = std::move(entry);
    return true;
}

std::string tHashTable::Remove(const std::string &key)
{
    if (Buckets.empty())
        return {};
    for (std::unique_ptr<THashEntry> *link = &Buckets[BucketOf(key)]; *link;
         link = &(*link)->Next) {
        if ((*link)->Key == key) {
            std::unique_ptr<THashEntry> entry = std::move(*link);
            *link = std::move(entry->Next);
            --FSize;
            ++FModifications;
            return std::move(entry->Value);
        }
    }
    return {};
}

int tHashTable::Size() const
{
    return FSize;
}

void tHashTable::Clear()
{
    FreeChains();
    FSize = 0;
    ++FModifications;
}

tHashTableIterator::tHashTableIterator(tHashTable &table)
    : Table(table.Alive)
    , ExpectedModifications(table.FModifications)
{
    for (Bucket = 0; Bucket < table.Buckets.size(); ++Bucket) {
        if (table.Buckets[Bucket]) {
            Current = table.Buckets[Bucket].get();
            break;
        }
    }
}

bool tHashTableIterator::IsValid()
{
    const auto alive = Table.lock();
    return alive && (*alive)->FModifications == ExpectedModifications;
}

void tHashTableIterator::CheckValid()
{
    if (!IsValid())
        throw Exception("Iterator no longer valid");
}

void tHashTableIterator::Advance()
{
    if (!Current)
        return;
    if (Current->Next) {
        Current = Current->Next.get();
        return;
    }
    const auto &buckets = (*Table.lock())->Buckets;
    Current = nullptr;
    while (++Bucket < buckets.size()) {
        if (buckets[Bucket]) {
            Current = buckets[Bucket].get();
            return;
        }
    }
}

void tHashTableIterator::Next()
{
    CheckValid();
    if (Removed) {
        Removed = false;
        return;
    }
    if (Position < (*Table.lock())->FSize) {
        Advance();
        if (Current)
            ++Position;
    }
}

void tHashTableIterator::RemoveCurrent()
{
    CheckValid();
    if (Removed || !Current)
        return;
    const std::string key = Current->Key;
    Advance();
    tHashTable &table = **Table.lock();
    table.Remove(key);
    Removed = true;
    ExpectedModifications = table.FModifications;
}

bool tHashTableIterator::HasNext()
{
    CheckValid();
    const int size = (*Table.lock())->FSize;
    return Position < size - 1 || (Removed && Position < size);
}

std::string tHashTableIterator::Key()
{
    CheckValid();
    return Removed || !Current ? std::string() : Current->Key;
}

std::string tHashTableIterator::Value()
{
    CheckValid();
    return Removed || !Current ? std::string() : Current->Value;
}

bool tHashTableIterator::IsValidEntry()
{
    CheckValid();
    return Current && Position < (*Table.lock())->FSize && !Removed;
}

void tHashTableIterator::SetValue(const std::string &value)
{
    CheckValid();
    if (!IsValidEntry())
        throw Exception("The entry is not valid");
    Current->Value = value;
}

} // namespace kestrova
