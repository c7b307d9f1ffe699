// The headless scan sink and the shared helpers of the command line.
#include "app/cli/HeadlessScan.h"

#include "app/cli/ProblemText.h"
#include "app/cli/TerminalProgress.h"
#include "frontend/ShownText.h"

#include "scan/ItemStore.h"
#include "base/NativePath.h"

#include <QDir>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace tolvane::cli {

namespace {

// The window's notices for a file that cannot be read.
bool IsFailureNotice(const QString& text)
{
    return text == QLatin1String(kScanNotPstNotice) || text.startsWith(QLatin1String(kScanFailedNotice));
}

}  // namespace

void HeadlessScanSink::ShowNotice(const QString& text)
{
    NumberingScanSink::ShowNotice(text);
    if (IsFailureNotice(text))
        return;
    Print(TerminalLines(text) + u'\n');
    // The window's notice alone does not say what stops: the process ends
    // right after it, with the resources status.
    if (text == QLatin1String(kScanNotEnoughMemoryNotice))
        Print(QStringLiteral("tolvane-cli: not enough memory to go on reading the mailbox; stopping\n"));
}

void HeadlessScanSink::ShowOpenFailure(const QString& notice, const QString& reason)
{
    // On record only: RunHeadlessScan says it in the command line's words.
    NumberingScanSink::ShowOpenFailure(notice, reason);
}

void HeadlessScanSink::SetProgress(int position)
{
    if (progress_ != nullptr && !file_.isEmpty())
        progress_->ShowScan(file_, position);
}

void HeadlessScanSink::DrawProgressOn(TerminalProgress* progress, const QString& file)
{
    progress_ = progress;
    file_ = file;
}

void HeadlessScanSink::Print(const QString& text)
{
    if (progress_ != nullptr)
        progress_->PrintAbove(text);
    else
        PrintError(text);
}

void HeadlessScanSink::ReportMailboxProblem(const QString& text)
{
    mailboxProblem_ = text;
    Print(QStringLiteral("tolvane-cli: ") + text + u'\n');
}

ScanOutcome RunHeadlessScan(const QString& pstPath, ItemStore& store, const ProcessTempDir& tempDir,
                            HeadlessScanSink& sink, TreeNodeId* rootNode, WorkerGate* gate, ItemDetail itemDetail,
                            bool recover, ScanEvents* alsoTell, OstFiles ostFiles)
{
    store.ClearItemRecords();
    ShownScan scan;
    scan.request.pstPath = pstPath;
    scan.request.store = &store;
    scan.request.tempDir = &tempDir;
    scan.request.gate = gate;
    scan.request.itemDetail = itemDetail;
    scan.request.recover = recover;
    scan.request.ostFiles = ostFiles;
    scan.sink = &sink;
    scan.alsoTell = alsoTell;
    scan.rootNode = sink.InsertFolderNode(0, pstPath);
    if (rootNode != nullptr)
        *rootNode = scan.rootNode;
    ScanResult result;
    scan.result = &result;
    const ScanOutcome outcome = RunShownScan(scan);
    switch (outcome) {
    case ScanOutcome::NotPst:
    case ScanOutcome::OpenFailed:
    case ScanOutcome::ScanFailed:
    case ScanOutcome::NoResources:
        sink.ReportMailboxProblem(MailboxProblemText(pstPath, result));
        break;
    case ScanOutcome::Completed:
    case ScanOutcome::Abandoned:
        break;
    }
    return outcome;
}

bool ParseArguments(const QStringList& arguments, const QStringList& knownFlags, ParsedArguments* parsed,
                    QString* error)
{
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
            if (!knownFlags.contains(argument)) {
                *error = QStringLiteral("unknown option %1").arg(TerminalText(argument));
                return false;
            }
            parsed->flags.append(argument);
        } else {
            parsed->positional.append(argument);
        }
    }
    return true;
}

void PrintOut(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void PrintError(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

namespace {

// A heading with the count, then one indented line per item; nothing for none.
void PrintItemList(const QString& heading, const QStringList& items)
{
    if (items.isEmpty())
        return;
    PrintError(QStringLiteral("%1: %2\n").arg(heading).arg(items.size()));
    for (const QString& item : items)
        PrintError(QStringLiteral("  %1\n").arg(TerminalText(item)));
}

}  // namespace

void PrintSkippedItems(const QStringList& skipped)
{
    PrintItemList(QStringLiteral("Items skipped (unreadable)"), skipped);
}

void PrintNotConvertedItems(const QStringList& items)
{
    PrintItemList(QStringLiteral("Items not converted (no mail, contact or calendar item)"), items);
}

QString TerminalText(const QString& text)
{
    return ShownText(text);
}

QString TerminalLines(const QString& text)
{
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = TerminalText(line);
    return lines.join(u'\n');
}

QByteArray EscapeJsonControls(const QByteArray& json)
{
    // Outside strings the document is plain ASCII punctuation, so every such
    // byte sequence sits inside a string and the escape keeps it valid JSON.
    QByteArray escaped;
    escaped.reserve(json.size());
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto byte = static_cast<unsigned char>(json.at(i));
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json.at(i + 1)) : 0;
        if (byte == 0x7F) {
            escaped += "\\u007f";
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escaped += QByteArray("\\u00") + QByteArray::number(next, 16).rightJustified(2, '0');
            ++i;
        } else {
            escaped += static_cast<char>(byte);
        }
    }
    return escaped;
}

void PrintJsonLine(const QJsonObject& object)
{
    PrintOut(QString::fromUtf8(EscapeJsonControls(QJsonDocument(object).toJson(QJsonDocument::Compact))) + u'\n');
}

QString AbsolutePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(u'/'))
        return QDir::cleanPath(path);
    QByteArray directory(4096, '\0');
    while (::getcwd(directory.data(), static_cast<size_t>(directory.size())) == nullptr) {
        if (errno != ERANGE)
            return path;
        directory.resize(directory.size() * 2);
    }
    return QDir::cleanPath(PathFromNative(directory.constData()) + u'/' + path);
}

}  // namespace tolvane::cli
