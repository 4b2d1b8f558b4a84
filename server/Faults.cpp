#include "Faults.h"

#include <charconv>
#include <cmath>

namespace kestrova::alertd {

namespace {
struct TFaultName
{
    TFaultKind Kind;
    const char *Name;
    const char *Help;
    bool NeedsArg;
};
constexpr TFaultName Names[] = {
    { TFaultKind::DropAfterBytes, "drop-bytes",
        "drop-bytes:N      close the connection after N bytes sent", true },
    { TFaultKind::DropAfterTime, "drop-after",
        "drop-after:S      close the connection S seconds after it opened", true },
    { TFaultKind::Silent, "silent",
        "silent:S          stop answering get_alerts and ping after S seconds", false },
    { TFaultKind::CorruptByte, "corrupt",
        "corrupt:S         send a corrupt compressed byte after S seconds", false },
    { TFaultKind::NegativeLength, "negative-length",
        "negative-length:S send a frame with a negative length after S seconds", false },
    { TFaultKind::HugeLength, "huge-length",
        "huge-length:S     send a frame with a huge length after S seconds", false },
    { TFaultKind::BadXml, "bad-xml",
        "bad-xml:S         answer get_alerts with malformed XML after S seconds", false },
    { TFaultKind::Logout, "logout", "logout:S          log the client out for good after S seconds",
        false },
    { TFaultKind::GracefulRestart, "restart-every",
        "restart-every:S   ask for a graceful restart every S seconds", true },
    { TFaultKind::PostFail, "post-fail",
        "post-fail:N       refuse every Nth tunnel POST (503, not applied)", true },
    { TFaultKind::PostSlow, "post-slow",
        "post-slow:N       answer every Nth tunnel POST 2 s late (applied)", true },
    { TFaultKind::BadGif, "bad-gif",
        "bad-gif:S         answer picture downloads with bytes that are not a GIF after S seconds",
        false },
    { TFaultKind::DownloadFail, "download-fail",
        "download-fail:S   fail downloads (by closing the connection) after S seconds", false },
};
} // namespace

std::optional<TFault> ParseFault(const std::string &text, std::string &error)
{
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    for (const auto &n : Names) {
        if (kind != n.Name)
            continue;
        TFault fault { n.Kind, 0 };
        if (colon == std::string::npos) {
            if (n.NeedsArg) {
                error = "fault " + kind + " needs an argument (" + n.Help + ")";
                return std::nullopt;
            }
            return fault;
        }
        const std::string arg = text.substr(colon + 1);
        const auto [ptr, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), fault.Arg);
        if (arg.empty() || ec != std::errc() || ptr != arg.data() + arg.size() || fault.Arg < 0
            || !std::isfinite(fault.Arg)
            || (n.Kind == TFaultKind::GracefulRestart && fault.Arg <= 0)
            || (IsTunnelFault(n.Kind) && (fault.Arg < 1 || fault.Arg != std::floor(fault.Arg)))) {
            error = "bad argument for fault " + kind + ": \"" + arg + "\"";
            return std::nullopt;
        }
        return fault;
    }
    error = "unknown fault \"" + kind + "\"";
    return std::nullopt;
}

bool IsTunnelFault(TFaultKind kind)
{
    return kind == TFaultKind::PostFail || kind == TFaultKind::PostSlow;
}

std::string FaultName(TFaultKind kind)
{
    for (const auto &n : Names)
        if (n.Kind == kind)
            return n.Name;
    return "?";
}

std::string FaultHelp()
{
    std::string out;
    for (const auto &n : Names)
        out += std::string("      ") + n.Help + "\n";
    return out;
}

} // namespace kestrova::alertd
