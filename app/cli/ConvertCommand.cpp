// tolvane-cli convert: scans a PST file and converts it into a destination
// folder with the same engine, layout and names as the window's Convert.
#include "app/cli/Commands.h"
#include "app/cli/ConvertEnding.h"
#include "app/cli/DryRun.h"
#include "app/cli/HeadlessScan.h"
#include "app/cli/ProblemText.h"
#include "app/cli/TerminalProgress.h"
#include "frontend/RecoveryText.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/TestHold.h"

#include "frontend/ConversionText.h"
#include "convert/ConversionDriver.h"
#include "convert/output/ResumePlan.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "scan/WorkerGate.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

#include <algorithm>
#include <memory>

#include <cstdio>
#include <unistd.h>

namespace tolvane::cli {

namespace {

constexpr int kExitSomeNotSaved = 4;

const char kConvertUsage[] =
    "Usage: tolvane-cli convert [OPTIONS] FILE.pst... DEST\n"
    "       tolvane-cli convert --resume OUTPUT_FOLDER [OPTIONS] FILE.pst\n"
    "\n"
    "Scans FILE.pst and writes every mail as an .eml file (and every contact as a\n"
    "vCard) into a new dated folder below DEST, one directory per mailbox folder.\n"
    "The folder is always a new one: when the minute's name is taken, -2, -3, ...\n"
    "is added; the summary names the folder made. With several files, each goes\n"
    "into a new folder of its own named after the file, one after the other; one\n"
    "that cannot be read never stops the others. Every output folder holds\n"
    "manifest.jsonl, which tolvane-cli verify checks the folder against.\n"
    "\n"
    "  --format eml       one .eml file per mail, dated like the mail (the default)\n"
    "  --format mbox      one mbox file (mboxrd) per mail folder, in mbox/\n"
    "  --format mboxtree  the mbox files as a mail client's local folders, in\n"
    "                     \"Local Folders\", below a folder named after the\n"
    "                     mailbox: a folder is a file named after it,\n"
    "                     the folders below it are in NAME.sbd/ beside it, and\n"
    "                     each message's read, replied, flagged and forwarded\n"
    "                     state and its categories go into X-Mozilla-* lines\n"
    "  --format maildir   a Maildir++ tree in Maildir/ with the messages' flags\n"
    "                     (contacts and calendars go beside, as with eml)\n"
    "  --folder PATH      only this folder and those below it, PATH as\n"
    "                     tolvane-cli scan --paths prints it; may be repeated\n"
    "  --output-name NAME name the output folder NAME instead of the dated name\n"
    "                     (one FILE.pst only; -2, -3, ... is added when taken)\n"
    "  --jobs N           read and compose mail on N threads (default: one per core)\n"
    "  --dry-run          scan, then print which folders would be written, how many\n"
    "                     items each holds and where; write nothing\n"
    "  -q, --quiet        print nothing but errors\n"
    "  --json             print one JSON object per file on stdout instead of the\n"
    "                     summary lines: every count, the output folder, the\n"
    "                     problems (no progress line); a file that is not\n"
    "                     converted at all gets one too, with why in \"error\"\n"
    "  --from-records     when FILE.pst cannot be read again after the scan, write\n"
    "                     what the scan kept (no attachments, Cc, Bcc, addresses or\n"
    "                     original headers; every file says so) instead of nothing\n"
    "  --recover          also write the deleted items the file still holds and the\n"
    "                     items whose folder is gone, into \"Recovered items\" and\n"
    "                     \"Orphan items\" (each mail marked X-Tolvane-Recovered: yes);\n"
    "                     reads the whole file, so it takes longer\n"
    "  --allow-ost        read FILE even when it is an offline cache file (OST) of a\n"
    "                     server mailbox; its items the cache holds only the header\n"
    "                     of are written with what is there and counted incomplete\n"
    "  --resume OUTPUT_FOLDER\n"
    "                     continue a stopped conversion of FILE.pst in its folder\n"
    "                     (no DEST; the same --format, --folder and --recover as\n"
    "                     the first run): mail files its manifest lists unchanged\n"
    "                     are kept, everything else is removed and written again,\n"
    "                     so the folder ends as a run from the start would (an mbox\n"
    "                     folder's mail is all written again); refused for another\n"
    "                     mailbox or format, or no manifest; a folder whose run\n"
    "                     wrote everything has nothing to resume (status 0)\n"
    "  -h, --help         show this text\n"
    "\n"
    "On a terminal a progress line shows the items written out of all, the rate,\n"
    "the time left and the folder being written. The summary lists the counts\n"
    "that are not zero and the output folder.\n"
    "\n"
    "Exit status: 0 all saved complete, 1 the file cannot be opened (the reason is\n"
    "printed) or is not a PST, also when it cannot be read again for the conversion,\n"
    "2 usage or destination error (missing, or no new folder can be made in it, or\n"
    "a --folder the mailbox does not have), 3 the scan failed (also when the private\n"
    "temporary directory is refused), 4 some items could not be saved, were saved\n"
    "incomplete, or could not be read by the scan (each one is named on stderr),\n"
    "or the manifest could not be made or fully written,\n"
    "5 not enough memory or other system resources (threads, file descriptors),\n"
    "128+N stopped by signal N (SIGINT, SIGTERM) after the file being written, with\n"
    "the summary of what was written. With several files, the highest status of\n"
    "any of them.\n";

// What the options ask of every file's conversion.
struct ConvertOptions {
    OutputFormat format = OutputFormat::Eml;
    QStringList folders;  // paths as the scan prints them
    QString outputName;   // empty: the dated name
    int jobs = 0;         // 0: one per core
    bool writeFromRecords = false;
    bool recover = false;
    OstFiles ostFiles = OstFiles::Refused;  // --allow-ost
    bool dryRun = false;
    bool quiet = false;
    bool json = false;
    QString resumeFolder;                      // --resume, as typed
    std::shared_ptr<const ResumePlan> resume;  // made from it before the scan
};

// The conversion's sink on the command line: progress on the terminal's
// line, problems above it as they happen (and kept for --json), the final
// notice on stderr unless the run is quiet and all went well.
class TerminalConversionSink : public ConversionSink {
public:
    TerminalConversionSink(const ConvertOptions& options, TerminalProgress& progress, const FolderPaths& folders)
        : options_(options), progress_(progress), folders_(folders)
    {
    }
    bool WriteFromScanRecords(const QString& reason) override
    {
        progress_.PrintAbove(
            QStringLiteral("tolvane-cli convert: the mailbox cannot be read again: %1\n").arg(TerminalText(reason)));
        if (options_.writeFromRecords)
            progress_.PrintAbove(QStringLiteral("tolvane-cli convert: writing what the scan kept (--from-records); "
                                                "every file is marked incomplete\n"));
        return options_.writeFromRecords;
    }
    void SetProgress(const ConversionPosition& position) override
    {
        if (!progress_.drawing())
            return;
        ConversionPosition shown = position;
        if (position.folder != lastKey_) {
            lastKey_ = position.folder;
            lastPath_ = position.folder.isEmpty() ? QString() : folders_.PathOf(position.folder);
        }
        shown.folder = lastPath_;
        progress_.ShowConversion(shown);
    }
    void ReportProblem(const QString& text) override
    {
        problems_ << text;
        progress_.PrintAbove(TerminalText(text) + u'\n');
    }
    void ShowCompletion(const ConversionSummary& summary) override
    {
        notice_ = CompletionNoticeText(summary);
        progress_.Keep();
        if (options_.json || (options_.quiet && summary.allSaved()))
            return;
        PrintError(TerminalLines(notice_) + u'\n');
    }
    const QStringList& problems() const { return problems_; }
    const QString& notice() const { return notice_; }

private:
    const ConvertOptions& options_;
    TerminalProgress& progress_;
    const FolderPaths& folders_;
    QString lastKey_;
    QString lastPath_;
    QStringList problems_;
    QString notice_;
};

// The walks of a conversion show their notices as a scan does, except the
// scan's "Analysis completed", which would come before or in the middle of
// the conversion's own lines.
class ConvertScanSink : public HeadlessScanSink {
public:
    explicit ConvertScanSink(bool quietCompletion) : quietCompletion_(quietCompletion) {}
    void ShowNotice(const QString& text) override
    {
        if (!quietCompletion_ || !text.startsWith(QLatin1String(kScanCompletedNotice)))
            HeadlessScanSink::ShowNotice(text);
    }

private:
    bool quietCompletion_;
};

// Takes the options that carry a value ("--format mbox", "--format=mbox")
// out of `arguments`; false with a reason when one is malformed.
bool TakeValueOptions(QStringList& arguments, ConvertOptions& options, QString* error)
{
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--")) {
            rest += arguments.mid(i);
            break;
        }
        QString name;
        QString value;
        for (const char* option : {"--format", "--folder", "--jobs", "--output-name", "--resume"}) {
            const QString text = QString::fromLatin1(option);
            if (argument == text) {
                if (i + 1 >= arguments.size()) {
                    *error = QStringLiteral("%1 needs a value").arg(text);
                    return false;
                }
                name = text;
                value = arguments[++i];
            } else if (argument.startsWith(text + u'=')) {
                name = text;
                value = argument.mid(text.size() + 1);
            }
        }
        if (name.isEmpty()) {
            rest << argument;
        } else if (name == QLatin1String("--format")) {
            const auto format = OutputFormatNamed(value);
            if (!format) {
                *error = QStringLiteral("unknown format %1 (eml, mbox, mboxtree or maildir)").arg(TerminalText(value));
                return false;
            }
            options.format = *format;
        } else if (name == QLatin1String("--jobs")) {
            bool number = false;
            const int jobs = value.toInt(&number);
            if (!number || jobs < 1 || jobs > 64) {
                *error = QStringLiteral("--jobs takes a number of threads from 1 to 64, not %1").arg(TerminalText(value));
                return false;
            }
            options.jobs = jobs;
        } else if (name == QLatin1String("--output-name")) {
            if (value.isEmpty() || value == QLatin1String(".") || value == QLatin1String("..")
                || value.contains(u'/')) {
                *error = QStringLiteral("--output-name takes a folder name without \"/\", not \"%1\"")
                             .arg(TerminalText(value));
                return false;
            }
            options.outputName = value;
        } else if (name == QLatin1String("--resume")) {
            options.resumeFolder = value;
        } else {
            options.folders << value;
        }
    }
    arguments = rest;
    return true;
}

// The statuses of a finished conversion, in the order they win.
int ExitStatusOf(const ConversionSummary& summary, const QStringList& skipped, int signalNumber)
{
    if (signalNumber != 0)
        return 128 + signalNumber;
    if (summary.memoryShort)
        return kExitNoResources;
    if (summary.mailboxUnreadable())
        return kExitCannotOpen;
    if (summary.Has(RunProblem::Kind::WalkEnded))
        return kExitScanFailed;
    // Without its manifest the folder cannot be verified: the run did not do
    // all it should, though it went on to the end (so not 5, which says the
    // run itself stopped).
    return summary.allSaved() && skipped.isEmpty() ? kExitOk : kExitSomeNotSaved;
}

int ConvertOne(const QString& pstPath, const QString& destination, const QString& outputFolderName,
               const ConvertOptions& options, const ProcessTempDir& tempDir, InterruptWatcher& interrupts);
int ResumeConversion(const QStringList& files, ConvertOptions& options, const ProcessTempDir& tempDir);

}  // namespace

int RunConvertCommand(const QStringList& arguments, const ProcessTempDir& tempDir)
{
    ParsedArguments parsed;
    QString error;
    ConvertOptions options;
    QStringList remaining = arguments;
    if (!TakeValueOptions(remaining, options, &error)
        || !ParseArguments(remaining,
                           {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--from-records"),
                            QStringLiteral("--recover"), QStringLiteral("--allow-ost"), QStringLiteral("--dry-run"),
                            QStringLiteral("--quiet"), QStringLiteral("-q"), QStringLiteral("--json")},
                           &parsed, &error)) {
        PrintError(QStringLiteral("tolvane-cli convert: %1\n").arg(error) + QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    if (parsed.has(QStringLiteral("--help")) || parsed.has(QStringLiteral("-h"))) {
        PrintOut(QString::fromLatin1(kConvertUsage));
        return kExitOk;
    }
    options.writeFromRecords = parsed.has(QStringLiteral("--from-records"));
    options.recover = parsed.has(QStringLiteral("--recover"));
    options.ostFiles = parsed.has(QStringLiteral("--allow-ost")) ? OstFiles::Accepted : OstFiles::Refused;
    options.dryRun = parsed.has(QStringLiteral("--dry-run"));
    options.quiet = parsed.has(QStringLiteral("--quiet")) || parsed.has(QStringLiteral("-q"));
    options.json = parsed.has(QStringLiteral("--json"));
    if (!options.resumeFolder.isEmpty() && !options.outputName.isEmpty()) {
        PrintError(QStringLiteral("tolvane-cli convert: --output-name names a new folder; --resume continues the "
                                  "folder it is given\n"));
        return kExitUsage;
    }
    if (!options.resumeFolder.isEmpty())
        return ResumeConversion(parsed.positional, options, tempDir);
    if (parsed.positional.size() < 2) {
        PrintError(QStringLiteral("tolvane-cli convert: expected FILE.pst and DEST\n") +
                   QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    const QStringList files = parsed.positional.mid(0, parsed.positional.size() - 1);
    if (!options.outputName.isEmpty() && files.size() > 1) {
        PrintError(QStringLiteral("tolvane-cli convert: --output-name names the folder of one FILE.pst; with several, "
                                  "each folder is named after its file\n"));
        return kExitUsage;
    }
    const QString destination = AbsolutePath(parsed.positional.last());
    if (CheckDestination(destination) != DestinationCheck::Accepted) {
        PrintError(QStringLiteral("tolvane-cli: ") + DestinationProblemText(destination) + u'\n');
        return kExitUsage;
    }
    InterruptWatcher interrupts;
    if (files.size() == 1)
        return ConvertOne(AbsolutePath(files.first()), destination, options.outputName, options, tempDir, interrupts);
    // Several mailboxes: each into a folder named after its file.
    int status = kExitOk;
    for (const QString& file : files) {
        const QString pstPath = AbsolutePath(file);
        if (!options.quiet && !options.json)
            PrintOut(QStringLiteral("== %1\n").arg(TerminalText(pstPath)));
        QString name = QFileInfo(pstPath).completeBaseName();
        if (name.isEmpty())
            name = QStringLiteral("mailbox");
        const int fileStatus = ConvertOne(pstPath, destination, name, options, tempDir, interrupts);
        status = std::max(status, fileStatus);
        if (interrupts.signalNumber() != 0)
            break;
    }
    return status;
}

namespace {

// A run's choices as the options that ask for them.
QString ChoicesAsOptions(const OutputChoices& choices)
{
    QStringList options;
    for (const QString& folder : choices.folders)
        options << QStringLiteral("--folder \"%1\"").arg(TerminalText(folder));
    if (!choices.withSubfolders)
        options << QStringLiteral("(its folders without their subfolders)");
    if (choices.recover)
        options << QStringLiteral("--recover");
    if (choices.fromRecords)
        options << QStringLiteral("--from-records");
    return options.isEmpty() ? QStringLiteral("every folder and no other option") : options.join(u' ');
}

// The name the output folder gets: the one asked for, or the dated one.
QString OutputFolderBaseName(const QString& asked)
{
    return asked.isEmpty() ? OutputFolderName(QDateTime::currentDateTime()) : asked;
}

// --resume: the folder checked against FILE.pst before anything is read or
// written, then converted into as ConvertOne does.
int ResumeConversion(const QStringList& files, ConvertOptions& options, const ProcessTempDir& tempDir)
{
    if (files.size() != 1) {
        PrintError(QStringLiteral("tolvane-cli convert: --resume takes FILE.pst alone, no DEST\n")
                   + QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    const QString folder = QDir::cleanPath(AbsolutePath(options.resumeFolder));
    auto plan = ResumePlan::Make(folder, AbsolutePath(files.first()), options.format);
    if (!plan) {
        PrintError(QStringLiteral("tolvane-cli: %1: %2\n")
                       .arg(TerminalText(options.resumeFolder), ResumeFailureText(plan.error())));
        return kExitUsage;
    }
    if (plan->finished()) {
        if (options.json)
            PrintJsonLine(QJsonObject{{QStringLiteral("file"), AbsolutePath(files.first())},
                                      {QStringLiteral("outputFolder"), folder},
                                      {QStringLiteral("ended"), QStringLiteral("nothing-to-resume")},
                                      {QStringLiteral("exitStatus"), kExitOk}});
        else if (!options.quiet)
            PrintOut(QStringLiteral("%1: the conversion into it finished; nothing to resume\n")
                         .arg(TerminalText(options.resumeFolder)));
        return kExitOk;
    }
    options.resume = std::make_shared<const ResumePlan>(std::move(*plan));
    InterruptWatcher interrupts;
    return ConvertOne(AbsolutePath(files.first()), QFileInfo(folder).absolutePath(), QString(), options, tempDir,
                      interrupts);
}

int ConvertOne(const QString& pstPath, const QString& destination, const QString& outputFolderName,
               const ConvertOptions& options, const ProcessTempDir& tempDir, InterruptWatcher& interrupts)
{
    // With --json, a file that is not converted at all still gets its object.
    auto notConverted = [&](NotConverted why, int status, const QString& error) {
        if (options.json)
            PrintJsonLine(NotConvertedJson(pstPath, why, status, error));
        return status;
    };
    auto interruptedExit = [&](const char* when) {
        const QString text = QStringLiteral("interrupted by %1 %2")
                                 .arg(QString::fromLatin1(SignalName(interrupts.signalNumber())),
                                      QString::fromLatin1(when));
        PrintError(QStringLiteral("tolvane-cli convert: ") + text + u'\n');
        return notConverted(NotConverted::Interrupted, 128 + interrupts.signalNumber(), text);
    };
    TerminalProgress progress(TerminalProgress::TerminalsAttached() && !options.quiet && !options.json);

    // One pass: a walk of the folders alone (the output folders, the folders
    // asked for, the counts), then the conversion walks the items beside its
    // writing and reads each one once. A search for deleted items reads the
    // whole file before its folders are known, so a conversion that recovers
    // scans first and converts after.
    const bool onePass = !options.recover;
    ItemStore store;  // the folders, or with --recover the whole scan
    ItemStore items;  // one pass: what the walk beside the conversion finds
    ConvertScanSink folderSink(true);
    // The walk that reads the items: what it skipped is the summary's.
    ConvertScanSink scanSink(onePass);
    (onePass ? folderSink : scanSink).DrawProgressOn(&progress, pstPath);
    WorkerGate scanGate;
    InstallTestHold(QStringLiteral("scan"), scanGate, interrupts);
    interrupts.setOnInterrupt([&scanGate] { scanGate.Abandon(); });
    // The conversion reads every mail once and takes its name and time from
    // that read: the walk only says where each one is. What the list would
    // show is read only to write from the records when the mailbox cannot be
    // read again.
    const bool writeFromRecords = options.writeFromRecords;
    const ItemDetail itemDetail = writeFromRecords ? ItemDetail::Listed : ItemDetail::WhereOnly;
    const ScanOutcome outcome =
        RunHeadlessScan(pstPath, store, tempDir, onePass ? folderSink : scanSink, nullptr, &scanGate,
                        onePass ? ItemDetail::FoldersOnly : itemDetail, options.recover, nullptr, options.ostFiles);
    progress.Clear();
    // From here on the walk beside the conversion only prints above the line.
    scanSink.DrawProgressOn(&progress, QString());
    interrupts.setOnInterrupt({});
    if (interrupts.signalNumber() != 0)
        return interruptedExit("during the scan; nothing was written");
    const QString& scanProblem = (onePass ? folderSink : scanSink).mailboxProblem();
    switch (outcome) {
    case ScanOutcome::Completed:
        break;
    case ScanOutcome::NotPst:
    case ScanOutcome::OpenFailed:
        return notConverted(NotConverted::Unreadable, kExitCannotOpen, scanProblem);
    case ScanOutcome::NoResources:
        return notConverted(NotConverted::OutOfMemory, kExitNoResources, scanProblem);
    case ScanOutcome::ScanFailed:
    case ScanOutcome::Abandoned:
        return notConverted(NotConverted::ScanFailed, kExitScanFailed, scanProblem);
    }

    // The folders asked for, checked before anything is written.
    QStringList selectedKeys;
    const FolderPaths folders(store.folderNodes());
    for (const QString& path : options.folders) {
        const auto key = folders.KeyOf(path);
        if (!key) {
            const QString text = QStringLiteral("%1: no folder %2 (tolvane-cli scan --paths lists them)")
                                     .arg(TerminalText(pstPath), TerminalText(path));
            PrintError(QStringLiteral("tolvane-cli: ") + text + u'\n');
            return notConverted(NotConverted::Refused, kExitUsage, text);
        }
        selectedKeys << *key;
    }

    // A resumed folder is continued only with what its run was asked for.
    if (options.resume) {
        const OutputChoices asked =
            OutputChoices::Of(FolderSelection{selectedKeys}, folders, options.recover, options.writeFromRecords);
        if (asked != options.resume->choices()) {
            PrintError(QStringLiteral("tolvane-cli: %1: was converted with %2, not with %3; resume it with the same "
                                      "options\n")
                           .arg(TerminalText(options.resumeFolder), ChoicesAsOptions(options.resume->choices()),
                                ChoicesAsOptions(asked)));
            return kExitUsage;
        }
    }

    if (options.dryRun) {
        DryRun plan;
        plan.file = pstPath;
        plan.outputFolder = options.resume ? options.resume->outputFolder()
                                           : destination + u'/' + OutputFolderBaseName(outputFolderName);
        plan.resume = options.resume.get();
        plan.format = options.format;
        plan.selectedKeys = selectedKeys;
        plan.store = &store;
        if (options.json)
            PrintJsonLine(DryRunJson(plan));
        else if (!options.quiet)
            PrintOut(DryRunLines(plan).join(u'\n') + u'\n');
        return kExitOk;
    }

    TerminalConversionSink sink(options, progress, folders);
    ConversionDriver driver;
    ConversionRequest request;
    request.format = options.format;
    request.selectedFolders.keys = selectedKeys;
    request.outputFolderName = outputFolderName;
    request.resume = options.resume;
    request.fromRecords = options.writeFromRecords;
    request.pstPath = pstPath;
    request.destinationPath = destination;
    request.store = &store;
    request.sink = &sink;
    request.workers = options.jobs;
    request.stopRequested = &interrupts.stopRequested();
    WorkerGate conversionGate;
    if (TestHoldRequested(QStringLiteral("convert"))) {
        InstallTestHold(QStringLiteral("convert"), conversionGate, interrupts);
        request.gate = &conversionGate;
    }
    WorkerGate walkGate;
    if (onePass) {
        request.itemWalk = ItemWalk{&items, &walkGate, [&](ScanEvents& along) {
                                        return RunHeadlessScan(pstPath, items, tempDir, scanSink, nullptr, &walkGate,
                                                               itemDetail, false, &along, options.ostFiles);
                                    }};
    }
    // A signal stops the walk as well as the writing.
    interrupts.setOnInterrupt([&walkGate] { walkGate.Abandon(); });
    const ItemStore& records = onePass ? items : store;
    // Said on stderr after the command's name; with --json in the file's object too.
    const auto notStarted = [&](NotConverted why, int status, const QString& prefix, const QString& text) {
        PrintError(prefix + text + u'\n');
        return notConverted(why, status, text);
    };
    const QString toolPrefix = QStringLiteral("tolvane-cli: ");
    const QString commandPrefix = QStringLiteral("tolvane-cli convert: ");
    if (const ConversionStart started = driver.Start(request); !started) {
        switch (started.error().refusal) {
        case StartRefusal::DestinationEmpty:
        case StartRefusal::DestinationMissing:
            return notStarted(NotConverted::Refused, kExitUsage, toolPrefix, DestinationProblemText(destination));
        case StartRefusal::NoResources:
            return notStarted(NotConverted::OutOfMemory, kExitNoResources, commandPrefix,
                              QStringLiteral("not enough memory or threads to start the conversion"));
        case StartRefusal::DestinationNotWritable:
            return notStarted(NotConverted::Refused, kExitUsage, toolPrefix,
                              QStringLiteral("%1: %2").arg(TerminalText(destination), TerminalText(started.error().reason)));
        case StartRefusal::AlreadyRunning:
            return notStarted(NotConverted::Refused, kExitUsage, commandPrefix,
                              QStringLiteral("a conversion is already running"));
        }
    }
    const ConversionSummary summary = driver.Wait();
    interrupts.setOnInterrupt({});
    progress.Keep();

    ConvertRun run;
    run.file = pstPath;
    run.summary = summary;
    run.folders = store.folderNodeCount();
    run.skipped = scanSink.skippedItems();
    run.notConverted = records.notConvertedItems();
    run.problems = sink.problems();
    run.recovery = store.recoveryReport();
    run.notice = sink.notice();
    run.signalNumber = interrupts.signalNumber();
    run.exitStatus = ExitStatusOf(summary, run.skipped, run.signalNumber);

    if (options.json)
        PrintJsonLine(EndingJson(run));
    else if (!options.quiet)
        PrintOut(EndingLines(run).join(u'\n') + u'\n');
    PrintSkippedItems(run.skipped);
    if (!options.quiet && !options.json)
        PrintNotConvertedItems(run.notConverted);
    if (run.signalNumber != 0) {
        const QString signalName = QString::fromLatin1(SignalName(run.signalNumber));
        const QString text = summary.interrupted
                                 ? QStringLiteral("Interrupted by %1: the conversion stopped after the file being "
                                                  "written; the rest was not written.\n").arg(signalName)
                                 : QStringLiteral("Interrupted by %1 after the last item was written.\n").arg(signalName);
        if (options.quiet || options.json)
            PrintError(text);
        else
            PrintOut(text);
    }
    return run.exitStatus;
}

}  // namespace

}  // namespace tolvane::cli
