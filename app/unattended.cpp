#include "app/unattended.h"

#include "app/codes.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/text.h"
#include "ui/form_password.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
constexpr const char* kPasswordVariable = "KESTROW_PROXY_PASSWORD";
constexpr int kExitFolderInUse = 5;

const char* const kHelp =
    "usage: KestrowInstaller [--code CODE --dest DIR [--proxy HOST:PORT [--proxy-user USER]]]\n"
    "\n"
    "Without options the installer opens its window. With them it installs the order\n"
    "of purchase code CODE into the folder DIR without a window or a display: the same\n"
    "steps as the window (order request, folder and free-space check, download with\n"
    "resume and retries, unpacking), and the same log, KW_installerlog.txt, beside the\n"
    "application bundle.\n"
    "\n"
    "  --code CODE          the purchase code\n"
    "  --dest DIR           the folder for the library: empty, or holding only files of\n"
    "                       this order (a run that was stopped goes on there), or one\n"
    "                       that can be created\n"
    "  --proxy HOST:PORT    an HTTP proxy, taken when the download API cannot be reached\n"
    "                       directly\n"
    "  --proxy-user USER    its user name; the password comes from the environment\n"
    "                       variable KESTROW_PROXY_PASSWORD, never from the command line\n"
    "  --help               this text\n"
    "\n"
    "Exit status: 0 when the library is installed, 1 when a step failed (named on\n"
    "stderr), 2 for a usage error, 5 when another installer is installing into DIR.\n";

int UsageError(const char* what)
{
    std::fprintf(stderr, "KestrowInstaller: %s\nTry 'KestrowInstaller --help'.\n", what);
    return 2;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Failed(const AnsiString& step, const AnsiString& detail)
{
    std::fprintf(stderr, "KestrowInstaller: %s failed: %s\n", step.c_str(), detail.c_str());
    // What the log said last, where it names what was at fault (an entry, a file).
    const AnsiString& entry = FormDecompres->LastFailure;
    AnsiString last = PrintableLine(entry.substr(entry.rfind('\n') + 1), 400);
    while (!last.empty() && last.back() == ' ')
        last.pop_back();
    if (last.find(' ') != AnsiString::npos)  // more than the step's name
        std::fprintf(stderr, "  %s\n", last.c_str());
    std::fprintf(stderr, "The log tells more: %s\n", FormDecompres->PathFileLog.c_str());
    return 1;
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
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (key == "--help" || key == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (key != "--code" && key != "--dest" && key != "--proxy" && key != "--proxy-user")
            return UsageError(("unknown option '" + key + "'").c_str());
        if (i + 1 >= argc)
            return UsageError(("'" + key + "' needs a value").c_str());
        std::string value = argv[++i];
        if (key == "--code") {
            options.code = value;
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
    if (options.code.empty() || options.dest.empty())
        return UsageError("both --code and --dest are needed");
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
            SimulateClick(FormPassword->Button_ok);
        else if (r.Kind == TModalKind::Form)
            std::fprintf(stderr, "KestrowInstaller: the download API cannot be reached directly; "
                                 "if this network needs a proxy, give --proxy\n");
    });
}

int RunUnattended(const UnattendedOptions& options)
{
    auto start = std::chrono::steady_clock::now();
    TFormDecompres* w = FormDecompres;

    TFrameCodeCopyFile* page1 = w->FrameCodeCopyFile1;
    page1->Edit_CodeCopyFile->SetText(options.code);
    if (int r = w->workCodeCopyFile(); r != 0)
        return StageWorkApp == 1 ? Failed("purchase code check", "'" + options.code + "' is no valid purchase code")
                                 : Failed("order request", InWords(r));

    TFrameDirCopyFile* page2 = w->FrameDirCopyFile1;
    page2->noVisible_Image_msg();
    page2->Edit_DirSaveFile->SetText(options.dest);
    if (page2->VerifyDiskDir() != 0) {
        if (page2->Image_folder_in_use->Visible()) {
            Failed("folder check", "another installer is installing into " + options.dest + "; wait for it to finish");
            return kExitFolderInUse;
        }
        AnsiString why = ShownMessage({page2->Image_folder_Incorect, page2->Image_folder_no_Empty,
                                       page2->Image_Not_enough_space});
        if (!page2->Label_Size_DiskFree->Text().empty())
            why += " (free " + page2->Label_Size_DiskFree->Text() + ", required " +
                   page2->Label_Size_DiskRecom->Text() + ")";
        return Failed("folder check", why);
    }

    // A live line on a terminal, a line per whole percent elsewhere.
    const bool terminal = isatty(STDOUT_FILENO);
    TFrameLibInstal* page3 = w->FrameLibInstal1;
    page3->OnPercent = [terminal](int percent) {
        std::printf(terminal ? "\rdownloading %3d %%" : "downloading %d %%\n", percent);
        std::fflush(stdout);
    };
    page3->startLibInstal();
    w->startLoadFileThreadComp();
    page3->OnPercent = nullptr;
    if (terminal)
        std::printf("\n");
    if (!w->FrameEnd1->Visible())
        return StageWorkApp == 8 ? Failed("unpacking", "the archives could not be unpacked; they stay in " + options.dest)
                                 : Failed("download", InWords(w->LastFailureCode) +
                                                          "; a new run goes on from here");

    std::printf("installed: %d files, %lld bytes in %.1f s into %s\n", w->CountFileLoad,
                static_cast<long long>(w->SizeAllFile), SecondsSince(start), options.dest.c_str());
    return 0;
}
