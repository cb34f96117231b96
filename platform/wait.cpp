#include "platform/wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "platform/stop_signal.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
using namespace std::chrono_literals;

// How often a blocked main thread looks at the window system: a frame or so.
constexpr auto kTurn = 15ms;

// Main thread only: how many waits are under way there.
int g_waitDepth = 0;

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::Gesture:
    case QEvent::NativeGesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
        return true;
    default:
        return false;
    }
}

// Sees every event of the main thread; acts only while a wait is under way.
class WaitFilter : public QObject {
public:
    using QObject::QObject;
    std::vector<QPointer<QWidget>> heldCloses;
    std::function<void()> onCloseHeld;

protected:
    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (g_waitDepth == 0)
            return false;
        QEvent::Type type = e->type();
        if (type == QEvent::Close && receiver->isWidgetType()) {
            e->ignore();  // an accepted close would hide the window anyway
            heldCloses.emplace_back(static_cast<QWidget*>(receiver));
            if (onCloseHeld)
                onCloseHeld();
            return true;
        }
        // A timer or notifier whose event is swallowed fires again later.
        return type == QEvent::Timer || type == QEvent::SockAct || IsInput(type);
    }
};

bool OnMainThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

WaitFilter* Filter()
{
    static QPointer<WaitFilter> filter;
    if (!filter) {
        filter = new WaitFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
    return filter;
}
}  // namespace

bool RepaintWhileBlocked()
{
    if (!OnMainThread())
        return false;
    WaitFilter* filter = Filter();
    ++g_waitDepth;
    // Input is not excluded here: the filter drops it instead of saving it.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    --g_waitDepth;
    bool stop = !filter->heldCloses.empty();
    for (QPointer<QWidget>& window : std::exchange(filter->heldCloses, {}))
        PostToMainThread([window] {
            if (window)
                window->close();
        });
    // A stop signal reaches the loop through a notifier, which waits with the
    // rest: it is acted on here at once, as a held close is, and the close
    // itself follows when the loop runs again.
    static int signalSeen = 0;
    if (int signal = StopSignal(); signal != signalSeen) {
        signalSeen = signal;
        stop = true;
        if (filter->onCloseHeld)
            filter->onCloseHeld();
    }
    return stop;
}

void SetCloseHeldHandler(std::function<void()> handler) { Filter()->onCloseHeld = std::move(handler); }

void PostToMainThread(std::function<void()> call)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        call();
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [call = std::move(call)]() mutable {
            // Delivered inside a wait: queued again, behind whatever comes next.
            if (g_waitDepth > 0)
                PostToMainThread(std::move(call));
            else
                call();
        },
        Qt::QueuedConnection);
}

namespace {
// The command that runs now, its process group: what a lost display ends.
volatile pid_t g_running = 0;
}  // namespace

void EndRunningCommand()
{
    if (pid_t group = g_running; group > 0) {
        kill(-group, SIGTERM);
        for (int i = 0; i < 100 && waitpid(group, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int RunShellCommand(const String& commandLine, TCommandKind kind, int workingFolder)
{
    // A stopped step starts no more work; its clean-up still runs.
    if (kind == TCommandKind::Work && StopSignal() != 0)
        return SIGTERM;
    // Out of the terminal's foreground, it must neither read the terminal nor
    // be stopped for writing to it (SIGTTOU, ignored, stays ignored in it).
    static const bool quiet = (std::signal(SIGTTOU, SIG_IGN), true);
    (void)quiet;
    // The shell gives way to the command: nothing stands between the two.
    const String line = "exec " + commandLine;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Only what is safe between fork and exec. A process group of its
        // own: a stop ends the command and whatever it started, and Ctrl-C
        // at a terminal reaches it only through the installer. It ends with
        // the installer, however the installer ends, and inherits nothing
        // of it but standard output and error.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        std::signal(SIGPIPE, SIG_DFL);
        int input = open("/dev/null", O_RDONLY);
        if (input >= 0 && input != STDIN_FILENO) {
            dup2(input, STDIN_FILENO);
            close(input);
        }
        if (workingFolder >= 0 && fchdir(workingFolder) != 0)
            _exit(127);
        syscall(SYS_close_range, 3u, ~0u, 0u);
        execve("/bin/sh", const_cast<char* const*>(argv), environ);
        _exit(127);
    }
    if (pid < 0)
        return -1;
    g_running = pid;
    // Woken the moment the command ends, or once a turn to repaint.
    int ended = int(syscall(SYS_pidfd_open, pid, 0));
    int status = 0;
    bool stopped = false;
    for (;;) {
        pid_t done = waitpid(pid, &status, stopped || !OnMainThread() ? 0 : WNOHANG);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            status = -1;
        if (done != 0)
            break;
        pollfd watch{ended, POLLIN, 0};
        if (ended < 0)
            std::this_thread::sleep_for(kTurn);
        // A signal cuts the poll short (EINTR): the stop is seen at once.
        if (ended >= 0 && poll(&watch, 1, int(kTurn.count())) == 1)
            continue;
        bool stop = RepaintWhileBlocked() || StopSignal() != 0;
        if (stop && kind == TCommandKind::Work) {
            kill(-pid, SIGTERM);
            stopped = true;
        }
    }
    g_running = 0;
    if (ended >= 0)
        close(ended);
    return status;
}

void SleepRepainting(unsigned milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (StopSignal() == 0) {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= left.zero())
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kTurn));
        if (RepaintWhileBlocked())
            return;
    }
}
