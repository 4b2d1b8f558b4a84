#pragma once
// The byte formats of the server conversation, free of I/O so they are tested with plain bytes.
//   client -> server: the plain preamble, then (inside one zlib stream) requests, each a run of
//                     strings (4-byte little-endian length + bytes) ending with an empty key;
//   server -> client: (inside one zlib stream) frames of message id, body length, body.

#include "link/Messages.h"
#include "support/Exceptions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// Malformed bytes from the peer. The message is a short reason.
KV_DECLARE_EXCEPTION(EInvalidServerData, Exception);

// The first bytes a client sends, uncompressed.
extern const std::string_view ClientPreamble;

// Frames and request strings longer than this are rejected as invalid data. Replies are kilobytes;
// the cap bounds what one small compressed frame can make the reader build.
constexpr int32_t MaxFrameLength = 16 * 1024 * 1024;

void AppendLittleEndian32(std::string &out, uint32_t value);
uint32_t ReadLittleEndian32(const char *p);

// One request: "message_id" and the id first when messageId > 0, then every pair whose key is
// not empty, then the empty key.
std::string EncodeRequest(const TMessageToServer &message, int32_t messageId);
void AppendRequest(std::string &out, const TMessageToServer &message, int32_t messageId);

// One reply frame (the server's side).
std::string EncodeFrame(int32_t messageId, std::string_view body);
void AppendFrame(std::string &out, int32_t messageId, std::string_view body);

// Splits decompressed reply bytes into frames. Raises EInvalidServerData for a negative or
// oversized length; never reads outside its buffer nor reserves the announced length. A large
// frame's body is handed over with the buffer rather than copied.
class TFrameReader
{
public:
    void Append(const char *data, size_t size);
    void Append(const std::string &data) { Append(data.data(), data.size()); }
    // Takes the next complete frame; false when none is complete yet.
    bool Next(int32_t &messageId, std::string &body);
    size_t Buffered() const { return FBuffer.size() - FStart; }
    void Clear();

private:
    static constexpr int32_t HandOverFrom = 64 * 1024;
    std::string FBuffer;
    size_t FStart = 0;
};

// Splits decompressed request bytes into requests (the server's side). The "message_id" pair
// is kept in the message as sent. Raises EInvalidServerData for an oversized string.
class TRequestReader
{
public:
    void Append(const char *data, size_t size);
    void Append(const std::string &data) { Append(data.data(), data.size()); }
    bool Next(TMessageToServer &message);
    size_t Buffered() const { return FBuffer.size() - FStart; }

private:
    bool NotYet() const;
    std::string FBuffer;
    size_t FStart = 0;
};

} // namespace kestrova
