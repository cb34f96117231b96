#pragma once
// What a failed request of the HTTP client raises.
//
// Failures come in three kinds:
//   EIdSocketError            the connection failed: a system errno
//                             (refused 111, reset 104, timed out 110, ...), or
//                             11001 when the host name does not resolve; Proxy
//                             set when it is the proxy that cannot be found
//                             or reached; a handshake cut short is a reset;
//                             a request cut by Disconnect is ECONNABORTED (103)
//                             with Cancelled set. Also: an address that is
//                             not https:// (EPROTONOSUPPORT, 93, nothing is
//                             sent), an answer without an HTTP status
//                             (EPROTO, 71), a body larger than BodyLimit
//                             (EFBIG, 27), a body without a length that
//                             ended without TLS's close notice, which may be
//                             a cut (ECONNRESET), an answer that disagrees
//                             with ExpectedLength or starts elsewhere than
//                             the range asked (EBADMSG, 74), a body sent
//                             compressed though no encoding was asked for
//                             (EILSEQ, 84), and headers too large to take
//                             (EMSGSIZE, 90);
//   EIdHTTPProtocolException  the server answered a final status outside
//                             2xx, or the proxy refused the tunnel (Proxy set,
//                             with the schemes it asked to authenticate by);
//   EIdOSSLConnectError       the TLS handshake failed: the server's
//                             certificate was not accepted (unknown
//                             authority, expired, another host's), the server
//                             asked for a client certificate, or speaks only
//                             an outdated protocol (its Cause);
//   EIdException              anything else: a bad URL, a local write failure.

#include "platform/system.h"

class EIdException : public Exception {
public:
    using Exception::Exception;
};

class EIdSocketError : public EIdException {
public:
    EIdSocketError(int lastError, String message, bool cancelled = false, bool proxy = false)
        : EIdException(std::move(message)), LastError(lastError), Cancelled(cancelled), Proxy(proxy)
    {
    }
    int LastError;
    bool Cancelled;  // cut by Disconnect
    bool Proxy;      // the proxy could not be found or reached
};

class EIdHTTPProtocolException : public EIdException {
public:
    EIdHTTPProtocolException(int errorCode, String statusLine, String errorBody, bool proxy = false,
                             String proxyAuthenticate = {})
        : EIdException(std::move(statusLine)), ErrorCode(errorCode), ErrorMessage(std::move(errorBody)),
          Proxy(proxy), ProxyAuthenticate(std::move(proxyAuthenticate))
    {
    }
    int ErrorCode;
    String ErrorMessage;       // the body of the error response
    bool Proxy;                // the proxy's answer to the tunnel (Message: its status line)
    String ProxyAuthenticate;  // the schemes it asked for ("Basic", "NTLM, Negotiate"), when it did
};

class EIdOSSLConnectError : public EIdException {
public:
    enum TCause { Certificate, ClientCertificate, OutdatedProtocol };
    explicit EIdOSSLConnectError(String message, TCause cause = Certificate)
        : EIdException(std::move(message)), Cause(cause)
    {
    }
    TCause Cause;
};

constexpr int WSAHOST_NOT_FOUND = 11001;
