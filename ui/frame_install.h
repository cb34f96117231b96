#pragma once
// Page 3: download and unpacking progress, with Pause, Resume and Back.

#include "platform/forms.h"

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

    void startLibInstal();
    void setPosition_Image();
    void StateImage_button(int state);  // 0 paused, 1 running
    int ShowProgressBar(int64_t n);     // 1 when the bar moved
    void Image_Pause_activeClick(TObject* Sender);
    void Image_Resume_activeClick(TObject* Sender);
    void Image_back1Click(TObject* Sender);

    std::function<void(int percent)> OnPercent;  // told each whole-percent step of the bar
};

int PercentDownloadingFile(int64_t total, int64_t done);
void funCorrectProgressBar(int64_t n);
