// Peak memory of one hostile reply: a compressed get_alerts reply that fills the decompressed
// frame cap with tiny elements, pushed through the request channel into the session, which parses
// it, reads its alerts and hands them to a window's alert list. One shape per run, since the peak
// is the process's high-water mark:
//
//   kv_frame_peak a|alert|deep|attrs|wide|parts
//
//   a      <a/> siblings in a window's part
//   alert  <ALERT/> siblings in a window's part
//   deep   <a> nested as deep as the frame allows, in a window's part
//   attrs  <a b="" c="" d="" e=""/> siblings in a window's part
//   wide   one element in a window's part with as many attributes as fit
//   parts  <ALERT/> siblings directly under DATA (each one a window's part)
//
// Prints the compressed size, the frame size, the high-water mark of resident memory before the
// frame and after it (VmHWM), and the time the library took. Run it under /usr/bin/time -v for an
// outside view of the same peak.

#include "alerts/AlertLists.h"
#include "link/SocketServerConnections.h"
#include "link/TalkWithServer.h"
#include "link/WireFormat.h"
#include "session/GetAlertData.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <zlib.h>

using namespace kestrova;

namespace {

// A connection that is connected at once and reads whatever is pushed.
class TPeakConnection : public TGenericServerConnection
{
public:
    bool Connect() override { return true; }
    void Send(const std::string &) override { }
    void Close() override { }
    void ReadAll(std::string &bytes) override { bytes.swap(FPending); }
    void Push(std::string bytes)
    {
        FPending = std::move(bytes);
        OnDataAvailable(*this);
    }

private:
    std::string FPending;
};

// A reply body told as prefix, a unit repeated, and suffix (with the same number of closing tags
// as opening ones for the deep shape), sized to fill the frame cap.
struct TShape
{
    std::string Prefix, Unit, Close, Suffix;
    size_t Count = 0;
    size_t Size() const
    {
        return Prefix.size() + Count * (Unit.size() + Close.size()) + Suffix.size();
    }
};

TShape MakeShape(const std::string &name, const std::string &windowId)
{
    const std::string part = "<API><DATA><WINDOW ID=\"" + windowId + "\">";
    const std::string partEnd = "</WINDOW></DATA></API>";
    TShape s;
    if (name == "a")
        s = { part, "<a/>", "", partEnd };
    else if (name == "alert")
        s = { part, "<ALERT/>", "", partEnd };
    else if (name == "deep")
        s = { part, "<a>", "</a>", partEnd };
    else if (name == "attrs")
        s = { part, "<a b=\"\" c=\"\" d=\"\" e=\"\"/>", "", partEnd };
    else if (name == "wide")
        s = { part + "<a", " b=\"\"", "", "/>" + partEnd };
    else if (name == "parts")
        s = { "<API><DATA>", "<ALERT/>", "", "</DATA></API>" };
    else
        return s;
    s.Count = (size_t(MaxFrameLength) - s.Prefix.size() - s.Suffix.size())
        / (s.Unit.size() + s.Close.size());
    return s;
}

// The frame for the body, compressed as one sync-flushed run of the server's zlib stream; the
// body itself is never held whole.
std::string CompressedFrame(const TShape &shape, int32_t messageId)
{
    z_stream z {};
    deflateInit(&z, Z_DEFAULT_COMPRESSION);
    std::string out;
    char buffer[1 << 16];
    const auto feed = [&](const std::string &data, int flush) {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    };
    std::string header;
    AppendLittleEndian32(header, static_cast<uint32_t>(messageId));
    AppendLittleEndian32(header, static_cast<uint32_t>(shape.Size()));
    feed(header + shape.Prefix, Z_NO_FLUSH);
    const auto repeat = [&](const std::string &unit) {
        std::string run;
        for (size_t i = 0; i < 4096; ++i)
            run += unit;
        size_t left = shape.Count;
        for (; left >= 4096; left -= 4096)
            feed(run, Z_NO_FLUSH);
        feed(run.substr(0, left * unit.size()), Z_NO_FLUSH);
    };
    repeat(shape.Unit);
    if (!shape.Close.empty())
        repeat(shape.Close);
    feed(shape.Suffix, Z_SYNC_FLUSH);
    deflateEnd(&z);
    return out;
}

long StatusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::string shapeName = argc > 1 ? argv[1] : "";

    TPeakConnection *connection = nullptr;
    TTalkWithServer *channel = nullptr;
    TAllAlertsConnection session([&] {
        auto made = std::make_unique<TTalkWithServer>();
        made->CreateConnection
            = [&](const TConnectionSettings &, const std::string &, const std::string &) {
                  auto c = std::make_unique<TPeakConnection>();
                  connection = c.get();
                  return c;
              };
        channel = made.get();
        return made;
    });
    session.SetServerAddress("peak:8888");
    session.SetUsername("peak");
    TAlertWindowConnection window(session);
    TSortableAlertList list;
    size_t delivered = 0;
    window.OnAlerts = [&](const TAlertRecords &records, bool isHistory) {
        delivered += records.size();
        list.AddAlerts(records, isHistory);
    };

    const TShape shape = MakeShape(shapeName, window.WindowId());
    if (shape.Count == 0) {
        std::fprintf(stderr, "usage: %s a|alert|deep|attrs|wide|parts\n", argv[0]);
        return 2;
    }

    // A link with the window subscribed and a poll outstanding.
    session.Restart();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    if (!connection) {
        std::fprintf(stderr, "no link was made\n");
        return 1;
    }
    connection->OnSessionConnected(*connection);
    QCoreApplication::processEvents();
    int32_t pollId = 0;
    const TPendingRequests &pending = channel->Pending();
    for (size_t i = 0; i < pending.Length() && pollId == 0; ++i)
        for (const TMessageField &f : pending.Slot(i).Message)
            if (f.Key == "command" && f.Value == "get_alerts")
                pollId = static_cast<int32_t>(i + 1);
    if (pollId == 0) {
        std::fprintf(stderr, "no poll outstanding\n");
        return 1;
    }

    std::string compressed = CompressedFrame(shape, pollId);
    const size_t compressedSize = compressed.size();
    const long before = StatusKb("VmHWM:");
    const auto start = std::chrono::steady_clock::now();
    connection->Push(std::move(compressed));
    const auto took = std::chrono::steady_clock::now() - start;
    const long after = StatusKb("VmHWM:");

    std::printf("shape %s: %zu elements, %zu compressed bytes -> frame of %zu bytes\n",
        shapeName.c_str(), shape.Count, compressedSize, shape.Size());
    std::printf("alerts delivered %zu; peak resident %.1f MB (%.1f MB before the frame, %.1f MB "
                "added); %.0f ms\n",
        delivered, after / 1024.0, before / 1024.0, (after - before) / 1024.0,
        std::chrono::duration<double, std::milli>(took).count());
    return 0;
}
