#include "dialogs/AlertWindowConfigModel.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace kestrova {

namespace {
constexpr const char *ReplyLocation
    = "AlertWindowConfig, TConfigureAlertsForm.ReceiveAlertConfigData";

// The reply text for an error report: whole the first time in the process, then cut short.
std::string ReplyForReport(const std::string &reply)
{
    static bool reportedOnce = false;
    if (!reportedOnce) {
        reportedOnce = true;
        return reply;
    }
    return reply.size() > 20 ? reply.substr(0, 20) + "..." : reply;
}
} // namespace

TAlertConfigModel::TAlertConfigModel(IAlertConfigSession &session, IAlertConfigView &view)
    : FSession(session)
    , FView(view)
{
}

TAlertConfigModel::~TAlertConfigModel()
{
    if (!IsNullHandle(FPendingRequest))
        FSession.Requests().CancelRequest(FPendingRequest);
}

void TAlertConfigModel::Shown()
{
    FShownOnce = true;
    FReceived = false;
    FOkEnabled = false;
    RequestAlertConfig();
}

void TAlertConfigModel::Hidden()
{
    if (!IsNullHandle(FPendingRequest))
        FSession.Requests().CancelRequest(FPendingRequest);
    FPendingRequest = {};
    FView.StopRetryTimer();
}

void TAlertConfigModel::RequestAlertConfig()
{
    IServerRequests &requests = FSession.Requests();
    if (!IsNullHandle(FPendingRequest))
        requests.CancelRequest(FPendingRequest);
    FPendingRequest = {};
    const TMessageToServer message = {
        { "command", "edit_config_new" },
        { "config", FConfigToEdit },
        { "disabled_supported", "1" },
        { "which_samples", FSession.ReplacementSamplesUrl() },
    };
    requests.SendRequest(message, FPendingRequest,
        [this](bool success, const std::string &body, const TMessageToServer &) {
            RunGuarded(ReplyLocation, [&] { ReceiveAlertConfigData(success, body); });
        });
}

void TAlertConfigModel::StartRetry()
{
    FView.StartRetryTimer(FRetryInterval);
}

void TAlertConfigModel::RetryTimerFired()
{
    FRetryInterval = std::min(FRetryInterval + RetryStepMs, MaxRetryMs);
    RequestAlertConfig();
}

void TAlertConfigModel::ReceiveAlertConfigData(bool success, const std::string &reply)
{
    KV_ASSERT(FShownOnce, "Received data without displaying the window first!");
    FPendingRequest = {};
    if (!success) {
        StartRetry();
        return;
    }
    std::string step = "ReceiveAlertConfigData 2";
    try {
        HandleReply(reply, step);
    } catch (const std::exception &e) {
        ReportReplyFailure(e, step, reply);
        FStampValid = false;
        StartRetry();
    }
}

void TAlertConfigModel::HandleReply(const std::string &reply, std::string &step)
{
    PXmlNode top;
    TAlertConfigRecord record;
    try {
        const PXmlNode root = ParseXml(reply);
        top = root->Child(0);
        record = ParseAlertCatalogue(top ? top->ChildNodeNamed("CONFIG") : nullptr);
    } catch (const std::exception &e) {
        FSession.Requests().ReportNetworkActivity(false,
            "Exception in TConfigureAlertsForm.ReceiveAlertConfigData:  " + ExceptionClassName(e)
                + ", " + e.what());
        StartRetry();
        return;
    }

    step = "ReceiveAlertConfigData 3";
    const std::array<uint64_t, 2> generation = FSession.Generation();
    const bool rebuild = !FStampValid || generation != FRebuildStamp || !FControlsBuilt
        || !record.SameControlsAs(FRecord);
    FRecord = std::move(record);
    FView.RebuildListPages();

    step = "ReceiveAlertConfigData 4";
    if (rebuild) {
        FControlsBuilt = false;
        FView.CreateOtherOptions();
        FControlsBuilt = true;
        FRebuildStamp = generation;
        FStampValid = true;
    }

    step = "ReceiveAlertConfigData 5";
    FStrategies = ParseStrategies(top ? top->ChildNamed("STRATEGIES") : nullptr);
    const int current = FStrategies.Current;
    ApplySettings(current >= 0 ? FStrategies.Nodes[current].Config.get() : nullptr);
    FLoadedNode = current;
    FView.FillStrategyTree();
    FView.ShowOptions();

    step = "ReceiveAlertConfigData 6";
    FLoadedSnapshot = BuildConfigString();
    FReceived = true;
    FView.Refresh();
}

void TAlertConfigModel::ReportReplyFailure(
    const std::exception &e, const std::string &step, const std::string &reply)
{
    ShowDebugMessage("Location of following error:  " + step);
    const std::string text = ReplyForReport(reply);
    if (const auto *os = dynamic_cast<const std::system_error *>(&e)) {
        ShowDebugMessage(std::string("Exception EOSError (") + os->what() + ")("
            + std::to_string(os->code().value()) + ") in " + ReplyLocation + ", \"" + text + "\"");
        return;
    }
    ReportException(e, std::string(ReplyLocation) + ", \"" + text + "\"");
}

void TAlertConfigModel::ApplySettings(const IXmlNode *settings)
{
    ApplyStrategyConfig(FRecord, settings);
    for (auto &type : FRecord.AlertTypes)
        type.RecentlyChanged = false;
    for (auto &filter : FRecord.Filters)
        filter.RecentlyChanged = false;
    FLoadedNode = -1;
    FNameEdited = FOtherEdited = false;
    FRecent.clear();
}

void TAlertConfigModel::OtherChanged(int type, int filter)
{
    FOkEnabled = true;
    FOtherEdited = true;
    FLoadedNode = -1;
    if (type >= 0 && !FRecord.AlertTypes[type].RecentlyChanged) {
        FRecord.AlertTypes[type].RecentlyChanged = true;
        FRecent.push_back({ false, type });
    }
    if (filter >= 0 && !FRecord.Filters[filter].RecentlyChanged) {
        FRecord.Filters[filter].RecentlyChanged = true;
        FRecent.push_back({ true, filter });
    }
    FView.Refresh();
}

void TAlertConfigModel::SetAlertTypeChecked(size_t i, bool checked)
{
    if (i >= FRecord.AlertTypes.size() || FRecord.AlertTypes[i].Checked == checked)
        return;
    FRecord.AlertTypes[i].Checked = checked;
    OtherChanged(static_cast<int>(i));
}

void TAlertConfigModel::SetAlertTypeQuality(size_t i, const std::string &text)
{
    if (i >= FRecord.AlertTypes.size() || !FRecord.AlertTypes[i].HasQuality()
        || FRecord.AlertTypes[i].Quality == text)
        return;
    FRecord.AlertTypes[i].Quality = text;
    OtherChanged(static_cast<int>(i));
}

void TAlertConfigModel::SetFilterChecked(size_t i, bool checked)
{
    if (i >= FRecord.Filters.size() || FRecord.Filters[i].Kind != fkYesNo
        || FRecord.Filters[i].Checked == checked)
        return;
    FRecord.Filters[i].Checked = checked;
    OtherChanged(-1, static_cast<int>(i));
}

void TAlertConfigModel::SetFilterValue(size_t i, const std::string &text)
{
    if (i >= FRecord.Filters.size() || FRecord.Filters[i].Kind != fkNumber
        || FRecord.Filters[i].Value == text)
        return;
    FRecord.Filters[i].Value = text;
    OtherChanged(-1, static_cast<int>(i));
}

void TAlertConfigModel::SetExchangeChecked(size_t i, bool checked)
{
    if (i >= FRecord.Exchanges.size() || FRecord.Exchanges[i].Disabled
        || FRecord.Exchanges[i].Checked == checked)
        return;
    FRecord.Exchanges[i].Checked = checked;
    OtherChanged();
}

void TAlertConfigModel::SetSymbolListChecked(size_t i, bool checked)
{
    if (i >= FRecord.SymbolLists.size() || FRecord.SymbolLists[i].Checked == checked)
        return;
    FRecord.SymbolLists[i].Checked = checked;
    // Ticking a list means the user wants lists.
    if (FRecord.SymbolMode == smAll || FRecord.SymbolMode == smSingle)
        FRecord.SymbolMode = smOnly;
    OtherChanged();
}

void TAlertConfigModel::SetSymbolMode(TSymbolMode mode)
{
    if (FRecord.SymbolMode == mode)
        return;
    FRecord.SymbolMode = mode;
    OtherChanged();
}

void TAlertConfigModel::SetSingleSymbol(const std::string &text)
{
    if (FRecord.SingleSymbol == text)
        return;
    FRecord.SingleSymbol = text;
    OtherChanged();
}

void TAlertConfigModel::SetWindowName(const std::string &text)
{
    if (FRecord.WindowName == text)
        return;
    FRecord.WindowName = text;
    FOkEnabled = true;
    FNameEdited = true;
    FLoadedNode = -1;
    FView.Refresh();
}

void TAlertConfigModel::FlipSettings()
{
    const TAlertConfigRecord flipped = FlippedSettings(FRecord);
    for (size_t i = 0; i < flipped.AlertTypes.size(); ++i) {
        SetAlertTypeChecked(i, flipped.AlertTypes[i].Checked);
        SetAlertTypeQuality(i, flipped.AlertTypes[i].Quality);
    }
    for (size_t i = 0; i < flipped.Filters.size(); ++i)
        SetFilterValue(i, flipped.Filters[i].Value);
    SetWindowName(flipped.WindowName);
}

TOkAction TAlertConfigModel::OkPressed(bool onWindowNamePage) const
{
    return FOtherEdited && !FNameEdited && !onWindowNamePage ? okGoToWindowName : okClose;
}

bool TAlertConfigModel::CanLoadStrategy(int node) const
{
    return node >= 0 && node < static_cast<int>(FStrategies.Nodes.size())
        && FStrategies.Nodes[node].Config && node != FLoadedNode;
}

void TAlertConfigModel::LoadStrategy(int node)
{
    if (node < 0 || node >= static_cast<int>(FStrategies.Nodes.size())
        || !FStrategies.Nodes[node].Config)
        return;
    const TStrategyInfo &info = FStrategies.Nodes[node];
    ApplySettings(info.Config.get());
    // A strategy the user must adapt cannot be taken as it is.
    FOkEnabled = !info.UserMustModify;
    FLoadedNode = node;
    FView.Refresh();
}

bool TAlertConfigModel::StrategyDoubleClicked(int node)
{
    if (node < 0 || node >= static_cast<int>(FStrategies.Nodes.size())
        || !FStrategies.Nodes[node].Config)
        return false;
    if (FStrategies.Nodes[node].UserMustModify) {
        LoadStrategy(node);
        return false;
    }
    ApplySettings(FStrategies.Nodes[node].Config.get());
    FLoadedNode = node;
    FView.Refresh();
    return true;
}

} // namespace kestrova
