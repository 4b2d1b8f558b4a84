#include "TunnelServer.h"

#include "Guarded.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cstdarg>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>

namespace kestrova::alertd {

struct TTunnelServer::TRequest
{
    MHD_Connection *Connection = nullptr;
    std::string Body;
    bool TooLarge = false;
    bool Delayed = false; // suspended until DueMs, then answered with Reply
    int64_t DueMs = 0;
    TTunnelReply Reply;
};

struct TTunnelServer::TStream
{
    TTunnelServer *Server = nullptr;
    std::string Id;
    MHD_Connection *Connection = nullptr;
    bool Suspended = false;
};

namespace {

const char *const Here = "TunnelServer, TTunnelServer.";

MHD_Result Answer(MHD_Connection *connection, int status, const std::string &body)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        body.size(), const_cast<char *>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, "Content-Type", "text/plain");
    MHD_add_response_header(response, "Cache-Control", "no-store");
    const MHD_Result result
        = MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return result;
}

} // namespace

// The daemon's C callbacks: each runs its handler guarded, so no exception reaches the daemon.
struct TMhdCallbacks
{
    static MHD_Result Access(void *server, MHD_Connection *connection, const char *url,
        const char *method, const char *, const char *uploadData, size_t *uploadSize,
        void **requestState)
    {
        int result = MHD_NO;
        Guarded(static_cast<TTunnelServer *>(server)->FState, std::string(Here) + "Handle", [&] {
            result = static_cast<TTunnelServer *>(server)->Handle(
                connection, url, method, uploadData, uploadSize, requestState);
        });
        return result == MHD_YES ? MHD_YES : MHD_NO;
    }
    static void Completed(
        void *server, MHD_Connection *, void **requestState, MHD_RequestTerminationCode)
    {
        auto *request = static_cast<TTunnelServer::TRequest *>(*requestState);
        *requestState = nullptr;
        Guarded(static_cast<TTunnelServer *>(server)->FState, std::string(Here) + "Finished",
            [&] { static_cast<TTunnelServer *>(server)->Finished(request); });
    }
    static ssize_t ReadStream(void *stream, uint64_t, char *buffer, size_t max)
    {
        auto *s = static_cast<TTunnelServer::TStream *>(stream);
        long result = MHD_CONTENT_READER_END_WITH_ERROR;
        Guarded(s->Server->FState, std::string(Here) + "ReadStream",
            [&] { result = s->Server->ReadStream(*s, buffer, max); });
        return result;
    }
    static void FreeStream(void *stream)
    {
        auto *s = static_cast<TTunnelServer::TStream *>(stream);
        Guarded(
            s->Server->FState, std::string(Here) + "FreeStream", [&] { s->Server->FreeStream(s); });
    }
    static void Log(void *server, const char *format, va_list arguments)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        static_cast<TTunnelServer *>(server)->FState.Info("http: " + line);
    }
};

TTunnelServer::TTunnelServer(TServerState &state, QObject *parent)
    : QObject(parent)
    , FState(state)
    , FEndpoint(state)
{
    FEndpoint.OnStream = [this](const std::string &id) { WakeReader(id); };
    FDaemonTimer.setSingleShot(true);
    connect(&FDaemonTimer, &QTimer::timeout, this, [this] { Run(); });
    connect(&FTickTimer, &QTimer::timeout, this,
        [this] { Guarded(FState, std::string(Here) + "Tick", [this] { Tick(); }); });
}

TTunnelServer::~TTunnelServer()
{
    FTickTimer.stop();
    FDaemonTimer.stop();
    FNotifier.reset();
    if (!FDaemon)
        return;
    // The daemon must not be stopped with suspended connections.
    FStopping = true;
    for (auto &[id, stream] : FStreams)
        if (std::exchange(stream->Suspended, false))
            MHD_resume_connection(stream->Connection);
    for (TRequest *request : FDelayed)
        MHD_resume_connection(request->Connection);
    FDelayed.clear();
    MHD_stop_daemon(FDaemon);
}

bool TTunnelServer::Start(const std::string &address, int port)
{
    sockaddr_in bind {};
    bind.sin_family = AF_INET;
    bind.sin_port = htons(static_cast<uint16_t>(port));
    FAddress = address == "localhost" ? "127.0.0.1" : address;
    if (inet_pton(AF_INET, FAddress.c_str(), &bind.sin_addr) != 1) {
        FError = "not an IPv4 address: " + address;
        return false;
    }
    FDaemon = MHD_start_daemon(MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG, 0,
        nullptr, nullptr, &TMhdCallbacks::Access, this, MHD_OPTION_SOCK_ADDR, &bind,
        MHD_OPTION_NOTIFY_COMPLETED, &TMhdCallbacks::Completed, this, MHD_OPTION_CONNECTION_TIMEOUT,
        120u, MHD_OPTION_EXTERNAL_LOGGER, &TMhdCallbacks::Log, this, MHD_OPTION_END);
    if (!FDaemon) {
        FError = std::string("cannot listen: ") + std::strerror(errno);
        return false;
    }
    const MHD_DaemonInfo *portInfo = MHD_get_daemon_info(FDaemon, MHD_DAEMON_INFO_BIND_PORT);
    const MHD_DaemonInfo *epollInfo = MHD_get_daemon_info(FDaemon, MHD_DAEMON_INFO_EPOLL_FD);
    if (!portInfo || !epollInfo) {
        FError = "the HTTP library gives no port or epoll descriptor";
        MHD_stop_daemon(FDaemon);
        FDaemon = nullptr;
        return false;
    }
    FPort = portInfo->port;
    FNotifier = std::make_unique<QSocketNotifier>(epollInfo->epoll_fd, QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { Run(); });
    FTickTimer.start(50);
    Run();
    return true;
}

std::string TTunnelServer::ReaderUrl() const
{
    return "http://" + FAddress + ":" + std::to_string(FPort) + TunnelReaderPath;
}

void TTunnelServer::Run()
{
    if (!FDaemon || FRunning || FStopping)
        return;
    FRunning = true;
    Guarded(FState, std::string(Here) + "Run", [this] {
        MHD_run(FDaemon);
        MHD_UNSIGNED_LONG_LONG timeout = 0;
        if (MHD_get_timeout(FDaemon, &timeout) == MHD_YES)
            FDaemonTimer.start(static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(timeout, 1000)));
        else
            FDaemonTimer.stop();
    });
    FRunning = false;
}

void TTunnelServer::RunSoon()
{
    if (std::exchange(FRunPosted, true))
        return;
    QTimer::singleShot(0, this, [this] {
        FRunPosted = false;
        Run();
    });
}

int TTunnelServer::Handle(MHD_Connection *connection, const std::string &url,
    const std::string &method, const char *uploadData, size_t *uploadSize, void **requestState)
{
    if (!*requestState) {
        auto *request = new TRequest; // freed by Finished
        request->Connection = connection;
        *requestState = request;
        return MHD_YES;
    }
    TRequest &request = *static_cast<TRequest *>(*requestState);
    if (*uploadSize > 0) {
        if (request.Body.size() + *uploadSize > MaxTunnelPostBytes)
            request.TooLarge = true;
        else
            request.Body.append(uploadData, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
    }
    if (request.Delayed)
        return Answer(connection, request.Reply.Status, request.Reply.Body);
    if (url == TunnelReaderPath) {
        if (method != "GET")
            return Answer(connection, 405, "the reader page takes GET\n");
        return OpenStream(connection);
    }
    if (url != TunnelWriterPath)
        return Answer(connection, 404, "no such page\n");
    if (method != "POST")
        return Answer(connection, 405, "the writer page takes POST\n");
    const char *session = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "session");
    request.Reply = FEndpoint.Post(session ? session : "", request.Body, request.TooLarge);
    if (request.Reply.Status != 200)
        FState.Info("tunnel POST refused: " + std::to_string(request.Reply.Status) + " "
            + request.Reply.Body.substr(0, request.Reply.Body.find('\n')));
    if (request.Reply.DelayMs > 0) {
        FState.Info(
            "fault post-slow: answering in " + std::to_string(request.Reply.DelayMs) + " ms");
        request.Delayed = true;
        request.DueMs = FState.NowMs() + request.Reply.DelayMs;
        FDelayed.insert(&request);
        MHD_suspend_connection(connection);
        return MHD_YES;
    }
    return Answer(connection, request.Reply.Status, request.Reply.Body);
}

int TTunnelServer::OpenStream(MHD_Connection *connection)
{
    auto stream = std::make_unique<TStream>();
    stream->Server = this;
    stream->Connection = connection;
    stream->Id = FEndpoint.Open();
    TStream *raw = stream.get();
    MHD_Response *response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 32 * 1024, &TMhdCallbacks::ReadStream, raw, &TMhdCallbacks::FreeStream);
    if (!response) {
        FEndpoint.Close(raw->Id);
        return MHD_NO;
    }
    FStreams[raw->Id] = stream.release(); // the response owns it from here
    MHD_add_response_header(response, "Content-Type", "application/octet-stream");
    MHD_add_response_header(response, "Cache-Control", "no-store");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

void TTunnelServer::Finished(TRequest *request)
{
    FDelayed.erase(request);
    delete request;
}

long TTunnelServer::ReadStream(TStream &stream, char *buffer, size_t max)
{
    if (FStopping)
        return MHD_CONTENT_READER_END_WITH_ERROR;
    const std::string piece = FEndpoint.TakeStream(stream.Id, max);
    if (!piece.empty()) {
        std::memcpy(buffer, piece.data(), piece.size());
        return static_cast<long>(piece.size());
    }
    if (FEndpoint.StreamEnded(stream.Id))
        return MHD_CONTENT_READER_END_OF_STREAM;
    MHD_suspend_connection(stream.Connection);
    stream.Suspended = true;
    return 0;
}

void TTunnelServer::FreeStream(TStream *stream)
{
    FEndpoint.Close(stream->Id);
    FStreams.erase(stream->Id);
    delete stream;
}

void TTunnelServer::WakeReader(const std::string &id)
{
    const auto it = FStreams.find(id);
    if (it == FStreams.end() || !std::exchange(it->second->Suspended, false))
        return;
    MHD_resume_connection(it->second->Connection);
    RunSoon();
}

void TTunnelServer::Tick()
{
    FEndpoint.Tick();
    const int64_t now = FState.NowMs();
    for (auto it = FDelayed.begin(); it != FDelayed.end();) {
        if ((*it)->DueMs > now) {
            ++it;
            continue;
        }
        MHD_resume_connection((*it)->Connection);
        it = FDelayed.erase(it);
        RunSoon();
    }
    Run();
}

} // namespace kestrova::alertd
