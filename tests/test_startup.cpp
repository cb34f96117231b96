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

// Every program of ours says how it is used, and refuses what it cannot
// take with a message and status 2, writing nothing.
TEST(Programs, SayHowTheyAreUsed)
{
    Sandbox box;
    const std::string build = KESTROW_BUILD_DIR;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string said;  // the start of the output, stdout then stderr
    };
    const std::vector<Case> cases = {
        {{KESTROW_INSTALLER_EXE, "--help"}, 0, "usage: KestrowInstaller --code CODE --dest DIR"},
        {{KESTROW_INSTALLER_EXE, "--bogus"}, 2, "KestrowInstaller: unknown option '--bogus'"},
        {{KESTROW_INSTALLER_EXE, "--verify"}, 2, "KestrowInstaller: --verify needs --dest"},
        {{build + "/kestrow-demo-order", "--help"}, 0, "usage: kestrow-demo-order FOLDER"},
        {{build + "/kestrow-demo-order"}, 2, "usage: kestrow-demo-order FOLDER"},
        {{build + "/kestrow-local-api", "--help"}, 0, "usage: kestrow-local-api --folder DIR"},
        {{build + "/kestrow-local-api", "--folder", box.file("none"), "--code", "X"}, 2, "kestrow-local-api: no folder"},
        {{build + "/make-rar", "--help"}, 0, "usage: make-rar FOLDER STEM SIZE_MIB"},
        {{build + "/make-rar", box.file("missing"), "Lib", "1"}, 2, "make-rar: no folder"},
        {{build + "/make-rar", box.path(), "Lib", "many"}, 2, "make-rar: SIZE_MIB, FORMAT (4 or 5) and FILES must be numbers"},
        {{UNRAR_EXE, "--help"}, 0, "usage: unrar -o- x ARCHIVE DESTINATION"},
        {{UNRAR_EXE, "x"}, 2, "usage: unrar -o- x ARCHIVE DESTINATION"},
    };
    const std::string here = std::filesystem::current_path();
    std::filesystem::current_path(box.path());  // where a folder named "--help" would land
    for (const Case& c : cases) {
        Outcome r = Exec(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << "\n" << r.out << r.err;
        EXPECT_EQ((r.out + r.err).rfind(c.said, 0), 0u) << c.args[0] << "\n" << r.out << r.err;
        EXPECT_EQ(c.status == 0 ? r.err : r.out, "") << "help on stdout, refusals on stderr";
    }
    std::filesystem::current_path(here);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.path()), {}), 0) << "nothing written";
}
