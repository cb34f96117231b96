#include "app/globals.h"

#include "platform/application.h"

AnsiString site_NameLoadPath = "https://api.kestrow-audio.com";
const AnsiString Version_App = "1";
const AnsiString ProtokolCopyFile = "https://";
const AnsiString ExeNameConst = ".app/Contents/MacOS/";
AnsiString ExeDir;
AnsiString ExeName;
AnsiString ExeDirShort;
AnsiString DateTimeFileApp;
AnsiString NameFile_unrar_dll;

AnsiString ProxyIp;
AnsiString LoginUser;
AnsiString PasswordUser;
int ProxyPort = 0;

int StageWorkApp = 0;
const int CharCodeCopyFile = 20;
const int Terminate_ThreadCode = 555;
int Terminate_ThreadCritSec = 0;

bool StopAsked() { return Terminate_ThreadCritSec == Terminate_ThreadCode || TApplication::StopSignal() != 0; }

TFormDecompres* FormDecompres = nullptr;
TFormPassword* FormPassword = nullptr;
