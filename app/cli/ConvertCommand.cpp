// tolvane-cli convert: scans a PST file and converts it into a destination
// folder with the same engine, layout and names as the window's Convert.
#include "Commands.h"
#include "HeadlessScan.h"

#include "ConversionDriver.h"
#include "ItemStore.h"

#include <cstdio>
#include <unistd.h>

namespace tolvane::cli {

namespace {

constexpr int kExitSomeNotSaved = 4;

const char kConvertUsage[] =
    "Usage: tolvane-cli convert FILE.pst DEST\n"
    "\n"
    "Scans FILE.pst and writes every mail as an .eml file (and every contact as a\n"
    "vCard) into a new dated folder below DEST, one directory per mailbox folder.\n"
    "\n"
    "Exit status: 0 all saved, 1 the file cannot be opened (the reason is printed)\n"
    "or is not a PST, 2 usage or destination error, 3 the scan failed (also when the\n"
    "private temporary directory is refused), 4 some items could not be saved or\n"
    "could not be read by the scan (each one is named on stderr), 5 not enough\n"
    "memory or other system resources (threads, file descriptors).\n";

// Progress on stderr, only when it is a terminal.
class TerminalConversionSink : public ConversionSink {
public:
    TerminalConversionSink() : terminal_(isatty(STDERR_FILENO) == 1) {}
    void SetProgress(int position) override
    {
        if (!terminal_ || position == last_)
            return;
        last_ = position;
        const int filled = position / 5;
        std::fprintf(stderr, "\r[%-20.*s] %3d%%", filled, "####################", position);
        std::fflush(stderr);
    }
    void ShowNotice(const QString& text) override
    {
        if (terminal_)
            std::fprintf(stderr, "\r%30s\r", "");
        PrintError(text + u'\n');
    }

private:
    bool terminal_;
    int last_ = -1;
};

}  // namespace

int RunConvertCommand(const QStringList& arguments)
{
    ParsedArguments parsed;
    QString error;
    if (!ParseArguments(arguments, {QStringLiteral("--help"), QStringLiteral("-h")}, &parsed, &error)) {
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

    ItemStore& store = itemStore();
    HeadlessScanSink scanSink;
    const ScanOutcome outcome = RunHeadlessScan(pstPath, store, scanSink);
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

    TerminalConversionSink sink;
    ConversionDriver driver;
    ConversionRequest request;
    request.pstPath = pstPath;
    request.destinationPath = destination;
    request.store = &store;
    request.sink = &sink;
    switch (driver.Start(request)) {
    case ConversionStart::Started:
        break;
    case ConversionStart::DestinationEmpty:
    case ConversionStart::DestinationMissing:
        PrintError(QString::fromLatin1(kDestinationNoticeText) + u'\n');
        return kExitUsage;
    case ConversionStart::AlreadyRunning:
        PrintError(QStringLiteral("tolvane-cli convert: a conversion is already running\n"));
        return kExitUsage;
    }
    const ConversionSummary summary = driver.Wait();
    const QStringList skipped = scanSink.skippedItems();
    PrintOut(QStringLiteral("Folders: %1\nMails saved: %2\nMails failed: %3\nEmbedded messages carried: %4\n"
                            "Contacts saved: %5\nContacts failed: %6\nItems skipped (unreadable): %8\n"
                            "Output folder: %7\n")
                 .arg(store.folderNodeCount())
                 .arg(summary.mailSaved)
                 .arg(summary.mailFailed)
                 .arg(summary.embeddedCarried)
                 .arg(summary.contactsSaved)
                 .arg(summary.contactsFailed)
                 .arg(TerminalText(summary.outputRoot))
                 .arg(skipped.size()));
    PrintSkippedItems(skipped);
    return summary.allSaved() && skipped.isEmpty() ? kExitOk : kExitSomeNotSaved;
}

}  // namespace tolvane::cli
