#include "AlertdSession.h"

#include "AlertCatalogue.h"
#include "ConfigEditor.h"
#include "Downloads.h"
#include "History.h"
#include "ReplyXml.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

namespace kestrova::alertd {

namespace {
// Decompressed input is fed in pieces this large, so a compressed bomb is caught early.
constexpr size_t FeedPiece = 4096;
// Alerts a new window with skip_history "0" receives at once, at most.
constexpr int RecentAlertsOnSubscribe = 20;
constexpr int RecentScanLimit = 20000;

std::string Value(const TMessageToServer &request, const std::string &key)
{
    for (const auto &field : request)
        if (field.Key == key)
            return field.Value;
    return {};
}

int32_t MessageId(const TMessageToServer &request)
{
    const std::string text = Value(request, "message_id");
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || value <= 0 || value > INT32_MAX)
        return 0;
    return static_cast<int32_t>(value);
}
} // namespace

std::string FormatAlertNumber(double value)
{
    // "." whatever the process locale: clients read numbers that way.
    char buffer[64];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 8);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

TAlertdSession::TAlertdSession(TServerState &state, int number)
    : FState(state)
    , FNumber(number)
    , FOpenedMs(state.NowMs())
    , FCursor(state.Log().LastId())
    , FBacktests(
          state, [this](int32_t id, const std::string &body) { Reply(id, body); },
          [this](TWindowFilter &filter) { ResolveLists(filter); })
    , FFired(state.Options().Faults.size(), false)
{
}

TAlertdSession::~TAlertdSession()
{
    std::map<std::string, TWindowFilter> live;
    for (const auto &[id, window] : FWindows)
        if (window.Live)
            live[id] = window.Filter;
    if (!live.empty() && !FAccount.empty() && !FRefused)
        FState.Park(FAccount, std::move(live), FCursor);
}

void TAlertdSession::Log(const std::string &text) const
{
    FState.Info("connection " + std::to_string(FNumber) + ": " + text);
}

void TAlertdSession::Close(const std::string &reason)
{
    if (FClose)
        return;
    FClose = true;
    FCloseReason = reason;
    Log("closing: " + reason);
}

double TAlertdSession::Elapsed() const
{
    return static_cast<double>(FState.NowMs() - FOpenedMs) / 1000.0;
}

size_t TAlertdSession::BufferedBytes() const
{
    return (FPreambleDone ? 0 : FPreamble.size()) + FRequests.Buffered();
}

void TAlertdSession::Receive(std::string_view bytes)
{
    if (FClose || bytes.empty())
        return;
    const int64_t now = FState.NowMs();
    if (FUnfinishedSinceMs < 0)
        FUnfinishedSinceMs = now; // these bytes may start a request
    if (!FPreambleDone) {
        const size_t need = ClientPreamble.size() - FPreamble.size();
        const size_t take = std::min(need, bytes.size());
        FPreamble.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (FPreamble != ClientPreamble.substr(0, FPreamble.size())) {
            Close("bad preamble");
            return;
        }
        if (FPreamble.size() < ClientPreamble.size())
            return;
        FPreambleDone = true;
    }
    try {
        while (!bytes.empty() && !FClose) {
            const size_t take = std::min(FeedPiece, bytes.size());
            FInflate.Feed(bytes.data(), take);
            bytes.remove_prefix(take);
            std::string &plain = FInflate.Output();
            FRequests.Append(plain);
            plain.clear();
            if (FRequests.Buffered() > MaxRequestBytes)
                throw EInvalidServerData(
                    "request longer than " + std::to_string(MaxRequestBytes) + " bytes");
            TMessageToServer request;
            while (!FClose && FRequests.Next(request)) {
                Handle(request);
                FUnfinishedSinceMs = now; // what follows starts the next one
            }
        }
    } catch (const std::exception &e) {
        Close(std::string("invalid data from client: ") + e.what());
    }
    if (BufferedBytes() == 0)
        FUnfinishedSinceMs = -1;
}

void TAlertdSession::Reply(int32_t id, const std::string &body)
{
    if (id <= 0 || FClose)
        return;
    FDeflate.Write(EncodeFrame(id, body));
}

std::string TAlertdSession::TakeOutput()
{
    FDeflate.Flush();
    std::string out;
    out.swap(FDeflate.Output());
    out += FExtraRaw;
    FExtraRaw.clear();
    for (size_t i = 0; i < FFired.size(); ++i) {
        const TFault &fault = FState.Options().Faults[i];
        if (fault.Kind != TFaultKind::DropAfterBytes || FFired[i])
            continue;
        const auto limit = static_cast<uint64_t>(fault.Arg);
        if (FBytesSent + out.size() >= limit) {
            out.resize(static_cast<size_t>(limit - std::min(limit, FBytesSent)));
            FFired[i] = true;
            Log("fault drop-bytes fired after " + std::to_string(limit) + " bytes");
            Close("fault drop-bytes");
        }
    }
    FBytesSent += out.size();
    return out;
}

void TAlertdSession::Handle(const TMessageToServer &request)
{
    const int32_t id = MessageId(request);
    const std::string command = Value(request, "command");
    try {
        if (command == "login") {
            Login(id, request);
        } else if (command == "confirm_login") {
            if (!FAccount.empty() && Value(request, "key") != FState.Account(FAccount).Key)
                Log("confirm_login with a key that is not this account's");
            Reply(id, EmptyReply());
        } else if (command == "set_time_format") {
            FServerTime = Value(request, "format") == "1";
            Reply(id, EmptyReply());
        } else if (command == "ping") {
            if (!FSilent)
                Reply(id, "<API><PONG/></API>");
        } else if (command == "get_alerts") {
            GetAlerts(id);
        } else if (command == "set_config_info") {
            SetConfig(id, request);
        } else if (command == "remove_config_info") {
            FWindows.erase(Value(request, "window_id"));
            FBacktests.Cancel(Value(request, "window_id"));
            Reply(id, EmptyReply());
        } else if (command == "quorix_listen") {
            FBacktests.Listen(id);
        } else if (command == "quorix_new_request") {
            FBacktests.NewRequest(request, LoggedIn() ? "" : "Not logged in.");
            Reply(id, EmptyReply());
        } else if (command == "quorix_cancel_request") {
            FBacktests.Cancel(Value(request, "window_id"));
            Reply(id, EmptyReply());
        } else if (command == "history_listen") {
            FHistoryListenId = id;
            for (const auto &body : FHeldHistory)
                Reply(FHistoryListenId, body);
            FHeldHistory.clear();
        } else if (command == "download") {
            const TDownloadAnswer answer = AnswerDownload(FState.Market(), FState.Options().Faults,
                Elapsed(), Value(request, "location"), Value(request, "file"));
            if (answer.Fault)
                Log("fault " + FaultName(*answer.Fault) + " fired");
            if (answer.Fault == TFaultKind::DownloadFail)
                Close("fault download-fail"); // the one way a single request fails
            else
                Reply(id, answer.Body);
        } else if (command == "update_list" || command == "delete_all_lists"
            || command == "get_list_of_lists") {
            ListRequest(id, command, request);
        } else if (command == "edit_config_new") {
            Reply(id,
                EditConfigReply(Value(request, "config"),
                    Value(request, "disabled_supported") == "1",
                    FRefused ? std::vector<TListInfo>() : FState.Lists().Lists(FAccount)));
        } else {
            // Commands this server does not offer still
            // get an answer, so the client's request does not hang.
            if (!command.empty())
                Log("unsupported command \"" + command + "\"");
            Reply(id, EmptyReply());
        }
    } catch (const std::exception &e) {
        // A server-side failure (the list database) must not look like success to the client:
        // dropping the link makes it retry.
        Close("failed to handle " + command + ": " + e.what());
    }
}

std::string TAlertdSession::TimeText(int64_t unixSeconds) const
{
    return FServerTime ? LocalTimeText(unixSeconds) : std::to_string(unixSeconds);
}

void TAlertdSession::Login(int32_t id, const TMessageToServer &request)
{
    // A refused login counts too: the client is talking, and is told why it gets nothing.
    FLoginAsked = true;
    FLoginId = id;
    const std::string user = Value(request, "username");
    const TLoginCheck check = FState.CheckLogin(user, Value(request, "password"));
    TXmlWriter xml;
    xml.Open("API");
    if (check != TLoginCheck::Good) {
        FRefused = true;
        FWindows.clear();
        xml.Open("ACCOUNT_STATUS")
            .Attr("STATE", check == TLoginCheck::BadUsername ? "bad username" : "bad password")
            .Close();
        Log("login refused for \"" + user + "\"");
        Reply(id, xml.Finish());
        return;
    }
    FRefused = false;
    FAccount = user;
    TAccount &account = FState.Account(user);
    ++account.Sequence;

    // Resume after the last alert the client was told about, when it comes from this process.
    const TAlertLog &log = FState.Log();
    FResumeAfter = -1;
    FParked.reset();
    FResumeQueue.clear();
    FCursor = log.LastId();
    const std::string after = Value(request, "restart_after");
    if (!after.empty() && Value(request, "restart_key") == account.Key) {
        char *end = nullptr;
        const long long last = std::strtoll(after.c_str(), &end, 10);
        if (*end == '\0' && last >= 0 && last <= log.LastId()) {
            FResumeAfter = last;
            FResumeUpTo = log.LastId();
            FParked = std::move(account.Parked);
            account.Parked.reset();
            Log("resuming \"" + user + "\" after alert " + after);
        }
    }
    const int64_t now = FState.NowMs();
    xml.Open("ACCOUNT_STATUS")
        .Attr("STATE", "good")
        .Attr("NEXT_PAYMENT", 30)
        .Attr("QUORIX", 1)
        .Close();
    xml.Open("RESTART")
        .Attr("LAST_ID", FResumeAfter >= 0 ? FResumeAfter : FCursor)
        .Attr("KEY", account.Key)
        .Attr("SEQUENCE", account.Sequence)
        .Close();
    xml.Open("TIME").Attr("SECONDS", TimeText(now / 1000)).Attr("MILLISECONDS", now % 1000).Close();
    Reply(id, xml.Finish());
    Log("login \"" + user + "\"");
}

void TAlertdSession::ResolveLists(TWindowFilter &filter)
{
    filter.ListSymbols.clear();
    if (filter.Mode != TSymbolMode::OnlyLists && filter.Mode != TSymbolMode::ExcludeLists)
        return;
    for (int listId : filter.ListIds) {
        const auto symbols = FState.Lists().Symbols(FAccount, listId);
        filter.ListSymbols.insert(symbols.begin(), symbols.end());
    }
}

void TAlertdSession::ResolveAllLists()
{
    for (auto &[id, window] : FWindows)
        ResolveLists(window.Filter);
}

void TAlertdSession::SetConfig(int32_t id, const TMessageToServer &request)
{
    const std::string windowId = Value(request, "window_id");
    const std::string longForm = Value(request, "long_form");
    TXmlWriter xml;
    xml.Open("API").Open("STATUS");
    const auto old = FWindows.find(windowId);
    const std::string oldName
        = old == FWindows.end() ? std::string() : old->second.Filter.WindowName;
    TParsedConfig parsed = ParseDataConfig(longForm);
    if (FRefused)
        parsed = { false, "Not logged in.", {} };
    else if (windowId.empty())
        parsed = { false, "Missing window id.", {} };
    if (!parsed.Ok) {
        // Echo the client's own text so that it keeps its configuration.
        xml.Attr("SHORT_FORM", longForm)
            .Attr("WINDOW_NAME", oldName)
            .Attr("KV-ErrorMsg", parsed.Error);
        Reply(id, xml.Finish());
        Log("window " + windowId + " refused: " + parsed.Error);
        return;
    }
    ResolveLists(parsed.Filter);
    xml.Attr("SHORT_FORM", ShortForm(parsed.Filter)).Attr("WINDOW_NAME", parsed.Filter.WindowName);
    Reply(id, xml.Finish());

    if (Value(request, "long_history") == "1") {
        TWindow &window = FWindows[windowId];
        window.Filter = parsed.Filter;
        window.Live = false;
        window.Backlog.clear();
        SendHistory(windowId, parsed.Filter, request);
        return;
    }
    TWindow window;
    window.Filter = std::move(parsed.Filter);
    const TAlertLog &log = FState.Log();
    // A resumed window's missed alerts up to the login come from the resume queue.
    window.StartAfter = FResumeAfter >= 0 ? FResumeUpTo : log.LastId();
    if (FResumeAfter < 0 && Value(request, "skip_history") == "0") {
        // The window's most recent matching alerts, oldest first.
        const int64_t stop = std::max(log.FirstId(), log.LastId() - RecentScanLimit);
        for (int64_t i = log.LastId(); i >= stop && window.Backlog.size() < RecentAlertsOnSubscribe;
             --i)
            if (Matches(window.Filter, *log.Find(i), FState.Market()))
                window.Backlog.push_back(*log.Find(i));
        std::reverse(window.Backlog.begin(), window.Backlog.end());
    }
    FWindows[windowId] = std::move(window);
    if (FPollId && !FWindows[windowId].Backlog.empty())
        AnswerPoll(false);
}

void TAlertdSession::SendHistory(
    const std::string &windowId, const TWindowFilter &filter, const TMessageToServer &request)
{
    THistoryRequest range;
    range.NewestUnix = ParseRequestTime(Value(request, "long_history_start_time"));
    range.OldestUnix = ParseRequestTime(Value(request, "long_history_end_time"));
    range.MaxCount = std::atoi(Value(request, "long_history_max_count").c_str());
    range.StartId = Value(request, "long_history_start_id");
    const auto messages
        = CollectHistory(FState.Market(), FState.Log(), filter, range, FState.NowMs() / 1000);
    auto send = [&](std::string body) {
        if (FHistoryListenId)
            Reply(FHistoryListenId, body);
        else
            FHeldHistory.push_back(std::move(body));
    };
    size_t total = 0;
    for (const auto &message : messages) {
        TXmlWriter xml;
        xml.Open("API")
            .Open("MESSAGE")
            .Attr("WINDOW", windowId)
            .Attr("TYPE", "alerts")
            .Attr("RESTART", message.Restart);
        for (const auto &alert : message.Alerts)
            WriteAlert(xml, alert);
        send(xml.Finish());
        total += message.Alerts.size();
    }
    TXmlWriter done;
    done.Open("API").Open("MESSAGE").Attr("WINDOW", windowId).Attr("TYPE", "finished");
    send(done.Finish());
    Log("history for window " + windowId + ": " + std::to_string(total) + " alerts in "
        + std::to_string(messages.size()) + " messages");
}

void TAlertdSession::ListRequest(
    int32_t id, const std::string &command, const TMessageToServer &request)
{
    if (!LoggedIn()) {
        // No user's store behind this connection: say so, rather than answer as if it was done.
        Log(command + " refused: not logged in");
        Reply(id, RefusalReply("Not logged in."));
    } else if (command == "update_list") {
        UpdateList(id, request);
    } else if (command == "delete_all_lists") {
        FState.Lists().DeleteAll(FAccount);
        ResolveAllLists();
        Reply(id, EmptyReply());
    } else {
        TXmlWriter xml;
        xml.Open("API").Open("LISTS");
        for (const auto &list : FState.Lists().Lists(FAccount))
            xml.Open("LIST").Attr("ID", list.Id).Attr("NAME", list.Name).Close();
        Reply(id, xml.Finish());
    }
}

void TAlertdSession::UpdateList(int32_t id, const TMessageToServer &request)
{
    TListUpdate update;
    const std::string idText = Value(request, "id");
    char *end = nullptr;
    const long listId = std::strtol(idText.c_str(), &end, 10);
    if (idText.empty() || *end || listId <= 0 || listId > INT32_MAX) {
        Log("update_list refused (list id \"" + idText + "\")");
        Reply(id, RefusalReply("Invalid list id."));
        return;
    }
    update.Id = static_cast<int>(listId);
    update.Name = Value(request, "name");
    update.DeleteList = Value(request, "delete_list") == "1";
    update.DeleteAll = Value(request, "delete_all") == "1";
    update.Add = TSymbolListStore::SplitSymbols(Value(request, "add"));
    update.Delete = TSymbolListStore::SplitSymbols(Value(request, "delete"));
    FState.Lists().Update(FAccount, update);
    ResolveAllLists();
    TXmlWriter xml;
    xml.Open("API");
    if (Value(request, "request_list") == "1") {
        xml.Open("SYMBOLS");
        for (const auto &symbol : FState.Lists().Symbols(FAccount, update.Id))
            xml.Open("SYMBOL").Attr("NAME", symbol).Close();
        xml.Close();
    }
    Reply(id, xml.Finish());
}

void TAlertdSession::BuildResumeQueue()
{
    const TAlertLog &log = FState.Log();
    std::vector<TBufferedAlert> queue;
    std::set<std::pair<int64_t, std::string>> seen;
    // What the shared log still holds ...
    for (int64_t id = std::max(FResumeAfter, log.FirstId() - 1) + 1; id <= FResumeUpTo; ++id) {
        const TAlert &alert = *log.Find(id);
        for (const auto &[windowId, window] : FWindows)
            if (window.Live && Matches(window.Filter, alert, FState.Market())) {
                queue.push_back({ windowId, alert });
                seen.emplace(id, windowId);
            }
    }
    // ... and what the account's buffer kept beyond it.
    if (FParked) {
        for (const auto &b : FParked->Buffer) {
            const auto window = FWindows.find(b.WindowId);
            if (b.Alert.Id > FResumeAfter && b.Alert.Id <= FResumeUpTo && window != FWindows.end()
                && window->second.Live && !seen.count({ b.Alert.Id, b.WindowId })
                && Matches(window->second.Filter, b.Alert, FState.Market()))
                queue.push_back(b);
        }
    }
    std::stable_sort(queue.begin(), queue.end(),
        [](const TBufferedAlert &a, const TBufferedAlert &b) { return a.Alert.Id < b.Alert.Id; });
    Log("resume: " + std::to_string(queue.size()) + " missed alerts queued");
    FResumeQueue.assign(
        std::make_move_iterator(queue.begin()), std::make_move_iterator(queue.end()));
    FResumeAfter = -1;
    FParked.reset();
}

void TAlertdSession::GetAlerts(int32_t id)
{
    // One long poll per connection: a newer one replaces the older, which is answered empty.
    if (FPollId && FPollId != id && !FSilent)
        Reply(FPollId, EmptyReply());
    FPollId = id;
    FPollSinceMs = FState.NowMs();
    if (FResumeAfter >= 0)
        BuildResumeQueue(); // the windows of a resumed session have all been re-subscribed
    if (!FSilent)
        AnswerPoll(false);
}

void TAlertdSession::WriteAlert(TXmlWriter &out, const TAlert &alert) const
{
    std::string &element = alert.Element[FServerTime ? 1 : 0];
    if (element.empty()) {
        TXmlWriter xml;
        xml.Open("ALERT")
            .Attr("ID", alert.Id)
            .Attr("SYMBOL", FState.Market().SymbolName(alert.Symbol))
            .Attr("TYPE", AlertTypes()[alert.Type].Code)
            .Attr("TIME", TimeText(alert.UnixTime))
            .Attr("DESCRIPTION", alert.Description);
        const std::pair<const char *, double> numbers[] = { { "QUALITY", alert.Quality },
            { "RELVOL", alert.RelVol }, { "DAY_RANGE", alert.DayRange }, { "STDDEV", alert.StdDev },
            { "VOLATILITY", alert.Volatility } };
        for (const auto &[name, value] : numbers)
            if (!std::isnan(value))
                xml.Attr(name, FormatAlertNumber(value));
        if (alert.Num > 0)
            xml.Attr("NUM", alert.Num);
        if (alert.Historical)
            xml.Attr("HISTORICAL", "1");
        element = xml.Finish();
    }
    out.Raw(element);
}

void TAlertdSession::AnswerPoll(bool heartbeat)
{
    if (!FPollId)
        return;
    const TAlertLog &log = FState.Log();
    if (FCursor < log.FirstId() - 1) {
        Log("client fell behind the alert buffer; skipping to alert "
            + std::to_string(log.FirstId()));
        FCursor = log.FirstId() - 1;
    }
    std::map<std::string, std::vector<const TAlert *>> found;
    size_t total = 0;
    const auto limit = static_cast<size_t>(FState.Options().MaxAlertsPerReply);
    // A resumed session first drains what it missed, in id order, cut between ids.
    std::vector<TBufferedAlert> missed;
    int64_t lastId = FCursor;
    while (!FResumeQueue.empty()
        && (missed.size() < limit || FResumeQueue.front().Alert.Id == missed.back().Alert.Id)) {
        missed.push_back(std::move(FResumeQueue.front()));
        FResumeQueue.pop_front();
    }
    if (!missed.empty()) {
        for (const auto &m : missed)
            found[m.WindowId].push_back(&m.Alert);
        total = missed.size();
        lastId = FResumeQueue.empty() ? FCursor : missed.back().Alert.Id;
    }
    // Per window: its backlog first, then the new log alerts in order, up to the reply limit.
    for (auto &[id, window] : FWindows)
        for (const auto &alert : window.Backlog)
            if (total < limit) {
                found[id].push_back(&alert);
                ++total;
            }
    int64_t scanned = FCursor;
    if (!missed.empty()) {
        // (new log alerts wait for the next poll)
    } else if (!FRefused) {
        for (int64_t i = FCursor + 1; i <= log.LastId() && total < limit; ++i) {
            const TAlert &alert = *log.Find(i);
            for (auto &[id, window] : FWindows)
                if (window.Live && i > window.StartAfter
                    && Matches(window.Filter, alert, FState.Market())) {
                    found[id].push_back(&alert);
                    ++total;
                }
            scanned = i;
        }
    } else {
        scanned = log.LastId();
    }
    FCursor = scanned;
    if (missed.empty())
        lastId = FCursor;
    if (total == 0 && !heartbeat)
        return;

    TXmlWriter xml;
    xml.Open("API");
    if (total > 0) {
        xml.Open("DATA");
        for (const auto &[id, alerts] : found) {
            // Newest first within a window, as history is sent: a client adds a live batch
            // last to first, so that its newest alert ends up on top.
            xml.Open("WINDOW").Attr("ID", id);
            for (auto alert = alerts.rbegin(); alert != alerts.rend(); ++alert)
                WriteAlert(xml, **alert);
            xml.Close();
        }
        xml.Close();
    }
    xml.Open("RESTART").Attr("LAST_ID", lastId).Close();
    std::string body = xml.Finish();
    for (auto &[id, window] : FWindows)
        window.Backlog.clear(); // (a backlog never exceeds the reply limit)
    // The malformed reply is due from its time on, whether or not a tick has seen it yet.
    const auto &faults = FState.Options().Faults;
    for (size_t i = 0; i < faults.size(); ++i)
        if (faults[i].Kind == TFaultKind::BadXml && !FFired[i] && Elapsed() >= faults[i].Arg) {
            FFired[i] = true;
            FBadXmlArmed = true;
        }
    if (FBadXmlArmed) {
        FBadXmlArmed = false;
        body = body.substr(0, body.size() / 2) + "<<&";
        Log("fault bad-xml fired");
    }
    Reply(FPollId, body);
    FPollId = 0;
}

void TAlertdSession::OnMarketAlerts()
{
    if (!FClose && !FSilent)
        AnswerPoll(false);
}

void TAlertdSession::Tick()
{
    if (FClose)
        return;
    const int64_t now = FState.NowMs();
    if (!FLoginAsked && now - FOpenedMs >= LoginTimeoutMs) {
        Close("no login within " + std::to_string(LoginTimeoutMs / 1000) + " s");
        return;
    }
    if (FUnfinishedSinceMs >= 0 && now - FUnfinishedSinceMs >= UnfinishedRequestTimeoutMs) {
        Close("unfinished request for " + std::to_string(UnfinishedRequestTimeoutMs / 1000) + " s ("
            + std::to_string(BufferedBytes()) + " bytes)");
        return;
    }
    const double elapsed = Elapsed();
    const auto &faults = FState.Options().Faults;
    for (size_t i = 0; i < faults.size(); ++i) {
        const TFault &fault = faults[i];
        if (fault.Kind == TFaultKind::GracefulRestart) {
            if (FNextRestartMs == 0)
                FNextRestartMs = FOpenedMs + static_cast<int64_t>(fault.Arg * 1000);
            if (FLoginId && now >= FNextRestartMs) {
                FNextRestartMs = now + static_cast<int64_t>(fault.Arg * 1000);
                Log("fault restart-every fired");
                Reply(FLoginId, "<API><STATUS GRACEFUL_RESTART=\"1\"/></API>");
            }
            continue;
        }
        // Byte counts, download and tunnel faults are checked where the bytes, downloads and
        // posts are.
        if (FFired[i] || elapsed < fault.Arg || fault.Kind == TFaultKind::DropAfterBytes
            || fault.Kind == TFaultKind::BadGif || fault.Kind == TFaultKind::DownloadFail
            || IsTunnelFault(fault.Kind))
            continue;
        if (fault.Kind == TFaultKind::Logout && !FLoginId)
            continue;
        FFired[i] = true;
        Log("fault " + FaultName(fault.Kind) + " fired");
        switch (fault.Kind) {
        case TFaultKind::DropAfterTime:
            Close("fault drop-after");
            return;
        case TFaultKind::Silent:
            FSilent = true;
            break;
        case TFaultKind::CorruptByte:
            // After a sync flush the next byte starts a deflate block; 0xFF names a block
            // type that does not exist.
            FExtraRaw += '\xFF';
            break;
        case TFaultKind::NegativeLength:
        case TFaultKind::HugeLength: {
            std::string frame;
            AppendLittleEndian32(frame, static_cast<uint32_t>(FPollId ? FPollId : 1));
            AppendLittleEndian32(
                frame, fault.Kind == TFaultKind::NegativeLength ? 0xFFFFFFF0u : 0x7FFFFF00u);
            frame += "<API/>";
            FDeflate.Write(frame);
            break;
        }
        case TFaultKind::BadXml:
            FBadXmlArmed = true;
            break;
        case TFaultKind::Logout:
            FRefused = true;
            Reply(FLoginId,
                "<API><STATUS DISCONNECT_FOR_GOOD=\"1\" KV-ErrorMsg=\"This account "
                "was logged out by the server.\"/></API>");
            break;
        default:
            break;
        }
    }
    if (FPollId && !FSilent && FState.NowMs() - FPollSinceMs >= FState.Options().HeartbeatMs)
        AnswerPoll(true);
    if (!FSilent)
        FBacktests.Tick();
}

} // namespace kestrova::alertd
