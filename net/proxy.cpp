#include "net/proxy.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "ui/form_password.h"

// Any failure to reach the API is taken for a proxy in the way: the proxy
// dialog asks for one and the request is made once more through it.
int TFormDecompres::CheckProxyThread(TIdHTTP* client, const AnsiString& url)
{
    int r = idHTTP_Head_msg(client, url, 0);
    if (r == 0)
        return 0;
    StageWorkApp = 4;
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
