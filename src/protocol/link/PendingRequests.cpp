#include "link/PendingRequests.h"

#include <algorithm>

namespace kestrova {

namespace {
int64_t NextSerial = 0;
}

int64_t TakeMessageSerial()
{
    return NextSerial++;
}

TMessageHandle TPendingRequests::Add(
    const TMessageToServer &message, TServerResponseEvent callback, bool persistent)
{
    size_t index = FSlots.size();
    for (size_t i = FSlots.size(); i-- > 0;)
        if (FSlots[i].Message.empty()) {
            index = i;
            break;
        }
    if (index == FSlots.size())
        FSlots.resize(std::max<size_t>(8, FSlots.size() * 2));
    TPendingRequest &slot = FSlots[index];
    slot.Message = message;
    slot.Callback = std::move(callback);
    slot.Persistent = persistent;
    slot.Serial = TakeMessageSerial();
    return { static_cast<int32_t>(index + 1), slot.Serial };
}

void TPendingRequests::Forget(const TMessageHandle &handle)
{
    if (handle.Id < 1 || static_cast<size_t>(handle.Id) > FSlots.size())
        return;
    TPendingRequest &slot = FSlots[static_cast<size_t>(handle.Id) - 1];
    if (slot.Serial == handle.Serial && !slot.Message.empty())
        slot.Callback = nullptr;
}

bool TPendingRequests::TakeForReply(
    int32_t id, TServerResponseEvent &callback, TMessageToServer &message)
{
    if (id < 1 || static_cast<size_t>(id) > FSlots.size())
        return false;
    TPendingRequest &slot = FSlots[static_cast<size_t>(id) - 1];
    callback = slot.Callback;
    message = slot.Message;
    if (!slot.Persistent) {
        slot.Callback = nullptr;
        slot.Message.clear();
    }
    return true;
}

} // namespace kestrova
