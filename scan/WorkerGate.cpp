// Cooperative pause/abandon for worker threads.
#include "scan/WorkerGate.h"

namespace tolvane {

bool WorkerGate::Checkpoint()
{
    std::function<void(long)> hook;
    long ordinal = 0;
    {
        std::lock_guard lock(mutex_);
        ordinal = ++checkpoints_;
        hook = checkpointHook_;
    }
    if (hook)
        hook(ordinal);

    std::unique_lock lock(mutex_);
    if (pauseRequested_ && !abandoned_) {
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pauseRequested_ || abandoned_; });
        held_ = false;
    }
    return !abandoned_;
}

void WorkerGate::RequestPause()
{
    std::lock_guard lock(mutex_);
    pauseRequested_ = true;
    changed_.notify_all();
}

void WorkerGate::Resume()
{
    std::lock_guard lock(mutex_);
    pauseRequested_ = false;
    changed_.notify_all();
}

void WorkerGate::Abandon()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (abandoned_)
            return;
        abandoned_ = true;
        handler = abandonHandler_;
        changed_.notify_all();
    }
    if (handler)
        handler();
}

bool WorkerGate::isPauseRequested() const
{
    std::lock_guard lock(mutex_);
    return pauseRequested_;
}

bool WorkerGate::isAbandoned() const
{
    std::lock_guard lock(mutex_);
    return abandoned_;
}

bool WorkerGate::isHeld() const
{
    std::lock_guard lock(mutex_);
    return held_;
}

void WorkerGate::setAbandonHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    abandonHandler_ = std::move(handler);
}

void WorkerGate::setCheckpointHook(std::function<void(long)> hook)
{
    std::lock_guard lock(mutex_);
    checkpointHook_ = std::move(hook);
}

}  // namespace tolvane
