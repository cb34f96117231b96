// The whole installation, driven through the real window against the local
// download API: download with pause, resume and retries, unpacking, page 4.

#include "app/codes.h"
#include "net/http_requests.h"
#include "tests/support/api_window.h"
#include "ui/form_password.h"
#include "tools/rarwriter/rar_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class DownloadTest : public ApiWindowTest {
protected:
    void SetUp() override
    {
        ApiWindowTest::SetUp();
        w->DirTemp = box.path() + "/tmp/";
        fs::create_directory(w->DirTemp);
        source = box.file("source");
        fs::create_directory(source);
        dest = box.file("Samples");
        w->RetryPauseMs = 20;  // the 2 s between passes, shortened
    }

    // The files of `source` as the order `code`.
    void Serve(const std::string& code, std::vector<std::string> names)
    {
        for (std::string& name : names)
            name = source + "/" + name;
        server.ServeOrder(code, names);
    }
    // Pages 1 and 2 as a person goes through them: the job starts.
    void StartInstalling(const std::string& code)
    {
        w->FrameCodeCopyFile1->Edit_CodeCopyFile->SetText(code);
        SimulateClick(w->FrameCodeCopyFile1->Image_Next1);
        ASSERT_TRUE(w->FrameDirCopyFile1->Visible()) << log();
        w->FrameDirCopyFile1->Edit_DirSaveFile->SetText(dest);
        SimulateClick(w->FrameDirCopyFile1->Image_Next1);
        ASSERT_TRUE(w->FrameLibInstal1->Visible()) << log();
    }
    // The same order once more from page 1, into an empty destination.
    void Again()
    {
        std::error_code ignored;  // a mount point stays
        fs::remove_all(dest, ignored);
        server->ClearRequests();
        server->ClearFaults();
        modals.messages.clear();
        w->FrameEnd1->SetVisible(false);
        page3()->SetVisible(false);
        w->FrameCodeCopyFile1->SetVisible(true);
    }
    bool JobEnds() { return waitFor([&] { return !w->IdThreadComponent1->Active(); }, 60s); }
    int Count(const std::string& method, const std::string& path, const std::string& range = "*")
    {
        int n = 0;
        for (const LoggedRequest& r : server->Requests())
            n += r.method == method && r.path == path && (range == "*" || r.range == range);
        return n;
    }
    TFrameLibInstal* page3() { return w->FrameLibInstal1; }

    std::string source;
    std::string dest;
};
}  // namespace

// From page 1 to page 4 with the keyboard alone, and what a screen reader
// sees on the way: named push buttons that its press action presses.
TEST_F(DownloadTest, EndToEndByKeyboardAndScreenReader)
{
    std::vector<RarItem> set = {{"Lib/Strings/violin.wav", RandomBytes(60000, 1)},
                                {"Lib/readme.txt", "read me"},
                                {"Lib/empty.txt", ""}};
    // Both archives hold Lib/readme.txt: the later one's stands (as it does
    // when a stopped unpacking is finished).
    std::vector<RarItem> single = {{"Extras/cello.wav", RandomBytes(30000, 2)}, {"Lib/readme.txt", "the other"}};
    ASSERT_EQ(WriteRar(source, "Lib", set, {5, 25000}).size(), 3u);
    WriteRar(source, "Extras", single, {4});
    writeFile(source + "/Manual.pdf", "the manual");
    Serve("E2E", {"Lib.part1.rar", "Lib.part2.rar", "Lib.part3.rar", "Extras.rar", "Manual.pdf"});
    QWidget* window = w->ClientWidget()->window();
    window->activateWindow();
    ASSERT_TRUE(waitFor([&] { return window->isActiveWindow(); }));
    auto focused = [&] { return window->focusWidget(); };
    auto type = [&](const std::string& text) {
        for (char c : text)
            Press(focused(), QChar(c).toUpper().unicode(), std::string(1, c));
    };
    auto* p1 = w->FrameCodeCopyFile1;
    auto* p2 = w->FrameDirCopyFile1;
    auto* p4 = w->FrameEnd1;

    type("E2E");
    Press(focused(), Qt::Key_Tab);
    EXPECT_EQ(focused(), p1->Image1_Paste->Handle());
    auto unfocused = Snapshot(p1->Image_Next1);
    Press(focused(), Qt::Key_Tab);
    ASSERT_EQ(focused(), p1->Image_Next1->Handle());
    EXPECT_NE(Snapshot(p1->Image_Next1), unfocused) << "the focus shows";
    Press(focused(), Qt::Key_Space);
    ASSERT_TRUE(p2->Visible()) << log();
    type(dest);
    for (TImage* next : {p2->Image_Browse1, p2->Image_back1, p2->Image_Next1}) {
        Press(focused(), Qt::Key_Tab);
        EXPECT_EQ(focused(), next->Handle());
    }
    Press(focused(), Qt::Key_Return);
    EXPECT_EQ(focused(), page3()->Image_Pause_active->Handle());
    ASSERT_TRUE(JobEnds());
    ASSERT_TRUE(p4->Visible()) << log();
    EXPECT_FALSE(page3()->Visible());
    auto expected = TreeOf(set);
    for (auto& [path, digest] : TreeOf(single))
        expected[path] = digest;  // the later archive's readme
    expected["Manual.pdf"] = Digest("the manual");
    EXPECT_EQ(Library(dest), expected) << "unpacked, archives removed, the manual kept";
    EXPECT_EQ(page3()->Label_Status->Text(), "Unpacking Extras.rar (2 of 2)");
    EXPECT_EQ(Count("HEAD", "/1/next/E2E"), 2 * 5 + 1);
    EXPECT_EQ(Count("HEAD", "/1/done/E2E"), 1);
    EXPECT_EQ(w->SizeLoadedAll, 0);
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(modals.messages.empty());
    EXPECT_EQ(focused(), p4->Image_close->Handle());
    EXPECT_EQ(p4->Label_Destination->Hint(), dest) << "the finish page says where the library is";
    Press(focused(), Qt::Key_Tab);
    Press(focused(), Qt::Key_Tab);
    ASSERT_EQ(focused(), p4->Image_OpenFolder->Handle());
    Press(focused(), Qt::Key_Space);
    EXPECT_EQ(modals.opened, std::vector<std::string>{dest});

    auto seen = [](TControl* c) { return QAccessible::queryAccessibleInterface(c->Handle()); };
    QAccessibleInterface* another = seen(p4->Image_InstallerOn);
    EXPECT_EQ(another->role(), QAccessible::PushButton);
    EXPECT_EQ(another->text(QAccessible::Name), "INSTALL ANOTHER LIBRARY");
    EXPECT_FALSE(another->state().disabled);
    EXPECT_EQ(seen(page3()->Image_Resume_inactive)->role(), QAccessible::PushButton);
    EXPECT_TRUE(seen(page3()->Image_Resume_inactive)->state().disabled);
    EXPECT_TRUE(seen(page3()->Image_Resume_inactive)->actionInterface()->actionNames().isEmpty());
    EXPECT_EQ(seen(p1->Image_invalid_code)->role(), QAccessible::AlertMessage);
    EXPECT_EQ(seen(p1->Image_invalid_code)->text(QAccessible::Name), "INVALID CODE. PLEASE ENTER IT AGAIN.");

    // Pressed by the screen reader: another installation starts on an empty page 1.
    another->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(p4->Visible());
    EXPECT_TRUE(p1->Visible());
    EXPECT_EQ(p1->Edit_CodeCopyFile->Text(), "");
    EXPECT_FALSE(p1->Image_Tundrel->Visible());
    EXPECT_FALSE(p1->Image_coreect_code->Visible());
    EXPECT_TRUE(p4->Image_Tundrel->Visible()) << "page 4 keeps the last picture";
    EXPECT_EQ(StageWorkApp, 8);
}

TEST_F(DownloadTest, PauseDuringTheThirdOfFiveThenResume)
{
    std::vector<std::string> names;
    for (int i = 1; i <= 5; ++i) {
        names.push_back("F" + std::to_string(i) + ".pdf");
        writeFile(source + "/" + names.back(), RandomBytes(300000, unsigned(i)));
    }
    Serve("PAUSE", names);
    // The third stalls: the Pause must cut a transfer that moves nothing.
    server->AddFault("GET /files/F3.pdf", Fault{.stallMs = 30000, .stallAt = 60000}, 1);
    std::string third = dest + "/F3.pdf";
    std::string statusDuring, titleDuring;
    // A key that moves the focus while the job waits on the stalled file is
    // taken by the job's next turn (which a screen reader's questions wait
    // for too), not after the file.
    w->ClientWidget()->activateWindow();
    ASSERT_TRUE(waitFor([&] { return w->ClientWidget()->isActiveWindow(); }));
    std::chrono::steady_clock::time_point keyAt, focusAt;
    PostWhen([&] { return fs::exists(third) && fs::file_size(third) >= 60000; },
             [&] {
                 keyAt = std::chrono::steady_clock::now();
                 QWidget* at = w->ClientWidget()->focusWidget();
                 QCoreApplication::postEvent(at, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
                 QCoreApplication::postEvent(at, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier));
             });
    PostWhen([&] { return keyAt.time_since_epoch().count() && w->ClientWidget()->focusWidget() != page3()->Image_Pause_active->Handle(); },
             [&] {
                 focusAt = std::chrono::steady_clock::now();
                 statusDuring = page3()->Label_Status->Text();
                 titleDuring = w->Caption();
                 SimulateClick(page3()->Image_Pause_active);
             });

    StartInstalling("PAUSE");
    ASSERT_TRUE(JobEnds());
    auto answered = std::chrono::duration_cast<std::chrono::milliseconds>(focusAt - keyAt).count();
    std::printf("[ reader   ] a key to its focus change while the job waits: %lld ms\n", static_cast<long long>(answered));
    EXPECT_LT(answered, 250) << "in the job's next turns";
    EXPECT_TRUE(page3()->Image_Resume_active->Visible());
    EXPECT_EQ(statusDuring.rfind("F3.pdf, 3 of 5", 0), 0u) << statusDuring;
    EXPECT_NE(titleDuring.find(" % \xE2\x80\x93 Kestrow Installer"), std::string::npos) << titleDuring;
    EXPECT_EQ(page3()->Label_Status->Text(), "Paused");
    EXPECT_EQ(w->Caption(), "Kestrow Installer v 1.3");
    int64_t had = int64_t(fs::file_size(third));
    EXPECT_EQ(had, 60000);
    for (const LoggedRequest& r : server->Requests()) {
        if (r.method == "GET" && r.path == "/files/F3.pdf") {
            EXPECT_EQ(r.bodySent, 60000) << "cut while the server still stalled, not waited out";
        }
    }
    EXPECT_FALSE(fs::exists(dest + "/F4.pdf"));
    server->ClearRequests();
    server->ClearFaults();

    // Resumed; in the fourth file Pause and Resume come in one turn of the
    // pump: the Resume, handled while the paused job unwinds, is not lost.
    server->AddFault("GET /files/F4.pdf", Fault{.bytesPerSecond = 200000}, 1);
    std::string fourth = dest + "/F4.pdf";
    PostWhen([&] { return fs::exists(fourth) && fs::file_size(fourth) > 50000; },
             [&] {
                 SimulateClick(page3()->Image_Pause_active);
                 SimulateClick(page3()->Image_Resume_active);
             });
    SimulateClick(page3()->Image_Resume_active);
    ASSERT_TRUE(JobEnds());
    EXPECT_TRUE(w->FrameEnd1->Visible()) << log();
    EXPECT_EQ(Count("GET", "/files/F1.pdf") + Count("GET", "/files/F2.pdf"), 0);
    EXPECT_EQ(Count("GET", "/files/F3.pdf", "bytes=" + std::to_string(had) + "-"), 1);
    EXPECT_EQ(Count("GET", "/files/F4.pdf"), 2) << "cut, then resumed";
    for (const std::string& name : names)
        EXPECT_EQ(Digest(readFile(dest + "/" + name)), Digest(readFile(source + "/" + name))) << name;
    EXPECT_EQ(log(), "") << "a pause is no failure";
    EXPECT_TRUE(modals.messages.empty());
}

TEST_F(DownloadTest, FailedPassesAreRetried)
{
    struct Case {
        const char* what;
        std::vector<std::tuple<std::string, Fault, int>> faults;  // request, fault, attempt (0: every one)
        bool installed;
        int entries;          // log entries, one per failed pass
        int fileGets;         // GETs of B.pdf
        std::string reason = {};  // shown when not installed
    };
    const std::vector<Case> cases = {
        {"connection cut in the middle of a file", {{"GET /files/B.pdf", Fault{.cutAfter = 40000}, 1}}, true, 1, 2},
        {"done/ refused once: the pass again, HEADs only", {{"HEAD /1/done/RETRY", Fault{.status = 500}, 1}}, true, 1,
         1},
        {"a file missing on every pass", {{"GET /files/B.pdf", Fault{.status = 404}, 0}}, false, 7, 7,
         "The download server refused B.pdf (404)."},
        {"a file whose GET states less than its HEAD", {{"GET /files/B.pdf", Fault{.statedLength = 45000}, 0}}, false,
         7, 7, "The download server sent B.pdf at a size other than it stated."},
        // A.pdf's size is never stated: once whole, no later pass asks it for bytes.
        {"a file of unstated size, then a failed pass",
         {{"HEAD /files/A.pdf", Fault{.noLength = true}, 0}, {"HEAD /1/done/RETRY", Fault{.status = 503}, 1}}, true, 1,
         1},
    };
    writeFile(source + "/A.pdf", RandomBytes(20000, 1));
    writeFile(source + "/B.pdf", RandomBytes(90000, 2));
    Serve("RETRY", {"A.pdf", "B.pdf"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Again();
        for (auto& [request, fault, attempt] : c.faults)
            server->AddFault(request, fault, attempt);

        StartInstalling("RETRY");
        ASSERT_TRUE(JobEnds());
        EXPECT_EQ(w->FrameEnd1->Visible(), c.installed);
        EXPECT_EQ(CountOf(log(), "Downloading files "), c.entries) << log();
        EXPECT_EQ(int(modals.messages.size()), c.entries);
        EXPECT_EQ(Count("GET", "/files/B.pdf"), c.fileGets);
        EXPECT_EQ(Count("GET", "/files/A.pdf"), 1);
        if (c.what == cases[0].what) {
            EXPECT_EQ(Count("GET", "/files/B.pdf", "bytes=40000-"), 1) << "the next pass resumes from what the cut left";
        }
        if (c.installed) {
            EXPECT_EQ(readFile(dest + "/B.pdf"), readFile(source + "/B.pdf"));
        } else {
            EXPECT_EQ(page3()->Label_Reason->Text(), c.reason);
            EXPECT_LE(fs::file_size(dest + "/B.pdf"), 90000u) << "never a byte past the stated size";
        }
    }
}

// A file past 2 GiB: sizes, the byte range and the progress stay 64-bit. Both
// copies are sparse: only the last MiB is ever written.
TEST_F(DownloadTest, FileLargerThanTwoGiBResumesInFull)
{
    const int64_t size = 5LL << 29, tail = 1 << 20;  // 2.5 GiB
    struct statvfs vfs {};
    if (statvfs(box.path().c_str(), &vfs) == 0 && int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize) < size + (1LL << 30))
        GTEST_SKIP() << "the order must fit the volume's free space";
    std::string end = RandomBytes(size_t(tail), 9);
    writeFile(source + "/Big.wav", "");
    fs::resize_file(source + "/Big.wav", uint64_t(size - tail));
    std::ofstream(source + "/Big.wav", std::ios::binary | std::ios::app) << end;
    Serve("BIG", {"Big.wav"});
    fs::create_directory(dest);
    writeFile(dest + "/Big.wav", "");
    fs::resize_file(dest + "/Big.wav", uint64_t(size - tail));

    StartInstalling("BIG");
    ASSERT_TRUE(JobEnds());
    EXPECT_TRUE(w->FrameEnd1->Visible()) << log();
    EXPECT_EQ(Count("GET", "/files/Big.wav", "bytes=" + std::to_string(size - tail) + "-"), 1);
    EXPECT_EQ(int64_t(fs::file_size(dest + "/Big.wav")), size);
    std::ifstream written(dest + "/Big.wav", std::ios::binary);
    std::string got(size_t(tail), '\0');
    written.seekg(size - tail).read(got.data(), tail);
    EXPECT_TRUE(got == end);
    EXPECT_EQ(page3()->Label_PercentAllFile->Text(), "100 % ");
}

// A host that cannot be found has not delivered the file: the pass ends
// there, is not retried, and nothing is unpacked or reported installed.
TEST_F(DownloadTest, HostNotFoundEndsThePassUnretriedAndAsksForAProxy)
{
    if (!std::getenv("KESTROW_PRIVATE_NET"))
        GTEST_SKIP() << "runs in a private network namespace";
    writeFile(source + "/A.pdf", "a");
    Serve("NOHOST", {"A.pdf"});
    w->FrameCodeCopyFile1->Edit_CodeCopyFile->SetText("NOHOST");
    SimulateClick(w->FrameCodeCopyFile1->Image_Next1);
    // A second file on a host whose name does not resolve.
    std::string lost = "https://no-such-host.invalid/files/B.pdf";
    w->NameFileLoad[1] = lost;
    w->SizeFileLoad[1] = 1;
    w->PartFileLoad[1] = -1;
    w->CountFileLoad = 2;
    w->FrameDirCopyFile1->Edit_DirSaveFile->SetText(dest);
    SimulateClick(w->FrameDirCopyFile1->Image_Next1);
    ASSERT_TRUE(JobEnds());

    EXPECT_FALSE(w->FrameEnd1->Visible());
    EXPECT_EQ(log(), LogEntry("NOHOST", "Downloading files " + lost + " to " + dest + "/B.pdf Code error=11001"));
    EXPECT_TRUE(modals.messages.empty()) << "a name that does not resolve shows no box";
    EXPECT_EQ(Count("HEAD", "/1/next/NOHOST"), 3) << "two for the order, one after A, none after B";
    EXPECT_EQ(Count("HEAD", "/1/done/NOHOST"), 0);

    // The proxy step, where the API's own name does not resolve: the dialog, without a message first.
    EXPECT_EQ(w->CheckProxyThread(w->IdHTTP1, "https://no-such-host.invalid"), 11001);
    EXPECT_EQ(modals.forms, std::vector<std::string>{"Proxy Authentication"});
    EXPECT_TRUE(modals.messages.empty());
    EXPECT_EQ(log().substr(log().rfind("Proxy")), "Proxy authorization  Code error=11001");

    // A proxy whose name does not resolve is said to be the proxy's.
    modals.onForm = [](TForm*) {
        FormPassword->Edit_IPadressProxy->SetText("no-such-proxy.invalid");
        FormPassword->Edit_ProxyPort->SetText("3128");
        SimulateClick(FormPassword->Button_ok);
    };
    EXPECT_EQ(w->CheckProxyThread(w->IdHTTP1, "https://no-such-host.invalid"), kProxyNotFound);
    EXPECT_EQ(CodeMeaning(kProxyNotFound), "the proxy's host name was not found");
}

// ---- disks that fill up or refuse writes, and folders that go away ----------
// The small and the read-only volumes are tmpfs mounts of a private mount
// namespace that ctest sets up (test DiskFaults.InPrivateMounts), the exFAT
// one an image mounted there through its FUSE driver; the cases that need
// them are skipped elsewhere.

TEST_F(DownloadTest, InPrivateMountsDiskFaultsFailClearlyAndAreRecovered)
{
    std::vector<RarItem> items = {{"Lib/a.wav", RandomBytes(400000, 7)}, {"Lib/big.wav", RandomBytes(1000000, 5)}};
    WriteRar(source, "Lib", items);
    writeFile(source + "/Big.wav", RandomBytes(3 << 20, 4));
    writeFile(source + "/A.pdf", RandomBytes(200000, 6));
    Serve("DISK", {"Big.wav"});
    Serve("DISKX", {"Lib.rar"});
    Serve("RO", {"A.pdf"});
    writeFile(source + "/B.pdf", "b");
    Serve("GONE", {"A.pdf", "B.pdf"});  // B cannot be created once the folder is gone
    writeFile(source + "/P.pdf", RandomBytes(300000, 8));
    writeFile(source + "/Q.pdf", RandomBytes(200000, 9));
    Serve("PQ", {"P.pdf", "Q.pdf"});
    Serve("SWAP", {"A.pdf", "B.pdf"});
    // Names a disk refuses or merges, an old-style volume set, many small files.
    const std::vector<RarItem> twins = {{"Lib/Kick.wav", "loud"}, {"Lib/kick.wav", "soft"}};
    Serve("TWINS", {fs::path(WriteRar(source, "Twins", twins)[0]).filename()});
    std::string longName;  // 134 characters, 264 bytes
    for (int i = 0; i < 130; ++i)
        longName += "\xC3\xA9";
    longName += ".wav";
    Serve("LONG", {fs::path(WriteRar(source, "Long", {{"Lib/" + longName, "x"}})[0]).filename()});
    Serve("DOS", {fs::path(WriteRar(source, "Dos", {{"Caf\x82.wav", "dos"}}, {.format = 4, .dosNames = true})[0]).filename()});
    const std::vector<RarItem> old = {{"Old/a.wav", RandomBytes(90000, 10)}};
    WriteRar(source, "Old", old, {.format = 4, .volumeSize = 40000, .naming = RarOptions::OldStyle});
    Serve("OLD", {"Old.rar", "Old.r00", "Old.r01"});
    std::vector<RarItem> many;
    for (int i = 0; i < 20; ++i)
        many.push_back({"Many/" + std::to_string(i) + ".txt", "small"});
    Serve("MANY", {fs::path(WriteRar(source, "Many", many)[0]).filename()});
    std::string small = std::getenv("KESTROW_SMALL_DISK") ? std::getenv("KESTROW_SMALL_DISK") : "";
    // A pulled drive: nothing more reaches it (as a power cut), then it is
    // checked and mounted again.
    const std::string ext4 = std::getenv("KESTROW_EXT4_DIR") ? std::getenv("KESTROW_EXT4_DIR") : "";
    auto cut = [&] {
        int fd = open(ext4.c_str(), O_RDONLY | O_DIRECTORY);
        uint32_t noLogFlush = 2;
        EXPECT_EQ(ioctl(fd, _IOR('X', 125, uint32_t), &noLogFlush), 0) << "shut down";
        close(fd);
    };
    auto mend = [&] {
        w->UnlockDestination();
        const std::string device = std::getenv("KESTROW_EXT4_DEVICE");
        ASSERT_EQ(std::system(("umount " + ext4 + " && (e2fsck -fy " + device + " >/dev/null; mount " + device + " " +
                               ext4 + ")").c_str()), 0);
    };
    std::thread cutter;
    const std::string unrarCopy = NameFile_unrar_dll;
    struct Case {
        const char* what;
        const char* mount;             // the variable naming it; nullptr: the sandbox
        std::string folder;            // the destination below it
        std::string code;
        std::function<void()> during;  // once the job is queued
        std::string logged;            // in each of `entries` log entries
        int entries;
        std::function<void()> undo;    // after the run: what then befalls the disk, or mends it
        std::map<std::string, std::string> recovered;  // with no entries: installed at once; empty: not recovered
        bool anew = false;             // recovered by a new run from page 1, not by Resume
        std::map<std::string, std::string> left = {};  // what a stopped run left there, by name
        int64_t freeLeft = 0;          // bytes the disk has free at the start; 0: as it is
        std::string reason = {};       // the page's reason line, when it failed
    };
    // A stopped run needs room only for what it still writes; a disk without
    // hard links or no-replace renames (exFAT) takes a library as any other.
    const std::string p = readFile(source + "/P.pdf"), archive = readFile(source + "/Lib.rar");
    const std::vector<Case> cases = {
        {"the disk fills during the download", "KESTROW_SMALL_DISK", "/Lib", "DISK",
         [&] { writeFile(small + "/filler", std::string(2 << 20, 'f')); },  // the order fitted: 3 of 4 MiB
         "Big.wav Code error=-28", 7,
         [&] {
             EXPECT_LT(fs::file_size(dest + "/Big.wav"), 3u << 20);
             fs::remove(small + "/filler");
         },
         {{"Big.wav", Digest(readFile(source + "/Big.wav"))}}},
        {"the disk fills during the unpacking, and a new run finishes it", "KESTROW_SMALL_DISK", "/Lib", "DISKX",
         // Room for the archive and a.wav, not big.wav; once it is gone, room for the order again.
         [&] { writeFile(small + "/filler", std::string(1900000, 'f')); },
         "Extracting files \n", 1,
         [&] {
             EXPECT_TRUE(fs::exists(dest + "/Lib.rar"));
             EXPECT_TRUE(fs::exists(dest + "/Lib/a.wav"));
             EXPECT_FALSE(fs::exists(dest + "/Lib/big.wav")) << "no partial file";
             fs::remove(small + "/filler");
         },
         TreeOf(items), true, {}, 0, "Lib.rar could not be unpacked: the disk is full."},
        {"the destination is read-only", "KESTROW_READONLY_DIR", "", "RO", [] {}, "A.pdf Code error=-82", 7, nullptr, {}},
        {"the destination is removed while downloading", nullptr, "/Lib", "GONE",
         [&] {
             server->AddFault("GET /files/A.pdf", Fault{.bytesPerSecond = 400000}, 1);
             PostWhen([&] { return fs::exists(dest + "/A.pdf") && fs::file_size(dest + "/A.pdf") > 0; },
                      [&] { fs::remove_all(dest); });
         },
         "Code error=-700", 1, nullptr, {}, false, {}, 0, "The destination folder was moved or replaced."},
        {"a download stopped after its first file, room for the second", "KESTROW_SMALL_DISK", "/Lib", "PQ", [] {},
         "", 0, nullptr, {{"P.pdf", Digest(p)}, {"Q.pdf", Digest(readFile(source + "/Q.pdf"))}}, false,
         {{"P.pdf", p}}, 350000},
        {"an unpacking stopped after its first file, room for the rest", "KESTROW_SMALL_DISK", "/Lib", "DISKX",
         [] {}, "", 0, nullptr, TreeOf(items), false,
         {{"Lib.rar", archive}, {".kestrow-unpacking", "DISKX\n"}, {"Lib/a.wav", items[0].data}}, 1200000},
        {"an exFAT disk", "KESTROW_EXFAT_DIR", "/Lib", "DISKX", [] {}, "", 0, nullptr, TreeOf(items)},
        // What installed means.
        {"the disk cut right after \"installed\"", "KESTROW_EXT4_DIR", "/Lib", "DISKX", [] {}, "", 0,
         [&] { cut(), mend(); }, TreeOf(items)},
        {"the disk cut while unpacking, then the same order again", "KESTROW_EXT4_DIR", "/Lib", "DISKX",
         [&] {
             cutter = std::thread([&] {
                 for (int i = 0; i < 20000 && !fs::exists(dest + "/Lib/a.wav"); ++i)
                     usleep(500);
                 cut();
             });
         },
         "Extracting files \n", 1, [&] { cutter.join(), mend(); }, TreeOf(items), true},
        {"an empty claim a killed unpacker left on exFAT", "KESTROW_EXFAT_DIR", "/Lib", "DISKX", [] {}, "", 0, nullptr,
         TreeOf(items), false, {{"Lib.rar", archive}, {".kestrow-unpacking", "DISKX\n"}, {"Lib/big.wav", ""}}},
        {"case twins onto exFAT", "KESTROW_EXFAT_DIR", "/Lib", "TWINS", [] {}, "name refused by the disk", 1,
         [&] { EXPECT_FALSE(fs::exists(dest + "/Lib")) << "nothing written"; }, {}, false, {}, 0,
         "The library cannot be unpacked onto this disk: \"Lib/Kick.wav\" and \"Lib/kick.wav\" are one name on this "
         "disk, which does not tell letter case apart."},
        {"a name too long for the disk", nullptr, "/Lib", "LONG", [] {}, "name refused by the disk", 1,
         [&] { EXPECT_FALSE(fs::exists(dest + "/Lib")) << "nothing written"; }, {}, false, {}, 0,
         "The library cannot be unpacked onto this disk: \"Lib/" + longName +
             "\" has a name too long for this disk (264 bytes; it takes 255)."},
        {"a name in the DOS code page onto exFAT", "KESTROW_EXFAT_DIR", "/Lib", "DOS", [] {}, "", 0, nullptr,
         {{"Caf\xC3\xA9.wav", Digest("dos")}}},
        {"an old-style volume set: every volume goes", nullptr, "/Lib", "OLD", [] {}, "", 0, nullptr, TreeOf(old)},
        {"no more files can be created", "KESTROW_FEW_INODES_DIR", "/Lib", "MANY", [] {}, "Extracting files \n", 1,
         [] {}, {}, false, {}, 0, "Many.rar could not be unpacked: no more files can be created on the disk."},
        {"the private folder runs nothing (noexec): the bundle's own unpacker", "KESTROW_NOEXEC_DIR", "/Lib", "DISKX",
         [&] { NameFile_unrar_dll = std::string(std::getenv("KESTROW_NOEXEC_DIR")) + "/"; }, "", 0,
         [&] { NameFile_unrar_dll = unrarCopy; }, TreeOf(items)},
        {"the destination swapped for a link while downloading", nullptr, "/Lib", "SWAP",
         [&] {
             server->AddFault("GET /files/A.pdf", Fault{.bytesPerSecond = 400000}, 1);
             PostWhen([&] { return fs::exists(dest + "/A.pdf") && fs::file_size(dest + "/A.pdf") > 0; },
                      [&] {
                          fs::rename(dest, dest + ".moved");
                          fs::create_directory(box.file("Theirs"));
                          fs::create_directory_symlink(box.file("Theirs"), dest);
                      });
         },
         "Code error=-700", 1,
         [&] {
             EXPECT_TRUE(fs::is_empty(box.file("Theirs"))) << "not a byte elsewhere";
             fs::remove(dest);
             fs::rename(dest + ".moved", dest);
         },
         {{"A.pdf", Digest(readFile(source + "/A.pdf"))}, {"B.pdf", Digest("b")}}, true, {}, 0,
         "The destination folder was moved or replaced."},
        {"a disk named with '%', blanks and 330 characters", "KESTROW_ODD_NAMED_DIR", "/Lib", "DISKX", [] {}, "", 0,
         nullptr, TreeOf(items)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.mount && !std::getenv(c.mount))
            continue;  // only in the private mounts
        dest = (c.mount ? std::getenv(c.mount) : box.path()) + c.folder;
        Again();
        for (const auto& [name, bytes] : c.left) {
            fs::create_directories(fs::path(dest + "/" + name).parent_path());
            writeFile(dest + "/" + name, bytes);
        }
        if (c.freeLeft > 0) {
            struct statvfs v {};
            statvfs(dest.c_str(), &v);
            writeFile(small + "/filler", std::string(size_t(int64_t(v.f_bavail * v.f_frsize) - c.freeLeft), 'f'));
        }
        StartInstalling(c.code);
        c.during();
        ASSERT_TRUE(JobEnds());
        if (c.entries == 0) {
            EXPECT_TRUE(w->FrameEnd1->Visible()) << log();
            if (c.undo)
                c.undo();
            EXPECT_EQ(Library(dest), c.recovered) << "the library and nothing else";
            fs::remove(small + "/filler");
            continue;
        }
        EXPECT_FALSE(w->FrameEnd1->Visible());
        EXPECT_TRUE(page3()->Image_errorCheck_filetxt->Visible());
        EXPECT_FALSE(page3()->Image_Extracting->Visible()) << "the page is back, its buttons within reach";
        EXPECT_TRUE(page3()->Image_Resume_active->Visible());
        EXPECT_EQ(CountOf(log(), c.logged), c.entries) << log();
        if (!c.reason.empty()) {
            EXPECT_EQ(page3()->Label_Reason->Text(), c.reason);
        }
        if (c.undo)
            c.undo();
        if (!c.recovered.empty()) {
            if (c.anew) {
                page3()->SetVisible(false);
                w->FrameCodeCopyFile1->SetVisible(true);
                StartInstalling(c.code);
            } else {
                SimulateClick(page3()->Image_Resume_active);
            }
            ASSERT_TRUE(JobEnds());
            EXPECT_TRUE(w->FrameEnd1->Visible()) << log();
            EXPECT_EQ(Library(dest), c.recovered);
        }
    }
}

TEST_F(WindowTest, ProgressMovesOnlyOnWholePercentSteps)
{
    struct Case {
        int64_t total, done;
        int percent;
    };
    for (const Case& c : {Case{0, 5, 0}, Case{1000, 0, 0}, Case{1000, 999, 99}, Case{1000, 1000, 100},
                          Case{1000, 2000, 100}, Case{5LL << 30, 5LL << 29, 50}})
        EXPECT_EQ(PercentDownloadingFile(c.total, c.done), c.percent) << c.total << " " << c.done;

    TFrameLibInstal* p3 = w->FrameLibInstal1;
    w->SizeAllProgress = 3000;
    p3->startLibInstal();
    EXPECT_EQ(p3->ProgressBar1->Value(), 0);
    EXPECT_EQ(p3->Label_PercentAllFile->Text(), "") << "nothing written before the first whole percent";

    StageWorkApp = 6;
    w->SizeLoadedAll = 1000;
    EXPECT_EQ(p3->ShowProgressBar(500), 1);
    EXPECT_EQ(p3->ProgressBar1->Value(), 50);
    EXPECT_EQ(p3->Label_PercentAllFile->Text(), "50 % ");
    EXPECT_EQ(p3->ShowProgressBar(500), 0);

    // A work event outside the download changes nothing, stop raised or not.
    StageWorkApp = 3;
    Terminate_ThreadCritSec = Terminate_ThreadCode;
    w->IdHTTP1Work(nullptr, TWorkMode::wmRead, 2000);
    EXPECT_EQ(p3->Label_PercentAllFile->Text(), "50 % ");

    w->SizeAllProgress = 100;
    w->SizeLoadedAll = 90;
    funCorrectProgressBar(30);
    EXPECT_EQ(w->SizeLoadedAll, 100);
}
