#pragma once
// What a step's return code means, in words a buyer or an administrator can
// act on. The log keeps the bare code; the unattended mode says both.

#include "platform/system.h"

AnsiString CodeMeaning(int code);
