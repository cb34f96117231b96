// The worker and its stop protocol. The worker thread only hands the job to
// the main thread; the job pumps the window's messages itself, and the
// handlers that run inside that pump stop it through the stop flag.

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/wait.h"

void TFormDecompres::UpdateWndThread(int ms)
{
    Application->ProcessMessages();
    lastPump_ = std::chrono::steady_clock::now();
    Sleep(unsigned(ms));
}

int64_t TFormDecompres::MillisecondsSincePump() const
{
    auto since = std::chrono::steady_clock::now() - lastPump_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void TFormDecompres::Terminate_ThreadUser()
{
    Terminate_ThreadCritSec = Terminate_ThreadCode;
    IdHTTP1->Disconnect();
    IdThreadComponent1->Stop();
}

void TFormDecompres::IdThreadComponent1Run(TIdThreadComponent* Sender)
{
    Sender->Synchronize([this] { startLoadFileThreadComp(); });
}

void TFormDecompres::IdThreadComponent1Exception(TIdThreadComponent*, Exception* E)
{
    Terminate_ThreadUser();
    ShowMessage("Error IdThreadComponent: " + E->Message + "\n");
}

// The client announces the start and end of each request; the page takes its
// progress from IdHTTP1Work alone, so these two have nothing to do.
void TFormDecompres::IdHTTP1WorkBegin(TObject*, TWorkMode, int64_t) {}
void TFormDecompres::IdHTTP1WorkEnd(TObject*, TWorkMode) {}

// Input is taken at each whole-percent step and, however slow the line, at
// least every PumpEveryMs, so that Pause answers at once; a raised stop cuts
// the running request. No pause follows the pump: a hundred of them a pass
// would hold up the transfer itself.
void TFormDecompres::IdHTTP1Work(TObject*, TWorkMode, int64_t AWorkCount)
{
    // A request outside the download job blocks its page's handler: the
    // window repaints meanwhile but takes no input.
    if (StageWorkApp != kStageDownloading) {
        RepaintWhileBlocked();
        // Closing the window cut the request before; every later one is cut at once.
        if (StopAsked())
            IdHTTP1->Disconnect();
        return;
    }
    if (FrameLibInstal1->ShowProgressBar(AWorkCount) == 1 || MillisecondsSincePump() >= PumpEveryMs())
        UpdateWndThread(0);
    if (AWorkCount == 0 && IdHTTP1->ProxyHoldsTheAnswer())
        FrameLibInstal1->ShowProxyChecking();
    if (StopAsked())
        IdHTTP1->Disconnect();
}
