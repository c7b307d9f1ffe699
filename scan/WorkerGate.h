// Pause, continue and abandon for a worker thread (scan, list fill, conversion).
//
// The worker calls Checkpoint() before each item. The thread that drives it
// calls RequestPause() when the user asks to stop and then Resume() or
// Abandon() once the user has decided. That thread never waits for the worker: a pause
// takes effect at the worker's next checkpoint, and whoever shows the worker's
// output holds back what arrives while paused (isPauseRequested()).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace tolvane {

class WorkerGate {
public:
    // Blocks while a pause is requested. Returns false once the worker has been
    // abandoned: the worker must then stop at once and show nothing more.
    [[nodiscard]] bool Checkpoint();

    void RequestPause();
    void Resume();
    void Abandon();

    bool isPauseRequested() const;
    bool isAbandoned() const;
    // True while the worker sits blocked inside Checkpoint().
    bool isHeld() const;

    // Called (on the thread that abandons) once when Abandon() is first requested, e.g. to
    // make a library call that blocks in I/O give up early.
    void setAbandonHandler(std::function<void()> handler);

    // Test hook: runs on the worker at every checkpoint, before the pause test,
    // with the checkpoint's ordinal (1 for the first). Lets a test hold the
    // worker at a known item without sleeping.
    void setCheckpointHook(std::function<void(long)> hook);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool pauseRequested_ = false;
    bool abandoned_ = false;
    bool held_ = false;
    long checkpoints_ = 0;
    std::function<void()> abandonHandler_;
    std::function<void(long)> checkpointHook_;
};

}  // namespace tolvane
