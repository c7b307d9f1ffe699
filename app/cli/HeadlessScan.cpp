// The headless scan sink and the shared helpers of the command line.
#include "HeadlessScan.h"

#include "ItemStore.h"

#include <cstdio>

namespace tolvane::cli {

void HeadlessScanSink::ShowNotice(const QString& text)
{
    NumberingScanSink::ShowNotice(text);
    PrintError(text + u'\n');
}

ScanOutcome RunHeadlessScan(const QString& pstPath, ItemStore& store, HeadlessScanSink& sink, TreeNodeId* rootNode,
                            WorkerGate* gate)
{
    store.ClearItemRecords();
    ScanRequest request;
    request.pstPath = pstPath;
    request.store = &store;
    request.sink = &sink;
    request.gate = gate;
    request.rootNode = sink.InsertFolderNode(0, pstPath);
    if (rootNode != nullptr)
        *rootNode = request.rootNode;
    ScanOutcome outcome = ScanOutcome::OpenFailed;
    RunScanDriver(request, &outcome);
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
                *error = QStringLiteral("unknown option %1").arg(argument);
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

void PrintSkippedItems(const QStringList& skipped)
{
    if (skipped.isEmpty())
        return;
    PrintError(QStringLiteral("Items skipped (unreadable): %1\n").arg(skipped.size()));
    for (const QString& item : skipped)
        PrintError(QStringLiteral("  %1\n").arg(item));
}

}  // namespace tolvane::cli
