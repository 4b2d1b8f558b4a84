#include "dialogs/ShareSettings.h"

#include "support/DebugLog.h"
#include "support/GeneralFont.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

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
    setFont(GeneralFont());
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setText("Send the following value to another user and that user will see the same "
                    "alert settings as you.  Or enter another user's information here.");
    LayOut();
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    Edit1->setFocus();
}

// The form's layout, 313 x 145, where the text and the controls fit; a font that needs more room
// for them makes the dialog taller by as much, so no text is cut.
void TShareSettingsDlg::LayOut()
{
    constexpr int Width = 313, Height = 145, Margin = 8, Inner = 16, InnerWidth = 281;
    constexpr int TextHeight = 52, EditHeight = 24, ButtonWidth = 75, ButtonHeight = 25;
    const int text = std::max(TextHeight,
        QFontMetrics(font())
            .boundingRect(QRect(0, 0, InnerWidth, 0), Qt::TextWordWrap, Label1->text())
            .height());
    const int edit = std::max(EditHeight, Edit1->sizeHint().height());
    const int button = std::max(ButtonHeight, OKBtn->sizeHint().height());
    Label1->setGeometry(Inner, 14, InnerWidth, text);
    Edit1->setGeometry(Inner, Label1->y() + text + 6, InnerWidth, edit);
    Bevel1->setGeometry(Margin, Margin, Width - 2 * Margin, Edit1->y() + edit + 9 - Margin);
    const int buttons = Bevel1->y() + Bevel1->height() + 7;
    OKBtn->setGeometry(Width - Margin - 2 * ButtonWidth - 6, buttons, ButtonWidth, button);
    CancelBtn->setGeometry(Width - Margin - ButtonWidth, buttons, ButtonWidth, button);
    setFixedSize(Width, std::max(Height, buttons + button + Margin));
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
