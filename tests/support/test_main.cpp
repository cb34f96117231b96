// Every test binary runs the real framework headless.

#include "platform/forms.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
