// Shared machinery of the robustness tests: a scratch area whose destination
// sits a few levels below its root (so a name that climbs out is caught), a
// scan and a conversion run in-process with recording sinks, and snapshots of
// directory trees to prove that nothing outside the destination changed and
// that no existing file was overwritten.
#pragma once

#include "frontend/ConversionText.h"
#include "convert/ConversionDriver.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "scan/ScanDriver.h"
#include "app/cli/NumberingScanSink.h"
#include "scan/WorkerGate.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace tolvane::robustness {

// The fixed local time of every conversion in these tests.
inline QDateTime FixedClock()
{
    return QDateTime(QDate(2011, 3, 5), QTime(9, 7));
}
inline const QString kOutputFolderName = QStringLiteral("Vorsk-Recovery-5-3-2011 9-7");

class RecordingConversionSink : public ConversionSink {
public:
    explicit RecordingConversionSink(bool writeFromRecords = false) : writeFromRecords_(writeFromRecords) {}
    void SetProgress(const ConversionPosition&) override {}
    bool WriteFromScanRecords(const QString&) override { return writeFromRecords_; }
    void ReportProblem(const QString& text) override
    {
        QMutexLocker lock(&mutex_);
        problems_.append(text);
    }
    QStringList problems() const
    {
        QMutexLocker lock(&mutex_);
        return problems_;
    }
    void ShowCompletion(const ConversionSummary& summary) override
    {
        QMutexLocker lock(&mutex_);
        notices_.append(CompletionNoticeText(summary));
    }
    QStringList notices() const
    {
        QMutexLocker lock(&mutex_);
        return notices_;
    }

private:
    const bool writeFromRecords_;
    mutable QMutex mutex_;
    QStringList notices_;
    QStringList problems_;
};

struct ScanRun {
    ScanOutcome outcome = ScanOutcome::OpenFailed;
    QStringList notices;
    QStringList skipped;  // items the scan reported as unreadable
    QString openFailureReason;  // what the system said when the file could not be opened
    std::unique_ptr<ItemStore> store = std::make_unique<ItemStore>();
    // The run's own temporary directory, made below TMPDIR as it is when the scan starts.
    std::unique_ptr<ProcessTempDir> tempDir;
};

// `recover`: search for deleted and orphan items as well.
inline ScanRun ScanFile(const QString& path, WorkerGate* gate = nullptr, bool recover = false)
{
    ScanRun run;
    run.tempDir = std::make_unique<ProcessTempDir>();
    NumberingScanSink sink;
    ShownScan scan;
    scan.request.pstPath = path;
    scan.request.store = run.store.get();
    scan.request.tempDir = run.tempDir.get();
    scan.request.gate = gate;
    scan.request.recover = recover;
    scan.sink = &sink;
    scan.rootNode = sink.InsertFolderNode(0, path);
    run.outcome = RunShownScan(scan);
    run.notices = sink.notices();
    run.skipped = sink.skippedItems();
    run.openFailureReason = sink.openFailureReason();
    return run;
}

struct ConvertRun {
    std::optional<StartRefusal> start = StartRefusal::DestinationMissing;  // nullopt: started
    ConversionSummary summary;
    QStringList notices;
    QStringList problems;  // every item reported as not saved or saved incomplete
};

inline ConvertRun ConvertScan(const ScanRun& scan, const QString& pstPath, const QString& destination,
                              WorkerGate* gate = nullptr, bool writeFromRecords = false,
                              OutputFormat format = OutputFormat::Eml)
{
    ConvertRun run;
    RecordingConversionSink sink(writeFromRecords);
    ConversionRequest request;
    request.pstPath = pstPath;
    request.destinationPath = destination;
    request.store = scan.store.get();
    request.sink = &sink;
    request.gate = gate;
    request.format = format;
    request.clock = FixedClock;
    ConversionDriver driver;
    run.start = RefusalOf(driver.Start(request));
    if (run.start == kStarted)
        run.summary = driver.Wait();
    run.notices = sink.notices();
    run.problems = sink.problems();
    return run;
}

// Path (relative to the tree's root) -> content hash, "<dir>" or "<link>".
using TreeSnapshot = std::map<QString, QByteArray>;

inline TreeSnapshot SnapshotTree(const QString& root, const QString& excludedSubtree = QString())
{
    TreeSnapshot snapshot;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!excludedSubtree.isEmpty() && (path == excludedSubtree || path.startsWith(excludedSubtree + u'/')))
            continue;
        const QFileInfo info = it.fileInfo();
        QByteArray value;
        if (info.isSymLink()) {
            value = "<link>";
        } else if (info.isDir()) {
            value = "<dir>";
        } else if (!info.isFile()) {
            value = "<special>";  // a FIFO or device: opening it could block or never end
        } else {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                value = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
            else
                value = "<unreadable>";
        }
        snapshot[QDir(root).relativeFilePath(path)] = value;
    }
    return snapshot;
}

// Every file below `root` whose name ends in `suffix`.
inline QStringList FilesEndingIn(const QString& root, const QString& suffix)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(suffix))
            files.append(path);
    }
    files.sort();
    return files;
}

// The command line the tests run, and whether this build made it.
inline const QString kCliPath = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");

inline bool CliBuilt()
{
    return QFileInfo(kCliPath).isExecutable();
}

// The only folder a conversion made in `destination`; empty when there is
// none or more than one.
inline QString OnlyOutputFolder(const QString& destination)
{
    const QStringList folders = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return folders.size() == 1 ? destination + u'/' + folders.front() : QString();
}

// A scratch area: <root>/input/ for mailboxes, <root>/a/b/c/destination/ as
// the destination, and the current directory moved to <root>/a/b/c/cwd while
// it lives (the scan resolves its relative export root there). Anything that
// appears in the area outside the destination is an escape.
class ScratchArea {
public:
    ScratchArea()
    {
        QDir(root()).mkpath(QStringLiteral("input"));
        QDir(root()).mkpath(QStringLiteral("a/b/c/destination"));
        QDir(root()).mkpath(QStringLiteral("a/b/c/cwd"));
        previousDirectory_ = QDir::currentPath();
        QDir::setCurrent(root() + QStringLiteral("/a/b/c/cwd"));
    }
    ~ScratchArea() { QDir::setCurrent(previousDirectory_); }
    ScratchArea(const ScratchArea&) = delete;
    ScratchArea& operator=(const ScratchArea&) = delete;

    bool isValid() const { return dir_.isValid(); }
    QString root() const { return dir_.path(); }
    QString input(const QString& name) const { return root() + QStringLiteral("/input/") + name; }
    QString destination() const { return root() + QStringLiteral("/a/b/c/destination"); }
    QString outputRoot() const { return destination() + u'/' + kOutputFolderName; }
    // Everything outside the destination and the inputs the test made; compare before and after a run.
    TreeSnapshot Outside() const
    {
        TreeSnapshot snapshot = SnapshotTree(root(), destination());
        for (auto it = snapshot.begin(); it != snapshot.end();)
            it = it->first.startsWith(QStringLiteral("input/")) ? snapshot.erase(it) : std::next(it);
        return snapshot;
    }

private:
    QTemporaryDir dir_;
    QString previousDirectory_;
};

}  // namespace tolvane::robustness
