// The real window, headless: its pages, their artwork and the page flow.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "ui/artwork.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST_F(WindowTest, EveryPictureOfTheTableLoadsSharp)
{
    for (size_t i = 0; i < kArtworkCount; ++i) {
        const ArtPiece& a = kArtwork[i];
        TBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadFromResource(ArtResourcePath(a))) << a.name;
        EXPECT_EQ(bitmap.Width(), 2 * a.width) << a.name;
        EXPECT_EQ(bitmap.Height(), 2 * a.height) << a.name;
    }
}

TEST_F(WindowTest, DisabledPictureDrawsUnchangedAndTakesNoClick)
{
    auto* p3 = w->FrameLibInstal1;
    w->FrameCodeCopyFile1->SetVisible(false);
    p3->SetVisible(true);
    p3->Image_Extracting->SetVisible(false);
    p3->StateImage_button(1);
    auto disabled = Snapshot(p3->Image_Resume_inactive);
    p3->Image_Resume_inactive->SetEnabled(true);
    EXPECT_EQ(Snapshot(p3->Image_Resume_inactive), disabled) << "no greying";
    p3->Image_Resume_inactive->SetEnabled(false);

    SimulateClick(p3->Image_Resume_inactive);
    EXPECT_FALSE(w->IdThreadComponent1->Active());
    EXPECT_FALSE(p3->Image_Resume_active->Visible());
    // A hidden picture takes no click either: Pause lies hidden under it.
    p3->StateImage_button(0);
    SimulateClick(p3->Image_Pause_inactive);
    EXPECT_EQ(Terminate_ThreadCritSec, 0);
}

TEST_F(WindowTest, BackOnPageTwoAndCloseOnPageFour)
{
    auto* p2 = w->FrameDirCopyFile1;
    w->FrameCodeCopyFile1->SetVisible(false);
    p2->SetVisible(true);
    p2->noVisible_Image_msg();
    SimulateClick(p2->Image_back1);
    EXPECT_TRUE(w->FrameCodeCopyFile1->Visible());
    EXPECT_FALSE(p2->Visible());

    w->FrameEnd1->SetVisible(true);
    SimulateClick(w->FrameEnd1->Image_close);
    EXPECT_FALSE(w->Visible());
    EXPECT_EQ(Terminate_ThreadCritSec, Terminate_ThreadCode);
}

TEST_F(WindowTest, HeldReturnChecksOnceFieldsTakeAnyLengthNoticeNamesTheLog)
{
    auto* p1 = w->FrameCodeCopyFile1;
    p1->Edit_CodeCopyFile->SetText("!!!");
    SimulateKey(p1->Edit_CodeCopyFile, vkReturn, "", true);
    EXPECT_FALSE(p1->Image_invalid_code->Visible()) << "a repeat of a held key starts no check";
    SimulateKey(p1->Edit_CodeCopyFile, vkReturn);
    EXPECT_TRUE(p1->Image_invalid_code->Visible());
    auto* p2 = w->FrameDirCopyFile1;
    p2->Edit_DirSaveFile->SetText(box.file("new"));
    SimulateKey(p2->Edit_DirSaveFile, vkReturn, "", true);
    EXPECT_FALSE(std::filesystem::exists(box.file("new")));

    p1->Edit_CodeCopyFile->SetText(std::string(40000, 'A'));
    EXPECT_EQ(p1->Edit_CodeCopyFile->Text().size(), 40000u);
    for (TImage* notice : {p1->Image_errorCheck_filetxt, w->FrameLibInstal1->Image_errorCheck_filetxt}) {
        EXPECT_EQ(notice->Hint(), "An error occurred. The installer log is " + w->PathFileLog + ". Click to open it.");
    }
    p1->Image_errorCheck_filetxt->SetVisible(true);
    SimulateClick(p1->Image_errorCheck_filetxt);
    EXPECT_EQ(modals.opened, std::vector<std::string>{w->PathFileLog}) << "a click opens the log";
}

// The failure log, byte for byte, where the date is unknown; and a log that
// cannot be written loses its entry without a word.
TEST_F(WindowTest, LogWithoutADateAndLogThatCannotBeWritten)
{
    DateTimeFileApp = "";
    w->Info_toFile("Downloading files \n", 555);
    EXPECT_EQ(log(), "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 \n"
                     "Your purchase code: \n"
                     "Downloading files \n Code error=555");
    w->PathFileLog = box.path() + "/missing/KW_installerlog.txt";
    w->Info_toFile("lost ", -1);
    EXPECT_FALSE(FileExists(w->PathFileLog));
}
