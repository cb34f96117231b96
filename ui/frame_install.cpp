#include "ui/frame_install.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "ui/art_image.h"
#include "ui/artwork.h"

#include <algorithm>

TFrameLibInstal::TFrameLibInstal(TComponent* owner) : TFrame(owner)
{
    SetBounds(0, 0, 600, 400);
    Image_LibInstal = NewArtImage(this, "page_install", 0, 0);
    Image_Resume_active = NewArtImage(this, "button_resume", 472, 328);
    Image_back1 = NewArtImage(this, "button_back", 64, 328);
    Image_Pause_active = NewArtImage(this, "button_pause", 236, 328);
    Image_Pause_active->SetTabOrder(7);
    Image_Resume_active->SetTabOrder(8);
    Image_back1->SetTabOrder(9);
    ProgressBar1 = new TProgressBar(this);
    ProgressBar1->SetBounds(68, 266, 461, 4);
    ProgressBar1->SetAccessibleName("Installation progress");
    ProgressBar2 = new TProgressBar(this);
    ProgressBar2->SetBounds(68, 300, 461, 4);
    ProgressBar2->SetVisible(false);
    ProgressBar2->SetEnabled(false);
    Label_PercentAllFile = NewArtLabel(this, 203, 246, 120, 17);
    Label_PercentAllFile->SetAccessibleDescription("Downloaded");
    Label_PercentAllFile->SetAccessiblePace(kSpokenPaceMs);
    Label_PercentFile = NewArtLabel(this, 203, 280, 120, 17);
    Image_Tundrel = NewProductImage(this, 154, 280, 33);
    Image_Downloading = NewArtImage(this, "caption_downloading", 65, 280);
    Image_Extracting = NewArtImage(this, "page_unpacking", 382, 169);
    Image_Extracting->SetWidth(56);
    Image_Extracting->SetHeight(32);
    Image_errorCheck_filetxt = NewArtImage(this, "msg_error_log", 176, 352);
    Image_errorCheck_filetxt->SetVisible(false);
    Image_Pause_inactive = NewArtImage(this, "button_pause_off", 234, 360);
    Image_Pause_inactive->SetEnabled(false);
    Image_Resume_inactive = NewArtImage(this, "button_resume_off", 472, 360);
    Image_Resume_inactive->SetEnabled(false);
    Image_Checking = NewArtImage(this, "caption_checking", 74, 309);
    // Beside and below the bar, where the pictures leave room.
    Label_Status = NewArtLabel(this, 140, 282, 389, 17);
    Label_Status->SetAccessibleDescription("Installation status");
    Label_Status->SetAccessiblePace(kSpokenPaceMs);
    Label_Reason = NewArtLabel(this, 68, 305, 461, 17, kArtError);
    Label_Reason->SetAccessibleDescription("Why the installation stopped");

    // The inactive pictures name the same handlers; being disabled, they take no click.
    Image_Pause_active->OnClick = [this](TObject* s) { Image_Pause_activeClick(s); };
    Image_Pause_inactive->OnClick = Image_Pause_active->OnClick;
    Image_Resume_active->OnClick = [this](TObject* s) { Image_Resume_activeClick(s); };
    Image_Resume_inactive->OnClick = Image_Resume_active->OnClick;
    Image_back1->OnClick = [this](TObject* s) { Image_back1Click(s); };

    setPosition_Image();
}

void TFrameLibInstal::setPosition_Image()
{
    Image_Pause_inactive->SetVisible(false);
    Image_Resume_active->SetVisible(false);
    Image_Extracting->SetBounds(Position.X(), Position.Y(), Width(), Height());
    PlaceAtFoot(Image_errorCheck_filetxt, this);
    Image_Resume_inactive->Position.Assign(Image_Resume_active->Position);
    Image_Pause_inactive->Position.Assign(Image_Pause_active->Position);
    Image_Checking->Position.Assign(Image_Downloading->Position);
    Image_Checking->SetVisible(true);
    Image_Downloading->SetVisible(false);
    Image_LibInstal->SetEnabled(true);
}

void TFrameLibInstal::startLibInstal()
{
    ShowProgressBar(0);
    setPosition_Image();
    StateImage_button(1);
}

void TFrameLibInstal::StateImage_button(int state)
{
    if (state != 0 && state != 1)
        return;
    bool running = state == 1;
    // The keyboard's place moves from the button pressed to the one that
    // replaces it, before the pressed one hides: no other button has it meanwhile.
    bool focused = Image_Pause_active->IsFocused() || Image_Resume_active->IsFocused();
    TImage* shown = running ? Image_Pause_active : Image_Resume_active;
    TImage* hidden = running ? Image_Resume_active : Image_Pause_active;
    shown->SetVisible(true);
    if (focused)
        shown->SetFocus();
    hidden->SetVisible(false);
    Image_Pause_inactive->SetVisible(!running);
    Image_Resume_inactive->SetVisible(running);
}

int TFrameLibInstal::ShowProgressBar(int64_t n)
{
    if (StageWorkApp == kStageDownloading && Image_Checking->Visible())
        Image_Checking->SetVisible(false);
    if (StageWorkApp == kStageDownloading)
        ShowPace();
    // n is the part of the running request that the counter does not hold yet.
    int p = PercentDownloadingFile(FormDecompres->SizeAllProgress, FormDecompres->SizeLoadedAll + n);
    if (float(p) == ProgressBar1->Value())
        return 0;
    ProgressBar1->SetValue(float(p));
    Label_PercentAllFile->SetText(IntToStr(p) + " % ");
    ShowTitle(p);
    if (OnPercent)
        OnPercent(p);
    return 1;
}

void TFrameLibInstal::Image_Pause_activeClick(TObject*)
{
    StateImage_button(0);
    FormDecompres->Terminate_ThreadUser();
    Label_Status->SetText("Paused");
    Announce(this, "Paused");
}

void TFrameLibInstal::ShowFile(const AnsiString& name, int number, int count)
{
    file_ = name + ", " + IntToStr(number) + " of " + IntToStr(count);
    Label_Status->SetText(file_);
}

void TFrameLibInstal::ShowUnpacking(const AnsiString& name, int number, int count)
{
    const AnsiString status = "Unpacking " + name + " (" + IntToStr(number) + " of " + IntToStr(count) + ")";
    Label_Status->SetText(status);
    if (OnNotice)
        OnNotice(status);
    Label_Status->BringToFront();  // over the unpacking cover
}

void TFrameLibInstal::ShowReason(const AnsiString& sentence)
{
    Label_Reason->SetText(sentence);
    Announce(this, sentence);
}

void TFrameLibInstal::ShowRetry(int pass, int passes, unsigned pauseMs, bool asked)
{
    file_.clear();  // no speed or time left while nothing arrives
    const AnsiString seconds = IntToStr((pauseMs + 999) / 1000) + " s";
    if (!asked) {
        Label_Status->SetText("Waiting for the server\xE2\x80\xA6 retry " + IntToStr(pass) + " of " + IntToStr(passes) +
                              " in " + seconds);
        return;
    }
    const AnsiString status = "The server asks to wait " + seconds + "\xE2\x80\xA6 retry " + IntToStr(pass) + " of " +
                              IntToStr(passes);
    Label_Status->SetText(status);
    if (OnNotice)
        OnNotice(status);
}

void TFrameLibInstal::ShowProxyChecking()
{
    if (Label_Status->Text().find("the proxy is checking") == AnsiString::npos)
        Label_Status->SetText(file_ + " \xE2\x80\x93 the proxy is checking the file");
}

void TFrameLibInstal::ShowTitle(int percent)
{
    if (ownTitle_.empty())
        ownTitle_ = FormDecompres->Caption();
    FormDecompres->SetCaption(percent < 0 ? ownTitle_ : IntToStr(percent) + " % \xE2\x80\x93 Kestrow Installer");
}

// Speed and time left, measured at most twice a second and smoothed over the
// last few seconds, across files and passes; a dash until a few seconds of
// data have come.
void TFrameLibInstal::ShowPace()
{
    using namespace std::chrono;
    auto now = steady_clock::now();
    int64_t done = FormDecompres->SizeLoadedAll;
    // A new pass counts from 0 again: the measure goes on from there.
    if (sampledAt_ == steady_clock::time_point{} || done < sampledBytes_) {
        if (sampledAt_ == steady_clock::time_point{})
            measuredFrom_ = now;
        sampledAt_ = now, sampledBytes_ = done;
        return;
    }
    double seconds = duration<double>(now - sampledAt_).count();
    if (seconds < 0.5)
        return;
    double rate = double(done - sampledBytes_) / seconds;
    speed_ = speed_ < 0 ? rate : 0.7 * speed_ + 0.3 * rate;
    sampledAt_ = now, sampledBytes_ = done;
    if (file_.empty() || now - shownAt_ < milliseconds(500))
        return;
    shownAt_ = now;
    AnsiString pace = " \xC2\xB7 \xE2\x80\x94";
    if (speed_ > 0 && now - measuredFrom_ >= kEstimateAfter)
        pace = " \xC2\xB7 " + SpeedText(speed_) + " \xC2\xB7 " +
               TimeLeftText(double(FormDecompres->SizeAllProgress - done) / speed_);
    Label_Status->SetText(file_ + pace);
}

AnsiString SpeedText(double bytesPerSecond)
{
    return bytesPerSecond < 1e6 ? IntToStr(int64_t(bytesPerSecond / 1e3)) + " KB/s"
                                : FloatToStrF(bytesPerSecond / 1e6, TFloatFormat::ffFixed, 5, 1) + " MB/s";
}

AnsiString TimeLeftText(double seconds)
{
    if (!(seconds <= 99.0 * 3600))  // also a rate of nothing at all
        return "more than 99 h left";
    int64_t left = int64_t(std::max(0.0, seconds));
    if (left >= 3600)
        return IntToStr(left / 3600) + " h " + IntToStr(left % 3600 / 60) + " min left";
    return IntToStr(left / 60) + ":" + (left % 60 < 10 ? "0" : "") + IntToStr(left % 60) + " left";
}

void TFrameLibInstal::Image_Resume_activeClick(TObject*)
{
    StateImage_button(1);
    Announce(this, "Resumed");
    FormDecompres->IdThreadComponent1->Start();
}

void TFrameLibInstal::Image_back1Click(TObject*)
{
    FormDecompres->Terminate_ThreadUser();
    SetVisible(false);
    FormDecompres->FrameDirCopyFile1->SetVisible(true);
    FormDecompres->FrameDirCopyFile1->Edit_DirSaveFile->SetFocus();
}

int PercentDownloadingFile(int64_t total, int64_t done)
{
    if (total == 0)
        return 0;
    int p = int(double(done) * 100.0 / double(total));
    return p > 100 ? 100 : p;
}

void funCorrectProgressBar(int64_t n)
{
    FormDecompres->SizeLoadedAll += n;
    if (FormDecompres->SizeLoadedAll > FormDecompres->SizeAllProgress)
        FormDecompres->SizeLoadedAll = FormDecompres->SizeAllProgress;
}
