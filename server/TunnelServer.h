#pragma once
// The HTTP side of the tunnel endpoint, on libmicrohttpd driven from the thread's Qt loop: its
// epoll descriptor is watched by a socket notifier and its time-outs by a timer, so it never
// blocks and never runs a thread of its own. A reader stream with nothing to send waits
// suspended until its session has bytes; a POST the slow fault delays waits suspended until due.

#include "TunnelEndpoint.h"

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <set>
#include <string>

class QSocketNotifier;
struct MHD_Connection;
struct MHD_Daemon;

namespace kestrova::alertd {

class TTunnelServer : public QObject
{
public:
    explicit TTunnelServer(TServerState &state, QObject *parent = nullptr);
    // Ends every stream and stops the daemon.
    ~TTunnelServer() override;

    // Listens on address (an IPv4 address or "localhost") and port (0: a free one); false, with
    // the reason in Error(), when it cannot.
    bool Start(const std::string &address, int port);
    const std::string &Error() const { return FError; }
    uint16_t Port() const { return FPort; }
    // "http://ADDRESS:PORT/Read.php".
    std::string ReaderUrl() const;
    TTunnelEndpoint &Endpoint() { return FEndpoint; }

private:
    struct TRequest;
    struct TStream;
    friend struct TMhdCallbacks;

    int Handle(MHD_Connection *connection, const std::string &url, const std::string &method,
        const char *uploadData, size_t *uploadSize, void **requestState);
    int OpenStream(MHD_Connection *connection);
    void Finished(TRequest *request);
    long ReadStream(TStream &stream, char *buffer, size_t max);
    void FreeStream(TStream *stream);
    // Resumes the session's reader (it has bytes, or its stream ended).
    void WakeReader(const std::string &id);
    void Tick();
    // Lets the daemon do its work, then re-arms its timer. Never re-entered.
    void Run();
    void RunSoon();

    TServerState &FState;
    TTunnelEndpoint FEndpoint;
    MHD_Daemon *FDaemon = nullptr;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QTimer FDaemonTimer;
    QTimer FTickTimer;
    std::map<std::string, TStream *> FStreams; // by session id; owned by their responses
    std::set<TRequest *> FDelayed; // suspended POSTs waiting for their answer time
    std::string FAddress;
    uint16_t FPort = 0;
    std::string FError;
    bool FRunning = false;
    bool FRunPosted = false;
    bool FStopping = false;
};

} // namespace kestrova::alertd
