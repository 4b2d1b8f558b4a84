#pragma once
// Realistic get_alerts reply bodies and the compressed byte stream a server sends for them.

#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::bench {

// One reply body: <API><DATA><WINDOW ID=...> with `alerts` ALERT elements </WINDOW></DATA>
// <RESTART LAST_ID=.../></API>. Symbols, types and values vary with the seed; some alerts lack
// some of the optional attributes, and a few descriptions carry references. With several window
// ids the alerts are shared out among them in consecutive runs (windows left without an alert
// get no element).
std::string MakeAlertsReply(
    int alerts, uint32_t seed, const std::vector<std::string> &windowIds = { "0000ABCD" });

// Attribute names an alert may carry, in the order the server writes them.
const std::vector<std::string> &AlertAttributeNames();

// Replies as they arrive on the wire: each body framed with its message id and pushed through one
// zlib stream with a sync flush after each frame. Chunks[i] are the bytes of reply i.
struct TWireReplies
{
    std::vector<std::string> Bodies;
    std::vector<std::string> Chunks;
    int AlertsPerReply = 0;
    size_t BodyBytes = 0;
};
TWireReplies MakeWireReplies(int replies, int alertsPerReply, uint32_t seed, int32_t messageId = 7,
    const std::vector<std::string> &windowIds = { "0000ABCD" });

// Reports bytes, alerts and replies per second for a benchmark that read all of wire once per
// iteration.
void SetReplyCounters(benchmark::State &state, const TWireReplies &wire);

} // namespace kestrova::bench
