#pragma once
// The client side of a SOCKS 4 or SOCKS 5 handshake (RFC 1928, user name and password RFC 1929)
// as a state machine without I/O: it hands out bytes to send and takes the proxy's bytes in any
// split. Once Done, bytes the proxy sent beyond its reply belong to the target (Leftover).

#include <cstdint>
#include <string>

namespace kestrova {

struct TSocksRequest
{
    int Version = 5; // 4 or 5
    std::string TargetHost; // SOCKS 5: a name (the proxy resolves it) or a dotted IPv4 address
    uint16_t TargetPort = 0;
    uint32_t TargetIPv4 = 0; // SOCKS 4 only: the resolved address, host byte order
    std::string UserName; // SOCKS 4: the user id; SOCKS 5: used when Authenticate
    std::string Password;
    bool Authenticate = false; // SOCKS 5: offer user name / password authentication
};

enum class TSocksStep { NeedMore, Done, Failed };

class TSocksNegotiation
{
public:
    explicit TSocksNegotiation(TSocksRequest request);

    // The first bytes to send (SOCKS 4 request or SOCKS 5 greeting).
    std::string Start();
    // Consumes bytes from the proxy. After it returns, TakeOutput() holds any bytes to send.
    TSocksStep Feed(const char *data, size_t size);
    TSocksStep Feed(const std::string &data) { return Feed(data.data(), data.size()); }

    std::string TakeOutput();
    std::string TakeLeftover();
    // Why the handshake failed, worded for the user.
    const std::string &Error() const { return FError; }
    TSocksStep Step() const { return FStep; }

private:
    enum class TPhase { Idle, Socks4Reply, MethodReply, AuthReply, ConnectReply, Finished };
    TSocksStep Fail(const std::string &text);
    void SendConnectRequest();
    bool HandleMethodReply();
    bool HandleAuthReply();
    bool HandleConnectReply();
    bool HandleSocks4Reply();

    TSocksRequest FRequest;
    TPhase FPhase = TPhase::Idle;
    TSocksStep FStep = TSocksStep::NeedMore;
    std::string FInput;
    std::string FOutput;
    std::string FError;
};

// Parses a dotted IPv4 address ("127.0.0.1"); false when text is not one.
bool ParseIPv4(const std::string &text, uint32_t &address);

} // namespace kestrova
