#include "kvtail/TailStatus.h"

#include "kvtail/TailOptions.h"

#include <cstdio>

namespace kvtail {

using namespace kestrova;

namespace {
// Why a login was refused, or null for a state that is no refusal.
const char *RefusalText(TLoginState state)
{
    switch (state) {
    case lsAnotherUser:
        return "another user is logged in with this account";
    case lsBadUsername:
        return "bad username";
    case lsBadPassword:
        return "bad password";
    case lsRequirePayment:
        return "payment required";
    case lsGood:
    case lsUnknown:
        break;
    }
    return nullptr;
}
} // namespace

void StatusLine(const std::string &text)
{
    std::fprintf(stderr, "kvtail: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string SecondsText(uint32_t milliseconds)
{
    char text[32];
    if (milliseconds >= 9950 || milliseconds % 1000 == 0)
        std::snprintf(text, sizeof text, "%u s", (milliseconds + 500) / 1000);
    else
        std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
    return text;
}

TTailStatus::TTailStatus(
    TAllAlertsConnection &session, std::string where, std::function<void(int)> stop)
    : FSession(session)
    , FWhere(std::move(where))
    , FStop(std::move(stop))
{
}

void TTailStatus::Attach()
{
    FSession.OnStatusMessage
        = [this](int code, const std::string &text) { StatusMessage(code, text); };
    FSession.OnLinkLost = [this](const std::string &reason, uint32_t attempt, uint32_t delayMs) {
        LinkLost(reason, attempt, delayMs);
    };
    FSession.OnLoginStatus = [this](TLoginState state, int32_t) { LoginStatus(state); };
}

void TTailStatus::Line(const std::string &text)
{
    if (FSilent || text == FLastLine)
        return;
    FLastLine = text;
    StatusLine(text);
}

void TTailStatus::StatusMessage(int code, const std::string &text)
{
    switch (code) {
    case scServerMessage:
        if (FSession.DisconnectedForGood()) {
            Line("logged out for good: " + text);
            FStop(ExitLoggedOut);
        } else {
            Line(text);
        }
        break;
    case scNetworkSuccess:
        if (!FConnected)
            Line("connected to " + FWhere);
        FConnected = true;
        break;
    case scNetworkFailure:
        // A failed request says nothing; a lost link was told by LinkLost.
        if (!text.empty() && text != FLastReason)
            Line(text);
        break;
    default: // the latency is in --diagnostics; a reset says nothing of its own
        break;
    }
}

void TTailStatus::LinkLost(const std::string &reason, uint32_t attempt, uint32_t delayMs)
{
    FConnected = false;
    FLastReason = reason;
    if (FSession.DisconnectedForGood())
        return;
    if (delayMs == 0)
        Line("reconnecting now: " + reason);
    else
        Line("reconnecting in " + SecondsText(delayMs) + " (attempt " + std::to_string(attempt)
            + "): " + reason);
}

void TTailStatus::LoginStatus(TLoginState state)
{
    if (state == lsGood) {
        Line("logged in as " + FSession.Username());
    } else if (const char *refusal = RefusalText(state)) {
        Line(std::string("login refused: ") + refusal);
        FStop(ExitLoginRefused);
    }
}

void TTailStatus::ConfigRefused(const std::string &window, const std::string &reason)
{
    Line("the server refused the configuration of window " + window + ": " + reason);
}

} // namespace kvtail
