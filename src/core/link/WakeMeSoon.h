#pragma once
// Deferred wake-up: any number of RequestWake calls made before the Qt loop comes round give
// exactly one OnWake call, from the loop, never inside the caller. GUI thread only.

#include <functional>
#include <memory>

namespace kestrova {

// A deferred wake-up as its owner sees it. Owners take a TWakeFactory, so that tests can hand
// them wake-ups they fire themselves.
class IWakeUp
{
public:
    virtual ~IWakeUp() = default;
    // Asks for one OnWake call from the loop, unless one is already pending.
    virtual void RequestWake() = 0;
    virtual bool Pending() const = 0;

    // Runs from the loop, never inside RequestWake. Exceptions are reported, never passed on.
    std::function<void()> OnWake;
};

using TWakeFactory = std::function<std::unique_ptr<IWakeUp>()>;

class TWakeTarget;

class TWakeMeSoon : public IWakeUp
{
public:
    TWakeMeSoon();
    // A wake-up still queued is discarded. Safe to call from inside OnWake.
    ~TWakeMeSoon() override;
    TWakeMeSoon(const TWakeMeSoon &) = delete;
    TWakeMeSoon &operator=(const TWakeMeSoon &) = delete;

    // Posts one wake-up unless one is already queued.
    void RequestWake() override;
    bool Pending() const override { return FPending; }

    // OnWake runs from the loop. Pending is already cleared, so a RequestWake made there gives
    // one more call on a later pass.

private:
    friend class TWakeTarget;
    void WndPrc();

    TWakeTarget *FTarget; // owned; deleted later when destroyed inside its own event
    bool FPending = false;
    bool FInHandler = false;
};

// Makes TWakeMeSoon objects: the factory an empty TWakeFactory stands for.
TWakeFactory LoopWakeFactory();
// The factory itself, or LoopWakeFactory() when it is empty.
TWakeFactory WakeFactoryOrLoop(TWakeFactory factory);

} // namespace kestrova
