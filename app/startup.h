#pragma once

#include "platform/system.h"

int FMXmain();
int workProcess();
// The folder that holds the application bundle, ending in "/"; outside a
// bundle the executable's own folder.
AnsiString ExeDirShortOf(const AnsiString& exeDir);
