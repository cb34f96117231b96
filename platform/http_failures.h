#pragma once
// Inside the client only: what a failed request comes to, by cause. A
// certificate that is not trusted is one thing, a connection cut during the
// handshake another (a firewall; a proxy may get through), and a proxy that
// refuses the buyer's password a third, which the network's administrator
// mends, not the vendor.

#include "platform/http_errors.h"

#include <curl/curl.h>

struct TFailureFacts {
    CURLcode code = CURLE_OK;
    long osErrno = 0;
    long connectCode = 0;       // the proxy's answer to the tunnel, 0 when none
    String detail;              // libcurl's own words
    String statusLine;          // the last status line received
    String errorBody;
    String proxyAuthenticate;   // the schemes the proxy asked for
    bool viaProxy = false;
    bool clientCertificateAsked = false;
    bool outdatedProtocol = false;  // the server chose a TLS older than 1.2
};

// Raises the exception of the failure's kind (see http.h), with its words.
[[noreturn]] void RaiseClientFailure(const TFailureFacts& facts);

// "Socket Error # N" and the words, as every socket failure reads.
String SocketText(int err, const char* what);
// Raises the socket failure `err` with its words; `proxy`: the proxy's.
[[noreturn]] void RaiseSocketError(int err, const String& what, bool proxy = false);
