#include "net/HttpClient.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <curl/curl.h>
#include <map>

namespace kestrova {

const int THttpClient::AbortedCode = CURLE_ABORTED_BY_CALLBACK;

namespace {

const char *const Location = "HttpClient, THttpClient";

int PortNumber(const std::string &text)
{
    try {
        return text.empty() ? 0 : std::stoi(text);
    } catch (const std::exception &) {
        return 0;
    }
}

std::string Escaped(CURL *easy, const std::string &text)
{
    char *escaped = curl_easy_escape(easy, text.c_str(), static_cast<int>(text.size()));
    std::string result = escaped ? escaped : "";
    curl_free(escaped);
    return result;
}

void EnsureCurlInitialised()
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    KV_ASSERT(initialised, "curl_global_init failed");
}

} // namespace

struct THttpClient::Impl
{
    struct Watch
    {
        QSocketNotifier *Read = nullptr;
        QSocketNotifier *Write = nullptr;
    };

    explicit Impl(THttpClient &owner)
        : Owner(owner)
    {
        Multi = curl_multi_init();
        KV_ASSERT(Multi != nullptr, "curl_multi_init failed");
        curl_multi_setopt(Multi, CURLMOPT_SOCKETFUNCTION, &Impl::SocketCallback);
        curl_multi_setopt(Multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(Multi, CURLMOPT_TIMERFUNCTION, &Impl::TimerCallback);
        curl_multi_setopt(Multi, CURLMOPT_TIMERDATA, this);
        CurlTimer.setSingleShot(true);
        QObject::connect(
            &CurlTimer, &QTimer::timeout, [this] { SocketAction(CURL_SOCKET_TIMEOUT, 0); });
        FailTimer.setSingleShot(true);
        QObject::connect(&FailTimer, &QTimer::timeout, [this] {
            RunGuarded(std::string(Location) + ".Get", [this] { Finish(PendingFailure); });
        });
    }

    ~Impl()
    {
        Destroying = true;
        DropEasy();
        curl_multi_cleanup(Multi);
        for (auto &entry : Sockets)
            DropNotifiers(entry.second);
    }

    // body: the form to POST, or nullptr for a GET.
    void Start(const std::string &url, const std::string *body)
    {
        Posting = body != nullptr;
        Body = body ? *body : std::string();
        Easy = curl_easy_init();
        CURLcode code = Easy ? Configure(url) : CURLE_OUT_OF_MEMORY;
        if (code == CURLE_OK && curl_multi_add_handle(Multi, Easy) != CURLM_OK)
            code = CURLE_FAILED_INIT;
        if (code != CURLE_OK) {
            DropEasy();
            PendingFailure = code;
            FailTimer.start(0);
        }
    }

    CURLcode Configure(const std::string &url)
    {
        ErrorBuffer[0] = '\0';
        CURLcode code = CURLE_OK;
        auto set = [&](CURLoption option, auto value) {
            if (code == CURLE_OK)
                code = curl_easy_setopt(Easy, option, value);
        };
        set(CURLOPT_URL, url.c_str());
        if (Posting) {
            // curl's default content type for a POST is the form type. No "Expect:
            // 100-continue": a proxy or server that ignores it would stall each POST.
            set(CURLOPT_POST, 1L);
            set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
            set(CURLOPT_POSTFIELDS, Body.data());
            Headers = curl_slist_append(Headers, "Expect:");
            set(CURLOPT_HTTPHEADER, Headers);
        } else {
            set(CURLOPT_HTTPGET, 1L);
        }
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        set(CURLOPT_FOLLOWLOCATION, 0L);
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_ERRORBUFFER, ErrorBuffer);
        set(CURLOPT_WRITEFUNCTION, &Impl::WriteCallback);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_HEADERFUNCTION, &Impl::HeaderCallback);
        set(CURLOPT_HEADERDATA, this);
        // Only the settings given here count: no proxy from the environment, no exceptions.
        set(CURLOPT_NOPROXY, "");
        const THttpProxySettings &p = Owner.Proxy;
        const bool socks = (p.SocksLevel == "4" || p.SocksLevel == "5") && !p.SocksServer.empty();
        const long socksType = p.SocksLevel == "4" ? CURLPROXY_SOCKS4 : CURLPROXY_SOCKS5_HOSTNAME;
        if (!p.Host.empty()) {
            set(CURLOPT_PROXY, p.Host.c_str());
            set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
            if (PortNumber(p.Port) > 0)
                set(CURLOPT_PROXYPORT, static_cast<long>(PortNumber(p.Port)));
            if (!p.Username.empty()) {
                set(CURLOPT_PROXYUSERNAME, p.Username.c_str());
                set(CURLOPT_PROXYPASSWORD, p.Password.c_str());
            }
            if (socks) {
                PreProxy = (p.SocksLevel == "4" ? "socks4://" : "socks5h://");
                if (!p.SocksUsername.empty())
                    PreProxy += Escaped(Easy, p.SocksUsername) + ":"
                        + Escaped(Easy, p.SocksPassword) + "@";
                PreProxy += p.SocksServer + ":" + std::to_string(PortNumber(p.SocksPort));
                set(CURLOPT_PRE_PROXY, PreProxy.c_str());
            }
        } else if (socks) {
            set(CURLOPT_PROXY, p.SocksServer.c_str());
            set(CURLOPT_PROXYTYPE, socksType);
            set(CURLOPT_PROXYPORT, static_cast<long>(PortNumber(p.SocksPort)));
            if (!p.SocksUsername.empty()) {
                set(CURLOPT_PROXYUSERNAME, p.SocksUsername.c_str());
                set(CURLOPT_PROXYPASSWORD, p.SocksPassword.c_str());
            }
        } else {
            set(CURLOPT_PROXY, "");
        }
        return code;
    }

    void DropEasy()
    {
        if (!Easy)
            return;
        curl_multi_remove_handle(Multi, Easy);
        curl_easy_cleanup(Easy);
        Easy = nullptr;
        curl_slist_free_all(Headers);
        Headers = nullptr;
    }

    // Ends the running request and raises OnRequestDone. Not called from inside curl.
    void Finish(int code)
    {
        long status = 0;
        if (Easy)
            curl_easy_getinfo(Easy, CURLINFO_RESPONSE_CODE, &status);
        if (AbortRequested)
            code = CURLE_ABORTED_BY_CALLBACK;
        DropEasy();
        FailTimer.stop();
        AbortRequested = false;
        Owner.FStatusCode = static_cast<int>(status);
        if (code == CURLE_ABORTED_BY_CALLBACK)
            Owner.FErrorText = "aborted";
        else if (code != CURLE_OK)
            Owner.FErrorText = ErrorBuffer[0] ? std::string(ErrorBuffer)
                                              : curl_easy_strerror(static_cast<CURLcode>(code));
        Owner.FState = THttpClientState::Ready;
        if (auto handler = Owner.OnRequestDone)
            RunGuarded(std::string(Location) + ".RequestDone", [&] { handler(code); });
    }

    void SocketAction(curl_socket_t socket, int flags)
    {
        RunGuarded(std::string(Location) + ".SocketAction", [&] {
            int running = 0;
            InCurl = true;
            curl_multi_socket_action(Multi, socket, flags, &running);
            InCurl = false;
            CheckDone();
        });
        InCurl = false;
    }

    void CheckDone()
    {
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(Multi, &left)) {
            if (message->msg == CURLMSG_DONE && Easy && message->easy_handle == Easy) {
                Finish(message->data.result); // this object may be gone afterwards
                return;
            }
        }
    }

    void WatchSocket(curl_socket_t socket, int what)
    {
        if (what == CURL_POLL_REMOVE) {
            auto found = Sockets.find(socket);
            if (found != Sockets.end()) {
                DropNotifiers(found->second);
                Sockets.erase(found);
            }
            return;
        }
        if (Destroying)
            return;
        Watch &watch = Sockets[socket];
        SetNotifier(
            watch.Read, socket, QSocketNotifier::Read, (what & CURL_POLL_IN) != 0, CURL_CSELECT_IN);
        SetNotifier(watch.Write, socket, QSocketNotifier::Write, (what & CURL_POLL_OUT) != 0,
            CURL_CSELECT_OUT);
    }

    void SetNotifier(QSocketNotifier *&notifier, curl_socket_t socket, QSocketNotifier::Type type,
        bool wanted, int flags)
    {
        if (!wanted) {
            if (notifier)
                notifier->setEnabled(false);
            return;
        }
        if (!notifier) {
            notifier = new QSocketNotifier(socket, type);
            QObject::connect(notifier, &QSocketNotifier::activated,
                [this, socket, flags] { SocketAction(socket, flags); });
        }
        notifier->setEnabled(true);
    }

    // A notifier may be the one whose signal is running: it is disabled now, freed later.
    static void DropNotifiers(Watch &watch)
    {
        for (QSocketNotifier *notifier : { watch.Read, watch.Write }) {
            if (!notifier)
                continue;
            notifier->setEnabled(false);
            QObject::disconnect(notifier, nullptr, nullptr, nullptr);
            notifier->deleteLater();
        }
        watch = {};
    }

    static int SocketCallback(CURL *, curl_socket_t socket, int what, void *data, void *)
    {
        static_cast<Impl *>(data)->WatchSocket(socket, what);
        return 0;
    }

    static int TimerCallback(CURLM *, long milliseconds, void *data)
    {
        Impl *self = static_cast<Impl *>(data);
        if (milliseconds < 0)
            self->CurlTimer.stop();
        else if (!self->Destroying)
            self->CurlTimer.start(static_cast<int>(milliseconds));
        return 0;
    }

    static size_t WriteCallback(char *data, size_t, size_t size, void *userData)
    {
        Impl *self = static_cast<Impl *>(userData);
        if (self->AbortRequested)
            return 0;
        if (auto handler = self->Owner.OnDocumentData)
            RunGuarded(std::string(Location) + ".DocumentData", [&] { handler(data, size); });
        return self->AbortRequested ? 0 : size;
    }

    static size_t HeaderCallback(char *data, size_t, size_t size, void *userData)
    {
        Impl *self = static_cast<Impl *>(userData);
        const std::string line(data, size);
        self->Owner.FState = THttpClientState::Receiving;
        if (line.rfind("HTTP/", 0) == 0) {
            // "HTTP/1.1 404 Not Found": the code, then the reason. The last status line is the
            // response's (after interim ones such as 100 Continue).
            const size_t codeStart = line.find(' ');
            const size_t reasonStart
                = codeStart == std::string::npos ? codeStart : line.find(' ', codeStart + 1);
            std::string reason
                = reasonStart == std::string::npos ? std::string() : line.substr(reasonStart + 1);
            while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n'))
                reason.pop_back();
            self->Owner.FReasonPhrase = reason;
            if (codeStart != std::string::npos)
                self->Owner.FStatusCode = std::atoi(line.c_str() + codeStart + 1);
        }
        return self->AbortRequested ? 0 : size;
    }

    THttpClient &Owner;
    CURLM *Multi = nullptr;
    CURL *Easy = nullptr;
    QTimer CurlTimer;
    QTimer FailTimer;
    int PendingFailure = 0;
    std::map<curl_socket_t, Watch> Sockets;
    bool InCurl = false;
    bool AbortRequested = false;
    bool Destroying = false;
    std::string PreProxy;
    bool Posting = false;
    std::string Body; // the POST's form, alive while curl sends it
    curl_slist *Headers = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
};

THttpClient::THttpClient()
{
    EnsureCurlInitialised();
    FImpl = std::make_unique<Impl>(*this);
}

THttpClient::~THttpClient() = default;

void THttpClient::Get(const std::string &url)
{
    Start(url, nullptr);
}

void THttpClient::Post(const std::string &url, const std::string &body)
{
    Start(url, &body);
}

void THttpClient::Start(const std::string &url, const std::string *body)
{
    KV_ASSERT(!Busy(), "THttpClient: a request is already running");
    FState = THttpClientState::Requesting;
    FStatusCode = 0;
    FReasonPhrase.clear();
    FErrorText.clear();
    FImpl->AbortRequested = false;
    FImpl->Start(url, body);
}

void THttpClient::Abort()
{
    if (!Busy())
        return;
    if (FImpl->InCurl) {
        FImpl->AbortRequested = true; // the write callback fails the transfer on return
        return;
    }
    FImpl->AbortRequested = true;
    FImpl->Finish(CURLE_ABORTED_BY_CALLBACK);
}

} // namespace kestrova
