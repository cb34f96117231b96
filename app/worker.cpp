// The worker and its stop protocol. The worker thread only hands the job to
// the main thread; the job pumps the window's messages itself, and the
// handlers that run inside that pump stop it through the stop flag.

#include "app/globals.h"
#include "app/main_window.h"

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
