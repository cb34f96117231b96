// The real window, headless: its pages, their artwork and the page flow.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"
#include "ui/artwork.h"

#include <gtest/gtest.h>

#include <filesystem>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { w = OpenMainWindow(box.path()); }
    void TearDown() override { CloseMainWindow(); }
    Sandbox box;
    TFormDecompres* w = nullptr;
};

TEST_F(WindowTest, OpensOnPageOneWithTheFocusInTheCodeField)
{
    EXPECT_EQ(w->Caption(), "Kestrow Installer v 1.3");
    EXPECT_EQ(w->ClientWidth(), 600);
    EXPECT_EQ(w->ClientHeight(), 400);
    EXPECT_TRUE(w->FrameCodeCopyFile1->Visible());
    EXPECT_FALSE(w->FrameDirCopyFile1->Visible());
    EXPECT_FALSE(w->FrameLibInstal1->Visible());
    EXPECT_FALSE(w->FrameEnd1->Visible());
    EXPECT_TRUE(w->FrameCodeCopyFile1->Edit_CodeCopyFile->IsFocused());
    auto* p1 = w->FrameCodeCopyFile1;
    for (TControl* c : {(TControl*)p1->Image_coreect_code, (TControl*)p1->Image_invalid_code, (TControl*)p1->Image_Tundrel,
                        (TControl*)p1->Image_errorCheck_filetxt, (TControl*)p1->Image_Verification})
        EXPECT_FALSE(c->Visible());
    EXPECT_EQ(w->UrlApi, site_NameLoadPath + "/1/");
    EXPECT_EQ(StageWorkApp, 0);
}

TEST_F(WindowTest, EveryPictureOfTheTableLoadsSharpAndNamed)
{
    for (size_t i = 0; i < kArtworkCount; ++i) {
        const ArtPiece& a = kArtwork[i];
        TBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadFromResource(ArtResourcePath(a))) << a.name;
        EXPECT_EQ(bitmap.Width(), 2 * a.width) << a.name;
        EXPECT_EQ(bitmap.Height(), 2 * a.height) << a.name;
    }
    EXPECT_EQ(w->FrameEnd1->Image_InstallerOn->AccessibleName(), "INSTALL ANOTHER LIBRARY");
    EXPECT_EQ(w->FrameEnd1->ImageEnd->AccessibleName(),
              "CONGRATULATIONS! THE LIBRARY HAS BEEN INSTALLED SUCCESSFULLY "
              "GO TO THE INSTALLATION DIRECTORY AND DOUBLE-CLICK .NKI FILE.");
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

TEST_F(WindowTest, BackOnPageTwo)
{
    auto* p1 = w->FrameCodeCopyFile1;
    auto* p2 = w->FrameDirCopyFile1;

    p1->SetVisible(false);
    p2->SetVisible(true);
    p2->noVisible_Image_msg();
    EXPECT_TRUE(p2->Image_back1->Visible());
    SimulateClick(p2->Image_back1);
    EXPECT_TRUE(p1->Visible());
    EXPECT_FALSE(p2->Visible());
}

TEST_F(WindowTest, CloseOnThePageFourClosesTheWindow)
{
    w->FrameCodeCopyFile1->SetVisible(false);
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
    ModalResponder modals;
    for (TImage* notice : {p1->Image_errorCheck_filetxt, w->FrameLibInstal1->Image_errorCheck_filetxt}) {
        EXPECT_EQ(notice->Hint(), "An error occurred. The installer log is " + w->PathFileLog + ". Click to open it.");
    }
    p1->Image_errorCheck_filetxt->SetVisible(true);
    SimulateClick(p1->Image_errorCheck_filetxt);
    EXPECT_EQ(modals.opened, std::vector<std::string>{w->PathFileLog}) << "a click opens the log";
}
