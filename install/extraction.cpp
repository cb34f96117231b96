// Unpacking: the destination's permissions are opened, the shipped tool is
// placed beside the bundle under this run's own name, what a killed unpacker
// left is cleared away, and every single archive and first volume is
// unpacked into the destination. Each step is a shell command; every path in
// it is quoted, since folder and archive names come from the user and the server.

#include "install/extraction.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "platform/text.h"
#include "platform/rtl.h"
#include "platform/wait.h"
#include "tools/unrar/layout.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <unistd.h>
#include <sys/stat.h>

namespace {
const AnsiString kToolName = "unrar";

// The working copy's name is this run's own: installers started from two
// copies of the bundle in one folder never remove each other's tool.
AnsiString WorkingCopyName() { return kToolName + "-" + IntToStr(getpid()); }

// What a killed unpacker left: its temporary files, beside the files they
// were to become. The folder is this run's (locked), so none is in use.
void RemoveStaleTemporaries(const AnsiString& folder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        // The tool's own names: ".unrar-", sixteen hex digits, ".part".
        const std::string name = it->path().filename().string();
        bool temporary = name.size() == 28 && name.rfind(".unrar-", 0) == 0 && name.compare(23, 5, ".part") == 0 &&
                         std::all_of(name.begin() + 7, name.begin() + 23, [](char c) { return std::isxdigit(c); });
        if (temporary && it->is_regular_file(error) && !it->is_symlink(error))
            fs::remove(it->path(), error);
    }
}

// The tool's working copy may only replace a copy of itself, left by an
// earlier run that was cut short: any other file of that name is the user's.
bool MayPlaceToolAt(const AnsiString& placed, const AnsiString& shipped)
{
    struct stat st {};
    if (lstat(placed.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode))
        return false;
    try {
        return TFile::ReadAllText(placed) == TFile::ReadAllText(shipped);
    } catch (const EInOutError&) {
        return false;
    }
}

}  // namespace

int send_chmod(const AnsiString& quotedPath, const AnsiString& mode)
{
    return RunShellCommand("chmod -R " + mode + " " + quotedPath);
}

int TFormDecompres::ExtractingFileThreadComp()
{
    const AnsiString placed = NameFile_unrar_dll + WorkingCopyName();
    if (!MayPlaceToolAt(placed, ExeDir + kToolName)) {
        Info_toFile("Extracting files \nunrar placement error: " + QuotedPath(placed) + " is not the installer's\n",
                    -EEXIST);
        return -EEXIST;
    }
    int result = UnpackArchives(placed);
    RunShellCommand("rm " + QuotedPath(placed));
    return result;
}

int TFormDecompres::UnpackArchives(const AnsiString& placed)
{
    auto fail = [this](const AnsiString& reason, int status) {
        Info_toFile("Extracting files \n" + reason + "\n", status);
        return status;
    };
    // A command cut by a stop failed for no fault of its own.
    auto stopped = [] { return Terminate_ThreadCritSec == Terminate_ThreadCode; };
    const AnsiString destination = QuotedPath(DirSaveFile);
    // Opened for its owner only: what others could read before, they still
    // can, and nothing becomes writable for them or executable by accident.
    if (int rc = send_chmod(destination, "u+rwX"); rc != 0)
        return stopped() ? Terminate_ThreadCode : fail("folder permission error: " + destination, rc);
    if (int rc = RunShellCommand("cp -fp " + QuotedPath(ExeDir + kToolName) + " " + QuotedPath(placed)); rc != 0)
        return stopped() ? Terminate_ThreadCode : fail("unrar placement error", rc);
    // Only the placed copy (its folder holds the user's own files too), and
    // only for this user: nobody else may swap the program that then runs.
    if (int rc = send_chmod(QuotedPath(placed), "700"); rc != 0)
        return stopped() ? Terminate_ThreadCode : fail("folder permission error: " + QuotedPath(placed), rc);
    RemoveStaleTemporaries(DirSaveFile);

    StageWorkApp = kStageExtracting;
    // Later volumes are read by the tool along with the first.
    auto unpacked = [&](int i) {
        return (PartFileLoad[i] == 0 || PartFileLoad[i] == 1) && !IsLaterVolume(NameFileDwl[i]);
    };
    int count = 0, number = 0;
    for (int i = 0; i < CountFileLoad; ++i)
        count += unpacked(i);
    for (int i = 0; i < CountFileLoad; ++i) {
        if (Terminate_ThreadCritSec == Terminate_ThreadCode)
            return Terminate_ThreadCode;
        if (!unpacked(i))
            continue;
        const AnsiString name = ExtractFileName(NameFileDwl[i]);
        FrameLibInstal1->ShowUnpacking(name, ++number, count);
        AnsiString command = QuotedPath(placed) + " -o- x " + QuotedPath(NameFileDwl[i]) + " " + destination;
        if (int rc = RunShellCommand(command); rc != 0) {
            if (stopped())
                return Terminate_ThreadCode;
            FrameLibInstal1->ShowReason(name + " could not be unpacked: it is damaged, or the disk is full.");
            return fail(command + "\n", rc);  // the command line, then an empty line
        }
    }
    return 0;
}
