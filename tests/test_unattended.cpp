// The installer without a window: the real executable, in a process of its
// own, against the local download API and tinyproxy.

#include "tests/support/gui.h"
#include "tests/support/servers.h"
#include "tools/rarwriter/rar_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A bundle of its own, under a name of its own: other tests' copies of
        // the installer must not take it for a second copy of themselves.
        fs::create_directories(bundle);
        fs::copy_file(KESTROW_INSTALLER_EXE, bundle + "KestrowUnattended");
        fs::copy_file(UNRAR_EXE, bundle + "unrar");
        server->AddFile("cover.png", PngBytes(200, 30));
    }
    Outcome Run(std::vector<std::string> args, const std::function<bool()>& killWhen = nullptr,
                std::map<std::string, std::string> env = {}, int signal = SIGKILL,
                const std::function<void(pid_t)>& stop = nullptr)
    {
        args.insert(args.begin(), bundle + "KestrowUnattended");
        env.insert({{"KESTROW_API_URL", server.base()}, {"KESTROW_CA_FILE", server.caFile()},
                    {"KESTROW_PROXY_PASSWORD", "s3cret"}, {"XDG_STATE_HOME", box.file("state")}});
        return Exec(args, env, 120, killWhen, signal, stop);
    }

    Sandbox box;
    ApiServer server;
    std::string bundle = box.file("Kestrow.app/Contents/MacOS/");
};
}  // namespace

TEST_F(UnattendedTest, InstallsOrSaysWhichStepFailed)
{
    std::vector<RarItem> items = {{"Lib/a.wav", RandomBytes(90000, 1)}, {"Lib/readme.txt", "read me"}};
    server.ServeOrder("UA1", WriteRar(box.path(), "Lib", items, {5, 40000}));

    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> args;  // "$" stands for the case's own folder
        int status;
        std::string said;  // on stdout or stderr
        std::map<std::string, std::string> env = {};
        std::string file = {};  // then in the folder, by its name
    };
    std::unique_ptr<Tinyproxy> proxy;
    int held = -1;
    std::string dest;  // the case's own folder
    Sandbox elsewhere;
    const std::string otherCa = MakeCertificates(elsewhere.path(), "Someone Else").caFile;
    const std::string gopher = "gopher://127.0.0.1:6379/_FLUSHALL%0D%0A#https://x/g";
    server->AddOrder("BAD", server->FileUrl("cover.png") + "\n" + gopher + "\n");
    const std::vector<Case> cases = {
        {"installs the order", [] {}, {"--code", "UA1", "--dest", "$"}, 0, "installed: 3 files"},
        {"an unknown code, its error page out to steer the terminal",
         [&] { server->AddFault("GET /1/get/NOPE", Fault{.status = 404, .body = "\x1b]0;owned\x07\x1b[2J"}); },
         {"--code", "NOPE", "--dest", "$"}, 4, "order request failed: the server answered 404 (code -404)"},
        {"a folder that is not empty", [&] { writeFile(dest + "/theirs.txt", "x"); },
         {"--code", "UA1", "--dest", "$"}, 5, "folder check failed: THE FOLDER IS NOT EMPTY"},
        {"no destination", [] {}, {"--code", "UA1"}, 2, "both --code (or KESTROW_CODE) and --dest are needed"},
        {"a folder whose parent is missing", [] {}, {"--code", "UA1", "--dest", "$/missing/Lib"}, 5,
         "does not exist)"},
        {"only through the proxy",
         [&] {
             server->AllowOnlySource("127.0.0.3");
             proxy = std::make_unique<Tinyproxy>("buyer", "s3cret", server->Port());
         },
         {"--code", "UA1", "--dest", "$", "--proxy", "PROXY", "--proxy-user", "buyer"}, 0, "installed: 3 files"},
        {"--proxy serves every request, the API's too: its files come only through it",
         [&] {
             server->AllowOnlySource("127.0.0.3", "/files/");
             proxy = std::make_unique<Tinyproxy>("buyer", "s3cret", server->Port());
         },
         {"--code", "UA1", "--dest", "$", "--proxy", "PROXY", "--proxy-user", "buyer"}, 0, "installed: 3 files"},
        {"a server in maintenance asks to wait",
         [&] { server->AddFault("GET /files/Lib.part2.rar", Fault{.status = 503, .retryAfter = "1"}, 1); },
         {"--code", "UA1", "--dest", "$", "--retry-wait", "0"}, 0, "the server asks to wait 1 s"},
        {"a password in a file's address stays out of every message and the log",
         [&] { server->AddOrder("PW", server->FileUrl("cover.png") + "\n" + std::string(server->FileUrl("none.rar")).insert(8, "buyer:s3cr3t@") + "\n"); },
         {"--code", "PW", "--dest", "$", "--retry-wait", "0"}, 4, "order request failed: the server answered 404"},
        {"names percent-encoded in the order list are the files' own",
         [&] { server.ServeOrder("ENC", {box.file("Read Me (EN).pdf")}); }, {"--code", "ENC", "--dest", "$"}, 0,
         "installed: 1 files", {}, "Read Me (EN).pdf"},
        {"an entry that is not https", [] {}, {"--code", "BAD", "--dest", "$"}, 4, "Not an https address of a file " + gopher},
        {"a certificate nobody here trusts", [] {}, {"--code", "UA1", "--dest", "$"}, 4,
         "order request failed: the server's certificate is not trusted (code -495)", {{"KESTROW_CA_FILE", otherCa}}},
        {"an API address that is not https", [] {}, {"--code", "UA1", "--dest", "$"}, 1,
         "KESTROW_API_URL must be an https:// address", {{"KESTROW_API_URL", "http://127.0.0.1:1"}}},
        {"no purchase code's form", [] {}, {"--code", "!!!", "--dest", "$"}, 3, "that is no valid purchase code"},
        {"a file the server never gives", [&] { server->AddFault("GET /files/Lib.part2.rar", Fault{.status = 404}); },
         {"--code", "UA1", "--dest", "$", "--retry-wait", "0"}, 6,
         "download failed: the server answered 404 (code -404); a new run goes on from here"},
        {"a file whose GET states another size than its HEAD",
         [&] { server->AddFault("GET /files/Lib.part2.rar", Fault{.statedLength = 100}); },
         {"--code", "UA1", "--dest", "$", "--retry-wait", "0"}, 6,
         "download failed: the server's answer disagrees with the file's stated size (code -74)"},
        {"the order list sent compressed", [&] { server->AddFault("GET /1/get/UA1", Fault{.encoding = "gzip"}); },
         {"--code", "UA1", "--dest", "$"}, 4,
         "order request failed: the server sent the file compressed, which was not asked for (code -84)"},
        {"a damaged archive, fetched again once, is the vendor's",
         [&] { server->AddOrder("DMG", server->FileUrl("cover.png") + "\n" + server->FileUrl("Bad.rar") + "\n"); },
         {"--code", "DMG", "--dest", "$", "--quiet"}, 7,
         "unpacking failed: Bad.rar could not be unpacked: the archive is damaged as the server sends it"},
        {"the code from the environment, quietly", [] {}, {"--dest", "$", "--quiet"}, 0, "installed: 3 files",
         {{"KESTROW_CODE", "UA1"}}},
        {"its version", [] {}, {"--version"}, 0, "Kestrow Installer 1.3"},
        {"the window where there is no display", [] {}, {}, 1,
         "no display; to install without a window: KestrowUnattended --code CODE --dest DIR\n",
         {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}}},
        {"a folder another installer holds",  // as flock() sees it, another process is no different
         [&] { flock(held = open(dest.c_str(), O_RDONLY | O_DIRECTORY), LOCK_EX | LOCK_NB); },
         {"--code", "UA1", "--dest", "$"}, 5, "another installer is installing into "},
    };
    writeFile(box.file("Read Me (EN).pdf"), "read me");
    WriteRar(box.path(), "Bad", {{"x.txt", "some bytes to damage"}});
    FlipByteOf(box.file("Bad.rar"), "some bytes");
    server->AddFileFromDisk("Bad.rar", box.file("Bad.rar"));
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        dest = box.file("case" + std::to_string(i));
        fs::create_directories(dest);
        server->ClearRequests();
        server->AllowOnlySource("");
        c.arrange();
        std::vector<std::string> args;
        for (std::string a : c.args)
            args.push_back(a[0] == '$' ? dest + a.substr(1) : a == "PROXY" ? "127.0.0.1:" + std::to_string(proxy->port()) : a);

        Outcome r = Run(args, nullptr, c.env);
        server->ClearFaults();
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
        if (std::find(c.args.begin(), c.args.end(), "--quiet") != c.args.end()) {
            EXPECT_EQ(r.out.find("downloading"), std::string::npos) << c.what << ": quiet";
        }
        EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << c.what << "\n" << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos) << c.what << ": nothing from the network steers it";
        const std::string log = box.file("KW_installerlog.txt");
        EXPECT_EQ((r.out + r.err + readFile(log)).find("s3cr3t"), std::string::npos) << c.what << ": no password shown";
        EXPECT_TRUE(!fs::exists(log) || fs::status(log).permissions() == fs::perms(0600)) << c.what;
        EXPECT_TRUE(c.file.empty() || fs::exists(dest + "/" + c.file)) << c.what;
        if (c.status == 0 && c.args.size() > 1 && c.args[1] == "UA1") {
            EXPECT_EQ(Library(dest), TreeOf(items)) << c.what;
            // One line of the record for each installation, for its owner's eyes only.
            std::string record = readFile(box.file("state/kestrow/installed.log"));
            EXPECT_NE(record.find("\tKestrow Installer 1.3\tUA1\t" + dest + "\t3 files\t"), std::string::npos) << record;
            EXPECT_EQ(fs::status(box.file("state/kestrow/installed.log")).permissions(), fs::perms(0600));
        }
    }
    close(held);
}

// Installed once, the library knows itself: the same command again is a
// success that fetches nothing, and --verify names whatever changed since.
TEST_F(UnattendedTest, AnInstalledLibraryStaysInstalledAndIsVerified)
{
    std::vector<RarItem> items = {{"Lib/a.wav", RandomBytes(90000, 1)}, {"Lib/readme.txt", "read me"}};
    server.ServeOrder("KEPT", WriteRar(box.path(), "Lib", items));
    const std::string dest = box.file("Kept"), a = dest + "/Lib/a.wav";
    ASSERT_EQ(Run({"--code", "KEPT", "--dest", dest}).status, 0);
    server->ClearRequests();
    Outcome again = Run({"--code", "KEPT", "--dest", dest});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "already installed in " + dest + ": the library's 2 files, 90007 bytes\n");
    EXPECT_TRUE(server->Requests().empty()) << "nothing fetched";
    struct Case {
        const char* what;
        std::function<void()> change, undo;
        int status;
        std::string said;
    };
    const std::string bytes = readFile(a);
    for (const Case& c : std::vector<Case>{
             {"whole", [] {}, [] {}, 0, "the library in " + dest + " is whole: 2 files, as installed for KEPT\n"},
             {"a byte changed", [&] { FlipByteOf(a, bytes.substr(5000, 8)); }, [&] { writeFile(a, bytes); }, 8,
              "changed: Lib/a.wav (CRC)\n"},
             {"cut short", [&] { TruncateTo(a, 100); }, [&] { writeFile(a, bytes); }, 8, "changed: Lib/a.wav (size)\n"},
             {"a file gone", [&] { fs::remove(dest + "/Lib/readme.txt"); },
              [&] { writeFile(dest + "/Lib/readme.txt", "read me"); }, 8, "missing: Lib/readme.txt\n"},
             {"a file added", [&] { writeFile(dest + "/Lib/extra.txt", "x"); },
              [&] { fs::remove(dest + "/Lib/extra.txt"); }, 8, "unexpected: Lib/extra.txt\n"},
             {"no library there", [&] { fs::rename(dest, dest + ".away"); }, [&] { fs::rename(dest + ".away", dest); },
              8, "holds no record of an installed library"}}) {
        c.change();
        Outcome r = Run({"--verify", "--dest", dest});
        c.undo();
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << c.what << "\n" << r.out;
    }
}

// Each stop signal in each wait and in the transfer: acted on at once, the exit status
// naming the signal, no temporary file and no private folder left, and the
// same command then goes on (a cut file with a byte range) and installs the
// library. While one runs, a second copy of the bundle is turned away (and
// asking the first to come forward does not end it).
TEST_F(UnattendedTest, AStopInEveryWaitAndTheSameCommandFinishes)
{
    std::vector<RarItem> items;
    std::vector<std::string> archives;
    // Archives large enough that a stop lands while one is unpacked.
    for (auto [name, mib] : {std::pair{"One", 24}, {"Two", 24}, {"Three", 1}}) {
        std::vector<RarItem> its = {{std::string(name) + "/" + name + ".wav", RandomBytes(size_t(mib) << 20, unsigned(mib))}};
        items.insert(items.end(), its.begin(), its.end());
        for (const std::string& path : WriteRar(box.path(), name, its))
            archives.push_back(path);
    }
    server.ServeOrder("STOP", archives);
    const std::string dest = box.file("Stopped");
    const std::vector<std::string> args = {"--code", "STOP", "--dest", dest, "--retry-wait", "30"};
    const std::string tmp = box.file("tmp"), one = dest + "/One.rar";
    fs::create_directory(tmp);
    Outcome second{-2, "", ""};
    auto asked = [&](const std::string& what) {  // "/path", or "/path@range"
        for (const LoggedRequest& r : server->Requests())
            if (r.path == what || r.path + "@" + r.range == what)
                return true;
        return false;
    };
    auto temporaries = [&] {
        std::error_code e;
        for (fs::recursive_directory_iterator it(dest, e), end; !e && it != end; it.increment(e))
            if (it->path().filename().string().rfind(".unrar-", 0) == 0)
                return true;
        return false;
    };
    std::chrono::steady_clock::time_point failedAt{};
    // Commands the installer runs, slowed where it runs them for its tool
    // and its folder check, so that a stop can land inside them.
    const std::string slow = box.file("slow");
    fs::create_directory(slow);
    for (const char* tool : {"cp", "chmod", "df"}) {
        writeFile(slow + "/" + tool, "#!/bin/sh\ncase \"$(basename \"$0\") $*\" in\n"
                                     "  \"cp \"*unrar-*|\"chmod -R 700 \"*|\"df \"*) touch \"$0.running\"; sleep 3;;\nesac\n"
                                     "exec \"/bin/$(basename \"$0\")\" \"$@\"\n");
        fs::permissions(slow + "/" + tool, fs::perms(0755));
    }
    const std::map<std::string, std::string> slowed = {{"TMPDIR", tmp}, {"PATH", slow + ":" + std::getenv("PATH")}};
    auto running = [&](const char* tool) { return [=] { return fs::exists(slow + "/" + tool + ".running"); }; };
    auto processes = [&, no = std::error_code()]() mutable {  // the live ones of the run: the installer, its unpacker
        int n = 0;
        for (auto& e : fs::directory_iterator("/proc"))
            n += fs::read_symlink(e.path() / "exe", no).string().rfind(box.path(), 0) == 0 &&
                 readFile(e.path().string() + "/stat").find(") Z ") == std::string::npos;
        return n;
    };
    // The display for the run of the window: a server of its own, killed as
    // a logout or a crash kills it.
    pid_t xvfb = -1;
    std::thread driver;
    auto display = [&] {
        std::string number = std::to_string(100 + getpid() % 100);
        xvfb = fork();
        if (xvfb == 0) {
            execlp("Xvfb", "Xvfb", (":" + number).c_str(), "-nolisten", "tcp", (char*)nullptr);
            _exit(127);
        }
        waitFor([&] { return fs::exists("/tmp/.X11-unix/X" + number); });
        driver = std::thread([=] {  // page 1 and page 2 by the keyboard, as a person does
            std::system(("export DISPLAY=:" + number + "; w=$(timeout 20 xdotool search --sync --name 'Kestrow Installer' | head -1);"
                         " xdotool windowfocus --sync $w type STOP; xdotool key Return; sleep 1;"
                         " xdotool key Tab Tab space; sleep 0.5; xdotool type '" + dest + "'; xdotool key Return;"
                         " sleep 0.5; xdotool key Tab Tab Tab space").c_str());
        });
        // Under AddressSanitizer: libxkbcommon's keymap reader hands strndup
        // names that end at their length, not at a zero, which the
        // sanitizer's own strndup takes for an overflow.
        const char* asan = std::getenv("ASAN_OPTIONS");
        return std::map<std::string, std::string>{{"TMPDIR", tmp}, {"DISPLAY", ":" + number}, {"QT_QPA_PLATFORM", "xcb"},
                                                  {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":intercept_strndup=0"}};
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<bool()> when;
        std::vector<int> signals = {SIGTERM, SIGINT, SIGHUP};
        std::map<std::string, std::string> env = {};
        std::function<void(pid_t, int)> stop = nullptr;  // instead of the signal
        bool window = false;
    };
    const std::vector<Case> cases = {
        {"the transfer", [&] { server->AddFault("GET /files/One.rar", Fault{.bytesPerSecond = 16 << 20}, 1); },
         [&] {
             if (second.status == -2 && fs::exists(one))
                 second = Run({"--code", "STOP", "--dest", box.file("Elsewhere")});
             return fs::exists(one) && fs::file_size(one) > (4 << 20);
         }},
        {"the order request", [&] { server->AddFault("GET /1/get/STOP", Fault{.stallMs = 30000}, 1); },
         [&] { return asked("/1/get/STOP"); }},
        {"the pause between passes", [&] { server->AddFault("GET /files/One.rar", Fault{.status = 503}, 1); },
         [&] {
             if (failedAt == std::chrono::steady_clock::time_point{} && asked("/files/One.rar"))
                 failedAt = std::chrono::steady_clock::now();
             return failedAt != std::chrono::steady_clock::time_point{} &&
                    std::chrono::steady_clock::now() - failedAt > std::chrono::milliseconds(300);
         }},
        {"the unpacker at work", [] {}, temporaries},
        // As its unpacker ends, between two archives' commands, or as the next one starts.
        {"after the first archive", [] {},
         [&] { return fs::exists(dest + "/One/One.wav") && !fs::exists(dest + "/Two/Two.wav"); }},
        {"the tool's copy", [] {}, running("cp"), {SIGTERM}, slowed},
        {"the tool's chmod", [] {}, running("chmod"), {SIGINT}, slowed},
        {"a slow df in the folder check", [] {}, running("df"), {SIGTERM, SIGINT, SIGHUP}, slowed},
        {"a second signal 1 s after the first", [] {}, temporaries, {SIGTERM}, {},
         [](pid_t pid, int signal) {
             kill(pid, signal);
             std::thread([signal, fd = int(syscall(SYS_pidfd_open, pid, 0))] {
                 std::this_thread::sleep_for(std::chrono::seconds(1));
                 syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0);
                 close(fd);
             }).detach();
         }},
        {"kill -9 while the unpacker writes", [] {}, temporaries, {SIGKILL}},
        {"the display killed while unpacking", [] {}, temporaries, {SIGHUP}, {},
         [&](pid_t, int) { kill(xvfb, SIGKILL); }, true},
    };
    for (const Case& c : cases) {
        for (int signal : c.signals) {
            SCOPED_TRACE(std::string(c.what) + ", " + strsignal(signal));
            fs::remove_all(dest);
            for (const char* tool : {"cp", "chmod", "df"})
                fs::remove(slow + "/" + tool + ".running");
            server->ClearRequests();
            failedAt = {};
            c.arrange();
            std::map<std::string, std::string> env = c.window ? display() : c.env;
            env.emplace("TMPDIR", tmp);
            Outcome stopped = Run(c.window ? std::vector<std::string>{} : args, c.when, env, signal,
                                  c.stop ? std::function<void(pid_t)>([&](pid_t pid) { c.stop(pid, signal); }) : nullptr);
            server->ClearFaults();
            if (xvfb > 0)  // the display, stopped by its pid whatever the row came to
                kill(xvfb, SIGKILL), waitpid(std::exchange(xvfb, -1), nullptr, 0);
            if (driver.joinable())
                driver.join();
            EXPECT_EQ(stopped.status, 128 + signal) << stopped.err;
            if (signal != SIGKILL) {
                EXPECT_NE(stopped.err.find(c.window ? "stopped; start the installer again to continue"
                                                     : "stopped; run the same command again to continue"),
                          std::string::npos) << stopped.err;
            }
            std::printf("[ stop     ] %s: %s acted on in %.3f s\n", c.what, strsignal(signal), stopped.stopSeconds);
            EXPECT_LT(stopped.stopSeconds, 1.0) << "stopped, not waited out";
            EXPECT_TRUE(waitFor([&] { return processes() == 0; }, std::chrono::seconds(1)))
                << "no process of the run outlives it";
            EXPECT_FALSE(temporaries()) << "no temporary file left";
            const std::string log = readFile(box.file("KW_installerlog.txt"));
            EXPECT_EQ(log.find("Extracting files"), std::string::npos) << "a stop is no failure: " << log;
            std::string had = fs::exists(one) ? std::to_string(fs::file_size(one)) : "";

            server->ClearRequests();
            Outcome again = Run(args, nullptr, {{"TMPDIR", tmp}});
            EXPECT_EQ(again.status, 0) << again.err;
            EXPECT_EQ(Library(dest), TreeOf(items));
            if (c.what == cases[0].what) {
                EXPECT_TRUE(asked("/files/One.rar@bytes=" + had + "-")) << "goes on from the " << had << " bytes there";
            }
            // Whatever the stopped run left, the next one cleared.
            for (auto& e : fs::directory_iterator(tmp))
                EXPECT_NE(e.path().filename().string().rfind("kestrow-", 0), 0u) << "its private folder is removed";
            for (auto& e : fs::directory_iterator(box.path()))
                EXPECT_NE(e.path().filename().string().rfind("unrar-", 0), 0u) << "its unpacker's copy is removed";
        }
    }
    EXPECT_EQ(second.status, 1) << second.err;
    EXPECT_EQ(second.err, "Process is already started.\n");
}

// Two copies of the bundle in one folder, two orders at once: each has its
// own working copy of the unpacker, and both libraries install.
TEST_F(UnattendedTest, TwoBundlesSideBySide)
{
    std::vector<RarItem> items = {{"Lib/a.wav", RandomBytes(6 << 20, 3)}, {"Lib/b.wav", RandomBytes(6 << 20, 4)}};
    server.ServeOrder("SIDE", WriteRar(box.path(), "Lib", items));
    const std::string second = box.file("Kestrow 2.app/Contents/MacOS/");
    fs::create_directories(second);
    fs::copy_file(bundle + "KestrowUnattended", second + "KestrowUnattended");
    fs::copy_file(bundle + "unrar", second + "unrar");
    const std::map<std::string, std::string> env = {{"KESTROW_API_URL", server.base()},
                                                    {"KESTROW_CA_FILE", server.caFile()}};
    Outcome one, two;
    std::thread other([&] {
        two = Exec({second + "KestrowUnattended", "--code", "SIDE", "--dest", box.file("B")}, env, 120);
    });
    one = Exec({bundle + "KestrowUnattended", "--code", "SIDE", "--dest", box.file("A")}, env, 120);
    other.join();
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(Library(box.file("A")), TreeOf(items));
    EXPECT_EQ(Library(box.file("B")), TreeOf(items));
}
