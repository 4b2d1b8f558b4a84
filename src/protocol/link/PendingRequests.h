#pragma once
// The table of requests waiting for replies. A slot's index plus 1 is the request's message id.
// Free of I/O; owned by the request channel.

#include "link/Messages.h"

#include <cstdint>
#include <vector>

namespace kestrova {

struct TPendingRequest
{
    TMessageToServer Message; // empty: the slot is free
    int64_t Serial = 0;
    TServerResponseEvent Callback;
    bool Persistent = false;
};

// Process-wide request serial: returns the current value and advances it. GUI thread only.
int64_t TakeMessageSerial();

class TPendingRequests
{
public:
    // Stores a request in the highest-numbered free slot, growing the table to the larger of 8
    // and twice its length when none is free. Returns the handle (Id and a fresh serial).
    TMessageHandle Add(
        const TMessageToServer &message, TServerResponseEvent callback, bool persistent);
    // Unsets the callback when the handle still names its slot; the slot stays occupied.
    void Forget(const TMessageHandle &handle);
    // For a reply to id: copies the slot's callback and message and frees the slot unless it is
    // persistent. False for an id outside the table.
    bool TakeForReply(int32_t id, TServerResponseEvent &callback, TMessageToServer &message);
    void Clear() { FSlots.clear(); }

    size_t Length() const { return FSlots.size(); }
    const TPendingRequest &Slot(size_t index) const { return FSlots.at(index); }

private:
    std::vector<TPendingRequest> FSlots;
};

} // namespace kestrova
