// The client's requests: one kept-alive connection, set up for each request
// (proxy, trust, range), run with work events and the stall rule, failed
// ones raised by cause, and tried once more where a kept connection had died.

#include "platform/http_client.h"

#include "platform/http_failures.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <openssl/ssl.h>
#include <strings.h>

namespace {
constexpr long kReceiveBuffer = 512 * 1024;  // the default 16 KiB is far slower

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

TIdHTTP::Impl::Impl(TIdHTTP* o) : owner(o)
{
    GlobalInit();
    share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

TIdHTTP::Impl::~Impl()
{
    Close();
    curl_share_cleanup(share);
    curl_slist_free_all(headers);
}

void TIdHTTP::Impl::Close()
{
    if (multi && easy)
        curl_multi_remove_handle(multi, easy);
    if (easy)
        curl_easy_cleanup(easy);
    if (multi)
        curl_multi_cleanup(multi);
    easy = nullptr;
    multi = nullptr;
}

void TIdHTTP::Impl::Prepare(const String& url, bool head)
{
    const String& ca = owner->IOHandler ? owner->IOHandler->CAFile : String();
    // A connection idle for long may be dead (a network change, a VPN):
    // a new one costs a handshake, a dead one a stall. So does one made
    // to trust other authorities.
    auto idle = std::chrono::steady_clock::now() - lastUsed;
    if (easy && (idle > std::chrono::milliseconds(owner->IdleReuseMs) || ca != caApplied))
        Close();
    if (!multi)
        multi = curl_multi_init();
    if (!easy) {
        easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errbuf);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        // Whatever an address says, nothing but HTTPS is ever spoken.
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &OnTlsContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &tls);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &CloseOnExec);
        // A connection that dies quietly is found out in seconds, not minutes.
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPIDLE, 5L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPINTVL, 2L);
        // The system's trust store as curl uses it (the bundle file and the
        // hashed folder), or the given file alone.
        if (!ca.empty()) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, ca.c_str());
            curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
        }
        caApplied = ca;
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (head)
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_RANGE, owner->Request.Range.empty() ? nullptr : (owner->Request.Range + "-").c_str());

    curl_slist_free_all(headers);
    headers = nullptr;
    headers = curl_slist_append(headers, ("Accept: " + owner->Request.Accept).c_str());
    headers = curl_slist_append(headers, "Expect:");
    if (!owner->Request.Range.empty() && !owner->Request.IfRange.empty())
        headers = curl_slist_append(headers, ("If-Range: " + owner->Request.IfRange).c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, owner->Request.UserAgent.c_str());
    // An empty cookie file switches the engine on without reading a file.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, owner->AllowCookies ? "" : nullptr);

    const TIdProxyConnectionInfo& proxy = owner->ProxyParams;
    if (!proxy.ProxyServer.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.ProxyServer.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPORT, long(proxy.ProxyPort));
        curl_easy_setopt(easy, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
        curl_easy_setopt(easy, CURLOPT_HTTPPROXYTUNNEL, 1L);
        if (proxy.BasicAuthentication) {
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy.ProxyUsername.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy.ProxyPassword.c_str());
        } else {
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, nullptr);
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, nullptr);
        }
    } else {
        // Set explicitly: the environment's proxy variables must not apply.
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    }

    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(owner->ConnectTimeoutMs));
}

// The stall rule: less than StallBytesPerSecond over ReadTimeoutMs. Through
// a proxy it counts from the first byte of the body, which may be long
// in coming (FirstByteTimeoutMs) while the proxy checks the file.
bool TIdHTTP::Impl::Stalled(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point& since,
                            int64_t& bytesSince) const
{
    using std::chrono::milliseconds;
    bool waiting = ViaProxy() && workCount == 0;
    auto window = milliseconds(waiting ? owner->FirstByteTimeoutMs : owner->ReadTimeoutMs);
    if (now - since < window)
        return false;
    auto ms = std::chrono::duration_cast<milliseconds>(now - since).count();
    if (workCount - bytesSince < StallBytesPerSecond * ms / 1000)
        return true;
    since = now;
    bytesSince = workCount;
    return false;
}

// Runs one request, raising work events at least every WorkEventMs.
CURLcode TIdHTTP::Impl::Perform()
{
    CURLcode result = CURLE_OK;
    curl_multi_add_handle(multi, easy);
    auto since = started = std::chrono::steady_clock::now();
    int64_t bytesSince = 0;
    try {
        int running = 1;
        while (running && !cancel) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (owner->OnWork)
                owner->OnWork(owner, TWorkMode::wmRead, workCount);
            if (running && !cancel && Stalled(std::chrono::steady_clock::now(), since, bytesSince)) {
                result = CURLE_OPERATION_TIMEDOUT;
                stalled = true;
                break;
            }
            if (running && !cancel)
                curl_multi_poll(multi, nullptr, 0, std::max(1, owner->WorkEventMs), nullptr);
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy && !stalled)
                result = msg->data.result;
    } catch (...) {
        Close();
        throw;
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

void TIdHTTP::Impl::RaiseFailure(CURLcode code)
{
    TFailureFacts facts;
    facts.code = code;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &facts.osErrno);
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &facts.connectCode);
    facts.detail = errbuf[0] ? String(errbuf) : String(curl_easy_strerror(code));
    facts.statusLine = statusLine;
    facts.errorBody = errorBody;
    facts.proxyAuthenticate = proxyAuthenticate;
    facts.viaProxy = ViaProxy();
    facts.clientCertificateAsked = tls.certificateAsked;
    facts.outdatedProtocol = tls.version != 0 && tls.version < TLS1_2_VERSION;
    // Drop the connection: its state after a failure is unknown.
    Close();
    RaiseClientFailure(facts);
}

// A request that failed on a connection an earlier one left open, before
// any of its answer came: that connection had died unseen.
bool TIdHTTP::Impl::DiedOnAReusedConnection(CURLcode code) const
{
    long made = 1;
    curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &made);
    bool transport = code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
                     code == CURLE_OPERATION_TIMEDOUT || code == CURLE_SSL_CONNECT_ERROR;
    return made == 0 && transport && responseCode < 0 && workCount == 0;
}

void TIdHTTP::Impl::Reset(TStream* toStream, String* toText)
{
    cancel = false;
    stalled = false;
    responseCode = -1;
    statusLine.clear();
    contentLength = -1;
    rangeStart = -1;
    rangeTotal = -1;
    chunked = false;
    tls = TlsFlags();
    encoding.clear();
    retryAfter = -1;
    etag.clear();
    lastModified.clear();
    proxyAuthenticate.clear();
    checked = false;
    errorBodyCut = false;
    refusal = 0;
    refusalText.clear();
    stream = toStream;
    text = toText;
    errorBody.clear();
    workCount = 0;
    writeError = nullptr;
    errbuf[0] = 0;
}

void TIdHTTP::Impl::Request(const String& url, bool head, TStream* toStream, String* toText)
{
    if (busy)
        throw EIdException("The HTTP client is already running a request.");
    busy = true;
    struct Done {
        Impl* d;
        ~Done()
        {
            d->busy = false;
            d->stream = nullptr;
            d->text = nullptr;
            d->lastUsed = std::chrono::steady_clock::now();
            if (d->owner->OnWorkEnd)
                d->owner->OnWorkEnd(d->owner, TWorkMode::wmRead);
        }
    } done{this};

    // libcurl refuses other schemes too; this says why before it is asked.
    if (strncasecmp(url.c_str(), "https://", 8) != 0)
        RaiseSocketError(EPROTONOSUPPORT, "Only https:// addresses are fetched.");
    CURLcode code = CURLE_OK;
    // Once more on a new connection where a kept one had died unseen:
    // that is no failure of the request's.
    for (int attempt = 0; attempt < 2; ++attempt) {
        Reset(toStream, toText);
        Prepare(url, head);
        if (owner->OnWorkBegin)
            owner->OnWorkBegin(owner, TWorkMode::wmRead, 0);
        code = Perform();
        if (attempt > 0 || code == CURLE_OK || cancel || writeError || refusal || !DiedOnAReusedConnection(code))
            break;
        Close();
    }
    if (cancel) {
        Close();
        throw EIdSocketError(ECONNABORTED, SocketText(ECONNABORTED, "Connection closed by Disconnect."), true);
    }
    if (writeError) {
        Close();
        std::rethrow_exception(writeError);
    }
    if (refusal) {
        Close();
        RaiseSocketError(refusal, refusalText.c_str());
    }
    if (errorBodyCut) {
        Close();
        throw EIdHTTPProtocolException(responseCode, statusLine, errorBody);
    }
    if (code != CURLE_OK)
        RaiseFailure(code);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    responseCode = int(status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    contentLength = int64_t(length);
    if (status <= 0) {
        Close();
        RaiseSocketError(EPROTO, "The answer carried no HTTP status.");
    }
    bool success = status >= 200 && status <= 299;
    // An answer without a body never met the checks above.
    if (success && !checked)
        CheckAnswer(head);
    if (refusal) {
        Close();
        RaiseSocketError(refusal, refusalText.c_str());
    }
    if (success && !head && contentLength < 0 && !chunked && !tls.closeNotice) {
        Close();
        RaiseSocketError(ECONNRESET, "The answer ended without saying it was complete.");
    }
    if (!success)
        throw EIdHTTPProtocolException(int(status), statusLine, errorBody);
}

TIdHTTP::TIdHTTP(TComponent* owner) : TComponent(owner), d(new Impl(this)) {}
TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::Head(const String& url) { d->Request(url, true, nullptr, nullptr); }

String TIdHTTP::Get(const String& url)
{
    String body;
    d->Request(url, false, nullptr, &body);
    return body;
}

void TIdHTTP::Get(const String& url, TStream* dest) { d->Request(url, false, dest, nullptr); }

int TIdHTTP::ResponseCode() const { return d->responseCode; }
String TIdHTTP::ResponseText() const { return d->statusLine; }
int TIdHTTP::RetryAfter() const { return d->retryAfter; }
String TIdHTTP::Validator() const { return d->etag.empty() ? d->lastModified : d->etag; }
bool TIdHTTP::ProxyHoldsTheAnswer() const
{
    return d->busy && d->ViaProxy() && d->workCount == 0 &&
           std::chrono::steady_clock::now() - d->started > std::chrono::seconds(5);
}
int64_t TIdHTTP::ContentLength() const { return d->contentLength; }
int64_t TIdHTTP::EntityLength() const
{
    return d->responseCode == 206 || d->responseCode == 416 ? d->rangeTotal : d->contentLength;
}

bool UrlParses(const String& url)
{
    CURLU* parsed = curl_url();
    bool ok = parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(parsed);
    return ok;
}

void TIdHTTP::Disconnect()
{
    // Inside a request (a work event's handler) the request loop ends it.
    if (d->busy)
        d->cancel = true;
    else
        d->Close();
}
