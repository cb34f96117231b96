#pragma once
// The HTTP client: HEAD and GET over one kept-alive connection, HTTPS with
// the server certificate verified, byte ranges, a proxy with Basic
// authorization, cookies and work events.
//
// Failures are raised as the exceptions of http_errors.h.

#include "platform/http_errors.h"
#include "platform/rtl.h"
#include "platform/system.h"

#include <functional>
#include <memory>

enum class TWorkMode { wmRead, wmWrite };

// TLS settings of the client. The certificate is always verified against the
// system's trust store (its bundle file and hashed folder, as curl uses
// them), or against CAFile alone when one is given.
class TIdSSLIOHandlerSocketOpenSSL : public TComponent {
public:
    explicit TIdSSLIOHandlerSocketOpenSSL(TComponent* owner) : TComponent(owner) {}
    String CAFile;  // PEM file of the CAs to trust instead of the system's
    void Close() {}   // connections belong to the client; its Disconnect closes them
};

struct TIdHTTPRequest {
    String Accept;
    String UserAgent;
    String Range;    // "N" asks for bytes=N-; empty for no range
    String IfRange;  // with a range: the validator the range must still be of (else the whole file comes)
};

struct TIdProxyConnectionInfo {
    String ProxyServer;
    int ProxyPort = 0;
    String ProxyUsername;
    String ProxyPassword;
    bool BasicAuthentication = false;
};

class TIdHTTP : public TComponent {
public:
    explicit TIdHTTP(TComponent* owner);
    ~TIdHTTP() override;

    TIdSSLIOHandlerSocketOpenSSL* IOHandler = nullptr;
    bool AllowCookies = true;
    TIdHTTPRequest Request;
    TIdProxyConnectionInfo ProxyParams;
    // How long a connection attempt may take before it fails as timed out.
    int ConnectTimeoutMs = 30000;
    // A request stalls when it gets less than StallBytesPerSecond for this
    // long; it then fails as timed out. A slow line of tens of KB/s never
    // trips it, a server that drips its answer always does.
    int ReadTimeoutMs = 60000;
    static constexpr long StallBytesPerSecond = 4096;
    // Through a proxy, the first byte of a body may take this long: proxies
    // that check a file for viruses hand on nothing until they have all of it.
    int FirstByteTimeoutMs = 600000;
    // Work events come at least this often, also while nothing arrives: a
    // handler that answers the window's questions (a screen reader's) waits
    // no longer than this.
    int WorkEventMs = 5;
    // A connection idle longer than this is not used again: one a network
    // change left dead would hold the next request until it stalls.
    int IdleReuseMs = 5000;
    // The most a GET's body may bring, 0 for no limit: a longer one (said in
    // advance by its length, or found while it arrives) fails with EFBIG.
    int64_t BodyLimit = 0;
    // The whole file's size as stated before (its HEAD), -1 when unknown. A
    // GET whose answer states another size fails with EBADMSG before its
    // body is taken, and so does a body that would run past it.
    int64_t ExpectedLength = -1;

    void Head(const String& url);
    String Get(const String& url);            // the body as text
    void Get(const String& url, TStream* dest);  // the body written at dest's position

    int ResponseCode() const;     // final status of the last request, -1 when none
    String ResponseText() const;  // its status line as received
    int RetryAfter() const;       // the seconds its Retry-After asked to wait, -1 when none
    String Validator() const;     // its ETag, else its Last-Modified: what If-Range names
    // True while a request through a proxy has had no byte of its answer
    // for more than a few seconds (the proxy is checking the file).
    bool ProxyHoldsTheAnswer() const;
    int64_t ContentLength() const;  // -1 when not given
    // The size of the whole file as the last answer stated it: a 206's or a
    // 416's Content-Range total, any other answer's Content-Length; -1 when
    // the answer did not say.
    int64_t EntityLength() const;
    void Disconnect();            // ends a running request at once

    std::function<void(TObject* Sender, TWorkMode Mode, int64_t WorkCountMax)> OnWorkBegin;
    std::function<void(TObject* Sender, TWorkMode Mode, int64_t WorkCount)> OnWork;
    std::function<void(TObject* Sender, TWorkMode Mode)> OnWorkEnd;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Whether the client's URL parser takes `url` at all.
bool UrlParses(const String& url);
