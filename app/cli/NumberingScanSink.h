// A ScanSink for front ends without a window (command line, tests, fuzzing):
// tree nodes are plain numbers with their texts and children kept, notices are
// collected, rows and progress are dropped.
#pragma once

#include "frontend/ScanSink.h"

#include <QHash>
#include <QStringList>
#include <QVector>

namespace tolvane {

class NumberingScanSink : public ScanSink {
public:
    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) override
    {
        const TreeNodeId node = nextNode_++;
        texts_.insert(node, text);
        children_[parent].append(node);
        return node;
    }
    QString NodeText(TreeNodeId node) const { return texts_.value(node); }
    void SetFolderKey(TreeNodeId node, const QString& folderKey) override { keys_.insert(node, folderKey); }
    // The key the records of a node's folder carry; two folders of the same
    // name have different keys. Empty for the file's own node.
    QString FolderKey(TreeNodeId node) const { return keys_.value(node); }
    void InsertMailRow(const MailRecord&) override {}
    void SetProgress(int) override {}
    void ShowNotice(const QString& text) override { notices_.append(text); }
    // Records the notice and the reason; shows nothing.
    void ShowOpenFailure(const QString& notice, const QString& reason) override
    {
        openFailureReason_ = reason;
        NumberingScanSink::ShowNotice(notice);
    }
    void ItemSkipped(const QString& place, const QString& reason) override
    {
        skipped_.append(place + QStringLiteral(": ") + reason);
    }

    // The nodes in insertion order below a parent (0 = top level).
    QVector<TreeNodeId> Children(TreeNodeId parent) const { return children_.value(parent); }
    QStringList notices() const { return notices_; }
    // What the system said when the file could not be opened; empty otherwise.
    QString openFailureReason() const { return openFailureReason_; }
    // "place: reason" of every item the scan left out, in scan order.
    QStringList skippedItems() const { return skipped_; }

private:
    TreeNodeId nextNode_ = 1;
    QHash<TreeNodeId, QString> texts_;
    QHash<TreeNodeId, QString> keys_;
    QHash<TreeNodeId, QVector<TreeNodeId>> children_;
    QStringList notices_;
    QString openFailureReason_;
    QStringList skipped_;
};

}  // namespace tolvane
