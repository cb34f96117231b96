#include "app/codes.h"

#include "net/http_requests.h"
#include "net/transfer.h"
#include "order/manifest.h"

#include <cctype>
#include <cerrno>
#include <cstring>

AnsiString TransportFailure(int code)
{
    switch (-code) {
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return "the connection was cut";
    case ETIMEDOUT: return "the connection timed out";
    case ECONNREFUSED: return "the connection was refused";
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return "the server could not be reached";
    default: return "";
    }
}

AnsiString CodeMeaning(int code)
{
    switch (code) {
    case WSAHOST_NOT_FOUND: return "the server's host name was not found";
    case kCertificateNotVerified: return "the server's certificate is not trusted";
    case kClientCertificateAsked: return "the server asks for a client certificate, which the installer does not have";
    case kOutdatedTls: return "the server speaks only an outdated version of TLS";
    case kProxyNotFound: return "the proxy's host name was not found";
    case kProxyUnreachable: return "the proxy could not be reached";
    case kProxyRefusedPassword: return "the proxy refused the user name or password";
    case kProxyOtherAuthentication:
        return "the proxy asks for NTLM, Digest or another authentication, which the installer does not speak";
    case kNotHttps: return "an address is not https://";
    case kNoHttpStatus: return "the server's answer carried no HTTP status";
    case kTooLarge: return "the server stated a size larger than the installer accepts";
    case kSizeMismatch: return "the server's answer disagrees with the file's stated size";
    case kCompressed: return "the server sent the file compressed, which was not asked for";
    case kHeaderTooLarge: return "the server's answer had headers too large to take";
    case kRequestFailed: return "the request could not be made";
    case kCannotCreateFile: return "the order list could not be stored";
    case kCannotOpenFile: return "a file of the order could not be created or opened in the folder";
    case kManifestCannotOpen: return "the order list could not be read";
    case kManifestBadLine: return "the order list holds a line that is not a file's https address";
    case kManifestNotAFileUrl: return "an entry of the order list is not the https address of a file";
    case kManifestEmpty: return "the order list is empty";
    case kManifestOutOfSequence: return "the order list names archive volumes out of sequence";
    case kManifestTooLong: return "the order list has more entries than the installer takes";
    case kManifestBadPartNumber: return "an archive of the order list has no volume number";
    case kManifestSameName: return "two entries of the order list name the same file";
    default: break;
    }
    if (AnsiString cause = TransportFailure(code); !cause.empty())
        return cause;
    if (code <= -200 && code >= -599)
        return "the server answered " + IntToStr(-code);
    if (code <= kProxyRefused - 200 && code >= kProxyRefused - 599)
        return "the proxy refused the connection to the server (it answered " + IntToStr(kProxyRefused - code) + ")";
    if (code < 0 && code > -1000)
        return std::strerror(-code);
    return "code " + IntToStr(code);
}

namespace {
// "the proxy could not be reached" as a sentence of its own.
AnsiString Sentence(AnsiString words, const char* end = ".")
{
    if (!words.empty())
        words[0] = char(std::toupper(static_cast<unsigned char>(words[0])));
    return words + end;
}
}  // namespace

AnsiString PlainReason(int code, const AnsiString& name)
{
    const AnsiString what = name.empty() ? AnsiString("the download") : name;
    // The proxy's failures are the network's: said as the proxy's.
    if (code <= kProxyNotFound && code > kProxyRefused - 1000)
        return Sentence(CodeMeaning(code));
    switch (code) {
    case -ENOSPC: return "The disk is full.";
    case -EROFS:
    case -EACCES:
    case kCannotOpenFile: return "The folder does not let the installer write " + what + ".";
    case WSAHOST_NOT_FOUND: return "The download server was not found. Is this computer online?";
    case kCertificateNotVerified: return "The download server's certificate is not trusted.";
    case kClientCertificateAsked:
    case kOutdatedTls: return "The download server " + CodeMeaning(code).substr(11) + ".";
    case kSizeMismatch: return "The download server sent " + what + " at a size other than it stated.";
    case kCompressed: return "The download server sent " + what + " compressed, which was not asked for.";
    default: break;
    }
    if (AnsiString cause = TransportFailure(code); !cause.empty())
        return Sentence(cause, (" (" + what + ").").c_str());
    if (code <= -200 && code >= -599)
        return "The download server refused " + what + " (" + IntToStr(-code) + ").";
    if (code < 0)
        return "The connection to the download server failed (" + AnsiString(std::strerror(-code)) + ").";
    return "The download of " + what + " failed (code " + IntToStr(code) + ").";
}
