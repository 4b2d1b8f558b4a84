// The alert grid's dialog commands and backtests: "Configure...", "Collaborate...",
// "Time Frame..." and the panel's backtest button with the progress it shows.

#include "dialogs/AlertWindowConfigForm.h"
#include "dialogs/QuorixConfigWindows.h"
#include "dialogs/SelectHistoryRange.h"
#include "dialogs/ShareSettings.h"
#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "support/DebugLog.h"

#include <QFileDialog>
#include <QPointer>

namespace kestrova {

void TAlertGrid::CloseDialogs()
{
    FClosing = true;
    FPanel.SetBacktestButtonHandler(nullptr);
    FHistoryRangeForm = nullptr;
    FQuorixWindow = nullptr;
    FSaveContentsDialog = FSaveResultsDialog = nullptr;
    // Closed while this grid is still whole; their callbacks go with them.
    qDeleteAll(findChildren<QDialog *>(Qt::FindDirectChildrenOnly));
    if (LiveGridCount() == 1)
        FreeConfigureAlertsForm();
}

void TAlertGrid::BeforeModal(QWidget &dialog)
{
    if (OnBeforeModal)
        RunGuarded("AlertGrids, TAlertGrid.OnBeforeModal", [&] { OnBeforeModal(dialog.winId()); });
}

// ---- "Configure...", "Collaborate...", "Time Frame..." ----

void TAlertGrid::ConfigureClicked()
{
    // Refused while the shared dialog is open for any window: one window never takes
    // another's result.
    OpenConfigureAlerts(
        this, DataConfig(),
        [this](uintptr_t handle) {
            if (OnBeforeModal)
                OnBeforeModal(static_cast<WId>(handle));
        },
        [this](const TConfigureAlertsResult &result) {
            if (FClosing || !result.Accepted || !result.Changed)
                return;
            FConnection->SetConfig(result.Config);
            FRealTime = false; // then "RealTime" switches the window to live
            ToggleRealTime(false);
        });
}

void TAlertGrid::CollaborateClicked()
{
    TShareSettingsHooks hooks;
    hooks.GetDataConfig = [this] { return DataConfig(); };
    hooks.SetDataConfig = [this](const std::string &text) {
        if (!FClosing)
            SetDataConfig(text);
    };
    hooks.BeforeModal = [this](QDialog &dialog) { BeforeModal(dialog); };
    OpenShareSettings(this, FSession.WebViewUrl, std::move(hooks));
}

void TAlertGrid::TimeFrameClicked()
{
    if (!FHistoryRangeForm)
        FHistoryRangeForm = new TSelectHistoryRangeForm(this);
    BeforeModal(*FHistoryRangeForm);
    FHistoryRangeForm->Open([this](TDateTime start, TDateTime end) {
        FConnection->SetHistoryStartTime(start);
        FConnection->SetHistoryEndTime(end);
        FConnection->SetHistoryMaxCount(FList->Capacity);
        FMoreEnabled = false;
        FTimeFrameEnabled = false;
        FRealTime = false;
        Clear();
        FConnection->RequestHistoryRange();
        RefreshWindowName();
    });
}

// ---- backtests ----

void TAlertGrid::QuorixButtonClicked()
{
    if (FPanel.Running()) {
        FPanel.SetRunning(false);
        FConnection->CancelQuorix();
        return;
    }
    if (FQuorixWindow && FQuorixWindow->isVisible())
        return; // already asking
    bool allow = true;
    if (OnBeforeQuorix) {
        const QPointer<TAlertGrid> self(this);
        OnBeforeQuorix(allow);
        if (!self)
            return; // the host released the window
    }
    if (!allow)
        return;
    if (!FQuorixWindow) {
        FQuorixWindow = new TQuorixConfigWindow(this);
        FQuorixWindow->SetConfigureExitAlert([this](const std::string &config, auto done) {
            OpenConfigureAlerts(
                FQuorixWindow, config,
                [this](uintptr_t handle) {
                    if (OnBeforeModal)
                        OnBeforeModal(static_cast<WId>(handle));
                },
                [done](const TConfigureAlertsResult &result) {
                    if (result.Accepted)
                        done(result.Config);
                });
        });
    }
    FQuorixWindow->SetSettings(StrategyConfig);
    BeforeModal(*FQuorixWindow);
    FQuorixWindow->Open([this](const std::string &settings) { StartBacktest(settings); });
}

void TAlertGrid::StartBacktest(const std::string &settings)
{
    const QPointer<TAlertGrid> self(this);
    StrategyConfig = settings;
    QuorixDebug("START");
    if (!self || !FQuorixWindow)
        return;
    const bool debug = bool(OnQuorixDebug);
    FConnection->StartQuorix(
        FQuorixWindow->BuildQuorixRequest(FConnection->Config(), FConnection->WindowId(), debug),
        [this](const TQuorixInfo &info) {
            if (!FClosing)
                RunGuarded("AlertGrids, TAlertGrid.QuorixProgress", [&] { QuorixProgress(info); });
        });
    if (self)
        FPanel.SetRunning(true);
}

void TAlertGrid::QuorixDebug(const std::string &line)
{
    // What the host's debug callback raises is of no concern to the backtest.
    try {
        if (OnQuorixDebug)
            OnQuorixDebug(line);
    } catch (...) {
    }
}

void TAlertGrid::QuorixProgress(const TQuorixInfo &info)
{
    const int status = info.Status;
    const std::string &message = info.ProgressText;
    std::string text;
    if (status == qsIdle) {
        text = TAlertPanel::DefaultStatusText();
        FPanel.SetRunning(false);
    } else if (status == qsRunning || status == qsResend) {
        text = message.empty() ? "Quorix running." : message;
        FPanel.SetRunning(true);
    } else if (status == qsFinished) {
        text = message.empty() ? "Quorix finished." : message;
        FPanel.SetRunning(false);
    }
    FPanel.SetStatusText(text);
    if (!OnQuorixDebug) {
        if (!info.DebugText.empty())
            ShowDebugMessage(info.DebugText);
        return;
    }
    const QPointer<TAlertGrid> self(this);
    if (status == qsIdle)
        QuorixDebug("RESET");
    if (self && !info.DebugText.empty())
        QuorixDebug("ENTRY " + info.DebugText);
    if (self && status == qsFinished)
        QuorixDebug("DONE");
}

} // namespace kestrova
