// The scan engine's events and result shown through a front end's ScanSink.
#include "frontend/ScanSink.h"

#include "scan/ItemStore.h"
#include "frontend/RecoveryText.h"
#include "scan/ScanEvents.h"

#include <cstdlib>
#include <vector>

namespace tolvane {

namespace {

// Turns the engine's events into the sink's calls: folder identifiers become
// the sink's tree nodes, places become the words every front end shows.
class SinkEvents final : public ScanEvents {
public:
    SinkEvents(ScanSink& sink, TreeNodeId rootNode, ScanEvents* alsoTell) : sink_(sink), alsoTell_(alsoTell)
    {
        nodes_.push_back(rootNode);
    }

    void MailboxOpened() override
    {
        sink_.CloseWaitWindow();
        if (alsoTell_ != nullptr)
            alsoTell_->MailboxOpened();
    }
    void FolderFound(const FoundFolder& folder) override
    {
        const TreeNodeId parent = folder.parent >= 0 && static_cast<size_t>(folder.parent) < nodes_.size()
                                      ? nodes_[static_cast<size_t>(folder.parent)]
                                      : nodes_.front();
        const TreeNodeId node = sink_.InsertFolderNode(parent, folder.name);
        sink_.SetFolderKey(node, folder.key);
        if (static_cast<size_t>(folder.id) >= nodes_.size())
            nodes_.resize(static_cast<size_t>(folder.id) + 1, nodes_.front());
        nodes_[static_cast<size_t>(folder.id)] = node;
        if (alsoTell_ != nullptr)
            alsoTell_->FolderFound(folder);
    }
    void MailFound(const MailRecord& record) override
    {
        sink_.InsertMailRow(record);
        if (alsoTell_ != nullptr)
            alsoTell_->MailFound(record);
    }
    void ItemUnreadable(const UnreadableItem& item) override
    {
        sink_.ItemSkipped(item.place(), item.reason);
        if (alsoTell_ != nullptr)
            alsoTell_->ItemUnreadable(item);
    }
    void Progress(int position) override
    {
        sink_.SetProgress(position);
        if (alsoTell_ != nullptr)
            alsoTell_->Progress(position);
    }
    void ResourcesExhausted() override
    {
        sink_.ShowNotice(QString::fromLatin1(kScanNotEnoughMemoryNotice));
        if (alsoTell_ != nullptr)
            alsoTell_->ResourcesExhausted();
    }

private:
    ScanSink& sink_;
    ScanEvents* alsoTell_;
    std::vector<TreeNodeId> nodes_;  // by folder identifier; [0] the file's own node
};

void ShowOpenFailure(ScanSink& sink, const char* notice, const QString& reason)
{
    sink.CloseWaitWindow();
    sink.ShowOpenFailure(QString::fromLatin1(notice), reason);
    sink.RunBrowseProcedure();
}

}  // namespace

ScanOutcome RunShownScan(const ShownScan& scan)
{
    ScanSink& sink = *scan.sink;
    sink.DisableScanButton();
    sink.ShowWaitWindow();
    SinkEvents events(sink, scan.rootNode, scan.alsoTell);
    ScanRequest request = scan.request;
    request.events = &events;
    const ScanResult result = RunScanDriver(request);
    // The scan lost items for want of memory: the events have shown the
    // notice; the process ends and says so in its exit status.
    if (result.failure == ScanFailure::ResourcesExhausted)
        std::_Exit(kOutOfMemoryExitStatus);
    if (scan.result != nullptr)
        *scan.result = result;
    switch (result.outcome) {
    case ScanOutcome::Abandoned:
        break;
    case ScanOutcome::NoResources:
        ShowOpenFailure(sink, kScanNotEnoughMemoryNotice, result.reason);
        break;
    case ScanOutcome::NotPst:
        sink.ShowNotice(QString::fromLatin1(kScanNotPstNotice));
        ShowOpenFailure(sink, kScanOpenFailedNotice, result.reason);
        break;
    case ScanOutcome::OpenFailed:
        ShowOpenFailure(sink, kScanOpenFailedNotice, result.reason);
        break;
    case ScanOutcome::ScanFailed:
        if (result.failure == ScanFailure::TemporaryDirectoryRefused) {
            sink.CloseWaitWindow();
            sink.ShowNotice(QString::fromLatin1(kScanFailedNotice)
                            + QStringLiteral("\n\nThe private temporary directory cannot be used: ") + result.reason);
        } else {
            sink.ShowNotice(QString::fromLatin1(kScanFailedNotice));
        }
        sink.RunBrowseProcedure();
        break;
    case ScanOutcome::Completed: {
        QString completed = QString::fromLatin1(kScanCompletedNotice);
        if (request.recover) {
            if (const auto report = request.store->recoveryReport())
                completed += QStringLiteral("\n\n") + RecoverySummaryLines(*report).join(u'\n');
        }
        sink.ShowNotice(completed);
        sink.ScanSucceeded();
        break;
    }
    }
    return result.outcome;
}

}  // namespace tolvane
