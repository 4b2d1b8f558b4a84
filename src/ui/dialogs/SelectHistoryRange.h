#pragma once
// The history range dialog: which stretch of past alerts an alert window loads. The newest end
// is "Now" or a chosen date and time, the oldest end the morning a number of days ago or a
// chosen date and time. One per alert window, kept between uses so the choices stay. GUI
// thread only. Controls carry their unit names as object names (StartNowRadioButton ...).

#include "dialogs/OwnedDialogs.h"
#include "dialogs/SelectHistoryRangeModel.h"

class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace kestrova {

class TSelectHistoryRangeForm : public TOwnedDialog
{
public:
    // The owner (the alert window) frees the dialog; see TOwnedDialog.
    explicit TSelectHistoryRangeForm(QWidget *owner);

    // Shows the dialog modal to its owner; on OK onOk(StartTime(), EndTime()). Cancel calls
    // nothing.
    void Open(std::function<void(TDateTime start, TDateTime end)> onOk);

    // The range on the server's clock: 0 for "Now"; see HistoryRangeStartTime/EndTime.
    TDateTime StartTime() const;
    TDateTime EndTime() const;
    THistoryRangeChoice Choice() const;
    // Why OK is disabled ("" when it is enabled); shown as the button panel's hint.
    std::string Reason() const { return FReason; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void StartPickerChange();
    void EndPickerChange();
    void EndDaysComboBoxChange();
    void Validate();

    QRadioButton *FStartNowRadioButton = nullptr;
    QRadioButton *FStartSelectRadioButton = nullptr;
    QDateEdit *FStartDatePicker = nullptr;
    QTimeEdit *FStartTimePicker = nullptr;
    QRadioButton *FEndDaysRadioButton = nullptr;
    QComboBox *FEndDaysComboBox = nullptr;
    QRadioButton *FEndSelectRadioButton = nullptr;
    QDateEdit *FEndDatePicker = nullptr;
    QTimeEdit *FEndTimePicker = nullptr;
    QWidget *FButtonPanel = nullptr;
    QPushButton *FOkayButton = nullptr;
    std::string FReason;
    bool FLoading = false; // set while the dialog itself moves the pickers
};

} // namespace kestrova
