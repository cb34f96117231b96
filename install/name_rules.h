#pragma once
// The names a disk refuses, or takes for one another, found before a byte of
// the library is written: an archive that would fail half-way on them (exFAT,
// FAT, NTFS drives, long names) is refused whole, naming the entry.

#include "platform/system.h"

#include <vector>

// What the disk of an open folder takes, asked of the disk itself.
struct DiskNameRules {
    long maxNameBytes = 255;        // per name, in bytes
    bool refusesOddCharacters = false;  // " * : < > ? \ | and control characters (FAT, exFAT, NTFS)
    bool foldsCase = false;         // Kick.wav and kick.wav are one file there
};
DiskNameRules ProbeDiskNames(int folder);

// The reason the disk refuses the first name it cannot hold, or takes as
// another's ("" when it holds them all). `names`: paths below the folder,
// '/' or '\' between their parts, UTF-8.
AnsiString RefusedName(const std::vector<AnsiString>& names, const DiskNameRules& rules);
