#pragma once

#include "tools/unrar/layout.h"

// What becomes of a file already at an entry's place: kept whatever it holds
// (-o-), or kept only when it is the entry's own, size and CRC, and written
// again otherwise (-o+, for a folder that is the archive's own: a cut
// unpacking left files there that were never made whole).
enum class ExistingFiles { Keep, ReplaceIfDifferent };

// Extracts every entry of the checked archive below `destination`. Each file
// is written under a temporary name beside its place, checked for size and
// CRC, and only then moved into place, over an existing file only when
// `existing` lets it replace one. Throws UnrarError.
void ExtractArchive(const ArchiveLayout& layout, const std::string& destination, ExistingFiles existing);
// SIGTERM, SIGINT and SIGHUP remove the file being written before the tool ends.
void RemoveTemporariesOnStop();
