#include "link/TalkWithServer.h"

#include "link/HttpTunnels.h"
#include "link/SocketServerConnections.h"
#include "support/DebugLog.h"

#include <charconv>
#include <clocale>
#include <strings.h>

namespace kestrova {

namespace {
const char *const DataLocation = "TalkWithServer, TTalkWithServer.ServerConnectionDataAvailable";
// Compressed input is inflated in pieces of this size, frames being taken between pieces, so
// that a small burst cannot inflate into an unbounded buffer.
constexpr size_t InflatePiece = 16384;

std::string DecimalSeparator()
{
    const lconv *conv = std::localeconv();
    return conv && conv->decimal_point && *conv->decimal_point ? conv->decimal_point : ".";
}

std::string ReplaceDots(const std::string &text, const std::string &separator)
{
    std::string result;
    for (char c : text)
        if (c == '.')
            result += separator;
        else
            result += c;
    return result;
}

// Calls a reply callback; an escaping exception is reported and never reaches the caller.
template<typename F>
void DeliverGuarded(const char *where, const TMessageToServer &message, F &&deliver)
{
    try {
        deliver();
    } catch (const std::exception &e) {
        ReportException(e, std::string(where) + DescribeMessage(message));
    } catch (...) {
        ReportUnknownException(std::string(where) + DescribeMessage(message));
    }
}
} // namespace

namespace {
// A decimal number as servers write it: an optional sign, digits with an optional "." and
// fraction (at least one digit in all), and an optional exponent. Nothing else: no blanks, no
// "nan" or "inf", no hexadecimal, and "." whatever the locale.
bool IsPlainDecimal(std::string_view text)
{
    size_t i = 0, digits = 0;
    auto skipDigits = [&] {
        const size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    digits += skipDigits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits += skipDigits();
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (skipDigits() == 0)
            return false;
    }
    return i == text.size();
}
} // namespace

double ServerStrToFloat(std::string_view text)
{
    double value = 0;
    if (IsPlainDecimal(text)) {
        const std::string_view number = text[0] == '+' ? text.substr(1) : text;
        const auto [end, error]
            = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error == std::errc() && end == number.data() + number.size())
            return value;
    }
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

std::string FloatToText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ReplaceDots(std::string(buffer, result.ptr), DecimalSeparator());
}

std::string DescribeMessage(const TMessageToServer &message)
{
    std::string result = "(";
    for (size_t i = 0; i < message.size(); ++i) {
        if (i > 0)
            result += ", ";
        const bool secret = strcasecmp(message[i].Key.c_str(), "password") == 0;
        result += "\"" + message[i].Key + "\" --> \"" + (secret ? "***" : message[i].Value) + "\"";
    }
    return result + ")";
}

TTalkWithServer::TConnectionFactory TTalkWithServer::TunnelFactory
    = [](const TConnectionSettings &settings, const std::string &, const std::string &) {
          return std::make_unique<THttpTunnel>(settings.TunnelUrl);
      };

TTalkWithServer::TTalkWithServer(TWakeFactory wakes)
    : FWake(WakeFactoryOrLoop(std::move(wakes))())
    , FErrorText("Unable to connect to server.")
{
    FWake->OnWake = [this] { Flush(); };
    SendRaw(std::string(ClientPreamble));
}

TTalkWithServer::~TTalkWithServer()
{
    if (FState != TChannelState::Closed)
        RunGuarded("TalkWithServer, TTalkWithServer.Destroy", [this] { ConnectionLost(); });
    *FAlive = false;
    DetachConnection();
    FConnection.reset();
}

void TTalkWithServer::Close()
{
    if (FState == TChannelState::Closed)
        return;
    // The connection is told to close without reporting back; the close sequence runs now.
    DetachConnection();
    if (FConnection)
        FConnection->Close();
    ConnectionLost();
}

void TTalkWithServer::DetachConnection()
{
    if (!FConnection)
        return;
    FConnection->OnSessionClosed = nullptr;
    FConnection->OnSessionConnected = nullptr;
    FConnection->OnDataAvailable = nullptr;
    FConnection->OnDebugMessage = nullptr;
}

void TTalkWithServer::SplitServerAddress(
    const std::string &address, std::string &host, std::string &port)
{
    const size_t colon = address.find(':');
    if (colon == std::string::npos) {
        host = address;
        port = "8888";
    } else {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
}

void TTalkWithServer::SendMessage(const TMessageToServer &message, bool persistent,
    TMessageHandle &handle, TServerResponseEvent callback)
{
    if (FState == TChannelState::Closed || IsEmptyMessage(message)) {
        handle = {};
        if (callback)
            SendErrorResponse(message, persistent, callback);
        return;
    }
    handle = callback ? FPending.Add(message, std::move(callback), persistent) : TMessageHandle {};
    FCompressor.Write(EncodeRequest(message, handle.Id));
    FWake->RequestWake();
}

void TTalkWithServer::ForgetMessage(const TMessageHandle &handle)
{
    FPending.Forget(handle);
}

void TTalkWithServer::Flush()
{
    FCompressor.Flush();
    std::string output;
    output.swap(FCompressor.Output());
    SendRaw(output);
}

void TTalkWithServer::SendRaw(const std::string &bytes)
{
    if (bytes.empty())
        return;
    if (FState == TChannelState::New)
        FHeldOutput += bytes;
    else if (FState == TChannelState::Connected) {
        FBytesSent += bytes.size();
        FConnection->Send(bytes);
    }
}

void TTalkWithServer::Connect()
{
    KV_ASSERT(FState == TChannelState::New && !FConnection, "TTalkWithServer.Connect: not New");
    std::string host, port;
    SplitServerAddress(Settings.ServerAddress, host, port);
    TConnectionFactory factory = CreateConnection;
    if (!factory && Settings.UseTunnel)
        factory = TunnelFactory;
    if (!factory && !Settings.UseTunnel)
        factory = [](const TConnectionSettings &, const std::string &h, const std::string &p) {
            return std::make_unique<TSocketServerConnection>(h, p);
        };
    if (!factory) {
        FErrorText = "The HTTP tunnel is not available in this build.";
        ConnectionLost();
        return;
    }
    FConnection = factory(Settings, host, port);
    KV_ASSERT(FConnection != nullptr, "TTalkWithServer.Connect: no connection");

    // Each event copies the life token first: a handler may end with this channel destroyed.
    auto alive = FAlive;
    FConnection->OnSessionClosed = [this, alive](TGenericServerConnection &) {
        auto token = alive;
        RunGuarded("TalkWithServer, TTalkWithServer.ConnectionLost", [&] {
            if (*token)
                ConnectionLost();
        });
    };
    FConnection->OnSessionConnected = [this, alive](TGenericServerConnection &) {
        auto token = alive;
        RunGuarded("TalkWithServer, TTalkWithServer.Connected", [&] {
            if (*token)
                Connected();
        });
    };
    FConnection->OnDataAvailable = [this, alive](TGenericServerConnection &) {
        auto token = alive;
        RunGuarded(DataLocation, [&] {
            if (*token)
                ServerConnectionDataAvailable();
        });
    };
    FConnection->OnDebugMessage
        = [this, alive](TGenericServerConnection &, const std::string &text) {
              if (*alive && OnStatusText)
                  OnStatusText(text);
          };

    if (Settings.SocksLevel == 4 || Settings.SocksLevel == 5) {
        FConnection->SocksServer = Settings.SocksServer;
        FConnection->SocksPort = std::to_string(Settings.SocksPort);
        FConnection->SocksUsername = Settings.SocksUsername;
        FConnection->SocksPassword = Settings.SocksPassword;
        FConnection->SocksLevel = std::to_string(Settings.SocksLevel);
    }
    FConnection->HttpProxyUsername = Settings.HttpProxyUsername;
    FConnection->HttpProxyPassword = Settings.HttpProxyPassword;
    FConnection->HttpProxyHost = Settings.HttpProxyHost;
    FConnection->HttpProxyPort = Settings.HttpProxyPort;
    FConnection->WriteTimeOut = Settings.HttpTimeLimit;

    FErrorText.clear();
    const bool started = FConnection->Connect();
    if (!*alive)
        return;
    if (FState == TChannelState::Closed) {
        // Failed at once: ConnectionLost already took the connection's explanation.
        if (!started && !FConnection->ErrorMessage.empty())
            FErrorText = FConnection->ErrorMessage;
        return;
    }
    if (started) {
        FErrorText = "Error in server connection.";
        return;
    }
    // Failed without reporting the close: close here so the owner hears of it.
    FErrorText = FConnection->ErrorMessage;
    ConnectionLost();
}

void TTalkWithServer::Connected()
{
    if (FState != TChannelState::New)
        return;
    FErrorText = "Unexpected disconnect from server.";
    FState = TChannelState::Connected;
    if (!FHeldOutput.empty()) {
        std::string held;
        held.swap(FHeldOutput);
        FBytesSent += held.size();
        FConnection->Send(held);
    }
    if (OnConnected)
        OnConnected();
}

void TTalkWithServer::ConnectionLost()
{
    if (FState == TChannelState::Closed)
        return;
    // A failure before the connection came up carries the connection's own explanation (name
    // resolution, SOCKS); it is in ErrorText before anyone hears of the close.
    if (FState == TChannelState::New && FConnection && !FConnection->ErrorMessage.empty())
        FErrorText = FConnection->ErrorMessage;
    else if (FConnection && !FConnection->SystemReason.empty() && !FErrorText.empty())
        FErrorText += " (" + FConnection->SystemReason + ")"; // our words, then the system's
    if (FErrorText.empty())
        FErrorText = "Unable to connect to server.";
    FState = TChannelState::Closed;
    FHeldOutput.clear();
    FCompressor.DiscardPending();
    auto alive = FAlive;
    if (OnDisconnected) {
        auto handler = OnDisconnected;
        handler();
        if (!*alive)
            return;
    }
    for (size_t i = 0; i < FPending.Length(); ++i) {
        const TPendingRequest &slot = FPending.Slot(i);
        if (!slot.Callback)
            continue;
        const TServerResponseEvent callback = slot.Callback;
        const TMessageToServer message = slot.Message;
        SendErrorResponse(message, slot.Persistent, callback);
        if (!*alive)
            return;
    }
    FPending.Clear();
}

void TTalkWithServer::SendErrorResponse(
    const TMessageToServer &message, bool persistent, const TServerResponseEvent &callback)
{
    auto alive = FAlive;
    DeliverGuarded("TTalkWithServer.SendErrorResponse, ", message, [&] {
        if (OnResponse && !persistent) {
            auto handler = OnResponse;
            handler(false, {}, message);
        }
        if (*alive)
            callback(false, {}, message);
    });
}

void TTalkWithServer::SendGoodResponse(int32_t id, const std::string &body)
{
    TServerResponseEvent callback;
    TMessageToServer message;
    if (!FPending.TakeForReply(id, callback, message) || !callback)
        return;
    auto alive = FAlive;
    DeliverGuarded("TTalkWithServer.SendGoodResponse, ", message, [&] {
        if (OnResponse) {
            auto handler = OnResponse;
            handler(true, body, message);
        }
        if (*alive)
            callback(true, body, message);
    });
}

void TTalkWithServer::InvalidData(const std::exception &e)
{
    FInvalidData = true;
    FErrorText = std::string("Invalid data from server: ") + e.what();
    ReportException(e, DataLocation);
    FConnection->Close(); // the close arrives as OnSessionClosed
}

void TTalkWithServer::ServerConnectionDataAvailable()
{
    if (FInvalidData || !FConnection)
        return;
    auto alive = FAlive;
    std::string raw;
    try {
        FConnection->ReadAll(raw);
    } catch (const std::exception &e) {
        InvalidData(e);
        return;
    }
    FBytesReceived += raw.size();
    for (size_t pos = 0; pos < raw.size(); pos += InflatePiece) {
        try {
            FDecompressor.Feed(raw.data() + pos, std::min(InflatePiece, raw.size() - pos));
            FFrames.Append(FDecompressor.Output());
            FDecompressor.Output().clear();
        } catch (const std::exception &e) {
            InvalidData(e);
            if (!*alive)
                return;
        }
        // Frames decoded before a failure are still delivered.
        if (!ProcessFrames(alive) || FInvalidData)
            return;
    }
}

bool TTalkWithServer::ProcessFrames(const std::shared_ptr<bool> &alive)
{
    int32_t id = 0;
    std::string body;
    while (FState != TChannelState::Closed) {
        try {
            if (!FFrames.Next(id, body))
                return true;
        } catch (const std::exception &e) {
            InvalidData(e);
            return *alive;
        }
        SendGoodResponse(id, body);
        if (!*alive)
            return false;
    }
    return true;
}

} // namespace kestrova
