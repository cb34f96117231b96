#pragma once
// Program-wide settings and state shared by every part of the installer.

#include "platform/system.h"

extern AnsiString site_NameLoadPath;  // the download API's base URL, no trailing "/"
extern const AnsiString Version_App;
extern const AnsiString ProtokolCopyFile;
extern const AnsiString ExeNameConst;
extern AnsiString ExeDir;        // folder of the running executable, ending in "/"
extern AnsiString ExeName;       // its file name
extern AnsiString ExeDirShort;   // folder that holds the application bundle, ending in "/"
extern AnsiString DateTimeFileApp;
extern AnsiString NameFile_unrar_dll;  // folder the unpacker is placed in before use

extern AnsiString ProxyIp;
extern AnsiString LoginUser;
extern AnsiString PasswordUser;
extern int ProxyPort;

// Where the installer is, StageWorkApp; the numbers are the ones the log and
// the stop protocol have always used.
extern int StageWorkApp;
constexpr int kStageStart = 0;
constexpr int kStageCodeCheck = 1;     // page 1: the purchase code's form
constexpr int kStageOrderRequest = 2;  // the download API's reachability
constexpr int kStageFolderCheck = 3;   // page 2
constexpr int kStageProxyDialog = 4;
constexpr int kStageManifest = 5;      // the order list, the picture and the sizes
constexpr int kStageDownloading = 6;   // the job's passes: the only stage that takes input during a request
constexpr int kStageExtracting = 7;
constexpr int kStageExtracted = 8;     // the unpacking has returned
constexpr int kStageDownloaded = 71;   // every file there, the unpacking about to start
extern const int CharCodeCopyFile;
extern const int Terminate_ThreadCode;
extern int Terminate_ThreadCritSec;
// Whether the job is to stop: asked by the window (Back, Pause, closing) or
// by a stop signal, which may have come between two waits.
bool StopAsked();

// The destination folder is no longer the one the run opened (renamed,
// replaced by a link): nothing more is written, and the run ends.
constexpr int kDestinationMoved = -700;

class TFormDecompres;
class TFormPassword;
extern TFormDecompres* FormDecompres;
extern TFormPassword* FormPassword;

// Environment overrides for tests and the local demo.
constexpr const char* kApiUrlVariable = "KESTROW_API_URL";
constexpr const char* kCaFileVariable = "KESTROW_CA_FILE";
