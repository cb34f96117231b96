#pragma once
// Page 4: the library is installed.

#include "platform/forms.h"

class TFrameEnd : public TFrame {
public:
    explicit TFrameEnd(TComponent* owner);

    TImage* ImageEnd;
    TImage* Image_close;
    TImage* Image_Tundrel;
    TImage* Image_InstallerOn;

    void Image_closeClick(TObject* Sender);
    void Image_InstallerOnClick(TObject* Sender);
};
