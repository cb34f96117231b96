#pragma once
// What an archive holds, read from its own headers before anything is
// extracted: the volumes of the set, in order, and every entry with its
// size and checksum. Reading it refuses whatever cannot be extracted safely
// and whole: a missing, truncated, duplicated or swapped volume, a damaged
// header, an encrypted archive or entry, a link, a path leaving the
// destination.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Small, since an archive may hold a hundred thousand of them: its name lies
// in the layout's `names`.
struct ArchiveEntry {
    uint64_t size = 0;
    uint32_t crc = 0;  // CRC32 of the whole unpacked file
    uint32_t nameAt = 0, nameLength = 0;
    bool directory = false;
    bool hasCrc = false;
    bool olderVersion = false;  // an earlier version of a file the archive keeps: not extracted
};

struct ArchiveLayout {
    int format = 0;  // 4 or 5
    std::vector<std::string> volumes;
    // For each volume: whether a file runs on into the next one.
    std::vector<bool> endsInsideFile;
    std::vector<ArchiveEntry> entries;  // files and folders, in stored order
    std::string names;                  // the entries' names, one after another
    // As stored: '/' or '\' between folders.
    std::string Name(const ArchiveEntry& e) const { return names.substr(e.nameAt, e.nameLength); }
};

// Why the unpacker failed, which is also its exit status: the archive's
// fault, or the disk's, which the buyer mends in another way.
enum class UnrarCause {
    Damaged = 1,      // a damaged, truncated or incomplete archive
    Refused = 3,      // links, encryption, paths leaving the destination
    ReadOnly = 4,     // the disk is read-only
    DiskFull = 5,     // no room for the data
    NoMoreFiles = 6,  // no more files can be created (inodes, links)
    NameTooLong = 7,  // a name longer than the disk takes
    CannotWrite = 8,  // anything else the destination refuses
};

// A failure, named by the archive or volume it concerns.
class UnrarError : public std::runtime_error {
public:
    UnrarError(const std::string& where, const std::string& reason, UnrarCause why = UnrarCause::Damaged)
        : std::runtime_error(where + ": " + reason), cause(why)
    {
    }
    UnrarCause cause;
};

// The file name of volume `index` (0 = the first) of the set that starts
// with `first`: Name.partN.rar at the first volume's digit width, or the old
// Name.rar, Name.r00, Name.r01 style. Empty when there can be no such volume.
std::string VolumeName(const std::string& first, int index);
// "Name.part2.rar", "Name.part10.rar": a volume read along with the first of
// its set, never on its own.
bool IsLaterVolume(const std::string& name);

// Reads every volume's headers; throws UnrarError on anything amiss.
ArchiveLayout ReadLayout(const std::string& firstVolume);

// The size and CRC32 of the regular file `name` below `dir` (never through a
// link), read whole; false when it cannot be read.
bool MeasureFile(int dir, const char* name, uint64_t& size, uint32_t& crc);

// Whether the file `name` below `dir` is the entry's own: a regular file of
// its size and CRC32 (read whole to tell).
bool FileMatchesEntry(int dir, const char* name, const ArchiveEntry& entry);

// False for an empty path, an absolute one or one with a ".." component
// ('\' counts as a separator too).
bool IsSafeRelativePath(const std::string& name);
