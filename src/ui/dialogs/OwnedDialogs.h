#pragma once
// A dialog modal to its owner's window that never runs a nested event loop: Open shows it with
// open() and its result goes to a callback run on `finished`. The dialog is a child of its
// owner, so an owner freed while the dialog is open frees the dialog with it (closing it), and
// the pending callback is dropped without running: nothing reaches the freed owner.

#include "support/DebugLog.h"

#include <QDialog>
#include <functional>
#include <string>

namespace kestrova {

class TOwnedDialog : public QDialog
{
public:
    // owner: the alert window the dialog belongs to; it owns the dialog (may be null in tests).
    // location: the unit and class named when the callback raises ("Unit, TClass").
    TOwnedDialog(QWidget *owner, std::string location);
    ~TOwnedDialog() override;

protected:
    // Shows the dialog modal to its owner; onFinished(accepted) runs once when it closes. A
    // second call while it is open replaces the callback. The callback may free the dialog or
    // its owner.
    void OpenWith(std::function<void(bool accepted)> onFinished);
    // A slot for a control's signal: runs handler, reporting what it raises under method.
    template<typename F>
    auto Guarded(const char *method, F handler)
    {
        return [this, method, handler] { RunGuarded(FLocation + "." + method, handler); };
    }

private:
    void Finished(int result);

    std::string FLocation;
    std::function<void(bool)> FOnFinished;
    QMetaObject::Connection FFinishedConnection;
};

} // namespace kestrova
