#pragma once
// The record an installed library keeps of itself, in its own folder: the
// order's purchase code and every file of the library with its size and
// CRC32. It is written only once the library is whole on the disk, so a
// folder that holds it holds an installed library; and it is what the
// library is checked against later (--verify).

#include "platform/system.h"

#include <cstdint>
#include <cstdio>
#include <vector>

struct LibraryFile {
    AnsiString path;  // below the folder, '/' between its parts
    uint64_t size = 0;
    uint32_t crc = 0;
};

extern const char* const kLibraryRecordName;

// Into the open folder, durably: written whole under a name of its own,
// synced, renamed into place and the folder synced. 0, or -errno.
int WriteLibraryRecord(int folder, const AnsiString& code, const std::vector<LibraryFile>& files);
// False when the folder holds none, or none that can be read.
bool ReadLibraryRecord(const AnsiString& folder, AnsiString& code, std::vector<LibraryFile>& files);

// Checks the library in `folder` against its record, as package managers
// check a package's files: each missing, changed (size or CRC) and
// unexpected file is named on `out`, then a summary. 0 when the library is
// whole, 8 when it is not or there is no record to check it against.
int VerifyLibrary(const AnsiString& folder, FILE* out);
