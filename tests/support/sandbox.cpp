#include "tests/support/sandbox.h"

#include "platform/forms.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

Sandbox::Sandbox()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrow-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

Sandbox::~Sandbox()
{
    std::error_code ec;
    // Tests may have taken write rights away: give them back first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void Sandbox::write(const std::string& name, const std::string& content) const { writeFile(file(name), content); }
std::string Sandbox::read(const std::string& name) const { return readFile(file(name)); }

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        if (Application)
            Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

Outcome Exec(std::vector<std::string> args, const std::map<std::string, std::string>& env, int timeoutSec,
             const std::function<bool()>& killWhen, int signal, const std::function<void(pid_t)>& stop)
{
    Sandbox box;
    std::string outFile = box.file("stdout"), errFile = box.file("stderr");
    pid_t pid = fork();
    if (pid == 0) {
        for (auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        dup2(open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    auto ended = [&](double stopSeconds) {
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(outFile),
                       readFile(errFile), stopSeconds};
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return {-1, readFile(outFile), "timed out\n" + readFile(errFile)};
        }
        if (killWhen) {
            // Held still while the condition is looked at, so the signal lands at
            // the point it names and not after the program has moved on (a busy
            // machine may not come back to this loop for tens of milliseconds).
            kill(pid, SIGSTOP);
            if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status))
                break;
            const bool now = killWhen();
            const auto sent = std::chrono::steady_clock::now();
            if (now && stop)
                stop(pid);
            else if (now)
                kill(pid, signal);
            kill(pid, SIGCONT);
            if (now) {
                waitpid(pid, &status, 0);
                return ended(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count());
            }
        }
        usleep(2000);
    }
    return ended(-1);
}
