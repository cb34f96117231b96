#pragma once
// Page 1: the purchase code.

#include "platform/forms.h"

class TFrameCodeCopyFile : public TFrame {
public:
    explicit TFrameCodeCopyFile(TComponent* owner);

    TImage* Image_CodeCopyFile;
    TEdit* Edit_CodeCopyFile;
    TImage* Image_Next1;
    TImage* Image1_Paste;
    TImage* Image_coreect_code;
    TImage* Image_invalid_code;
    TImage* Image_Tundrel;
    TImage* Image_errorCheck_filetxt;
    TImage* Image_Verification;

    void noVisible_Image_msg();
    void clearWnd();
    int CheckCodeCopyFile();
    void Image_Next1Click(TObject* Sender);
    void Image1_PasteClick(TObject* Sender);
    void Edit_CodeCopyFileKeyDown(TObject* Sender, uint16_t& Key, char32_t& KeyChar, TShiftState Shift);
};
