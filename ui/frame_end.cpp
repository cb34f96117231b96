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
    Image_Tundrel = NewProductImage(this, 159, 282, 23);
    Image_Tundrel->SetWrapMode(TImageWrapMode::Original);
    Image_InstallerOn = NewArtImage(this, "button_install_another", 215, 293);
    Image_InstallerOn->SetWrapMode(TImageWrapMode::Original);
    Label_Destination = NewArtLabel(this, 64, 272, 472, 17);
    Image_OpenFolder = NewArtImage(this, "button_open_folder", 64, 328);
    // As the buttons stand on the page: the one above, then left to right.
    Image_InstallerOn->SetTabOrder(10);
    Image_OpenFolder->SetTabOrder(11);
    Image_close->SetTabOrder(12);
    OnEscape = [this](TObject* s) { Image_closeClick(s); };
    Image_OpenFolder->OnClick = [this](TObject* s) { Image_OpenFolderClick(s); };
    Image_close->OnClick = [this](TObject* s) { Image_closeClick(s); };
    Image_InstallerOn->OnClick = [this](TObject* s) { Image_InstallerOnClick(s); };
}

void TFrameEnd::ShowFinished(const AnsiString& folder)
{
    Label_Destination->SetElidedText(folder);
    Label_Destination->SetHint(folder);
    Label_Destination->SetAccessibleName(folder);  // whole, where the page may cut it
    Label_Destination->SetAccessibleDescription("Installed into");
    SetVisible(true);
    // Not on the button that throws the finished state away.
    Image_close->SetFocus();
    Announce(Image_close, "The library is installed in " + folder + ".");
}

void TFrameEnd::Image_OpenFolderClick(TObject*)
{
    const AnsiString folder = Label_Destination->Hint();
    if (!OpenWithDesktop(folder))
        ShowMessage("No file manager could be started. The library is in " + folder);
}

void TFrameEnd::Image_closeClick(TObject*) { FormDecompres->Close(); }

void TFrameEnd::Image_InstallerOnClick(TObject*)
{
    SetVisible(false);
    FormDecompres->FrameCodeCopyFile1->clearWnd();
    FormDecompres->FrameCodeCopyFile1->SetVisible(true);
    FormDecompres->FrameCodeCopyFile1->Edit_CodeCopyFile->SetFocus();
}
