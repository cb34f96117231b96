#pragma once
// The thread component: one worker thread per Start, whose OnRun may hand
// work to the main thread with Synchronize and wait for it.

#include "platform/system.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TIdThreadComponent : public TComponent {
public:
    explicit TIdThreadComponent(TComponent* owner);
    ~TIdThreadComponent() override;

    // Starts a run. While a run is still going (a Stop was raised from inside
    // it and it has not unwound yet), the new run follows once it has ended.
    void Start();
    // Marks the run terminated; never waits, so a job may stop its own worker.
    // The first Stop of a run also drops a Start made before it; a Start made
    // after it survives every later Stop of that run (the job's own, as it
    // unwinds), so a Resume pressed during the unwinding is never lost.
    void Stop();
    bool Active() const;
    bool Terminated() const;

    // Runs `method` on the main thread and waits for it; on the main thread it
    // simply calls it. An exception of `method` is raised again here.
    void Synchronize(const std::function<void()>& method);

    std::function<void(TIdThreadComponent* Sender)> OnRun;
    std::function<void(TIdThreadComponent* Sender, Exception* E)> OnException;

private:
    struct Call;
    void ThreadMain();
    bool OnMainThread() const;

    mutable std::mutex mutex_;
    std::thread thread_;
    bool running_ = false;
    bool restart_ = false;
    bool stopping_ = false;  // the running run has had its first Stop
    bool terminated_ = false;
    bool destroying_ = false;
    std::shared_ptr<Call> pending_;
};
