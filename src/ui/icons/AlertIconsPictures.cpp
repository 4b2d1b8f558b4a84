// The icon cache behind the dialogs' picture source.

#include "icons/AlertIconsPictures.h"

#include "icons/AlertIcons.h"
#include "session/GetAlertData.h"

namespace kestrova {

namespace {

class TIconCachePictures final : public IAlertPictures
{
public:
    std::optional<QImage> Picture(int kind, const std::string &fileName) override
    {
        if (kind < 0 || kind >= IconKindCount || !AllAlertsConnectionExists())
            return std::nullopt;
        const TIconLookup found = GetIcon(fileName, static_cast<TIconKind>(kind), false);
        if (found.Status != isLoaded || !found.Picture)
            return std::nullopt;
        return *found.Picture;
    }
    void RegisterViewer(QWidget *viewer) override
    {
        if (AllAlertsConnectionExists())
            RegisterIconViewer(viewer);
    }
    void UnregisterViewer(QWidget *viewer) override { UnregisterIconViewer(viewer); }
};

} // namespace

IAlertPictures &IconCachePictures()
{
    static TIconCachePictures pictures; // stateless: safe to destroy at unload
    return pictures;
}

} // namespace kestrova
