// Scan sink of the main window.
#include "app/WindowScanSink.h"

#include "view/CFolderTreeCtrl1.h"
#include "app/CQuenbyDlg.h"
#include "view/UserPrompts.h"

namespace tolvane {

WindowScanSink::WindowScanSink(CQuenbyDlg* window, std::shared_ptr<WorkerBridge> bridge)
    : window_(window)
    , bridge_(std::move(bridge))
{
}

TreeNodeId WindowScanSink::InsertFolderNode(TreeNodeId parent, const QString& text)
{
    const TreeNodeId id = CFolderTreeCtrl1::ReserveNodeId();
    CQuenbyDlg* window = window_;
    bridge_->Post([window, id, parent, text] { window->folderTree()->CreateNode(id, parent, text); });
    return id;
}

void WindowScanSink::SetFolderKey(TreeNodeId node, const QString& folderKey)
{
    CQuenbyDlg* window = window_;
    bridge_->Post([window, node, folderKey] { window->folderTree()->SetFolderKey(node, folderKey); });
}

void WindowScanSink::InsertMailRow(const MailRecord& record)
{
    bridge_->PostRow(MailRow(record));
}

void WindowScanSink::SetProgress(int position)
{
    if (position == lastProgress_)
        return;
    lastProgress_ = position;
    CQuenbyDlg* window = window_;
    bridge_->PostLatest([window, position] { window->SetProgressPosition(position); });
}

void WindowScanSink::ShowNotice(const QString& text)
{
    // A worker's notice has no owner window.
    CQuenbyDlg* window = window_;
    bridge_->PostAndWait([window, text] { window->prompts().Notify(nullptr, ProductCaption(), text); });
}

void WindowScanSink::DisableScanButton()
{
    CQuenbyDlg* window = window_;
    bridge_->Post([window] { window->OnScanDriverStarted(); });
}

void WindowScanSink::ShowWaitWindow()
{
    CQuenbyDlg* window = window_;
    bridge_->Post([window] { window->ShowWaitWindow(); });
}

void WindowScanSink::CloseWaitWindow()
{
    CQuenbyDlg* window = window_;
    bridge_->Post([window] { window->CloseWaitWindow(); });
}

void WindowScanSink::ItemSkipped(const QString& place, const QString& reason)
{
    skipped_.append(place + QStringLiteral(": ") + reason);
}

QString WindowScanSink::SkippedItemsNotice(const QStringList& skipped)
{
    if (skipped.isEmpty())
        return QString();
    constexpr int kNamed = 20;
    QString text = skipped.size() == 1 ? QStringLiteral("1 item could not be read and was left out:")
                                       : QStringLiteral("%1 items could not be read and were left out:").arg(skipped.size());
    for (const QString& item : skipped.mid(0, kNamed))
        text += u'\n' + item;
    if (skipped.size() > kNamed)
        text += QStringLiteral("\n… and %1 more.").arg(skipped.size() - kNamed);
    return text;
}

void WindowScanSink::ScanSucceeded()
{
    // After "Analysis completed": a damaged mailbox says what it could not give.
    if (!skipped_.isEmpty())
        ShowNotice(SkippedItemsNotice(skipped_));
    CQuenbyDlg* window = window_;
    bridge_->Post([window] { window->OnScanSucceeded(); });
}

void WindowScanSink::RunBrowseProcedure()
{
    CQuenbyDlg* window = window_;
    bridge_->Post([window] { window->BrowseProcedure(); });
}

}  // namespace tolvane
