// Worker-to-window hand-over with pause hold and discard.
#include "view/WorkerBridge.h"

#include "scan/WorkerGate.h"

#include <QMetaObject>
#include <QTimer>

namespace tolvane {

BridgeWakeup::BridgeWakeup(QObject* receiver, std::weak_ptr<WorkerBridge> bridge, int intervalMs)
    : QObject(receiver)
    , bridge_(std::move(bridge))
    , intervalMs_(intervalMs)
{
}

void BridgeWakeup::scheduleFlush()
{
    QTimer::singleShot(intervalMs_, this, [this] {
        if (auto bridge = bridge_.lock())
            bridge->Flush();
        else
            deleteLater();
    });
}

std::shared_ptr<WorkerBridge> WorkerBridge::Create(QObject* receiver, const WorkerGate* gate, RowsApplier applyRows,
                                                   int flushIntervalMs)
{
    auto bridge = std::make_shared<WorkerBridge>(gate, std::move(applyRows));
    bridge->wakeup_ = new BridgeWakeup(receiver, bridge, flushIntervalMs);
    return bridge;
}

WorkerBridge::WorkerBridge(const WorkerGate* gate, RowsApplier applyRows)
    : gate_(gate)
    , applyRows_(std::move(applyRows))
{
}

void WorkerBridge::scheduleFlushLocked()
{
    if (flushScheduled_ || !attached_)
        return;
    flushScheduled_ = true;
    // By name and without arguments: the toolkit carries no data of ours.
    QMetaObject::invokeMethod(wakeup_, "scheduleFlush", Qt::QueuedConnection);
}

void WorkerBridge::queueLatestLocked()
{
    if (latest_)
        queue_.push_back(Entry{std::move(latest_), {}});
    latest_ = nullptr;
}

void WorkerBridge::PostLatest(std::function<void()> change)
{
    std::lock_guard lock(mutex_);
    if (discarded_)
        return;
    latest_ = std::move(change);
    scheduleFlushLocked();
}

void WorkerBridge::Post(std::function<void()> change)
{
    std::lock_guard lock(mutex_);
    if (discarded_)
        return;
    queueLatestLocked();
    queue_.push_back(Entry{std::move(change), {}});
    scheduleFlushLocked();
}

void WorkerBridge::PostRow(ListRow row)
{
    std::lock_guard lock(mutex_);
    if (discarded_)
        return;
    if (queue_.empty() || queue_.back().change)
        queue_.push_back(Entry{});
    queue_.back().rows.push_back(std::move(row));
    scheduleFlushLocked();
}

void WorkerBridge::PostAndWait(std::function<void()> change)
{
    std::unique_lock lock(mutex_);
    if (discarded_)
        return;
    bool done = false;
    auto wrapped = [this, &done, change = std::move(change)] {
        change();
        std::lock_guard inner(mutex_);
        done = true;
        ++appliedWaits_;
        applied_.notify_all();
    };
    queueLatestLocked();
    queue_.push_back(Entry{std::move(wrapped), {}});
    scheduleFlushLocked();
    applied_.wait(lock, [&] { return done || discarded_; });
}

void WorkerBridge::Flush()
{
    std::vector<Entry> entries;
    {
        std::lock_guard lock(mutex_);
        flushScheduled_ = false;
        if (discarded_ || (gate_ && gate_->isPauseRequested()))
            return;  // held back; Resume is followed by another Flush
        queueLatestLocked();
        entries.swap(queue_);
    }
    for (Entry& entry : entries) {
        {
            std::lock_guard lock(mutex_);
            if (discarded_)
                return;
        }
        if (entry.change)
            entry.change();
        else if (applyRows_)
            applyRows_(entry.rows);
    }
}

void WorkerBridge::Discard()
{
    std::lock_guard lock(mutex_);
    discarded_ = true;
    queue_.clear();
    latest_ = nullptr;
    applied_.notify_all();
}

void WorkerBridge::Detach()
{
    std::lock_guard lock(mutex_);
    discarded_ = true;
    attached_ = false;
    queue_.clear();
    latest_ = nullptr;
    applied_.notify_all();
}

bool WorkerBridge::isDiscarded() const
{
    std::lock_guard lock(mutex_);
    return discarded_;
}

std::size_t WorkerBridge::pendingCount() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace tolvane
