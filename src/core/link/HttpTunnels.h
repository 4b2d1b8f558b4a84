#pragma once
// THttpTunnel: the server conversation carried over HTTP, for networks that allow nothing else.
// The server's bytes are the body of one long GET of the reader URL; the client's bytes go out
// as POSTs, one at a time, to the address the GET's first lines name. TTunnelReader and
// TTunnelWriter decide; this class wires them to two HTTP clients, a wake-up and a 100 ms timer.
// Nothing here limits how long the GET runs (the session's watchdog does); a POST is given up
// after WriteTimeOut on the settable clock. GUI thread only.

#include "link/HttpTunnelsProtocol.h"
#include "link/SocketServerConnections.h"
#include "net/HttpClient.h"

#include <functional>
#include <memory>
#include <string>

namespace kestrova {

class TLoopTimer;
class TWakeMeSoon;

// What the tunnel needs of an HTTP client: THttpClient in the library, a fake in tests. The
// events behave as THttpClient's; they may be cleared from inside themselves.
class ITunnelHttpClient
{
public:
    virtual ~ITunnelHttpClient() = default;
    virtual void SetProxy(const THttpProxySettings &proxy) = 0;
    virtual void Get(const std::string &url) = 0;
    virtual void Post(const std::string &url, const std::string &body) = 0;
    virtual void Abort() = 0;
    virtual THttpClientState State() const = 0;
    virtual int StatusCode() const = 0;
    virtual std::string ReasonPhrase() const = 0;
    virtual std::string ErrorText() const = 0;

    std::function<void(const char *data, size_t size)> OnDocumentData;
    std::function<void(int errorCode)> OnRequestDone;
};

// The library's client: a THttpClient behind the interface.
std::unique_ptr<ITunnelHttpClient> MakeTunnelHttpClient();

enum class TTunnelState { New = 0, Connecting = 1, Connected = 2, Closed = 3 };

class THttpTunnel : public TGenericServerConnection
{
public:
    using TClientFactory = std::function<std::unique_ptr<ITunnelHttpClient>()>;
    // url: the reader page. makeClient: called twice, for the reader and the writer
    // (MakeTunnelHttpClient when empty).
    explicit THttpTunnel(std::string url, const TClientFactory &makeClient = {});
    // Closes first: OnSessionClosed is raised when the tunnel was not Closed yet.
    ~THttpTunnel() override;
    THttpTunnel(const THttpTunnel &) = delete;
    THttpTunnel &operator=(const THttpTunnel &) = delete;

    bool Connect() override;
    void Send(const std::string &bytes) override;
    void Close() override;
    void ReadAll(std::string &bytes) override;

    // The wake-up's handler: posts the next chunk when one is due and the writer is free.
    void CheckForSend();
    // The timer's handler: aborts a POST past its deadline (which then counts as a failure).
    void CheckDeadline();

    TTunnelState State() const { return FState; }
    const TTunnelWriter &Writer() const { return FWriter; }
    const std::string &WriterUrl() const { return FReader.WriterUrl(); }

private:
    THttpProxySettings ProxySettings() const;
    void ReaderData(const char *data, size_t size);
    void ReaderDone(int errorCode);
    void UploadDone(int errorCode);
    // Raises OnDebugMessage; false when the tunnel was destroyed meanwhile.
    bool Debug(const std::string &text);
    // "status, reason" of the writer's latest request.
    std::string WriterStatus() const;

    TTunnelReader FReader;
    TTunnelWriter FWriter;
    TTunnelState FState = TTunnelState::New;
    std::unique_ptr<ITunnelHttpClient> FReaderClient;
    std::unique_ptr<ITunnelHttpClient> FWriterClient;
    std::unique_ptr<TWakeMeSoon> FWake;
    std::unique_ptr<TLoopTimer> FTimer;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace kestrova
