#include "link/HttpTunnelsProtocol.h"

#include "link/P64.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace kestrova {

namespace {

struct TUrlParts
{
    std::string Scheme, Authority, Path, Query;
    bool HasScheme = false, HasAuthority = false, HasQuery = false;
};

bool IsSchemeChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

TUrlParts SplitUrl(std::string_view text)
{
    TUrlParts parts;
    text = text.substr(0, text.find('#'));
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon > 0 && colon < text.find_first_of("/?")
        && std::isalpha(static_cast<unsigned char>(text[0]))
        && std::all_of(text.begin(), text.begin() + colon, IsSchemeChar)) {
        parts.HasScheme = true;
        parts.Scheme = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const size_t end = std::min(text.find_first_of("/?"), text.size());
        parts.HasAuthority = true;
        parts.Authority = text.substr(0, end);
        text.remove_prefix(end);
    }
    const size_t question = text.find('?');
    parts.Path = text.substr(0, question);
    if (question != std::string_view::npos) {
        parts.HasQuery = true;
        parts.Query = text.substr(question + 1);
    }
    return parts;
}

// Removes "." and ".." segments the way a browser does.
std::string RemoveDotSegments(std::string_view input)
{
    std::string output;
    auto dropLastSegment = [&output] { output.erase(std::min(output.rfind('/'), output.size())); };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const size_t end = std::min(input.find('/', 1), input.size());
            output += input.substr(0, end);
            input.remove_prefix(end);
        }
    }
    return output;
}

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string ResolveTunnelUrl(std::string_view base, std::string_view reference)
{
    const TUrlParts b = SplitUrl(base);
    const TUrlParts r = SplitUrl(reference);
    TUrlParts t;
    if (r.HasScheme) {
        t = r;
        t.Path = RemoveDotSegments(r.Path);
    } else {
        t.Scheme = b.Scheme;
        if (r.HasAuthority) {
            t.Authority = r.Authority;
            t.Path = RemoveDotSegments(r.Path);
            t.HasQuery = r.HasQuery;
            t.Query = r.Query;
        } else {
            t.Authority = b.Authority;
            if (r.Path.empty()) {
                t.Path = b.Path;
                t.HasQuery = r.HasQuery || b.HasQuery;
                t.Query = r.HasQuery ? r.Query : b.Query;
            } else {
                std::string merged = r.Path;
                if (!r.Path.starts_with('/'))
                    merged = (b.HasAuthority && b.Path.empty())
                        ? "/" + r.Path
                        : b.Path.substr(0, b.Path.rfind('/') + 1) + r.Path;
                t.Path = RemoveDotSegments(merged);
                t.HasQuery = r.HasQuery;
                t.Query = r.Query;
            }
        }
    }
    const std::string scheme = Lower(t.Scheme);
    if ((scheme != "http" && scheme != "https") || t.Authority.empty())
        return {};
    std::string url = scheme + "://" + t.Authority + t.Path;
    if (t.HasQuery)
        url += "?" + t.Query;
    const bool clean = std::none_of(url.begin(), url.end(),
        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7F'; });
    return clean ? url : std::string();
}

std::string TunnelPostBody(int64_t sequence, std::string_view chunk)
{
    return "sequence=" + std::to_string(sequence) + "&body=" + P64Encode(chunk);
}

// ---- reader ----

TTunnelReader::TTunnelReader(std::string url)
    : FUrl(std::move(url))
{
}

TTunnelReaderStep TTunnelReader::Fail(std::string text)
{
    FStep = TTunnelReaderStep::Failed;
    FFailure = std::move(text);
    FReceived.clear();
    return FStep;
}

std::string TTunnelReader::EndText(int status, std::string_view reason, std::string_view errorText)
{
    if (status != 0 && status != 200) {
        std::string text = "HTTP " + std::to_string(status);
        if (!reason.empty())
            text += " " + std::string(reason);
        return text;
    }
    return std::string(errorText);
}

TTunnelReaderStep TTunnelReader::Feed(int status, std::string_view reason, std::string_view piece)
{
    if (FStep == TTunnelReaderStep::Failed)
        return FStep;
    if (FStep == TTunnelReaderStep::Connected) {
        FReceived.append(piece);
        return FStep;
    }
    // A proxy's error page, or any other answer, is never taken for the tunnel's first lines.
    if (status != 200)
        return Fail(EndText(status, reason, {}));
    FReceived.append(piece);
    const size_t first = FReceived.find("\r\n");
    const size_t second = first == std::string::npos ? first : FReceived.find("\r\n", first + 2);
    if (second == std::string::npos || second + 2 > TunnelHeaderLimit) {
        if (FReceived.size() >= TunnelHeaderLimit)
            return Fail("HTTP tunnel: no writer address in the first "
                + std::to_string(TunnelHeaderLimit) + " bytes");
        return FStep;
    }
    const std::string line = FReceived.substr(first + 2, second - first - 2);
    FWriterUrl = ResolveTunnelUrl(FUrl, line);
    if (FWriterUrl.empty())
        return Fail("HTTP tunnel: unusable writer address \"" + line.substr(0, 200) + "\"");
    FReceived.erase(0, second + 2);
    FStep = TTunnelReaderStep::Connected;
    return FStep;
}

std::string TTunnelReader::TakeReceived()
{
    return std::exchange(FReceived, {});
}

// ---- writer ----

void TTunnelWriter::Append(std::string_view bytes)
{
    if (FState != TUploadState::Stopped)
        FOutgoing.append(bytes);
}

bool TTunnelWriter::WantsToPost() const
{
    return FState == TUploadState::Retry || (FState == TUploadState::Idle && !FOutgoing.empty());
}

const std::string &TTunnelWriter::StartPost(TDateTime now, int32_t timeOutMs)
{
    KV_ASSERT(WantsToPost(), "TTunnelWriter.StartPost with nothing to post");
    if (FState == TUploadState::Idle) {
        const size_t size = std::min(FOutgoing.size(), TunnelChunkSize);
        FBody = TunnelPostBody(FSequence, std::string_view(FOutgoing).substr(0, size));
        FOutgoing.erase(0, size);
    }
    FHasDeadline = timeOutMs > 0;
    FDeadline = now + timeOutMs / 86400000.0;
    FState = TUploadState::Posting;
    return FBody;
}

TUploadVerdict TTunnelWriter::Finished(bool success)
{
    KV_ASSERT(FState == TUploadState::Posting, "TTunnelWriter.Finished without a POST");
    if (success) {
        FState = TUploadState::Idle;
        if (FFailures > 0)
            --FFailures;
        ++FSequence;
        FBody.clear();
        return TUploadVerdict::SendNext;
    }
    if (++FFailures < TunnelMaxFailures) {
        FState = TUploadState::Retry;
        return TUploadVerdict::Retry;
    }
    FState = TUploadState::Stopped;
    return TUploadVerdict::Close;
}

bool TTunnelWriter::Expired(TDateTime now) const
{
    return FState == TUploadState::Posting && FHasDeadline && now > FDeadline;
}

} // namespace kestrova
