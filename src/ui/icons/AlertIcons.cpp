#include "icons/AlertIcons.h"

#include "session/GetAlertData.h"
#include "session/ServerRequests.h"
#include "support/DebugLog.h"
#include "support/ProcessWide.h"

#include <algorithm>

namespace kestrova {

// ---- dispatcher ----

TIconDispatch::TIconDispatch(TIconCache &cache, IServerRequests &session, int pumpIntervalMs)
    : FCache(cache)
    , FSession(session)
{
    for (auto it = FHolders.rbegin(); it != FHolders.rend(); ++it)
        FFree.push_back(&*it);
    FTimer.setInterval(pumpIntervalMs);
    QObject::connect(&FTimer, &QTimer::timeout,
        [this] { RunGuarded("AlertIcons, TIconDispatch.OnTimer", [this] { Pump(); }); });
    FTimer.start();
}

TIconDispatch::~TIconDispatch()
{
    for (auto &holder : FHolders)
        if (holder.Info)
            FSession.CancelRequest(holder.Handle);
}

void TIconDispatch::Pump()
{
    while (!FFree.empty()) {
        TIconInfo *info = FCache.TakeWaiting();
        if (!info)
            return;
        info->Queue = iqRequested;
        info->Status = isRequested;
        TRequestHolder *holder = FFree.back();
        FFree.pop_back();
        holder->Handle = {};
        holder->Info = info;
        TMessageHandle handle;
        // A link that is already closed fails the request at once, inside SendRequest.
        FSession.SendRequest(
            { { "command", "download" }, { "location", info->Container.Location() },
                { "file", info->FileName } },
            handle,
            [this, holder](bool success, const std::string &body, const TMessageToServer &) {
                OnCompleted(*holder, success, body);
            });
        if (holder->Info == info)
            holder->Handle = handle;
        if (!FServerGood)
            return;
    }
}

void TIconDispatch::Release(TRequestHolder &holder)
{
    holder.Handle = {};
    holder.Info = nullptr;
    FFree.push_back(&holder);
}

void TIconDispatch::ForgetKinds(uint32_t mask)
{
    for (auto &holder : FHolders)
        if (holder.Info && (mask & (1u << holder.Info->Container.Kind()))) {
            FSession.CancelRequest(holder.Handle);
            Release(holder);
        }
}

void TIconDispatch::OnCompleted(TRequestHolder &holder, bool success, const std::string &body)
{
    TIconInfo *info = holder.Info;
    if (!info)
        return; // withdrawn
    Release(holder);
    info->Status = isRetrying;
    info->Queue = iqIdle;
    if (!success) {
        FServerGood = false;
    } else if (body.empty()) {
        info->Status = isUnavailable;
    } else {
        // A picture that cannot be decoded or stored will not decode next time either: it is
        // marked unavailable rather than asked for again at once.
        info->Status = isUnavailable;
        RunGuarded("AlertIcons, TIconDispatch.OnCompleted)", [&] {
            const QImage picture = DecodeGifPicture(body);
            if (picture.isNull())
                throw Exception("\"" + info->FileName + "\" is not a GIF picture");
            if (info->Container.Add(info->FileName, picture)) {
                FServerGood = true;
                info->Status = isLoaded;
            }
        });
        FCache.RepaintViewers();
    }
    if (info->Status == isLoaded || info->Status == isUnavailable)
        info->Queue = iqDone;
    else
        FCache.WaitAtFront(*info);
    if (success)
        Pump();
}

// ---- cache ----

TIconCache::TIconCache(IServerRequests &session, int pumpIntervalMs)
    : FContainers(MakeIconContainers())
    , FDispatch(std::make_unique<TIconDispatch>(*this, session, pumpIntervalMs))
{
}

TIconCache::~TIconCache()
{
    FDispatch.reset();
}

std::string TIconCache::Key(const std::string &fileName, TIconKind kind)
{
    return static_cast<char>('A' + kind) + fileName;
}

TIconLookup TIconCache::GetIcon(const std::string &fileName, TIconKind kind, bool background)
{
    auto &slot = FCache[Key(fileName, kind)];
    if (!slot)
        slot = std::make_unique<TIconInfo>(fileName, Container(kind));
    TIconInfo &info = *slot;
    TIconLookup result;
    result.Status = info.Status;
    result.Picture = info.Container.Get(fileName);
    if (background) {
        if (info.Queue == iqIdle) {
            FWaitList.InsertBack(info.Node);
            info.Queue = iqWaiting;
        }
    } else if (info.Queue == iqIdle || info.Queue == iqWaiting) {
        WaitAtFront(info);
    }
    FDispatch->Pump();
    return result;
}

TIconLookup TIconCache::GetAlertIcon(const std::string &alertType, bool background)
{
    return GetIcon(alertType + ".gif", ikAlert, background);
}

void TIconCache::ClearIconKinds(uint32_t mask)
{
    FDispatch->ForgetKinds(mask);
    for (auto &container : FContainers)
        if (mask & (1u << container->Kind()))
            container->Clear();
    // An entry's node leaves the wait list as the entry is freed.
    std::erase_if(FCache,
        [mask](const auto &entry) { return (mask & (1u << entry.second->Container.Kind())) != 0; });
    FDispatch->Pump();
    RepaintViewers();
}

const TIconInfo *TIconCache::Find(const std::string &fileName, TIconKind kind) const
{
    const auto it = FCache.find(Key(fileName, kind));
    return it == FCache.end() ? nullptr : it->second.get();
}

void TIconCache::RegisterIconViewer(QWidget *viewer)
{
    if (viewer && std::find(FViewers.begin(), FViewers.end(), viewer) == FViewers.end())
        FViewers.emplace_back(viewer);
}

void TIconCache::UnregisterIconViewer(QWidget *viewer)
{
    const auto it = std::find(FViewers.begin(), FViewers.end(), viewer);
    if (it == FViewers.end())
        return;
    *it = FViewers.back();
    FViewers.pop_back();
}

void TIconCache::RepaintViewers()
{
    std::erase_if(FViewers, [](const QPointer<QWidget> &viewer) { return viewer.isNull(); });
    for (const auto &viewer : FViewers)
        viewer->update();
}

TIconInfo *TIconCache::TakeWaiting()
{
    TIconInfo *info = FWaitList.First();
    if (info)
        FWaitList.Remove(info->Node);
    return info;
}

void TIconCache::WaitAtFront(TIconInfo &info)
{
    if (info.Node.Linked())
        FWaitList.Remove(info.Node);
    FWaitList.InsertFront(info.Node);
    info.Queue = iqWaiting;
}

QImage DecodeGifPicture(const std::string &bytes)
{
    QImage image;
    if (!image.loadFromData(
            reinterpret_cast<const uchar *>(bytes.data()), static_cast<int>(bytes.size()), "GIF"))
        return {};
    return OpaqueOnWhite(image);
}

// ---- the process-wide cache ----

namespace {
TProcessWide<TIconCache> &Instance()
{
    static TProcessWide<TIconCache> cache;
    return cache;
}
} // namespace

TIconCache &IconCache()
{
    auto &cache = Instance();
    if (!cache) {
        TAllAlertsConnection &session = AllAlertsConnection();
        cache = std::make_unique<TIconCache>(session);
        session.OnDiscardCharts = [] { ClearIconKinds(ChartIconKinds); };
    }
    return *cache;
}

void FreeIconCache()
{
    if (!Instance())
        return;
    if (AllAlertsConnectionExists())
        AllAlertsConnection().OnDiscardCharts = nullptr;
    Instance().reset();
}

bool IconCacheExists()
{
    return Instance() != nullptr;
}

TIconLookup GetIcon(const std::string &fileName, TIconKind kind, bool background)
{
    return IconCache().GetIcon(fileName, kind, background);
}

TIconLookup GetAlertIcon(const std::string &alertType, bool background)
{
    return IconCache().GetAlertIcon(alertType, background);
}

void ClearIconKinds(uint32_t mask)
{
    IconCache().ClearIconKinds(mask);
}

void RegisterIconViewer(QWidget *viewer)
{
    IconCache().RegisterIconViewer(viewer);
}

void UnregisterIconViewer(QWidget *viewer)
{
    if (IconCacheExists())
        IconCache().UnregisterIconViewer(viewer);
}

} // namespace kestrova
