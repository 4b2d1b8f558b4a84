#pragma once
// The HTTP queue: a pool of HTTP clients (wrappers) serving queued GET requests in order, each
// within the session's HTTP time limit, every completion reported to the session as network
// activity. GUI thread only.

#include "net/HttpClient.h"
#include "net/LoopTimer.h"
#include "session/ServerRequests.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrova {

class THttpWrapper;
class THttpQueue;

// Called once when a queued GET completes; the wrapper holds the status, error and body.
using THttpDoneEvent = std::function<void(const THttpWrapper &wrapper)>;

// One queued GET, shared by the queue and the requester. Cancel() clears the done handler: a
// running GET then completes silently and a queued one is dropped unstarted.
struct THttpQueueRequest
{
    std::string Location;
    THttpDoneEvent OnDone;
    bool Cancelled = false;
    void Cancel()
    {
        Cancelled = true;
        OnDone = nullptr;
    }
};

class THttpWrapper
{
public:
    explicit THttpWrapper(THttpQueue &queue);
    THttpWrapper(const THttpWrapper &) = delete;
    THttpWrapper &operator=(const THttpWrapper &) = delete;

    bool Idle() const { return !FRequest; }
    // Starts request on this idle wrapper with the session's proxy settings and time limit.
    void Start(std::shared_ptr<THttpQueueRequest> request);
    // A complete 200 response: no transport error, no time-out, status 200.
    bool Succeeded() const { return ErrorCode == 0 && StatusCode == 200; }

    std::string Body;
    int StatusCode = 0;
    int ErrorCode = 0;
    bool TimedOut = false;

    THttpClient &Client() { return FClient; }
    // The time-limit handler, callable directly by tests.
    void OnTimeLimit();

private:
    void HttpRequestDone(int errorCode);

    THttpQueue &FQueue;
    THttpClient FClient;
    TLoopTimer FTimeLimit { true };
    std::shared_ptr<THttpQueueRequest> FRequest;
};

class THttpQueue
{
public:
    // session: the settings source and the network-activity listener; it must outlive the
    // queue. At least one wrapper (asserted).
    explicit THttpQueue(IServerRequests &session, int wrapperCount = 3);
    ~THttpQueue();
    THttpQueue(const THttpQueue &) = delete;
    THttpQueue &operator=(const THttpQueue &) = delete;

    // Queues a GET of location and dispatches. Nothing is queued (and null returned) when
    // onDone is empty.
    std::shared_ptr<THttpQueueRequest> Request(const std::string &location, THttpDoneEvent onDone);
    // Starts queued requests while a wrapper is idle; cancelled ones are dropped.
    void Dispatch();

    size_t PendingCount() const { return FPending.size(); }
    size_t IdleCount() const { return FIdle.size(); }
    size_t WrapperCount() const { return FWrappers.size(); }
    IServerRequests &Session() { return FSession; }

private:
    friend class THttpWrapper;
    // The wrapper finished its request: it becomes the next one to use.
    void Release(THttpWrapper &wrapper);

    IServerRequests &FSession;
    std::deque<std::shared_ptr<THttpQueueRequest>> FPending;
    std::vector<THttpWrapper *> FIdle; // stack: the most recently idled on top
    std::vector<std::unique_ptr<THttpWrapper>> FWrappers;
};

// The process-wide queue with 3 wrappers, created on first use with NetSession().
THttpQueue &HttpQueue();
// Frees the process-wide queue (at unload); a later HttpQueue() creates a new one.
void FreeHttpQueue();

} // namespace kestrova
