// tolvane-cli verify: checks an output folder against the manifest the
// conversion wrote into it. What the check finds is typed (OutputVerifier.h);
// the words for it are made here, in one place.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"

#include "convert/output/OutputVerifier.h"

namespace tolvane::cli {

namespace {

constexpr int kExitMismatch = 4;

const char kVerifyUsage[] =
    "Usage: tolvane-cli verify OUTPUT_FOLDER\n"
    "\n"
    "Reads OUTPUT_FOLDER/manifest.jsonl and checks every file it lists: there,\n"
    "a regular file, and the same bytes (SHA-256) as when it was written; a file\n"
    "several mails share (an mbox) is checked message by message and whole.\n"
    "Files the manifest does not list are reported too. Nothing is followed out\n"
    "of the folder: a symbolic link, FIFO or device where a file or folder was\n"
    "written counts as changed or extra, and OUTPUT_FOLDER itself must not be a\n"
    "link. Prints one line per file that is missing, changed or extra, then the\n"
    "counts. A manifest without its summary line (the conversion did not finish)\n"
    "or whose summary says the run stopped early is reported as incomplete.\n"
    "\n"
    "Exit status: 0 every file matches and nothing else is there, 1 the manifest\n"
    "cannot be read (also a line longer than 1 MiB), 2 usage error, 4 a file is\n"
    "missing, changed or extra, the manifest is incomplete, or OUTPUT_FOLDER is a\n"
    "symbolic link.\n";

QString KindText(EntryKind kind)
{
    switch (kind) {
    case EntryKind::RegularFile: return QStringLiteral("a regular file");
    case EntryKind::Directory: return QStringLiteral("a directory");
    case EntryKind::SymbolicLink: return QStringLiteral("a symbolic link");
    case EntryKind::Fifo: return QStringLiteral("a FIFO");
    case EntryKind::Device: return QStringLiteral("a device");
    case EntryKind::Socket: return QStringLiteral("a socket");
    case EntryKind::Other: return QStringLiteral("not a regular file");
    }
    return QString();
}

// "changed: PATH", or with why in parentheses before the colon; the path
// always ends the line.
QString FindingLine(const VerifyFinding& finding)
{
    using Fault = VerifyFinding::Fault;
    const QString path = TerminalText(finding.path);
    switch (finding.fault) {
    case Fault::Missing: return QStringLiteral("missing: %1\n").arg(path);
    case Fault::Changed: return QStringLiteral("changed: %1\n").arg(path);
    case Fault::NotRegular:
        return QStringLiteral("changed (%1, not a regular file): %2\n").arg(KindText(finding.kind), path);
    case Fault::BrokenWay:
        return QStringLiteral("changed (a folder on its path is a symbolic link or no folder): %1\n").arg(path);
    case Fault::OutsideFolder: return QStringLiteral("changed (the path leads out of the folder): %1\n").arg(path);
    case Fault::Unreadable: return QStringLiteral("changed (cannot be read): %1\n").arg(path);
    case Fault::Uncovered:
        return QStringLiteral("changed (no whole-file line, and its messages do not cover it): %1\n").arg(path);
    case Fault::Extra:
        return finding.kind == EntryKind::RegularFile
                   ? QStringLiteral("extra: %1\n").arg(path)
                   : QStringLiteral("extra (%1): %2\n").arg(KindText(finding.kind), path);
    case Fault::TooDeep: return QStringLiteral("extra (a folder too deep to check): %1\n").arg(path);
    }
    return QString();
}

}  // namespace

int RunVerifyCommand(const QStringList& arguments)
{
    ParsedArguments parsed;
    QString error;
    if (!ParseArguments(arguments, {QStringLiteral("--help"), QStringLiteral("-h")}, &parsed, &error)) {
        PrintError(QStringLiteral("tolvane-cli verify: %1\n").arg(error) + QString::fromLatin1(kVerifyUsage));
        return kExitUsage;
    }
    if (parsed.has(QStringLiteral("--help")) || parsed.has(QStringLiteral("-h"))) {
        PrintOut(QString::fromLatin1(kVerifyUsage));
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        PrintError(QStringLiteral("tolvane-cli verify: expected OUTPUT_FOLDER\n") + QString::fromLatin1(kVerifyUsage));
        return kExitUsage;
    }
    const QString folder = AbsolutePath(parsed.positional.first());
    const VerifyReport report = VerifyOutput(folder);
    using Standing = VerifyReport::Standing;
    switch (report.standing) {
    case Standing::Unreadable:
        PrintError(QStringLiteral("tolvane-cli verify: %1\n").arg(TerminalText(report.detail)));
        return kExitCannotOpen;
    case Standing::FolderLink:
        PrintOut(QStringLiteral("Not checked: %1 is a symbolic link; verify checks the output folder itself, "
                                "never a link to one\n")
                     .arg(TerminalText(folder)));
        return kExitMismatch;
    case Standing::Incomplete:
        PrintOut(QStringLiteral("Incomplete: the manifest has no summary; the conversion did not finish\n"));
        break;
    case Standing::Stopped:
        PrintOut(QStringLiteral("Incomplete: the conversion stopped early (%1); what it did not write is not "
                                "listed\n")
                     .arg(TerminalText(report.detail)));
        break;
    case Standing::Complete:
        break;
    }
    for (const CountMismatch& counts : report.countMismatches) {
        PrintOut(QStringLiteral("Lines missing or added: the summary counts %1 %2 written and %3 not written, "
                                "the manifest lists %4 and %5\n")
                     .arg(counts.summaryWritten)
                     .arg(TerminalText(counts.kind))
                     .arg(counts.summaryNotWritten)
                     .arg(counts.listedWritten)
                     .arg(counts.listedNotWritten));
    }
    using Fault = VerifyFinding::Fault;
    for (const VerifyFinding& finding : report.findings)
        PrintOut(FindingLine(finding));
    const int extra = report.count(Fault::Extra) + report.count(Fault::TooDeep);
    const int missing = report.count(Fault::Missing);
    PrintOut(QStringLiteral("Checked: %1\nMissing: %2\nChanged: %3\nExtra: %4\n")
                 .arg(report.checked)
                 .arg(missing)
                 .arg(static_cast<int>(report.findings.size()) - missing - extra)
                 .arg(extra));
    return report.allMatch() ? kExitOk : kExitMismatch;
}

}  // namespace tolvane::cli
