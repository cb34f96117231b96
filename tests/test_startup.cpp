// Paths of a bundle and of a bare executable, and the single-instance guard
// against real running processes.

#include "app/globals.h"
#include "app/startup.h"
#include "app/text.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Paths, BundleAndBareExecutable)
{
    EXPECT_EQ(ExeDirShortOf("/Users/user/Downloads/Inst.app/Contents/MacOS/"), "/Users/user/Downloads/");
    EXPECT_EQ(ExeDirShortOf("/Applications/Inst.app/Contents/MacOS/"), "/Applications/");
    EXPECT_EQ(ExeDirShortOf("/opt/inst/"), "/opt/inst/");
    EXPECT_EQ(ExeDirShortOf("/"), "/");
}

namespace {
// A process whose command line reads like a running copy of the installer.
pid_t StartLookalike(const std::string& commandLine)
{
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sleep", commandLine.c_str(), "30", (char*)nullptr);
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

std::string Unique(const char* stem) { return stem + std::to_string(getpid()) + std::to_string(rand()); }
}  // namespace

TEST(SingleInstanceGuard, CountsCopiesInTheProcessList)
{
    Sandbox box;
    ExeDirShort = box.path() + "/";
    ExeName = Unique("GuardProbe");
    std::string copy = box.path() + "/Probe.app/Contents/MacOS/" + ExeName;
    ModalResponder modals;

    EXPECT_EQ(workProcess(), 0) << "nothing runs";
    pid_t first = StartLookalike(copy);
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists("/proc/" + std::to_string(first)); }));
    EXPECT_EQ(workProcess(), 0) << "one line: that is the running copy itself";
    EXPECT_TRUE(modals.messages.empty());

    // The needle is matched as a substring: a longer name counts as a copy.
    pid_t second = StartLookalike(copy + "Longer");
    usleep(100000);
    EXPECT_EQ(workProcess(), -1);
    ASSERT_EQ(modals.messages.size(), 1u);
    EXPECT_EQ(modals.messages[0], "Process is already started.");
    EXPECT_FALSE(std::filesystem::exists(box.file("psProcess.txt"))) << "the snapshot is removed";
    Stop(first);
    Stop(second);
}

TEST(SingleInstanceGuard, QuoteInTheBundlesFolderBreaksNothing)
{
    Sandbox box;
    std::filesystem::create_directory(box.file("O'Neil"));
    ExeDirShort = box.file("O'Neil") + "/";
    ExeName = Unique("QuoteProbe");
    EXPECT_EQ(workProcess(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(box.file("O'Neil"))) << "the snapshot was written there and removed";
    EXPECT_EQ(QuotedPath("/a/O'Neil/x"), "'/a/O'\\''Neil/x'");
}

TEST(SingleInstanceGuard, UnwritableBundleFolderRaises)
{
    ExeDirShort = "/nonexistent/kestrow/";
    EXPECT_THROW(workProcess(), EInOutError);
}

// Two real copies of the installer: the second shows the message and ends
// without a window while the first keeps running.
TEST(SingleInstanceGuard, SecondRealCopyEnds)
{
    const char* built = KESTROW_INSTALLER_EXE;
    Sandbox box;
    std::string name = Unique("GuardCopy");
    std::string macos = box.path() + "/Copy.app/Contents/MacOS";
    std::filesystem::create_directories(macos);
    std::string exe = macos + "/" + name;
    std::filesystem::copy_file(built, exe);

    auto launch = [&](const std::string& modalLog) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("FMX_MODAL_LOG", modalLog.c_str(), 1);
            setenv(kApiUrlVariable, "https://127.0.0.1:9", 1);
            execl(exe.c_str(), exe.c_str(), (char*)nullptr);
            _exit(127);
        }
        return pid;
    };
    // The first copy is past its guard once it has removed its snapshot.
    int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, box.path().c_str(), IN_DELETE), 0);
    pid_t first = launch(box.file("first.log"));
    bool guardDone = false;
    pollfd ready{watch, POLLIN, 0};
    while (!guardDone && poll(&ready, 1, 20000) > 0) {
        alignas(inotify_event) char events[4096];
        ssize_t n = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            auto* e = reinterpret_cast<inotify_event*>(events + at);
            guardDone |= e->len && std::string(e->name) == "psProcess.txt";
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    close(watch);
    ASSERT_TRUE(guardDone);
    ASSERT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy runs";

    pid_t second = launch(box.file("second.log"));
    int status = -1;
    ASSERT_TRUE(waitFor([&] { return waitpid(second, &status, WNOHANG) == second; }, std::chrono::seconds(20)));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(box.read("second.log"), "message\tProcess is already started.\n");
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy still runs";
    EXPECT_EQ(box.read("first.log"), "");
    Stop(first);
}
