#pragma once
// One request each, turned into one return code:
//   0            the final status was 200 or 206
//   -status      any other status
//   -errno       the connection failed, or the body could not be written
//                (-28: the disk is full)
//   11001        the host was not found (positive, and without a message box)
//   -495         the TLS handshake failed: the server's certificate could
//                not be verified (or no secure connection could be agreed)
//   -496         the server asks for a client certificate
//   -497         the server speaks only an outdated version of TLS
//   -1001        the proxy's host name was not found
//   -1002        the proxy could not be reached (refused, unreachable)
//   -1407        the proxy refused the user name or password
//   -1408        the proxy asks for an authentication other than Basic
//   -1000-status the proxy refused the tunnel to the server with that status
//   -93          the address is not https://: nothing was sent
//   -71          the answer carried no HTTP status
//   -27          the body is larger than the limit the caller gave
//   -74          the answer disagrees with the file's size, or its range
//                starts elsewhere than asked
//   -84          the body came compressed, which was never asked for
//   -90          the answer's headers are too large to take
//   -600         anything else the client raised (a URL it cannot parse, ...)
// Every other failure shows one message box naming the function, the URL
// and the cause.

#include "platform/http.h"

constexpr int kCertificateNotVerified = -495;
constexpr int kClientCertificateAsked = -496;
constexpr int kOutdatedTls = -497;
constexpr int kProxyNotFound = -1001;
constexpr int kProxyUnreachable = -1002;
constexpr int kProxyRefusedPassword = -1407;
constexpr int kProxyOtherAuthentication = -1408;
constexpr int kProxyRefused = -1000;  // minus the proxy's status
// The failures no proxy mends (a proxy's tunnel verifies the server all the same).
bool NoProxyMends(int code);
constexpr int kNotHttps = -93;       // -EPROTONOSUPPORT
constexpr int kNoHttpStatus = -71;   // -EPROTO
constexpr int kTooLarge = -27;       // -EFBIG
constexpr int kNoFileStream = -43;   // idHTTP_Get_FileStream without a stream: no request made
constexpr int kNoMemoryStream = -53; // idHTTP_Get_MemoryStream without a stream: no request made
constexpr int kSizeMismatch = -74;   // -EBADMSG: not the file's one size
constexpr int kCompressed = -84;     // -EILSEQ
constexpr int kHeaderTooLarge = -90; // -EMSGSIZE
constexpr int kRequestFailed = -600;
constexpr int64_t kTextLimit = 64 << 10;  // the body of idHTTP_Get_msg, which nobody reads

int idHTTP_setReturnCode(TIdHTTP* client);
int idHTTP_ShowReturnCode(TIdHTTP* client, const AnsiString& message);
int ShowReturnCodeExcept(const AnsiString& message, int number);

// Callers pass 0 or 1 as a third argument, which changes nothing: every
// failure shows its box.
int idHTTP_Head_msg(TIdHTTP* client, const AnsiString& url, int ignored = 0);
int idHTTP_FileSize(TIdHTTP* client, const AnsiString& url, int64_t& size);
int idHTTP_Get_msg(TIdHTTP* client, const AnsiString& url);
// `limit`: the most bytes the body may bring (-27 beyond), 0 for no limit.
// `quietStatus`: a status the caller handles itself, returned as its code
// without a box.
int idHTTP_Get_FileStream(TIdHTTP* client, const AnsiString& url, TStream* file, int64_t limit = 0,
                          int quietStatus = 0);
int idHTTP_Get_MemoryStream(TIdHTTP* client, const AnsiString& url, TMemoryStream* memory, int64_t limit = 0);

// The part of the URL after its last "/"; -1 when it has none.
int GetFile_Url(const char* url, AnsiString& name);
// The name of the file an address names, as the buyer expects it on disk:
// that part percent-decoded ("Read%20Me.pdf" is "Read Me.pdf"). -1 when
// there is none, or when decoded it is no name within a folder (a '/', NUL
// or another control character, "." or "..").
int LocalFileName(const AnsiString& url, AnsiString& name);
