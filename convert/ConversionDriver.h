// The conversion driver: checks the destination, makes the run's own dated
// output folder, one directory per scanned folder, and runs the conversion
// worker (contact pass, mail pass, clean-up) on a thread of its own. The window
// and `tolvane-cli convert` both drive a conversion through this header.
#pragma once

#include "convert/ConversionProgress.h"
#include "convert/ConversionSummary.h"
#include "model/ItemRecords.h"
#include "convert/output/MailFormats.h"
#include "convert/output/ResumePlan.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "base/Expected.h"
#include "scan/ScanDriver.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace tolvane {

class OutputTree;
class ScanEvents;
class WorkerGate;

enum class DestinationCheck {
    Accepted,
    Empty,    // no file-system path: the notice, system-modal
    Missing,  // nothing exists at that path: the notice, not system-modal
};
[[nodiscard]] DestinationCheck CheckDestination(const QString& destinationPath);

// "Vorsk-Recovery-" + day-month-year hour-minute of the given local time,
// plain decimals: 5 March 2011 09:07 gives "Vorsk-Recovery-5-3-2011 9-7".
QString OutputFolderName(const QDateTime& localTime);

// What the conversion worker tells whoever shows it. Every call comes from the
// worker thread; a widget-driving implementation carries it to its own thread.
class ConversionSink {
public:
    virtual ~ConversionSink() = default;
    // Every item taken on, and whenever the total changes; from the
    // conversion's own thread.
    virtual void SetProgress(const ConversionPosition& position) = 0;
    // The mailbox cannot be read again (moved, unplugged, out of memory):
    // true to write what the scan kept anyway, every file marked as rebuilt;
    // false ends the conversion with nothing written.
    virtual bool WriteFromScanRecords(const QString& reason)
    {
        (void)reason;
        return false;
    }
    // The end of a conversion that was not abandoned, before
    // ConversionFinished: the front end says what was done, in its words
    // (the window's notice blocks until seen).
    virtual void ShowCompletion(const ConversionSummary& summary) = 0;
    // One item that was not saved, or saved incomplete: "name: reason", as it
    // happens, so every one can be named (the notice names only the first few).
    virtual void ReportProblem(const QString& text) { (void)text; }
    // Last call of a conversion that was not abandoned, after the notice.
    virtual void ConversionFinished(const ConversionSummary& summary) { (void)summary; }
};

// The walk of a mailbox's items that a conversion in one pass runs beside its
// writing: every mail the walk finds goes to the read-ahead workers at once,
// and the contacts and calendar items are written once the walk has ended.
struct ItemWalk {
    // What the walk fills with the items' records; the worker reads it once
    // `run` has returned, the caller once the conversion has ended.
    ItemStore* store = nullptr;
    // Required: `run` ends early once it is abandoned; the worker abandons
    // it when the conversion ends early itself (Stop, memory).
    WorkerGate* gate = nullptr;
    // The walk itself, on a thread of the worker's: it tells `along` of
    // every item as it finds it, and says how it ended.
    std::function<ScanOutcome(ScanEvents& along)> run;
};

struct ConversionRequest {
    QString pstPath;             // the scanned file, re-read for full message content
    QString destinationPath;     // the folder the user chose
    ItemStore* store = nullptr;  // required: records are read through snapshots
    ConversionSink* sink = nullptr;  // required
    WorkerGate* gate = nullptr;      // optional: Stop support and test hooks
    // Optional, owned by the caller: once true (set from any thread, e.g. on a
    // signal), the worker stops before the next item and reports an
    // interrupted run: summary, notice and ConversionFinished as usual.
    const std::atomic<bool>* stopRequested = nullptr;
    std::function<QDateTime()> clock;  // local time; QDateTime::currentDateTime when empty
    // Threads (each with its own handle on the mailbox) that read and compose
    // mail ahead of the writer; 0: one per core this process may use.
    int workers = 0;
    OutputFormat format = OutputFormat::Eml;
    // Only the items of these folders (keys as the records carry them);
    // no keys: every folder.
    FolderSelection selectedFolders;
    // The sink writes from the records when the mailbox cannot be read: the
    // manifest records it with the folders, the format and whether `store`
    // searched for deleted items, and a resumed run must ask for the same.
    bool fromRecords = false;
    // The output folder's name in the destination; empty: OutputFolderName
    // of the clock's time.
    QString outputFolderName;
    // Test hook: runs each time the conversion searches the mailbox for
    // deleted items (at most once, for all its readers).
    std::function<void()> deletedItemSearchHook;
    // A stopped run's folder to continue instead of a new one (made with
    // the same file and `format`): its kept mail is not written again, the
    // rest of the folder is cleared and written as a run from the start
    // would. `destinationPath` is then the folder it lies in.
    // Shared, not copied: on a large mailbox it holds a line per kept mail.
    std::shared_ptr<const ResumePlan> resume;
    // One pass: `store` holds the folders alone (a walk with
    // ItemDetail::FoldersOnly, each folder with its count of items) and the
    // records come from this walk, run while the mail is written. Without
    // it, `store` holds a finished scan.
    std::optional<ItemWalk> itemWalk;
};

// Why Start() did not start a conversion.
enum class StartRefusal {
    AlreadyRunning,      // one conversion at a time
    DestinationEmpty,    // the destination notice, system-modal
    DestinationMissing,  // the destination notice, not system-modal
    NoResources,         // the machine refused the worker thread (memory, thread limits)
    // The destination exists but no output folder can be made in it (not
    // writable, read-only, full): nothing was written.
    DestinationNotWritable,
};

struct StartFailure {
    StartRefusal refusal = StartRefusal::AlreadyRunning;
    QString reason;  // DestinationNotWritable: why, in the file system's words; else empty
};

// Started, or why not.
using ConversionStart = Expected<void, StartFailure>;

[[nodiscard]] inline ConversionStart Refused(StartRefusal refusal, QString reason = QString())
{
    return Failed(StartFailure{refusal, std::move(reason)});
}

// What RefusalOf says of a start that started.
inline constexpr std::optional<StartRefusal> kStarted;

// Why a start was refused; nullopt (kStarted): it started.
[[nodiscard]] inline std::optional<StartRefusal> RefusalOf(const ConversionStart& start)
{
    return start ? std::nullopt : std::optional<StartRefusal>(start.error().refusal);
}

// One conversion at a time. Start() runs on the caller's thread up to and
// including making the output folder and its directories (OutputTree), then
// starts the worker and returns.
class ConversionDriver {
public:
    ConversionDriver();
    ~ConversionDriver();  // waits for a running worker
    ConversionDriver(const ConversionDriver&) = delete;
    ConversionDriver& operator=(const ConversionDriver&) = delete;

    [[nodiscard]] ConversionStart Start(const ConversionRequest& request);
    bool isRunning() const;
    // Blocks until the worker has ended; returns its summary (for the command line and tests).
    ConversionSummary Wait();
    // The output folder really made by the last start ("...-2" when the minute's name was taken).
    QString outputRoot() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Runs the whole worker on the calling thread (used by the driver's thread).
// `output` is null when no output folder was made (a mailbox without folders):
// every save then fails.
[[nodiscard]] ConversionSummary RunConversionWorker(const ConversionRequest& request, OutputTree* output, int foldersPrepared);

}  // namespace tolvane
