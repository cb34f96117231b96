#include "app/main_window.h"

#include "app/globals.h"
#include "platform/rtl.h"
#include "platform/wait.h"
#include "ui/artwork.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

TFormDecompres::TFormDecompres(TComponent* owner) : TForm(owner)
{
    SetClientSize(600, 400);

    IdHTTP1 = new TIdHTTP(this);
    IdSSLIOHandlerSocketOpenSSL1 = new TIdSSLIOHandlerSocketOpenSSL(this);
    IdHTTP1->IOHandler = IdSSLIOHandlerSocketOpenSSL1;
    IdHTTP1->AllowCookies = true;
    IdHTTP1->Request.UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    IdHTTP1->Request.Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
    if (const char* ca = std::getenv(kCaFileVariable))
        IdSSLIOHandlerSocketOpenSSL1->CAFile = ca;
    IdHTTP1->OnWorkBegin = [this](TObject* s, TWorkMode m, int64_t n) { IdHTTP1WorkBegin(s, m, n); };
    IdHTTP1->OnWork = [this](TObject* s, TWorkMode m, int64_t n) { IdHTTP1Work(s, m, n); };
    IdHTTP1->OnWorkEnd = [this](TObject* s, TWorkMode m) { IdHTTP1WorkEnd(s, m); };

    FrameCodeCopyFile1 = new TFrameCodeCopyFile(this);
    FrameDirCopyFile1 = new TFrameDirCopyFile(this);
    FrameLibInstal1 = new TFrameLibInstal(this);
    FrameEnd1 = new TFrameEnd(this);
    FrameDirCopyFile1->SetVisible(false);
    FrameLibInstal1->SetVisible(false);
    FrameEnd1->SetVisible(false);
    // The window's copy of page 3 starts without its checking caption.
    FrameLibInstal1->Image_Checking->SetVisible(false);
    FrameLibInstal1->Image_Checking->SetEnabled(false);

    IdThreadComponent1 = new TIdThreadComponent(this);
    IdThreadComponent1->OnRun = [this](TIdThreadComponent* s) { IdThreadComponent1Run(s); };
    IdThreadComponent1->OnException = [this](TIdThreadComponent* s, Exception* e) { IdThreadComponent1Exception(s, e); };

    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    // Closed while a request blocks the window: the request is cut, so the
    // close comes at once, not when a slow server is done.
    SetCloseHeldHandler([this] {
        Terminate_ThreadCritSec = Terminate_ThreadCode;
        IdHTTP1->Disconnect();
    });
    ApplyTabOrder();

    // construction proper
    SetCaption("Kestrow Installer v 1.3");
    SetIcon(ArtResourcePath(ArtByName("app_icon")));
    UrlApi = site_NameLoadPath + "/" + Version_App + "/";
    DirSeparator = AnsiString(1, TPath::DirectorySeparatorChar);
    CodeCopyFile.clear();
    MaxFileLoad = 100;
    NameFileLoad.assign(size_t(MaxFileLoad), AnsiString());
    PartFileLoad.assign(size_t(MaxFileLoad), 0);
    SizeFileLoad.assign(size_t(MaxFileLoad), 0);
    NameFileDwl.assign(size_t(MaxFileLoad) + 1, AnsiString());
    NameFileLog = "KW_installerlog.txt";
    StageWorkApp = kStageStart;
    CountFileLoad = 0;
    SizeAllFile = 0;
    SizeLoadedAll = 0;
    DirTemp = TPath::GetTempPath();
    LIB_Decompres();
    // The notice is a thin line of words: its hint says where the log is.
    for (TImage* notice : {FrameCodeCopyFile1->Image_errorCheck_filetxt, FrameLibInstal1->Image_errorCheck_filetxt}) {
        notice->SetHint("An error occurred. The installer log is " + PathFileLog + ". Click to open it.");
        notice->OnClick = [this](TObject*) { OpenWithDesktop(PathFileLog); };
    }
    int y = int(FrameCodeCopyFile1->Image_Tundrel->Position.Y());
    FrameDirCopyFile1->Image_Tundrel->Position.SetY(float(y));
    FrameLibInstal1->Image_Tundrel->Position.SetY(float(y));
    CorrectProgressBar = funCorrectProgressBar;
}

TFormDecompres::~TFormDecompres()
{
    SetCloseHeldHandler(nullptr);
    UnlockDestination();
    // The worker goes first: it may still be waiting to hand over a job.
    delete IdThreadComponent1;
    IdThreadComponent1 = nullptr;
}

// Where the log goes when the bundle lies in a folder this user cannot write
// (an install under /opt): the desktop's place for an application's state;
// without a home to hold it, the folder that holds this run's private one.
AnsiString TFormDecompres::StateFolder(const AnsiString& privateFolder)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const passwd* user = home && *home == '/' ? nullptr : getpwuid(getuid());
    AnsiString homeDir = home && *home == '/' ? AnsiString(home) : user && user->pw_dir ? AnsiString(user->pw_dir) : "";
    AnsiString base = state && *state == '/' ? AnsiString(state) : homeDir.empty() ? "" : homeDir + "/.local/state";
    AnsiString folder = base + "/kestrow/";
    std::error_code ignored;
    if (!base.empty() && (std::filesystem::create_directories(folder, ignored), access(folder.c_str(), W_OK) == 0))
        return folder;
    AnsiString inner = privateFolder;
    while (inner.size() > 1 && inner.back() == '/')
        inner.pop_back();
    return ExtractFilePath(inner);
}

namespace {
// The bundle the Debian package installed (under /opt): dpkg's alone, which
// no run writes beside, root's neither, so that removing it leaves nothing.
bool BundleOfThePackage()
{
    std::ifstream list("/var/lib/dpkg/info/kestrow-installer.list");
    const std::string self = ExeDir + ExeName;
    for (std::string line; std::getline(list, line);)
        if (line == self)
            return true;
    return false;
}
}  // namespace

void TFormDecompres::LIB_Decompres()
{
    NameFile_ssleay = ExeDir + "SSLEAY32.dll";
    NameFile_libeay = ExeDir + "LIBEAY32.dll";
    const bool besideTheBundle = access(ExeDirShort.c_str(), W_OK) == 0 && !BundleOfThePackage();
    PathFileLog = besideTheBundle ? ExeDirShort + DirSeparator + NameFileLog : StateFolder(DirTemp) + NameFileLog;
    // The unpacker's working copy: beside the bundle as ever, or in this run's
    // private folder where that cannot be written.
    NameFile_unrar_dll = besideTheBundle ? ExeDirShort : DirTemp;
}

void TFormDecompres::FormShow(TObject*)
{
    FrameCodeCopyFile1->SetVisible(true);
    FrameCodeCopyFile1->Edit_CodeCopyFile->SetFocus();
}

void TFormDecompres::FormClose(TObject*, TCloseAction&)
{
    Terminate_ThreadUser();
    IdSSLIOHandlerSocketOpenSSL1->Close();
    DeleteFile(NameFile_libeay);
    DeleteFile(NameFile_ssleay);
}
