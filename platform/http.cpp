#include "platform/http.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <cctype>
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

String SocketText(int err, const char* what)
{
    return "Socket Error # " + std::to_string(err) + "\n" + what;
}

[[noreturn]] void Raise(int err, const char* what) { throw EIdSocketError(err, SocketText(err, what)); }

// Where a TLS context keeps the flag that its peer said close_notify.
int CloseNoticeIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// A body without a length ends when the connection does; only TLS's close
// notice tells a finished body from a cut one, and libcurl takes both alike.
void WatchCloseNotice(const SSL* ssl, int where, int alert)
{
    if ((where & SSL_CB_READ_ALERT) != SSL_CB_READ_ALERT || (alert & 0xff) != SSL_AD_CLOSE_NOTIFY)
        return;
    if (auto* seen = static_cast<bool*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CloseNoticeIndex())))
        *seen = true;
}

// A connection is the program's alone: no program it starts (a file
// manager, a command) holds it open.
int CloseOnExec(void*, curl_socket_t socket, curlsocktype)
{
    fcntl(socket, F_SETFD, fcntl(socket, F_GETFD) | FD_CLOEXEC);
    return CURL_SOCKOPT_OK;
}

CURLcode OnTlsContext(CURL*, void* context, void* closeNotice)
{
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_ex_data(ctx, CloseNoticeIndex(), closeNotice);
    SSL_CTX_set_info_callback(ctx, WatchCloseNotice);
    return CURLE_OK;
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

    // last response
    int responseCode = -1;
    String statusLine;
    int64_t contentLength = -1;
    int64_t rangeStart = -1;
    int64_t rangeTotal = -1;
    bool chunked = false;
    bool closeNotice = false;
    String encoding;  // Content-Encoding, when the answer named one

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
        } else if (n > 17 && strncasecmp(data, "Content-Encoding:", 17) == 0) {
            String value(data + 17, n - 17);
            auto first = value.find_first_not_of(" \t"), last = value.find_last_not_of(" \t\r\n");
            d->encoding = first == String::npos ? String() : value.substr(first, last - first + 1);
            if (strcasecmp(d->encoding.c_str(), "identity") == 0)
                d->encoding.clear();
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
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &closeNotice);
            curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &CloseOnExec);
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

        const String& ca = owner->IOHandler ? owner->IOHandler->CAFile : String();
        curl_easy_setopt(easy, CURLOPT_CAINFO, ca.empty() ? nullptr : ca.c_str());
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(owner->ConnectTimeoutMs));
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, StallBytesPerSecond);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, long(std::max(1, owner->ReadTimeoutMs / 1000)));
    }

    // Runs one request, raising work events at least every kWorkEventMs.
    CURLcode Perform()
    {
        CURLcode result = CURLE_OK;
        curl_multi_add_handle(multi, easy);
        try {
            int running = 1;
            while (running && !cancel) {
                if (curl_multi_perform(multi, &running) != CURLM_OK)
                    break;
                if (owner->OnWork)
                    owner->OnWork(owner, TWorkMode::wmRead, workCount);
                if (running && !cancel)
                    curl_multi_poll(multi, nullptr, 0, kWorkEventMs, nullptr);
            }
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left))
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
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
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        long connectCode = 0;
        curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
        String detail = errbuf[0] ? String(errbuf) : String(curl_easy_strerror(code));
        // Drop the connection: its state after a failure is unknown.
        Close();
        if (connectCode >= 300)
            throw EIdHTTPProtocolException(int(connectCode), statusLine, errorBody);
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            throw EIdSocketError(WSAHOST_NOT_FOUND, SocketText(WSAHOST_NOT_FOUND, "Host not found."));
        case CURLE_UNSUPPORTED_PROTOCOL:  // an HTTP/0.9 answer: no status line at all
        case CURLE_WEIRD_SERVER_REPLY:
            Raise(EPROTO, "The answer carried no HTTP status.");
        case CURLE_COULDNT_CONNECT: {
            int err = osErrno ? int(osErrno) : ECONNREFUSED;
            Raise(err, std::strerror(err));
        }
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
            throw EIdOSSLConnectError(detail);
        case CURLE_OPERATION_TIMEDOUT:
            Raise(ETIMEDOUT, std::strerror(ETIMEDOUT));
        case CURLE_OUT_OF_MEMORY:  // how this libcurl refuses a header past its 100 KiB
#if LIBCURL_VERSION_NUM >= 0x080600
        case CURLE_TOO_LARGE:
#endif
            Raise(EMSGSIZE, ("The answer is too large to take: " + detail).c_str());
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING: {
            int err = osErrno ? int(osErrno) : ECONNRESET;
            Raise(err, std::strerror(err));
        }
        default:
            throw EIdException(detail);
        }
    }

    void Request(const String& url, bool head, TStream* toStream, String* toText)
    {
        if (busy)
            throw EIdException("The HTTP client is already running a request.");
        busy = true;
        cancel = false;
        responseCode = -1;
        statusLine.clear();
        contentLength = -1;
        rangeStart = -1;
        rangeTotal = -1;
        chunked = false;
        closeNotice = false;
        encoding.clear();
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
        struct Done {
            Impl* d;
            ~Done()
            {
                d->busy = false;
                d->stream = nullptr;
                d->text = nullptr;
                if (d->owner->OnWorkEnd)
                    d->owner->OnWorkEnd(d->owner, TWorkMode::wmRead);
            }
        } done{this};

        // libcurl refuses other schemes too; this says why before it is asked.
        if (strncasecmp(url.c_str(), "https://", 8) != 0)
            Raise(EPROTONOSUPPORT, "Only https:// addresses are fetched.");
        Prepare(url, head);
        if (owner->OnWorkBegin)
            owner->OnWorkBegin(owner, TWorkMode::wmRead, 0);
        CURLcode code = Perform();
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
        if (success && !head && contentLength < 0 && !chunked && !closeNotice) {
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
