// The plain C host (examples/c-host) against the real kestrova-alertd: the library used only
// through its exports from a separate process, and the server's lists checked afterwards.

#include "link/WireFormat.h"
#include "support/AlertServerProcess.h"
#include "support/FaultProxy.h"
#include "support/LoopbackServer.h"
#include "support/QtLoop.h"
#include "support/ServerWitness.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

using namespace kvtest;

namespace {

struct HostRun
{
    int ExitCode = -1;
    std::string Out, Err;
};

// Runs c-host with the arguments, without a display, while this thread's loop keeps running
// (a proxy in this process may stand between the host and the server).
HostRun RunHost(const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("XDG_RUNTIME_DIR", "/tmp/kv-test-runtime");
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(KV_BIN_DIR "/c-host"), arguments);
    HostRun run;
    if (!host.waitForStarted(5000))
        return run;
    RunUntil([&] { return host.state() == QProcess::NotRunning; }, timeoutMs);
    if (host.state() != QProcess::NotRunning) {
        host.kill();
        host.waitForFinished(2000);
        return run;
    }
    run.ExitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.Out = host.readAllStandardOutput().toStdString();
    run.Err = host.readAllStandardError().toStdString();
    return run;
}

TEST(CHost, EditsAListAndPrintsTheListOfLists)
{
    AlertServerProcess server;
    ASSERT_TRUE(server.Start()) << server.Log();
    const QString address = QString("127.0.0.1:%1").arg(server.Port());

    const HostRun first = RunHost({ address, "ann", "pw" });
    EXPECT_EQ(first.ExitCode, 0) << first.Err;
    EXPECT_EQ(first.Out, "list 1 Example\nlists: 1\n") << first.Err;

    const HostRun second = RunHost({ address, "ann", "pw", "name:7:Seven", "add:7: zz " });
    EXPECT_EQ(second.ExitCode, 0) << second.Err;
    EXPECT_EQ(second.Out, "list 1 Example\nlist 7 Seven\nlists: 2\n") << second.Err;

    EXPECT_EQ(ServerLists(server.Port(), "ann"), "1 \"Example\": ABC XYZ\n7 \"Seven\": ZZ\n");
    // Another user sees none of them.
    EXPECT_EQ(ServerLists(server.Port(), "bob"), "");
}

TEST(CHost, ServerHoldsTheEditsAfterTheConnectionDroppedMidUpdate)
{
    AlertServerProcess server;
    ASSERT_TRUE(server.Start()) << server.Log();
    // The first burst (preamble, login and the first edits: 306 bytes) goes through; the update
    // of the second burst (about 64 bytes) is cut in the middle with the connection; the third
    // burst's edits are made while it waits to be resent.
    FaultProxy proxy(server.Port());
    proxy.SetMode(FaultProxy::Mode::CutAfterClientBytes, 306 + 32, true);
    const QString address = QString::fromStdString(proxy.Address());

    const HostRun run = RunHost({ "--settle-ms", "0", "--linger-ms", "5000", address, "ann", "pw",
        "name:1:Watch", "add:1:aaa", "add:1:bbb", "add:2:ccc", "add:2:ddd", "wait:500", "del:1:aaa",
        "add:1:fff", "temp:x", "temp:y", "temp:x", "sendtemp:3", "droplist:2", "wait:100",
        "add:1:ggg", "del:1:bbb", "add:4: eee" });
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_GE(proxy.ConnectionCount(), 2u);
    EXPECT_TRUE(proxy.Cut(0));

    EXPECT_EQ(ServerLists(server.Port(), "ann"),
        "1 \"Watch\": FFF GGG\n3 \"\": X Y\n4 \"List #4\": EEE\n")
        << server.Log();
}

TEST(CHost, ExitsCleanlyAfterTheLibraryReportedAnException)
{
    // A server that answers the preamble with 5,000 random bytes: the library reports the bad
    // stream (which opens its debug window), and the plain C host then exits.
    kvtest::LoopbackServer server;
    std::mt19937 random(9);
    std::string garbage(5000, '\0');
    for (char &c : garbage)
        c = static_cast<char>(random());
    std::set<size_t> answered;
    server.OnReceived = [&](size_t i) {
        if (server.Received(i).size() >= kestrova::ClientPreamble.size()
            && answered.insert(i).second)
            server.Write(i, garbage);
    };
    const HostRun run = RunHost({ "--settle-ms", "300", "--timeout-ms", "700",
        QString::fromStdString(server.Address()), "ann", "pw" });
    EXPECT_FALSE(answered.empty());
    EXPECT_EQ(run.ExitCode, 2) << "no list of lists, and no crash at exit: " << run.Err;
}

} // namespace
