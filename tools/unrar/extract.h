#pragma once

#include "tools/unrar/layout.h"

// Extracts every entry of the checked archive below `destination`, keeping
// any file that already exists there untouched. Each file is written under
// a temporary name beside its place, checked for size and CRC, and only then
// moved into place, never over an existing file. Throws UnrarError.
void ExtractArchive(const ArchiveLayout& layout, const std::string& destination);
// SIGTERM, SIGINT and SIGHUP remove the file being written before the tool ends.
void RemoveTemporariesOnStop();
