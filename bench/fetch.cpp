// GETs one URL into a file with the installer's HTTP client, as the
// installer does: kestrow-fetch URL OUTPUT [CA-FILE]

#include "platform/http.h"
#include "tools/usage.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const char* usage = "usage: kestrow-fetch URL OUTPUT [CA-FILE]\nFetches URL into OUTPUT with the installer's HTTP client.\n";
    if (HelpAsked(argc, argv))
        return Usage(usage, true);
    if (argc < 3 || argc > 4)
        return Usage(usage, false);
    TIdHTTP client(nullptr);
    TIdSSLIOHandlerSocketOpenSSL ssl(nullptr);
    client.IOHandler = &ssl;
    if (argc == 4)
        ssl.CAFile = argv[3];
    client.Request.UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    client.Request.Accept = "*/*";
    try {
        TFileStream file(argv[2], fmCreate);
        client.Get(argv[1], &file);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrow-fetch: %s\n", e.what());
        return 1;
    }
    return 0;
}
