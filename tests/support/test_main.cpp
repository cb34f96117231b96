// Every test binary runs the real framework headless.

#include "platform/forms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    // A second process of this very executable, for the single-instance guard.
    if (const char* seconds = std::getenv("KESTROW_TEST_SLEEP")) {
        sleep(unsigned(std::atoi(seconds)));
        return 0;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // What the installer records of its installations stays out of the user's own folders.
    char state[] = "/tmp/kestrow-test-state-XXXXXX";
    if (mkdtemp(state))
        setenv("XDG_STATE_HOME", state, 1);
    // No proxy of the machine may reach the tests' loopback traffic.
    for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(v);
    testing::InitGoogleTest(&argc, argv);
    TApplication::SetCommandLine(argc, argv);
    TApplication application;
    Application = &application;
    application.Initialize();
    return RUN_ALL_TESTS();
}
