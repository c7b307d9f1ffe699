// How a front end shows a scan: the window, the command line or a test gets
// the folder tree, the rows, the notices and the window's duties in the order
// the window has always done them. RunShownScan runs the scan engine, turns
// its typed events into these calls and its result into the notices; the
// words are the front ends', the engine has none.
#pragma once

#include "model/ItemRecords.h"
#include "scan/ScanDriver.h"
#include "frontend/TreeNodeId.h"

#include <QString>

namespace tolvane {

class ScanEvents;

// The notices of a scan (caption "Tolvane"), as the window shows them.
inline constexpr const char* kScanOpenFailedNotice =
    "Please check file use in another proess or File is highly corrupted! Please select another file OR contact "
    "support team..";
inline constexpr const char* kScanNotPstNotice = "This is not a valid PST File";
inline constexpr const char* kScanFailedNotice =
    "Scanning process failed! Please select another file OR contact support team..";
inline constexpr const char* kScanCompletedNotice = "Analysis completed";
inline constexpr const char* kScanNotEnoughMemoryNotice = "Not Enough Memory";

class ScanSink {
public:
    virtual ~ScanSink() = default;

    // Folder tree. InsertFolderNode adds a node with the given text as the last
    // child of parent and returns its handle.
    virtual TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) = 0;
    // The folder a node just inserted stands for: the key its items' records
    // carry, so a click lists that folder's items and no other's.
    virtual void SetFolderKey(TreeNodeId node, const QString& folderKey) { (void)node, (void)folderKey; }

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

    // The window's duties, in the order RunShownScan calls them.
    virtual void DisableScanButton() {}
    virtual void ShowWaitWindow() {}
    virtual void CloseWaitWindow() {}
    virtual void ScanSucceeded() {}      // enable Convert, Browse, File > Convert, File > Open, the tree
    virtual void RunBrowseProcedure() {} // after a failed open or walk
};

// A scan as a front end runs it: what the engine is asked, who shows it, and
// the tree node of the file itself, under which the folders go.
struct ShownScan {
    ScanRequest request;  // its `events` are RunShownScan's own
    ScanSink* sink = nullptr;
    TreeNodeId rootNode = 0;
    // Optional: told of every event as well, after the sink, on the scan's
    // thread (a conversion that writes what the walk finds as it goes).
    ScanEvents* alsoTell = nullptr;
    // Optional: the engine's whole result (why the file could not be
    // opened, in the system's words), for a front end with more to say.
    ScanResult* result = nullptr;
};

// Runs the whole scan on the calling thread and shows it through the sink;
// every notice has been shown when it returns.
ScanOutcome RunShownScan(const ShownScan& scan);

}  // namespace tolvane
