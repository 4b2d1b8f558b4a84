#pragma once
// A tinyproxy HTTP proxy on 127.0.0.1 for tests: picks a free port, writes its configuration to a
// temporary directory, starts it in the foreground and stops it by its PID. With credentials it
// requires basic authentication (a wrong password gets 401, none gets 407).

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace kvtest {

class TinyproxyFixture
{
public:
    TinyproxyFixture() = default;
    ~TinyproxyFixture() { Stop(); }

    // The tinyproxy executable, or "" when it is not installed.
    static std::string Executable();
    // Starts the proxy (credentials: no blanks) and waits until it accepts connections. False (with
    // Error() telling why) when it cannot be started.
    bool Start(const std::string &username = {}, const std::string &password = {});
    void Stop();

    quint16 Port() const { return FPort; }
    qint64 Pid() const { return FPid; }
    const std::string &Error() const { return FError; }

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<QProcess> FProcess;
    quint16 FPort = 0;
    qint64 FPid = 0;
    std::string FError;
};

} // namespace kvtest

// Skips the current test when tinyproxy is not installed.
#define KV_REQUIRE_TINYPROXY()                                                                     \
    do {                                                                                           \
        if (::kvtest::TinyproxyFixture::Executable().empty())                                      \
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";    \
    } while (0)
