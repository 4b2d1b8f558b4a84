#pragma once
// The server's end of one client connection for tests: requests read from the client's bytes
// (the preamble first) and replies compressed into frames.

#include "link/WireFormat.h"
#include "link/ZLibStreams.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace kvtest {

struct ServerEnd
{
    // The requests completed by bytes, the client's next bytes; the first call checks and skips
    // the preamble.
    std::vector<kestrova::TMessageToServer> Requests(const std::string &bytes)
    {
        size_t from = 0;
        if (!std::exchange(PreambleSeen, true)) {
            EXPECT_EQ(bytes.substr(0, kestrova::ClientPreamble.size()), kestrova::ClientPreamble);
            from = kestrova::ClientPreamble.size();
        }
        Inflate.Feed(bytes.substr(from));
        Reader.Append(std::exchange(Inflate.Output(), {}));
        std::vector<kestrova::TMessageToServer> result;
        for (kestrova::TMessageToServer m; Reader.Next(m);)
            result.push_back(m);
        return result;
    }
    std::string Reply(const std::string &frames)
    {
        Deflate.Write(frames);
        Deflate.Flush();
        return std::exchange(Deflate.Output(), {});
    }

    bool PreambleSeen = false;
    kestrova::TZLibDecompressor Inflate;
    kestrova::TRequestReader Reader;
    kestrova::TZLibCompressor Deflate;
};

} // namespace kvtest
