// The conversion driver: destination checks, the run's own output folder,
// the clean-up of earlier runs' leftovers, and the worker thread with its
// one-at-a-time rule.
#include "convert/ConversionDriver.h"

#include "convert/ConversionRun.h"
#include "convert/MessageWriter.h"
#include "convert/SelectedRecords.h"
#include "convert/output/Manifest.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/PartialFileSweeper.h"
#include "base/NativePath.h"

#include <cerrno>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

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

ConversionSummary RunConversionWorker(const ConversionRequest& request, OutputTree* output, int foldersPrepared)
{
    ConversionRun run(request, output, foldersPrepared);
    // Temporaries of earlier runs that were killed outright; never those of a running one.
    RemoveLeftoverPartials(request.destinationPath);
    if (!run.OpenMailbox())
        return run.summary();
    run.OpenWorkerReaders();
    run.OpenManifest();
    if (!run.RunPasses())
        return run.summary();
    run.Finish();
    return run.summary();
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
        return Refused(StartRefusal::AlreadyRunning);
    switch (CheckDestination(request.destinationPath)) {
    case DestinationCheck::Empty:
        return Refused(StartRefusal::DestinationEmpty);
    case DestinationCheck::Missing:
        return Refused(StartRefusal::DestinationMissing);
    case DestinationCheck::Accepted:
        break;
    }
    if (state_->worker.joinable())
        state_->worker.join();
    state_->outputRoot.clear();
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
        if (!tree)
            return Refused(StartRefusal::DestinationNotWritable, tree.error().reason);
        output = std::move(*tree);
        output->ReserveRootName(QString::fromLatin1(kManifestFileName));
        foldersPrepared = output->PrepareFolders(SelectedFolders(folderNodes, request.selectedFolders));
        state_->outputRoot = output->rootPath();
    } else if (::access(NativePath(request.destinationPath).constData(), W_OK | X_OK) != 0) {
        return Refused(StartRefusal::DestinationNotWritable,
                       QStringLiteral("cannot write in %1: %2").arg(request.destinationPath, ErrnoText(errno)));
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
        return Refused(StartRefusal::NoResources);
    }
    return {};
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
