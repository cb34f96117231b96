#pragma once
// The real window talking to a local download API made for the test.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "tests/support/servers.h"

#include <gtest/gtest.h>

class ApiWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        site_NameLoadPath = server.base();
        WindowTest::SetUp();
        client = w->IdHTTP1;
        w->IdSSLIOHandlerSocketOpenSSL1->CAFile = server.caFile();
    }

    ApiServer server;
    TIdHTTP* client = nullptr;
};
