// Wire formats of the server conversation and the zlib streams under them.

#include "link/WireFormat.h"

#include "link/ZLibStreams.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

std::string Str(std::string_view s)
{
    std::string out;
    AppendLittleEndian32(out, static_cast<uint32_t>(s.size()));
    out.append(s);
    return out;
}

TEST(WireFormat, PreambleAndRequestBytes)
{
    EXPECT_EQ(ClientPreamble.size(), 59u);
    EXPECT_EQ(ClientPreamble.substr(0, 30), "command=set_output&mode=zlib\r\n");
    // A ping with id 3: strings, then an empty key; without an id no message_id, and pairs with
    // empty keys are skipped.
    EXPECT_EQ(EncodeRequest({ { "command", "ping" }, { "response", "1" } }, 3),
        Str("message_id") + Str("3") + Str("command") + Str("ping") + Str("response") + Str("1")
            + std::string(4, '\0'));
    EXPECT_EQ(EncodeRequest({ { "", "x" }, { "command", "" } }, 0),
        Str("command") + Str("") + std::string(4, '\0'));
}

TEST(WireFormat, RequestReaderSplitsAtEveryByte)
{
    const TMessageToServer a { { "message_id", "7" }, { "command", "login" }, { "password", "" } };
    const TMessageToServer b { { "command", "ping" } };
    const std::string bytes = EncodeRequest(a, 0) + EncodeRequest(b, 0);
    TRequestReader reader;
    std::vector<TMessageToServer> seen;
    for (char c : bytes) {
        reader.Append(&c, 1);
        TMessageToServer m;
        while (reader.Next(m))
            seen.push_back(m);
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], a);
    EXPECT_EQ(seen[1], b);
}

TEST(WireFormat, FrameReaderTakesSplitAndPackedFrames)
{
    const std::string bytes = EncodeFrame(1, "<A/>") + EncodeFrame(2, "") + EncodeFrame(3, "xyz");
    for (size_t split = 0; split <= bytes.size(); ++split) {
        TFrameReader reader;
        std::vector<std::pair<int32_t, std::string>> frames;
        auto drain = [&] {
            int32_t id;
            std::string body;
            while (reader.Next(id, body))
                frames.emplace_back(id, body);
        };
        reader.Append(bytes.substr(0, split));
        drain();
        reader.Append(bytes.substr(split));
        drain();
        ASSERT_EQ(frames.size(), 3u) << "split at " << split;
        EXPECT_EQ(frames[0], std::make_pair(1, std::string("<A/>")));
        EXPECT_EQ(frames[1], std::make_pair(2, std::string()));
        EXPECT_EQ(frames[2], std::make_pair(3, std::string("xyz")));
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(WireFormat, LargeFramesArriveWholeBetweenSmallOnes)
{
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); i += 7)
        big[i] = static_cast<char>('a' + i % 26);
    const std::string bytes = EncodeFrame(1, "<A/>") + EncodeFrame(2, big) + EncodeFrame(3, "z");
    for (size_t split : { size_t(0), size_t(13), size_t(20), size_t(100000), bytes.size() - 20,
             bytes.size() - 5, bytes.size() }) {
        TFrameReader reader;
        std::vector<std::pair<int32_t, std::string>> frames;
        for (const std::string &part : { bytes.substr(0, split), bytes.substr(split) }) {
            reader.Append(part);
            int32_t id;
            std::string body;
            while (reader.Next(id, body))
                frames.emplace_back(id, body);
        }
        ASSERT_EQ(frames.size(), 3u) << "split at " << split;
        EXPECT_EQ(frames[1].first, 2);
        EXPECT_TRUE(frames[1].second == big) << "split at " << split;
        EXPECT_EQ(frames[2], std::make_pair(3, std::string("z")));
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(WireFormat, FrameReaderRejectsNegativeAndHugeLengths)
{
    // Replies are kilobytes: a frame above 16 MiB is refused before it is buffered.
    for (uint32_t length : { 0xFFFFFFFFu, 16u * 1024 * 1024 + 1 }) {
        std::string bytes;
        AppendLittleEndian32(bytes, 1);
        AppendLittleEndian32(bytes, length);
        TFrameReader reader;
        reader.Append(bytes);
        int32_t id;
        std::string body;
        EXPECT_THROW(reader.Next(id, body), EInvalidServerData);
    }
}

TEST(ZLibStreams, SyncFlushMakesEverythingWrittenDecodable)
{
    TZLibCompressor compressor;
    TZLibDecompressor decompressor;
    std::string all;
    for (int burst = 0; burst < 3; ++burst) {
        for (int i = 0; i < 50; ++i) {
            const std::string chunk = EncodeRequest({ { "command", "ping" } }, burst * 50 + i + 1);
            all += chunk;
            compressor.Write(chunk);
        }
        compressor.Flush();
        decompressor.Feed(compressor.Output());
        compressor.Output().clear();
        EXPECT_EQ(decompressor.Output(), all);
    }
}

TEST(ZLibStreams, CorruptInputRaisesAndLaterFeedsAreIgnored)
{
    TZLibDecompressor decompressor;
    EXPECT_THROW(
        decompressor.Feed(std::string("\x78\x9c\xff\xff\xff\xff", 6)), EZDecompressionError);
    EXPECT_NO_THROW(decompressor.Feed(std::string("more")));
}

} // namespace
