// The job behind page 3, run on the main thread by the worker: every file of
// the order downloaded (resumed where part of it is there), the API told
// after each file and at the end, failed passes retried, then the archives
// unpacked and page 4 shown.

#include "app/codes.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "net/http_requests.h"
#include "net/transfer.h"
#include "platform/wait.h"

#include <algorithm>

#include <unistd.h>

namespace {
constexpr int kRetries = 6;
// The most a server's Retry-After is waited for: a maintenance, not a day.
constexpr unsigned kMaxServerWaitMs = 10 * 60 * 1000;
}  // namespace

void TFormDecompres::startLoadFileThreadComp()
{
    TFrameLibInstal* page = FrameLibInstal1;
    StageWorkApp = kStageDownloading;
    page->Image_Extracting->SetVisible(false);
    page->Image_errorCheck_filetxt->SetVisible(false);
    Terminate_ThreadCritSec = 0;
    page->ShowReason("");
    IdHTTP1->WorkEventMs = PumpEveryMs();

    // Installed there already (a run whose end was not seen, a deployment
    // run twice): nothing to fetch, nothing to unpack.
    if (LibraryOfThisOrder()) {
        ShowInstalled();
        IdThreadComponent1->Stop();
        return;
    }
    int r = DownloadPasses();
    // What is on disk stays for the next pass, stopped or failed.
    for (bool fetchedAgain = false; r == 0; fetchedAgain = true) {
        StageWorkApp = kStageDownloaded;
        for (TImage* hidden : {page->Image_Downloading, page->Image_Checking, page->Image_Resume_active,
                               page->Image_Resume_inactive})
            hidden->SetVisible(false);
        page->Image_Extracting->SetVisible(true);
        page->ShowProgressBar(0);
        UpdateWndThread(5);
        // A run stopped or failed from here on may be finished by a later one.
        try {
            TFileStream mark(destinationLock_, kUnpackingMarkName, fmCreate);
            const AnsiString text = CodeCopyFile + "\n";
            mark.Write(text.data(), int64_t(text.size()));
        } catch (const EInOutError&) {
            // Without the mark a stopped unpacking is started over elsewhere: nothing is lost.
        }
        // The archives and the mark reach the disk first: a power cut while
        // unpacking leaves a folder that a new run finishes.
        syncfs(destinationLock_);
        r = ExtractingFileThreadComp();
        StageWorkApp = kStageExtracted;
        if (r == 0)
            r = SealLibrary();
        if (r == 0) {
            DeleteFile_Dwl();
            unlinkat(destinationLock_, kUnpackingMarkName, 0);
            fsync(destinationLock_);
            ShowInstalled();
            break;
        }
        // The page again, not its unpacking cover, so that Back and Resume can be reached.
        page->Image_Extracting->SetVisible(false);
        if (LastUnpackerStatus != 1 || StopAsked())
            break;
        // Damaged on its way, or as the server has it: fetched again, once.
        if (fetchedAgain) {
            page->ShowReason(ExtractFileName(DamagedVolumes.front()) +
                             " could not be unpacked: the archive is damaged as the server sends it. Please tell the "
                             "vendor.");
            break;
        }
        for (const AnsiString& name : DamagedVolumes)
            unlinkat(destinationLock_, name.c_str(), 0);
        StageWorkApp = kStageDownloading;
        r = DownloadPasses();
    }
    // Failed for good: the notice points to the log, and Resume tries again.
    if (r != 0 && r != Terminate_ThreadCode) {
        page->Image_errorCheck_filetxt->SetVisible(true);
        page->StateImage_button(0);
    }
    page->ShowTitle(-1);
    if (r == 0 && !Active())
        NotifyDesktop("The library is installed", "Kestrow Installer has installed it into " + DirSaveFile + ".");
    IdHTTP1->Disconnect();
    IdThreadComponent1->Stop();
}

int TFormDecompres::DownloadPasses()
{
    TFrameLibInstal* page = FrameLibInstal1;
    int r = DownloadingFileThreadComp(IdHTTP1);
    for (int retries = 1; r < 0 && r != kDestinationMoved && retries <= kRetries; ++retries) {
        // A server in maintenance (503) or overrun (429) may say how long to
        // wait: waited, within bounds, and said; never less than our own pause.
        const int asked = r == -503 || r == -429 ? IdHTTP1->RetryAfter() : -1;
        const unsigned pause =
            asked > 0 ? std::max(RetryPauseMs, std::min(unsigned(std::min(asked, 86400)) * 1000u, kMaxServerWaitMs))
                      : RetryPauseMs;
        // No input during the pause; a close or a stop signal ends it.
        page->ShowRetry(retries + 1, kRetries + 1, pause, asked > 0);
        SleepRepainting(pause);
        r = DownloadingFileThreadComp(IdHTTP1);
    }
    return r;
}

void TFormDecompres::ShowInstalled()
{
    RecordInstallation();
    UnlockDestination();
    FrameLibInstal1->SetVisible(false);
    FrameEnd1->ShowFinished(DirSaveFile);
    SizeLoadedAll = 0;
    StageWorkApp = kStageExtracted;
}

int TFormDecompres::DownloadingFileThreadComp(TIdHTTP* client)
{
    TFrameLibInstal* page = FrameLibInstal1;
    SizeLoadedAll = 0;
    page->Image_Downloading->SetVisible(false);
    AnsiString message;
    // Every file is written below the folder as the run opened it.
    if (destinationLock_ < 0 && LockDestination() != 0) {
        Info_toFile("Downloading files \ncannot open the folder " + DirSaveFile, kCannotOpenFile);
        page->ShowReason(PlainReason(kCannotOpenFile, ""));
        return kCannotOpenFile;
    }
    for (int i = 0; i < CountFileLoad; ++i) {
        if (StopAsked())
            return Terminate_ThreadCode;
        message = "Downloading files ";
        int64_t size = SizeFileLoad[i];
        page->Image_Checking->SetVisible(true);
        page->Image_Downloading->SetVisible(false);
        UpdateWndThread(3);
        AnsiString name = ExtractFileName(NameFileDwl[i]);
        // Written only into the folder the run opened: one renamed, or
        // replaced by a link, gets no byte more, and neither does any other.
        if (DestinationMoved()) {
            Info_toFile(message + "\nthe destination folder was moved or replaced: " + DirSaveFile, kDestinationMoved);
            page->ShowReason("The destination folder was moved or replaced.");
            return kDestinationMoved;
        }
        page->ShowFile(name, i + 1, CountFileLoad);
        int r = idHTTP_ReadWriteFileResumingFun(client, NameFileLoad[i], name, size, CorrectProgressBar,
                                                destinationLock_);
        // A file no answer gave a size is whole now: no later pass asks it for more.
        if ((r == 0 || r == 1) && SizeFileLoad[i] <= 0)
            SizeFileLoad[i] = size;
        if (StopAsked())
            return Terminate_ThreadCode;
        // A host that could not be found has not delivered the file either.
        if (r < 0 || r == WSAHOST_NOT_FOUND) {
            Info_toFile(message + NameFileLoad[i] + " to " + NameFileDwl[i], r);
            page->ShowReason(PlainReason(r, name));
            return r;
        }
        r = idHTTP_Head_msg(client, UrlNext, 0);
        if (r != 0) {
            Info_toFile(message + UrlNext, r);
            page->ShowReason(PlainReason(r, ""));
            return r;
        }
    }
    int r = idHTTP_Head_msg(client, UrlDone, 0);
    if (r == 0)
        return 0;
    Info_toFile(message + UrlDone, r);
    page->ShowReason(PlainReason(r, ""));
    return r;
}
