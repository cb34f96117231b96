// Writes a stored RAR archive of random files for the unpacker's benchmark:
//   make-rar FOLDER STEM SIZE_MIB [FORMAT=5] [FILES=8]

#include "tools/rarwriter/rar_writer.h"
#include "tools/usage.h"

#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char** argv)
{
    const char* usage = "usage: make-rar FOLDER STEM SIZE_MIB [FORMAT=5] [FILES=8]\n"
                        "Writes a stored RAR archive (FORMAT 4 or 5) of FILES random files, SIZE_MIB in all,\n"
                        "as FOLDER/STEM.rar, and prints its path.\n";
    if (HelpAsked(argc, argv))
        return Usage(usage, true);
    if (argc < 4 || argc > 6)
        return Usage(usage, false);
    auto number = [](const char* text, long low, long high) {
        char* end = nullptr;
        long value = std::strtol(text, &end, 10);
        return *text && !*end && value >= low && value <= high ? value : -1;
    };
    long mib = number(argv[3], 1, 1 << 20), format = argc > 4 ? number(argv[4], 4, 5) : 5,
         files = argc > 5 ? number(argv[5], 1, 10000000) : 8;
    if (mib < 0 || (format != 4 && format != 5) || files < 0)
        return Usage(usage, false, "make-rar: SIZE_MIB, FORMAT (4 or 5) and FILES must be numbers");
    if (!std::filesystem::is_directory(argv[1]))
        return Usage(usage, false, std::string("make-rar: no folder ") + argv[1]);
    uint64_t total = uint64_t(mib) << 20;
    std::mt19937_64 rng(42);
    std::vector<RarItem> items;
    for (int i = 0; i < files; ++i) {
        std::string data(size_t(total / uint64_t(files)), '\0');
        for (size_t at = 0; at + 8 <= data.size(); at += 8) {
            uint64_t v = rng();
            std::memcpy(&data[at], &v, 8);
        }
        items.push_back({"Samples/part" + std::to_string(i) + ".wav", std::move(data)});
    }
    try {
        for (const std::string& v : WriteRar(argv[1], argv[2], items, {int(format)}))
            std::printf("%s\n", v.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-rar: %s\n", e.what());
        return 1;
    }
    return 0;
}
