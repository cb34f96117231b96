#include "platform/wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "platform/application.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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
    if (int signal = TApplication::StopSignal(); signal != signalSeen) {
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

int RunShellCommand(const String& commandLine)
{
    const bool stoppedBefore = TApplication::StopSignal() != 0;
    // A process group of its own: a stop ends the command and whatever it
    // started, and Ctrl-C at a terminal reaches it only through the installer.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigemptyset(&none);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGPIPE})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    // Out of the terminal's foreground, it must neither read the terminal nor
    // be stopped for writing to it (SIGTTOU, ignored, stays ignored in it).
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    static const bool quiet = (std::signal(SIGTTOU, SIG_IGN), true);
    (void)quiet;
    const char* argv[] = {"sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, "/bin/sh", &files, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return -1;
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
        // A command started after a stop (a clean-up) runs to its end.
        if (RepaintWhileBlocked() && !stoppedBefore) {
            kill(-pid, SIGTERM);
            stopped = true;
        }
    }
    if (ended >= 0)
        close(ended);
    return status;
}

void SleepRepainting(unsigned milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (TApplication::StopSignal() == 0) {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= left.zero())
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kTurn));
        if (RepaintWhileBlocked())
            return;
    }
}
