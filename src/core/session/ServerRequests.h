#pragma once
// What the units that talk to the server through the session need of it. The session
// (TAllAlertsConnection) implements it; tests plug in a fake.

#include "link/Messages.h"
#include "link/RequestChannel.h"

#include <cstdint>
#include <string>

namespace kestrova {

class IServerRequests
{
public:
    virtual ~IServerRequests() = default;
    // Sends one single-reply request over the session's link, creating the link when needed.
    // Handle receives the id to cancel with (Id 0 when no reply will come).
    virtual void SendRequest(
        const TMessageToServer &message, TMessageHandle &handle, TServerResponseEvent onReply)
        = 0;
    // Detaches the callback of a request still in flight; a late reply is ignored.
    virtual void CancelRequest(const TMessageHandle &handle) = 0;
    virtual std::string Username() const = 0;
    // True while the server does nothing for this user: its login was refused (unknown user,
    // wrong password) or the server logged it out for good. Ends when the host gives new
    // credentials (or resets) and a new login is tried.
    virtual bool LoginRefused() const = 0;
    // The proxy and time-limit settings that HTTP fetches use as well.
    virtual TConnectionSettings ConnectionSettings() const = 0;
    // Number of resets done so far (a reply from before a reset is stale).
    virtual uint64_t ResetCount() const = 0;
    // Reports network activity to the status listener: success or failure with a text.
    virtual void ReportNetworkActivity(bool success, const std::string &text) = 0;
};

} // namespace kestrova
