#include "ServerState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace kestrova::alertd {

TServerState::TServerState(
    TServerOptions options, std::function<int64_t()> nowMs, std::unique_ptr<TSymbolListStore> lists)
    : FOptions(std::move(options))
    , FNowMs(std::move(nowMs))
    , FMarket(FOptions.Seed, FOptions.SymbolCount, FNowMs())
    , FLog(FOptions.BufferSize)
    , FLists(std::move(lists))
{
    // Resume keys differ from one process to the next, so a key from an earlier run (whose
    // alert numbers meant something else) is never taken for one of ours.
    std::random_device device;
    FKeySeed = (uint64_t(device()) << 32) ^ device()
        ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

void TServerState::SetUsers(std::map<std::string, std::string> users)
{
    FRestricted = true;
    FUsers = std::move(users);
}

TLoginCheck TServerState::CheckLogin(const std::string &user, const std::string &password) const
{
    if (!FRestricted)
        return TLoginCheck::Good;
    const auto it = FUsers.find(user);
    if (it == FUsers.end())
        return TLoginCheck::BadUsername;
    return it->second == password ? TLoginCheck::Good : TLoginCheck::BadPassword;
}

TAccount &TServerState::Account(const std::string &user)
{
    TAccount &account = FAccounts[user];
    if (account.Key.empty()) {
        TRandom rng(MixSeed(FKeySeed, FAccounts.size()));
        char key[24];
        std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(rng.Next()));
        account.Key = key;
    }
    return account;
}

void TServerState::Park(
    const std::string &user, std::map<std::string, TWindowFilter> windows, int64_t cursor)
{
    TAccount &account = Account(user);
    if (!account.Parked) {
        account.Parked.emplace();
        account.Parked->Cursor = cursor;
    }
    // A second connection of the account adds its windows; their alerts are buffered from
    // now on.
    for (auto &[id, filter] : windows)
        account.Parked->Windows[id] = std::move(filter);
    account.Parked->ParkedAtMs = NowMs();
    FillParkedBuffers();
}

void TServerState::FillParkedBuffers()
{
    const int64_t now = NowMs();
    for (auto &[user, account] : FAccounts) {
        if (!account.Parked)
            continue;
        TParkedWindows &parked = *account.Parked;
        if (now - parked.ParkedAtMs > ParkedLifetimeMs) {
            account.Parked.reset();
            continue;
        }
        for (int64_t id = std::max(parked.Cursor, FLog.FirstId() - 1) + 1; id <= FLog.LastId();
             ++id) {
            const TAlert &alert = *FLog.Find(id);
            for (const auto &[windowId, filter] : parked.Windows)
                if (Matches(filter, alert, FMarket))
                    parked.Buffer.push_back({ windowId, alert });
        }
        parked.Cursor = FLog.LastId();
        while (parked.Buffer.size() > FOptions.AccountBuffer)
            parked.Buffer.pop_front();
    }
}

size_t TServerState::AdvanceMarket()
{
    std::vector<TAlert> alerts = FMarket.Advance(NowMs(), FOptions.Rate);
    const size_t count = alerts.size();
    if (count) {
        // Parked windows see every new alert before the log drops its oldest.
        FLog.Append(std::move(alerts), false);
        FillParkedBuffers();
        FLog.Trim();
    }
    return count;
}

} // namespace kestrova::alertd
