#pragma once
// Inside the client only: its state, shared by the files of its concerns:
// the request's flow (http.cpp), what an answer must be (http_answers.cpp),
// the TLS side (http_tls.cpp) and the failures' causes (http_failures.cpp).

#include "platform/http.h"

#include <curl/curl.h>

#include <chrono>
#include <exception>

constexpr size_t kMaxErrorBody = 64 << 10;  // an error page is read this far, then cut

// What the TLS layer saw of a connection's handshake and end.
struct TlsFlags {
    bool closeNotice = false;       // the server said close_notify
    bool certificateAsked = false;  // the server asked for a client certificate
    int version = 0;                // the protocol the server chose, once it has
};

// The TLS context's set-up for every connection: the flags above kept, no
// client certificate given. Installed as libcurl's CURLOPT_SSL_CTX_FUNCTION.
CURLcode OnTlsContext(CURL*, void* context, void* flags);
// Every socket close-on-exec: no program the installer starts holds one.
int CloseOnExec(void*, curl_socket_t socket, curlsocktype);

struct TIdHTTP::Impl {
    TIdHTTP* owner;
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    CURLSH* share = nullptr;  // cookies outlive a Disconnect
    curl_slist* headers = nullptr;
    bool busy = false;
    bool cancel = false;
    bool stalled = false;  // ended by the stall rule

    // last response
    int responseCode = -1;
    String statusLine;
    int64_t contentLength = -1;
    int64_t rangeStart = -1;
    int64_t rangeTotal = -1;
    bool chunked = false;
    TlsFlags tls;
    String encoding;  // Content-Encoding, when the answer named one
    int retryAfter = -1;
    String etag, lastModified, proxyAuthenticate;
    String caApplied;  // the CA file the connection was made with
    std::chrono::steady_clock::time_point lastUsed{}, started{};

    // the running request
    TStream* stream = nullptr;
    String* text = nullptr;
    String errorBody;
    int64_t workCount = 0;
    bool checked = false;       // the answer's headers were held against what was asked
    bool errorBodyCut = false;  // the error page ran past kMaxErrorBody
    int refusal = 0;            // the errno the answer is refused with, 0 while it is fine
    String refusalText;
    std::exception_ptr writeError;
    char errbuf[CURL_ERROR_SIZE] = {};

    explicit Impl(TIdHTTP* o);
    ~Impl();
    void Close();

    // what an answer must be
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    void Refuse(int err, String why);
    void CheckAnswer(bool head);
    // Where the answer's body starts in the whole file: a 206 at its
    // Content-Range, anything else at byte 0.
    int64_t EntityOffset() const { return responseCode == 206 ? std::max<int64_t>(rangeStart, 0) : 0; }
    int64_t StatedEntity() const;

    // the request's flow
    bool ViaProxy() const { return !owner->ProxyParams.ProxyServer.empty(); }
    void Prepare(const String& url, bool head);
    bool Stalled(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point& since,
                 int64_t& bytesSince) const;
    CURLcode Perform();
    [[noreturn]] void RaiseFailure(CURLcode code);
    bool DiedOnAReusedConnection(CURLcode code) const;
    void Reset(TStream* toStream, String* toText);
    void Request(const String& url, bool head, TStream* toStream, String* toText);
};
