// The scan sink of the main window: runs on the scan worker and hands every
// change to the window's thread through a WorkerBridge. Tree node handles are
// assigned here on the worker, so the worker never waits for the window.
#pragma once

#include "frontend/ScanSink.h"
#include "view/WorkerBridge.h"

#include <QHash>
#include <QStringList>
#include <memory>
#include <mutex>

namespace tolvane {

class CQuenbyDlg;

class WindowScanSink final : public ScanSink {
public:
    WindowScanSink(CQuenbyDlg* window, std::shared_ptr<WorkerBridge> bridge);

    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) override;
    void SetFolderKey(TreeNodeId node, const QString& folderKey) override;
    void InsertMailRow(const MailRecord& record) override;
    void SetProgress(int position) override;
    void ShowNotice(const QString& text) override;
    void DisableScanButton() override;
    void ShowWaitWindow() override;
    void CloseWaitWindow() override;
    void ScanSucceeded() override;
    void RunBrowseProcedure() override;
    void ItemSkipped(const QString& place, const QString& reason) override;

    // The notice that names the items a scan left out (empty list: none).
    static QString SkippedItemsNotice(const QStringList& skipped);

private:
    CQuenbyDlg* window_;  // touched only by changes that run on the window's thread
    std::shared_ptr<WorkerBridge> bridge_;
    int lastProgress_ = -1;
    QStringList skipped_;  // the scan worker's alone, like every call of this sink
};

}  // namespace tolvane
