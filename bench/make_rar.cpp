// Writes a stored RAR archive of random files for the unpacker's benchmark:
//   make-rar FOLDER STEM SIZE_MIB [FORMAT=5] [FILES=8]

#include "tools/rarwriter/rar_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-rar FOLDER STEM SIZE_MIB [FORMAT=5] [FILES=8]\n");
        return 2;
    }
    uint64_t total = std::strtoull(argv[3], nullptr, 10) << 20;
    int format = argc > 4 ? std::atoi(argv[4]) : 5;
    int files = argc > 5 ? std::atoi(argv[5]) : 8;
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
    for (const std::string& v : WriteRar(argv[1], argv[2], items, {format}))
        std::printf("%s\n", v.c_str());
    return 0;
}
