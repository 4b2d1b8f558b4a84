#pragma once
// Fetches one named resource and calls its owner back with the text, retrying until it
// succeeds. "GSM:" locations come from the alert server (a download request over the session's
// link); "HTTP://" locations through the HTTP queue. GUI thread only.

#include "net/LoopTimer.h"
#include "session/ServerRequests.h"
#include "session/SimpleHttpRequest.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace kestrova {

class TGenericNetRequest;

// Every live request, walked once a second for due retries. The session and the HTTP queue are
// what requests registered here use; both must outlive the registry.
class TNetRequestRegistry
{
public:
    // With runTimer false nothing ticks by itself: tests call OnTimerGlobal.
    TNetRequestRegistry(IServerRequests &session, THttpQueue &queue, bool runTimer = true);
    ~TNetRequestRegistry();

    // The 1000 ms tick: counts down pending retries and starts those that are due.
    void OnTimerGlobal();
    size_t Count() const { return FRequests.size(); }
    IServerRequests &Session() { return FSession; }
    THttpQueue &Queue() { return FQueue; }

private:
    friend class TGenericNetRequest;
    uint64_t Register(TGenericNetRequest *request);
    void Unregister(uint64_t id);

    IServerRequests &FSession;
    THttpQueue &FQueue;
    std::map<uint64_t, TGenericNetRequest *> FRequests; // by registration order
    uint64_t FNextId = 1;
    TLoopTimer FTimer;
};

// The process-wide registry, created on first use with NetSession() and HttpQueue().
TNetRequestRegistry &NetRequests();
// Frees the process-wide registry and queue (at unload; no request may be alive).
void FreeNetRequests();

class TGenericNetRequest
{
public:
    using TDoneEvent = std::function<void(TGenericNetRequest &request)>;

    // Registers and starts the fetch. After OnDone has run the request is finished and inert
    // until its owner frees it; the owner may free it inside OnDone.
    TGenericNetRequest(const std::string &location, TDoneEvent onDone,
        TNetRequestRegistry &registry = NetRequests());
    // Withdraws an outstanding download and drops (or silences) a queued or running GET.
    ~TGenericNetRequest();
    TGenericNetRequest(const TGenericNetRequest &) = delete;
    TGenericNetRequest &operator=(const TGenericNetRequest &) = delete;

    const std::string &Location() const { return FLocation; }
    const std::string &Result() const { return FResult; }
    bool Finished() const { return FFinished; }
    bool ViaServer() const { return FViaServer; }
    bool Unsupported() const { return FUnsupported; }
    bool RetryPending() const { return FRetryPending; }
    int32_t RetryTicks() const { return FRetryTicks; }
    int32_t RetryCount() const { return FRetryCount; }

private:
    friend class TNetRequestRegistry;
    void RequestNow(bool fromTimer);
    void OnServerMessage(bool success, const std::string &text);
    void OnHttpMessage(const THttpWrapper &wrapper);
    void ScheduleRetry();
    // Unregisters, then calls OnDone. Returns false when the owner freed the request inside.
    bool Complete(const std::string &location);
    // One tick of the registry's timer.
    void Tick();

    TNetRequestRegistry &FRegistry;
    uint64_t FId = 0;
    std::string FLocation;
    TDoneEvent FOnDone;
    std::string FResult;
    int32_t FRetryTicks = 0;
    bool FRetryPending = false;
    int32_t FRetryCount = 0;
    bool FViaServer = false;
    bool FUnsupported = false;
    bool FFinished = false;
    TMessageHandle FServerRequest;
    std::shared_ptr<THttpQueueRequest> FHttpRequest;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// The pairs of the download request for a "GSM:" location: "location" is the path after the
// prefix up to and including its last "/", "file" what follows.
TMessageToServer DownloadRequest(const std::string &location);

} // namespace kestrova
