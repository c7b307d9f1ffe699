// Carries a worker's changes to the window's thread. The worker queues
// changes and never waits for the window (except for a notice it must show);
// the window applies them in order, in batches. While the worker's gate has a
// pause requested nothing is applied, so nothing visible moves while the Stop
// question is open; once discarded (Stop answered Yes) nothing the worker sends
// is ever shown.
#pragma once

#include "view/ItemListColumns.h"

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tolvane {

class WorkerGate;
class WorkerBridge;

// Lives on the window's thread beside the receiver. Workers only ever invoke
// its slot by name, so nothing a worker wrote travels through the toolkit's
// event queue: the changes themselves go through the bridge's own mutex.
class BridgeWakeup : public QObject {
    Q_OBJECT
public:
    BridgeWakeup(QObject* receiver, std::weak_ptr<WorkerBridge> bridge, int intervalMs);

public slots:
    void scheduleFlush();

private:
    std::weak_ptr<WorkerBridge> bridge_;
    const int intervalMs_;
};

class WorkerBridge : public std::enable_shared_from_this<WorkerBridge> {
public:
    using RowsApplier = std::function<void(const std::vector<ListRow>&)>;

    // receiver: the window-thread object the changes run on. gate: the worker's
    // gate. flushIntervalMs: how long changes gather before they are applied;
    // 0 applies them at the window's next turn (a worker that batches for
    // itself, such as the list fill). Create on the window's thread.
    static std::shared_ptr<WorkerBridge> Create(QObject* receiver, const WorkerGate* gate,
                                                RowsApplier applyRows = {}, int flushIntervalMs = kFlushIntervalMs);
    WorkerBridge(const WorkerGate* gate, RowsApplier applyRows);

    // Worker side.
    void Post(std::function<void()> change);
    void PostRow(ListRow row);
    // A change that only the latest of counts (the progress position). Rows
    // keep coalescing across it; it runs before the next ordinary change.
    void PostLatest(std::function<void()> change);
    // Queues the change and waits until the window has run it, or until the
    // bridge is discarded or detached.
    void PostAndWait(std::function<void()> change);

    // By default changes are applied at most this often, so a scan's rows
    // arrive in large batches.
    static constexpr int kFlushIntervalMs = 100;

    // Window side.
    void Flush();
    void Discard();   // drop what is queued and everything that follows
    void Detach();    // the receiver goes away: the same, and wake any waiter
    bool isDiscarded() const;
    // Changes queued but not applied yet (tests).
    std::size_t pendingCount() const;

private:
    struct Entry {
        std::function<void()> change;
        std::vector<ListRow> rows;
    };
    void scheduleFlushLocked();
    void queueLatestLocked();

    mutable std::mutex mutex_;
    std::condition_variable applied_;
    BridgeWakeup* wakeup_ = nullptr;  // child of the receiver; set before any worker runs
    bool attached_ = true;
    const WorkerGate* gate_;
    RowsApplier applyRows_;
    std::vector<Entry> queue_;
    std::function<void()> latest_;
    bool flushScheduled_ = false;
    bool discarded_ = false;
    quint64 appliedWaits_ = 0;
};

}  // namespace tolvane
