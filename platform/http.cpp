#include "platform/http.h"

#include "platform/http_failures.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <cctype>
#include <chrono>
#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <cstring>
#include <exception>
#include <mutex>

namespace {
constexpr long kReceiveBuffer = 512 * 1024;  // the default 16 KiB is far slower
constexpr int kWorkEventMs = 5;  // work events also while nothing arrives: a reader's questions wait no longer
constexpr size_t kMaxErrorBody = 64 << 10;  // an error page is read this far, then cut

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

[[noreturn]] void Raise(int err, const char* what) { throw EIdSocketError(err, SocketText(err, what)); }

// Where a TLS context keeps the flag that its peer said close_notify.
int CloseNoticeIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

struct TlsFlags {
    bool closeNotice = false;
    bool certificateAsked = false;
    int version = 0;  // the protocol the server chose, once it has
};

// A body without a length ends when the connection does; only TLS's close
// notice tells a finished body from a cut one, and libcurl takes both alike.
// The protocol the server chose is noted on the way.
void WatchHandshake(const SSL* ssl, int where, int alert)
{
    auto* flags = static_cast<TlsFlags*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CloseNoticeIndex()));
    if (!flags)
        return;
    if (where & SSL_CB_LOOP)
        flags->version = SSL_version(ssl);
    if ((where & SSL_CB_READ_ALERT) == SSL_CB_READ_ALERT && (alert & 0xff) == SSL_AD_CLOSE_NOTIFY)
        flags->closeNotice = true;
}

// A connection is the program's alone: no program it starts (a file
// manager, a command) holds it open.
int CloseOnExec(void*, curl_socket_t socket, curlsocktype)
{
    fcntl(socket, F_SETFD, fcntl(socket, F_GETFD) | FD_CLOEXEC);
    return CURL_SOCKOPT_OK;
}

// Where a TLS context keeps the flag that its server asked for a client
// certificate, which the installer never has: said as such when it fails.
int CertificateAskedIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int NoClientCertificate(SSL* ssl, X509**, EVP_PKEY**)
{
    if (auto* asked = static_cast<bool*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CertificateAskedIndex())))
        *asked = true;
    return 0;
}

CURLcode OnTlsContext(CURL*, void* context, void* flags)
{
    auto* ctx = static_cast<SSL_CTX*>(context);
    auto* f = static_cast<TlsFlags*>(flags);
    SSL_CTX_set_ex_data(ctx, CloseNoticeIndex(), f);
    SSL_CTX_set_info_callback(ctx, WatchHandshake);
    SSL_CTX_set_ex_data(ctx, CertificateAskedIndex(), &f->certificateAsked);
    SSL_CTX_set_client_cert_cb(ctx, NoClientCertificate);
    return CURLE_OK;
}

// "Retry-After: 30", or an HTTP date: the seconds from now, -1 when neither.
int RetryAfterSeconds(const String& value)
{
    if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0])))
        return int(std::min<long long>(std::atoll(value.c_str()), 1 << 30));
    time_t when = curl_getdate(value.c_str(), nullptr);
    return when < 0 ? -1 : int(std::max<time_t>(0, when - time(nullptr)));
}

String HeaderValue(const char* data, size_t n, size_t nameLength)
{
    String value(data + nameLength, n - nameLength);
    auto first = value.find_first_not_of(" \t"), last = value.find_last_not_of(" \t\r\n");
    return first == String::npos ? String() : value.substr(first, last - first + 1);
}
}  // namespace

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

    explicit Impl(TIdHTTP* o) : owner(o)
    {
        GlobalInit();
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }

    ~Impl()
    {
        Close();
        curl_share_cleanup(share);
        curl_slist_free_all(headers);
    }

    void Close()
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

    static size_t OnHeader(char* data, size_t size, size_t count, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        size_t n = size * count;
        // A proxy's answer or a 100 may come first: keep the last status line.
        if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            String line(data, n);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            d->statusLine = line;
            auto sp = line.find(' ');
            d->responseCode = sp == String::npos ? -1 : std::atoi(line.c_str() + sp + 1);
            d->rangeStart = -1;
            d->rangeTotal = -1;
            d->chunked = false;
            d->encoding.clear();
            d->retryAfter = -1;
            d->etag.clear();
            d->lastModified.clear();
        } else if (n > 17 && strncasecmp(data, "Content-Encoding:", 17) == 0) {
            d->encoding = HeaderValue(data, n, 17);
            if (strcasecmp(d->encoding.c_str(), "identity") == 0)
                d->encoding.clear();
        } else if (n > 12 && strncasecmp(data, "Retry-After:", 12) == 0) {
            d->retryAfter = RetryAfterSeconds(HeaderValue(data, n, 12));
        } else if (n > 5 && strncasecmp(data, "ETag:", 5) == 0) {
            d->etag = HeaderValue(data, n, 5);
        } else if (n > 14 && strncasecmp(data, "Last-Modified:", 14) == 0) {
            d->lastModified = HeaderValue(data, n, 14);
        } else if (n > 19 && strncasecmp(data, "Proxy-Authenticate:", 19) == 0) {
            // The scheme of each challenge, the first word of each line.
            String value = HeaderValue(data, n, 19);
            String scheme = value.substr(0, value.find(' '));
            if (d->proxyAuthenticate.find(scheme) == String::npos)
                d->proxyAuthenticate += (d->proxyAuthenticate.empty() ? "" : ", ") + scheme;
        } else if (n > 20 && strncasecmp(data, "Content-Range: bytes ", 21) == 0) {
            // bytes FIRST-LAST/TOTAL
            String value(data + 21, n - 21);
            d->rangeStart = std::isdigit(static_cast<unsigned char>(value[0])) ? std::atoll(value.c_str()) : -1;
            auto slash = value.find('/');
            bool total = slash != String::npos && std::isdigit(static_cast<unsigned char>(value[slash + 1]));
            d->rangeTotal = total ? std::strtoll(value.c_str() + slash + 1, nullptr, 10) : -1;
        } else if (n > 18 && strncasecmp(data, "Transfer-Encoding:", 18) == 0) {
            d->chunked = String(data, n).find("chunked") != String::npos;
        }
        return n;
    }

    void Refuse(int err, String why)
    {
        if (!refusal) {
            refusal = err;
            refusalText = std::move(why);
        }
    }

    // Where the answer's body starts in the whole file: a 206 at its
    // Content-Range, anything else at byte 0.
    int64_t EntityOffset() const { return responseCode == 206 ? std::max<int64_t>(rangeStart, 0) : 0; }

    // The size of the whole file as this answer states it, -1 when it does not.
    int64_t StatedEntity() const
    {
        if (responseCode == 206 || responseCode == 416)
            return rangeTotal;
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        return int64_t(length);
    }

    // A successful answer, held against what was asked before any byte of it
    // is taken: the encoding, the range's start, the file's one size.
    void CheckAnswer(bool head)
    {
        checked = true;
        if (head)
            return;
        if (!encoding.empty()) {
            Refuse(EILSEQ, "the server sent the file compressed (" + encoding + "), which was not asked for");
            return;
        }
        const String& asked = owner->Request.Range;
        if (responseCode == 206 && (asked.empty() || rangeStart != std::atoll(asked.c_str()))) {
            Refuse(EBADMSG, "The answer starts at byte " + std::to_string(rangeStart) + ", not at byte " +
                                (asked.empty() ? String("0") : asked) + " as asked.");
            return;
        }
        int64_t expected = owner->ExpectedLength, stated = StatedEntity();
        if (expected >= 0 && stated >= 0 && stated != expected)
            Refuse(EBADMSG, "The answer states " + std::to_string(stated) + " bytes for a file of " +
                                std::to_string(expected) + " bytes.");
        int64_t limit = owner->BodyLimit;
        if (limit > 0 && stated - EntityOffset() > limit)
            Refuse(EFBIG, "The answer is larger than " + std::to_string(limit) + " bytes.");
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        size_t n = size * count;
        if (d->cancel)
            return 0;
        d->workCount += int64_t(n);
        // Only a successful body reaches the caller; an error body is kept
        // for the protocol error, as far as a page goes.
        if (d->responseCode < 200 || d->responseCode > 299) {
            size_t room = kMaxErrorBody - d->errorBody.size();
            d->errorBody.append(data, std::min(n, room));
            d->errorBodyCut = n > room;
            return d->errorBodyCut ? 0 : n;
        }
        if (!d->checked)
            d->CheckAnswer(false);
        // Not a byte past the file's size or the caller's limit.
        int64_t expected = d->owner->ExpectedLength >= 0 ? d->owner->ExpectedLength : d->StatedEntity();
        if (expected >= 0 && d->EntityOffset() + d->workCount > expected)
            d->Refuse(EBADMSG, "The answer runs past the file's size of " + std::to_string(expected) + " bytes.");
        int64_t limit = d->owner->BodyLimit;
        if (limit > 0 && d->workCount > limit)
            d->Refuse(EFBIG, "The answer is larger than " + std::to_string(limit) + " bytes.");
        if (d->refusal)
            return 0;
        try {
            if (d->stream)
                d->stream->Write(data, int64_t(n));
            else if (d->text)
                d->text->append(data, n);
        } catch (...) {
            d->writeError = std::current_exception();
            return 0;
        }
        return n;
    }

    void Prepare(const String& url, bool head)
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

    bool ViaProxy() const { return !owner->ProxyParams.ProxyServer.empty(); }

    // The stall rule: less than StallBytesPerSecond over ReadTimeoutMs. Through
    // a proxy it counts from the first byte of the body, which may be long
    // in coming (FirstByteTimeoutMs) while the proxy checks the file.
    bool Stalled(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point& since,
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

    // Runs one request, raising work events at least every kWorkEventMs.
    CURLcode Perform()
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
                    curl_multi_poll(multi, nullptr, 0, kWorkEventMs, nullptr);
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

    [[noreturn]] void RaiseFailure(CURLcode code)
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
    bool DiedOnAReusedConnection(CURLcode code) const
    {
        long made = 1;
        curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &made);
        bool transport = code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
                         code == CURLE_OPERATION_TIMEDOUT || code == CURLE_SSL_CONNECT_ERROR;
        return made == 0 && transport && responseCode < 0 && workCount == 0;
    }

    void Reset(TStream* toStream, String* toText)
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

    void Request(const String& url, bool head, TStream* toStream, String* toText)
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
            Raise(EPROTONOSUPPORT, "Only https:// addresses are fetched.");
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
            Raise(refusal, refusalText.c_str());
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
            Raise(EPROTO, "The answer carried no HTTP status.");
        }
        bool success = status >= 200 && status <= 299;
        // An answer without a body never met the checks above.
        if (success && !checked)
            CheckAnswer(head);
        if (refusal) {
            Close();
            Raise(refusal, refusalText.c_str());
        }
        if (success && !head && contentLength < 0 && !chunked && !tls.closeNotice) {
            Close();
            Raise(ECONNRESET, "The answer ended without saying it was complete.");
        }
        if (!success)
            throw EIdHTTPProtocolException(int(status), statusLine, errorBody);
    }
};

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
