// Blocking the main thread on purpose (a shell command, a pause; a request
// outside the download job waits the same way): the window keeps painting,
// and nothing else runs there until the wait is over.

#include "platform/controls.h"
#include "platform/threads.h"
#include "platform/wait.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>



namespace {
bool g_waiting = false;  // inside the wait under test

class Probe : public QWidget {
public:
    int paintsDuring = 0;
    int closesDuring = 0;
    int closesAfter = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), Qt::white);
        paintsDuring += g_waiting;
    }
    void closeEvent(QCloseEvent* e) override
    {
        ++(g_waiting ? closesDuring : closesAfter);
        e->ignore();
    }
};

}  // namespace

TEST(BlockingWait, ShellCommandAndPausePaintButRunNothingElse)
{
    for (auto [name, wait] : std::vector<std::pair<const char*, std::function<void()>>>{
             // The close that comes meanwhile ends the wait: the command is stopped, not waited for.
             {"shell command", [] { EXPECT_EQ(RunShellCommand("sleep 30"), SIGTERM); }},
             {"pause", [] { SleepRepainting(30000); }},
             {"a picture's decoding", [] {
                  static const std::string busy = JpegBytes(2500, 10, true);  // about 0.1 s to decode
                  TMemoryStream stream;
                  stream.Write(busy.data(), int64_t(busy.size()));
                  stream.SetPosition(0);
                  TBitmap bitmap;
                  EXPECT_FALSE(bitmap.LoadFromStream(&stream)) << "given up";
              }}}) {
        SCOPED_TRACE(name);
        Probe window;
        window.resize(120, 60);
        auto* field = new QLineEdit(&window);
        window.show();
        field->setFocus();
        QCoreApplication::processEvents();

        // All of this is queued when the wait starts, or comes while it lasts.
        window.update();
        QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
        QCoreApplication::postEvent(&window, new QCloseEvent);
        bool timerRan = false, timerDuring = false;
        QTimer::singleShot(1, &window, [&] { timerRan = true, timerDuring = g_waiting; });
        bool queuedRan = false, queuedDuring = false;
        PostToMainThread([&] { queuedRan = true, queuedDuring = g_waiting; });
        bool jobRan = false, jobDuring = false;
        TIdThreadComponent worker(nullptr);
        worker.OnRun = [&](TIdThreadComponent* t) { t->Synchronize([&] { jobRan = true, jobDuring = g_waiting; }); };
        worker.Start();

        g_waiting = true;
        auto began = std::chrono::steady_clock::now();
        wait();
        g_waiting = false;
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10)) << "cut short by the close";

        EXPECT_GT(window.paintsDuring, 0);
        EXPECT_FALSE(timerRan || queuedRan || window.closesAfter) << "nothing ran on its own after the wait either";
        ASSERT_TRUE(waitFor([&] { return timerRan && queuedRan && jobRan && window.closesAfter == 1; }));
        EXPECT_FALSE(timerDuring || queuedDuring || jobDuring || window.closesDuring);
        EXPECT_EQ(field->text(), "") << "a key pressed during the wait is dropped, not typed later";
    }
}

// A command inherits nothing of the program but standard input (/dev/null),
// output and error: no socket or file it holds (its connections to the
// download server) and no descriptor a child could keep alive.
TEST(BlockingWait, ACommandInheritsOnlyItsStandardDescriptors)
{
    int socket = ::socket(AF_INET, SOCK_STREAM, 0), file = ::open("/dev/null", O_RDONLY);  // neither close-on-exec
    std::set<std::string> inherited;
    std::thread command([] { RunShellCommand("sleep 1"); });
    EXPECT_TRUE(waitFor([&] {
        for (auto& e : std::filesystem::directory_iterator("/proc"))
            if (readFile(e.path().string() + "/comm") == "sleep\n" &&
                readFile(e.path().string() + "/stat").find(") S " + std::to_string(getpid()) + " ") != std::string::npos)
                for (auto& fd : std::filesystem::directory_iterator(e.path() / "fd"))
                    inherited.insert(fd.path().filename().string());
        return !inherited.empty();
    }));
    command.join();
    EXPECT_EQ(inherited, (std::set<std::string>{"0", "1", "2"}));
    close(socket);
    close(file);
}
