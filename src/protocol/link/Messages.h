#pragma once
// The request and reply types shared by the request channel and its callers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrova {

struct TMessageField
{
    std::string Key;
    std::string Value;
    bool operator==(const TMessageField &) const = default;
};

// One request: ordered key/value pairs. Pairs with an empty key are never sent.
using TMessageToServer = std::vector<TMessageField>;

// True when the message has no pair with a non-empty key.
bool IsEmptyMessage(const TMessageToServer &message);

// Identifies a sent request so that its callback can be detached. Id 0: no reply expected.
struct TMessageHandle
{
    int32_t Id = 0;
    int64_t Serial = 0;
    bool operator==(const TMessageHandle &) const = default;
};

inline bool IsNullHandle(const TMessageHandle &handle)
{
    return handle.Id == 0;
}

// Reply callback: Success, the reply body (an XML document; empty on failure) and a copy of the
// request it answers.
using TServerResponseEvent
    = std::function<void(bool success, const std::string &body, const TMessageToServer &message)>;

} // namespace kestrova
