#include "platform/wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
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

void RepaintWhileBlocked()
{
    if (!OnMainThread())
        return;
    WaitFilter* filter = Filter();
    ++g_waitDepth;
    // Input is not excluded here: the filter drops it instead of saving it.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    --g_waitDepth;
    for (QPointer<QWidget>& window : std::exchange(filter->heldCloses, {}))
        PostToMainThread([window] {
            if (window)
                window->close();
        });
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
    if (!OnMainThread())
        return std::system(commandLine.c_str());
    auto status = std::async(std::launch::async, [commandLine] { return std::system(commandLine.c_str()); });
    while (status.wait_for(kTurn) != std::future_status::ready)
        RepaintWhileBlocked();
    return status.get();
}

void SleepRepainting(unsigned milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= left.zero())
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kTurn));
        RepaintWhileBlocked();
    }
}
