#pragma once

#include "platform/http.h"

// Puts the proxy and its Basic credentials on the client for good: every
// later request goes through it.
void UseProxy(TIdHTTP* client, const AnsiString& address, int port, const AnsiString& user, const AnsiString& password);
// The same, then GETs `url` through it.
int AuthorisationProxy(TIdHTTP* client, const AnsiString& url, const AnsiString& address, int port,
                       const AnsiString& user, const AnsiString& password);
