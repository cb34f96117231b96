// The job behind page 3, run on the main thread by the worker.

#include "app/globals.h"
#include "app/main_window.h"

void TFormDecompres::startLoadFileThreadComp()
{
    StageWorkApp = 6;
    FrameLibInstal1->Image_Extracting->SetVisible(false);
    FrameLibInstal1->Image_errorCheck_filetxt->SetVisible(false);
    Terminate_ThreadCritSec = 0;
    // The download pass and the unpacking are not built yet: the job ends here.
    IdHTTP1->Disconnect();
    IdThreadComponent1->Stop();
}
