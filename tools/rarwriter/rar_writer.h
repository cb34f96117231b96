#pragma once
// Writes RAR 5 and RAR 4 archives with the store method:
// single or split into volumes under a chosen naming, folders, empty files,
// UTF-8 names, and deliberately unsafe entries; plus helpers that damage
// them the ways real downloads and real attackers do. The tests, the demo
// order and the benchmarks build their archives with it.

#include <cstdint>
#include <string>
#include <vector>

struct RarItem {
    enum Kind { File, Directory, Symlink, Hardlink };
    std::string name;  // '/' between folders
    std::string data;  // a file's bytes, or a link's target
    Kind kind = File;
};

struct RarOptions {
    enum Naming { PartN, Part2Digits, Part4Digits, OldStyle };
    int format = 5;                  // 5 or 4
    uint64_t volumeSize = 0;         // data bytes per volume; 0: a single volume
    Naming naming = PartN;
    int wrongVolumeNumberAt = -1;    // this volume claims the next one's number
    bool dosNames = false;           // RAR 4: names as given, without the Unicode flag (the DOS code page)
};

// Returns the volumes' paths, the first first; throws std::runtime_error
// when one cannot be written.
std::vector<std::string> WriteRar(const std::string& folder, const std::string& stem, const std::vector<RarItem>& items,
                                  const RarOptions& options = RarOptions());

// Damage: the first byte of `needle` in the file flipped; the file cut to `size`.
void FlipByteOf(const std::string& path, const std::string& needle);
void TruncateTo(const std::string& path, uint64_t size);
