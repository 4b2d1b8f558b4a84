#pragma once
// A minimal client of the alert protocol for tests and the load generator: a QTcpSocket that
// sends the preamble and compressed requests, and collects the reply frames it decodes.
// Runs on the calling thread's Qt loop (the waits process events).

#include "link/Messages.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"

#include <QTcpSocket>
#include <deque>
#include <functional>
#include <string>

namespace kvtest {

class RawServerClient
{
public:
    struct Frame
    {
        int32_t Id = 0;
        std::string Body;
    };

    RawServerClient();
    ~RawServerClient();

    // Connects to 127.0.0.1:port and sends the preamble (unless sendPreamble is false).
    bool Connect(quint16 port, bool sendPreamble = true, int timeoutMs = 5000);
    // Sends a request; with expectReply it carries a fresh message id, which is returned.
    int32_t Send(const kestrova::TMessageToServer &message, bool expectReply = true);
    // Compresses bytes of encoded requests (whole or a part) into the stream and sends them.
    void SendPlain(const std::string &bytes);
    // Writes bytes to the socket as they are (no compression).
    void SendRaw(const std::string &bytes);
    void Close();

    // Waits for the next frame with that id and takes it; false on time-out.
    bool WaitFrame(int32_t id, std::string &body, int timeoutMs = 5000);
    // Sends and waits for the first reply.
    std::string Call(const kestrova::TMessageToServer &message, int timeoutMs = 5000);
    bool WaitDisconnected(int timeoutMs = 5000);
    // Decoding failed (corrupt stream or frame); the text says why.
    const std::string &DecodeError() const { return FDecodeError; }

    // When set, frames go to this handler instead of the queue.
    std::function<void(const Frame &)> OnFrame;
    std::deque<Frame> Frames;
    uint64_t BytesReceived = 0;

private:
    void ReadAvailable();

    QTcpSocket FSocket;
    kestrova::TZLibCompressor FDeflate;
    kestrova::TZLibDecompressor FInflate;
    kestrova::TFrameReader FFrames;
    int32_t FNextId = 1;
    bool FDisconnected = false;
    std::string FDecodeError;
};

// The value of an attribute in an XML text: the first NAME="..." after the first occurrence of
// element (empty element: the first in the text); entities are decoded. "" when absent.
std::string XmlAttribute(
    const std::string &xml, const std::string &element, const std::string &name);
// The encoded start of a request ("message_id" = id, "command" = "set_config_info", then a
// "long_form" announced one byte longer than the `bytes` that follow): it never ends by itself.
std::string UnfinishedRequest(int32_t id, size_t bytes);
// How many elements with that tag the text holds.
int CountElements(const std::string &xml, const std::string &tag);

} // namespace kvtest
