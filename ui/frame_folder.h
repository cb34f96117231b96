#pragma once
// Page 2: the destination folder and its free space.

#include "platform/forms.h"

class TFrameDirCopyFile : public TFrame {
public:
    explicit TFrameDirCopyFile(TComponent* owner);

    TImage* Image_DirCopyFile;
    TImage* Image_Next1;
    TImage* Image_Browse1;
    TEdit* Edit_DirSaveFile;
    TImage* Image_back1;
    TLabel* Label_Size_DiskFree;
    TLabel* Label_Size_DiskRecom;
    TImage* Image_ied_Required_space_ok;
    TImage* Image_Not_enough_space;
    TImage* Image_Tundrel;
    TImage* Image_folder_no_Empty;
    TImage* Image_folder_Incorect;
    TImage* Image_Folder_does_not_exist;

    int DirVerified = 0;  // 1 once the current folder passed the whole check

    void noVisible_Image_msg();
    void Image_back1Click(TObject* Sender);
};
