#include "TunnelEndpoint.h"

#include "link/P64.h"

#include <charconv>
#include <cstdio>

namespace kestrova::alertd {

namespace {

TTunnelReply Refuse(int status, const char *reason, const std::string &why)
{
    return { status, reason, why + "\n", 0 };
}

// "sequence" and "body" of a form; false when either is missing or malformed.
bool ParseForm(std::string_view form, int64_t &sequence, std::string &bytes)
{
    bool haveSequence = false, haveBody = false;
    while (!form.empty()) {
        const size_t amp = std::min(form.find('&'), form.size());
        const std::string_view field = form.substr(0, amp);
        form.remove_prefix(std::min(amp + 1, form.size()));
        const size_t eq = field.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = field.substr(0, eq);
        const std::string value = UrlDecode(field.substr(eq + 1), true);
        if (key == "sequence") {
            const auto [end, ec]
                = std::from_chars(value.data(), value.data() + value.size(), sequence);
            haveSequence
                = !value.empty() && ec == std::errc() && end == value.data() + value.size();
            if (sequence < 0)
                haveSequence = false;
        } else if (key == "body") {
            haveBody = P64Decode(value, bytes);
        }
    }
    return haveSequence && haveBody;
}

} // namespace

TTunnelEndpoint::TTunnelEndpoint(TServerState &state)
    : FState(state)
    , FRandom(std::random_device {}())
    , FLastLogId(state.Log().LastId())
{
}

TTunnelEndpoint::~TTunnelEndpoint() = default;

std::string TTunnelEndpoint::Open()
{
    char id[32];
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(FRandom()));
    const int number = FNextNumber++;
    TTunnel &tunnel = FSessions[id];
    tunnel.Session = std::make_unique<TAlertdSession>(FState, number);
    tunnel.LastPostMs = FState.NowMs();
    tunnel.Stream
        = std::string("tunnel ") + id + "\r\n" + (TunnelWriterPath + 1) + "?session=" + id + "\r\n";
    FState.Info("tunnel " + std::to_string(number) + " opened");
    return id;
}

TTunnelReply TTunnelEndpoint::Post(const std::string &session, std::string_view form, bool tooLarge)
{
    const auto it = FSessions.find(session);
    if (it == FSessions.end() || !it->second.Session)
        return Refuse(404, "Not Found", "unknown tunnel session");
    TTunnel &tunnel = it->second;
    tunnel.LastPostMs = FState.NowMs();
    const uint64_t posts = ++tunnel.Posts;
    if (tooLarge)
        return Refuse(413, "Payload Too Large",
            "a POST carries at most " + std::to_string(MaxTunnelPostBytes) + " bytes");
    int64_t sequence = 0;
    std::string bytes;
    if (!ParseForm(form, sequence, bytes))
        return Refuse(400, "Bad Request", "expected sequence=N&body=P64");
    if (FaultDue(TFaultKind::PostFail, posts))
        return Refuse(503, "Service Unavailable", "fault post-fail");
    if (sequence < tunnel.Expected)
        return { 200, "OK", "duplicate\n", 0 };
    if (sequence > tunnel.Expected)
        return Refuse(409, "Conflict", "expected sequence " + std::to_string(tunnel.Expected));
    ++tunnel.Expected;
    tunnel.Session->Receive(bytes);
    Collect(session, tunnel);
    TTunnelReply reply { 200, "OK", "ok\n", 0 };
    if (FaultDue(TFaultKind::PostSlow, posts))
        reply.DelayMs = SlowPostDelayMs;
    return reply;
}

bool TTunnelEndpoint::FaultDue(TFaultKind kind, uint64_t posts) const
{
    for (const TFault &fault : FState.Options().Faults)
        if (fault.Kind == kind && posts % static_cast<uint64_t>(fault.Arg) == 0)
            return true;
    return false;
}

std::string TTunnelEndpoint::TakeStream(const std::string &id, size_t max)
{
    const auto it = FSessions.find(id);
    if (it == FSessions.end())
        return {};
    std::string &stream = it->second.Stream;
    const size_t size = std::min(max, stream.size());
    std::string piece = stream.substr(0, size);
    stream.erase(0, size);
    return piece;
}

bool TTunnelEndpoint::StreamEnded(const std::string &id) const
{
    const auto it = FSessions.find(id);
    return it == FSessions.end() || (!it->second.Session && it->second.Stream.empty());
}

void TTunnelEndpoint::Close(const std::string &id)
{
    const auto it = FSessions.find(id);
    if (it == FSessions.end())
        return;
    if (it->second.Session)
        End(id, it->second, "reader gone");
    FSessions.erase(it);
}

void TTunnelEndpoint::Collect(const std::string &id, TTunnel &tunnel)
{
    const std::string out = tunnel.Session->TakeOutput();
    tunnel.Stream += out;
    if (tunnel.Session->WantsClose())
        End(id, tunnel, tunnel.Session->CloseReason());
    else if (!out.empty() && OnStream)
        OnStream(id);
}

void TTunnelEndpoint::End(const std::string &id, TTunnel &tunnel, const std::string &reason)
{
    FState.Info("tunnel " + std::to_string(tunnel.Session->Number()) + " closed (" + reason + ")");
    tunnel.Session.reset(); // parks the account's windows for a resuming login
    if (OnStream)
        OnStream(id);
}

void TTunnelEndpoint::Tick()
{
    const int64_t lastId = FState.Log().LastId();
    const bool newAlerts = lastId != FLastLogId;
    FLastLogId = lastId;
    const int64_t now = FState.NowMs();
    for (auto &[id, tunnel] : FSessions) {
        if (!tunnel.Session)
            continue;
        if (now - tunnel.LastPostMs > TunnelIdleMs) {
            End(id, tunnel, "no POST for " + std::to_string(TunnelIdleMs / 1000) + " s");
            continue;
        }
        if (newAlerts)
            tunnel.Session->OnMarketAlerts();
        tunnel.Session->Tick();
        Collect(id, tunnel);
    }
}

} // namespace kestrova::alertd
