#pragma once
// Where the dialogs get the small pictures the server keeps (alert-type and filter icons). The
// icon cache implements it; until one is set, dialogs draw no pictures. GUI thread only.

#include <QImage>
#include <optional>
#include <string>

class QWidget;

namespace kestrova {

// Picture kinds, numbered as the icon cache numbers them.
enum TPictureKind { pkAlertType = 0, pkFilter = 4 };

class IAlertPictures
{
public:
    virtual ~IAlertPictures() = default;
    // The picture when it is there; otherwise nothing, and asking starts fetching it.
    virtual std::optional<QImage> Picture(int kind, const std::string &fileName) = 0;
    // A registered viewer is repainted (QWidget::update) whenever a picture arrives, until it
    // is unregistered. The source does not own it.
    virtual void RegisterViewer(QWidget *viewer) = 0;
    virtual void UnregisterViewer(QWidget *viewer) = 0;
};

// The process-wide source the shared dialogs use; null until one is set. Not owned.
IAlertPictures *AlertPictures();
void SetAlertPictures(IAlertPictures *pictures);

} // namespace kestrova
