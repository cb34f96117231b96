// The failure log, byte for byte.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { OpenMainWindow(box.path()); }
    void TearDown() override { CloseMainWindow(); }
    Sandbox box;
};

TEST_F(LogTest, LivesBesideTheBundle)
{
    EXPECT_EQ(FormDecompres->PathFileLog, box.path() + "//KW_installerlog.txt");
    EXPECT_EQ(NameFile_unrar_dll, box.path() + "/");
}

TEST_F(LogTest, TwoEntriesRunOnWithoutALineBreak)
{
    FormDecompres->CodeCopyFile = "AB12";
    FormDecompres->Info_toFile("Purchase code input ", -2);
    FormDecompres->Info_toFile("preparationDownload ", 0);
    EXPECT_EQ(box.read("KW_installerlog.txt"),
              "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 06.12.2026\n"
              "Your purchase code: AB12\n"
              "Purchase code input  Code error=-2"
              "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 06.12.2026\n"
              "Your purchase code: AB12\n"
              "preparationDownload ");
}

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
