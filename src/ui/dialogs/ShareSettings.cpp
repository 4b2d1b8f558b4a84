#include "dialogs/ShareSettings.h"

#include "support/DebugLog.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace kestrova {

TShareSettingsDlg::TShareSettingsDlg(QWidget *parent)
    : QDialog(parent)
    , Bevel1(new QFrame(this))
    , Label1(new QLabel(this))
    , Edit1(new QLineEdit(this))
    , OKBtn(new QPushButton("OK", this))
    , CancelBtn(new QPushButton("Cancel", this))
{
    setWindowTitle("Collaboration");
    setFixedSize(313, 145);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    Bevel1->setGeometry(8, 8, 297, 97);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Label1->setGeometry(16, 14, 281, 52);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setText("Send the following value to another user and that user will see the same "
                    "alert settings as you.  Or enter another user's information here.");
    Edit1->setGeometry(16, 72, 281, 24);
    OKBtn->setGeometry(149, 112, 75, 25);
    CancelBtn->setGeometry(230, 112, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    Edit1->setFocus();
}

TShareSettingsDlg *OpenShareSettings(
    QWidget *owner, const std::string &webViewUrl, TShareSettingsHooks hooks)
{
    auto *dialog = new TShareSettingsDlg(owner);
    const std::string config = hooks.GetDataConfig ? hooks.GetDataConfig() : std::string();
    const QString text = QString::fromStdString(webViewUrl + config);
    dialog->Edit1->setText(text);
    // All selected, ready to copy, with the start of the address in view.
    dialog->Edit1->setSelection(static_cast<int>(text.size()), -static_cast<int>(text.size()));
    if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, hooks](int result) {
        RunGuarded("ShareSettings, TShareSettingsDlg.Finished", [&] {
            if (result == QDialog::Accepted && hooks.SetDataConfig)
                hooks.SetDataConfig(dialog->Edit1->text().toStdString());
        });
        dialog->deleteLater();
    });
    if (hooks.BeforeModal)
        RunGuarded(
            "ShareSettings, TShareSettingsDlg.BeforeModal", [&] { hooks.BeforeModal(*dialog); });
    dialog->open();
    return dialog;
}

} // namespace kestrova
