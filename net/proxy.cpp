#include "net/proxy.h"

#include "net/http_requests.h"

void UseProxy(TIdHTTP* client, const AnsiString& address, int port, const AnsiString& user, const AnsiString& password)
{
    client->ProxyParams.BasicAuthentication = true;
    client->ProxyParams.ProxyServer = address;
    client->ProxyParams.ProxyPort = port;
    client->ProxyParams.ProxyUsername = user;
    client->ProxyParams.ProxyPassword = password;
}

int AuthorisationProxy(TIdHTTP* client, const AnsiString& url, const AnsiString& address, int port,
                       const AnsiString& user, const AnsiString& password)
{
    UseProxy(client, address, port, user, password);
    return idHTTP_Get_msg(client, url);
}
