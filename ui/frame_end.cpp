#include "ui/frame_end.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "ui/art_image.h"

TFrameEnd::TFrameEnd(TComponent* owner) : TFrame(owner)
{
    SetBounds(0, 0, 600, 400);
    ImageEnd = NewArtImage(this, "page_finish", 0, 0);
    Image_close = NewArtImage(this, "button_close", 264, 328);
    Image_close->SetWrapMode(TImageWrapMode::Original);
    Image_Tundrel = new TImage(this);
    Image_Tundrel->SetBounds(160, 159, 282, 23);
    Image_Tundrel->SetWrapMode(TImageWrapMode::Original);
    Image_Tundrel->SetAccessibleName("Product picture");
    Image_Tundrel->SetVisible(false);
    Image_InstallerOn = NewArtImage(this, "button_install_another", 215, 293);
    Image_InstallerOn->SetWrapMode(TImageWrapMode::Original);
    Image_InstallerOn->SetTabOrder(10);
    Image_close->SetTabOrder(11);
    Image_close->OnClick = [this](TObject* s) { Image_closeClick(s); };
    Image_InstallerOn->OnClick = [this](TObject* s) { Image_InstallerOnClick(s); };
}

void TFrameEnd::Image_closeClick(TObject*) { FormDecompres->Close(); }

void TFrameEnd::Image_InstallerOnClick(TObject*)
{
    SetVisible(false);
    FormDecompres->FrameCodeCopyFile1->clearWnd();
    FormDecompres->FrameCodeCopyFile1->SetVisible(true);
    FormDecompres->FrameCodeCopyFile1->Edit_CodeCopyFile->SetFocus();
}
