#pragma once
// A temporary folder that removes itself, and waiting on a condition while
// the window's messages keep flowing.

#include <chrono>
#include <functional>
#include <map>
#include <sys/types.h>
#include <string>
#include <vector>

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;

private:
    std::string path_;
};

// Pumps messages until `done` holds or `timeout` passes; returns `done()`.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// A program run to its end, its output kept. It is killed after `timeoutSec`,
// or sent `signal` as soon as `killWhen` holds (and then waited for); it is
// stopped while `killWhen` is asked, so it has not moved on when the signal
// comes. `stop`, when given, acts in place of the signal (another signal, a
// display taken away), given the program's pid.
struct Outcome {
    int status;  // exit status, or 128 + signal; -1 when it timed out
    std::string out, err;
    double stopSeconds = -1;  // from the signal to the end, when one was sent
};
Outcome Exec(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}, int timeoutSec = 60,
             const std::function<bool()>& killWhen = nullptr, int signal = 9,
             const std::function<void(pid_t)>& stop = nullptr);
