// The client's TLS side: what the handshake showed (the protocol the server
// chose, a client certificate asked for) and how a body without a length
// ended (the close notice); and sockets no started program inherits.

#include "platform/http_client.h"

#include <fcntl.h>
#include <openssl/ssl.h>

namespace {
// Where a TLS context keeps the connection's flags.
int FlagsIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

TlsFlags* FlagsOf(const SSL* ssl)
{
    return static_cast<TlsFlags*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), FlagsIndex()));
}

// A body without a length ends when the connection does; only TLS's close
// notice tells a finished body from a cut one, and libcurl takes both alike.
// The protocol the server chose is noted on the way.
void WatchHandshake(const SSL* ssl, int where, int alert)
{
    TlsFlags* flags = FlagsOf(ssl);
    if (!flags)
        return;
    if (where & SSL_CB_LOOP)
        flags->version = SSL_version(ssl);
    if ((where & SSL_CB_READ_ALERT) == SSL_CB_READ_ALERT && (alert & 0xff) == SSL_AD_CLOSE_NOTIFY)
        flags->closeNotice = true;
}

// The installer has no client certificate; a server that asks for one is
// said to, when it then fails.
int NoClientCertificate(SSL* ssl, X509**, EVP_PKEY**)
{
    if (TlsFlags* flags = FlagsOf(ssl))
        flags->certificateAsked = true;
    return 0;
}
}  // namespace

CURLcode OnTlsContext(CURL*, void* context, void* flags)
{
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_ex_data(ctx, FlagsIndex(), flags);
    SSL_CTX_set_info_callback(ctx, WatchHandshake);
    SSL_CTX_set_client_cert_cb(ctx, NoClientCertificate);
    return CURLE_OK;
}

// A connection is the program's alone: no program it starts (a file
// manager, a command) holds it open.
int CloseOnExec(void*, curl_socket_t socket, curlsocktype)
{
    fcntl(socket, F_SETFD, fcntl(socket, F_GETFD) | FD_CLOEXEC);
    return CURL_SOCKOPT_OK;
}
