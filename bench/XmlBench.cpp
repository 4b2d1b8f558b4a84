// Reading get_alerts replies: inflating and splitting frames, then parsing with our message tree
// and, for comparison, with pugixml's DOM, each reading every attribute of every alert.

#include "AlertReplies.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"
#include "xml/XmlNodes.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <map>
#include <pugixml.hpp>

using namespace kestrova;
using namespace kestrova::bench;

namespace {

// Enough replies per iteration that the small ones are not dominated by loop overhead.
constexpr int ReplyBatchAlerts = 2000;

const TWireReplies &Replies(int alertsPerReply)
{
    static std::map<int, TWireReplies> cache;
    auto it = cache.find(alertsPerReply);
    if (it == cache.end()) {
        const int replies = std::max(4, ReplyBatchAlerts / alertsPerReply);
        it = cache.emplace(alertsPerReply, MakeWireReplies(replies, alertsPerReply, 42)).first;
    }
    return it->second;
}

void BM_InflateAndSplitFrames(benchmark::State &state)
{
    const TWireReplies &wire = Replies(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TZLibDecompressor inflater;
        TFrameReader frames;
        int32_t id = 0;
        std::string body;
        size_t bytes = 0;
        for (const std::string &chunk : wire.Chunks) {
            inflater.Feed(chunk);
            frames.Append(inflater.Output());
            inflater.Output().clear();
            while (frames.Next(id, body))
                bytes += body.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    SetReplyCounters(state, wire);
}

void BM_ParseXmlReadAlerts(benchmark::State &state)
{
    const TWireReplies &wire = Replies(static_cast<int>(state.range(0)));
    const auto &names = AlertAttributeNames();
    for (auto _ : state) {
        size_t seen = 0;
        for (const std::string &body : wire.Bodies) {
            const PXmlNode root = ParseXml(body);
            const PXmlNode data = NodeAtPath(root, { 0, "DATA" });
            for (int w = 0; w < data->ChildCount(); ++w) {
                const PXmlNode window = data->Child(w);
                seen += window->Attribute("ID").size();
                for (int a = 0; a < window->ChildCount(); ++a) {
                    const PXmlNode alert = window->Child(a);
                    for (const std::string &name : names)
                        seen += alert->Attribute(name).size();
                }
            }
            seen += AttributeAtPath(root, { 0, "RESTART" }, "", "LAST_ID").size();
        }
        benchmark::DoNotOptimize(seen);
    }
    SetReplyCounters(state, wire);
}

void BM_PugixmlReadAlerts(benchmark::State &state)
{
    const TWireReplies &wire = Replies(static_cast<int>(state.range(0)));
    const auto &names = AlertAttributeNames();
    for (auto _ : state) {
        size_t seen = 0;
        for (const std::string &body : wire.Bodies) {
            pugi::xml_document doc;
            doc.load_buffer(body.data(), body.size());
            const pugi::xml_node api = doc.first_child();
            for (pugi::xml_node window : api.child("DATA").children()) {
                seen += std::strlen(window.attribute("ID").value());
                for (pugi::xml_node alert : window.children())
                    for (const std::string &name : names)
                        seen += std::strlen(alert.attribute(name.c_str()).value());
            }
            seen += std::strlen(api.child("RESTART").attribute("LAST_ID").value());
        }
        benchmark::DoNotOptimize(seen);
    }
    SetReplyCounters(state, wire);
}

} // namespace

BENCHMARK(BM_InflateAndSplitFrames)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_ParseXmlReadAlerts)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_PugixmlReadAlerts)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);
