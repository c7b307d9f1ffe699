// The scan as the window runs it: the scan worker and its gate, the bridge
// that carries the worker's changes to the window, the wait window, and the
// Stop question during a scan. The window decides when a scan starts and what
// a stopped scan clears; this owns the running job.
#pragma once

#include "frontend/ScanSink.h"
#include "model/ItemRecords.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace tolvane {

class CQuenbyDlg;
class ItemListModel;
class LoadIDialog;
class WorkerGate;
struct ScanJob;

enum class ScanStopAnswer {
    NotRunning,  // no scan: nothing was asked
    Continued,   // answered No: the scan goes on and shows what it held back
    Stopped,     // answered Yes: the scan is abandoned and shows nothing more
};

class ScanJobController : public QObject {
    Q_OBJECT
public:
    using RunScan = std::function<ScanOutcome(const ShownScan&)>;
    using PrepareGate = std::function<void(WorkerGate&)>;

    // window: the receiver of the worker's changes (its sink drives the
    // window's controls); rows: the list the scan's rows go on top of.
    ScanJobController(CQuenbyDlg* window, ItemListModel* rows, RunScan runScan, PrepareGate prepareGate);
    // Abandons a running scan: nothing the worker sends afterwards is shown,
    // and the worker, not waited for, ends at its next checkpoint.
    ~ScanJobController() override;

    // Starts the scan worker on `pstPath` into `store`, below the tree node
    // `rootNode`; `recover` also searches for deleted and orphan items;
    // `ostFiles` says whether an offline cache file is read.
    void Start(const QString& pstPath, TreeNodeId rootNode, ItemStore* store, const ProcessTempDir* tempDir,
               bool recover = false, OstFiles ostFiles = OstFiles::Refused);
    // Holds the scan, asks whether to stop it and then abandons or resumes it.
    [[nodiscard]] ScanStopAnswer AskStop(QWidget* parent);

    bool isRunning() const { return job_ != nullptr; }

    void ShowWaitWindow();
    void CloseWaitWindow();
    LoadIDialog* waitWindow() const { return waitWindow_.get(); }

signals:
    // The scan worker ended (its thread finished and everything it sent was
    // shown), or the scan was stopped, or its thread could not start.
    void workerEnded();

private:
    void onWorkerEnded(const ScanJob* job);

    CQuenbyDlg* window_;
    ItemListModel* rows_;
    RunScan runScan_;
    PrepareGate prepareGate_;
    std::shared_ptr<ScanJob> job_;  // `scanThread`: set while the worker runs
    std::unique_ptr<LoadIDialog> waitWindow_;
};

}  // namespace tolvane
