#pragma once
// A tinyproxy HTTP proxy on 127.0.0.1 for tests, run as a ProxyProcess. With credentials it
// requires basic authentication (a wrong password gets 401, none gets 407).

#include "ProxyProcess.h"

#include <string>

namespace kvtest {

class TinyproxyFixture
{
public:
    // The tinyproxy executable, or "" when it is not installed.
    static std::string Executable();
    // Starts the proxy (credentials: no blanks) and waits until it accepts connections. False (with
    // Error() telling why) when it cannot be started.
    bool Start(const std::string &username = {}, const std::string &password = {});

    quint16 Port() const { return FProcess.Port(); }
    const std::string &Error() const { return FError; }

private:
    ProxyProcess FProcess;
    std::string FError;
};

} // namespace kvtest

// Skips the current test when tinyproxy is not installed.
#define KV_REQUIRE_TINYPROXY()                                                                     \
    do {                                                                                           \
        if (::kvtest::TinyproxyFixture::Executable().empty())                                      \
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";    \
    } while (0)
