// Fuzz target: the reply side of the server link. Bytes go through the inflater and the frame
// reader in pieces whose sizes the input chooses; every complete body is parsed. Only the
// link's and the parser's own exceptions may come out.

#include "FuzzTarget.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"
#include "xml/XmlNodes.h"

using namespace kestrova;

namespace {

void DrainFrames(TFrameReader &frames)
{
    int32_t id = 0;
    std::string body;
    while (frames.Next(id, body)) {
        try {
            ParseXml(body);
        } catch (const EXmlException &) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // First byte: bit 0 chooses compressed or plain frame bytes, the rest the piece size.
    const bool compressed = data[0] & 1;
    const size_t piece = 1 + (data[0] >> 1);
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const size_t length = size - 1;
    TZLibDecompressor inflater;
    TFrameReader frames;
    try {
        for (size_t at = 0; at < length; at += piece) {
            const size_t n = std::min(piece, length - at);
            if (compressed) {
                inflater.Feed(bytes + at, n);
                frames.Append(inflater.Output());
                inflater.Output().clear();
            } else {
                frames.Append(bytes + at, n);
            }
            DrainFrames(frames);
        }
    } catch (const EZDecompressionError &) {
    } catch (const EInvalidServerData &) {
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    const std::string plain = EncodeFrame(1, "<API><STATUS SHORT_FORM=\"ok\"/></API>")
        + EncodeFrame(2, "") + EncodeFrame(0, "<A>x</A>") + EncodeFrame(-5, "<B/>");
    TZLibCompressor compressor;
    compressor.Write(EncodeFrame(3,
        "<API><DATA><WINDOW ID=\"1\"><ALERT SYMBOL=\"A\"/></WINDOW>"
        "</DATA></API>"));
    compressor.Flush();
    compressor.Write(EncodeFrame(4, "<API/>"));
    compressor.Flush();
    const std::string deflated = compressor.Output();
    return {
        std::string(1, '\x00') + plain, // plain, one byte at a time
        std::string(1, '\x0e') + plain, // plain, pieces of 8
        std::string(1, '\x01') + deflated,
        std::string(1, '\xff') + deflated,
        std::string(1, '\x00') + std::string("\x01\x00\x00\x00\xff\xff\xff\xff", 8),
    };
}
