#pragma once
// An asynchronous HTTP/1.x client (GET and form POST) on libcurl's multi interface, driven by the
// GUI thread's event loop (a socket notifier per socket curl opens and a timer for curl's
// time-outs). It never blocks the loop (names are resolved by curl's resolver thread) and no
// exception leaves its loop handlers. One request at a time; no time limit of its own.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrova {

struct THttpProxySettings
{
    // HTTP proxy; none when Host is empty. Port 0 keeps curl's default.
    std::string Host;
    std::string Port;
    std::string Username, Password;
    // SOCKS proxy: Level "4" (the client resolves the target name) or "5" (the proxy resolves
    // it); any other level means none. With an HTTP proxy as well, SOCKS is the first hop.
    std::string SocksLevel;
    std::string SocksServer;
    std::string SocksPort;
    std::string SocksUsername, SocksPassword;
};

// Ready: idle. Requesting: a request is under way and no response header has arrived yet
// (connecting, sending, waiting). Receiving: the response is arriving.
enum class THttpClientState { Ready = 0, Requesting = 1, Receiving = 2 };

class THttpClient
{
public:
    THttpClient();
    // Drops a running request without calling any event.
    ~THttpClient();
    THttpClient(const THttpClient &) = delete;
    THttpClient &operator=(const THttpClient &) = delete;

    // Used by the next Get.
    THttpProxySettings Proxy;

    // Starts a GET; the client must be idle. Completion always comes through OnRequestDone, from
    // the loop (a URL curl refuses completes at the next loop pass).
    void Get(const std::string &url);
    // Starts a POST of body with the form content type ("application/x-www-form-urlencoded");
    // otherwise as Get.
    void Post(const std::string &url, const std::string &body);
    // Stops the running request, which completes with AbortedCode. Outside the client's own
    // events it completes before Abort returns; from inside OnDocumentData it completes as soon
    // as that event returns. Nothing happens when idle.
    void Abort();
    bool Busy() const { return FState != THttpClientState::Ready; }
    THttpClientState State() const { return FState; }

    // Of the latest request: status code (0 when no response arrived; known from the status
    // line on, so before the body), reason phrase ("" when none), and curl's text for the error
    // it ended with ("" after success).
    int StatusCode() const { return FStatusCode; }
    const std::string &ReasonPhrase() const { return FReasonPhrase; }
    const std::string &ErrorText() const { return FErrorText; }

    // Body data in pieces, as it arrives.
    std::function<void(const char *data, size_t size)> OnDocumentData;
    // The request finished: 0 on success (any HTTP status), else a curl error code. The client
    // is idle again when this runs; it may start the next Get or be aborted harmlessly.
    std::function<void(int errorCode)> OnRequestDone;

    static const int AbortedCode; // CURLE_ABORTED_BY_CALLBACK

private:
    struct Impl;
    friend struct Impl;
    std::unique_ptr<Impl> FImpl;
    void Start(const std::string &url, const std::string *body);

    THttpClientState FState = THttpClientState::Ready;
    int FStatusCode = 0;
    std::string FReasonPhrase;
    std::string FErrorText;
};

} // namespace kestrova
