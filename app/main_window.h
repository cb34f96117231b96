#pragma once
// The installer's only window. It owns the HTTP client, the worker, the four
// pages and the whole installer state; the long operations are its methods.

#include "install/library_record.h"
#include "platform/forms.h"
#include "platform/http.h"
#include "platform/threads.h"
#include "ui/frame_code.h"
#include "ui/frame_end.h"
#include "ui/frame_folder.h"
#include "ui/frame_install.h"

#include <chrono>
#include <vector>

class TFormDecompres : public TForm {
public:
    explicit TFormDecompres(TComponent* owner);
    ~TFormDecompres() override;

    // components, in declaration order
    TIdHTTP* IdHTTP1;
    TIdSSLIOHandlerSocketOpenSSL* IdSSLIOHandlerSocketOpenSSL1;
    TFrameCodeCopyFile* FrameCodeCopyFile1;
    TFrameDirCopyFile* FrameDirCopyFile1;
    TFrameLibInstal* FrameLibInstal1;
    TFrameEnd* FrameEnd1;
    TIdThreadComponent* IdThreadComponent1;

    // installer state
    AnsiString CodeCopyFile;
    AnsiString UrlApi;
    AnsiString UrlGet;
    AnsiString UrlNext;
    AnsiString UrlDone;
    AnsiString DirTemp;
    AnsiString NameFileList;
    AnsiString NameFileLog;
    AnsiString PathFileLog;
    AnsiString DirSeparator;
    AnsiString DirSaveFile;
    int MaxFileLoad = 100;
    int CountFileLoad = 0;
    std::vector<AnsiString> NameFileLoad;
    std::vector<int> PartFileLoad;
    std::vector<int64_t> SizeFileLoad;  // 64-bit: files of 2 GiB and more
    std::vector<AnsiString> NameFileDwl;
    int64_t SizeAllFile = 0;
    int64_t SizeAllProgress = 0;
    int64_t SizeLoadedAll = 0;
    AnsiString NameFile_libeay;
    AnsiString NameFile_ssleay;
    void (*CorrectProgressBar)(int64_t) = nullptr;
    unsigned RetryPauseMs = 2000;  // between failed passes of the download

    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void LIB_Decompres();

    // the code check and the order request
    int workCodeCopyFile();
    static AnsiString TrimmedPurchaseCode(AnsiString code);  // as the check takes it
    int preparationDownload();

    // the API's reachability, through a proxy when needed
    int CheckProxyThread(TIdHTTP* client, const AnsiString& url);

    // log
    void Info_toFile(const AnsiString& message, int code);
    // One line for each library installed (the failure log is removed on
    // success): when, by which version, which order, where, how much.
    void RecordInstallation();
    // The desktop's place for this application's state ($XDG_STATE_HOME/kestrow/),
    // made when asked for; the parent of `privateFolder` where there is none.
    static AnsiString StateFolder(const AnsiString& privateFolder);
    // The last entry's message and code, for the unattended mode's report.
    AnsiString LastFailure;
    int LastFailureCode = 0;

    // worker and stop protocol
    void UpdateWndThread(int ms);
    void Terminate_ThreadUser();
    void IdThreadComponent1Run(TIdThreadComponent* Sender);
    void IdThreadComponent1Exception(TIdThreadComponent* Sender, Exception* E);

    // the progress page's view of the client's work
    void IdHTTP1WorkBegin(TObject* Sender, TWorkMode AWorkMode, int64_t AWorkCountMax);
    void IdHTTP1Work(TObject* Sender, TWorkMode AWorkMode, int64_t AWorkCount);
    void IdHTTP1WorkEnd(TObject* Sender, TWorkMode AWorkMode);

    // the destination and the extraction
    int workDirCopyFile();
    int ExtractingFileThreadComp();
    // The destination is held against other installers (flock) from page 2's
    // check until the job has finished the library or another folder is chosen.
    int LockDestination();  // 0, or -errno (-EWOULDBLOCK: another installer holds it)
    void UnlockDestination();
    // Left in the destination while the job unpacks, removed on success: a
    // folder that holds it for this order holds what that unpacking left,
    // and may be taken again to finish it.
    static constexpr const char* kUnpackingMarkName = ".kestrow-unpacking";
    AnsiString UnpackingMark() const;  // its path
    // What the job still has to write into the destination: the bytes of the
    // order not downloaded yet, and, once the download is whole (an unpacking
    // under way), what the unpacker still writes. `how` says how it was counted.
    int64_t BytesStillToWrite(AnsiString& how);

    // the job: download, unpack, finish
    void startLoadFileThreadComp();
    int DownloadingFileThreadComp(TIdHTTP* client);
    void ShowInstalled();  // page 4, and the installation recorded
    int DownloadPasses();  // the download's passes, failed ones tried again after a pause
    // Every downloaded archive, each volume the unpacker read included.
    void DeleteFile_Dwl();
    // The unpacked library made durable and recorded in its folder: only
    // then is it called installed, and only then do the archives go.
    int SealLibrary();
    // The destination holds the record of a library installed for this order.
    bool LibraryOfThisOrder();
    // The destination's path no longer leads to the folder this run opened.
    bool DestinationMoved() const;
    int LastUnpackerStatus = 0;  // the unpacker's exit status when it failed
    std::vector<AnsiString> DamagedVolumes;  // the volumes of the archive that failed, by name

private:
    int UnpackArchives(const AnsiString& placed);
    std::vector<LibraryFile> unpackedFiles_;  // what the archives hold, from their headers
    std::vector<AnsiString> volumesRead_;     // the archives' volumes, by name
    int FolderOfThisOrder();
    bool UnpackingOfThisOrder();  // the mark is there, and names this order
    int destinationLock_ = -1;
    // How long a click or a close may wait while the job runs; a screen
    // reader's questions, which come by the dozen for each key, 1 ms.
    int PumpEveryMs() const { return ScreenReaderListens() ? 1 : 5; }
    int64_t MillisecondsSincePump() const;
    std::chrono::steady_clock::time_point lastPump_{};
};
