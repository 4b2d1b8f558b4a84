#pragma once
// Deferred wake-up: any number of RequestWake calls made before the Qt loop comes round give
// exactly one OnWake call, from the loop, never inside the caller. GUI thread only.

#include <functional>
#include <memory>

namespace kestrova {

class TWakeTarget;

class TWakeMeSoon
{
public:
    TWakeMeSoon();
    // A wake-up still queued is discarded. Safe to call from inside OnWake.
    ~TWakeMeSoon();
    TWakeMeSoon(const TWakeMeSoon &) = delete;
    TWakeMeSoon &operator=(const TWakeMeSoon &) = delete;

    // Posts one wake-up unless one is already queued.
    void RequestWake();
    bool Pending() const { return FPending; }

    // Runs from the loop. Pending is already cleared, so a RequestWake made here gives one more
    // call on a later pass. Exceptions are reported, never passed to the loop.
    std::function<void()> OnWake;

private:
    friend class TWakeTarget;
    void WndPrc();

    TWakeTarget *FTarget; // owned; deleted later when destroyed inside its own event
    bool FPending = false;
    bool FInHandler = false;
};

} // namespace kestrova
