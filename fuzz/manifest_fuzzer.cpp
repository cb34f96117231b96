// libFuzzer target for the manifest parser. Besides crashes and sanitizer
// reports it checks what every accepted manifest must satisfy.

#include "order/manifest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> copy(data, data + size);
    FILE* file = size ? fmemopen(copy.data(), size, "r") : std::fopen("/dev/null", "r");
    if (!file)
        return 0;
    int count = 100;
    std::vector<AnsiString> names(100);
    std::vector<int> parts(100, 42);
    int result = ReadManifest(file, count, names, parts);
    std::fclose(file);

    static const std::set<int> known = {0, -12, -14, -15, -16, -17};
    if (!known.count(result) || count < 0 || count > 100 || (result == 0 && count == 0))
        std::abort();
    for (int i = 0; i < count; ++i) {
        const AnsiString& n = names[size_t(i)];
        if (n.find("https://") == AnsiString::npos || n.find_first_of(" *?") != AnsiString::npos || n.size() > 299)
            std::abort();
        int p = parts[size_t(i)];
        if (p < -1 || p > 9 || (p > 1 && (i == 0 || parts[size_t(i - 1)] != p - 1)))
            std::abort();
    }
    return 0;
}
