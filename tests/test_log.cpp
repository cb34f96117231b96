// The failure log, byte for byte.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { OpenMainWindow(box.path()); }
    void TearDown() override { CloseMainWindow(); }
    Sandbox box;
};

TEST_F(LogTest, EmptyDateEndsTheFirstLineAfterTheWord)
{
    DateTimeFileApp = "";
    FormDecompres->Info_toFile("Downloading files \n", 555);
    EXPECT_EQ(box.read("KW_installerlog.txt"),
              "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 \n"
              "Your purchase code: \n"
              "Downloading files \n Code error=555");
}

TEST_F(LogTest, UnwritableFolderLosesTheEntrySilently)
{
    FormDecompres->PathFileLog = box.path() + "/missing/KW_installerlog.txt";
    FormDecompres->Info_toFile("lost ", -1);
    EXPECT_FALSE(FileExists(FormDecompres->PathFileLog));
}
