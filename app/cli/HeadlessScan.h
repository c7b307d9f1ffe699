// Running a scan without a window: a ScanSink that numbers tree nodes and
// prints notices to stderr, and small argument-parsing helpers shared by the
// subcommands of tolvane-cli.
#pragma once

#include "ItemRecords.h"
#include "ScanDriver.h"
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

class HeadlessScanSink : public ScanSink {
public:
    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) override;
    QString NodeText(TreeNodeId node) override;
    void InsertMailRow(const MailRecord&) override {}
    void SetProgress(int) override {}
    void ShowNotice(const QString& text) override;

    // The nodes in insertion order below a parent (0 = top level).
    QVector<TreeNodeId> Children(TreeNodeId parent) const { return children_.value(parent); }
    QStringList notices() const { return notices_; }

private:
    TreeNodeId nextNode_ = 1;
    QHash<TreeNodeId, QString> texts_;
    QHash<TreeNodeId, QVector<TreeNodeId>> children_;
    QStringList notices_;
};

// Scans `pstPath` exactly as the window does: a fresh record set in `store`,
// a top-level node carrying the path, then the scan driver. The root node's
// id is returned in *rootNode.
ScanOutcome RunHeadlessScan(const QString& pstPath, ItemStore& store, HeadlessScanSink& sink,
                            TreeNodeId* rootNode = nullptr);

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
