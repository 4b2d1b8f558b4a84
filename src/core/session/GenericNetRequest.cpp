#include "session/GenericNetRequest.h"

#include "session/NetSession.h"
#include "support/DebugLog.h"
#include "support/ProcessWide.h"

#include <algorithm>
#include <vector>

namespace kestrova {

namespace {

bool HasPrefix(const std::string &text, const std::string &upperPrefix)
{
    if (text.size() < upperPrefix.size())
        return false;
    for (size_t i = 0; i < upperPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upperPrefix[i])
            return false;
    }
    return true;
}

TProcessWide<TNetRequestRegistry> &ProcessRegistry()
{
    static TProcessWide<TNetRequestRegistry> registry;
    return registry;
}

} // namespace

TMessageToServer DownloadRequest(const std::string &location)
{
    const std::string path = location.size() > 4 ? location.substr(4) : std::string();
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? path : path.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    return { { "command", "download" }, { "location", directory }, { "file", file } };
}

TNetRequestRegistry::TNetRequestRegistry(IServerRequests &session, THttpQueue &queue, bool runTimer)
    : FSession(session)
    , FQueue(queue)
{
    if (runTimer) {
        FTimer.OnTimer = [this] { OnTimerGlobal(); };
        FTimer.Start(1000);
    }
}

TNetRequestRegistry::~TNetRequestRegistry() = default;

uint64_t TNetRequestRegistry::Register(TGenericNetRequest *request)
{
    const uint64_t id = FNextId++;
    FRequests.emplace(id, request);
    return id;
}

void TNetRequestRegistry::Unregister(uint64_t id)
{
    FRequests.erase(id);
}

void TNetRequestRegistry::OnTimerGlobal()
{
    // A retry may complete a request, whose owner may then free it or start others: walk a
    // snapshot and skip what has gone meanwhile.
    std::vector<uint64_t> ids;
    ids.reserve(FRequests.size());
    for (const auto &entry : FRequests)
        ids.push_back(entry.first);
    RunGuarded("GenericNetRequest, TGenericNetRequest.OnTimerGlobal", [&] {
        for (uint64_t id : ids) {
            const auto found = FRequests.find(id);
            if (found != FRequests.end())
                found->second->Tick();
        }
    });
}

TNetRequestRegistry &NetRequests()
{
    auto &registry = ProcessRegistry();
    if (!registry)
        registry = std::make_unique<TNetRequestRegistry>(NetSession(), HttpQueue());
    return *registry;
}

void FreeNetRequests()
{
    ProcessRegistry().reset();
    FreeHttpQueue();
}

TGenericNetRequest::TGenericNetRequest(
    const std::string &location, TDoneEvent onDone, TNetRequestRegistry &registry)
    : FRegistry(registry)
    , FLocation(location)
    , FOnDone(std::move(onDone))
{
    FId = FRegistry.Register(this);
    try {
        RequestNow(false);
    } catch (const std::exception &e) {
        FUnsupported = true;
        ReportException(e, "GenericNetRequest, TGenericNetRequest.Create(" + location + ", ...)");
    }
}

TGenericNetRequest::~TGenericNetRequest()
{
    *FAlive = false;
    if (!IsNullHandle(FServerRequest))
        FRegistry.Session().CancelRequest(FServerRequest);
    if (FHttpRequest)
        FHttpRequest->Cancel();
    FRegistry.Unregister(FId);
}

void TGenericNetRequest::RequestNow(bool fromTimer)
{
    if (fromTimer && FUnsupported) {
        FResult.clear();
        Complete("GenericNetRequest, TGenericNetRequest.RequestNow");
    } else if (HasPrefix(FLocation, "HTTP://")) {
        FHttpRequest = FRegistry.Queue().Request(
            FLocation, [this](const THttpWrapper &wrapper) { OnHttpMessage(wrapper); });
    } else if (HasPrefix(FLocation, "GSM:")) {
        FViaServer = true;
        FRegistry.Session().SendRequest(DownloadRequest(FLocation), FServerRequest,
            [this](bool success, const std::string &body, const TMessageToServer &) {
                OnServerMessage(success, body);
            });
    } else {
        FUnsupported = true;
        ScheduleRetry();
    }
}

void TGenericNetRequest::OnServerMessage(bool success, const std::string &text)
{
    FServerRequest = {};
    if (success) {
        FResult = text;
        Complete("GenericNetRequest, TGenericNetRequest.OnServerMessage");
    } else {
        ScheduleRetry();
    }
}

void TGenericNetRequest::OnHttpMessage(const THttpWrapper &wrapper)
{
    FHttpRequest.reset();
    if (wrapper.Succeeded()) {
        FResult = wrapper.Body;
        Complete("GenericNetRequest, TGenericNetRequest.OnHttpMessage");
    } else {
        ScheduleRetry();
    }
}

void TGenericNetRequest::ScheduleRetry()
{
    if (FViaServer) {
        FRetryTicks = 1;
    } else {
        ++FRetryCount;
        FRetryTicks = std::max(FRetryCount, 90);
    }
    FRetryPending = true;
}

bool TGenericNetRequest::Complete(const std::string &location)
{
    FFinished = true;
    FRetryPending = false;
    FRegistry.Unregister(FId);
    const std::shared_ptr<bool> alive = FAlive;
    if (const TDoneEvent handler = FOnDone)
        RunGuarded(location, [&] { handler(*this); });
    return *alive;
}

void TGenericNetRequest::Tick()
{
    if (!FRetryPending)
        return;
    if (--FRetryTicks > 0)
        return;
    FRetryPending = false;
    RequestNow(true);
}

} // namespace kestrova
