#include "app/startup.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "app/text.h"
#include "app/unattended.h"
#include "platform/wait.h"
#include "ui/form_password.h"

#include <algorithm>
#include <cstdlib>

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

// Refuses a second copy: the needle stands in the command line of every copy
// of this executable inside a bundle, so a second hit means another copy.
int workProcess()
{
    AnsiString snapshot = ExeDirShort + "psProcess.txt";
    AnsiString quoted = QuotedPath(snapshot);
    RunShellCommand("ps -ax > " + quoted);
    AnsiString text = TFile::ReadAllText(snapshot);
    AnsiString needle = ExeNameConst + ExeName;
    int p1 = Pos(needle, text);
    // From 1-based position p1 + length of the needle on.
    AnsiString rest = text.substr(std::min(text.size(), size_t(p1) + needle.size() - 1));
    int p2 = Pos(needle, rest);
    RunShellCommand("rm " + quoted);
    if (p2 == 0)
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
        if (const char* api = std::getenv(kApiUrlVariable))
            site_NameLoadPath = api;
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
