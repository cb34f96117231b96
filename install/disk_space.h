#pragma once
// Free space on the destination folder's volume, as df reports it.

#include <cstdint>
#include <cstdio>

// Free bytes on the volume of the window's DirSaveFile. -1 when the path is
// relative with a separator after its first character, or when df's output
// cannot be read back; 0 when that output holds no figure (df failed).
int64_t Get_Diskspace();

// The free bytes in the output of df --output=avail: the figure on the line
// after the heading, times 512.
int64_t DiskspaceOfDfOutput(FILE* output);
