#pragma once
// Installing an order without a window, for many machines at once:
//   KestrowInstaller --code CODE --dest DIR [--proxy HOST:PORT [--proxy-user USER]]
// The same steps, functions and log as the window; what would be a message
// box goes to stderr.

#include "platform/system.h"

struct UnattendedOptions {
    AnsiString code;
    AnsiString dest;
    AnsiString proxyHost;  // empty: no proxy
    int proxyPort = 0;
    AnsiString proxyUser;
    unsigned retryWaitMs = 2000;  // between failed download passes
    bool quiet = false;           // only errors and the summary
    bool verify = false;          // --verify: check the library in dest against its record
};

// --verify --dest DIR: the library checked against its record; 0 whole, 8 not.
int VerifyUnattended(const UnattendedOptions& options);

// Reads the command line. Returns -1 with `options` filled when there is an
// installation to run; otherwise the exit status (help shown: 0, usage error: 2).
int ParseUnattended(int argc, char** argv, UnattendedOptions& options);

// Answers every modal as the options say: messages to stderr, the proxy dialog
// filled in from the options (closed unanswered without them).
void AnswerModalsUnattended(const UnattendedOptions& options);

// Runs the installation on the window built by start-up, never shown.
// The exit status by cause (0 when the library is installed); --help lists them.
int RunUnattended(const UnattendedOptions& options);
