#include "app/unattended.h"

#include "app/codes.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "install/library_record.h"
#include "net/proxy.h"
#include "platform/text.h"
#include "ui/form_password.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
constexpr const char* kPasswordVariable = "KESTROW_PROXY_PASSWORD";
constexpr const char* kCodeVariable = "KESTROW_CODE";

// Exit statuses by cause; a script may rely on them, so they never change.
enum ExitStatus {
    kInstalled = 0,
    // 1: the installer could not start or go on (start-up's own failures)
    kUsage = 2,
    kCodeRefused = 3,    // not the form of a purchase code
    kOrderFailed = 4,    // the download API could not be reached, or refused the order
    kFolderRefused = 5,  // not empty, not creatable, too small, or in use by another installer
    kDownloadFailed = 6, // after the retries
    kUnpackingFailed = 7,
    kNotWhole = 8,       // --verify: files missing, changed or unexpected
};

// The command as it was started: KestrowInstaller from the bundle,
// kestrow-installer from the package.
std::string g_command = "KestrowInstaller";

const char* const kHelp =
    "usage: %s --code CODE --dest DIR [options]\n"
    "       %s --verify --dest DIR\n"
    "\n"
    "Without options the installer opens its window. With them it installs the order\n"
    "of purchase code CODE into the folder DIR without a window or a display: the same\n"
    "steps as the window (order request, folder and free-space check, download with\n"
    "resume and retries, unpacking), and the same log, KW_installerlog.txt, beside the\n"
    "application bundle (or in ~/.local/state/kestrow/ where that cannot be written).\n"
    "\n"
    "  --code CODE          the purchase code; '-' reads it from standard input, and\n"
    "                       without --code it comes from the variable KESTROW_CODE:\n"
    "                       either keeps it out of the process list\n"
    "  --dest DIR           the folder for the library: empty, or holding only files of\n"
    "                       this order (a run that was stopped goes on there), or one\n"
    "                       that can be created\n"
    "  --proxy HOST:PORT    an HTTP proxy, used for every request\n"
    "  --proxy-user USER    its user name; the password comes from the environment\n"
    "                       variable KESTROW_PROXY_PASSWORD, never from the command line\n"
    "  --retry-wait SECONDS the pause between failed download passes (7 passes; 2 s)\n"
    "  --quiet              only errors and the summary\n"
    "  --verify             check the library installed in DIR against its record\n"
    "                       (--dest DIR, no code): names each missing, changed and\n"
    "                       unexpected file\n"
    "  --version            the installer's version\n"
    "  --help               this text\n"
    "\n"
    "Exit status:\n"
    "  0    the library is installed\n"
    "  1    the installer could not start or go on\n"
    "  2    usage error\n"
    "  3    CODE is not a purchase code\n"
    "  4    the download API could not be reached, or refused the order\n"
    "  5    the folder was refused: not empty, not creatable, not enough space, or\n"
    "       another installer is installing into it\n"
    "  6    the download failed after its retries\n"
    "  7    the unpacking failed\n"
    "  8    --verify: the library is not whole\n"
    "  129  stopped by SIGHUP, 130 by Ctrl-C, 143 by SIGTERM: run the same command\n"
    "       again to continue\n";

int UsageError(const char* what)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", g_command.c_str(), what, g_command.c_str());
    return kUsage;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Failed(int status, const AnsiString& step, const AnsiString& detail)
{
    std::fprintf(stderr, "%s: %s failed: %s\n", g_command.c_str(), step.c_str(), detail.c_str());
    // What the log said last, where it names what was at fault (an entry, a file).
    const AnsiString& entry = FormDecompres->LastFailure;
    AnsiString last = PrintableLine(entry.substr(entry.rfind('\n') + 1), 400);
    while (!last.empty() && last.back() == ' ')
        last.pop_back();
    if (last.find(' ') != AnsiString::npos)  // more than the step's name
        std::fprintf(stderr, "  %s\n", last.c_str());
    const AnsiString& log = FormDecompres->PathFileLog;
    if (FileExists(log))
        std::fprintf(stderr, "The log tells more: %s\n", log.c_str());
    else if (!entry.empty())
        std::fprintf(stderr, "No log could be written (%s)\n", log.c_str());
    return status;
}

// Ctrl-C or SIGTERM closed the (unseen) window: what is on disk stays.
int Stopped(bool liveLine)
{
    if (liveLine)
        std::printf("\n");
    std::fflush(stdout);
    std::fprintf(stderr, "%s: stopped; run the same command again to continue\n", g_command.c_str());
    return 128 + TApplication::StopSignal();
}

AnsiString InWords(int code) { return CodeMeaning(code) + " (code " + IntToStr(code) + ")"; }

// The words of the first message picture shown, as the page would show them.
AnsiString ShownMessage(std::initializer_list<TControl*> pictures)
{
    for (TControl* c : pictures)
        if (c->Visible())
            return c->AccessibleName();
    return "";
}
}  // namespace

int ParseUnattended(int argc, char** argv, UnattendedOptions& options)
{
    if (argc > 0 && argv[0] && *argv[0])
        g_command = ExtractFileName(argv[0]);
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (key == "--help" || key == "-h") {
            std::printf(kHelp, g_command.c_str(), g_command.c_str());
            return 0;
        }
        if (key == "--version") {
            std::printf("Kestrow Installer 1.3 (download API version %s)\n", Version_App.c_str());
            return 0;
        }
        if (key == "--quiet" || key == "--verify") {
            (key == "--quiet" ? options.quiet : options.verify) = true;
            continue;
        }
        if (key != "--code" && key != "--dest" && key != "--proxy" && key != "--proxy-user" && key != "--retry-wait")
            return UsageError(("unknown option '" + key + "'").c_str());
        if (i + 1 >= argc)
            return UsageError(("'" + key + "' needs a value").c_str());
        std::string value = argv[++i];
        if (key == "--code") {
            options.code = value;
            if (value == "-") {  // one line of standard input, its line end dropped
                char line[256] = {};
                options.code = std::fgets(line, sizeof line, stdin) ? line : "";
                while (!options.code.empty() && (options.code.back() == '\n' || options.code.back() == '\r'))
                    options.code.pop_back();
            }
        } else if (key == "--retry-wait") {
            char* end = nullptr;
            long seconds = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || seconds < 0 || seconds > 3600)
                return UsageError("--retry-wait takes a number of seconds from 0 to 3600");
            options.retryWaitMs = unsigned(seconds) * 1000;
        } else if (key == "--dest") {
            options.dest = value;
        } else if (key == "--proxy-user") {
            options.proxyUser = value;
        } else {
            size_t colon = value.rfind(':');
            char* end = nullptr;
            long port = colon == std::string::npos ? 0 : std::strtol(value.c_str() + colon + 1, &end, 10);
            if (colon == 0 || colon == std::string::npos || !end || *end || port < 1 || port > 65535)
                return UsageError("--proxy takes HOST:PORT, the port a number from 1 to 65535");
            options.proxyHost = value.substr(0, colon);
            options.proxyPort = int(port);
        }
    }
    if (options.verify)
        return options.dest.empty() ? UsageError("--verify needs --dest") : -1;
    if (const char* code = std::getenv(kCodeVariable); options.code.empty() && code)
        options.code = code;
    if (options.code.empty() || options.dest.empty())
        return UsageError("both --code (or KESTROW_CODE) and --dest are needed");
    if (!options.proxyUser.empty() && options.proxyHost.empty())
        return UsageError("--proxy-user goes with --proxy");
    return -1;
}

void AnswerModalsUnattended(const UnattendedOptions& options)
{
    // The dialog shows these when it opens; OK takes them over.
    ProxyIp = options.proxyHost;
    ProxyPort = options.proxyPort;
    LoginUser = options.proxyUser;
    const char* password = std::getenv(kPasswordVariable);
    PasswordUser = password ? password : "";
    bool proxy = !options.proxyHost.empty();
    SetModalHook([proxy](TModalRequest& r) {
        if (r.Kind == TModalKind::Message)
            std::fprintf(stderr, "%s\n", r.Text.c_str());
        else if (r.Kind == TModalKind::Form && proxy && r.Form == FormPassword)
            FormPassword->Button_okClick(FormPassword->Button_ok);
        else if (r.Kind == TModalKind::Form)
            std::fprintf(stderr, "%s: the download API cannot be reached directly; "
                                 "if this network needs a proxy, give --proxy\n",
                         g_command.c_str());
    });
}

int VerifyUnattended(const UnattendedOptions& options)
{
    return VerifyLibrary(TypedFolder(options.dest), stdout) == 0 ? kInstalled : kNotWhole;
}

int RunUnattended(const UnattendedOptions& options)
{
    auto start = std::chrono::steady_clock::now();
    TFormDecompres* w = FormDecompres;
    w->RetryPauseMs = options.retryWaitMs;

    // A deployment run twice: the folder's record says the library was
    // installed there, whole, for this code. Nothing is fetched.
    AnsiString recorded;
    std::vector<LibraryFile> files;
    const AnsiString folder = TypedFolder(options.dest);
    if (ReadLibraryRecord(folder, recorded, files) && recorded == TFormDecompres::TrimmedPurchaseCode(options.code)) {
        const AnsiString mark = folder + "/" + TFormDecompres::kUnpackingMarkName;  // a clean-up cut short
        try {
            if (FileIsRegular(mark) && TFile::ReadAllText(mark) == recorded + "\n")
                DeleteFile(mark);
        } catch (const EInOutError&) {
        }
        uint64_t bytes = 0;
        for (const LibraryFile& f : files)
            bytes += f.size;
        std::printf("already installed in %s: the library's %zu files, %llu bytes\n", options.dest.c_str(), files.size(),
                    static_cast<unsigned long long>(bytes));
        return kInstalled;
    }

    // A proxy given serves every request from the first: a network may let
    // the API through directly and its file host only through the proxy.
    if (!options.proxyHost.empty())
        UseProxy(w->IdHTTP1, ProxyIp, ProxyPort, LoginUser, PasswordUser);
    TFrameCodeCopyFile* page1 = w->FrameCodeCopyFile1;
    page1->Edit_CodeCopyFile->SetText(options.code);
    int r = w->workCodeCopyFile();
    if (TApplication::StopSignal())
        return Stopped(false);
    if (r != 0)
        return StageWorkApp == kStageCodeCheck ? Failed(kCodeRefused, "purchase code check", "that is no valid purchase code")
                                 : Failed(kOrderFailed, "order request", InWords(r));

    TFrameDirCopyFile* page2 = w->FrameDirCopyFile1;
    page2->noVisible_Image_msg();
    page2->Edit_DirSaveFile->SetText(options.dest);  // a relative one is taken against the working folder
    if (page2->VerifyDiskDir() != 0) {
        // A stop while the folder was looked at (a slow df) is no verdict on it.
        if (TApplication::StopSignal())
            return Stopped(false);
        if (page2->Image_folder_in_use->Visible())
            return Failed(kFolderRefused, "folder check",
                          "another installer is installing into " + options.dest + "; wait for it to finish");
        AnsiString why = ShownMessage({page2->Image_folder_Incorect, page2->Image_folder_no_Empty,
                                       page2->Image_Not_enough_space});
        // Only the last level is created: say which one is missing above it.
        const AnsiString parent = ExtractFilePath(w->DirSaveFile);
        if (page2->Image_folder_Incorect->Visible() && !parent.empty() && !TDirectory::Exists(parent))
            why += " (its parent folder " + parent + " does not exist)";
        if (!page2->Label_Size_DiskFree->Text().empty())
            why += " (free " + page2->Label_Size_DiskFree->Text() + ", required " +
                   page2->Label_Size_DiskRecom->Text() +
                   (page2->SpaceCounted.empty() ? AnsiString() : ": " + page2->SpaceCounted) + ")";
        return Failed(kFolderRefused, "folder check", why);
    }
    if (TApplication::StopSignal())
        return Stopped(false);

    // A live line on a terminal, a line per whole percent elsewhere.
    const bool terminal = isatty(STDOUT_FILENO) && !options.quiet;
    bool live = false;
    TFrameLibInstal* page3 = w->FrameLibInstal1;
    if (!options.quiet) {
        page3->OnPercent = [terminal, &live](int percent) {
            std::printf(terminal ? "\rdownloading %3d %%" : "downloading %d %%\n", percent);
            live = terminal;
            std::fflush(stdout);
        };
        page3->OnNotice = [&live](const AnsiString& status) {
            std::printf("%s%c%s\n", live ? "\n" : "", std::tolower(status[0]), status.c_str() + 1);
            live = false;
            std::fflush(stdout);
        };
    }
    page3->startLibInstal();
    w->startLoadFileThreadComp();
    page3->OnPercent = nullptr;
    page3->OnNotice = nullptr;
    // A library that was whole when the signal came is installed all the same.
    if (TApplication::StopSignal() && !w->FrameEnd1->Visible())
        return Stopped(live);
    if (live)
        std::printf("\n");
    AnsiString reason = page3->Label_Reason->Text();
    while (!reason.empty() && reason.back() == '.')
        reason.pop_back();
    if (w->LastFailureCode == kDestinationMoved)
        return Failed(kFolderRefused, "download",
                      "the destination folder was moved or replaced; run the same command on the folder itself");
    if (!w->FrameEnd1->Visible())
        return StageWorkApp == kStageExtracted
                   ? Failed(kUnpackingFailed, "unpacking",
                            (reason.empty() ? AnsiString("the archives could not be unpacked") : reason) +
                                "; the archives stay in " + options.dest)
                   : Failed(kDownloadFailed, "download", InWords(w->LastFailureCode) + "; a new run goes on from here");

    std::printf("installed: %d files, %lld bytes in %.1f s into %s\n", w->CountFileLoad,
                static_cast<long long>(w->SizeAllFile), SecondsSince(start), options.dest.c_str());
    return kInstalled;
}
