// The conversion driver: destination checks, the dated output folder, the
// output directories, and the worker thread with its one-at-a-time rule.
#include "ConversionDriver.h"

#include "MailboxReader.h"
#include "MessagePreparer.h"
#include "MessageWriter.h"
#include "NativePath.h"
#include "OutputNaming.h"
#include "PrivateTempDir.h"
#include "ProcessState.h"
#include "ScanTexts.h"
#include "WorkerGate.h"

#include <atomic>
#include <mutex>
#include <thread>

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

QString JoinOutputRoot(const QString& destinationPath, const QString& outputFolderName)
{
    QString root = destinationPath;
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + SafeComponent(outputFolderName);
}

}  // namespace

QString PrepareOutputFolders(const QString& destinationPath, const QString& outputFolderName,
                             const RecordList<FolderNode>& folderNodes)
{
    if (folderNodes.empty())
        return QString();
    const QString outputRoot = JoinOutputRoot(destinationPath, outputFolderName);
    MakeDirectoryPath(outputRoot);
    for (const auto& node : folderNodes) {
        const QString key = CleanFolderKey(node->exportPath) + u'\\' + CleanFolderKey(node->name);
        MakeDirectoryPath(DirectoryForFolderKey(outputRoot, key));
    }
    return outputRoot;
}

QString CompletionNoticeText(const ConversionSummary& summary)
{
    if (summary.allSaved())
        return QString::fromLatin1(kSavingCompletedText);
    QString text = QStringLiteral("Saving finished with problems: %1 of %2 messages were saved, %3 could not be saved.")
                       .arg(summary.mailSaved)
                       .arg(summary.mailTotal)
                       .arg(summary.mailFailed);
    if (summary.contactsFailed > 0)
        text += QStringLiteral(" %1 contacts could not be saved.").arg(summary.contactsFailed);
    if (!summary.firstFailures.isEmpty())
        text += QStringLiteral("\n\n") + summary.firstFailures.join(u'\n');
    return text;
}

ConversionSummary RunConversionWorker(const ConversionRequest& request, const QString& outputRoot)
{
    ConversionSummary summary;
    summary.outputRoot = outputRoot;
    MailboxReader reader;
    reader.Open(request.pstPath);
    WriterContext context;
    context.outputRoot = outputRoot;
    context.reader = reader.isOpen() ? &reader : nullptr;
    context.composers = MessagePreparer::ComposersFor(static_cast<int>(std::thread::hardware_concurrency()));
    context.sink = request.sink;
    context.gate = request.gate;
    context.summary = &summary;

    const RecordList<ContactRecord> contacts = request.store->contactRecords();
    const RecordList<MailRecord> mail = request.store->mailRecords();
    if (!WriteContactItems(contacts, context) || !WriteMailFiles(mail, context)) {
        summary.abandoned = true;
        return summary;
    }
    if (const auto attachments = AttachmentDirectory())
        RemoveFolderTree(*attachments);
    request.sink->ShowNotice(CompletionNoticeText(summary));
    request.sink->ConversionFinished(summary);
    return summary;
}

struct ConversionDriver::State {
    mutable std::mutex mutex;
    std::thread worker;
    std::atomic<bool> running{false};
    ConversionSummary lastSummary;
    QString outputRoot;
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
    treeBuildingOff = true;
    MakeWriterAvailable();
    const QDateTime now = request.clock ? request.clock() : QDateTime::currentDateTime();
    const QString folderName = OutputFolderName(now);
    QString outputRoot = PrepareOutputFolders(request.destinationPath, folderName, request.store->folderNodes());
    if (outputRoot.isNull())
        outputRoot = JoinOutputRoot(request.destinationPath, folderName);
    state_->outputRoot = outputRoot;
    state_->running = true;
    State* state = state_.get();
    state_->worker = std::thread([state, request, outputRoot] {
        ConversionSummary summary = RunConversionWorker(request, outputRoot);
        std::lock_guard workerLock(state->mutex);
        state->lastSummary = summary;
        state->running = false;
    });
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

}  // namespace tolvane
