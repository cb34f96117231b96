#include "platform/threads.h"

#include "platform/wait.h"

#include <QCoreApplication>
#include <QThread>

struct TIdThreadComponent::Call {
    std::function<void()> method;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;
    std::exception_ptr error;
};

TIdThreadComponent::TIdThreadComponent(TComponent* owner) : TComponent(owner) {}

TIdThreadComponent::~TIdThreadComponent()
{
    std::shared_ptr<Call> pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        destroying_ = true;
        restart_ = false;
        pending = pending_;
    }
    // A worker still waiting for the main thread would wait forever: the event
    // loop that would run its call is gone.
    if (pending) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->cancelled = true;
        pending->cv.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

bool TIdThreadComponent::OnMainThread() const
{
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void TIdThreadComponent::Start()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (destroying_)
        return;
    terminated_ = false;
    if (running_) {
        restart_ = true;
        return;
    }
    // The previous thread has left its loop; joining it cannot wait on us.
    if (thread_.joinable())
        thread_.join();
    running_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { ThreadMain(); });
}

void TIdThreadComponent::Stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    terminated_ = true;
    if (!stopping_)
        restart_ = false;
    stopping_ = running_;
}

bool TIdThreadComponent::Active() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

bool TIdThreadComponent::Terminated() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return terminated_;
}

void TIdThreadComponent::ThreadMain()
{
    for (;;) {
        std::unique_ptr<Exception> failure;
        try {
            if (OnRun)
                OnRun(this);
        } catch (const Exception& e) {
            failure = std::make_unique<Exception>(e);
        } catch (const std::exception& e) {
            failure = std::make_unique<Exception>(e.what());
        } catch (...) {
            failure = std::make_unique<Exception>("");
        }
        if (failure && OnException) {
            try {
                Synchronize([&] { OnException(this, failure.get()); });
            } catch (...) {
                // The handler's own failure has nowhere left to go.
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        if (restart_ && !destroying_) {
            restart_ = false;
            terminated_ = false;
            continue;
        }
        running_ = false;
        return;
    }
}

void TIdThreadComponent::Synchronize(const std::function<void()>& method)
{
    // A blocking call queued from the main thread to itself would never run.
    if (OnMainThread()) {
        method();
        return;
    }
    auto call = std::make_shared<Call>();
    call->method = method;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (destroying_)
            return;
        pending_ = call;
    }
    // Never handed over inside a blocking wait: the job would start there.
    PostToMainThread([call] {
        {
            std::lock_guard<std::mutex> lock(call->mutex);
            if (call->cancelled)
                return;
        }
        try {
            call->method();
        } catch (...) {
            call->error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(call->mutex);
        call->done = true;
        call->cv.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(call->mutex);
        call->cv.wait(lock, [&] { return call->done || call->cancelled; });
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_ == call)
            pending_.reset();
    }
    if (call->error)
        std::rethrow_exception(call->error);
}
