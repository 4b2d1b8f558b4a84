#pragma once
// Faults the server can be told to inject, for tests and demos ("--fault KIND[:ARG]"). Every
// fault applies to each connection on its own; ARG is a byte count for drop-bytes, an interval
// for restart-every, a count of POSTs for the HTTP tunnel's faults, and otherwise the seconds
// after the connection opened when it fires.

#include <optional>
#include <string>
#include <vector>

namespace kestrova::alertd {

enum class TFaultKind {
    DropAfterBytes, // "drop-bytes:N": close after N bytes were sent
    DropAfterTime, // "drop-after:S": close S seconds after connecting
    Silent, // "silent:S": stop answering get_alerts and ping after S seconds
    CorruptByte, // "corrupt:S": a byte that breaks the compressed stream
    NegativeLength, // "negative-length:S": a frame announcing a negative length
    HugeLength, // "huge-length:S": a frame announcing a length of almost 2 GB
    BadXml, // "bad-xml:S": the next get_alerts reply is not well-formed XML
    Logout, // "logout:S": disconnect the account for good
    GracefulRestart, // "restart-every:S": ask for a graceful restart every S seconds
    PostFail, // "post-fail:N": every Nth POST to the tunnel is refused (503), not applied
    PostSlow, // "post-slow:N": every Nth POST to the tunnel is applied but answered late
    BadGif, // "bad-gif:S": pictures downloaded after S seconds are not GIF bytes
    DownloadFail, // "download-fail:S": a download after S seconds fails (the link is closed)
};

// The HTTP tunnel's faults, which only its endpoint fires.
bool IsTunnelFault(TFaultKind kind);

struct TFault
{
    TFaultKind Kind;
    double Arg = 0;
};

// Parses one "KIND[:ARG]"; nullopt with error set when it is not a known fault.
std::optional<TFault> ParseFault(const std::string &text, std::string &error);
std::string FaultName(TFaultKind kind);
// One line per fault for --help.
std::string FaultHelp();

} // namespace kestrova::alertd
