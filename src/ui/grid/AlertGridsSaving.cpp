// The alert grid's save commands: "Save Contents..." (CSV) and "Save Quorix Results..." (the
// backtest status box as rich text). Each has its own save dialog, created on first use and
// kept; an existing file is replaced only after the user agreed, and a failed save shows
// "Error saving file." and leaves the file as it was.

#include "grid/AlertGrids.h"
#include "grid/AlertGridsContents.h"
#include "grid/AlertPanel.h"
#include "support/DebugLog.h"
#include "support/FileSaving.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace kestrova {

namespace {
QMessageBox *NewMessageBox(QWidget *owner, QMessageBox::Icon icon, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons)
{
    auto *box = new QMessageBox(icon, title, text, buttons, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}
} // namespace

void TAlertGrid::SaveContentsClicked()
{
    if (!FSaveContentsDialog)
        FSaveContentsDialog
            = NewSaveDialog("csv", "Excel files (*.csv)", &TAlertGrid::SaveContents);
    BeforeModal(*FSaveContentsDialog);
    FSaveContentsDialog->open();
}

void TAlertGrid::SaveQuorixResultsClicked()
{
    if (!FSaveResultsDialog)
        FSaveResultsDialog
            = NewSaveDialog("rtf", "Rich text files (*.rtf)", &TAlertGrid::SaveQuorixResults);
    BeforeModal(*FSaveResultsDialog);
    FSaveResultsDialog->open();
}

QFileDialog *TAlertGrid::NewSaveDialog(const char *suffix, const char *filter, TSaveMethod save)
{
    auto *dialog = new QFileDialog(this);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The overwrite prompt comes after the dialog closes, without a nested event loop.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(suffix);
    dialog->setNameFilters({ filter, "All files (*)" });
    connect(dialog, &QDialog::finished, this, [this, dialog, save](int result) {
        if (FClosing || result != QDialog::Accepted)
            return;
        RunGuarded("AlertGrids, TAlertGrid.SaveDialogClosed",
            [&] { SaveChosenFile(dialog->selectedFiles().value(0), save); });
    });
    return dialog;
}

void TAlertGrid::SaveChosenFile(const QString &file, TSaveMethod save)
{
    if (file.isEmpty())
        return;
    if (!QFileInfo::exists(file)) {
        WriteChosenFile(file, save);
        return;
    }
    QMessageBox *box = NewMessageBox(this, QMessageBox::Warning, "Confirm Save As",
        QString("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(file).fileName()),
        QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QDialog::finished, this, [this, box, file, save] {
        if (!FClosing && box->clickedButton() == box->button(QMessageBox::Yes))
            RunGuarded(
                "AlertGrids, TAlertGrid.SaveConfirmed", [&] { WriteChosenFile(file, save); });
    });
    box->open();
}

void TAlertGrid::WriteChosenFile(const QString &file, TSaveMethod save)
{
    try {
        (this->*save)(file.toStdString());
    } catch (const std::exception &e) {
        NewMessageBox(this, QMessageBox::Warning, "Error saving file.",
            QString::fromStdString(e.what()), QMessageBox::Ok)
            ->open();
    }
}

void TAlertGrid::SaveContents(const std::string &fileName) const
{
    std::vector<TAlertRecord> alerts(static_cast<size_t>(std::max(0, FList->Count())));
    for (size_t i = 0; i < alerts.size(); ++i)
        FList->GetAlert(static_cast<int32_t>(i), alerts[i]);
    TCsvTimeForms forms;
    std::tie(forms.Date, forms.Time) = LocaleShortDateTimePatterns();
    forms.ServerZoneDays = FSession.ServerZoneOffsetDays();
    SaveFileContents(fileName, ContentsCsv(FDataTypes, alerts, forms));
}

void TAlertGrid::SaveQuorixResults(const std::string &fileName) const
{
    FPanel.SaveStatus(fileName);
}

} // namespace kestrova
