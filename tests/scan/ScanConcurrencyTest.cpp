// The scan worker against the window's thread: snapshots taken while the scan
// appends only ever show complete records, and Stop can hold and abandon the
// scan at a known item. Run under ThreadSanitizer as well.
#include "scan/RecordText.h"
#include "tests/scan/ScanTestSupport.h"

#include "scan/WorkerGate.h"

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

// Lets the test thread act while the worker waits at a checkpoint.
class CheckpointBaton {
public:
    // Worker side: announce the checkpoint and wait until the test lets go.
    void Arrive(long ordinal)
    {
        std::unique_lock lock(mutex_);
        arrived_ = ordinal;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ >= ordinal || closed_; });
    }
    // Test side: wait for the next checkpoint; false once the worker is done.
    bool WaitForArrival(long* ordinal)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return arrived_ > released_ || finished_; });
        if (arrived_ <= released_)
            return false;
        *ordinal = arrived_;
        return true;
    }
    void Release(long ordinal)
    {
        std::lock_guard lock(mutex_);
        released_ = ordinal;
        changed_.notify_all();
    }
    void Finish()
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    void Close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    long arrived_ = 0;
    long released_ = 0;
    bool finished_ = false;
    bool closed_ = false;
};

ScanRequest MakeRequest(const QString& path, ItemStore& store, const ProcessTempDir& tempDir,
                        cli::HeadlessScanSink& sink, WorkerGate& gate)
{
    ScanRequest request;
    request.pstPath = path;
    request.store = &store;
    request.tempDir = &tempDir;
    request.sink = &sink;
    request.gate = &gate;
    request.rootNode = sink.InsertFolderNode(0, path);
    return request;
}

TEST(ScanConcurrency, SnapshotsDuringTheScanHoldOnlyCompleteRecords)
{
    const QString path = SamplePath("dist-list.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    WorkerGate gate;
    CheckpointBaton baton;
    gate.setCheckpointHook([&](long ordinal) { baton.Arrive(ordinal); });
    const ScanRequest request = MakeRequest(path, store, tempDir, sink, gate);

    ScanOutcome outcome = ScanOutcome::OpenFailed;
    std::thread worker([&] {
        outcome = RunScanDriver(request);
        baton.Finish();
    });

    std::size_t lastFolders = 0;
    std::size_t lastItems = 0;
    long ordinal = 0;
    int checkpoints = 0;
    while (baton.WaitForArrival(&ordinal)) {
        ++checkpoints;
        const auto folders = store.folderNodes();
        const auto contacts = store.contactRecords();
        const auto appointments = store.appointmentRecords();
        for (const auto& folder : folders) {
            EXPECT_FALSE(folder->name.isEmpty());
            EXPECT_NE(folder->item, 0u);
        }
        for (const auto& contact : contacts)
            EXPECT_GT(contact->number, 0);
        for (const auto& appointment : appointments) {
            EXPECT_GT(appointment->number, 0);
            EXPECT_EQ(RecordText::SubjectPlaceholder(*appointment), QStringLiteral("None"));
        }
        EXPECT_GE(folders.size(), lastFolders);
        EXPECT_GE(contacts.size() + appointments.size(), lastItems);
        lastFolders = folders.size();
        lastItems = contacts.size() + appointments.size();
        baton.Release(ordinal);
        // Read again while the worker runs on to its next checkpoint.
        EXPECT_GE(store.folderNodeCount(), lastFolders);
        EXPECT_FALSE(store.IsListedNode(0));
    }
    worker.join();
    EXPECT_EQ(outcome, ScanOutcome::Completed);
    EXPECT_GT(checkpoints, 20);
    EXPECT_EQ(store.folderNodeCount(), 23u);
}

TEST(ScanConcurrency, StopHoldsTheScanAndAbandonEndsItSilently)
{
    const QString path = SamplePath("dist-list.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    WorkerGate gate;
    CheckpointBaton baton;
    gate.setCheckpointHook([&](long ordinal) { baton.Arrive(ordinal); });
    const ScanRequest request = MakeRequest(path, store, tempDir, sink, gate);

    ScanOutcome outcome = ScanOutcome::Completed;
    std::thread worker([&] {
        outcome = RunScanDriver(request);
        baton.Finish();
    });

    long ordinal = 0;
    // Let the scan reach its tenth item, then press Stop there.
    while (baton.WaitForArrival(&ordinal) && ordinal < 10)
        baton.Release(ordinal);
    ASSERT_EQ(ordinal, 10);
    const std::size_t foldersAtStop = store.folderNodeCount();
    EXPECT_GT(foldersAtStop, 0u);
    gate.RequestPause();
    baton.Release(ordinal);
    // The worker now stays inside the checkpoint: the window may clear the records.
    store.ClearItemRecords();
    gate.Abandon();
    baton.Close();
    worker.join();

    EXPECT_EQ(outcome, ScanOutcome::Abandoned);
    EXPECT_TRUE(sink.notices().isEmpty());
    EXPECT_EQ(store.folderNodeCount(), 0u);
    EXPECT_EQ(store.contactCount() + store.appointmentCount() + store.mailCount(), 0u);
}

TEST(ScanConcurrency, TreeBuildingOffAddsNoFolderNodesButAllRecords)
{
    const QString path = SamplePath("msgInMsg.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    WorkerGate gate;
    ScanRequest request = MakeRequest(path, store, tempDir, sink, gate);
    request.buildTree = false;
    EXPECT_EQ(RunScanDriver(request), ScanOutcome::Completed);
    EXPECT_EQ(store.folderNodeCount(), 0u);
    EXPECT_TRUE(sink.Children(request.rootNode).isEmpty());
    EXPECT_EQ(store.mailCount(), 2u);
}

}  // namespace
