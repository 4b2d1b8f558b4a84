#include "RawServerClient.h"

#include "QtLoop.h"

#include <QHostAddress>
#include <algorithm>

namespace kvtest {

RawServerClient::RawServerClient()
{
    QObject::connect(&FSocket, &QTcpSocket::readyRead, [this] { ReadAvailable(); });
    QObject::connect(&FSocket, &QTcpSocket::disconnected, [this] {
        ReadAvailable(); // the last bytes may arrive together with the close
        FDisconnected = true;
    });
}

RawServerClient::~RawServerClient()
{
    QObject::disconnect(&FSocket, nullptr, nullptr, nullptr);
    FSocket.abort();
}

bool RawServerClient::Connect(quint16 port, bool sendPreamble, int timeoutMs)
{
    FSocket.connectToHost(QHostAddress::LocalHost, port);
    // (A server may close the connection before it is seen as connected.)
    RunUntil(
        [this] {
            return FDisconnected || FSocket.state() == QAbstractSocket::ConnectedState
                || FSocket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
    if (FSocket.state() != QAbstractSocket::ConnectedState)
        return false;
    if (sendPreamble)
        SendRaw(std::string(kestrova::ClientPreamble));
    return true;
}

int32_t RawServerClient::Send(const kestrova::TMessageToServer &message, bool expectReply)
{
    const int32_t id = expectReply ? FNextId++ : 0;
    SendPlain(kestrova::EncodeRequest(message, id));
    return id;
}

void RawServerClient::SendPlain(const std::string &bytes)
{
    FDeflate.Write(bytes);
    FDeflate.Flush();
    SendRaw(FDeflate.Output());
    FDeflate.Output().clear();
}

void RawServerClient::SendRaw(const std::string &bytes)
{
    FSocket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    FSocket.flush();
}

void RawServerClient::Close()
{
    FSocket.abort();
    FDisconnected = true;
}

void RawServerClient::ReadAvailable()
{
    const QByteArray bytes = FSocket.readAll();
    BytesReceived += static_cast<uint64_t>(bytes.size());
    if (!FDecodeError.empty())
        return;
    try {
        FInflate.Feed(bytes.constData(), static_cast<size_t>(bytes.size()));
        FFrames.Append(FInflate.Output());
        FInflate.Output().clear();
        Frame frame;
        while (FFrames.Next(frame.Id, frame.Body)) {
            if (OnFrame)
                OnFrame(frame);
            else
                Frames.push_back(frame);
        }
    } catch (const std::exception &e) {
        FDecodeError = e.what();
    }
}

bool RawServerClient::WaitFrame(int32_t id, std::string &body, int timeoutMs)
{
    const auto match = [&] {
        return std::find_if(
            Frames.begin(), Frames.end(), [&](const Frame &f) { return f.Id == id; });
    };
    if (!RunUntil([&] { return match() != Frames.end(); }, timeoutMs))
        return false;
    const auto it = match();
    body = std::move(it->Body);
    Frames.erase(it);
    return true;
}

std::string RawServerClient::Call(const kestrova::TMessageToServer &message, int timeoutMs)
{
    std::string body;
    if (!WaitFrame(Send(message), body, timeoutMs))
        return "(no reply)";
    return body;
}

bool RawServerClient::WaitDisconnected(int timeoutMs)
{
    return RunUntil([this] { return FDisconnected; }, timeoutMs);
}

std::string XmlAttribute(
    const std::string &xml, const std::string &element, const std::string &name)
{
    size_t from = 0;
    if (!element.empty()) {
        from = xml.find("<" + element);
        if (from == std::string::npos)
            return {};
    }
    const size_t tagEnd = xml.find('>', from);
    const size_t at = xml.find(" " + name + "=\"", from);
    if (at == std::string::npos || (!element.empty() && at > tagEnd))
        return {};
    const size_t start = at + name.size() + 3;
    const size_t end = xml.find('"', start);
    std::string value = xml.substr(start, end - start);
    const std::pair<const char *, const char *> entities[] = { { "&lt;", "<" }, { "&gt;", ">" },
        { "&quot;", "\"" }, { "&apos;", "'" }, { "&amp;", "&" } };
    for (const auto &[from2, to] : entities)
        for (size_t p; (p = value.find(from2)) != std::string::npos;)
            value.replace(p, std::string(from2).size(), to);
    return value;
}

std::string UnfinishedRequest(int32_t id, size_t bytes)
{
    std::string plain;
    const std::string texts[]
        = { "message_id", std::to_string(id), "command", "set_config_info", "long_form" };
    for (const std::string &text : texts) {
        kestrova::AppendLittleEndian32(plain, static_cast<uint32_t>(text.size()));
        plain += text;
    }
    kestrova::AppendLittleEndian32(plain, static_cast<uint32_t>(bytes + 1));
    plain.append(bytes, 'a');
    return plain;
}

int CountElements(const std::string &xml, const std::string &tag)
{
    int count = 0;
    for (size_t p = 0; (p = xml.find("<" + tag, p)) != std::string::npos; p += tag.size() + 1) {
        const char next = p + tag.size() + 1 < xml.size() ? xml[p + tag.size() + 1] : '\0';
        if (next == ' ' || next == '>' || next == '/')
            ++count;
    }
    return count;
}

} // namespace kvtest
