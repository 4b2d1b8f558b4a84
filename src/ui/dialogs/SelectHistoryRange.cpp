#include "dialogs/SelectHistoryRange.h"

#include "session/TimeDefaults.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>

namespace kestrova {

namespace {
const QDate DayZero(1899, 12, 30);

QDate ToDate(TDateTime value)
{
    return DayZero.addDays(static_cast<qint64>(std::floor(value)));
}

QTime ToTime(TDateTime value)
{
    const double fraction = value - std::floor(value);
    return QTime::fromMSecsSinceStartOfDay(
        static_cast<int>(std::min(std::round(fraction * 86400000.0), 86399999.0)));
}

TDateTime FromDate(QDate date)
{
    return static_cast<TDateTime>(DayZero.daysTo(date));
}

TDateTime FromTime(QTime time)
{
    return time.msecsSinceStartOfDay() / 86400000.0;
}

// A row of a group: a radio button without caption followed by its controls.
QHBoxLayout *Row(QVBoxLayout *group, QRadioButton *radio)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(radio);
    group->addLayout(row);
    return row;
}

template<typename T>
T *Named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

TSelectHistoryRangeForm::TSelectHistoryRangeForm(QWidget *owner)
    : TOwnedDialog(owner, "SelectHistoryRange, TSelectHistoryRangeForm")
{
    setObjectName(QStringLiteral("SelectHistoryRangeForm"));
    setWindowTitle(QStringLiteral("Select History Range"));

    auto *startGroup = Named(new QGroupBox(QStringLiteral("Start")), "StartGroupBox");
    startGroup->setToolTip(QStringLiteral("The most recent alerts you want to see."));
    auto *startLayout = new QVBoxLayout(startGroup);
    FStartNowRadioButton = Named(new QRadioButton(QStringLiteral("Now")), "StartNowRadioButton");
    startLayout->addWidget(FStartNowRadioButton);
    FStartSelectRadioButton = Named(new QRadioButton, "StartSelectRadioButton");
    FStartDatePicker = Named(new QDateEdit, "StartDatePicker");
    FStartTimePicker = Named(new QTimeEdit, "StartTimePicker");
    auto *startRow = Row(startLayout, FStartSelectRadioButton);
    startRow->addWidget(FStartDatePicker, 1);
    startRow->addWidget(FStartTimePicker, 1);

    auto *endGroup = Named(new QGroupBox(QStringLiteral("End")), "EndGroupBox");
    endGroup->setToolTip(QStringLiteral("The oldest alerts you want to see."));
    auto *endLayout = new QVBoxLayout(endGroup);
    FEndDaysRadioButton = Named(new QRadioButton, "EndDaysRadioButton");
    FEndDaysComboBox = Named(new QComboBox, "EndDaysComboBox");
    Row(endLayout, FEndDaysRadioButton)->addWidget(FEndDaysComboBox, 1);
    FEndSelectRadioButton = Named(new QRadioButton, "EndSelectRadioButton");
    FEndDatePicker = Named(new QDateEdit, "EndDatePicker");
    FEndTimePicker = Named(new QTimeEdit, "EndTimePicker");
    auto *endRow = Row(endLayout, FEndSelectRadioButton);
    endRow->addWidget(FEndDatePicker, 1);
    endRow->addWidget(FEndTimePicker, 1);

    // Each group's radio buttons exclude each other; the two groups do not.
    for (auto [a, b] : { std::pair(FStartNowRadioButton, FStartSelectRadioButton),
             std::pair(FEndDaysRadioButton, FEndSelectRadioButton) }) {
        auto *buttons = new QButtonGroup(this);
        buttons->addButton(a);
        buttons->addButton(b);
    }
    for (QDateEdit *date : { FStartDatePicker, FEndDatePicker }) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("M/d/yyyy"));
    }
    for (QTimeEdit *time : { FStartTimePicker, FEndTimePicker })
        time->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    FButtonPanel = Named(new QWidget, "ButtonPanel");
    auto *buttons = new QHBoxLayout(FButtonPanel);
    buttons->setContentsMargins(0, 0, 0, 0);
    FOkayButton = Named(new QPushButton(QStringLiteral("OK")), "OkayButton");
    FOkayButton->setDefault(true);
    auto *cancel = Named(new QPushButton(QStringLiteral("Cancel")), "CancelButton");
    buttons->addStretch(1);
    buttons->addWidget(FOkayButton);
    buttons->addWidget(cancel);
    connect(FOkayButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(startGroup);
    layout->addWidget(endGroup);
    layout->addStretch(1);
    layout->addWidget(FButtonPanel);
    setFixedSize(265, 217);

    for (QRadioButton *radio : { FStartNowRadioButton, FStartSelectRadioButton, FEndDaysRadioButton,
             FEndSelectRadioButton })
        connect(radio, &QRadioButton::clicked, this,
            Guarded("RadioButtonClick", [this] { Validate(); }));
    const auto startChange = Guarded("StartPickerChange", [this] { StartPickerChange(); });
    const auto endChange = Guarded("EndPickerChange", [this] { EndPickerChange(); });
    connect(FStartDatePicker, &QDateEdit::dateChanged, this, startChange);
    connect(FStartTimePicker, &QTimeEdit::timeChanged, this, startChange);
    connect(FEndDatePicker, &QDateEdit::dateChanged, this, endChange);
    connect(FEndTimePicker, &QTimeEdit::timeChanged, this, endChange);
    connect(FEndDaysComboBox, &QComboBox::currentIndexChanged, this,
        Guarded("EndDaysComboBoxChange", [this] { EndDaysComboBoxChange(); }));
    FormCreate();
}

void TSelectHistoryRangeForm::FormCreate()
{
    FLoading = true;
    const TDateTime now = Clock::Now();
    for (const auto &item : HistoryEndDaysItems())
        FEndDaysComboBox->addItem(QString::fromStdString(item));
    FEndDaysComboBox->setCurrentIndex(0);
    FStartNowRadioButton->setChecked(true);
    FStartDatePicker->setDate(ToDate(now));
    FStartTimePicker->setTime(ToTime(std::floor(now * 86400.0) / 86400.0));
    FEndDaysRadioButton->setChecked(true);
    FEndDatePicker->setDate(ToDate(now));
    FEndTimePicker->setTime(QTime(0, 0));
    FLoading = false;
    Validate();
}

void TSelectHistoryRangeForm::FormShow()
{
    FLoading = true;
    const auto [first, last] = HistoryDateLimits(Clock::Now());
    for (QDateEdit *date : { FStartDatePicker, FEndDatePicker })
        date->setDateRange(ToDate(first), ToDate(last));
    FLoading = false;
    Validate();
}

void TSelectHistoryRangeForm::showEvent(QShowEvent *event)
{
    TOwnedDialog::showEvent(event);
    RunGuarded("SelectHistoryRange, TSelectHistoryRangeForm.FormShow", [this] { FormShow(); });
}

void TSelectHistoryRangeForm::StartPickerChange()
{
    if (FLoading)
        return;
    FStartSelectRadioButton->setChecked(true);
    Validate();
}

void TSelectHistoryRangeForm::EndPickerChange()
{
    if (FLoading)
        return;
    FEndSelectRadioButton->setChecked(true);
    Validate();
}

void TSelectHistoryRangeForm::EndDaysComboBoxChange()
{
    if (FLoading)
        return;
    FEndDaysRadioButton->setChecked(true);
    Validate();
}

THistoryRangeChoice TSelectHistoryRangeForm::Choice() const
{
    THistoryRangeChoice choice;
    choice.StartNow = FStartNowRadioButton->isChecked();
    choice.StartDate = FromDate(FStartDatePicker->date());
    choice.StartTime = FromTime(FStartTimePicker->time());
    choice.EndDays = FEndDaysRadioButton->isChecked();
    choice.EndDaysIndex = FEndDaysComboBox->currentIndex();
    choice.EndDate = FromDate(FEndDatePicker->date());
    choice.EndTime = FromTime(FEndTimePicker->time());
    return choice;
}

void TSelectHistoryRangeForm::Validate()
{
    FReason = ValidateHistoryRange(Choice(), Clock::Now());
    FOkayButton->setEnabled(FReason.empty());
    FButtonPanel->setToolTip(QString::fromStdString(FReason));
}

TDateTime TSelectHistoryRangeForm::StartTime() const
{
    return HistoryRangeStartTime(Choice(), GetTimeOffsetDays());
}

TDateTime TSelectHistoryRangeForm::EndTime() const
{
    return HistoryRangeEndTime(Choice(), Clock::Now(), GetTimeOffsetDays());
}

void TSelectHistoryRangeForm::Open(std::function<void(TDateTime start, TDateTime end)> onOk)
{
    OpenWith([this, onOk = std::move(onOk)](bool accepted) {
        if (accepted && onOk)
            onOk(StartTime(), EndTime());
    });
}

} // namespace kestrova
