// SIGINT and SIGTERM for tolvane-cli: instead of ending the process at once,
// a signal becomes a stop request that the scan and the conversion honour at
// their next item, so the command can still print what it did and exit with
// 128 + the signal number. A second signal ends the process the usual way.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tolvane::cli {

class InterruptWatcher {
public:
    // Installs the handlers; one watcher per process at a time.
    InterruptWatcher();
    // Gives SIGINT and SIGTERM their default effect again.
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // True once a signal arrived; what the conversion's stop request points at.
    const std::atomic<bool>& stopRequested() const { return stopRequested_; }
    // The signal that arrived first, 0 while none did.
    int signalNumber() const { return signalNumber_.load(); }

    // Runs `action` on the watcher's thread when a signal arrives, or at once
    // when one already has (e.g. abandoning the scan's gate). Replaces the
    // previous action, after it has finished if it is running; an empty one
    // clears it.
    void setOnInterrupt(std::function<void()> action);

    // Blocks until a signal has arrived (lets a test hold the command at a
    // known item until it has been signalled).
    void WaitForInterrupt();

private:
    void Watch();

    int pipe_[2] = {-1, -1};
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> signalNumber_{0};
    std::mutex mutex_;  // guards the wait for a signal
    std::condition_variable interrupted_;
    std::mutex actionMutex_;  // held while the action is replaced or run
    std::function<void()> onInterrupt_;
    std::thread watcher_;
};

// "SIGINT", "SIGTERM", or "signal N".
const char* SignalName(int signalNumber);

}  // namespace tolvane::cli
