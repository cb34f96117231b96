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
    TImage* Image_folder_in_use;  // another installer holds the folder

    int DirVerified = 0;  // 1 once the current folder passed the whole check
    // How the required space was counted, when the folder had too little.
    AnsiString SpaceCounted;

    void noVisible_Image_msg();
    int VerifyDiskDir();      // 0 when the folder is accepted
    int GetShow_Diskspace();  // 0 when the order fits
    void NextWorkClick();
    void Image_Next1Click(TObject* Sender);
    void Image_back1Click(TObject* Sender);
    void Image_Browse1Click(TObject* Sender);
    void Edit_DirSaveFileKeyDown(TObject* Sender, uint16_t& Key, char32_t& KeyChar, TShiftState Shift);
};

// The folder dialog; a single blank in `dir` when the user cancels.
void GetDirectory(AnsiString& dir);

// The size labels: whole GiB free with one decimal ("208.0GB"), or under a
// GiB in the unit of the required size ("20.00MB"), and the order's size in
// B, KB, MB or GB with two ("976.56KB").
AnsiString FreeSpaceText(int64_t freeBytes, int64_t requiredBytes);
AnsiString RequiredSpaceText(int64_t bytes);

// A folder as typed ("~/Samples", "Samples") as the installer takes it: "~"
// is the home folder, a relative path is taken against the working folder.
AnsiString TypedFolder(const AnsiString& text);
