// The window's scan job.
#include "app/ScanJobController.h"

#include "app/CQuenbyDlg.h"
#include "view/ItemListModel.h"
#include "app/LoadIDialog.h"
#include "view/UserPrompts.h"
#include "app/WindowScanSink.h"
#include "view/WorkerBridge.h"
#include "scan/WorkerGate.h"

#include <QThread>

namespace tolvane {

// A running scan: its gate, its bridge to the window and its sink. Shared with
// the worker's function, which keeps it alive until the scan returns.
struct ScanJob {
    WorkerGate gate;
    std::shared_ptr<WorkerBridge> bridge;
    std::unique_ptr<WindowScanSink> sink;
    ShownScan scan;
};

ScanJobController::ScanJobController(CQuenbyDlg* window, ItemListModel* rows, RunScan runScan,
                                     PrepareGate prepareGate)
    : window_(window)
    , rows_(rows)
    , runScan_(std::move(runScan))
    , prepareGate_(std::move(prepareGate))
{
}

ScanJobController::~ScanJobController()
{
    // The worker is not waited for: it ends at its next checkpoint, and
    // whatever it still sends goes nowhere.
    if (job_) {
        job_->gate.Abandon();
        job_->bridge->Detach();
    }
}

void ScanJobController::Start(const QString& pstPath, TreeNodeId rootNode, ItemStore* store,
                              const ProcessTempDir* tempDir, bool recover, OstFiles ostFiles)
{
    auto job = std::make_shared<ScanJob>();
    ItemListModel* model = rows_;
    job->bridge = WorkerBridge::Create(this, &job->gate, [model](const std::vector<ListRow>& rows) {
        model->InsertRowsOnTop(rows);
    });
    job->sink = std::make_unique<WindowScanSink>(window_, job->bridge);
    job->scan.request.pstPath = pstPath;
    job->scan.request.store = store;
    job->scan.request.tempDir = tempDir;
    job->scan.request.recover = recover;
    job->scan.request.ostFiles = ostFiles;
    job->scan.request.gate = &job->gate;
    job->scan.sink = job->sink.get();
    job->scan.rootNode = rootNode;
    if (prepareGate_)
        prepareGate_(job->gate);
    job_ = job;
    // The worker's function holds its share of the job; the thread object is
    // nobody's child and is deleted on the window's thread once the thread has
    // ended, so a window that ends during a scan (Escape) neither waits for it
    // nor takes it down while it runs.
    std::unique_ptr<QThread> worker(QThread::create([job, runScan = runScan_] {
        if (runScan)
            (void)runScan(job->scan);  // the sink has told the window how it ended
    }));
    connect(worker.get(), &QThread::finished, worker.get(), &QObject::deleteLater);
    // The end comes back as a queued signal; it is then put behind everything
    // the worker sent through the bridge, so it is shown last, held while the
    // Stop question is open and dropped once the scan was abandoned. A job the
    // controller no longer holds (Stop answered Yes) has no end to show.
    connect(worker.get(), &QThread::finished, this, [this, ended = std::weak_ptr<ScanJob>(job)] {
        if (const auto held = ended.lock()) {
            const ScanJob* raw = held.get();
            held->bridge->Post([this, raw] { onWorkerEnded(raw); });
        }
    });
    worker->start();
    if (worker->isRunning() || worker->isFinished()) {
        worker.release();  // deleted by its own end
        return;
    }
    // The machine refused the thread (memory, thread limits): told like a
    // scan that ran out of memory while opening the file.
    worker.reset();
    job_.reset();
    window_->prompts().Notify(nullptr, ProductCaption(), QString::fromLatin1(kScanNotEnoughMemoryNotice));
    window_->BrowseProcedure();
    emit workerEnded();
}

void ScanJobController::onWorkerEnded(const ScanJob* job)
{
    if (job_.get() == job)
        job_.reset();
    emit workerEnded();
}

ScanStopAnswer ScanJobController::AskStop(QWidget* parent)
{
    const auto job = job_;
    if (!job)
        return ScanStopAnswer::NotRunning;
    job->gate.RequestPause();
    if (!window_->prompts().Ask(parent, ProductCaption(), QStringLiteral("Do you want to stop scan process ?"))) {
        job->gate.Resume();
        job->bridge->Flush();
        return ScanStopAnswer::Continued;
    }
    job->gate.Abandon();
    job->bridge->Discard();
    job_.reset();
    CloseWaitWindow();
    return ScanStopAnswer::Stopped;
}

void ScanJobController::ShowWaitWindow()
{
    if (!waitWindow_)
        waitWindow_ = std::make_unique<LoadIDialog>();
    waitWindow_->ShowCentred();
}

void ScanJobController::CloseWaitWindow()
{
    waitWindow_.reset();
}

}  // namespace tolvane
