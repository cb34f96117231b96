#pragma once
// The signal (SIGINT, SIGTERM, SIGHUP) that asked the program to end: noted
// by the signal handler, looked at by every wait.

// 0 when none has come.
int StopSignal();
// From a signal handler too: it only stores the number.
void NoteStopSignal(int signal);
