#include "ui/frame_code.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/clipboard.h"
#include "ui/art_image.h"

TFrameCodeCopyFile::TFrameCodeCopyFile(TComponent* owner) : TFrame(owner)
{
    SetBounds(0, 0, 600, 400);
    Image_CodeCopyFile = NewArtImage(this, "page_code", 0, 0);
    Edit_CodeCopyFile = new TEdit(this);
    Edit_CodeCopyFile->SetBounds(64, 240, 399, 30);
    Edit_CodeCopyFile->SetTabOrder(1);
    Edit_CodeCopyFile->SetAccessibleName("Purchase code");
    Image_Next1 = NewArtImage(this, "button_next", 472, 328);
    Image1_Paste = NewArtImage(this, "button_paste", 472, 240);
    Image1_Paste->SetTabOrder(2);
    Image_Next1->SetTabOrder(3);
    Image_coreect_code = NewArtImage(this, "msg_code_correct", 64, 290);
    Image_invalid_code = NewArtImage(this, "msg_code_invalid", 64, 290);
    Image_Tundrel = NewProductImage(this, 154, 280, 33);
    Image_errorCheck_filetxt = NewArtImage(this, "msg_error_log", 0, 0);
    Image_Verification = NewArtImage(this, "caption_verifying", 0, 0);
    for (TControl* hidden : {(TControl*)Image_coreect_code, (TControl*)Image_invalid_code, (TControl*)Image_Tundrel,
                             (TControl*)Image_errorCheck_filetxt, (TControl*)Image_Verification})
        hidden->SetVisible(false);

    Image_invalid_code->Position.Assign(Image_coreect_code->Position);
    PlaceAtFoot(Image_errorCheck_filetxt, this);
    Image_Verification->Position.Assign(Image_coreect_code->Position);

    Image_Next1->OnClick = [this](TObject* s) { Image_Next1Click(s); };
    Image1_Paste->OnClick = [this](TObject* s) { Image1_PasteClick(s); };
    Edit_CodeCopyFile->OnKeyDown = [this](TObject* s, uint16_t& k, char32_t& c, TShiftState sh) {
        Edit_CodeCopyFileKeyDown(s, k, c, sh);
    };
}

void TFrameCodeCopyFile::noVisible_Image_msg()
{
    Image_invalid_code->SetVisible(false);
    Image_coreect_code->SetVisible(false);
    Image_errorCheck_filetxt->SetVisible(false);
}

void TFrameCodeCopyFile::clearWnd()
{
    noVisible_Image_msg();
    Image_Tundrel->SetVisible(false);
    Edit_CodeCopyFile->SetText("");
}

// Every check runs the whole order request; Enter and Paste only show the
// outcome, Next then moves on.
int TFrameCodeCopyFile::CheckCodeCopyFile()
{
    noVisible_Image_msg();
    FormDecompres->UpdateWndThread(5);
    if (FormDecompres->workCodeCopyFile() == 0) {
        Image_coreect_code->SetVisible(true);
        return 0;
    }
    return -1;
}

void TFrameCodeCopyFile::Image_Next1Click(TObject*)
{
    Image_Verification->SetVisible(true);
    int r = CheckCodeCopyFile();
    Image_Verification->SetVisible(false);
    if (r != 0)
        return;
    Image_coreect_code->SetVisible(true);
    SetVisible(false);
    TFrameDirCopyFile* page2 = FormDecompres->FrameDirCopyFile1;
    page2->SetVisible(true);
    page2->noVisible_Image_msg();
    page2->Edit_DirSaveFile->SetFocus();
}

void TFrameCodeCopyFile::Image1_PasteClick(TObject*)
{
    IFMXClipboardService* clipboard = nullptr;
    if (!TPlatformServices::Current()->SupportsPlatformService(clipboard))
        return;
    // Shown as pasted; the check trims its own copy.
    Edit_CodeCopyFile->SetText(clipboard->GetClipboard().AsString());
    CheckCodeCopyFile();
}

void TFrameCodeCopyFile::Edit_CodeCopyFileKeyDown(TObject*, uint16_t& Key, char32_t&, TShiftState Shift)
{
    Image_invalid_code->SetVisible(false);
    Image_errorCheck_filetxt->SetVisible(false);
    // Return held down checks once, not on every repeat.
    if (Key == vkReturn && !(Shift & ssAutoRepeat))
        CheckCodeCopyFile();
}
