// The scan driver: opens a PST file, walks it and fills the item store,
// telling ScanEvents what it finds. One call per scan, on the scan worker; it
// ends with a typed result, which each front end puts in its own words.
#pragma once

#include "model/ItemRecords.h"

#include <QString>

#include <system_error>

namespace tolvane {

class ItemStore;
class ProcessTempDir;
class ScanEvents;
class WorkerGate;

enum class ScanOutcome {
    Completed,   // the whole mailbox was walked
    NotPst,      // right signature, other content type (OST, address book)
    OpenFailed,  // cannot be opened, not a PST at all, corrupt header
    ScanFailed,  // the walk of the hierarchy failed, or there is no private temporary directory
    Abandoned,   // the user stopped the scan and confirmed
    NoResources, // memory or another system resource ran out while opening the file
};

// Why a scan ended as it did, beyond its outcome.
enum class ScanFailure {
    None,
    TemporaryDirectoryRefused,  // ScanFailed: `reason` says why the private directory cannot be used
    WalkFailed,                 // ScanFailed: the root folder or its list could not be read
    // NoResources: memory (or a thread) ran out during the walk, where going
    // on would silently lose items. A front end ends the process with
    // kOutOfMemoryExitStatus.
    ResourcesExhausted,
};

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::Completed;
    ScanFailure failure = ScanFailure::None;
    // The system's words, where it said something: why the file cannot be
    // opened ("cannot open /x.pst: Permission denied"; empty when libpff
    // alone refused it), or why the private directory cannot be used.
    QString reason;
};

// What the scan reads of each item.
enum class ItemDetail {
    // Everything a front end shows of an item without reading it again: a
    // mail's header values, its kept body and its recipients' names, a
    // contact's fields, an appointment's times and place.
    Listed,
    // Where each item is and nothing more: for a conversion that reads every
    // item itself, once, and takes all it writes (names, times too) from that
    // read.
    WhereOnly,
    // The folders alone, each with how many items it lists; no item is
    // read. What a conversion that walks the items as it writes them needs
    // first: the output folders, the folders asked for, a count to measure
    // progress and memory against.
    FoldersOnly,
};

// Whether a scan reads an offline cache file (OST). The window's Browse and
// Scan refuse one, as a plain `scan` or `convert` does; it is read only when
// the user asks for it.
enum class OstFiles { Refused, Accepted };

struct ScanRequest {
    QString pstPath;
    ItemStore* store = nullptr;     // required
    ScanEvents* events = nullptr;   // optional: who follows the scan
    WorkerGate* gate = nullptr;     // optional: Stop support and test hooks
    // Required: the process's temporary directory, where large bodies are
    // set aside; without one the scan fails with its reason.
    const ProcessTempDir* tempDir = nullptr;
    ItemDetail itemDetail = ItemDetail::Listed;
    // True: after the folders, search the file's free space for deleted
    // items and gather the items whose folder is gone (two extra folders).
    // Never by default: it reads the whole file.
    bool recover = false;
    OstFiles ostFiles = OstFiles::Refused;
};

// Exit status the front ends give the process when memory (or another
// resource a scan cannot go on without, such as a thread) runs out during a
// scan (ScanFailure::ResourcesExhausted).
inline constexpr int kOutOfMemoryExitStatus = 5;

// True for a system error that means a resource ran out (a thread that
// cannot be created, memory, file descriptors) rather than a fault of the program.
bool IsResourceExhaustion(const std::system_error& error);

// Runs the whole scan: Completed when the walk ran to its end, else why not.
[[nodiscard]] ScanResult RunScanDriver(const ScanRequest& request);

}  // namespace tolvane
