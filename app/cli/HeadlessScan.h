// Running a scan without a window: a numbering ScanSink that prints notices
// to stderr, and small argument-parsing helpers shared by the
// subcommands of tolvane-cli.
#pragma once

#include "ItemRecords.h"
#include "ScanDriver.h"
#include "NumberingScanSink.h"
#include "ScanSink.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tolvane {
class ItemStore;
}

namespace tolvane::cli {

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitScanFailed = 3;
inline constexpr int kExitNoResources = 5;  // out of memory, threads or another resource of the machine

// The numbering sink that also prints each notice to stderr.
class HeadlessScanSink : public NumberingScanSink {
public:
    void ShowNotice(const QString& text) override;
};

// Scans `pstPath` exactly as the window does: a fresh record set in `store`,
// a top-level node carrying the path, then the scan driver. The root node's
// id is returned in *rootNode. `gate` (optional) lets a signal stop the scan.
ScanOutcome RunHeadlessScan(const QString& pstPath, ItemStore& store, HeadlessScanSink& sink,
                            TreeNodeId* rootNode = nullptr, WorkerGate* gate = nullptr);

// Names on stderr every item the scan left out, after a count.
void PrintSkippedItems(const QStringList& skipped);

// Splits arguments into flags (from `knownFlags`) and positional arguments.
// False (with a message in *error) for an unknown option.
struct ParsedArguments {
    QStringList flags;
    QStringList positional;
    bool has(const QString& flag) const { return flags.contains(flag); }
};
bool ParseArguments(const QStringList& arguments, const QStringList& knownFlags, ParsedArguments* parsed,
                    QString* error);

// Writes UTF-8 text to stdout / stderr.
void PrintOut(const QString& text);
void PrintError(const QString& text);

}  // namespace tolvane::cli
