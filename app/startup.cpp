#include "app/startup.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "app/text.h"
#include "app/unattended.h"
#include "platform/wait.h"
#include "ui/form_password.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

AnsiString ExeDirShortOf(const AnsiString& exeDir)
{
    AnsiString copy = exeDir;
    int p0 = Pos(ExeNameConst, exeDir);
    if (p0 > 0)
        Delete(copy, p0, int(ExeNameConst.size()));
    int p = LastPosChar(copy, "/");
    int n = int(exeDir.size()) - p;
    AnsiString result = exeDir;
    Delete(result, p, n);
    return result;
}

// Judged by what /proc says each listed process executes, so that neither a
// command line that merely names the bundle (an editor, a grep) nor a copy
// started through a link or a relative path can fool it.
bool AnotherCopyRuns(const AnsiString& snapshot, const AnsiString& executable)
{
    struct stat self {};
    if (stat(executable.c_str(), &self) != 0)
        return false;
    const pid_t me = getpid();
    size_t at = 0;
    while (at < snapshot.size()) {
        size_t end = snapshot.find('\n', at);
        if (end == AnsiString::npos)
            end = snapshot.size();
        long pid = std::strtol(snapshot.c_str() + at, nullptr, 10);
        at = end + 1;
        struct stat other {};
        if (pid > 0 && pid != me && stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &other) == 0 &&
            other.st_dev == self.st_dev && other.st_ino == self.st_ino)
            return true;
    }
    return false;
}

int workProcess()
{
    AnsiString snapshot = ExeDirShort + "psProcess.txt";
    AnsiString quoted = QuotedPath(snapshot);
    RunShellCommand("ps -ax > " + quoted);
    AnsiString text = TFile::ReadAllText(snapshot);
    RunShellCommand("rm " + quoted);
    if (!AnotherCopyRuns(text, "/proc/self/exe"))
        return 0;
    ShowMessage("Process is already started.");
    return -1;
}

int FMXmain(const UnattendedOptions* unattended)
{
    try {
        Application->Initialize();
        if (unattended)
            AnswerModalsUnattended(*unattended);
        if (const char* api = std::getenv(kApiUrlVariable)) {
            // The client would refuse it at the first request; say so plainly now.
            if (AnsiString(api).rfind(ProtokolCopyFile, 0) != 0) {
                ShowMessage(AnsiString(kApiUrlVariable) + " must be an https:// address, not '" +
                            PrintableLine(api) + "'.");
                return 1;
            }
            site_NameLoadPath = api;
        }
        AnsiString module = GetModuleName();
        ExeDir = ExtractFilePath(module);
        ExeName = ExtractFileName(module);
        ExeDirShort = ExeDirShortOf(ExeDir);
        if (workProcess() != 0)
            return unattended ? 1 : 0;
        GetDateTime_File(ExeName, DateTimeFileApp, 0);
        Application->CreateForm(FormDecompres);
        Application->CreateForm(FormPassword);
        if (unattended)
            return RunUnattended(*unattended);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(&e);
        return unattended ? 1 : 0;
    } catch (...) {
        Exception e("");
        Application->ShowException(&e);
        return unattended ? 1 : 0;
    }
    return 0;
}
