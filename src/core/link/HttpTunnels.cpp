#include "link/HttpTunnels.h"

#include "link/WakeMeSoon.h"
#include "net/LoopTimer.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"

namespace kestrova {

namespace {

const char *const Here = "HttpTunnels, THttpTunnel.";

class TCurlTunnelClient : public ITunnelHttpClient
{
public:
    TCurlTunnelClient()
    {
        // Copies of the handlers run, so that a handler may clear itself.
        FClient.OnDocumentData = [this](const char *data, size_t size) {
            if (auto handler = OnDocumentData)
                handler(data, size);
        };
        FClient.OnRequestDone = [this](int errorCode) {
            if (auto handler = OnRequestDone)
                handler(errorCode);
        };
    }
    void SetProxy(const THttpProxySettings &proxy) override { FClient.Proxy = proxy; }
    void Get(const std::string &url) override { FClient.Get(url); }
    void Post(const std::string &url, const std::string &body) override { FClient.Post(url, body); }
    void Abort() override { FClient.Abort(); }
    THttpClientState State() const override { return FClient.State(); }
    int StatusCode() const override { return FClient.StatusCode(); }
    std::string ReasonPhrase() const override { return FClient.ReasonPhrase(); }
    std::string ErrorText() const override { return FClient.ErrorText(); }

private:
    THttpClient FClient;
};

} // namespace

std::unique_ptr<ITunnelHttpClient> MakeTunnelHttpClient()
{
    return std::make_unique<TCurlTunnelClient>();
}

THttpTunnel::THttpTunnel(std::string url, const TClientFactory &makeClient)
    : FReader(std::move(url))
    , FReaderClient(makeClient ? makeClient() : MakeTunnelHttpClient())
    , FWriterClient(makeClient ? makeClient() : MakeTunnelHttpClient())
    , FWake(std::make_unique<TWakeMeSoon>())
    , FTimer(std::make_unique<TLoopTimer>())
{
    KV_ASSERT(FReaderClient && FWriterClient, "THttpTunnel: no HTTP client");
    FReaderClient->OnDocumentData = [this](const char *data, size_t size) {
        RunGuarded(std::string(Here) + "ReaderData", [&] { ReaderData(data, size); });
    };
    FReaderClient->OnRequestDone = [this](int errorCode) {
        RunGuarded(std::string(Here) + "ReaderDone", [&] { ReaderDone(errorCode); });
    };
    FWriterClient->OnRequestDone = [this](int errorCode) {
        RunGuarded(std::string(Here) + "UploadDone", [&] { UploadDone(errorCode); });
    };
    FWake->OnWake = [this] { CheckForSend(); }; // the wake-up guards its handler
    FTimer->OnTimer
        = [this] { RunGuarded(std::string(Here) + "CheckDeadline", [this] { CheckDeadline(); }); };
    FTimer->Start(100);
}

THttpTunnel::~THttpTunnel()
{
    RunGuarded(std::string(Here) + "Destroy", [this] { Close(); });
    *FAlive = false;
    FTimer->Stop();
}

THttpProxySettings THttpTunnel::ProxySettings() const
{
    // An HTTP proxy alone (never chained behind SOCKS); else SOCKS when fully set; else none.
    THttpProxySettings proxy;
    if (!HttpProxyHost.empty()) {
        proxy.Host = HttpProxyHost;
        proxy.Port = std::to_string(HttpProxyPort);
        proxy.Username = HttpProxyUsername;
        proxy.Password = HttpProxyPassword;
    } else if (!SocksServer.empty() && !SocksPort.empty() && !SocksLevel.empty()) {
        proxy.SocksLevel = SocksLevel;
        proxy.SocksServer = SocksServer;
        proxy.SocksPort = SocksPort;
        proxy.SocksUsername = SocksUsername;
        proxy.SocksPassword = SocksPassword;
    }
    return proxy;
}

bool THttpTunnel::Connect()
{
    KV_ASSERT(FState == TTunnelState::New, "THttpTunnel.Connect: not New");
    FState = TTunnelState::Connecting;
    try {
        const THttpProxySettings proxy = ProxySettings();
        FWriterClient->SetProxy(proxy);
        FReaderClient->SetProxy(proxy);
        FReaderClient->Get(FReader.Url());
        return true;
    } catch (const Exception &e) {
        ErrorMessage = std::string("THttpTunnel.Connect, ") + e.ClassName() + ", " + e.what() + ", "
            + std::to_string(FReaderClient->StatusCode()) + ", " + FReaderClient->ReasonPhrase();
    }
    Close();
    return false;
}

void THttpTunnel::Send(const std::string &bytes)
{
    KV_ASSERT(FState == TTunnelState::Connected || FState == TTunnelState::Closed,
        "THttpTunnel.Send before the tunnel is up");
    if (FState != TTunnelState::Connected)
        return;
    FWriter.Append(bytes);
    FWake->RequestWake();
}

void THttpTunnel::ReadAll(std::string &bytes)
{
    bytes.clear();
    if (FState == TTunnelState::Connected || FState == TTunnelState::Closed)
        bytes = FReader.TakeReceived();
}

void THttpTunnel::Close()
{
    if (FState == TTunnelState::Closed)
        return;
    FState = TTunnelState::Closed;
    FReaderClient->OnDocumentData = nullptr;
    FReaderClient->OnRequestDone = nullptr;
    FReaderClient->Abort();
    FWriterClient->OnRequestDone = nullptr;
    FWriterClient->Abort();
    FWriter.Stop();
    if (OnSessionClosed)
        OnSessionClosed(*this);
}

void THttpTunnel::ReaderData(const char *data, size_t size)
{
    if (FState == TTunnelState::Closed)
        return;
    auto alive = FAlive;
    const bool wasConnected = FReader.Step() == TTunnelReaderStep::Connected;
    const TTunnelReaderStep step = FReader.Feed(
        FReaderClient->StatusCode(), FReaderClient->ReasonPhrase(), std::string_view(data, size));
    if (step == TTunnelReaderStep::Failed) {
        ErrorMessage = FReader.Failure();
        Close();
        return;
    }
    if (step == TTunnelReaderStep::Connected && !wasConnected) {
        FState = TTunnelState::Connected;
        if (OnSessionConnected)
            OnSessionConnected(*this);
        if (!*alive || FState != TTunnelState::Connected)
            return;
    }
    if (FReader.HasReceived() && OnDataAvailable)
        OnDataAvailable(*this);
}

void THttpTunnel::ReaderDone(int errorCode)
{
    if (FState == TTunnelState::Connecting)
        ErrorMessage = TTunnelReader::EndText(FReaderClient->StatusCode(),
            FReaderClient->ReasonPhrase(), errorCode != 0 ? FReaderClient->ErrorText() : "");
    Close();
}

std::string THttpTunnel::WriterStatus() const
{
    return std::to_string(FWriterClient->StatusCode()) + ", " + FWriterClient->ReasonPhrase();
}

bool THttpTunnel::Debug(const std::string &text)
{
    auto alive = FAlive;
    if (OnDebugMessage)
        OnDebugMessage(*this, text);
    return *alive;
}

void THttpTunnel::CheckForSend()
{
    if (FState != TTunnelState::Connected || !FWriter.WantsToPost())
        return;
    const THttpClientState writerState = FWriterClient->State();
    if (writerState == THttpClientState::Requesting)
        return; // its request-done event wakes the tunnel again
    if (writerState != THttpClientState::Ready) {
        const std::string text = "HTTP Not Ready on Write:  " + WriterStatus()
            + ", State=" + std::to_string(static_cast<int>(writerState));
        FWriter.Stop();
        if (Debug(text))
            Close();
        return;
    }
    const std::string &body = FWriter.StartPost(Clock::Now(), WriteTimeOut);
    try {
        FWriterClient->Post(FReader.WriterUrl(), body);
    } catch (const Exception &e) {
        ReportException(e, "HttpTunnels, THttpTunnel.CheckForSend");
        const std::string text = std::string("Unexpected Exception:  THttpTunnel.CheckForSend, ")
            + e.ClassName() + ", " + e.what() + ", " + WriterStatus();
        FWriter.Stop();
        if (Debug(text))
            Close();
    }
}

void THttpTunnel::UploadDone(int errorCode)
{
    if (FWriterClient->State() != THttpClientState::Ready
        || FWriter.State() != TUploadState::Posting)
        return;
    const int status = FWriterClient->StatusCode();
    const std::string details
        = WriterStatus() + ", state: " + std::to_string(static_cast<int>(FWriterClient->State()));
    switch (FWriter.Finished(errorCode == 0 && status == 200)) {
    case TUploadVerdict::SendNext:
        FWake->RequestWake();
        break;
    case TUploadVerdict::Retry:
        if ((errorCode != 0 || status != 0) && !Debug("Error sending data to server:  " + details))
            return;
        FWake->RequestWake();
        break;
    case TUploadVerdict::Close:
        if (Debug("ERROR sending data to server:  " + details))
            Close();
        break;
    }
}

void THttpTunnel::CheckDeadline()
{
    if (!FWriter.Expired(Clock::Now()))
        return;
    try {
        FWriterClient->Abort(); // ends in UploadDone as a failure
    } catch (...) {
    }
}

} // namespace kestrova
