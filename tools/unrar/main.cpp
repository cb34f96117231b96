// The installer's unpacker: unrar -o- x ARCHIVE DESTINATION
// (-o+ in place of -o-: a file that differs from its entry is written again;
// unrar need ARCHIVE DESTINATION: the bytes that would still be written)
//
// Extracts a RAR archive (RAR 4 or RAR 5; given its first volume, the later
// volumes are found beside it) into DESTINATION with its folders. Exit status
// 0 only when every entry was extracted or already there; otherwise one line
// on stderr says what failed, and the status why (UnrarCause).

#include "tools/unrar/extract.h"
#include "tools/unrar/layout.h"
#include "tools/usage.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
// What unpacking ARCHIVE into DESTINATION with -o+ would still write: the
// bytes of the files not there yet, or not whole (an unpacking cut short).
uint64_t BytesStillToWrite(const ArchiveLayout& layout, const std::string& destination)
{
    uint64_t bytes = 0;
    for (const ArchiveEntry& e : layout.entries) {
        if (e.directory || e.olderVersion)
            continue;
        std::string path = destination + "/" + layout.Name(e);
        std::replace(path.begin(), path.end(), '\\', '/');
        if (!FileMatchesEntry(AT_FDCWD, path.c_str(), e))
            bytes += e.size;
    }
    return bytes;
}

// Ends with whoever started it (the installer, or the shell between them):
// an unpacker left alone would write on into a folder nobody watches.
void EndWithTheParent()
{
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        raise(SIGTERM);
}
}  // namespace

int main(int argc, char** argv)
{
    const bool need = argc == 4 && std::strcmp(argv[1], "need") == 0;
    const bool replace = argc == 5 && std::strcmp(argv[1], "-o+") == 0;
    const bool extract = argc == 5 && (replace || std::strcmp(argv[1], "-o-") == 0) && std::strcmp(argv[2], "x") == 0;
    const char* usage = "usage: unrar -o- x ARCHIVE DESTINATION   (-o+: write again a file that differs)\n"
                        "       unrar need ARCHIVE DESTINATION\n";
    if (argc == 2 && HelpAsked(argc, argv))
        return Usage(usage, true);
    if ((!need && !extract) || !*argv[argc - 2] || !*argv[argc - 1])
        return Usage(usage, false);
    // Names are UTF-8 whatever the caller's locale.
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    RemoveTemporariesOnStop();
    EndWithTheParent();
    try {
        ArchiveLayout layout = ReadLayout(argv[argc - 2]);
        if (need)
            std::printf("%llu\n", static_cast<unsigned long long>(BytesStillToWrite(layout, argv[argc - 1])));
        else
            ExtractArchive(layout, argv[argc - 1], replace ? ExistingFiles::ReplaceIfDifferent : ExistingFiles::Keep);
    } catch (const UnrarError& e) {
        std::fprintf(stderr, "unrar: %s\n", e.what());
        return int(e.cause);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unrar: %s\n", e.what());
        return int(UnrarCause::Damaged);
    }
    return 0;
}
