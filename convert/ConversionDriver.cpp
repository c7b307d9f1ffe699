// The conversion driver: destination checks, the run's own output folder,
// the clean-up of earlier runs' leftovers, and the worker thread with its
// one-at-a-time rule.
#include "convert/ConversionDriver.h"
#include "base/NativePath.h"

#include "convert/ConversionProgress.h"
#include "convert/MailFeed.h"
#include "convert/WalkAlongside.h"
#include "convert/read/MailboxReader.h"
#include "convert/output/Manifest.h"
#include "convert/MessagePreparer.h"
#include "convert/MessageWriter.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/PartialFileSweeper.h"
#include "convert/output/MailFolderPlan.h"
#include "scan/FolderPaths.h"
#include "scan/WorkerGate.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include <sched.h>
#include <unistd.h>

namespace tolvane {

DestinationCheck CheckDestination(const QString& destinationPath)
{
    if (destinationPath.isEmpty())
        return DestinationCheck::Empty;
    // A plain file can hold no output folder: refused like a missing path.
    if (!IsDirectory(destinationPath))
        return DestinationCheck::Missing;
    return DestinationCheck::Accepted;
}

QString OutputFolderName(const QDateTime& localTime)
{
    const QDate day = localTime.date();
    const QTime time = localTime.time();
    return QStringLiteral("Vorsk-Recovery-%1-%2-%3 %4-%5")
        .arg(day.day())
        .arg(day.month())
        .arg(day.year())
        .arg(time.hour())
        .arg(time.minute());
}

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

}  // namespace

namespace {

// The records of the selected folders and the folders below them; all of
// them when none is selected.
template <typename Record>
RecordList<Record> Selected(RecordList<Record> records, const FolderSelection& selected)
{
    if (selected.takesEverything())
        return records;
    std::erase_if(records, [&](const std::shared_ptr<const Record>& record) {
        return !selected.Takes(record->folderKey);
    });
    return records;
}

// The folder nodes to make directories for: the selected folders, those
// below them, and those on the way down to them.
RecordList<FolderNode> SelectedFolders(RecordList<FolderNode> nodes, const FolderSelection& selected)
{
    if (selected.takesEverything())
        return nodes;
    std::erase_if(nodes, [&](const std::shared_ptr<const FolderNode>& node) {
        return !selected.Reaches(FolderKeyOf(*node));
    });
    return nodes;
}

}  // namespace

namespace {

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

// The passes: mail first, as the walk finds it (a finished scan's all at
// once), then, once every item is known, contacts, lists and the calendar
// items. Returns false when the worker was abandoned or stopped early.
bool RunPasses(const ConversionRequest& request, WriterContext& context, ConversionSummary& summary,
               ConversionProgress& progress, ManifestWriter* manifest)
{
    const FolderSelection& selected = request.selectedFolders;
    std::optional<MailFeed> feed;
    std::optional<WalkAlongside> walk;
    if (request.itemWalk) {
        feed.emplace();
        walk.emplace(*request.itemWalk, selected, *feed);
    } else {
        RecordList<MailRecord> topLevel = Selected(request.store->mailRecords(), selected);
        std::erase_if(topLevel, [](const auto& record) { return record->location.isEmbedded(); });
        feed.emplace(std::move(topLevel));
    }
    const bool mailWritten = WriteMailFiles(*feed, context);
    // The rest needs every item: the walk must have ended.
    if (walk) {
        if (!mailWritten)
            walk->Abandon();
        const ScanOutcome walked = walk->Finish();
        if (walked == ScanOutcome::Abandoned && request.stopRequested != nullptr && request.stopRequested->load())
            summary.interrupted = true;
        summary.walkFailure = WalkFailureText(walked);
        summary.memoryShort = summary.memoryShort || walked == ScanOutcome::NoResources;
        if (!summary.walkFailure.isEmpty())
            request.sink->ReportProblem(QStringLiteral("the mailbox could not be read to its end: ")
                                        + summary.walkFailure);
    }
    const ItemStore& records = request.itemWalk ? *request.itemWalk->store : *request.store;
    bool ended = mailWritten && !summary.interrupted;
    if (ended) {
        const RecordList<ContactRecord> contacts = Selected(records.contactRecords(), selected);
        const RecordList<OtherItemEntry> others = Selected(records.otherItems(), selected);
        const RecordList<AppointmentRecord> appointments = Selected(records.appointmentRecords(), selected);
        progress.SetTotal(static_cast<std::int64_t>(summary.mailTotal + contacts.size() + others.size()
                                                    + appointments.size()));
        ended = WriteContactItems(contacts, context) && WriteDistributionLists(others, contacts, context)
                && WriteCalendarFiles(appointments, others, context);
    }
    // Last, once the walk has seen everything it could not read; nothing
    // more once the user abandoned the run.
    if (manifest != nullptr && (ended || summary.interrupted))
        ListNotWritten(*manifest, records);
    return ended;
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

}  // namespace


ConversionSummary RunConversionWorker(const ConversionRequest& request, OutputTree* output, int foldersPrepared)
{
    ConversionSummary summary;
    summary.outputRoot = output != nullptr ? output->rootPath() : QString();
    summary.foldersPrepared = foldersPrepared;
    // Temporaries of earlier runs that were killed outright; never those of a running one.
    RemoveLeftoverPartials(request.destinationPath);
    MailboxReader reader;
    const auto opened = reader.Open(request.pstPath, request.store->mailboxIdentity(), request.deletedItemSearchHook);
    if (!opened) {
        // Never a silent fallback: without the mailbox, files would lack
        // attachments, addresses and headers. The user decides.
        summary.mailboxFailure = opened.error().reason;
        summary.memoryShort = opened.error().outOfMemory;
        if (!request.sink->WriteFromScanRecords(opened.error().reason)) {
            request.sink->ShowCompletion(summary);
            request.sink->ConversionFinished(summary);
            return summary;
        }
    }
    // One more handle on the mailbox for every further worker, as far as the
    // handles' budget allows. One that cannot be opened (descriptors or
    // memory short) just means fewer workers.
    const int workers = request.workers > 0
                            ? request.workers
                            : ReaderHandlesFor(UsableCores(), ItemsOf(*request.store), request.itemWalk ? 1 : 0);
    std::vector<std::unique_ptr<MailboxReader>> moreReaders;
    WriterContext context;
    for (int worker = 1; worker < workers; ++worker) {
        if (!reader.isOpen()) {
            context.moreReaders.push_back(nullptr);
            continue;
        }
        auto another = std::make_unique<MailboxReader>();
        if (!another->OpenAlongside(request.pstPath, reader))
            break;
        context.moreReaders.push_back(another.get());
        moreReaders.push_back(std::move(another));
    }
    context.output = output;
    context.stopRequested = request.stopRequested;
    context.reader = reader.isOpen() ? &reader : nullptr;
    context.sink = request.sink;
    context.gate = request.gate;
    context.summary = &summary;

    context.format = request.format;
    const FolderPaths folders(request.store->folderNodes());
    context.folders = &folders;
    const MailFolderPlan mailFolders(request.store->folderNodes(), folders, request.store->storeFolders(),
                                     request.selectedFolders);
    context.mailFolders = &mailFolders;
    context.mailboxName = QFileInfo(request.pstPath).completeBaseName();
    for (const auto& node : SelectedFolders(request.store->folderNodes(), request.selectedFolders))
        context.folderKeys << FolderKeyOf(*node);
    // A stopped run's mail is kept only where its item is still the one
    // it was written from.
    std::shared_ptr<const ResumePlan> resume;
    if (request.resume)
        resume = std::make_shared<const ResumePlan>(request.resume->CheckedAgainst(
            [&reader](uint32_t identifier) { return reader.FingerprintOf(identifier); }));
    ManifestWriter manifest;
    if (output != nullptr) {
        ManifestHeader header;
        header.format = request.format;
        header.input = resume ? std::optional<InputIdentity>(resume->input()) : IdentityOfFile(request.pstPath);
        header.choices = OutputChoices::Of(request.selectedFolders, folders,
                                           request.store->recoveryReport().has_value(), request.fromRecords);
        const WriteStep opened = resume ? manifest.OpenReplacing(*output, header, resume->keptLines())
                                        : manifest.Open(*output, header);
        if (opened)
            context.manifest = &manifest;
        else {
            summary.manifestFailure = opened.error().reason;
            request.sink->ReportProblem(QStringLiteral("no manifest: ") + opened.error().reason);
        }
        // Only once the new manifest lists what is kept: what the stopped
        // run left beside it goes, to be written again.
        if (opened && resume) {
            context.resume = resume.get();
            for (const QString& leftover : resume->unaccounted()) {
                if (const WriteStep removed = output->RemoveBelowRoot(leftover); !removed) {
                    summary.outputProblems << removed.error().reason;
                    request.sink->ReportProblem(removed.error().reason);
                }
            }
        }
    }

    bool passesEnded = false;
    try {
        ConversionProgress progress(request.sink, ItemsToGoThrough(request));
        context.progress = &progress;
        passesEnded = RunPasses(request, context, summary, progress, output != nullptr ? &manifest : nullptr);
        if (passesEnded && !summary.interrupted)
            progress.Finish();
        context.progress = nullptr;
    } catch (const std::bad_alloc&) {
        // Everything counted so far stands; the rest was not written.
        summary.outOfMemory = true;
        summary.memoryShort = true;
        passesEnded = true;
    }
    if (!passesEnded && !summary.interrupted) {
        summary.abandoned = true;
        return summary;
    }
    // What a run that ended early did not reach is in no line; the summary
    // says it ended early so that nobody takes the list for all there is.
    if (summary.outOfMemory)
        manifest.MarkStopped(QStringLiteral("the system ran out of memory; the items after the last one listed were not written"));
    else if (summary.interrupted)
        manifest.MarkStopped(QStringLiteral("interrupted; the items after the last one listed were not written"));
    else if (!summary.walkFailure.isEmpty())
        manifest.MarkStopped(QStringLiteral("the mailbox could not be read to its end (%1); the items after the "
                                            "last one listed were not written")
                                 .arg(summary.walkFailure));
    manifest.Finish();
    if (!manifest.failure().isEmpty() && summary.manifestFailure.isEmpty()) {
        summary.manifestFailure = manifest.failure();
        request.sink->ReportProblem(QStringLiteral("the manifest is incomplete: ") + manifest.failure());
    }
    request.sink->ShowCompletion(summary);
    request.sink->ConversionFinished(summary);
    return summary;
}

// The worker is a joined std::thread, not a QThread: Wait() and the driver's
// end return only once the thread has gone altogether. A QThread is detached
// underneath and still ending when wait() returns, so a caller that forks
// right away (the tests start checkers) forks with two threads, which ends a
// ThreadSanitizer run.
struct ConversionDriver::State {
    mutable std::mutex mutex;
    std::thread worker;
    std::atomic<bool> running{false};
    ConversionSummary lastSummary;
    QString outputRoot;
    QString startFailure;
};

ConversionDriver::ConversionDriver() : state_(std::make_unique<State>()) {}

ConversionDriver::~ConversionDriver()
{
    if (state_->worker.joinable())
        state_->worker.join();
}

ConversionStart ConversionDriver::Start(const ConversionRequest& request)
{
    std::lock_guard lock(state_->mutex);
    if (state_->running.load())
        return ConversionStart::AlreadyRunning;
    switch (CheckDestination(request.destinationPath)) {
    case DestinationCheck::Empty:
        return ConversionStart::DestinationEmpty;
    case DestinationCheck::Missing:
        return ConversionStart::DestinationMissing;
    case DestinationCheck::Accepted:
        break;
    }
    if (state_->worker.joinable())
        state_->worker.join();
    state_->outputRoot.clear();
    state_->startFailure.clear();
    // A mailbox without folders has nothing to write: no folder is made, but
    // a destination that could not take one is refused all the same.
    const RecordList<FolderNode> folderNodes = request.store->folderNodes();
    std::unique_ptr<OutputTree> output;
    int foldersPrepared = 0;
    if (request.resume || !folderNodes.empty()) {
        // A resumed run takes over the folder it continues; any other makes its own.
        const auto made = [&request] {
            if (request.resume)
                return OutputTree::Adopt(request.resume->outputFolder(), request.resume->directories());
            const QDateTime now = request.clock ? request.clock() : QDateTime::currentDateTime();
            return OutputTree::Create(request.destinationPath, request.outputFolderName.isEmpty()
                                                                   ? OutputFolderName(now)
                                                                   : request.outputFolderName);
        };
        auto tree = made();
        if (!tree) {
            state_->startFailure = tree.error().reason;
            return ConversionStart::DestinationNotWritable;
        }
        output = std::move(*tree);
        output->ReserveRootName(QString::fromLatin1(kManifestFileName));
        foldersPrepared = output->PrepareFolders(SelectedFolders(folderNodes, request.selectedFolders));
        state_->outputRoot = output->rootPath();
    } else if (::access(NativePath(request.destinationPath).constData(), W_OK | X_OK) != 0) {
        state_->startFailure = QStringLiteral("cannot write in %1: %2")
                                   .arg(request.destinationPath, ErrnoText(errno));
        return ConversionStart::DestinationNotWritable;
    }
    MakeWriterAvailable();
    state_->running = true;
    State* state = state_.get();
    try {
        state_->worker = std::thread([state, request, output = std::move(output), foldersPrepared] {
            ConversionSummary summary = RunConversionWorker(request, output.get(), foldersPrepared);
            std::lock_guard workerLock(state->mutex);
            state->lastSummary = summary;
            state->running = false;
        });
    } catch (const std::system_error&) {
        state_->running = false;
        return ConversionStart::NoResources;
    }
    return ConversionStart::Started;
}

bool ConversionDriver::isRunning() const
{
    return state_->running.load();
}

ConversionSummary ConversionDriver::Wait()
{
    std::thread worker;
    {
        std::lock_guard lock(state_->mutex);
        worker = std::move(state_->worker);
    }
    if (worker.joinable())
        worker.join();
    std::lock_guard lock(state_->mutex);
    return state_->lastSummary;
}

QString ConversionDriver::outputRoot() const
{
    std::lock_guard lock(state_->mutex);
    return state_->outputRoot;
}

QString ConversionDriver::startFailure() const
{
    std::lock_guard lock(state_->mutex);
    return state_->startFailure;
}

}  // namespace tolvane
