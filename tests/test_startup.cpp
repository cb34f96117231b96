// Paths of a bundle and of a bare executable, and the single-instance guard
// against real running processes.

#include "app/globals.h"
#include "app/startup.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>
#include <filesystem>
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

// Processes of a copy of this test program, private to the test: other
// tests' processes run the original and must not count.
TEST(SingleInstanceGuard, CountsProcessesThatRunTheSameExecutable)
{
    Sandbox box;
    std::string exe = box.file("Probe.app/Contents/MacOS/installer_tests");
    std::filesystem::create_directories(box.file("Probe.app/Contents/MacOS"));
    std::filesystem::copy_file("/proc/self/exe", exe);
    std::filesystem::create_symlink(exe, box.file("linked"));

    // A command line that merely names the copy (an editor, a grep) is none.
    pid_t lookalike = StartLookalike(exe);
    EXPECT_EQ(AnotherCopyOf(exe), 0);
    pid_t copy = fork();
    if (copy == 0) {
        setenv("KESTROW_TEST_SLEEP", "30", 1);
        execl(box.file("linked").c_str(), "linked", (char*)nullptr);  // through a link
        _exit(127);
    }
    ASSERT_TRUE(waitFor([&] {
        std::error_code ec;
        return std::filesystem::read_symlink("/proc/" + std::to_string(copy) + "/exe", ec) == exe;
    }));
    EXPECT_EQ(AnotherCopyOf(exe), copy);
    EXPECT_NE(AnotherCopyOf("/proc/self/exe"), copy) << "the original is another file";
    Stop(lookalike);
    Stop(copy);
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
            setenv("TMPDIR", box.path().c_str(), 1);
            execl(exe.c_str(), exe.c_str(), (char*)nullptr);
            _exit(127);
        }
        return pid;
    };
    // The first copy is past its guard once its window has made its temporary folder.
    pid_t first = launch(box.file("first.log"));
    auto privateFolders = [&] {
        int n = 0;
        for (auto& e : std::filesystem::directory_iterator(box.path()))
            n += e.path().filename().string().rfind("kestrow-", 0) == 0;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return privateFolders() == 1; }, std::chrono::seconds(20)));
    ASSERT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy runs";

    pid_t second = launch(box.file("second.log"));
    int status = -1;
    ASSERT_TRUE(waitFor([&] { return waitpid(second, &status, WNOHANG) == second; }, std::chrono::seconds(20)));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(box.read("second.log"), "message\tProcess is already started.\n");
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy still runs";
    EXPECT_EQ(box.read("first.log"), "");
    Stop(first);  // SIGTERM: closed as by its close box
    EXPECT_EQ(privateFolders(), 0) << "its private folder is removed";
}
