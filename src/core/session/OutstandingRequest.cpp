#include "session/OutstandingRequest.h"

#include "support/DebugLog.h"

namespace kestrova {

void TOutstandingRequest::Send(
    const TMessageToServer &message, const std::string &location, TReplyEvent onReply)
{
    Cancel();
    const uint64_t ticket = ++FTicket;
    FOutstanding = true;
    TMessageHandle handle;
    try {
        FSession.SendRequest(message, handle,
            [this, ticket, location, onReply](bool success, const std::string &body,
                const TMessageToServer &) { Finish(ticket, success, body, location, onReply); });
    } catch (...) {
        FOutstanding = false;
        throw;
    }
    if (!FOutstanding || ticket != FTicket)
        return; // answered while being sent
    if (IsNullHandle(handle)) {
        Finish(ticket, false, {}, location, onReply);
        return;
    }
    FHandle = handle;
}

void TOutstandingRequest::Finish(uint64_t ticket, bool success, const std::string &body,
    const std::string &location, const TReplyEvent &onReply)
{
    if (!FOutstanding || ticket != FTicket)
        return;
    FOutstanding = false;
    FHandle = {};
    // The login reply comes before the replies to the requests sent after it on the same link,
    // so a refusal is known here before any answer to them arrives.
    const bool done = success && !FSession.LoginRefused();
    RunGuarded(location, [&] { onReply(done, body); });
}

void TOutstandingRequest::Cancel()
{
    if (FOutstanding && !IsNullHandle(FHandle))
        FSession.CancelRequest(FHandle);
    FOutstanding = false;
    FHandle = {};
    ++FTicket;
}

} // namespace kestrova
