#include "net/proxy.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "ui/form_password.h"

// A failure to reach the API is taken for a proxy in the way: the proxy
// dialog asks for one and the request is made once more through it. Not so
// an untrusted certificate, which no proxy mends (the tunnel still verifies
// it), nor a request cut because the window is closing.
int TFormDecompres::CheckProxyThread(TIdHTTP* client, const AnsiString& url)
{
    int r = idHTTP_Head_msg(client, url, 0);
    if (r == 0 || r == kCertificateNotVerified || Terminate_ThreadCritSec == Terminate_ThreadCode)
        return r;
    StageWorkApp = kStageProxyDialog;
    FormPassword->ShowModal();
    Application->ProcessMessages();
    Sleep(100);
    r = AuthorisationProxy(client, url, ProxyIp, ProxyPort, LoginUser, PasswordUser);
    if (r != 0)
        Info_toFile("Proxy authorization ", r);
    return r;
}

int AuthorisationProxy(TIdHTTP* client, const AnsiString& url, const AnsiString& address, int port,
                       const AnsiString& user, const AnsiString& password)
{
    client->ProxyParams.BasicAuthentication = true;
    client->ProxyParams.ProxyServer = address;
    client->ProxyParams.ProxyPort = port;
    client->ProxyParams.ProxyUsername = user;
    client->ProxyParams.ProxyPassword = password;
    return idHTTP_Get_msg(client, url);
}
