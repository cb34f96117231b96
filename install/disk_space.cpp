#include "install/disk_space.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/text.h"
#include "platform/wait.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

int64_t DiskspaceOfDfOutput(FILE* output)
{
    // The figure alone: a volume's name or mount point may hold blanks, a
    // '%' or hundreds of characters (a network share), and none of it is read.
    char line[64];
    if (!std::fgets(line, sizeof line, output) || !std::fgets(line, sizeof line, output))
        return 0;
    // The leading number only, as "%ld" reads it; a volume's worth of blocks
    // stays a byte count however large.
    long long blocks = std::strtoll(line, nullptr, 10);
    constexpr long long kMaxBlocks = std::numeric_limits<int64_t>::max() / 512;
    return int64_t(std::clamp(blocks, -kMaxBlocks, kMaxBlocks)) * 512;
}

int64_t Get_Diskspace()
{
    const AnsiString& dir = FormDecompres->DirSaveFile;
    if (Pos(FormDecompres->DirSeparator, dir) > 1)
        return -1;
    AnsiString output = FormDecompres->DirTemp + "dfDiskspace.txt";
    // GNU df counts 1024-byte blocks unless told otherwise; only the figure is asked for.
    RunShellCommand("df -B512 --output=avail " + QuotedPath(dir) + " > " + QuotedPath(output));
    FILE* f = std::fopen(output.c_str(), "r+");
    if (!f)
        return -1;
    int64_t bytes = DiskspaceOfDfOutput(f);
    std::fclose(f);
    RunShellCommand("rm " + QuotedPath(output), TCommandKind::CleanUp);
    return bytes;
}
