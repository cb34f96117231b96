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
    TLabel* Label_Destination;   // where the library now is
    TImage* Image_OpenFolder;    // opens it in the file manager

    // The page shown for a library just installed: focus on Close, the news said.
    void ShowFinished(const AnsiString& folder);
    void Image_closeClick(TObject* Sender);
    void Image_InstallerOnClick(TObject* Sender);
    void Image_OpenFolderClick(TObject* Sender);
};
