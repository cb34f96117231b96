// Unpacking: the destination's permissions are opened, the shipped tool is
// placed beside the bundle under this run's own name, what a killed unpacker
// left is cleared away, every name is held against what the disk takes, and
// every single archive and first volume is unpacked into the destination.
// Each step is a shell command; every path in it is quoted, since folder and
// archive names come from the user and the server. The library is then made
// durable and recorded before any archive goes.

#include "app/globals.h"
#include "app/main_window.h"
#include "install/library_record.h"
#include "install/name_rules.h"
#include "platform/text.h"
#include "platform/rtl.h"
#include "platform/wait.h"
#include "tools/unrar/layout.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {
const AnsiString kToolName = "unrar";

// The working copy's name is this run's own: installers started from two
// copies of the bundle in one folder never remove each other's tool.
AnsiString WorkingCopyName() { return kToolName + "-" + IntToStr(getpid()); }

// The working copy goes however the run ends, an exit outside the event loop
// (quick_exit, as after a lost display) too.
struct ToolCopy;
extern ToolCopy g_toolCopy;
struct ToolCopy {
    AnsiString path;
    ToolCopy()
    {
        at_quick_exit([] { g_toolCopy.Remove(); });
    }
    ~ToolCopy() { Remove(); }
    void Remove()
    {
        if (!path.empty())
            unlink(path.c_str());
        path.clear();
    }
};
ToolCopy g_toolCopy;

// What a killed unpacker left: its temporary files, beside the files they
// were to become; and a probe of the disk's names a killed run left. The
// folder is this run's (locked), so none is in use.
void RemoveStaleTemporaries(const AnsiString& folder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        // The tool's own names: ".unrar-", sixteen hex digits, ".part".
        const std::string name = it->path().filename().string();
        bool temporary = name.size() == 28 && name.rfind(".unrar-", 0) == 0 && name.compare(23, 5, ".part") == 0 &&
                         std::all_of(name.begin() + 7, name.begin() + 23, [](char c) { return std::isxdigit(c); });
        temporary |= it.depth() == 0 && name.rfind(".kestrow-probe-", 0) == 0;
        if (temporary && it->is_regular_file(error) && !it->is_symlink(error))
            fs::remove(it->path(), error);
    }
}

// Working copies that ended runs left (killed, or their display lost):
// unrar-PID, this user's, whose run is over.
void RemoveToolCopiesOfEndedRuns(const AnsiString& folder)
{
    DIR* dir = opendir(folder.c_str());
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        const AnsiString name = e->d_name;
        char* end = nullptr;
        long pid = name.rfind(kToolName + "-", 0) == 0 ? std::strtol(name.c_str() + kToolName.size() + 1, &end, 10) : 0;
        struct stat st {};
        if (pid > 0 && end && !*end && pid != getpid() && fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == getuid() && !MakerStillRunning(int(pid), st.st_ctim))
            unlinkat(dirfd(dir), name.c_str(), 0);
    }
    if (dir)
        closedir(dir);
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

// The unpacker's exit status in the buyer's words: only a damaged archive is
// the vendor's to mend; the others are the disk's.
AnsiString UnpackerCause(int status)
{
    if (WIFSIGNALED(status))
        return "the unpacker ended unexpectedly (signal " + IntToStr(WTERMSIG(status)) + ")";
    switch (WEXITSTATUS(status)) {
    case 1: return "the archive is damaged";
    case 3: return "the archive holds what the installer does not write (links, encryption, paths outside the folder)";
    case 4: return "the disk is read-only";
    case 5: return "the disk is full";
    case 6: return "no more files can be created on the disk";
    case 7: return "a name is too long for this disk";
    case 8: return "the folder cannot be written";
    case 126:
    case 127: return "the unpacker cannot be run";
    default: return "the unpacker failed (status " + IntToStr(WEXITSTATUS(status)) + ")";
    }
}

// "Lib/Kick.wav" for what an archive stores as "Lib\Kick.wav".
AnsiString SlashPath(AnsiString path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
}  // namespace

int TFormDecompres::ExtractingFileThreadComp()
{
    const AnsiString placed = NameFile_unrar_dll + WorkingCopyName();
    RemoveToolCopiesOfEndedRuns(NameFile_unrar_dll);
    if (!MayPlaceToolAt(placed, ExeDir + kToolName)) {
        Info_toFile("Extracting files \nunrar placement error: " + QuotedPath(placed) + " is not the installer's\n",
                    -EEXIST);
        return -EEXIST;
    }
    // Unpacked inside the destination this run opened (and holds).
    if (int r = destinationLock_ < 0 ? LockDestination() : 0; r != 0) {
        Info_toFile("Extracting files \ncannot open the folder " + QuotedPath(DirSaveFile) + "\n", r);
        return r;
    }
    g_toolCopy.path = placed;
    int result = UnpackArchives(placed);
    RunShellCommand("rm -f " + QuotedPath(placed), TCommandKind::CleanUp);
    g_toolCopy.path.clear();
    return result;
}

int TFormDecompres::UnpackArchives(const AnsiString& placed)
{
    auto fail = [this](const AnsiString& reason, int status) {
        Info_toFile("Extracting files \n" + reason + "\n", status);
        return status;
    };
    // Each command is work a stop ends: none starts once a stop has come,
    // and one under way is cut; a command cut so failed for no fault of its own.
    auto run = [](const AnsiString& command, int folder = -1) {
        if (StopAsked())
            return Terminate_ThreadCode;
        int rc = RunShellCommand(command, TCommandKind::Work, folder);
        return StopAsked() ? Terminate_ThreadCode : rc;
    };
    const AnsiString destination = QuotedPath(DirSaveFile);
    // Opened for its owner only: what others could read before, they still
    // can, and nothing becomes writable for them or executable by accident.
    if (int rc = run("chmod -R u+rwX " + destination); rc != 0)
        return rc == Terminate_ThreadCode ? rc : fail("folder permission error: " + destination, rc);
    if (int rc = run("cp -fp " + QuotedPath(ExeDir + kToolName) + " " + QuotedPath(placed)); rc != 0)
        return rc == Terminate_ThreadCode ? rc : fail("unrar placement error", rc);
    // Only the placed copy (its folder holds the user's own files too), and
    // only for this user: nobody else may swap the program that then runs.
    if (int rc = run("chmod -R 700 " + QuotedPath(placed)); rc != 0)
        return rc == Terminate_ThreadCode ? rc : fail("folder permission error: " + QuotedPath(placed), rc);
    RemoveStaleTemporaries(DirSaveFile);

    StageWorkApp = kStageExtracting;
    LastUnpackerStatus = 0;
    // Later volumes are read by the tool along with the first.
    auto unpacked = [&](int i) {
        return (PartFileLoad[i] == 0 || PartFileLoad[i] == 1) && !IsLaterVolume(NameFileDwl[i]);
    };
    // Every name is held against the disk before a byte is written: a name
    // it refuses or merges with another would fail, or lose a file, half-way.
    unpackedFiles_.clear();
    volumesRead_.clear();
    std::map<AnsiString, size_t> recorded;  // a file two archives hold is the later one's
    std::vector<AnsiString> names;
    for (int i = 0; i < CountFileLoad; ++i) {
        names.push_back(ExtractFileName(NameFileDwl[i]));
        if (!unpacked(i))
            continue;
        try {
            ArchiveLayout layout = ReadLayout(NameFileDwl[i]);
            for (const ArchiveEntry& e : layout.entries) {
                if (e.directory || e.olderVersion)
                    continue;
                names.push_back(layout.Name(e));
                LibraryFile file{SlashPath(layout.Name(e)), e.size, e.crc};
                auto [at, fresh] = recorded.emplace(file.path, unpackedFiles_.size());
                if (fresh)
                    unpackedFiles_.push_back(file);
                else
                    unpackedFiles_[at->second] = file;
            }
            for (const std::string& volume : layout.volumes)
                volumesRead_.push_back(ExtractFileName(volume));
        } catch (const UnrarError&) {
            // The unpacker says what is wrong with it, in its turn.
        }
    }
    if (AnsiString refused = RefusedName(names, ProbeDiskNames(destinationLock_)); !refused.empty()) {
        FrameLibInstal1->ShowReason("The library cannot be unpacked onto this disk: " + refused + ".");
        return fail("name refused by the disk: " + refused, -EINVAL);
    }

    // A folder marked as this order's holds only what its unpacking left:
    // a file there that is not its entry's own is written again.
    const AnsiString mode = UnpackingOfThisOrder() ? " -o+ x " : " -o- x ";
    const AnsiString errors = DirTemp + "unrar-errors.txt";
    int count = 0, number = 0;
    for (int i = 0; i < CountFileLoad; ++i)
        count += unpacked(i);
    for (int i = 0; i < CountFileLoad; ++i) {
        if (StopAsked())
            return Terminate_ThreadCode;
        if (!unpacked(i))
            continue;
        if (DestinationMoved())
            return fail("the destination folder was moved or replaced: " + destination, kDestinationMoved);
        const AnsiString name = ExtractFileName(NameFileDwl[i]);
        FrameLibInstal1->ShowUnpacking(name, ++number, count);
        // Run inside the destination as this run opened it, never a folder
        // put in its place since.
        auto command = [&](const AnsiString& tool) { return QuotedPath(tool) + mode + QuotedPath("./" + name) + " ."; };
        AnsiString line = command(placed);
        const AnsiString toErrors = " 2> " + QuotedPath(errors);
        int rc = run(line + toErrors, destinationLock_);
        // A working copy in a folder that runs nothing (noexec): the bundle's own runs.
        if (rc != Terminate_ThreadCode && WIFEXITED(rc) && WEXITSTATUS(rc) == 126)
            rc = run((line = command(ExeDir + kToolName)) + toErrors, destinationLock_);
        if (rc == Terminate_ThreadCode)
            return Terminate_ThreadCode;
        if (rc != 0) {
            AnsiString said;
            try {
                said = PrintableLine(TFile::ReadAllText(errors), 600);
            } catch (const EInOutError&) {
            }
            LastUnpackerStatus = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
            // Its volumes, as the order names them: Name.part2.rar, ... or Name.r00, ...
            DamagedVolumes.clear();
            for (int v = 0; v < 10000; ++v) {
                AnsiString volume = ExtractFileName(VolumeName(NameFileDwl[i], v));
                auto named = [&](const AnsiString& path) { return ExtractFileName(path) == volume; };
                if (volume.empty() || std::none_of(NameFileDwl.begin(), NameFileDwl.begin() + CountFileLoad, named))
                    break;
                DamagedVolumes.push_back(volume);
            }
            FrameLibInstal1->ShowReason(name + " could not be unpacked: " + UnpackerCause(rc) + ".");
            return fail(line + " (in " + destination + ")\n" + said + "\n", rc);
        }
    }
    DeleteFile(errors);
    return 0;
}

int TFormDecompres::SealLibrary()
{
    // Nothing is called installed, and no archive removed, before the files
    // are on the disk: a power cut a moment later must find them whole.
    if (syncfs(destinationLock_) != 0) {
        Info_toFile("Extracting files \nthe library could not be written to the disk: " + QuotedPath(DirSaveFile) +
                        "\n",
                    -errno);
        return -EIO;
    }
    std::vector<LibraryFile> files = unpackedFiles_;
    std::set<AnsiString> volumes(volumesRead_.begin(), volumesRead_.end());
    for (int i = 0; i < CountFileLoad; ++i) {
        const AnsiString name = ExtractFileName(NameFileDwl[i]);
        LibraryFile f{name};
        if (PartFileLoad[i] < 0 && !volumes.count(name) && MeasureFile(destinationLock_, name.c_str(), f.size, f.crc))
            files.push_back(f);
    }
    if (int r = WriteLibraryRecord(destinationLock_, CodeCopyFile, files); r != 0) {
        Info_toFile("Extracting files \nthe record of the library could not be written: " + QuotedPath(DirSaveFile) +
                        "\n",
                    r);
        return r;
    }
    return 0;
}

bool TFormDecompres::LibraryOfThisOrder()
{
    AnsiString code;
    std::vector<LibraryFile> files;
    return ReadLibraryRecord(DirSaveFile, code, files) && code == CodeCopyFile;
}

void TFormDecompres::DeleteFile_Dwl()
{
    // Every volume the unpacker read: old-style sets name theirs Lib.r00, ...
    std::set<AnsiString> gone(volumesRead_.begin(), volumesRead_.end());
    for (int i = 0; i < CountFileLoad; ++i)
        if (PartFileLoad[i] >= 0)
            gone.insert(ExtractFileName(NameFileDwl[i]));
    for (const AnsiString& name : gone)
        unlinkat(destinationLock_, name.c_str(), 0);
}
