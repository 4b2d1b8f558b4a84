#pragma once
// A real SOCKS 4/5 proxy (Debian's dante-server) on 127.0.0.1 for tests: started on a free port
// with a configuration of its own, stopped by its PID. Tests skip with a message when
// Available() is false.

#include "ProxyProcess.h"

#include <string>

namespace kvtest {

class DanteProxy
{
public:
    // The system user that the user-name method checks (created on demand, needs root).
    static const char *const UserName;
    static const char *const Password;

    // True when the dante server is installed.
    static bool Available();
    // Creates UserName with Password in the system's password database when missing.
    static bool EnsureSystemUser(std::string &error);

    // Starts the proxy: without authentication, or requiring a user name and password (SOCKS 5
    // only then). Check Running() and Error().
    explicit DanteProxy(bool requireUserName = false);

    bool Running() const { return FProcess.Running(); }
    const std::string &Error() const { return FError; }
    quint16 Port() const { return FProcess.Port(); }
    void Stop() { FProcess.Stop(); }

private:
    ProxyProcess FProcess;
    std::string FError;
};

} // namespace kvtest
