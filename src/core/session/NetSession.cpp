#include "session/NetSession.h"

#include "support/Exceptions.h"

namespace kestrova {

namespace {
IServerRequests *InstalledSession = nullptr;
}

void SetNetSession(IServerRequests *session)
{
    InstalledSession = session;
}

IServerRequests &NetSession()
{
    KV_ASSERT(InstalledSession != nullptr, "no session installed for net requests");
    return *InstalledSession;
}

IServerRequests *InstalledNetSession()
{
    return InstalledSession;
}

} // namespace kestrova
