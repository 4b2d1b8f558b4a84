#pragma once
// The "Collaboration" dialog: shows a window's alert settings as a web address that can be sent
// to another user, and takes such an address (or a bare configuration string) from one.
// GUI thread only.

#include <QDialog>
#include <functional>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class TShareSettingsDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TShareSettingsDlg(QWidget *parent = nullptr);

    QFrame *Bevel1;
    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *OKBtn, *CancelBtn;

private:
    void LayOut();
};

// What the dialog needs of the window it serves.
struct TShareSettingsHooks
{
    std::function<std::string()> GetDataConfig;
    // Called on OK with the edit's text; the window takes what follows the first "?".
    std::function<void(const std::string &text)> SetDataConfig;
    // Called with the dialog just before it is shown (the host's before-modal callback).
    std::function<void(QDialog &dialog)> BeforeModal;
};

// Creates the dialog as a child of owner, fills the edit with webViewUrl followed by the
// window's data configuration (all selected, ready to copy) and opens it modal to owner's
// window without a nested event loop. OK hands the text to SetDataConfig; Cancel changes
// nothing. The dialog frees itself once closed; the returned pointer is valid until then.
TShareSettingsDlg *OpenShareSettings(
    QWidget *owner, const std::string &webViewUrl, TShareSettingsHooks hooks);

} // namespace kestrova
