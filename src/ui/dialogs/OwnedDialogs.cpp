#include "dialogs/OwnedDialogs.h"

#include "support/DebugLog.h"

namespace kestrova {

TOwnedDialog::TOwnedDialog(QWidget *owner, std::string location)
    : QDialog(owner)
    , FLocation(std::move(location))
{
    FFinishedConnection
        = connect(this, &QDialog::finished, this, [this](int result) { Finished(result); });
}

TOwnedDialog::~TOwnedDialog()
{
    // Whatever QDialog does while it is torn down must not run the callback.
    disconnect(FFinishedConnection);
    FOnFinished = nullptr;
}

void TOwnedDialog::OpenWith(std::function<void(bool accepted)> onFinished)
{
    FOnFinished = std::move(onFinished);
    open();
}

void TOwnedDialog::Finished(int result)
{
    // Taken out first: the callback may free this dialog.
    auto callback = std::move(FOnFinished);
    FOnFinished = nullptr;
    if (callback)
        RunGuarded(FLocation + ".Finished", [&] { callback(result == QDialog::Accepted); });
}

} // namespace kestrova
