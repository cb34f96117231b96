#pragma once
// Blocking the main thread without a dead window.
//
// Some steps block the main thread on purpose: a shell command, a pause, a
// request made outside a job that pumps messages itself. While they wait,
// the windows still repaint and answer the window system, but nothing else
// runs on the main thread:
//   - input (mouse, keys, wheel, touch) is dropped, not saved for later;
//   - timers and socket notifiers wait until the step is over;
//   - a request to close a window is held and carried out afterwards (the
//     close-held handler may end the wait early); a stop signal (SIGTERM,
//     SIGINT, SIGHUP) is taken as such a close, within one turn (15 ms);
//   - calls queued with PostToMainThread run only afterwards.

#include "platform/system.h"

#include <functional>

// What a stop does to a command: work is ended by it (and not started after
// it), a clean-up runs to its end whatever comes.
enum class TCommandKind { Work, CleanUp };

// system(): runs one simple command (with its redirections) through the
// shell and returns its wait status (0 when it exited with 0, 256 for an exit
// status of 1, ...). The command runs in a process group of its own, ends
// with the program however the program ends, and inherits only standard
// input (/dev/null), output and error. A close or stop signal arriving
// meanwhile ends work with SIGTERM (the status then says so); work asked for
// after a stop signal is not started (the status is SIGTERM's).
// `workingFolder`: an open folder to run it in, -1 for the program's own.
int RunShellCommand(const String& commandLine, TCommandKind kind = TCommandKind::Work, int workingFolder = -1);

// Ends the command under way (SIGTERM to its group, a second to go), for a
// program that must end now without its event loop.
void EndRunningCommand();

// Sleep() that keeps the windows painted; a close or stop signal ends it.
void SleepRepainting(unsigned milliseconds);

// One turn of the above, for code that blocks in short steps of its own:
// true when a close was held or a stop signal came in this turn.
bool RepaintWhileBlocked();

// Called at once when a close is held by a wait, so that whatever blocks can
// be cut short (a request ended) instead of waited out; the close itself is
// still carried out afterwards.
void SetCloseHeldHandler(std::function<void()> handler);

// Runs `call` on the main thread from its message loop, never inside one
// of the waits above.
void PostToMainThread(std::function<void()> call);
