#pragma once
// The session that process-wide net requests and the HTTP queue talk through. Start-up installs
// the real session before anything fetches; tests install a fake.

#include "session/ServerRequests.h"

namespace kestrova {

// Installs (or, with nullptr, removes) the session. It must outlive every user.
void SetNetSession(IServerRequests *session);
// The installed session; raises EAssertionFailed when none is installed.
IServerRequests &NetSession();
// The installed session, or nullptr.
IServerRequests *InstalledNetSession();

} // namespace kestrova
