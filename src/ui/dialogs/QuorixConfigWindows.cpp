#include "dialogs/QuorixConfigWindows.h"

#include "session/BacktestNames.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrova {

namespace {
// The caption of a radio button that sits after the button's own controls (an edit between
// the button and its words); a click on it clicks the button.
class TCaptionLabel : public QLabel
{
public:
    TCaptionLabel(const QString &text, QAbstractButton *button)
        : QLabel(text)
        , FButton(button)
    {
        button->setAccessibleName(text);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && FButton->isEnabled())
            FButton->click();
    }

private:
    QAbstractButton *FButton;
};

template<typename T>
T *Named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// One line of controls, packed to the left.
QHBoxLayout *Line(std::initializer_list<QWidget *> widgets)
{
    auto *line = new QHBoxLayout;
    line->setSpacing(4);
    for (QWidget *widget : widgets)
        line->addWidget(widget);
    line->addStretch(1);
    return line;
}

QGroupBox *Group(const char *caption, const char *name)
{
    return Named(new QGroupBox(QString::fromLatin1(caption)), name);
}

QButtonGroup *Exclusive(QObject *parent, std::initializer_list<QAbstractButton *> buttons)
{
    auto *group = new QButtonGroup(parent);
    for (QAbstractButton *button : buttons)
        group->addButton(button);
    return group;
}

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

std::string S(const QLineEdit *edit)
{
    return edit->text().toStdString();
}
} // namespace

TQuorixConfigWindow::TQuorixConfigWindow(QWidget *owner)
    : TOwnedDialog(owner, "QuorixConfigWindows, TQuorixConfigWindow")
{
    setObjectName(QStringLiteral("QuorixConfigWindow"));
    // Two columns, each group at its natural height.
    auto *left = new QVBoxLayout;
    left->addWidget(BuildSuccessGroup());
    left->addWidget(BuildTargetsGroup());
    left->addWidget(BuildExitConditionGroup());
    left->addStretch(1);
    auto *right = new QVBoxLayout;
    right->addWidget(BuildEntryTimeGroup());
    right->addWidget(BuildExitTimeGroup());
    right->addWidget(BuildLocationAndDays());
    right->addStretch(1);
    auto *columns = new QHBoxLayout;
    columns->setSpacing(10);
    columns->addLayout(left);
    columns->addLayout(right);

    auto *okay = Named(new QPushButton(QStringLiteral("OK")), "OkayButton");
    auto *cancel = Named(new QPushButton(QStringLiteral("Cancel")), "CancelButton");
    auto *restore
        = Named(new QPushButton(QStringLiteral("Restore Defaults")), "RestoreDefaultsButton");
    okay->setDefault(true);
    connect(okay, &QPushButton::clicked, this,
        Guarded("OkayButtonClick", [this] { OkayButtonClick(); }));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(restore, &QPushButton::clicked, this,
        Guarded("RestoreDefaultsButtonClick", [this] { RestoreDefaultsButtonClick(); }));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(restore);
    buttons->addStretch(1);
    buttons->addWidget(okay);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    FormCreate();
}

QLineEdit *TQuorixConfigWindow::Edit(const char *name)
{
    auto *edit = Named(new QLineEdit, name);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000.00")) + 10);
    return edit;
}

QWidget *TQuorixConfigWindow::BuildSuccessGroup()
{
    auto *group = Group("Success", "SuccessGroupBox");
    auto *moves = Group("Price moves", "PriceMovesRadioGroup");
    FUpRadioButton = Named(new QRadioButton(QStringLiteral("Up")), "PriceMovesUpRadioButton");
    FDownRadioButton = Named(new QRadioButton(QStringLiteral("Down")), "PriceMovesDownRadioButton");
    auto *movesLayout = new QVBoxLayout(moves);
    movesLayout->addWidget(FUpRadioButton);
    movesLayout->addWidget(FDownRadioButton);
    Exclusive(this, { FUpRadioButton, FDownRadioButton });

    auto *byAtLeast = Group("by at least", "ByAtLeastGroupBox");
    FByAtLeastDollarsRadioButton
        = Named(new QRadioButton(QStringLiteral("$")), "ByAtLeastDollarsRadioButton");
    FByAtLeastDollarsEdit = Edit("ByAtLeastDollarsEdit");
    FByAtLeastPercentRadioButton = Named(new QRadioButton, "ByAtLeastPercentRadioButton");
    FByAtLeastPercentEdit = Edit("ByAtLeastPercentEdit");
    auto *byLayout = new QVBoxLayout(byAtLeast);
    byLayout->addLayout(Line({ FByAtLeastDollarsRadioButton, FByAtLeastDollarsEdit }));
    byLayout->addLayout(Line({ FByAtLeastPercentRadioButton, FByAtLeastPercentEdit,
        new TCaptionLabel(QStringLiteral("%"), FByAtLeastPercentRadioButton) }));
    Exclusive(this, { FByAtLeastDollarsRadioButton, FByAtLeastPercentRadioButton });

    const auto wording = Guarded("PriceMovesRadioGroupClick", [this] { UpdateWording(); });
    for (QRadioButton *radio : { FUpRadioButton, FDownRadioButton, FByAtLeastDollarsRadioButton,
             FByAtLeastPercentRadioButton })
        connect(radio, &QRadioButton::toggled, this, wording);

    auto *layout = new QHBoxLayout(group);
    layout->addWidget(moves);
    layout->addWidget(byAtLeast, 1);
    return group;
}

QWidget *TQuorixConfigWindow::BuildTargetsGroup()
{
    auto *group = Group("Profit Target / Stop Loss", "ProfitTargetStopLossGroupBox");
    FProfitTargetCheckBox = Named(new QCheckBox, "ProfitTargetCheckBox");
    FProfitTargetEdit = Edit("ProfitTargetEdit");
    FProfitTargetUnitLabel = Named(new QLabel, "ProfitTargetUnitLabel");
    FStopLossCheckBox = Named(new QCheckBox, "StopLossCheckBox");
    FStopLossEdit = Edit("StopLossEdit");
    FStopLossUnitLabel = Named(new QLabel, "StopLossUnitLabel");
    FStopLossWiggleCheckBox
        = Named(new QCheckBox(QStringLiteral("+ wiggle")), "StopLossWiggleCheckBox");
    auto *layout = new QGridLayout(group);
    layout->addWidget(FProfitTargetCheckBox, 0, 0);
    layout->addLayout(Line({ FProfitTargetEdit, FProfitTargetUnitLabel }), 0, 1);
    layout->addWidget(FStopLossCheckBox, 1, 0);
    layout->addLayout(Line({ FStopLossEdit, FStopLossUnitLabel, FStopLossWiggleCheckBox }), 1, 1);
    layout->setColumnStretch(1, 1);
    return group;
}

QWidget *TQuorixConfigWindow::BuildExitConditionGroup()
{
    auto *group = Group("Other Exit Condition", "OtherExitConditionGroupBox");
    const char *const names[] = { "ExitCondNoneRadioButton", "ExitCondPercentRadioButton",
        "ExitCondBarsRadioButton", "ExitCondAnotherAlertRadioButton" };
    for (int i = 0; i < 4; ++i)
        FExitCond[i] = Named(new QRadioButton, names[i]);
    FExitCond[ecNone]->setText(QStringLiteral("None"));
    FExitCondPercentEdit = Edit("ExitCondPercentEdit");
    FExitCondBarsEdit = Edit("ExitCondBarsEdit");
    FAnotherAlertCaption
        = new TCaptionLabel(QStringLiteral("Another alert"), FExitCond[ecAnotherAlert]);
    FExitCondConfigureButton
        = Named(new QPushButton(QStringLiteral("Configure")), "ExitCondConfigureButton");
    FExitCondConfigureButton->setEnabled(false);
    connect(FExitCondConfigureButton, &QPushButton::clicked, this,
        Guarded("ExitCondConfigureButtonClick", [this] { ExitCondConfigureButtonClick(); }));
    auto *layout = new QVBoxLayout(group);
    layout->addLayout(Line({ FExitCond[ecPercentTrailing], FExitCondPercentEdit,
        new TCaptionLabel(QStringLiteral("% trailing stop"), FExitCond[ecPercentTrailing]) }));
    layout->addLayout(Line({ FExitCond[ecBarsTrailing], FExitCondBarsEdit,
        new TCaptionLabel(QStringLiteral("bars trailing stop"), FExitCond[ecBarsTrailing]) }));
    layout->addLayout(
        Line({ FExitCond[ecAnotherAlert], FAnotherAlertCaption, FExitCondConfigureButton }));
    layout->addLayout(Line({ FExitCond[ecNone] }));
    Exclusive(this, { FExitCond[0], FExitCond[1], FExitCond[2], FExitCond[3] });
    return group;
}

QWidget *TQuorixConfigWindow::BuildEntryTimeGroup()
{
    auto *group = Group("Entry Time", "EntryTimeGroupBox");
    FEntryHoursStartEdit = Edit("EntryHoursStartEdit");
    FEntryMinutesStartEdit = Edit("EntryMinutesStartEdit");
    FEntryHoursEndEdit = Edit("EntryHoursEndEdit");
    FEntryMinutesEndEdit = Edit("EntryMinutesEndEdit");
    auto label = [](const char *text) { return new QLabel(QString::fromLatin1(text)); };
    auto *layout = new QGridLayout(group);
    layout->addWidget(label("Start"), 0, 0);
    layout->addLayout(Line({ FEntryHoursStartEdit, label("hours and "), FEntryMinutesStartEdit,
                          label("minutes after the open.") }),
        0, 1);
    layout->addWidget(label("End"), 1, 0);
    layout->addLayout(Line({ FEntryHoursEndEdit, label("hours and "), FEntryMinutesEndEdit,
                          label("minutes before the close.") }),
        1, 1);
    layout->setColumnStretch(1, 1);
    return group;
}

QWidget *TQuorixConfigWindow::BuildExitTimeGroup()
{
    auto *group = Group("Exit Time", "ExitTimeGroupBox");
    const char *const names[]
        = { "ExitTimeMinutesAfterRadioButton", "ExitTimeAtTheCloseRadioButton",
              "ExitTimeAtTheOpenRadioButton", "ExitTimeFutureCloseRadioButton" };
    for (int i = 0; i < 4; ++i)
        FExitTime[i] = Named(new QRadioButton, names[i]);
    FExitTimeMinutesAfterEdit = Edit("ExitTimeMinutesAfterEdit");
    FExitTimeMinutesBeforeEdit = Edit("ExitTimeMinutesBeforeEdit");
    FExitTimeOpenDaysEdit = Edit("ExitTimeOpenDaysEdit");
    FExitTimeCloseDaysEdit = Edit("ExitTimeCloseDaysEdit");
    auto caption = [](const char *text, QAbstractButton *button) {
        return new TCaptionLabel(QString::fromLatin1(text), button);
    };
    auto *layout = new QVBoxLayout(group);
    layout->addLayout(Line({ FExitTime[etMinutesAfter], FExitTimeMinutesAfterEdit,
        caption("minutes after entry", FExitTime[etMinutesAfter]) }));
    layout->addLayout(Line({ FExitTime[etBeforeClose], FExitTimeMinutesBeforeEdit,
        caption("minutes before the close", FExitTime[etBeforeClose]) }));
    layout->addLayout(Line({ FExitTime[etAtOpen], caption("At open after", FExitTime[etAtOpen]),
        FExitTimeOpenDaysEdit, caption("days", FExitTime[etAtOpen]) }));
    layout->addLayout(Line({ FExitTime[etAtClose], caption("At close after", FExitTime[etAtClose]),
        FExitTimeCloseDaysEdit, caption("days", FExitTime[etAtClose]) }));
    Exclusive(this, { FExitTime[0], FExitTime[1], FExitTime[2], FExitTime[3] });
    return group;
}

QWidget *TQuorixConfigWindow::BuildLocationAndDays()
{
    auto *box = new QWidget;
    auto *location = Group("Location", "LocationGroupBox");
    FLocationComboBox = Named(new QComboBox, "LocationComboBox");
    for (const auto &item : QuorixLocations())
        FLocationComboBox->addItem(Q(item));
    (new QHBoxLayout(location))->addWidget(FLocationComboBox);

    auto *days = Group("Days to Test", "DaysToTestGroupBox");
    FDaysToSkipEdit = Edit("DaysToSkipEdit");
    FDaysOfTestEdit = Edit("DaysOfTestEdit");
    auto label = [](const char *text) { return new QLabel(QString::fromLatin1(text)); };
    (new QVBoxLayout(days))
        ->addLayout(Line({ label("Skip"), FDaysToSkipEdit, label("days then examine"),
            FDaysOfTestEdit, label("days") }));

    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(location);
    layout->addWidget(days, 1);
    return box;
}

void TQuorixConfigWindow::FormCreate()
{
    setWindowTitle(Q("Configure " + BacktestFeatureName()));
    SetSettings("");
}

TQuorixSettings TQuorixConfigWindow::Settings() const
{
    TQuorixSettings s;
    s.PriceMoveDirection = FDownRadioButton->isChecked() ? pmDown
        : FUpRadioButton->isChecked()                    ? pmUp
                                                         : -1;
    s.MoveType = FByAtLeastPercentRadioButton->isChecked() ? mtPercent : mtDollars;
    s.DollarsValue = S(FByAtLeastDollarsEdit);
    s.PercentsValue = S(FByAtLeastPercentEdit);
    s.UseProfitTarget = FProfitTargetCheckBox->isChecked();
    s.ProfitTarget = S(FProfitTargetEdit);
    s.UseStopLoss = FStopLossCheckBox->isChecked();
    s.StopLoss = S(FStopLossEdit);
    s.UseStopLossWiggle = FStopLossWiggleCheckBox->isChecked();
    s.ExitConditionType = -1;
    for (int i = 0; i < 4; ++i)
        if (FExitCond[i]->isChecked())
            s.ExitConditionType = i;
    s.ExitConditionPercent = S(FExitCondPercentEdit);
    s.ExitConditionBars = S(FExitCondBarsEdit);
    s.ExitAlertConfig = FExitAlertConfig;
    s.EntryHoursStart = S(FEntryHoursStartEdit);
    s.EntryMinutesStart = S(FEntryMinutesStartEdit);
    s.EntryHoursEnd = S(FEntryHoursEndEdit);
    s.EntryMinutesEnd = S(FEntryMinutesEndEdit);
    s.ExitTimeType = -1;
    for (int i = 0; i < 4; ++i)
        if (FExitTime[i]->isChecked())
            s.ExitTimeType = i;
    s.ExitTimeMinutesAfter = S(FExitTimeMinutesAfterEdit);
    s.ExitTimeMinutesBefore = S(FExitTimeMinutesBeforeEdit);
    s.ExitTimeOpenDays = S(FExitTimeOpenDaysEdit);
    s.ExitTimeCloseDays = S(FExitTimeCloseDaysEdit);
    s.Location = FLocationComboBox->currentText().toStdString();
    s.DaysToSkip = S(FDaysToSkipEdit);
    s.DaysOfTest = S(FDaysOfTestEdit);
    return s;
}

void TQuorixConfigWindow::LoadSettings(const TQuorixSettings &s)
{
    (s.PriceMoveDirection == pmDown ? FDownRadioButton : FUpRadioButton)->setChecked(true);
    (s.MoveType == mtPercent ? FByAtLeastPercentRadioButton : FByAtLeastDollarsRadioButton)
        ->setChecked(true);
    FByAtLeastDollarsEdit->setText(Q(s.DollarsValue));
    FByAtLeastPercentEdit->setText(Q(s.PercentsValue));
    FProfitTargetCheckBox->setChecked(s.UseProfitTarget);
    FProfitTargetEdit->setText(Q(s.ProfitTarget));
    FStopLossCheckBox->setChecked(s.UseStopLoss);
    FStopLossEdit->setText(Q(s.StopLoss));
    FStopLossWiggleCheckBox->setChecked(s.UseStopLossWiggle);
    FExitCondPercentEdit->setText(Q(s.ExitConditionPercent));
    FExitCondBarsEdit->setText(Q(s.ExitConditionBars));
    FExitAlertConfig = s.ExitAlertConfig;
    const bool anotherAlert = !FExitAlertConfig.empty();
    FExitCond[ecAnotherAlert]->setEnabled(anotherAlert);
    FAnotherAlertCaption->setEnabled(anotherAlert);
    int exitCondition
        = s.ExitConditionType >= 0 && s.ExitConditionType <= 3 ? s.ExitConditionType : ecNone;
    if (exitCondition == ecAnotherAlert && !anotherAlert)
        exitCondition = ecNone;
    FExitCond[exitCondition]->setChecked(true);
    FEntryHoursStartEdit->setText(Q(s.EntryHoursStart));
    FEntryMinutesStartEdit->setText(Q(s.EntryMinutesStart));
    FEntryHoursEndEdit->setText(Q(s.EntryHoursEnd));
    FEntryMinutesEndEdit->setText(Q(s.EntryMinutesEnd));
    FExitTime[s.ExitTimeType >= 0 && s.ExitTimeType <= 3 ? s.ExitTimeType : etMinutesAfter]
        ->setChecked(true);
    FExitTimeMinutesAfterEdit->setText(Q(s.ExitTimeMinutesAfter));
    FExitTimeMinutesBeforeEdit->setText(Q(s.ExitTimeMinutesBefore));
    FExitTimeOpenDaysEdit->setText(Q(s.ExitTimeOpenDays));
    FExitTimeCloseDaysEdit->setText(Q(s.ExitTimeCloseDays));
    const int location = FLocationComboBox->findText(Q(s.Location), Qt::MatchFixedString);
    FLocationComboBox->setCurrentIndex(std::max(location, 0));
    FDaysToSkipEdit->setText(Q(s.DaysToSkip));
    FDaysOfTestEdit->setText(Q(s.DaysOfTest));
    UpdateWording();
}

void TQuorixConfigWindow::SetSettings(const std::string &settings)
{
    LoadSettings(ParseQuorixSettings(settings));
}

std::string TQuorixConfigWindow::GetSettings() const
{
    return GetQuorixSettings(Settings());
}

TMessageToServer TQuorixConfigWindow::BuildQuorixRequest(
    const std::string &entryCondition, const std::string &windowId, bool showDebug) const
{
    return kestrova::BuildQuorixRequest(Settings(), entryCondition, windowId, showDebug);
}

void TQuorixConfigWindow::UpdateWording()
{
    const int direction = FDownRadioButton->isChecked() ? pmDown : pmUp;
    const QString unit
        = FByAtLeastDollarsRadioButton->isChecked() ? QStringLiteral("$") : QStringLiteral("%");
    FProfitTargetUnitLabel->setText(unit);
    FStopLossUnitLabel->setText(unit);
    FProfitTargetCheckBox->setText(Q(ProfitTargetCaption(direction)));
    FStopLossCheckBox->setText(Q(StopLossCaption(direction)));
}

void TQuorixConfigWindow::OkayButtonClick()
{
    SetSettings(GetSettings());
    accept();
}

void TQuorixConfigWindow::RestoreDefaultsButtonClick()
{
    SetSettings("");
}

void TQuorixConfigWindow::SetConfigureExitAlert(TConfigureExitAlert configure)
{
    FConfigureExitAlert = std::move(configure);
    FExitCondConfigureButton->setEnabled(bool(FConfigureExitAlert));
}

void TQuorixConfigWindow::SetExitAlertConfig(const std::string &config)
{
    FExitAlertConfig = config;
    FExitCond[ecAnotherAlert]->setEnabled(true);
    FAnotherAlertCaption->setEnabled(true);
    FExitCond[ecAnotherAlert]->setChecked(true);
}

void TQuorixConfigWindow::ExitCondConfigureButtonClick()
{
    if (!FConfigureExitAlert)
        return;
    QPointer<TQuorixConfigWindow> self(this);
    FConfigureExitAlert(FExitAlertConfig, [self](const std::string &config) {
        if (self)
            self->SetExitAlertConfig(config);
    });
}

void TQuorixConfigWindow::Open(std::function<void(const std::string &settings)> onOk)
{
    OpenWith([this, onOk = std::move(onOk)](bool accepted) {
        if (accepted && onOk)
            onOk(GetSettings());
    });
}

} // namespace kestrova
