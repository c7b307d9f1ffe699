// The handler only writes the signal's number into a pipe (write() is
// async-signal-safe); a thread of the watcher reads it and does the rest.
// The pipe's write end is the one piece of process-wide state: a signal
// handler can reach nothing else.
#include "app/cli/InterruptWatcher.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane::cli {

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM};

std::atomic<int> signalPipeWriteEnd{-1};

extern "C" void ForwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int fd = signalPipeWriteEnd.load();
    if (fd >= 0)
        (void)::write(fd, &byte, 1);
    errno = savedErrno;
}

// A signal ignored when the command started (a background job's SIGINT) stays ignored.
bool IsIgnored(int signalNumber)
{
    struct sigaction current {};
    return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void SetDisposition(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

const char* SignalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "a signal";
    }
}

InterruptWatcher::InterruptWatcher()
{
    if (::pipe2(pipe_, O_CLOEXEC) != 0)
        return;  // no watcher: signals keep their default effect
    signalPipeWriteEnd.store(pipe_[1]);
    watcher_ = std::thread([this] { Watch(); });
    for (int signalNumber : kWatchedSignals) {
        if (!IsIgnored(signalNumber))
            SetDisposition(signalNumber, ForwardSignal);
    }
}

InterruptWatcher::~InterruptWatcher()
{
    if (!watcher_.joinable())
        return;
    for (int signalNumber : kWatchedSignals) {
        if (!IsIgnored(signalNumber))
            SetDisposition(signalNumber, SIG_DFL);
    }
    signalPipeWriteEnd.store(-1);
    ::close(pipe_[1]);  // end of file ends the watcher's read
    watcher_.join();
    ::close(pipe_[0]);
}

void InterruptWatcher::Watch()
{
    for (;;) {
        unsigned char byte = 0;
        const ssize_t got = ::read(pipe_[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        if (signalNumber_.load() != 0)
            continue;
        // From now on a second signal ends the process the usual way.
        for (int signalNumber : kWatchedSignals) {
            if (!IsIgnored(signalNumber))
                SetDisposition(signalNumber, SIG_DFL);
        }
        std::lock_guard actionLock(actionMutex_);
        {
            std::lock_guard lock(mutex_);
            signalNumber_.store(byte);
            stopRequested_.store(true);
        }
        interrupted_.notify_all();
        if (onInterrupt_)
            onInterrupt_();
    }
}

void InterruptWatcher::setOnInterrupt(std::function<void()> action)
{
    // Waits for an action the watcher is running: once this returns, the
    // previous action is never called again and what it used may go away.
    std::lock_guard actionLock(actionMutex_);
    onInterrupt_ = std::move(action);
    if (stopRequested_.load() && onInterrupt_)
        onInterrupt_();
}

void InterruptWatcher::WaitForInterrupt()
{
    std::unique_lock lock(mutex_);
    interrupted_.wait(lock, [this] { return stopRequested_.load(); });
}

}  // namespace tolvane::cli
