#pragma once
// The backtest configuration window: the rules of the simulated trade (direction and size of a
// successful move, profit target and stop loss, another exit condition, entry and exit times,
// market, days). Its controls turn into the settings string the alert window keeps and into the
// quorix_new_request message. One per alert window, kept between showings. GUI thread only.
// Controls carry their unit names as object names (ByAtLeastDollarsEdit ...).

#include "dialogs/OwnedDialogs.h"
#include "dialogs/QuorixConfigWindowsModel.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrova {

class TQuorixConfigWindow : public TOwnedDialog
{
public:
    // The owner (the alert window) frees the window; see TOwnedDialog.
    explicit TQuorixConfigWindow(QWidget *owner);

    // Loads the controls from a settings string; "" gives every default.
    void SetSettings(const std::string &settings);
    // The settings string of the current controls.
    std::string GetSettings() const;
    TQuorixSettings Settings() const;
    void LoadSettings(const TQuorixSettings &settings);
    // The quorix_new_request for the current controls (see the model's BuildQuorixRequest).
    TMessageToServer BuildQuorixRequest(
        const std::string &entryCondition, const std::string &windowId, bool showDebug) const;

    // Shows the window modal to its owner. OK first normalises the controls, then calls
    // onOk(GetSettings()); Cancel calls nothing and the controls keep what the user typed
    // until the next SetSettings.
    void Open(std::function<void(const std::string &settings)> onOk);

    // How "Configure" edits the alert setup of the "Another alert" exit: called with the
    // current setup; on the configure-alerts dialog's OK it calls done(new setup), on Cancel
    // nothing. done may be called after this window is gone (it then does nothing). Without
    // one the "Configure" button is disabled.
    using TConfigureExitAlert = std::function<void(
        const std::string &config, std::function<void(const std::string &config)> done)>;
    void SetConfigureExitAlert(TConfigureExitAlert configure);

    const std::string &ExitAlertConfig() const { return FExitAlertConfig; }
    // What "Configure" does once the configure-alerts dialog was confirmed.
    void SetExitAlertConfig(const std::string &config);

private:
    QWidget *BuildSuccessGroup();
    QWidget *BuildTargetsGroup();
    QWidget *BuildExitConditionGroup();
    QWidget *BuildEntryTimeGroup();
    QWidget *BuildExitTimeGroup();
    QWidget *BuildLocationAndDays();
    QLineEdit *Edit(const char *name);

    void FormCreate();
    void OkayButtonClick();
    void RestoreDefaultsButtonClick();
    void ExitCondConfigureButtonClick();
    void UpdateWording();

    QRadioButton *FUpRadioButton = nullptr, *FDownRadioButton = nullptr;
    QRadioButton *FByAtLeastDollarsRadioButton = nullptr, *FByAtLeastPercentRadioButton = nullptr;
    QLineEdit *FByAtLeastDollarsEdit = nullptr, *FByAtLeastPercentEdit = nullptr;
    QCheckBox *FProfitTargetCheckBox = nullptr, *FStopLossCheckBox = nullptr;
    QCheckBox *FStopLossWiggleCheckBox = nullptr;
    QLineEdit *FProfitTargetEdit = nullptr, *FStopLossEdit = nullptr;
    QLabel *FProfitTargetUnitLabel = nullptr, *FStopLossUnitLabel = nullptr;
    QRadioButton *FExitCond[4] = {}; // by TExitConditionType
    QLabel *FAnotherAlertCaption = nullptr;
    QLineEdit *FExitCondPercentEdit = nullptr, *FExitCondBarsEdit = nullptr;
    QPushButton *FExitCondConfigureButton = nullptr;
    QLineEdit *FEntryHoursStartEdit = nullptr, *FEntryMinutesStartEdit = nullptr;
    QLineEdit *FEntryHoursEndEdit = nullptr, *FEntryMinutesEndEdit = nullptr;
    QRadioButton *FExitTime[4] = {}; // by TExitTimeType
    QLineEdit *FExitTimeMinutesAfterEdit = nullptr, *FExitTimeMinutesBeforeEdit = nullptr;
    QLineEdit *FExitTimeOpenDaysEdit = nullptr, *FExitTimeCloseDaysEdit = nullptr;
    QComboBox *FLocationComboBox = nullptr;
    QLineEdit *FDaysToSkipEdit = nullptr, *FDaysOfTestEdit = nullptr;
    std::string FExitAlertConfig;
    TConfigureExitAlert FConfigureExitAlert;
};

} // namespace kestrova
