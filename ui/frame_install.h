#pragma once
// Page 3: download and unpacking progress, with Pause, Resume and Back.

#include "platform/forms.h"

#include <chrono>
#include <functional>

class TFrameLibInstal : public TFrame {
public:
    explicit TFrameLibInstal(TComponent* owner);

    TImage* Image_LibInstal;
    TImage* Image_Resume_active;
    TImage* Image_back1;
    TImage* Image_Pause_active;
    TProgressBar* ProgressBar1;
    TProgressBar* ProgressBar2;
    TLabel* Label_PercentAllFile;
    TLabel* Label_PercentFile;
    TImage* Image_Tundrel;
    TImage* Image_Downloading;
    TImage* Image_Extracting;
    TImage* Image_errorCheck_filetxt;
    TImage* Image_Pause_inactive;
    TImage* Image_Resume_inactive;
    TImage* Image_Checking;
    TLabel* Label_Status;  // the file and its number, speed and time left; Paused; the archive being unpacked
    TLabel* Label_Reason;  // why the installation stopped, in a sentence

    void startLibInstal();
    void setPosition_Image();
    void StateImage_button(int state);  // 0 paused, 1 running
    int ShowProgressBar(int64_t n);     // 1 when the bar moved
    void Image_Pause_activeClick(TObject* Sender);
    void Image_Resume_activeClick(TObject* Sender);
    void Image_back1Click(TObject* Sender);

    std::function<void(int percent)> OnPercent;  // told each whole-percent step of the bar
    // Told what a listener without the page needs: each archive as its
    // unpacking begins, a server that asks to be waited for.
    std::function<void(const AnsiString& status)> OnNotice;

    void ShowFile(const AnsiString& name, int number, int count);      // the transfer of a file begins
    void ShowUnpacking(const AnsiString& name, int number, int count);  // the unpacking of an archive begins
    void ShowReason(const AnsiString& sentence);                        // "" clears it
    // A failed pass, the next one waiting; `asked`: the server asked for that wait.
    void ShowRetry(int pass, int passes, unsigned pauseMs, bool asked = false);
    void ShowProxyChecking();  // a proxy holds the file back while it checks it
    void ShowTitle(int percent);                                        // -1: the window's own title

private:
    static constexpr int kSpokenPaceMs = 1000;  // what readers are told of the status, at most
    static constexpr std::chrono::seconds kEstimateAfter{3};  // the time left needs this much data
    void ShowPace();
    AnsiString ownTitle_;
    AnsiString file_;  // "Lib.part2.rar, 2 of 5"
    // Speed, smoothed so that it does not jump: bytes a second, -1 until measured.
    double speed_ = -1;
    int64_t sampledBytes_ = 0;
    std::chrono::steady_clock::time_point sampledAt_{}, shownAt_{}, measuredFrom_{};
};

AnsiString SpeedText(double bytesPerSecond);  // "42 KB/s", "1.5 MB/s"
AnsiString TimeLeftText(double seconds);      // "0:02 left", "1 h 12 min left", "more than 99 h left"

int PercentDownloadingFile(int64_t total, int64_t done);
void funCorrectProgressBar(int64_t n);
