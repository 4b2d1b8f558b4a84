#include "link/ZLibStreams.h"

#include <cstring>
#include <zlib.h>

namespace kestrova {

namespace {
constexpr size_t PieceSize = 4096;

std::string ZMessage(const z_stream &z, int code)
{
    if (z.msg)
        return z.msg;
    return "zlib error " + std::to_string(code);
}
} // namespace

struct TZLibCompressor::State
{
    z_stream Z {};
};

TZLibCompressor::TZLibCompressor(int level)
    : FState(std::make_unique<State>())
{
    const int rc = deflateInit(&FState->Z, level);
    if (rc != Z_OK)
        throw EZCompressionError(ZMessage(FState->Z, rc));
}

TZLibCompressor::~TZLibCompressor()
{
    deflateEnd(&FState->Z);
}

void TZLibCompressor::Write(const std::string &chunk)
{
    if (FFailed || chunk.empty())
        return;
    if (!FHeld.empty())
        Compress(FHeld, Z_NO_FLUSH);
    FHeld = chunk;
}

void TZLibCompressor::Flush()
{
    if (FFailed)
        return;
    std::string held;
    held.swap(FHeld);
    Compress(held, Z_SYNC_FLUSH);
}

void TZLibCompressor::DiscardPending()
{
    FHeld.clear();
    FOutput.clear();
}

void TZLibCompressor::Compress(const std::string &data, int flush)
{
    z_stream &z = FState->Z;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    unsigned char piece[PieceSize];
    do {
        z.next_out = piece;
        z.avail_out = PieceSize;
        const int rc = deflate(&z, flush);
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            FFailed = true;
            throw EZCompressionError(ZMessage(z, rc));
        }
        FOutput.append(reinterpret_cast<char *>(piece), PieceSize - z.avail_out);
    } while (z.avail_in > 0 || z.avail_out == 0);
}

struct TZLibDecompressor::State
{
    z_stream Z {};
};

TZLibDecompressor::TZLibDecompressor()
    : FState(std::make_unique<State>())
{
    const int rc = inflateInit(&FState->Z);
    if (rc != Z_OK)
        throw EZDecompressionError(ZMessage(FState->Z, rc));
}

TZLibDecompressor::~TZLibDecompressor()
{
    inflateEnd(&FState->Z);
}

void TZLibDecompressor::Feed(const char *data, size_t size)
{
    if (FFailed || size == 0)
        return;
    z_stream &z = FState->Z;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    z.avail_in = static_cast<uInt>(size);
    unsigned char piece[PieceSize];
    do {
        z.next_out = piece;
        z.avail_out = PieceSize;
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        if (rc == Z_STREAM_END) {
            FOutput.append(reinterpret_cast<char *>(piece), PieceSize - z.avail_out);
            if (z.avail_in > 0) {
                FFailed = true;
                throw EZDecompressionError("data after the end of the compressed stream");
            }
            return;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            FFailed = true;
            throw EZDecompressionError(ZMessage(z, rc));
        }
        FOutput.append(reinterpret_cast<char *>(piece), PieceSize - z.avail_out);
        if (rc == Z_BUF_ERROR)
            break; // no progress possible: the input is used up
    } while (z.avail_in > 0 || z.avail_out == 0);
}

} // namespace kestrova
