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
// `program` run as `argv0` with the argument 30: /bin/sleep under a borrowed
// name, or a copy of this test program, which then only sleeps.
pid_t Start(const std::string& program, const std::string& argv0)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("KESTROW_TEST_SLEEP", "30", 1);
        execl(program.c_str(), argv0.c_str(), "30", (char*)nullptr);
        _exit(127);
    }
    return pid;
}
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
    pid_t lookalike = Start("/bin/sleep", exe);
    EXPECT_EQ(AnotherCopyOf(exe), 0);
    pid_t copy = Start(box.file("linked"), "linked");  // through a link
    ASSERT_TRUE(waitFor([&] {
        std::error_code ec;
        return std::filesystem::read_symlink("/proc/" + std::to_string(copy) + "/exe", ec) == exe;
    }));
    EXPECT_EQ(AnotherCopyOf(exe), copy);
    EXPECT_NE(AnotherCopyOf("/proc/self/exe"), copy) << "the original is another file";
    for (pid_t pid : {lookalike, copy}) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}
