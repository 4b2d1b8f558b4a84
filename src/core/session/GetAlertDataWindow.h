#pragma once
// One alert window's subscription on the session (TAlertWindowConnection): its configuration,
// history requests and backtest. GUI thread only; reached through session/GetAlertData.h.

#include "link/Messages.h"
#include "session/AlertRecord.h"
#include "support/Clock.h"
#include "xml/XmlNodes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrova {

class TAllAlertsConnection;

enum THistoryState { hsLive = 0, hsRequested = 1, hsMoreAvailable = 2, hsComplete = 3 };
enum TQuorixStatus : uint8_t { qsIdle = 0, qsRunning = 1, qsFinished = 2, qsResend = 3 };

struct TQuorixInfo
{
    TQuorixStatus Status = qsIdle;
    std::string ProgressText;
    std::string DebugText;
};

// One alert window's subscription on the session. Registered with the session for its life.
class TAlertWindowConnection
{
public:
    explicit TAlertWindowConnection(TAllAlertsConnection &session);
    ~TAlertWindowConnection();
    TAlertWindowConnection(const TAlertWindowConnection &) = delete;
    TAlertWindowConnection &operator=(const TAlertWindowConnection &) = delete;

    const std::string &WindowId() const { return FWindowId; }
    const std::string &Config() const { return FConfig; }
    const std::string &WindowName() const { return FWindowName; }
    bool ConfigSent() const { return FConfigSent; }
    // The server accepted the configuration last sent (its reply has come, without an error).
    bool SubscriptionConfirmed() const
    {
        return FConfigSent && IsNullHandle(FPendingConfigRequest);
    }
    int SkipHistoryState() const { return FSkipHistoryState; }

    void SetConfig(const std::string &config);
    void MarkForResubscribe();
    void Unsubscribe();

    THistoryState HistoryState() const { return FHistoryState; }
    int32_t HistoryMaxCount() const { return FHistoryMaxCount; }
    const std::string &HistoryStartId() const { return FHistoryStartId; }
    TDateTime HistoryStartTime() const { return FHistoryStartTime; }
    TDateTime HistoryEndTime() const { return FHistoryEndTime; }
    void SetHistoryMaxCount(int32_t count);
    void SetHistoryStartTime(TDateTime time);
    void SetHistoryEndTime(TDateTime time);
    void RequestMoreHistory();
    void RequestHistoryRange();
    void StopHistory(bool force);
    void MarkAlertsShown();

    const TQuorixInfo &QuorixInfo() const { return FQuorixInfo; }
    void StartQuorix(
        const TMessageToServer &request, std::function<void(const TQuorixInfo &)> handler);
    void CancelQuorix();

    std::function<void(const TAlertRecords &records, bool isHistory)> OnAlerts;
    std::function<void()> OnConfigChanged;
    std::function<void()> OnGeneralInfo;
    // The server refused the configuration; the text says why. It is sent again later.
    std::function<void(const std::string &reason)> OnConfigRefused;
    // How many alerts the window that shows this subscription holds; empty when none does.
    std::function<size_t()> AlertsHeld;

    // Called by the session.
    void Subscribe();
    void DeliverBatch(TAlertRecords records, bool isHistory);
    void HistoryMessage(const IXmlNode &message);
    void QuorixMessage(const IXmlNode &message);
    void QuorixListenLost();
    void ResendQuorixIfPending();
    void ConfigSentLost() { FConfigSent = false; }

private:
    void ConfigReply(bool success, const std::string &body);
    // Calls the progress handler with a copy of info; detach: the handler is removed first (the
    // run is over). Touches nothing of this object after the handler returns.
    void NotifyQuorix(TQuorixInfo info, bool detach);
    std::string TimeText(TDateTime value) const;

    TAllAlertsConnection &FSession;
    std::string FWindowId;
    std::string FConfig = "O=1fffffffffffffffffffffff0_3d_0&WN=High+Speed+Test";
    std::string FWindowName;
    bool FConfigSent = false;
    int FSkipHistoryState = 0;
    TMessageHandle FPendingConfigRequest;
    THistoryState FHistoryState = hsLive;
    int32_t FHistoryMaxCount = 0;
    std::string FHistoryStartId;
    TDateTime FHistoryStartTime = 0, FHistoryEndTime = 0;
    TQuorixInfo FQuorixInfo;
    TMessageToServer FQuorixRequest;
    std::function<void(const TQuorixInfo &)> FOnQuorixProgress;
    // Expires with this object: tells a caller whose event handler may free it.
    std::shared_ptr<char> FLife = std::make_shared<char>();
};

} // namespace kestrova
