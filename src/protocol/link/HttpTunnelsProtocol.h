#pragma once
// The HTTP tunnel's two directions as state machines free of I/O and of Qt.
//   Reader: the long GET. Its body counts only with status 200: a first line (ignored), a second
//           line naming where the POSTs go, then the server's byte stream.
//   Writer: the POSTs. Outgoing bytes are cut into numbered chunks, each posted as
//           "sequence=N&body=" + P64 until the server accepts it; four failures more than
//           successes give up.
// The glue (THttpTunnel) feeds them what its HTTP clients report and acts on what they decide.

#include "support/Clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// Bytes one POST carries at most.
constexpr size_t TunnelChunkSize = 6000;
// The reader's first two lines must end within this many bytes.
constexpr size_t TunnelHeaderLimit = 8192;
// Failures in excess of successes that close the tunnel.
constexpr int TunnelMaxFailures = 4;

// Resolves reference (absolute, or relative as in an HTML link) against base. "" unless the
// result is an http or https URL with a host and without blanks or control characters.
std::string ResolveTunnelUrl(std::string_view base, std::string_view reference);

// "sequence=" + sequence + "&body=" + P64Encode(chunk).
std::string TunnelPostBody(int64_t sequence, std::string_view chunk);

enum class TTunnelReaderStep { Waiting = 0, Connected = 1, Failed = 2 };

class TTunnelReader
{
public:
    explicit TTunnelReader(std::string url);

    // One piece of the GET body; status and reason are the response's (known before its body).
    // Anything but status 200 fails the tunnel before a byte of the body is looked at.
    TTunnelReaderStep Feed(int status, std::string_view reason, std::string_view piece);
    // Why a GET that ended before the tunnel came up failed, for the user: the HTTP status when
    // it was not 200, else the client's error text (errorText), else "".
    static std::string EndText(int status, std::string_view reason, std::string_view errorText);

    TTunnelReaderStep Step() const { return FStep; }
    const std::string &Url() const { return FUrl; }
    // Absolute; set once Connected.
    const std::string &WriterUrl() const { return FWriterUrl; }
    // Why Feed failed, for the user.
    const std::string &Failure() const { return FFailure; }
    bool HasReceived() const { return FStep == TTunnelReaderStep::Connected && !FReceived.empty(); }
    // Stream bytes received and not yet taken.
    std::string TakeReceived();

private:
    TTunnelReaderStep Fail(std::string text);

    std::string FUrl;
    std::string FWriterUrl;
    std::string FReceived;
    std::string FFailure;
    TTunnelReaderStep FStep = TTunnelReaderStep::Waiting;
};

enum class TUploadState { Idle = 0, Retry = 1, Posting = 2, Stopped = 3 };
enum class TUploadVerdict { SendNext, Retry, Close };

class TTunnelWriter
{
public:
    // Queues bytes for the server; dropped once stopped.
    void Append(std::string_view bytes);
    // A POST is due: a retry, or bytes waiting while idle.
    bool WantsToPost() const;
    // Starts the due POST (WantsToPost must hold) and returns its body: a retry keeps the body
    // it had, otherwise the next chunk is taken now, so no chunk is ever taken without being
    // posted. The POST is given up after timeOutMs (none when not positive).
    const std::string &StartPost(TDateTime now, int32_t timeOutMs);
    // The POST ended; success means no transport error and status 200. A success moves on to
    // the next sequence number; a failure posts the same body again, or closes the tunnel once
    // failures exceed successes by TunnelMaxFailures.
    TUploadVerdict Finished(bool success);
    // The POST in flight is past its deadline.
    bool Expired(TDateTime now) const;
    void Stop() { FState = TUploadState::Stopped; }

    TUploadState State() const { return FState; }
    int64_t Sequence() const { return FSequence; }
    int Failures() const { return FFailures; }
    size_t Outgoing() const { return FOutgoing.size(); }

private:
    std::string FOutgoing;
    std::string FBody;
    TUploadState FState = TUploadState::Idle;
    int64_t FSequence = 0;
    int FFailures = 0;
    TDateTime FDeadline = 0;
    bool FHasDeadline = false;
};

} // namespace kestrova
