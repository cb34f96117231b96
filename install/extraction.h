#pragma once
// Unpacking the order's RAR archives with the tool shipped in the bundle.

#include "platform/system.h"

// chmod -R MODE on a path the caller has quoted; the shell's wait status.
int send_chmod(const AnsiString& quotedPath, const AnsiString& mode);
