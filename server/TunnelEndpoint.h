#pragma once
// The server's end of the HTTP tunnel, free of sockets and of HTTP: a GET of the reader page
// opens a tunnel session (a TAlertdSession behind it) whose stream the glue sends as the GET's
// body: a first line, the writer address (relative to the reader page), then the session's
// compressed output. POSTs to the writer address carry the client's bytes as
// "sequence=N&body=" + P64, applied strictly in sequence order.

#include "AlertdSession.h"
#include "ServerState.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace kestrova::alertd {

inline constexpr const char *TunnelReaderPath = "/Read.php";
inline constexpr const char *TunnelWriterPath = "/Write.php";
// A POST body larger than this is refused (a full 6000-byte chunk takes about 8030).
constexpr size_t MaxTunnelPostBytes = 16 * 1024;
// A session that receives no POST for this long is taken for gone (clients ping far more often).
constexpr int64_t TunnelIdleMs = 60 * 1000;
// How late the post-slow fault answers.
constexpr int SlowPostDelayMs = 2000;

struct TTunnelReply
{
    int Status = 200;
    std::string Reason = "OK";
    std::string Body;
    int DelayMs = 0; // answer this much later
};

class TTunnelEndpoint
{
public:
    explicit TTunnelEndpoint(TServerState &state);
    ~TTunnelEndpoint();
    TTunnelEndpoint(const TTunnelEndpoint &) = delete;
    TTunnelEndpoint &operator=(const TTunnelEndpoint &) = delete;

    // A GET of the reader page: opens a session and returns its id.
    std::string Open();
    // A POST to the writer page. session: the "session" value of its query; form: its body, of
    // which only the first MaxTunnelPostBytes are kept when tooLarge.
    //   the expected sequence number: applied, 200;  a lower one: a duplicate, 200, ignored;
    //   a higher one: 409;  unknown session: 404;  malformed form: 400;  too large: 413.
    TTunnelReply Post(const std::string &session, std::string_view form, bool tooLarge);
    // Up to max bytes of the session's stream; "" when none wait (or no such session).
    std::string TakeStream(const std::string &id, size_t max);
    // The stream is over: the session closed (or is unknown) and everything was taken.
    bool StreamEnded(const std::string &id) const;
    // The reader's GET is gone: the session ends.
    void Close(const std::string &id);
    // Periodic: new market alerts, heartbeats and timed faults, idle sessions.
    void Tick();
    size_t SessionCount() const { return FSessions.size(); }

    // The session's stream has new bytes or has ended; the glue wakes its reader.
    std::function<void(const std::string &id)> OnStream;

private:
    struct TTunnel
    {
        std::unique_ptr<TAlertdSession> Session; // null once ended
        std::string Stream;
        int64_t Expected = 0;
        int64_t LastPostMs = 0;
        uint64_t Posts = 0;
    };

    // Moves the session's output to its stream; ends the session when it wants to close.
    void Collect(const std::string &id, TTunnel &tunnel);
    void End(const std::string &id, TTunnel &tunnel, const std::string &reason);
    bool FaultDue(TFaultKind kind, uint64_t posts) const;

    TServerState &FState;
    std::map<std::string, TTunnel> FSessions;
    std::mt19937_64 FRandom;
    int FNextNumber = 10001; // numbered apart from the TCP connections in the log
    int64_t FLastLogId = 0;
};

} // namespace kestrova::alertd
