#pragma once
// A picture source for dialogs that downloads alert-type and filter icons from the alert server
// through a session, the way the icon cache does, so that tests and screenshots show real icons.

#include "dialogs/AlertPictures.h"
#include "session/ServerRequests.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <map>
#include <vector>

namespace kvtest {

class ServerPictures : public kestrova::IAlertPictures
{
public:
    explicit ServerPictures(kestrova::IServerRequests &server)
        : FServer(server)
    {
    }
    ~ServerPictures() override
    {
        for (auto &[key, entry] : FEntries)
            FServer.CancelRequest(entry.Request);
    }

    std::optional<QImage> Picture(int kind, const std::string &fileName) override
    {
        const std::string key = std::to_string(kind) + fileName;
        auto [it, added] = FEntries.try_emplace(key);
        if (added) {
            const std::string location = kind == kestrova::pkFilter ? "/Filters/" : "/Alerts/";
            FServer.SendRequest(
                { { "command", "download" }, { "location", location }, { "file", fileName } },
                it->second.Request,
                [this, key](bool success, const std::string &body, const auto &) {
                    Entry &entry = FEntries[key];
                    entry.Request = {};
                    if (success)
                        entry.Image = QImage::fromData(
                            reinterpret_cast<const uchar *>(body.data()), int(body.size()), "GIF");
                    for (auto &viewer : FViewers)
                        if (viewer)
                            viewer->update();
                });
        }
        if (it->second.Image.isNull())
            return std::nullopt;
        return it->second.Image;
    }
    void RegisterViewer(QWidget *viewer) override { FViewers.emplace_back(viewer); }
    void UnregisterViewer(QWidget *viewer) override { std::erase(FViewers, viewer); }
    // Pictures that have arrived.
    size_t Loaded() const
    {
        size_t n = 0;
        for (const auto &[key, entry] : FEntries)
            n += !entry.Image.isNull();
        return n;
    }

private:
    struct Entry
    {
        kestrova::TMessageHandle Request;
        QImage Image;
    };
    kestrova::IServerRequests &FServer;
    std::map<std::string, Entry> FEntries;
    std::vector<QPointer<QWidget>> FViewers;
};

} // namespace kvtest
