// The window's scan job.
#include "app/ScanJobController.h"

#include "app/CQuenbyDlg.h"
#include "view/ItemListModel.h"
#include "app/LoadIDialog.h"
#include "view/UserPrompts.h"
#include "app/WindowScanSink.h"
#include "view/WorkerBridge.h"
#include "scan/WorkerGate.h"

#include <thread>

namespace tolvane {

// A running scan: its gate, its bridge to the window and its sink. Shared with
// the worker thread, which keeps it alive until it ends.
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
    if (job_)
        job_->bridge->Detach();
}

void ScanJobController::Start(const QString& pstPath, TreeNodeId rootNode, ItemStore* store,
                              const ProcessTempDir* tempDir, bool recover)
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
    job->scan.request.gate = &job->gate;
    job->scan.sink = job->sink.get();
    job->scan.rootNode = rootNode;
    if (prepareGate_)
        prepareGate_(job->gate);
    job_ = job;
    ScanJobController* controller = this;
    // The worker owns its share of the job and is never joined: a window that
    // ends during a scan (Escape) does not wait for it.
    std::thread([job, runScan = runScan_, controller] {
        if (runScan)
            (void)runScan(job->scan);  // the sink has told the window how it ended
        // The worker's end clears `scanThread`; dropped when the scan was abandoned.
        const ScanJob* raw = job.get();
        job->bridge->Post([controller, raw] { controller->onWorkerEnded(raw); });
    }).detach();
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
