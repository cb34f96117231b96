#include "app/startup.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/text.h"
#include "app/unattended.h"
#include "platform/wait.h"
#include "ui/form_password.h"

#include <cstdlib>
#include <string>
#include <dirent.h>
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

// Judged by what /proc says each process executes, so that neither a command
// line that merely names the bundle (an editor, a grep) nor a copy started
// through a link or a relative path can fool it. Read straight from /proc:
// no snapshot file, so a start from a folder that cannot be written works.
// Only this user's copies count: a colleague's window on the same machine, or
// a root deployment beside it, is no second copy of theirs.
int AnotherCopyOf(const AnsiString& executable)
{
    struct stat self {};
    if (stat(executable.c_str(), &self) != 0)
        return 0;
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    const pid_t me = getpid();
    int found = 0;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        struct stat other {}, owner {};
        const std::string process = "/proc/" + std::to_string(pid);
        if (pid > 0 && *end == '\0' && pid != me && stat((process + "/exe").c_str(), &other) == 0 &&
            other.st_dev == self.st_dev && other.st_ino == self.st_ino && stat(process.c_str(), &owner) == 0 &&
            owner.st_uid == getuid()) {
            found = int(pid);
            break;
        }
    }
    closedir(proc);
    return found;
}

int workProcess()
{
    int other = AnotherCopyOf("/proc/self/exe");
    if (other == 0)
        return 0;
    TApplication::AskToComeForward(other);
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
        TPath::RemoveFoldersOfEndedRuns();
        GetDateTime_File(ExeName, DateTimeFileApp, 0);
        Application->CreateForm(FormDecompres);
        Application->CreateForm(FormPassword);
        if (unattended)
            return RunUnattended(*unattended);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(&e);
        return 1;
    } catch (...) {
        Exception e("");
        Application->ShowException(&e);
        return 1;
    }
    return 0;
}
