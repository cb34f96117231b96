#include "platform/stop_signal.h"

#include <csignal>

namespace {
volatile sig_atomic_t g_stopSignal = 0;
}  // namespace

int StopSignal() { return g_stopSignal; }
void NoteStopSignal(int signal) { g_stopSignal = signal; }
