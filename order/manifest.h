#pragma once
// The order's manifest: one absolute https URL a line, at most `count`
// lines. Each line is checked and given its RAR part number:
//   -1 not a RAR archive, 0 an archive without a part number (or part0...),
//   1..9 the digit after the first "part" in the line.
// A part number above 1 must follow the line with the number below it.

#include "platform/system.h"

#include <cstdio>
#include <vector>

constexpr int kManifestCannotOpen = -11;
constexpr int kManifestBadLine = -12;      // a blank, "*", "?" or no "https://"
constexpr int kManifestEmpty = -14;
constexpr int kManifestOutOfSequence = -15;
constexpr int kManifestTooLong = -16;      // more lines than the lists hold
constexpr int kManifestBadPartNumber = -17;  // no digit after the first "part"
// Refusals of the order request, beyond the line rules above:
constexpr int kManifestNotAFileUrl = -13;  // not https://host/.../name, or a '#' or control character in it
constexpr int kManifestSameName = -18;     // a second entry for the same local file name

// count: in, the capacity of the lists; out, the entries stored (also on
// failure: those before the failing line).
int Read_NameFileLoad(const AnsiString& path, int& count, std::vector<AnsiString>& names, std::vector<int>& parts);
// The same over an open file, which stays open.
int ReadManifest(FILE* file, int& count, std::vector<AnsiString>& names, std::vector<int>& parts);

// Every entry must be the https address of one file: "https://", a host, a
// path whose last part names the file (not "." or ".."), no fragment and no
// control character, one the client's URL parser takes; and no two entries,
// but for the one at `skip` (the product picture, which is never written),
// may name the same local file, letter case and Unicode composition aside.
// Returns 0, or one of the two codes above with `bad` the entry at fault.
int CheckManifestEntries(const std::vector<AnsiString>& names, int count, int skip, int& bad);
