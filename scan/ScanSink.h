// What the scan engine tells whatever shows the scan: the window, the command
// line or a test. Every call comes from the scan worker; an implementation that
// drives widgets carries the change over to its own thread.
#pragma once

#include "scan/ItemRecords.h"

#include <QString>

namespace tolvane {

class ScanSink {
public:
    virtual ~ScanSink() = default;

    // Folder tree. InsertFolderNode adds a node with the given text as the last
    // child of parent (0 = top level) and returns its handle; NodeText gives a
    // node's text back (the root node's text is the PST path).
    virtual TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) = 0;
    virtual QString NodeText(TreeNodeId node) = 0;

    // One row at the top of the item list for a mail record just made.
    virtual void InsertMailRow(const MailRecord& record) = 0;

    // An item the scan could not read and left out: `place` names it (folder
    // path and position), `reason` says what failed. Its siblings are still read.
    virtual void ItemSkipped(const QString& place, const QString& reason) { (void)place, (void)reason; }

    // Progress bar position, 0 to 100.
    virtual void SetProgress(int position) = 0;

    // A notice (caption "Tolvane", information icon, OK). Blocks until seen
    // where the front end shows boxes.
    virtual void ShowNotice(const QString& text) = 0;

    // The file could not be opened: `notice` is the window's text for it,
    // `reason` says what the system reported ("cannot open /x.pst: Permission
    // denied"; empty when libpff alone refused the file). The window keeps to
    // its notice; a front end that can say more overrides this.
    virtual void ShowOpenFailure(const QString& notice, const QString& reason)
    {
        (void)reason;
        ShowNotice(notice);
    }

    // The driver's duties towards the window, in the order the driver calls them.
    virtual void DisableScanButton() {}
    virtual void ShowWaitWindow() {}
    virtual void CloseWaitWindow() {}
    virtual void ScanSucceeded() {}      // enable Convert, Browse, File > Convert, File > Open, the tree
    virtual void RunBrowseProcedure() {} // after a failed open or export
};

}  // namespace tolvane
