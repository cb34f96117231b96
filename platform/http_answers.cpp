// What an answer must be before its body is taken: its status line and
// headers read, the file's one size (the HEAD's, the length's and the
// range's), no encoding never asked for, no byte past the size or a limit.

#include "platform/http_client.h"

#include "platform/http_failures.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <strings.h>

namespace {
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

size_t TIdHTTP::Impl::OnHeader(char* data, size_t size, size_t count, void* self)
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

void TIdHTTP::Impl::Refuse(int err, String why)
{
    if (!refusal) {
        refusal = err;
        refusalText = std::move(why);
    }
}

// The size of the whole file as this answer states it, -1 when it does not.
int64_t TIdHTTP::Impl::StatedEntity() const
{
    if (responseCode == 206 || responseCode == 416)
        return rangeTotal;
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return int64_t(length);
}

// A successful answer, held against what was asked before any byte of it
// is taken: the encoding, the range's start, the file's one size.
void TIdHTTP::Impl::CheckAnswer(bool head)
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

size_t TIdHTTP::Impl::OnBody(char* data, size_t size, size_t count, void* self)
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
