#include "net/http_requests.h"

#include "platform/text.h"
#include "platform/forms.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

int idHTTP_setReturnCode(TIdHTTP* client)
{
    int status = client->ResponseCode();
    if (status == 200 || status == 206)
        return 0;
    return status > 0 ? -status : status;
}

int idHTTP_ShowReturnCode(TIdHTTP* client, const AnsiString& message)
{
    int code = idHTTP_setReturnCode(client);
    if (code == 0)
        return 0;
    ShowMessage(WithoutCredentials(message) + "\nResponseCode= " + IntToStr(client->ResponseCode()) + "\nCode=" +
                IntToStr(code) + " <" + PrintableLine(client->ResponseText()) + ">");
    return code;
}

int ShowReturnCodeExcept(const AnsiString& message, int number)
{
    if (number > 0 && number != WSAHOST_NOT_FOUND)
        number = -number;
    if (number < 0)
        ShowMessage(WithoutCredentials(message));
    return number;
}

bool NoProxyMends(int code)
{
    return code == kCertificateNotVerified || code == kClientCertificateAsked || code == kOutdatedTls;
}

namespace {
// The shape every request function shares. `request` may replace the
// message given to the status report (the text GET puts its body there).
// `quiet`: a status the caller handles itself, returned without a box.
template <class Request>
int Run(TIdHTTP* client, AnsiString message, Request&& request, int64_t limit = 0, int quiet = 0)
{
    struct Limit {
        TIdHTTP* client;
        Limit(TIdHTTP* c, int64_t bytes) : client(c) { client->BodyLimit = bytes; }
        ~Limit() { client->BodyLimit = 0; }
    } scoped(client, limit);
    try {
        request(message);
    } catch (const EIdSocketError& e) {
        // A cut the user asked for (Pause, Back, closing) is no failure to report.
        if (e.Cancelled)
            return -e.LastError;
        if (e.Proxy)
            return ShowReturnCodeExcept(message + "\nProxy Error: " + e.Message,
                                        e.LastError == WSAHOST_NOT_FOUND ? kProxyNotFound : kProxyUnreachable);
        return ShowReturnCodeExcept(message + "\nSocket Error: " + e.Message, e.LastError);
    } catch (const EIdHTTPProtocolException& e) {
        // The proxy's own answer to the tunnel: its status line is what the
        // network's administrator needs.
        if (e.Proxy) {
            bool password = e.ErrorCode == 407 || e.ErrorCode == 401;
            bool basic = e.ProxyAuthenticate.empty() || e.ProxyAuthenticate.find("Basic") != AnsiString::npos;
            int code = !password ? kProxyRefused - e.ErrorCode : basic ? kProxyRefusedPassword : kProxyOtherAuthentication;
            return ShowReturnCodeExcept(message + "\nProxy Error: " + PrintableLine(e.Message) +
                                            (basic ? AnsiString() : "\nThe proxy asks for: " + e.ProxyAuthenticate),
                                        code);
        }
        if (e.ErrorCode == quiet && quiet != 0)
            return -quiet;
        // An error page is the server's text: one line of it, nothing that steers a terminal.
        return ShowReturnCodeExcept(message + "\nHTTPProtocol Error: " + PrintableLine(e.ErrorMessage), e.ErrorCode);
    } catch (const EInOutError& e) {
        // The body could not be written: a full disk, a folder gone.
        return ShowReturnCodeExcept(message + "\nWrite Error: " + e.Message, e.ErrorCode ? e.ErrorCode : EIO);
    } catch (const EIdOSSLConnectError& e) {
        if (e.Cause != EIdOSSLConnectError::Certificate)
            return ShowReturnCodeExcept(message + "\nSSL Error: " + e.Message,
                                        e.Cause == EIdOSSLConnectError::ClientCertificate ? kClientCertificateAsked
                                                                                          : kOutdatedTls);
        return ShowReturnCodeExcept(
            message + "\nSSL Error: The server's certificate could not be verified.\n" + e.Message,
            kCertificateNotVerified);
    } catch (const std::exception& e) {
        // Whatever else the client raises is one failed request too.
        return ShowReturnCodeExcept(message + "\nError: " + PrintableLine(e.what()), kRequestFailed);
    }
    return idHTTP_ShowReturnCode(client, message);
}
}  // namespace

int idHTTP_Head_msg(TIdHTTP* client, const AnsiString& url, int)
{
    return Run(client, "Head_msg Error: " + url, [&](AnsiString&) { client->Head(url); });
}

int idHTTP_FileSize(TIdHTTP* client, const AnsiString& url, int64_t& size)
{
    size = 0;
    int r = idHTTP_Head_msg(client, url, 0);
    if (r == 0)
        size = client->ContentLength();
    return r;
}

int idHTTP_Get_msg(TIdHTTP* client, const AnsiString& url)
{
    return Run(
        client, "Get_msg Error: " + url, [&](AnsiString& message) { message = PrintableLine(client->Get(url)); },
        kTextLimit);
}

int idHTTP_Get_FileStream(TIdHTTP* client, const AnsiString& url, TStream* file, int64_t limit, int quietStatus)
{
    if (!file)
        return kNoFileStream;
    return Run(
        client, "Get_FileStream Error: " + url, [&](AnsiString&) { client->Get(url, file); }, limit, quietStatus);
}

int idHTTP_Get_MemoryStream(TIdHTTP* client, const AnsiString& url, TMemoryStream* memory, int64_t limit)
{
    if (!memory)
        return kNoMemoryStream;
    return Run(client, "Get_MemoryStream Error: " + url, [&](AnsiString&) { client->Get(url, memory); }, limit);
}

int GetFile_Url(const char* url, AnsiString& name)
{
    name.clear();
    int count = search_num_char(url, '/', -1);
    if (count < 0)
        return -1;
    name = url + search_num_char(url, '/', count) + 1;
    return 0;
}

int LocalFileName(const AnsiString& url, AnsiString& name)
{
    AnsiString raw;
    if (GetFile_Url(url.c_str(), raw) != 0)
        return -1;
    name.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        auto hex = [&](size_t at) { return at < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[at])); };
        if (raw[i] == '%' && hex(i + 1) && hex(i + 2)) {
            name += char(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            name += raw[i];
        }
    }
    bool odd = std::any_of(name.begin(), name.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return name.empty() || name == "." || name == ".." || odd ? -1 : 0;
}
