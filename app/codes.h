#pragma once
// What a step's return code means, in words a buyer or an administrator can
// act on. The log keeps the bare code; the unattended mode says both.

#include "platform/system.h"

AnsiString CodeMeaning(int code);

// One sentence for the buyer, for a download that failed with `code` on the
// file `name` (empty: a request to the download API).
AnsiString PlainReason(int code, const AnsiString& name);
