// Drives the real installer window, headless, for the benchmarks.
//
//   kestrow-bench-install order API_URL CA_FILE CODE DEST
//       pages 1 and 2 as a person fills them in, then the job to page 4;
//       prints the seconds from page 2's Next to page 4.
//   kestrow-bench-install pause [ROUNDS=5]
//       with a download API of its own: Pause clicked (queued as input from
//       the window system) at full speed, at 100 KB/s and during a stall;
//       prints the time from the click to the cut transfer, and the bytes
//       the server sends again when the paused file is resumed.

#include "app/globals.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "tools/localapi/local_api.h"
#include "platform/wait.h"
#include "tests/support/input.h"
#include "ui/form_password.h"

#include "tools/usage.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {
// A click queued as input arriving from the window system; callable from
// any thread, handled whenever the main thread next takes input.
void QueueClick(TControl* control)
{
    QWidget* w = control->Handle();
    QPointF at = QRectF(w->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(w, new QMouseEvent(type, at, at, at, Qt::LeftButton,
                                                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                       Qt::NoModifier));
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (!done() && Clock::now() < deadline) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(1ms);
    }
    return done();
}

// The window as start-up builds it, its log and working files in `work`.
TFormDecompres* OpenInstaller(const std::string& api, const std::string& ca, const std::string& work)
{
    setenv(kCaFileVariable, ca.c_str(), 1);
    site_NameLoadPath = api;
    ExeDir = KESTROW_BUNDLE_DIR "/";
    ExeName = "KestrowInstaller";
    ExeDirShort = work + "/";
    SetModalHook([](TModalRequest& r) {
        std::fprintf(stderr, "kestrow-bench-install: %s\n", r.Text.c_str());
    });
    Application->CreateForm(FormDecompres);
    Application->CreateForm(FormPassword);
    FormDecompres->Show();
    return FormDecompres;
}

// Pages 1 and 2; false when either refuses.
bool StartInstalling(TFormDecompres* w, const std::string& code, const std::string& dest)
{
    w->FrameCodeCopyFile1->Edit_CodeCopyFile->SetText(code);
    SimulateClick(w->FrameCodeCopyFile1->Image_Next1);
    if (!w->FrameDirCopyFile1->Visible())
        return false;
    w->FrameDirCopyFile1->Edit_DirSaveFile->SetText(dest);
    SimulateClick(w->FrameDirCopyFile1->Image_Next1);
    return w->FrameLibInstal1->Visible();
}

bool JobEnds(TFormDecompres* w) { return WaitFor([w] { return !w->IdThreadComponent1->Active(); }, 600s); }

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Order(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    std::string work = fs::path(argv[5]).parent_path().string();
    TFormDecompres* w = OpenInstaller(argv[2], argv[3], work);
    if (!StartInstalling(w, argv[4], argv[5]))
        return 1;
    auto start = Clock::now();
    if (!JobEnds(w) || !w->FrameEnd1->Visible())
        return 1;
    std::printf("%.3f\n", Seconds(Clock::now() - start));
    return 0;
}

struct Condition {
    const char* name;
    Fault fault;
    int64_t clickAt;  // bytes on disk when Pause is clicked
    std::chrono::milliseconds clickDelay;
};

int Pause(int argc, char** argv)
{
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    char tmpl[] = "/tmp/kestrow-pause-XXXXXX";
    std::string work = mkdtemp(tmpl);
    const int64_t size = 512LL << 20;
    {
        std::FILE* f = std::fopen((work + "/Big.bin").c_str(), "w");
        std::fclose(f);
        fs::resize_file(work + "/Big.bin", uint64_t(size));
    }
    LocalApi api(MakeCertificates(work));
    api.Start();
    api.AddFileFromDisk("Big.bin", work + "/Big.bin");
    api.AddOrder("PAUSE", api.FileUrl("Big.bin") + "\n");
    TFormDecompres* w = OpenInstaller(api.BaseUrl(), work + "/ca.pem", work);

    std::atomic<int64_t> clickedNs{0}, cutNs{0};
    auto now = [] { return int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count()); };
    w->IdHTTP1->OnWorkEnd = [&](TObject*, TWorkMode) {
        if (clickedNs && !cutNs)
            cutNs = now();
    };
    const std::string dest = work + "/Samples";
    const std::string file = dest + "/Big.bin";
    const Condition conditions[] = {
        {"full speed", Fault{}, size / 2, 0ms},
        {"100 KB/s", Fault{.bytesPerSecond = 100000}, 200000, 0ms},
        {"stalled", Fault{.stallMs = 3000, .stallAt = 1 << 20}, 1 << 20, 300ms},
    };
    std::printf("%-12s %12s %12s %16s\n", "line", "median ms", "max ms", "re-sent KiB max");
    for (const Condition& c : conditions) {
        std::vector<double> ms;
        int64_t resentMax = 0;
        for (int round = 0; round < rounds; ++round) {
            fs::remove_all(dest);
            api.ClearRequests();
            api.ClearFaults();
            api.AddFault("GET /files/Big.bin", c.fault, 1);
            clickedNs = 0;
            cutNs = 0;
            w->FrameEnd1->SetVisible(false);
            w->FrameLibInstal1->SetVisible(false);
            w->FrameCodeCopyFile1->SetVisible(true);
            std::thread clicker([&] {
                auto deadline = Clock::now() + 60s;
                std::error_code ec;
                while (Clock::now() < deadline && !(fs::exists(file, ec) && int64_t(fs::file_size(file, ec)) >= c.clickAt))
                    std::this_thread::sleep_for(200us);
                // At a random moment within a few work events, not in step with them.
                std::this_thread::sleep_for(c.clickDelay + std::chrono::microseconds(std::rand() % 50000));
                clickedNs = now();
                QueueClick(w->FrameLibInstal1->Image_Pause_active);
            });
            bool started = StartInstalling(w, "PAUSE", dest);
            bool ended = started && JobEnds(w);
            clicker.join();
            if (!ended || !cutNs || w->FrameEnd1->Visible()) {
                std::fprintf(stderr, "kestrow-bench-install: %s: the transfer was not paused\n", c.name);
                return 1;
            }
            ms.push_back(double(cutNs - clickedNs) / 1e6);
            int64_t kept = int64_t(fs::file_size(file));
            int64_t sent = 0;
            for (const LoggedRequest& r : api.Requests())
                if (r.method == "GET" && r.path == "/files/Big.bin")
                    sent = r.bodySent;
            resentMax = std::max(resentMax, sent - kept);
            // Resume finishes the file from where it was cut.
            if (round == 0) {
                SimulateClick(w->FrameLibInstal1->Image_Resume_active);
                if (!JobEnds(w) || !w->FrameEnd1->Visible() || int64_t(fs::file_size(file)) != size) {
                    std::fprintf(stderr, "kestrow-bench-install: %s: resume did not finish\n", c.name);
                    return 1;
                }
            }
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-12s %12.1f %12.1f %16.1f\n", c.name, ms[ms.size() / 2], ms.back(), double(resentMax) / 1024);
        std::fflush(stdout);
    }
    api.Stop();
    fs::remove_all(work);
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: kestrow-bench-install order API_URL CA_FILE CODE DEST\n"
                        "       kestrow-bench-install pause [ROUNDS]\n";
    if (HelpAsked(argc, argv))
        return Usage(usage, true);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication::SetCommandLine(argc, argv);
    TApplication application;
    Application = &application;
    application.Initialize();
    std::string mode = argc > 1 ? argv[1] : "";
    int rc = mode == "order"     ? Order(argc, argv)
             : mode == "pause"   ? Pause(argc, argv)
                                 : 2;
    return rc == 2 ? Usage(usage, false) : rc;
}
