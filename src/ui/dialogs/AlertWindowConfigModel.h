#pragma once
// The configure-alerts dialog without its widgets: the "edit_config_new" request and its retries,
// the reply, the strategy tree's loaded mark, change tracking and the rule for OK. The dialog
// (or a test) is the view: it is told when to rebuild which page and when to show the state
// again, and it reports every user change through the Set... operations.
//
// GUI thread only. The model cancels its request when hidden and when destroyed, so no reply
// reaches a freed model.

#include "dialogs/AlertWindowConfig.h"
#include "link/Messages.h"
#include "session/ServerRequests.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// What the dialog needs of the session.
class IAlertConfigSession
{
public:
    virtual ~IAlertConfigSession() = default;
    virtual IServerRequests &Requests() = 0;
    // Sent as "which_samples" (empty when the host set none).
    virtual std::string ReplacementSamplesUrl() const = 0;
    // The session's generation counters: links created and resets done.
    virtual std::array<uint64_t, 2> Generation() const = 0;
    // Open a help page (only while the session's help links are on).
    virtual void ShowHelpTopic(const std::string &topic) = 0;
    virtual void ShowPrefixedHelpTopic(const std::string &topic) = 0;
};

class IAlertConfigView
{
public:
    virtual ~IAlertConfigView() = default;
    // The Exchanges and Symbol Lists pages, after every good reply.
    virtual void RebuildListPages() = 0;
    // Icon preloading and the Select Alerts, Window Specific Filters and Search pages, when the
    // catalogue or the session changed since they were last built.
    virtual void CreateOtherOptions() = 0;
    // The strategy tree was read anew; select the model's Current node (none: nothing).
    virtual void FillStrategyTree() = 0;
    // Strategies page selected, "Please Wait" hidden, Flip enabled.
    virtual void ShowOptions() = 0;
    // The settings, OK, the loaded mark or the recent changes changed: show them again.
    virtual void Refresh() = 0;
    virtual void StartRetryTimer(int intervalMs) = 0;
    virtual void StopRetryTimer() = 0;
};

// One icon of the recent-changes strip.
struct TRecentChange
{
    bool IsFilter = false;
    int Index = 0;
};

enum TOkAction { okClose, okGoToWindowName };

class TAlertConfigModel
{
public:
    static constexpr int FirstRetryMs = 500, RetryStepMs = 500, MaxRetryMs = 3000;

    TAlertConfigModel(IAlertConfigSession &session, IAlertConfigView &view);
    ~TAlertConfigModel();
    TAlertConfigModel(const TAlertConfigModel &) = delete;
    TAlertConfigModel &operator=(const TAlertConfigModel &) = delete;

    void SetConfigToEdit(const std::string &config) { FConfigToEdit = config; }
    const std::string &ConfigToEdit() const { return FConfigToEdit; }

    // The dialog is shown: OK off, the request sent. Hidden: the request cancelled, no retry.
    void Shown();
    void Hidden();
    void RequestAlertConfig();
    void ReceiveAlertConfigData(bool success, const std::string &reply);
    // The retry timer fired (it has stopped itself): longer interval, request again.
    void RetryTimerFired();
    int RetryInterval() const { return FRetryInterval; }
    bool Received() const { return FReceived; }

    const TAlertConfigRecord &Record() const { return FRecord; }
    const TStrategyTree &Strategies() const { return FStrategies; }

    std::string BuildConfigString() const { return kestrova::BuildConfigString(FRecord); }
    const std::string &LoadedSnapshot() const { return FLoadedSnapshot; }
    bool ConfigChanged() const { return BuildConfigString() != FLoadedSnapshot; }

    // User changes (no-ops when the value is the same).
    void SetAlertTypeChecked(size_t i, bool checked);
    void SetAlertTypeQuality(size_t i, const std::string &text);
    void SetFilterChecked(size_t i, bool checked);
    void SetFilterValue(size_t i, const std::string &text);
    void SetExchangeChecked(size_t i, bool checked);
    void SetSymbolListChecked(size_t i, bool checked);
    void SetSymbolMode(TSymbolMode mode);
    void SetSingleSymbol(const std::string &text);
    void SetWindowName(const std::string &text);
    // The Flip button: the mirror image, through the same change tracking.
    void FlipSettings();

    bool OkEnabled() const { return FOkEnabled; }
    bool NameEdited() const { return FNameEdited; }
    bool OtherEdited() const { return FOtherEdited; }
    const std::vector<TRecentChange> &RecentChanges() const { return FRecent; }
    TOkAction OkPressed(bool onWindowNamePage) const;

    // The strategy tree: the node with the loaded mark (-1: none).
    int LoadedNode() const { return FLoadedNode; }
    bool CanLoadStrategy(int node) const;
    // "Load Settings".
    void LoadStrategy(int node);
    // Double click: true when the dialog is to close with OK at once.
    bool StrategyDoubleClicked(int node);

private:
    void ApplySettings(const IXmlNode *settings);
    void StartRetry();
    void HandleReply(const std::string &reply, std::string &step);
    void ReportReplyFailure(
        const std::exception &e, const std::string &step, const std::string &reply);
    // A user change of anything but the window name; type >= 0 / filter >= 0 also record it
    // among the recent changes.
    void OtherChanged(int type = -1, int filter = -1);

    IAlertConfigSession &FSession;
    IAlertConfigView &FView;
    std::string FConfigToEdit;
    TMessageHandle FPendingRequest;
    bool FShownOnce = false;
    bool FReceived = false;
    int FRetryInterval = FirstRetryMs;
    std::array<uint64_t, 2> FRebuildStamp {};
    bool FStampValid = false;
    bool FControlsBuilt = false;

    TAlertConfigRecord FRecord;
    TStrategyTree FStrategies;
    std::string FLoadedSnapshot;
    int FLoadedNode = -1;
    bool FOkEnabled = false;
    bool FNameEdited = false, FOtherEdited = false;
    std::vector<TRecentChange> FRecent;
};

} // namespace kestrova
