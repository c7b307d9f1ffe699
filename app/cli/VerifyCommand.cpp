// tolvane-cli verify: checks an output folder against the manifest the
// conversion wrote into it.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"

#include "convert/Manifest.h"

namespace tolvane::cli {

namespace {

constexpr int kExitMismatch = 4;

const char kVerifyUsage[] =
    "Usage: tolvane-cli verify OUTPUT_FOLDER\n"
    "\n"
    "Reads OUTPUT_FOLDER/manifest.jsonl and checks every file it lists: there,\n"
    "and the same bytes (SHA-256) as when it was written. Files the manifest does\n"
    "not list are reported too. Prints one line per file that is missing, changed\n"
    "or extra, then the counts.\n"
    "\n"
    "Exit status: 0 every file matches and nothing else is there, 1 the manifest\n"
    "cannot be read, 2 usage error, 4 a file is missing, changed or extra.\n";

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
    const VerifyReport report = VerifyOutput(AbsolutePath(parsed.positional.first()));
    if (!report.failure.isEmpty()) {
        PrintError(QStringLiteral("tolvane-cli verify: %1\n").arg(TerminalText(report.failure)));
        return kExitCannotOpen;
    }
    for (const QString& path : report.missing)
        PrintOut(QStringLiteral("missing: %1\n").arg(TerminalText(path)));
    for (const QString& path : report.changed)
        PrintOut(QStringLiteral("changed: %1\n").arg(TerminalText(path)));
    for (const QString& path : report.extra)
        PrintOut(QStringLiteral("extra: %1\n").arg(TerminalText(path)));
    PrintOut(QStringLiteral("Checked: %1\nMissing: %2\nChanged: %3\nExtra: %4\n")
                 .arg(report.checked)
                 .arg(report.missing.size())
                 .arg(report.changed.size())
                 .arg(report.extra.size()));
    return report.allMatch() ? kExitOk : kExitMismatch;
}

}  // namespace tolvane::cli
