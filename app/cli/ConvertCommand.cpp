// tolvane-cli convert: scans a PST file and converts it into a destination
// folder with the same engine, layout and names as the window's Convert.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/TestHold.h"

#include "convert/ConversionDriver.h"
#include "scan/ItemStore.h"
#include "scan/WorkerGate.h"

#include <cstdio>
#include <unistd.h>

namespace tolvane::cli {

namespace {

constexpr int kExitSomeNotSaved = 4;

const char kConvertUsage[] =
    "Usage: tolvane-cli convert [--from-records] FILE.pst DEST\n"
    "\n"
    "Scans FILE.pst and writes every mail as an .eml file (and every contact as a\n"
    "vCard) into a new dated folder below DEST, one directory per mailbox folder.\n"
    "The folder is always a new one: when the minute's name is taken, -2, -3, ...\n"
    "is added; the summary names the folder made.\n"
    "\n"
    "  --from-records   when FILE.pst cannot be read again after the scan, write\n"
    "                   what the scan kept (no attachments, Cc, Bcc, addresses or\n"
    "                   original headers; every file says so) instead of nothing\n"
    "\n"
    "Exit status: 0 all saved complete, 1 the file cannot be opened (the reason is\n"
    "printed) or is not a PST, also when it cannot be read again for the conversion,\n"
    "2 usage or destination error (missing, or no new folder can be made in it),\n"
    "3 the scan failed (also when the private temporary directory is refused), 4 some\n"
    "items could not be saved, were saved incomplete, or could not be read by the\n"
    "scan (each one is named on stderr), 5 not enough memory or other system\n"
    "resources (threads, file descriptors), 128+N stopped by signal N (SIGINT,\n"
    "SIGTERM) after the file being written, with the summary of what was written.\n";

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
    void ShowNotice(const QString& text) override
    {
        if (terminal_)
            std::fprintf(stderr, "\r%30s\r", "");
        PrintError(TerminalLines(text) + u'\n');
    }

private:
    bool terminal_;
    bool writeFromRecords_;
    int last_ = -1;
};

}  // namespace

int RunConvertCommand(const QStringList& arguments, const ProcessTempDir& tempDir)
{
    ParsedArguments parsed;
    QString error;
    if (!ParseArguments(arguments, {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--from-records")},
                        &parsed, &error)) {
        PrintError(QStringLiteral("tolvane-cli convert: %1\n").arg(error) + QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    if (parsed.has(QStringLiteral("--help")) || parsed.has(QStringLiteral("-h"))) {
        PrintOut(QString::fromLatin1(kConvertUsage));
        return kExitOk;
    }
    if (parsed.positional.size() != 2) {
        PrintError(QStringLiteral("tolvane-cli convert: expected FILE.pst and DEST\n") +
                   QString::fromLatin1(kConvertUsage));
        return kExitUsage;
    }
    const QString pstPath = AbsolutePath(parsed.positional.at(0));
    const QString destination = AbsolutePath(parsed.positional.at(1));
    if (CheckDestination(destination) != DestinationCheck::Accepted) {
        PrintError(QString::fromLatin1(kDestinationNoticeText) + u'\n');
        return kExitUsage;
    }

    InterruptWatcher interrupts;
    auto interruptedExit = [&interrupts](const char* when) {
        PrintError(QStringLiteral("tolvane-cli convert: interrupted by %1 %2\n")
                       .arg(QString::fromLatin1(SignalName(interrupts.signalNumber())), QString::fromLatin1(when)));
        return 128 + interrupts.signalNumber();
    };

    ItemStore store;
    HeadlessScanSink scanSink;
    WorkerGate scanGate;
    InstallTestHold(QStringLiteral("scan"), scanGate, interrupts);
    interrupts.setOnInterrupt([&scanGate] { scanGate.Abandon(); });
    // The conversion reads every message again; the scan's bodies and
    // recipient names are needed only to write from the records instead.
    const bool writeFromRecords = parsed.has(QStringLiteral("--from-records"));
    const ScanOutcome outcome =
        RunHeadlessScan(pstPath, store, tempDir, scanSink, nullptr, &scanGate, /*keepContents=*/writeFromRecords);
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

    TerminalConversionSink sink(writeFromRecords);
    ConversionDriver driver;
    ConversionRequest request;
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
    const QStringList skipped = scanSink.skippedItems();
    const QString outputFolder = summary.outputRoot.isEmpty() ? QStringLiteral("none") : summary.outputRoot;
    PrintOut(QStringLiteral("Folders: %1\nMails saved: %2\nMails saved incomplete: %3\nMails failed: %4\n"
                            "Embedded messages carried: %5\nContacts saved: %6\nContacts failed: %7\n")
                 .arg(store.folderNodeCount())
                 .arg(summary.mailSaved)
                 .arg(summary.mailIncomplete)
                 .arg(summary.mailFailed)
                 .arg(summary.embeddedCarried)
                 .arg(summary.contactsSaved)
                 .arg(summary.contactsFailed));
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
    PrintOut(QStringLiteral("Items skipped (unreadable): %1\nOutput folder: %2\n")
                 .arg(skipped.size())
                 .arg(TerminalText(outputFolder)));
    PrintSkippedItems(skipped);
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
    return summary.allSaved() && skipped.isEmpty() ? kExitOk : kExitSomeNotSaved;
}

}  // namespace tolvane::cli
