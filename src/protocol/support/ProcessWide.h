#pragma once
// A process-wide object that the library frees explicitly when it shuts down, never by a static
// destructor: exit handlers and static destructors run in the reverse order of their
// registration, so a static made after the shutdown handler was registered would be destroyed
// before the shutdown that still uses it.

#include <memory>
#include <utility>

namespace kestrova {

template<class T>
class TProcessWide
{
public:
    constexpr TProcessWide() = default;
    TProcessWide(const TProcessWide &) = delete;
    TProcessWide &operator=(const TProcessWide &) = delete;

    TProcessWide &operator=(std::unique_ptr<T> object)
    {
        reset(object.release());
        return *this;
    }
    void reset(T *object = nullptr) { delete std::exchange(FObject, object); }
    T *get() const { return FObject; }
    T &operator*() const { return *FObject; }
    T *operator->() const { return FObject; }
    explicit operator bool() const { return FObject != nullptr; }
    bool operator==(std::nullptr_t) const { return FObject == nullptr; }

private:
    T *FObject = nullptr;
};

} // namespace kestrova
