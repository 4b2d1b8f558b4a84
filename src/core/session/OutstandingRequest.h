#pragma once
// One single-reply request at a time through the session. The reply of a request that was
// cancelled or replaced is ignored; a reply that comes while Send runs is taken; a request the
// session gives no handle for (no reply can come) fails at once. A reply that comes while the
// login is refused fails too: no user's data stands behind it, whatever it says. Frees nothing
// it did not make.

#include "session/ServerRequests.h"

#include <functional>
#include <string>

namespace kestrova {

class TOutstandingRequest
{
public:
    using TReplyEvent = std::function<void(bool success, const std::string &body)>;

    explicit TOutstandingRequest(IServerRequests &session)
        : FSession(session)
    {
    }
    ~TOutstandingRequest() { Cancel(); }
    TOutstandingRequest(const TOutstandingRequest &) = delete;
    TOutstandingRequest &operator=(const TOutstandingRequest &) = delete;

    // Sends message; onReply runs once, guarded and reported with location, possibly inside
    // Send. A request still outstanding is replaced (its reply ignored).
    void Send(const TMessageToServer &message, const std::string &location, TReplyEvent onReply);
    // Detaches the outstanding request, if any; its reply is ignored.
    void Cancel();
    bool Outstanding() const { return FOutstanding; }

private:
    void Finish(uint64_t ticket, bool success, const std::string &body, const std::string &location,
        const TReplyEvent &onReply);

    IServerRequests &FSession;
    TMessageHandle FHandle;
    bool FOutstanding = false;
    uint64_t FTicket = 0; // identifies the one reply that still counts
};

} // namespace kestrova
