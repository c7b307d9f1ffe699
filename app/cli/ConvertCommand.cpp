// tolvane-cli convert: scans a PST file and converts it into a destination
// folder with the same engine, layout and names as the window's Convert.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"
#include "app/RecoveryText.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/TestHold.h"

#include "app/ConversionText.h"
#include "convert/ConversionDriver.h"
#include "convert/output/ResumePlan.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "scan/WorkerGate.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>

#include <cstdio>
#include <unistd.h>

namespace tolvane::cli {

namespace {

constexpr int kExitSomeNotSaved = 4;

const char kConvertUsage[] =
    "Usage: tolvane-cli convert [--format eml|mbox|maildir] [--folder PATH]...\n"
    "                           [--from-records] [--recover] FILE.pst... DEST\n"
    "       tolvane-cli convert --resume OUTPUT_FOLDER [--format eml|maildir]\n"
    "                           [--folder PATH]... [--recover] FILE.pst\n"
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
    "  --format mbox      one mbox file (mboxrd) per mailbox folder\n"
    "  --format maildir   a Maildir++ tree in Maildir/ with the messages' flags\n"
    "                     (contacts and calendars go beside, as with eml)\n"
    "  --folder PATH      only this folder and those below it, PATH as\n"
    "                     tolvane-cli scan --paths prints it; may be repeated\n"
    "  --from-records     when FILE.pst cannot be read again after the scan, write\n"
    "                     what the scan kept (no attachments, Cc, Bcc, addresses or\n"
    "                     original headers; every file says so) instead of nothing\n"
    "  --recover          also write the deleted items the file still holds and the\n"
    "                     items whose folder is gone, into \"Recovered items\" and\n"
    "                     \"Orphan items\" (each mail marked X-Tolvane-Recovered: yes);\n"
    "                     reads the whole file, so it takes longer\n"
    "  --resume OUTPUT_FOLDER\n"
    "                     continue a stopped conversion of FILE.pst in its folder\n"
    "                     (no DEST; the same --format, --folder and --recover as\n"
    "                     the first run): mail files its manifest lists unchanged\n"
    "                     are kept, everything else is removed and written again,\n"
    "                     so the folder ends as a run from the start would; refused\n"
    "                     for another mailbox or format, mbox, or no manifest; a\n"
    "                     folder whose run wrote everything has nothing to resume\n"
    "                     (status 0)\n"
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

// Progress on stderr, only when it is a terminal.
class TerminalConversionSink : public ConversionSink {
public:
    explicit TerminalConversionSink(bool writeFromRecords)
        : terminal_(isatty(STDERR_FILENO) == 1), writeFromRecords_(writeFromRecords)
    {
    }
    bool WriteFromScanRecords(const QString& reason) override
    {
        PrintError(QStringLiteral("tolvane-cli convert: the mailbox cannot be read again: %1\n").arg(reason));
        if (writeFromRecords_)
            PrintError(QStringLiteral("tolvane-cli convert: writing what the scan kept (--from-records); "
                                      "every file is marked incomplete\n"));
        return writeFromRecords_;
    }
    void SetProgress(int position) override
    {
        if (!terminal_ || position == last_)
            return;
        last_ = position;
        const int filled = position / 5;
        std::fprintf(stderr, "\r[%-20.*s] %3d%%", filled, "####################", position);
        std::fflush(stderr);
    }
    void ReportProblem(const QString& text) override
    {
        if (terminal_)
            std::fprintf(stderr, "\r%30s\r", "");
        PrintError(TerminalText(text) + u'\n');
    }
    void ShowCompletion(const ConversionSummary& summary) override
    {
        const QString text = CompletionNoticeText(summary);
        if (terminal_)
            std::fprintf(stderr, "\r%30s\r", "");
        PrintError(TerminalLines(text) + u'\n');
    }

private:
    bool terminal_;
    bool writeFromRecords_;
    int last_ = -1;
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

// What the options ask of every file's conversion.
struct ConvertOptions {
    OutputFormat format = OutputFormat::Eml;
    QStringList folders;  // paths as the scan prints them
    bool writeFromRecords = false;
    bool recover = false;
    QString resumeFolder;               // --resume, as typed
    std::shared_ptr<const ResumePlan> resume;  // made from it before the scan
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
        for (const char* option : {"--format", "--folder", "--resume"}) {
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
                *error = QStringLiteral("unknown format %1 (eml, mbox or maildir)").arg(value);
                return false;
            }
            options.format = *format;
        } else if (name == QLatin1String("--resume")) {
            options.resumeFolder = value;
        } else {
            options.folders << value;
        }
    }
    arguments = rest;
    return true;
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
        || !ParseArguments(remaining, {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--from-records"),
                            QStringLiteral("--recover")},
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
    if (!options.resumeFolder.isEmpty())
        return ResumeConversion(parsed.positional, options, tempDir);
    if (parsed.positional.size() < 2) {
        PrintError(QStringLiteral("tolvane-cli convert: expected FILE.pst and DEST\n") +
                   QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    const QString destination = AbsolutePath(parsed.positional.last());
    if (CheckDestination(destination) != DestinationCheck::Accepted) {
        PrintError(QString::fromLatin1(kDestinationNoticeText) + u'\n');
        return kExitUsage;
    }
    InterruptWatcher interrupts;
    const QStringList files = parsed.positional.mid(0, parsed.positional.size() - 1);
    if (files.size() == 1)
        return ConvertOne(AbsolutePath(files.first()), destination, QString(), options, tempDir, interrupts);
    // Several mailboxes: each into a folder named after its file.
    int status = kExitOk;
    for (const QString& file : files) {
        const QString pstPath = AbsolutePath(file);
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
    auto interruptedExit = [&interrupts](const char* when) {
        PrintError(QStringLiteral("tolvane-cli convert: interrupted by %1 %2\n")
                       .arg(QString::fromLatin1(SignalName(interrupts.signalNumber())), QString::fromLatin1(when)));
        return 128 + interrupts.signalNumber();
    };

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
                        onePass ? ItemDetail::FoldersOnly : itemDetail, options.recover);
    interrupts.setOnInterrupt({});
    if (interrupts.signalNumber() != 0)
        return interruptedExit("during the scan; nothing was written");
    switch (outcome) {
    case ScanOutcome::Completed:
        break;
    case ScanOutcome::NotPst:
    case ScanOutcome::OpenFailed:
        return kExitCannotOpen;
    case ScanOutcome::NoResources:
        return kExitNoResources;
    case ScanOutcome::ScanFailed:
    case ScanOutcome::Abandoned:
        return kExitScanFailed;
    }

    // The folders asked for, checked before anything is written.
    QStringList selectedKeys;
    const FolderPaths folders(store.folderNodes());
    for (const QString& path : options.folders) {
        const auto key = folders.KeyOf(path);
        if (!key) {
            PrintError(QStringLiteral("tolvane-cli convert: %1 has no folder %2 (tolvane-cli scan --paths lists "
                                      "them)\n")
                           .arg(TerminalText(pstPath), TerminalText(path)));
            return kExitUsage;
        }
        selectedKeys << *key;
    }

    TerminalConversionSink sink(writeFromRecords);
    ConversionDriver driver;
    ConversionRequest request;
    request.format = options.format;
    request.selectedFolderKeys = selectedKeys;
    request.outputFolderName = outputFolderName;
    request.resume = options.resume;
    request.pstPath = pstPath;
    request.destinationPath = destination;
    request.store = &store;
    request.tempDir = &tempDir;
    request.sink = &sink;
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
                                                               itemDetail, false, &along);
                                    }};
    }
    // A signal stops the walk as well as the writing.
    interrupts.setOnInterrupt([&walkGate] { walkGate.Abandon(); });
    const ItemStore& records = onePass ? items : store;
    switch (driver.Start(request)) {
    case ConversionStart::Started:
        break;
    case ConversionStart::DestinationEmpty:
    case ConversionStart::DestinationMissing:
        PrintError(QString::fromLatin1(kDestinationNoticeText) + u'\n');
        return kExitUsage;
    case ConversionStart::NoResources:
        PrintError(QStringLiteral("tolvane-cli convert: not enough memory or threads to start the conversion\n"));
        return kExitNoResources;
    case ConversionStart::DestinationNotWritable:
        PrintError(QStringLiteral("tolvane-cli convert: %1\n").arg(driver.startFailure()));
        return kExitUsage;
    case ConversionStart::AlreadyRunning:
        PrintError(QStringLiteral("tolvane-cli convert: a conversion is already running\n"));
        return kExitUsage;
    }
    const ConversionSummary summary = driver.Wait();
    interrupts.setOnInterrupt({});
    const QStringList skipped = scanSink.skippedItems();
    const QString outputFolder = summary.outputRoot.isEmpty() ? QStringLiteral("none") : summary.outputRoot;
    PrintOut(QStringLiteral("Folders: %1\nMails saved: %2\nMails saved incomplete: %3\nMails failed: %4\n"
                            "Embedded messages carried: %5\nContacts saved: %6\nContacts failed: %7\n"
                            "Contacts saved incomplete: %8\n")
                 .arg(store.folderNodeCount())
                 .arg(summary.mailSaved)
                 .arg(summary.mailIncomplete)
                 .arg(summary.mailFailed)
                 .arg(summary.embeddedCarried)
                 .arg(summary.contactsSaved)
                 .arg(summary.contactsFailed)
                 .arg(summary.contactsIncomplete));
    PrintOut(QStringLiteral("Appointments saved: %1\nAppointments saved incomplete: %8\nAppointments failed: %2\n"
                            "Tasks saved: %3\nNotes saved: %4\n"
                            "Distribution lists saved: %5\nTasks, notes and lists failed: %6\n"
                            "Calendar files saved: %7\n")
                 .arg(summary.eventsSaved)
                 .arg(summary.eventsFailed)
                 .arg(summary.tasksSaved)
                 .arg(summary.notesSaved)
                 .arg(summary.distributionListsSaved)
                 .arg(summary.otherItemsFailed)
                 .arg(summary.calendarFilesSaved)
                 .arg(summary.eventsIncomplete));
    if (const auto recovery = store.recoveryReport()) {
        for (const QString& line : RecoverySummaryLines(*recovery))
            PrintOut(line + u'\n');
        if (summary.recovered.any())
            PrintOut(RecoveredMailText(summary.recovered) + u'\n');
    }
    PrintOut(QStringLiteral("Items skipped (unreadable): %1\nOutput folder: %2\n")
                 .arg(skipped.size())
                 .arg(TerminalText(outputFolder)));
    PrintSkippedItems(skipped);
    PrintNotConvertedItems(records.notConvertedItems());
    if (interrupts.signalNumber() != 0) {
        const QString signalName = QString::fromLatin1(SignalName(interrupts.signalNumber()));
        PrintOut(summary.interrupted
                     ? QStringLiteral("Interrupted by %1: the conversion stopped after the file being written; "
                                      "the rest was not written.\n").arg(signalName)
                     : QStringLiteral("Interrupted by %1 after the last item was written.\n").arg(signalName));
        return 128 + interrupts.signalNumber();
    }
    if (summary.memoryShort)
        return kExitNoResources;
    if (summary.mailboxUnreadable())
        return kExitCannotOpen;
    if (!summary.walkFailure.isEmpty())
        return kExitScanFailed;
    // Without its manifest the folder cannot be verified: the run did not do
    // all it should, though it went on to the end (so not 5, which says the
    // run itself stopped).
    return summary.allSaved() && skipped.isEmpty() ? kExitOk : kExitSomeNotSaved;
}

}  // namespace

}  // namespace tolvane::cli
