#include "session/SimpleHttpRequest.h"

#include "session/NetSession.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "support/ProcessWide.h"

namespace kestrova {

THttpWrapper::THttpWrapper(THttpQueue &queue)
    : FQueue(queue)
{
    FClient.OnDocumentData = [this](const char *data, size_t size) { Body.append(data, size); };
    FClient.OnRequestDone = [this](int errorCode) { HttpRequestDone(errorCode); };
    FTimeLimit.OnTimer = [this] {
        RunGuarded("SimpleHttpRequest, THttpWrapper.OnTimeLimit", [this] { OnTimeLimit(); });
    };
}

void THttpWrapper::Start(std::shared_ptr<THttpQueueRequest> request)
{
    KV_ASSERT(Idle(), "THttpWrapper.Start on a busy wrapper");
    const TConnectionSettings settings = FQueue.Session().ConnectionSettings();
    THttpProxySettings &proxy = FClient.Proxy;
    proxy.Host = settings.HttpProxyHost;
    proxy.Port = std::to_string(settings.HttpProxyPort);
    proxy.Username = settings.HttpProxyUsername;
    proxy.Password = settings.HttpProxyPassword;
    proxy.SocksLevel = settings.SocksLevel == 4 ? "4" : settings.SocksLevel == 5 ? "5" : "";
    if (!proxy.SocksLevel.empty()) {
        proxy.SocksServer = settings.SocksServer;
        proxy.SocksPort = std::to_string(settings.SocksPort);
        proxy.SocksUsername = settings.SocksUsername;
        proxy.SocksPassword = settings.SocksPassword;
    } else {
        proxy.SocksServer.clear();
        proxy.SocksPort.clear();
        proxy.SocksUsername.clear();
        proxy.SocksPassword.clear();
    }
    Body.clear();
    StatusCode = 0;
    ErrorCode = 0;
    TimedOut = false;
    FRequest = std::move(request);
    FTimeLimit.Start(settings.HttpTimeLimit);
    FClient.Get(FRequest->Location);
}

void THttpWrapper::OnTimeLimit()
{
    FTimeLimit.Stop();
    TimedOut = true;
    FClient.Abort(); // completes the request through HttpRequestDone
}

void THttpWrapper::HttpRequestDone(int errorCode)
{
    FTimeLimit.Stop();
    ErrorCode = errorCode;
    StatusCode = FClient.StatusCode();
    if (FRequest && FRequest->OnDone) {
        const THttpDoneEvent handler = FRequest->OnDone;
        RunGuarded("SimpleHttpRequest, THttpWrapper.HttpRequestDone", [&] { handler(*this); });
    }
    std::string text;
    if (!Succeeded()) {
        if (TimedOut)
            text = "HTTP timed out";
        else
            text = (ErrorCode != 0 ? FClient.ErrorText() : FClient.ReasonPhrase()) + " (HTTP)";
    }
    const bool success = Succeeded();
    RunGuarded("SimpleHttpRequest, THttpWrapper.HttpRequestDone",
        [&] { FQueue.Session().ReportNetworkActivity(success, text); });
    Body.clear();
    FRequest.reset();
    FQueue.Release(*this);
}

THttpQueue::THttpQueue(IServerRequests &session, int wrapperCount)
    : FSession(session)
{
    KV_ASSERT(wrapperCount > 0, "THttpQueue needs at least one wrapper");
    for (int i = 0; i < wrapperCount; ++i) {
        FWrappers.push_back(std::make_unique<THttpWrapper>(*this));
        FIdle.push_back(FWrappers.back().get());
    }
}

THttpQueue::~THttpQueue() = default;

std::shared_ptr<THttpQueueRequest> THttpQueue::Request(
    const std::string &location, THttpDoneEvent onDone)
{
    if (!onDone)
        return nullptr;
    auto request = std::make_shared<THttpQueueRequest>();
    request->Location = location;
    request->OnDone = std::move(onDone);
    FPending.push_back(request);
    Dispatch();
    return request;
}

void THttpQueue::Dispatch()
{
    while (!FIdle.empty() && !FPending.empty()) {
        std::shared_ptr<THttpQueueRequest> request = std::move(FPending.front());
        FPending.pop_front();
        if (request->Cancelled)
            continue;
        THttpWrapper *wrapper = FIdle.back();
        FIdle.pop_back();
        wrapper->Start(std::move(request));
    }
}

void THttpQueue::Release(THttpWrapper &wrapper)
{
    FIdle.push_back(&wrapper);
    Dispatch();
}

namespace {
TProcessWide<THttpQueue> &ProcessQueue()
{
    static TProcessWide<THttpQueue> queue;
    return queue;
}
} // namespace

THttpQueue &HttpQueue()
{
    auto &queue = ProcessQueue();
    if (!queue)
        queue = std::make_unique<THttpQueue>(NetSession(), 3);
    return *queue;
}

void FreeHttpQueue()
{
    ProcessQueue().reset();
}

} // namespace kestrova
