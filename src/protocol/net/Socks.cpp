#include "net/Socks.h"

#include <utility>

namespace kestrova {

namespace {
void AppendPort(std::string &out, uint16_t port)
{
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xFF);
}

void AppendIPv4(std::string &out, uint32_t address)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(address >> shift & 0xFF);
}

uint8_t Byte(const std::string &s, size_t i)
{
    return static_cast<uint8_t>(s[i]);
}

std::string Socks5ReplyText(uint8_t code)
{
    switch (code) {
    case 1:
        return "general failure of the proxy";
    case 2:
        return "connection not allowed by the proxy's rules";
    case 3:
        return "network unreachable";
    case 4:
        return "host unreachable";
    case 5:
        return "connection refused by the server";
    case 6:
        return "time-out (TTL expired)";
    case 7:
        return "command not supported by the proxy";
    case 8:
        return "address type not supported by the proxy";
    default:
        return "reply code " + std::to_string(code);
    }
}

std::string Socks4ReplyText(uint8_t code)
{
    switch (code) {
    case 91:
        return "request rejected or server unreachable";
    case 92:
        return "the proxy could not reach the client's identd";
    case 93:
        return "the client's identd reported a different user id";
    default:
        return "reply code " + std::to_string(code);
    }
}
} // namespace

bool ParseIPv4(const std::string &text, uint32_t &address)
{
    uint32_t result = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (value > 255 || digits > 3)
            return false;
        result = result << 8 | value;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
    }
    if (i != text.size())
        return false;
    address = result;
    return true;
}

TSocksNegotiation::TSocksNegotiation(TSocksRequest request)
    : FRequest(std::move(request))
{
}

std::string TSocksNegotiation::Start()
{
    std::string out;
    if (FRequest.Version == 4) {
        out += '\x04';
        out += '\x01'; // connect
        AppendPort(out, FRequest.TargetPort);
        AppendIPv4(out, FRequest.TargetIPv4);
        out += FRequest.UserName;
        out += '\0';
        FPhase = TPhase::Socks4Reply;
    } else {
        out += '\x05';
        if (FRequest.Authenticate) {
            out += '\x02';
            out += '\x00';
            out += '\x02';
        } else {
            out += '\x01';
            out += '\x00';
        }
        FPhase = TPhase::MethodReply;
    }
    return out;
}

TSocksStep TSocksNegotiation::Feed(const char *data, size_t size)
{
    if (FStep == TSocksStep::Done)
        FInput.append(data, size); // the target's bytes
    if (FStep != TSocksStep::NeedMore)
        return FStep;
    FInput.append(data, size);
    // Each handler consumes one complete reply and returns true, or false when more is needed.
    for (;;) {
        bool progressed = false;
        switch (FPhase) {
        case TPhase::Idle:
            return Fail("SOCKS proxy spoke before it was asked");
        case TPhase::Socks4Reply:
            progressed = HandleSocks4Reply();
            break;
        case TPhase::MethodReply:
            progressed = HandleMethodReply();
            break;
        case TPhase::AuthReply:
            progressed = HandleAuthReply();
            break;
        case TPhase::ConnectReply:
            progressed = HandleConnectReply();
            break;
        case TPhase::Finished:
            return FStep;
        }
        if (FStep != TSocksStep::NeedMore || !progressed)
            return FStep;
    }
}

bool TSocksNegotiation::HandleSocks4Reply()
{
    if (FInput.size() < 8)
        return false;
    if (Byte(FInput, 0) != 0) {
        Fail("Invalid reply from SOCKS 4 proxy (is it a SOCKS 4 proxy?)");
        return true;
    }
    const uint8_t code = Byte(FInput, 1);
    if (code != 90) {
        Fail("SOCKS 4 proxy could not connect to the server: " + Socks4ReplyText(code));
        return true;
    }
    FInput.erase(0, 8);
    FPhase = TPhase::Finished;
    FStep = TSocksStep::Done;
    return true;
}

bool TSocksNegotiation::HandleMethodReply()
{
    if (FInput.size() < 2)
        return false;
    if (Byte(FInput, 0) != 5) {
        Fail("Invalid reply from SOCKS 5 proxy (is it a SOCKS 5 proxy?)");
        return true;
    }
    const uint8_t method = Byte(FInput, 1);
    FInput.erase(0, 2);
    if (method == 0) {
        SendConnectRequest();
    } else if (method == 2 && FRequest.Authenticate) {
        if (FRequest.UserName.size() > 255 || FRequest.Password.size() > 255) {
            Fail("SOCKS 5 user name or password is longer than 255 characters");
            return true;
        }
        FOutput += '\x01';
        FOutput += static_cast<char>(FRequest.UserName.size());
        FOutput += FRequest.UserName;
        FOutput += static_cast<char>(FRequest.Password.size());
        FOutput += FRequest.Password;
        FPhase = TPhase::AuthReply;
    } else if (FRequest.Authenticate) {
        Fail("SOCKS 5 proxy accepts none of the offered authentication methods");
    } else {
        Fail("SOCKS 5 proxy requires a user name and password");
    }
    return true;
}

bool TSocksNegotiation::HandleAuthReply()
{
    if (FInput.size() < 2)
        return false;
    const uint8_t status = Byte(FInput, 1);
    FInput.erase(0, 2);
    if (status != 0) {
        Fail("SOCKS 5 proxy rejected the user name or password");
        return true;
    }
    SendConnectRequest();
    return true;
}

void TSocksNegotiation::SendConnectRequest()
{
    FOutput += "\x05\x01";
    FOutput += '\0';
    uint32_t address = 0;
    if (ParseIPv4(FRequest.TargetHost, address)) {
        FOutput += '\x01';
        AppendIPv4(FOutput, address);
    } else {
        if (FRequest.TargetHost.empty() || FRequest.TargetHost.size() > 255) {
            Fail("Server host name is empty or too long for a SOCKS 5 proxy");
            return;
        }
        FOutput += '\x03';
        FOutput += static_cast<char>(FRequest.TargetHost.size());
        FOutput += FRequest.TargetHost;
    }
    AppendPort(FOutput, FRequest.TargetPort);
    FPhase = TPhase::ConnectReply;
}

bool TSocksNegotiation::HandleConnectReply()
{
    if (FInput.size() < 2)
        return false;
    if (Byte(FInput, 0) != 5) {
        Fail("Invalid reply from SOCKS 5 proxy");
        return true;
    }
    const uint8_t code = Byte(FInput, 1);
    if (code != 0) {
        Fail("SOCKS 5 proxy could not connect to the server: " + Socks5ReplyText(code));
        return true;
    }
    if (FInput.size() < 5)
        return false;
    size_t addressSize = 0;
    switch (Byte(FInput, 3)) {
    case 1:
        addressSize = 4;
        break;
    case 3:
        addressSize = 1 + Byte(FInput, 4);
        break;
    case 4:
        addressSize = 16;
        break;
    default:
        Fail("Invalid reply from SOCKS 5 proxy (unknown address type)");
        return true;
    }
    const size_t total = 4 + addressSize + 2;
    if (FInput.size() < total)
        return false;
    FInput.erase(0, total);
    FPhase = TPhase::Finished;
    FStep = TSocksStep::Done;
    return true;
}

TSocksStep TSocksNegotiation::Fail(const std::string &text)
{
    FError = text;
    FStep = TSocksStep::Failed;
    FPhase = TPhase::Finished;
    FOutput.clear();
    return FStep;
}

std::string TSocksNegotiation::TakeOutput()
{
    return std::exchange(FOutput, {});
}

std::string TSocksNegotiation::TakeLeftover()
{
    if (FStep != TSocksStep::Done)
        return {};
    return std::exchange(FInput, {});
}

} // namespace kestrova
