// kestrow-bench-mapped COMMAND [ARG...]
// Starts COMMAND and prints the milliseconds from its launch until it maps a
// top-level window on the X display, then ends it. Both sides of a start-up
// comparison are timed the same way, from outside, as a person sees them.

#include "tools/usage.h"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* usage = "usage: kestrow-bench-mapped COMMAND [ARG...]\n"
                        "Starts COMMAND and prints the milliseconds until its first window is mapped.\n";
    if (argc == 2 && HelpAsked(argc, argv))
        return Usage(usage, true);
    if (argc < 2)
        return Usage(usage, false);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "kestrow-bench-mapped: no X display\n");
        return 1;
    }
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    auto launched = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    for (;;) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == MapNotify && e.xmap.event == root && !e.xmap.override_redirect)
            break;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "kestrow-bench-mapped: %s ended without a window\n", argv[1]);
            return 1;
        }
    }
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - launched).count();
    std::printf("%.1f\n", ms);
    kill(child, SIGTERM);
    waitpid(child, &status, 0);
    XCloseDisplay(display);
    return 0;
}
