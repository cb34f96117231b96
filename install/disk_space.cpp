#include "install/disk_space.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/text.h"
#include "platform/wait.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

int64_t DiskspaceOfDfOutput(FILE* output)
{
    char line[300];
    if (!std::fgets(line, sizeof line, output))  // the heading
        line[0] = '\0';
    if (!std::fgets(line, sizeof line, output))
        line[0] = '\0';
    if (char* percent = std::strchr(line, '%'))
        *percent = '\0';

    std::vector<char*> fields;
    char* rest = nullptr;
    for (char* f = strtok_r(line, " \t\r\n\v\f", &rest); f; f = strtok_r(nullptr, " \t\r\n\v\f", &rest))
        fields.push_back(f);
    if (fields.empty())
        return 0;
    const char* available = fields.size() >= 2 ? fields[fields.size() - 2] : fields[0];

    // The leading number only, as "%ld" reads it; a volume's worth of blocks
    // stays a byte count however large.
    long long blocks = std::strtoll(available, nullptr, 10);
    constexpr long long kMaxBlocks = std::numeric_limits<int64_t>::max() / 512;
    return int64_t(std::clamp(blocks, -kMaxBlocks, kMaxBlocks)) * 512;
}

int64_t Get_Diskspace()
{
    const AnsiString& dir = FormDecompres->DirSaveFile;
    if (Pos(FormDecompres->DirSeparator, dir) > 1)
        return -1;
    AnsiString output = FormDecompres->DirTemp + "dfDiskspace.txt";
    // GNU df counts 1024-byte blocks unless told otherwise.
    RunShellCommand("df -B512 " + QuotedPath(dir) + " > " + QuotedPath(output));
    FILE* f = std::fopen(output.c_str(), "r+");
    if (!f)
        return -1;
    int64_t bytes = DiskspaceOfDfOutput(f);
    std::fclose(f);
    RunShellCommand("rm " + QuotedPath(output));
    return bytes;
}
