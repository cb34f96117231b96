#pragma once

#include "platform/system.h"

struct UnattendedOptions;

// Starts the installer: its window, or with `unattended` an installation
// without one. The process's exit status.
int FMXmain(const UnattendedOptions* unattended = nullptr);
int workProcess();
// True when a process of the `ps -ax` snapshot, other than this one, runs the
// file `executable`.
bool AnotherCopyRuns(const AnsiString& snapshot, const AnsiString& executable);
// The folder that holds the application bundle, ending in "/"; outside a
// bundle the executable's own folder.
AnsiString ExeDirShortOf(const AnsiString& exeDir);
