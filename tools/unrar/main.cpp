// The installer's unpacker: unrar -o- x ARCHIVE DESTINATION
//
// Extracts a RAR archive (RAR 4 or RAR 5; given its first volume, the later
// volumes are found beside it) into DESTINATION with its folders, never
// overwriting an existing file. Exit status 0 only when every entry was
// extracted or already there; otherwise one line on stderr says what failed.

#include "tools/unrar/extract.h"
#include "tools/unrar/layout.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

int main(int argc, char** argv)
{
    if (argc != 5 || std::strcmp(argv[1], "-o-") != 0 || std::strcmp(argv[2], "x") != 0 || !*argv[3] || !*argv[4]) {
        std::fprintf(stderr, "usage: unrar -o- x ARCHIVE DESTINATION\n");
        return 2;
    }
    // Names are UTF-8 whatever the caller's locale.
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    RemoveTemporariesOnStop();
    try {
        ExtractArchive(ReadLayout(argv[3]), argv[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unrar: %s\n", e.what());
        return 1;
    }
    return 0;
}
