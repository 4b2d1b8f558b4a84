#pragma once
// A timer of the GUI thread's event loop behind a Qt-free interface, so that units outside the
// Qt glue can own one. OnTimer runs from the loop; it is guarded by the owner.

#include <functional>
#include <memory>

namespace kestrova {

class TLoopTimer
{
public:
    explicit TLoopTimer(bool singleShot = false);
    ~TLoopTimer();
    TLoopTimer(const TLoopTimer &) = delete;
    TLoopTimer &operator=(const TLoopTimer &) = delete;

    // (Re)starts the timer with the given interval.
    void Start(int milliseconds);
    void Stop();
    bool Active() const;

    std::function<void()> OnTimer;

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

} // namespace kestrova
