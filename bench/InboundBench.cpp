// The whole inbound path of live alerts against a baseline pipeline, on the same compressed
// frames. Inbound: the request channel's decoding (inflate, frames) hands each get_alerts reply
// to the session, which parses it into the message tree, reads the alerts, routes each window's
// batch to its window connection, whose owner adds it to the window's alert list; then the
// session asks for the next poll. Baseline: inflate, frames, pugixml DOM, and every alert's
// attributes read into a record, kept per window (no list, no session).

#include "AlertReplies.h"
#include "alerts/AlertLists.h"
#include "link/SocketServerConnections.h"
#include "link/TalkWithServer.h"
#include "session/GetAlertData.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <pugixml.hpp>

using namespace kestrova;
using namespace kestrova::bench;

namespace {

constexpr int ReplyBatchAlerts = 2000;
constexpr int WindowCount = 3;

// A connection that is connected at once and reads whatever the benchmark pushes.
class TBenchConnection : public TGenericServerConnection
{
public:
    bool Connect() override { return true; }
    void Send(const std::string &) override { }
    void Close() override { }
    void ReadAll(std::string &bytes) override { bytes.swap(FPending); }
    void Push(const std::string &bytes)
    {
        FPending = bytes;
        OnDataAvailable(*this);
    }

private:
    std::string FPending;
};

// The session with its windows and their alert lists, and the link's connection.
struct TInbound
{
    TInbound()
        : Session([this] {
            auto channel = std::make_unique<TTalkWithServer>();
            channel->CreateConnection
                = [this](const TConnectionSettings &, const std::string &, const std::string &) {
                      auto connection = std::make_unique<TBenchConnection>();
                      Connection = connection.get();
                      return connection;
                  };
            Channel = channel.get();
            return channel;
        })
    {
        Session.SetServerAddress("bench:8888");
        Session.SetUsername("bench");
        for (int i = 0; i < WindowCount; ++i) {
            auto window = std::make_unique<Window>(Session);
            Window *w = window.get();
            w->Connection.OnAlerts = [this, w](const TAlertRecords &records, bool isHistory) {
                if (records.empty())
                    return;
                w->List.AddAlerts(records, isHistory);
                Delivered += records.size();
            };
            WindowIds.push_back(w->Connection.WindowId());
            Windows.push_back(std::move(window));
        }
    }

    // A new link, connected, with the windows subscribed and a poll outstanding. Returns the
    // message id of that poll (0 when there is none).
    int32_t NewLink()
    {
        Connection = nullptr;
        Session.Restart();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        if (!Connection)
            return 0;
        Connection->OnSessionConnected(*Connection);
        QCoreApplication::processEvents();
        const TPendingRequests &pending = Channel->Pending();
        for (size_t i = 0; i < pending.Length(); ++i) {
            const TMessageToServer &m = pending.Slot(i).Message;
            if (!m.empty() && m[0].Key == "message_id" ? m.size() > 1 && m[1].Value == "get_alerts"
                                                       : !m.empty() && m[0].Value == "get_alerts")
                return static_cast<int32_t>(i + 1);
        }
        return 0;
    }

    struct Window
    {
        explicit Window(TAllAlertsConnection &session)
            : Connection(session)
        {
        }
        TAlertWindowConnection Connection;
        TSortableAlertList List;
    };

    TBenchConnection *Connection = nullptr;
    TTalkWithServer *Channel = nullptr;
    TAllAlertsConnection Session;
    std::vector<std::unique_ptr<Window>> Windows;
    std::vector<std::string> WindowIds;
    size_t Delivered = 0;
};

const TWireReplies &Replies(int alertsPerReply, int32_t messageId,
    const std::vector<std::string> &windowIds = { "0000ABCD", "0000ABCE", "0000ABCF" })
{
    static std::map<std::tuple<int, int32_t, std::vector<std::string>>, TWireReplies> cache;
    const auto key = std::make_tuple(alertsPerReply, messageId, windowIds);
    auto it = cache.find(key);
    if (it == cache.end()) {
        const int replies = std::max(4, ReplyBatchAlerts / alertsPerReply);
        it = cache.emplace(key, MakeWireReplies(replies, alertsPerReply, 42, messageId, windowIds))
                 .first;
    }
    return it->second;
}

void BM_Inbound(benchmark::State &state)
{
    const int alertsPerReply = static_cast<int>(state.range(0));
    TInbound inbound;
    const TWireReplies *wire = nullptr;
    for (auto _ : state) {
        state.PauseTiming();
        const int32_t pollId = inbound.NewLink();
        if (pollId == 0) {
            state.SkipWithError("no poll outstanding on the new link");
            break;
        }
        wire = &Replies(alertsPerReply, pollId, inbound.WindowIds);
        const size_t delivered = inbound.Delivered;
        state.ResumeTiming();
        for (const std::string &chunk : wire->Chunks) {
            inbound.Connection->Push(chunk);
            inbound.Session.PollWake();
        }
        state.PauseTiming();
        if (inbound.Delivered - delivered != wire->Bodies.size() * size_t(alertsPerReply)) {
            state.SkipWithError("alerts were lost on the way");
            break;
        }
        state.ResumeTiming();
    }
    if (wire)
        SetReplyCounters(state, *wire);
}

// What the baseline keeps of one alert.
TAlertRecord ReadAlert(const pugi::xml_node &alert)
{
    TAlertRecord r;
    r.Symbol = alert.attribute("SYMBOL").value();
    r.AlertType = alert.attribute("TYPE").value();
    r.UnixTime = alert.attribute("TIME").as_int();
    r.Time = r.UnixTime / 86400.0 + 25569.0;
    r.Description = alert.attribute("DESCRIPTION").value();
    const auto fraction = [&](const char *name) {
        const pugi::xml_attribute a = alert.attribute(name);
        return a ? std::strtod(a.value(), nullptr) : std::nan("");
    };
    r.Quality = fraction("QUALITY");
    r.RelVol = fraction("RELVOL");
    r.Num = alert.attribute("NUM").as_int();
    r.Historical = alert.attribute("HISTORICAL").as_int();
    r.DayRange = fraction("DAY_RANGE");
    r.StdDev = fraction("STDDEV");
    r.Volatility = fraction("VOLATILITY");
    return r;
}

void BM_Baseline(benchmark::State &state)
{
    const TWireReplies &wire = Replies(static_cast<int>(state.range(0)), 7);
    std::map<std::string, TAlertRecords> windows;
    for (auto _ : state) {
        TZLibDecompressor inflater;
        TFrameReader frames;
        int32_t id = 0;
        std::string body;
        for (const std::string &chunk : wire.Chunks) {
            inflater.Feed(chunk);
            frames.Append(inflater.Output());
            inflater.Output().clear();
            while (frames.Next(id, body)) {
                pugi::xml_document doc;
                doc.load_buffer(body.data(), body.size());
                for (pugi::xml_node window : doc.first_child().child("DATA").children()) {
                    TAlertRecords &records = windows[window.attribute("ID").value()];
                    records.clear();
                    for (pugi::xml_node alert : window.children())
                        records.push_back(ReadAlert(alert));
                }
            }
        }
        benchmark::DoNotOptimize(windows);
    }
    SetReplyCounters(state, wire);
}

} // namespace

BENCHMARK(BM_Baseline)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_Inbound)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);
