#pragma once
// What every connection of one server process shares: the options, the clock, the market and
// its alert log, the symbol lists and the accounts. Free of sockets; the network glue owns it.

#include "AlertLog.h"
#include "Market.h"
#include "ServerOptions.h"
#include "SymbolListStore.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace kestrova::alertd {

enum class TLoginCheck { Good, BadUsername, BadPassword };

struct TAccount
{
    std::string Key; // resume key handed out by this process
    int64_t Sequence = 0; // logins so far
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

    // Moves the market to now and appends the alerts that fired; returns how many.
    size_t AdvanceMarket();

    // Log sink for one line (stderr in the real server; tests may capture).
    std::function<void(const std::string &)> LogLine;
    void Info(const std::string &text) const
    {
        if (LogLine)
            LogLine(text);
    }

private:
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
