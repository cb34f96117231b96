// The installer's unpacker: unrar -o- x ARCHIVE DESTINATION
// (and unrar need ARCHIVE DESTINATION: the bytes that would still be written)
//
// Extracts a RAR archive (RAR 4 or RAR 5; given its first volume, the later
// volumes are found beside it) into DESTINATION with its folders, never
// overwriting an existing file. Exit status 0 only when every entry was
// extracted or already there; otherwise one line on stderr says what failed.

#include "tools/unrar/extract.h"
#include "tools/unrar/layout.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <sys/stat.h>

namespace {
// What unpacking ARCHIVE into DESTINATION would still write: the bytes of the
// files not there yet (an unpacking cut short left the others).
uint64_t BytesStillToWrite(const ArchiveLayout& layout, const std::string& destination)
{
    uint64_t bytes = 0;
    for (const ArchiveEntry& e : layout.entries) {
        if (e.directory || e.olderVersion)
            continue;
        std::string path = destination + "/" + layout.Name(e);
        std::replace(path.begin(), path.end(), '\\', '/');
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0)
            bytes += e.size;
    }
    return bytes;
}
}  // namespace

int main(int argc, char** argv)
{
    const bool need = argc == 4 && std::strcmp(argv[1], "need") == 0;
    const bool extract = argc == 5 && std::strcmp(argv[1], "-o-") == 0 && std::strcmp(argv[2], "x") == 0;
    if ((!need && !extract) || !*argv[argc - 2] || !*argv[argc - 1]) {
        std::fprintf(stderr, "usage: unrar -o- x ARCHIVE DESTINATION\n       unrar need ARCHIVE DESTINATION\n");
        return 2;
    }
    // Names are UTF-8 whatever the caller's locale.
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    RemoveTemporariesOnStop();
    try {
        ArchiveLayout layout = ReadLayout(argv[argc - 2]);
        if (need)
            std::printf("%llu\n", static_cast<unsigned long long>(BytesStillToWrite(layout, argv[argc - 1])));
        else
            ExtractArchive(layout, argv[argc - 1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unrar: %s\n", e.what());
        return 1;
    }
    return 0;
}
