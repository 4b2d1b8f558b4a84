#include "link/WireFormat.h"

#include <cstring>

namespace kestrova {

const std::string_view ClientPreamble
    = "command=set_output&mode=zlib\r\ncommand=set_input&mode=zlib\r\n";

namespace {
void AppendString(std::string &out, std::string_view s)
{
    AppendLittleEndian32(out, static_cast<uint32_t>(s.size()));
    out.append(s);
}

// Drops consumed bytes once they make up most of the buffer, so that taking many small items
// costs amortised constant time instead of one move per item.
void Compact(std::string &buffer, size_t &start)
{
    if (start == buffer.size()) {
        buffer.clear();
        start = 0;
    } else if (start > 65536 && start * 2 > buffer.size()) {
        buffer.erase(0, start);
        start = 0;
    }
}
} // namespace

void AppendLittleEndian32(std::string &out, uint32_t value)
{
    const char bytes[4] = { static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF),
        static_cast<char>(value >> 16 & 0xFF), static_cast<char>(value >> 24 & 0xFF) };
    out.append(bytes, 4);
}

uint32_t ReadLittleEndian32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

void AppendRequest(std::string &out, const TMessageToServer &message, int32_t messageId)
{
    if (messageId > 0) {
        AppendString(out, "message_id");
        AppendString(out, std::to_string(messageId));
    }
    for (const auto &field : message) {
        if (field.Key.empty())
            continue;
        AppendString(out, field.Key);
        AppendString(out, field.Value);
    }
    AppendLittleEndian32(out, 0);
}

std::string EncodeRequest(const TMessageToServer &message, int32_t messageId)
{
    std::string out;
    AppendRequest(out, message, messageId);
    return out;
}

void AppendFrame(std::string &out, int32_t messageId, std::string_view body)
{
    AppendLittleEndian32(out, static_cast<uint32_t>(messageId));
    AppendLittleEndian32(out, static_cast<uint32_t>(body.size()));
    out.append(body);
}

std::string EncodeFrame(int32_t messageId, std::string_view body)
{
    std::string out;
    AppendFrame(out, messageId, body);
    return out;
}

void TFrameReader::Append(const char *data, size_t size)
{
    Compact(FBuffer, FStart);
    FBuffer.append(data, size);
}

bool TFrameReader::Next(int32_t &messageId, std::string &body)
{
    const size_t available = FBuffer.size() - FStart;
    if (available < 8)
        return false;
    const char *p = FBuffer.data() + FStart;
    const auto length = static_cast<int32_t>(ReadLittleEndian32(p + 4));
    if (length < 0)
        throw EInvalidServerData("negative frame length " + std::to_string(length));
    if (length > MaxFrameLength)
        throw EInvalidServerData("frame length " + std::to_string(length) + " is too large");
    if (available - 8 < static_cast<size_t>(length))
        return false;
    messageId = static_cast<int32_t>(ReadLittleEndian32(p));
    const size_t end = FStart + 8 + static_cast<size_t>(length);
    if (length >= HandOverFrom) {
        // A large body takes the buffer along instead of a copy; the bytes after it (at most
        // one read's worth) start a new buffer.
        std::string rest = FBuffer.substr(end);
        body = std::move(FBuffer);
        body.resize(end);
        body.erase(0, FStart + 8);
        FBuffer = std::move(rest);
        FStart = 0;
        return true;
    }
    body.assign(p + 8, static_cast<size_t>(length));
    FStart = end;
    return true;
}

void TFrameReader::Clear()
{
    FBuffer.clear();
    FStart = 0;
}

void TRequestReader::Append(const char *data, size_t size)
{
    Compact(FBuffer, FStart);
    FBuffer.append(data, size);
}

bool TRequestReader::NotYet() const
{
    // A request that never ends must not grow the buffer without bound.
    if (Buffered() > static_cast<size_t>(MaxFrameLength))
        throw EInvalidServerData("request too long");
    return false;
}

bool TRequestReader::Next(TMessageToServer &message)
{
    // Walk the strings of one request without consuming anything until the whole request is here.
    TMessageToServer result;
    size_t pos = FStart;
    bool expectKey = true;
    for (;;) {
        if (FBuffer.size() - pos < 4)
            return NotYet();
        const uint32_t length = ReadLittleEndian32(FBuffer.data() + pos);
        if (length > static_cast<uint32_t>(MaxFrameLength))
            throw EInvalidServerData(
                "request string length " + std::to_string(length) + " is too large");
        if (FBuffer.size() - pos - 4 < length)
            return NotYet();
        std::string_view text(FBuffer.data() + pos + 4, length);
        pos += 4 + length;
        if (expectKey) {
            if (length == 0)
                break;
            result.push_back({ std::string(text), {} });
        } else {
            result.back().Value.assign(text);
        }
        expectKey = !expectKey;
    }
    FStart = pos;
    message = std::move(result);
    return true;
}

} // namespace kestrova
