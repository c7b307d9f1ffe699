// The scan driver: opens a PST file, walks it and fills the item store, telling
// a ScanSink what happens. One call per scan, on the scan worker.
#pragma once

#include "scan/ItemRecords.h"

#include <QString>

#include <system_error>

namespace tolvane {

class ItemStore;
class ProcessTempDir;
class ScanSink;
class WorkerGate;

enum class ScanOutcome {
    Completed,   // "Analysis completed"
    NotPst,      // right signature, other content type (OST, address book)
    OpenFailed,  // cannot be opened, not a PST at all, corrupt header
    ScanFailed,  // the export of the hierarchy failed, or there is no private temporary directory
    Abandoned,   // the user stopped the scan and confirmed
    NoResources, // memory or another system resource ran out while opening the file
};

struct ScanRequest {
    QString pstPath;
    ItemStore* store = nullptr;   // required
    ScanSink* sink = nullptr;     // required
    WorkerGate* gate = nullptr;   // optional: Stop support and test hooks
    TreeNodeId rootNode = 0;      // the tree node of the PST file
    // Required: the process's temporary directory, home of "Attachments";
    // without one the scan fails with its reason.
    const ProcessTempDir* tempDir = nullptr;
    // False when the window's session has asked for a conversion since the
    // last Browse: the walk then inserts no tree nodes and no folder nodes.
    bool buildTree = true;
    // False when the records only guide a conversion that reads every
    // message again: bodies and recipient names are then not read or kept.
    bool keepContents = true;
    // True: after the folders, search the file's free space for deleted
    // items and gather the items whose folder is gone (two extra folders).
    // Never by default: it reads the whole file.
    bool recover = false;
};

// Exit status of the process when memory (or another resource a scan
// cannot go on without, such as a thread) runs out during a scan.
inline constexpr int kOutOfMemoryExitStatus = 5;

// True for a system error that means a resource ran out (a thread that
// cannot be created, memory, file descriptors) rather than a fault of the program.
bool IsResourceExhaustion(const std::system_error& error);

// Runs the whole scan: Completed when the export ran to its end, else why not.
// The sink has been told everything the user is to see before it returns.
[[nodiscard]] ScanOutcome RunScanDriver(const ScanRequest& request);

}  // namespace tolvane
