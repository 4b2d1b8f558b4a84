#pragma once
// One zlib stream per direction of the server conversation. Sans-I/O: bytes in, bytes out.

#include "support/Exceptions.h"

#include <memory>
#include <string>

namespace kestrova {

KV_DECLARE_EXCEPTION(EZCompressionError, Exception);
KV_DECLARE_EXCEPTION(EZDecompressionError, Exception);

// Deflate stream (zlib framing, window 15). The most recent chunk is held back so that a burst
// of writes is compressed together; Flush compresses it with a sync flush, so the peer can
// decode everything written so far.
class TZLibCompressor
{
public:
    explicit TZLibCompressor(int level = -1);
    ~TZLibCompressor();
    TZLibCompressor(const TZLibCompressor &) = delete;
    TZLibCompressor &operator=(const TZLibCompressor &) = delete;

    void Write(const std::string &chunk);
    void Flush();
    // Compressed bytes produced so far; the caller takes them and clears.
    std::string &Output() { return FOutput; }
    // Drops the held chunk and the pending output (the connection is gone).
    void DiscardPending();

private:
    void Compress(const std::string &data, int flush);
    struct State;
    std::unique_ptr<State> FState;
    std::string FHeld;
    std::string FOutput;
    bool FFailed = false;
};

// Inflate stream: Feed appends everything that the input decodes to Output.
class TZLibDecompressor
{
public:
    TZLibDecompressor();
    ~TZLibDecompressor();
    TZLibDecompressor(const TZLibDecompressor &) = delete;
    TZLibDecompressor &operator=(const TZLibDecompressor &) = delete;

    void Feed(const char *data, size_t size);
    void Feed(const std::string &data) { Feed(data.data(), data.size()); }
    std::string &Output() { return FOutput; }

private:
    struct State;
    std::unique_ptr<State> FState;
    std::string FOutput;
    bool FFailed = false;
};

} // namespace kestrova
