#pragma once
// What every connection of one server process shares: the options, the clock, the market and
// its alert log, the symbol lists and the accounts. Free of sockets; the network glue owns it.

#include "AlertLog.h"
#include "DataConfig.h"
#include "Market.h"
#include "ServerOptions.h"
#include "SymbolListStore.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kestrova::alertd {

enum class TLoginCheck { Good, BadUsername, BadPassword };

struct TBufferedAlert
{
    std::string WindowId;
    TAlert Alert;
};

// The windows of an account whose connection went away, and the alerts they would have
// received since, kept so that a resuming login gets them even when the shared log has moved
// on. Bounded by TServerOptions::AccountBuffer; dropped after ParkedLifetimeMs.
struct TParkedWindows
{
    std::map<std::string, TWindowFilter> Windows;
    int64_t Cursor = 0; // log id the buffer is complete up to
    int64_t ParkedAtMs = 0;
    std::deque<TBufferedAlert> Buffer;
};

constexpr int64_t ParkedLifetimeMs = 15 * 60 * 1000;

struct TAccount
{
    std::string Key; // resume key handed out by this process
    int64_t Sequence = 0; // logins so far
    std::optional<TParkedWindows> Parked;
};

class TServerState
{
public:
    // nowMs: Unix milliseconds (settable in tests). lists: the symbol-list store (owned).
    TServerState(TServerOptions options, std::function<int64_t()> nowMs,
        std::unique_ptr<TSymbolListStore> lists);

    const TServerOptions &Options() const { return FOptions; }
    int64_t NowMs() const { return FNowMs(); }
    TMarket &Market() { return FMarket; }
    TAlertLog &Log() { return FLog; }
    TSymbolListStore &Lists() { return *FLists; }

    // Restricts logins to these accounts (user -> password).
    void SetUsers(std::map<std::string, std::string> users);
    TLoginCheck CheckLogin(const std::string &user, const std::string &password) const;
    TAccount &Account(const std::string &user);

    // Keeps a closed connection's live windows for the account (see TParkedWindows).
    void Park(
        const std::string &user, std::map<std::string, TWindowFilter> windows, int64_t cursor);

    // Moves the market to now, appends the alerts that fired and buffers those of parked
    // windows; returns how many fired.
    size_t AdvanceMarket();

    // Log sink for one line (stderr in the real server; tests may capture).
    std::function<void(const std::string &)> LogLine;
    void Info(const std::string &text) const
    {
        if (LogLine)
            LogLine(text);
    }

private:
    void FillParkedBuffers();

    TServerOptions FOptions;
    std::function<int64_t()> FNowMs;
    TMarket FMarket;
    TAlertLog FLog;
    std::unique_ptr<TSymbolListStore> FLists;
    bool FRestricted = false;
    std::map<std::string, std::string> FUsers;
    std::map<std::string, TAccount> FAccounts;
    uint64_t FKeySeed;
};

} // namespace kestrova::alertd
