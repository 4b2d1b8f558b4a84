#pragma once
// The icon cache: pictures that live on the server (alert-type icons, textures, charts, filter
// icons), asked for by kind and file name. A caller gets at once whatever is cached plus a
// status; a missing picture is queued and downloaded through the session ("download"), decoded
// from GIF and stored, and every registered viewer is repainted when one arrives.
// Downloads are throttled by 50 request holders and, after a failure, by one request per pump
// until a download succeeds again. GUI thread only.

#include "icons/AlertIconsContainers.h"
#include "icons/AlertIconsList.h"
#include "link/Messages.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrova {

class IServerRequests;

// What callers are told about a picture. Draw it only when Loaded.
enum TIconStatus : uint8_t {
    isNotRequested = 0,
    isLoaded = 1,
    isRequested = 2,
    isRetrying = 3, // the last request failed; it waits to be sent again
    isUnavailable = 4, // the server has no such picture, or it could not be decoded or stored
};

enum TIconQueueState : uint8_t {
    iqIdle = 0,
    iqWaiting = 1, // in the wait list
    iqRequested = 2,
    iqDone = 3, // never fetched again (until its kind is cleared)
};

// One picture ever asked for.
struct TIconInfo
{
    TIconInfo(std::string fileName, TImageContainer &container)
        : FileName(std::move(fileName))
        , Container(container)
        , Node(this)
    {
    }
    const std::string FileName; // as requested, ".gif" included
    TImageContainer &Container;
    TDLinkedNode<TIconInfo> Node; // in the wait list while Waiting
    TIconQueueState Queue = iqIdle;
    TIconStatus Status = isNotRequested;
};

struct TIconLookup
{
    // The cached picture or nullptr; valid until the next look-up (packed kinds share a
    // scratch image per kind).
    const QImage *Picture = nullptr;
    TIconStatus Status = isNotRequested;
};

class TIconCache;

// The request holders, the ServerGood throttle and the pump's timer.
class TIconDispatch
{
public:
    static constexpr size_t HolderCount = 50;

    TIconDispatch(TIconCache &cache, IServerRequests &session, int pumpIntervalMs);
    // Forgets every request in flight: no reply reaches a freed dispatcher.
    ~TIconDispatch();
    TIconDispatch(const TIconDispatch &) = delete;
    TIconDispatch &operator=(const TIconDispatch &) = delete;

    // Sends waiting pictures while a holder is free; only one while the server is not good.
    void Pump();
    // Withdraws the downloads of the kinds in mask (bit k = kind k) and frees their holders.
    void ForgetKinds(uint32_t mask);

    bool ServerGood() const { return FServerGood; }
    size_t InFlight() const { return HolderCount - FFree.size(); }

private:
    struct TRequestHolder
    {
        TMessageHandle Handle;
        TIconInfo *Info = nullptr;
    };
    void Release(TRequestHolder &holder);
    void OnCompleted(TRequestHolder &holder, bool success, const std::string &body);

    TIconCache &FCache;
    IServerRequests &FSession;
    std::array<TRequestHolder, HolderCount> FHolders;
    std::vector<TRequestHolder *> FFree;
    bool FServerGood = false;
    QTimer FTimer;
};

class TIconCache
{
public:
    // The session must outlive the cache. pumpIntervalMs: how often the pump runs by itself.
    explicit TIconCache(IServerRequests &session, int pumpIntervalMs = 5000);
    ~TIconCache();
    TIconCache(const TIconCache &) = delete;
    TIconCache &operator=(const TIconCache &) = delete;

    // The cached picture and its status; then queues it (Background: at the back, and only when
    // idle; otherwise at the front, ahead of background work) and runs the pump.
    TIconLookup GetIcon(const std::string &fileName, TIconKind kind, bool background);
    // The icon of an alert type ("NH" -> "/Alerts/NH.gif").
    TIconLookup GetAlertIcon(const std::string &alertType, bool background);
    // Forgets every picture of the kinds in mask (bit k = kind k), in flight ones included.
    void ClearIconKinds(uint32_t mask);

    // Widgets repainted (update()) whenever a picture arrives or kinds are cleared. A widget
    // that is destroyed while registered is simply skipped.
    void RegisterIconViewer(QWidget *viewer);
    void UnregisterIconViewer(QWidget *viewer);

    TImageContainer &Container(TIconKind kind) { return *FContainers.at(kind); }
    // The entry of a picture, or nullptr when it was never asked for (or was cleared).
    const TIconInfo *Find(const std::string &fileName, TIconKind kind) const;
    size_t Size() const { return FCache.size(); }
    TIconDispatch &Dispatch() { return *FDispatch; }

private:
    friend class TIconDispatch;
    static std::string Key(const std::string &fileName, TIconKind kind);
    void RepaintViewers();
    // The first waiting entry, taken off the wait list; nullptr when none waits.
    TIconInfo *TakeWaiting();
    void WaitAtFront(TIconInfo &info);

    std::vector<std::unique_ptr<TImageContainer>> FContainers;
    TDLinkedList<TIconInfo> FWaitList; // before the cache: entries unlink from it as they go
    std::map<std::string, std::unique_ptr<TIconInfo>> FCache;
    std::vector<QPointer<QWidget>> FViewers;
    std::unique_ptr<TIconDispatch> FDispatch;
};

// Decodes GIF bytes into an opaque picture (transparent pixels on white); a null image when the
// bytes are not a picture.
QImage DecodeGifPicture(const std::string &bytes);

// The process-wide cache, created on first use talking through the all-alerts session, whose
// chart refreshes it follows. Free it before the session.
TIconCache &IconCache();
void FreeIconCache();
bool IconCacheExists();

TIconLookup GetIcon(const std::string &fileName, TIconKind kind, bool background);
TIconLookup GetAlertIcon(const std::string &alertType, bool background);
void ClearIconKinds(uint32_t mask);
void RegisterIconViewer(QWidget *viewer);
// Does nothing when the cache is gone (a viewer outliving it).
void UnregisterIconViewer(QWidget *viewer);

} // namespace kestrova
