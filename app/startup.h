#pragma once

#include "platform/system.h"

struct UnattendedOptions;

// Starts the installer: its window, or with `unattended` an installation
// without one. The process's exit status.
int FMXmain(const UnattendedOptions* unattended = nullptr);
int workProcess();
// The pid of another process that runs the file `executable`, 0 when none.
int AnotherCopyOf(const AnsiString& executable);
// The folder that holds the application bundle, ending in "/"; outside a
// bundle the executable's own folder.
AnsiString ExeDirShortOf(const AnsiString& exeDir);
