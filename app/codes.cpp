#include "app/codes.h"

#include "net/http_requests.h"
#include "net/transfer.h"
#include "order/manifest.h"

#include <cerrno>
#include <cstring>

AnsiString CodeMeaning(int code)
{
    switch (code) {
    case WSAHOST_NOT_FOUND: return "the server's host name was not found";
    case kCertificateNotVerified: return "the server's certificate is not trusted";
    case kNotHttps: return "an address is not https://";
    case kNoHttpStatus: return "the server's answer carried no HTTP status";
    case kTooLarge: return "the server stated a size larger than the installer accepts";
    case kSizeMismatch: return "a file did not end at the size the server stated for it";
    case kAnswerDoesNotFit: return "the server answered a resume with a part that does not fit the file";
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
    if (code <= -100 && code >= -599)
        return "the server answered " + IntToStr(-code);
    if (code < 0)
        return std::strerror(-code);
    return "code " + IntToStr(code);
}

AnsiString PlainReason(int code, const AnsiString& name)
{
    const AnsiString what = name.empty() ? AnsiString("the download") : name;
    switch (code) {
    case -ENOSPC: return "The disk is full.";
    case -EROFS:
    case -EACCES:
    case kCannotOpenFile: return "The folder does not let the installer write " + what + ".";
    case WSAHOST_NOT_FOUND: return "The download server was not found. Is this computer online?";
    case kCertificateNotVerified: return "The download server's certificate is not trusted.";
    case kSizeMismatch:
    case kAnswerDoesNotFit: return "The download server sent " + what + " incomplete.";
    default: break;
    }
    if (code <= -100 && code >= -599)
        return "The download server refused " + what + " (" + IntToStr(-code) + ").";
    if (code < 0)
        return "The connection to the download server failed (" + AnsiString(std::strerror(-code)) + ").";
    return "The download of " + what + " failed (code " + IntToStr(code) + ").";
}
