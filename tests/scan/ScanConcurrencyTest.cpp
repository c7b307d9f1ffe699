// The scan worker against the window's thread: snapshots taken while the scan
// appends only ever show complete records, and Stop can hold and abandon the
// scan at a known item. Run under ThreadSanitizer as well.
#include "frontend/RecordText.h"
#include "scan/ScanEvents.h"
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

ShownScan MakeRequest(const QString& path, ItemStore& store, const ProcessTempDir& tempDir,
                      cli::HeadlessScanSink& sink, WorkerGate& gate)
{
    ShownScan scan;
    scan.request.pstPath = path;
    scan.request.store = &store;
    scan.request.tempDir = &tempDir;
    scan.request.gate = &gate;
    scan.sink = &sink;
    scan.rootNode = sink.InsertFolderNode(0, path);
    return scan;
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
    const ShownScan request = MakeRequest(path, store, tempDir, sink, gate);

    ScanOutcome outcome = ScanOutcome::OpenFailed;
    std::thread worker([&] {
        outcome = RunShownScan(request);
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
            EXPECT_GT(folder->id, 0);
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
    const ShownScan request = MakeRequest(path, store, tempDir, sink, gate);

    ScanOutcome outcome = ScanOutcome::Completed;
    std::thread worker([&] {
        outcome = RunShownScan(request);
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

// What the engine tells a follower, without any window: every folder after
// its parent, numbered in the order found, exactly the store's folders; every
// mail once, after its record is in the store.
class RecordingEvents final : public ScanEvents {
public:
    explicit RecordingEvents(const ItemStore& store) : store_(store) {}
    void MailboxOpened() override { ++opened; }
    void FolderFound(const FoundFolder& folder) override { folders.push_back(folder); }
    void MailFound(const MailRecord& record) override
    {
        ++mails;
        if (!store_.findMail(record.number))
            ++mailsNotInStore;
    }
    int opened = 0;
    std::vector<FoundFolder> folders;
    int mails = 0;
    int mailsNotInStore = 0;

private:
    const ItemStore& store_;
};

TEST(ScanEvents, FoldersComeParentFirstAndMatchTheStore)
{
    for (const char* sample : {"msgInMsg.pst", "dist-list.pst"}) {
        const QString path = SamplePath(sample);
        TOLVANE_REQUIRE_SAMPLE(path);
        ItemStore store;
        const ProcessTempDir tempDir;
        RecordingEvents events(store);
        ScanRequest request;
        request.pstPath = path;
        request.store = &store;
        request.tempDir = &tempDir;
        request.events = &events;
        const ScanResult result = RunScanDriver(request);
        EXPECT_EQ(result.outcome, ScanOutcome::Completed) << sample;
        EXPECT_EQ(events.opened, 1) << sample;
        const auto stored = store.folderNodes();
        ASSERT_EQ(events.folders.size(), stored.size()) << sample;
        ASSERT_FALSE(stored.empty()) << sample;
        for (std::size_t i = 0; i < events.folders.size(); ++i) {
            const FoundFolder& found = events.folders[i];
            EXPECT_EQ(found.id, static_cast<FolderId>(i + 1)) << sample;
            EXPECT_LT(found.parent, found.id) << sample;
            EXPECT_EQ(found.id, stored[i]->id) << sample;
            EXPECT_EQ(found.parent, stored[i]->parent) << sample;
            EXPECT_EQ(found.name, stored[i]->name) << sample;
            // The parent's own text: the file's path for a top folder, else its parent's name.
            const QString parentText = found.parent == 0 ? path : events.folders[found.parent - 1].name;
            EXPECT_EQ(stored[i]->parentText, parentText) << sample;
            EXPECT_EQ(found.depth, found.parent == 0 ? 1 : events.folders[found.parent - 1].depth + 1) << sample;
        }
        EXPECT_EQ(static_cast<std::size_t>(events.mails), store.mailCount()) << sample;
        EXPECT_EQ(events.mailsNotInStore, 0) << sample;
    }
}

}  // namespace
