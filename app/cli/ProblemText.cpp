// Saying what is wrong with an input file or a destination, for the command line.
#include "app/cli/ProblemText.h"

#include "app/cli/HeadlessScan.h"
#include "scan/InputFile.h"
#include "base/NativePath.h"
#include "scan/PstSignature.h"

#include <cerrno>
#include <sys/stat.h>

namespace tolvane::cli {

namespace {

// The start of the file and its length now; nullopt when it cannot be read.
struct FileStart {
    QByteArray header;
    std::uint64_t length = 0;
};

std::optional<FileStart> ReadFileStart(const QString& path)
{
    const InputFileCheck check = CheckInputFile(path, kPstHeaderFactsBytes);
    if (check.state != InputFileState::Readable)
        return std::nullopt;
    return FileStart{check.header, static_cast<std::uint64_t>(check.identity.size)};
}

QString ContentTypeText(const QByteArray& contentType)
{
    if (contentType == "SO")
        return QStringLiteral("an offline cache file (OST), not a PST (--allow-ost reads it)");
    if (contentType == "AB")
        return QStringLiteral("an address book, not a PST");
    return QStringLiteral("of the PST family but of content type \"%1\", not a PST")
        .arg(TerminalText(QString::fromLatin1(contentType)));
}

// Newer offline caches use 4 KiB pages: said when such a file cannot be read.
QString FormatNote(const FileStart& start)
{
    const PstHeaderFacts facts = ReadPstHeaderFacts(start.header);
    if (facts.formatVersion != kFourKiBPageFormatVersion)
        return QString();
    return QStringLiteral(" (it is in the 4 KiB-page format, version %1, of newer offline caches)")
        .arg(kFourKiBPageFormatVersion);
}

// The file was cut short: its header says how long it was.
std::optional<QString> TruncationText(const FileStart& start)
{
    const PstHeaderFacts facts = ReadPstHeaderFacts(start.header);
    if (!facts.declaredLength || start.length >= *facts.declaredLength)
        return std::nullopt;
    return QStringLiteral("truncated at byte %1 (its header says it has %2 bytes)")
        .arg(start.length)
        .arg(*facts.declaredLength);
}

QString WhatIsWrong(const QString& path, const ScanResult& result)
{
    const std::optional<FileStart> start = ReadFileStart(path);
    switch (result.outcome) {
    case ScanOutcome::NoResources:
        return QStringLiteral("not enough memory or other system resources to open it");
    case ScanOutcome::NotPst:
        if (start)
            return QStringLiteral("is ") + ContentTypeText(ReadPstHeaderFacts(start->header).contentType);
        return QStringLiteral("not a PST file");
    case ScanOutcome::OpenFailed:
        if (!start)
            return QStringLiteral("cannot be read");
        if (start->length == 0)
            return QStringLiteral("is empty, not a PST file");
        if (start->header.startsWith("!BDN") && start->header.size() < kPstHeaderFactsBytes)
            return QStringLiteral("truncated at byte %1, too short for a PST header").arg(start->length);
        if (ClassifyPstHeader(start->header) == PstContent::NotPst)
            return QStringLiteral("not a PST file (it does not start with the PST signature)");
        if (const auto truncated = TruncationText(*start))
            return *truncated;
        return QStringLiteral("cannot be read as a PST: its header or its first pages are damaged") + FormatNote(*start);
    case ScanOutcome::ScanFailed:
        if (start) {
            if (const auto truncated = TruncationText(*start))
                return *truncated;
            return QStringLiteral("its folders cannot be read: the file is damaged") + FormatNote(*start);
        }
        return QStringLiteral("its folders cannot be read: the file is damaged");
    case ScanOutcome::Completed:
    case ScanOutcome::Abandoned:
        break;
    }
    return QStringLiteral("cannot be read");
}

}  // namespace

QString MailboxProblemText(const QString& path, const ScanResult& result)
{
    // The system's own words already name the file ("cannot open /x.pst: No
    // such file or directory"), and a refused private directory is not the
    // file's fault.
    if ((result.outcome == ScanOutcome::OpenFailed || result.outcome == ScanOutcome::NoResources)
        && !result.reason.isEmpty())
        return TerminalText(result.reason);
    if (result.failure == ScanFailure::TemporaryDirectoryRefused)
        return QStringLiteral("the private temporary directory cannot be used: %1").arg(TerminalText(result.reason));
    return QStringLiteral("%1: %2").arg(TerminalText(path), WhatIsWrong(path, result));
}

QString DestinationProblemText(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no destination folder given");
    struct stat status {};
    if (::stat(NativePath(path).constData(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return QStringLiteral("%1: destination folder does not exist").arg(TerminalText(path));
        return QStringLiteral("%1: destination folder cannot be used: %2").arg(TerminalText(path), ErrnoText(error));
    }
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("%1: destination is not a folder").arg(TerminalText(path));
    return QStringLiteral("%1: destination folder cannot be used").arg(TerminalText(path));
}

}  // namespace tolvane::cli
