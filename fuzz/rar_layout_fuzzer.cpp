// libFuzzer target for the unpacker's header reader: whatever the bytes, it
// either describes the archive or refuses it, never crashes or hangs. Each
// input is one volume; its later volumes, if it names any, are missing.

#include "tools/unrar/layout.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/dev/shm/kestrow-fuzz-" + std::to_string(getpid()) + ".part1.rar";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        ArchiveLayout layout = ReadLayout(path);
        for (const ArchiveEntry& e : layout.entries)
            if (!IsSafeRelativePath(layout.Name(e)))
                __builtin_trap();  // an unsafe name must never pass
    } catch (const UnrarError&) {
    }
    return 0;
}
