#include "platform/http_failures.h"

#include <cerrno>
#include <cstring>

String SocketText(int err, const char* what) { return "Socket Error # " + std::to_string(err) + "\n" + what; }

void RaiseSocketError(int err, const String& what, bool proxy)
{
    throw EIdSocketError(err, SocketText(err, what.c_str()), false, proxy);
}

namespace {
bool Says(const String& text, const char* words) { return text.find(words) != String::npos; }
}  // namespace

void RaiseClientFailure(const TFailureFacts& f)
{
    // A server that asked for a client certificate and ended the connection
    // before any answer (at once, or at the first read under TLS 1.3).
    bool early = f.code == CURLE_SSL_CONNECT_ERROR || f.code == CURLE_RECV_ERROR || f.code == CURLE_SEND_ERROR ||
                 f.code == CURLE_GOT_NOTHING;
    if (f.clientCertificateAsked && early && f.statusLine.empty())
        throw EIdOSSLConnectError(
            "The server asks for a client certificate, which the installer does not have.\n" + f.detail,
            EIdOSSLConnectError::ClientCertificate);
    // The proxy answered the tunnel itself: its status is no server's.
    if (f.connectCode >= 300)
        throw EIdHTTPProtocolException(int(f.connectCode), f.statusLine, f.errorBody, true, f.proxyAuthenticate);
    switch (f.code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
        RaiseSocketError(WSAHOST_NOT_FOUND, "The proxy's host name was not found.", true);
    case CURLE_COULDNT_RESOLVE_HOST:
        throw EIdSocketError(WSAHOST_NOT_FOUND, SocketText(WSAHOST_NOT_FOUND, "Host not found."));
    case CURLE_UNSUPPORTED_PROTOCOL:  // an HTTP/0.9 answer: no status line at all
    case CURLE_WEIRD_SERVER_REPLY:
        RaiseSocketError(EPROTO, "The answer carried no HTTP status.");
    case CURLE_COULDNT_CONNECT: {
        // Through a proxy, the connection refused or unreachable is the proxy's.
        int err = f.osErrno ? int(f.osErrno) : ECONNREFUSED;
        RaiseSocketError(err, f.viaProxy ? "The proxy: " + String(std::strerror(err)) : String(std::strerror(err)), f.viaProxy);
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        // What the server chose says more than how it ended.
        if (f.outdatedProtocol || Says(f.detail, "protocol version") || Says(f.detail, "unsupported protocol") ||
            Says(f.detail, "no protocols available"))
            throw EIdOSSLConnectError("The server speaks only an outdated version of TLS.\n" + f.detail,
                                      EIdOSSLConnectError::OutdatedProtocol);
        // A handshake cut short (a firewall that resets what it does not
        // like) is a failed connection, which a proxy may get around.
        if (f.code == CURLE_SSL_CONNECT_ERROR &&
            (f.osErrno == ECONNRESET || f.osErrno == EPIPE || Says(f.detail, "reset by peer") ||
             Says(f.detail, "unexpected eof") || Says(f.detail, "SSL_ERROR_SYSCALL")))
            RaiseSocketError(ECONNRESET, "The connection was cut during the secure handshake.");
        [[fallthrough]];
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
        throw EIdOSSLConnectError(f.detail);
    case CURLE_OPERATION_TIMEDOUT:
        RaiseSocketError(ETIMEDOUT, std::strerror(ETIMEDOUT));
    case CURLE_OUT_OF_MEMORY:  // how this libcurl refuses a header past its 100 KiB
#if LIBCURL_VERSION_NUM >= 0x080600
    case CURLE_TOO_LARGE:
#endif
        RaiseSocketError(EMSGSIZE, "The answer is too large to take: " + f.detail);
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING: {
        int err = f.osErrno ? int(f.osErrno) : ECONNRESET;
        RaiseSocketError(err, std::strerror(err));
    }
    default:
        throw EIdException(f.detail);
    }
}
