#include "ui/frame_folder.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "ui/art_image.h"

TFrameDirCopyFile::TFrameDirCopyFile(TComponent* owner) : TFrame(owner)
{
    SetBounds(0, 0, 600, 400);
    Image_DirCopyFile = NewArtImage(this, "page_folder", 0, 0);
    Image_Next1 = NewArtImage(this, "button_next", 472, 328);
    Image_Browse1 = NewArtImage(this, "button_browse", 472, 240);
    Edit_DirSaveFile = new TEdit(this);
    Edit_DirSaveFile->SetBounds(64, 240, 399, 30);
    Edit_DirSaveFile->SetTabOrder(3);
    Edit_DirSaveFile->SetAccessibleName("Destination folder");
    Image_back1 = NewArtImage(this, "button_back", 64, 328);
    Label_Size_DiskFree = new TLabel(this);
    Label_Size_DiskFree->SetBounds(218, 275, 120, 17);
    Label_Size_DiskRecom = new TLabel(this);
    Label_Size_DiskRecom->SetBounds(218, 291, 120, 17);
    Image_ied_Required_space_ok = NewArtImage(this, "msg_space_ok", 287, 281);
    Image_Not_enough_space = NewArtImage(this, "msg_space_short", 287, 281);
    Image_Tundrel = new TImage(this);
    Image_Tundrel->SetBounds(160, 154, 280, 33);
    Image_Tundrel->SetAccessibleName("Product picture");
    Image_folder_no_Empty = NewArtImage(this, "msg_folder_not_empty", 287, 281);
    Image_folder_Incorect = NewArtImage(this, "msg_folder_incorrect", 287, 281);
    Image_Folder_does_not_exist = NewArtImage(this, "msg_folder_missing", 287, 281);
    for (TControl* hidden : {(TControl*)Image_back1, (TControl*)Image_ied_Required_space_ok,
                             (TControl*)Image_Not_enough_space, (TControl*)Image_Tundrel,
                             (TControl*)Image_folder_no_Empty, (TControl*)Image_folder_Incorect,
                             (TControl*)Image_Folder_does_not_exist})
        hidden->SetVisible(false);
    Image_back1->OnClick = [this](TObject* s) { Image_back1Click(s); };

    float y = float(int(Image_ied_Required_space_ok->Position.Y()));
    Image_folder_Incorect->Position.SetY(y);
    Image_Not_enough_space->Position.SetY(y);
    Image_folder_no_Empty->Position.SetY(y);
    Image_Folder_does_not_exist->Position.SetY(y);
    Edit_DirSaveFile->SetText("");
    DirVerified = 0;
}

void TFrameDirCopyFile::noVisible_Image_msg()
{
    Image_folder_Incorect->SetVisible(false);
    Image_Not_enough_space->SetVisible(false);
    Image_folder_no_Empty->SetVisible(false);
    Image_Folder_does_not_exist->SetVisible(false);
    Image_ied_Required_space_ok->SetVisible(false);
    Image_back1->SetVisible(true);
    Label_Size_DiskFree->SetText("");
    Label_Size_DiskRecom->SetText("");
    DirVerified = 0;
}

void TFrameDirCopyFile::Image_back1Click(TObject*)
{
    SetVisible(false);
    FormDecompres->FrameCodeCopyFile1->SetVisible(true);
}
