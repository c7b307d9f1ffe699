// The conversion run's steps: the mailbox opened again, one handle per
// worker, the manifest (continued for a resumed run), the passes, and the
// ending told to the front end.
#include "convert/ConversionRun.h"

#include "convert/ConversionProgress.h"
#include "convert/MailFeed.h"
#include "convert/MessagePreparer.h"
#include "convert/MessageWriter.h"
#include "convert/SelectedRecords.h"
#include "convert/WalkAlongside.h"
#include "convert/output/OutputTree.h"
#include "convert/output/ResumePlan.h"
#include "scan/WorkerGate.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <thread>

#include <sched.h>

namespace tolvane {

namespace {

// What all the mail pass's handles on the mailbox may take together, and
// what one is reckoned to take: libpff holds the mailbox's item index in
// each handle, a few hundred bytes per item (about 35 MB for a hundred
// thousand), on top of its caches. The count of handles follows from the
// mailbox's size alone, so it is the same on every run and machine of as
// many cores, whatever else the process holds at the time.
constexpr std::int64_t kReaderHandlesBudget = 320LL * 1024 * 1024;
constexpr std::int64_t kHandleBaseBytes = 4LL * 1024 * 1024;
constexpr std::int64_t kHandleBytesPerItem = 400;

// The cores this process may run on (taskset, cgroup cpusets), not the machine's.
int UsableCores()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0)
        return std::max(CPU_COUNT(&cores), 1);
    return std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
}

// One handle per worker: one per usable core, as many as the budget holds
// beside the `otherHandles` the conversion holds anyway (a walk of the items).
int ReaderHandlesFor(int cores, std::int64_t items, int otherHandles)
{
    const std::int64_t perHandle = kHandleBaseBytes + kHandleBytesPerItem * items;
    return static_cast<int>(std::clamp<std::int64_t>(kReaderHandlesBudget / perHandle - otherHandles, 1,
                                                     MessagePreparer::WorkersFor(cores)));
}

// The items of a finished scan, or the count of a walk of the folders alone.
std::int64_t ItemsOf(const ItemStore& store)
{
    std::int64_t items = static_cast<std::int64_t>(store.mailCount() + store.contactCount()
                                                   + store.appointmentCount() + store.otherItemCount());
    for (const auto& folder : store.folderNodes())
        items += folder->listedItems;
    return items;
}

// What the passes will go through, for the progress: the items of a finished
// scan, or the folders' own counts until the walk has ended.
std::int64_t ItemsToGoThrough(const ConversionRequest& request)
{
    const FolderSelection& selected = request.selectedFolders;
    if (request.itemWalk) {
        std::int64_t listed = 0;
        for (const auto& folder : SelectedFolders(request.store->folderNodes(), selected)) {
            if (selected.Takes(FolderKeyOf(*folder)))
                listed += folder->listedItems;
        }
        return listed;
    }
    const RecordList<MailRecord> mail = Selected(request.store->mailRecords(), selected);
    const auto topLevelMail =
        std::count_if(mail.begin(), mail.end(), [](const auto& record) { return !record->location.isEmbedded(); });
    return static_cast<std::int64_t>(Selected(request.store->contactRecords(), selected).size()
                                     + Selected(request.store->otherItems(), selected).size()
                                     + Selected(request.store->appointmentRecords(), selected).size())
           + topLevelMail;
}

// Lists in the manifest what the walk could not read, or found to hold
// nothing to convert: not written either.
void ListNotWritten(ManifestWriter& manifest, const ItemStore& records)
{
    const auto list = [&manifest](const QStringList& items, const QString& kind, const QString& why) {
        for (const QString& item : items) {
            ManifestEntry entry;
            entry.kind = kind;
            entry.subject = item;
            entry.failure = why;
            manifest.Add(std::move(entry));
        }
    };
    list(records.skippedItems(), QStringLiteral("unreadable item"), QStringLiteral("the scan could not read it"));
    list(records.notConvertedItems(), QStringLiteral("item not converted"),
         QStringLiteral("its kind holds no mail, contact or calendar item"));
}

// Why a walk of the items that ended early did, in the notice's words.
QString WalkFailureText(ScanOutcome outcome)
{
    switch (outcome) {
    case ScanOutcome::Completed:
    case ScanOutcome::Abandoned:
        return QString();
    case ScanOutcome::NotPst:
    case ScanOutcome::OpenFailed:
        return QStringLiteral("the mailbox could not be opened again");
    case ScanOutcome::NoResources:
        return QStringLiteral("not enough memory to open the mailbox again");
    case ScanOutcome::ScanFailed:
        break;
    }
    return QStringLiteral("the list of its folders could not be read");
}

}  // namespace

RunLayout::RunLayout(const ConversionRequest& request)
    : format(request.format),
      folders(request.store->folderNodes()),
      mailFolders(request.store->folderNodes(), folders, request.store->storeFolders(), request.selectedFolders),
      mailboxName(QFileInfo(request.pstPath).completeBaseName())
{
    for (const auto& node : SelectedFolders(request.store->folderNodes(), request.selectedFolders))
        folderKeys << FolderKeyOf(*node);
}

ConversionRun::ConversionRun(const ConversionRequest& request, OutputTree* output, int foldersPrepared)
    : request_(request), output_(output), layout_(request)
{
    summary_.outputRoot = output != nullptr ? output->rootPath() : QString();
    summary_.foldersPrepared = foldersPrepared;
}

ConversionRun::~ConversionRun() = default;

bool ConversionRun::OpenMailbox()
{
    const auto opened =
        reader_.Open(request_.pstPath, request_.store->mailboxIdentity(), request_.deletedItemSearchHook);
    if (opened)
        return true;
    // Never a silent fallback: without the mailbox, files would lack
    // attachments, addresses and headers. The user decides.
    summary_.Add(RunProblem::Kind::MailboxUnreadable, opened.error().reason);
    summary_.memoryShort = opened.error().outOfMemory;
    if (request_.sink->WriteFromScanRecords(opened.error().reason))
        return true;
    request_.sink->ShowCompletion(summary_);
    request_.sink->ConversionFinished(summary_);
    return false;
}

void ConversionRun::OpenWorkerReaders()
{
    // As far as the handles' budget allows. One that cannot be opened
    // (descriptors or memory short) just means fewer workers; without the
    // mailbox, as many workers compose from the records.
    const int workers = request_.workers > 0
                            ? request_.workers
                            : ReaderHandlesFor(UsableCores(), ItemsOf(*request_.store), request_.itemWalk ? 1 : 0);
    mailReaders_.assign(1, reader());
    for (int worker = 1; worker < workers; ++worker) {
        if (!reader_.isOpen()) {
            mailReaders_.push_back(nullptr);
            continue;
        }
        auto another = std::make_unique<MailboxReader>();
        if (!another->OpenAlongside(request_.pstPath, reader_))
            break;
        mailReaders_.push_back(another.get());
        workerReaders_.push_back(std::move(another));
    }
}

std::vector<MailboxReader*> ConversionRun::mailReaders()
{
    return mailReaders_.empty() ? std::vector<MailboxReader*>{reader()} : mailReaders_;
}

void ConversionRun::OpenManifest()
{
    // A stopped run's mail is kept only where its item is still the one
    // it was written from.
    if (request_.resume)
        resume_ = std::make_shared<const ResumePlan>(request_.resume->CheckedAgainst(
            [this](uint32_t identifier) { return reader_.FingerprintOf(identifier); }));
    if (output_ == nullptr)
        return;
    ManifestHeader header;
    header.format = request_.format;
    header.input = resume_ ? std::optional<InputIdentity>(resume_->input()) : IdentityOfFile(request_.pstPath);
    header.choices = OutputChoices::Of(request_.selectedFolders, layout_.folders,
                                       request_.store->recoveryReport().has_value(), request_.fromRecords);
    const WriteStep opened = resume_ ? manifest_.OpenReplacing(*output_, header, resume_->keptLines())
                                     : manifest_.Open(*output_, header);
    manifestOpen_ = opened.has_value();
    if (!opened) {
        summary_.Add(RunProblem::Kind::ManifestIncomplete, opened.error().reason);
        request_.sink->ReportProblem(QStringLiteral("no manifest: ") + opened.error().reason);
        return;
    }
    if (!resume_)
        return;
    // Only once the new manifest lists what is kept: what the stopped run
    // left beside it goes, to be written again.
    resumeInUse_ = true;
    for (const QString& leftover : resume_->unaccounted()) {
        if (const WriteStep removed = output_->RemoveBelowRoot(leftover); !removed)
            ReportOutputProblem(removed.error().reason);
    }
}

bool ConversionRun::Checkpoint(const QString& folder)
{
    if (request_.gate != nullptr && !request_.gate->Checkpoint())
        return false;
    if (request_.stopRequested != nullptr && request_.stopRequested->load()) {
        summary_.interrupted = true;
        return false;
    }
    if (progress_)
        progress_->ItemTaken(folder);
    return true;
}

ItemOutcomes ConversionRun::outcomes()
{
    return ItemOutcomes(summary_, *request_.sink, manifest(), &layout_.folders);
}

void ConversionRun::ReportOutputProblem(const QString& problem)
{
    summary_.Add(RunProblem::Kind::FileUnfinished, problem);
    request_.sink->ReportProblem(problem);
}

bool ConversionRun::RunPasses()
{
    bool ended = false;
    try {
        progress_.emplace(request_.sink, ItemsToGoThrough(request_));
        ended = RunPassesInOrder();
        if (ended && !summary_.interrupted)
            progress_->Finish();
    } catch (const std::bad_alloc&) {
        // A library's allocation failed outside the preparer's own checks:
        // everything counted so far stands; the rest was not written.
        summary_.outOfMemory = true;
        summary_.memoryShort = true;
        ended = true;
    }
    progress_.reset();
    if (!ended && !summary_.interrupted) {
        summary_.abandoned = true;
        return false;
    }
    return true;
}

void ConversionRun::WalkEnded(ScanOutcome walked)
{
    if (walked == ScanOutcome::Abandoned && request_.stopRequested != nullptr && request_.stopRequested->load())
        summary_.interrupted = true;
    summary_.memoryShort = summary_.memoryShort || walked == ScanOutcome::NoResources;
    const QString failure = WalkFailureText(walked);
    if (failure.isEmpty())
        return;
    summary_.Add(RunProblem::Kind::WalkEnded, failure);
    request_.sink->ReportProblem(QStringLiteral("the mailbox could not be read to its end: ") + failure);
}

// Mail first, as the walk finds it (a finished scan's all at once), then,
// once every item is known, contacts, lists and the calendar items. False
// when the worker was abandoned or stopped early.
bool ConversionRun::RunPassesInOrder()
{
    const FolderSelection& selected = request_.selectedFolders;
    std::optional<MailFeed> feed;
    std::optional<WalkAlongside> walk;
    if (request_.itemWalk) {
        feed.emplace();
        walk.emplace(*request_.itemWalk, selected, *feed);
    } else {
        RecordList<MailRecord> topLevel = Selected(request_.store->mailRecords(), selected);
        std::erase_if(topLevel, [](const auto& record) { return record->location.isEmbedded(); });
        feed.emplace(std::move(topLevel));
    }
    const bool mailWritten = WriteMailFiles(*feed, *this);
    // The rest needs every item: the walk must have ended.
    if (walk) {
        if (!mailWritten)
            walk->Abandon();
        WalkEnded(walk->Finish());
    }
    const ItemStore& records = request_.itemWalk ? *request_.itemWalk->store : *request_.store;
    bool ended = mailWritten && !summary_.interrupted;
    if (ended) {
        const RecordList<ContactRecord> contacts = Selected(records.contactRecords(), selected);
        const RecordList<OtherItemEntry> others = Selected(records.otherItems(), selected);
        const RecordList<AppointmentRecord> appointments = Selected(records.appointmentRecords(), selected);
        progress_->SetTotal(static_cast<std::int64_t>(summary_.mailTotal + contacts.size() + others.size()
                                                      + appointments.size()));
        ended = WriteContactItems(contacts, *this) && WriteDistributionLists(others, contacts, *this)
                && WriteCalendarFiles(appointments, others, *this);
    }
    // Last, once the walk has seen everything it could not read; nothing
    // more once the user abandoned the run.
    if (output_ != nullptr && (ended || summary_.interrupted))
        ListNotWritten(manifest_, records);
    return ended;
}

void ConversionRun::Finish()
{
    // What a run that ended early did not reach is in no line; the summary
    // says it ended early so that nobody takes the list for all there is.
    if (summary_.outOfMemory)
        manifest_.MarkStopped(
            QStringLiteral("the system ran out of memory; the items after the last one listed were not written"));
    else if (summary_.interrupted)
        manifest_.MarkStopped(QStringLiteral("interrupted; the items after the last one listed were not written"));
    else if (summary_.Has(RunProblem::Kind::WalkEnded))
        manifest_.MarkStopped(QStringLiteral("the mailbox could not be read to its end (%1); the items after the "
                                             "last one listed were not written")
                                  .arg(summary_.ReasonOf(RunProblem::Kind::WalkEnded)));
    manifest_.Finish();
    if (!manifest_.failure().isEmpty() && !summary_.Has(RunProblem::Kind::ManifestIncomplete)) {
        summary_.Add(RunProblem::Kind::ManifestIncomplete, manifest_.failure());
        request_.sink->ReportProblem(QStringLiteral("the manifest is incomplete: ") + manifest_.failure());
    }
    request_.sink->ShowCompletion(summary_);
    request_.sink->ConversionFinished(summary_);
}

}  // namespace tolvane
