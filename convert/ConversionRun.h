// One conversion from the worker's start to its end: the handles on the
// mailbox, the output folder, the manifest, the counts and the progress, and
// the steps that use them. The passes take what they need from it; what they
// only read (the format, the folders' names, a resumed run's plan) is in its
// layout, which does not change once the run has begun.
#pragma once

#include "convert/ConversionDriver.h"
#include "convert/ItemOutcomes.h"
#include "convert/output/MailFolderPlan.h"
#include "convert/output/Manifest.h"
#include "convert/read/MailboxReader.h"
#include "scan/FolderPaths.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tolvane {

class OutputTree;

// How and where the run writes: read by every pass, changed by none.
struct RunLayout {
    RunLayout(const ConversionRequest& request);

    OutputFormat format;        // how mail is written; the other items are the same in every format
    FolderPaths folders;        // folder keys as the names a user sees
    // The folders the run writes and those on the way down to them, in the
    // tree's order: the formats that show every folder, mail or not, need them.
    QStringList folderKeys;
    // Which folders are mail folders in the formats of a mail client's
    // folders, and their names there.
    MailFolderPlan mailFolders;
    // What the mailbox is called where the output names it (its file's name
    // without extension): the mbox tree's folder for it.
    QString mailboxName;
};

class ConversionRun {
public:
    // `output` is null when no output folder was made (a mailbox without
    // folders): every save then fails. `request` must outlive the run.
    ConversionRun(const ConversionRequest& request, OutputTree* output, int foldersPrepared);
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // The steps, in this order.
    // Opens the mailbox again. False when it cannot be read and the user
    // would not have what the scan kept written instead: the run has then
    // ended and the front end has been told.
    [[nodiscard]] bool OpenMailbox();
    // One more handle on the mailbox for every further worker of the mail pass.
    void OpenWorkerReaders();
    // The manifest, and for a resumed run, what it keeps and what it clears.
    void OpenManifest();
    // Every pass. False when the worker was abandoned: nothing more is
    // written or told.
    [[nodiscard]] bool RunPasses();
    // The manifest finished and the front end told how the run went.
    void Finish();

    const ConversionSummary& summary() const { return summary_; }

    // What the passes use.
    OutputTree* output() const { return output_; }
    // The first handle on the mailbox; null when the run writes from the
    // scan's records.
    MailboxReader* reader() { return reader_.isOpen() ? &reader_ : nullptr; }
    // One handle per worker of the mail pass (the first is reader()); null
    // entries compose from the records.
    std::vector<MailboxReader*> mailReaders();
    const RunLayout& layout() const { return layout_; }
    // A resumed run's plan, checked against the mailbox; null for a new run.
    const ResumePlan* resume() const { return resumeInUse_ ? resume_.get() : nullptr; }
    // Null when the run has no manifest.
    ManifestWriter* manifest() { return manifestOpen_ ? &manifest_ : nullptr; }
    // Before each item: the gate (pause, abandon, test hooks), then a stop
    // request; then the item, in the mailbox folder `folder`, counts
    // towards the progress. False ends the pass.
    [[nodiscard]] bool Checkpoint(const QString& folder);
    // Records, counts and reports into the run's summary, sink and manifest.
    [[nodiscard]] ItemOutcomes outcomes();
    // A file written but not finished: counted against the run and told.
    void ReportOutputProblem(const QString& problem);
    // Counts the top-level mail handed to the mail pass.
    void CountMailTaken() { ++summary_.mailTotal; }

private:
    bool RunPassesInOrder();
    // The walk that fed the mail pass has ended as `walked`.
    void WalkEnded(ScanOutcome walked);

    const ConversionRequest& request_;
    OutputTree* const output_;
    ConversionSummary summary_;
    const RunLayout layout_;
    MailboxReader reader_;
    std::vector<std::unique_ptr<MailboxReader>> workerReaders_;
    std::vector<MailboxReader*> mailReaders_;
    std::shared_ptr<const ResumePlan> resume_;
    bool resumeInUse_ = false;  // the plan's kept lines made it into the manifest
    ManifestWriter manifest_;
    bool manifestOpen_ = false;
    std::optional<ConversionProgress> progress_;
};

}  // namespace tolvane
