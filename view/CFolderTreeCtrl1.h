// The check-box folder tree: the PST file's node at the top, one node per
// mailbox folder below it. Owns the mapping between TreeNodeId handles (given
// to the scan worker) and the widget's items; ticks and bold marks are view
// state only.
#pragma once

#include "model/ItemRecords.h"
#include "frontend/TreeNodeId.h"

#include <QHash>
#include <QTreeWidget>
#include <atomic>

namespace tolvane {

class ItemStore;

class CFolderTreeCtrl1 : public QTreeWidget {
    Q_OBJECT
public:
    explicit CFolderTreeCtrl1(QWidget* parent = nullptr);

    // A fresh node handle. Thread-safe, so the scan worker can name a node
    // before the window's thread has made it.
    static TreeNodeId ReserveNodeId();
    // Makes the node for a reserved handle (window thread). A parent that is
    // unknown (deleted meanwhile) drops the node.
    void CreateNode(TreeNodeId id, TreeNodeId parent, const QString& text);
    // Reserve and create in one step (window thread).
    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text);
    // The key of the folder a node stands for (window thread); a click on it
    // asks for the items of that folder alone.
    void SetFolderKey(TreeNodeId node, const QString& folderKey);
    QString folderKeyOf(TreeNodeId node) const;
    // The keys of the ticked folders, in the tree's order.
    QStringList tickedFolderKeys() const;
    // Enter on a node: the list fill a click would start.
    void ListCurrentNode();
    void DeleteAllNodes();

    QString NodeText(TreeNodeId node) const;
    TreeNodeId rootNode() const { return rootNode_; }
    QTreeWidgetItem* itemOf(TreeNodeId node) const { return items_.value(node); }
    TreeNodeId nodeOf(const QTreeWidgetItem* item) const;

    bool IsListedNode(TreeNodeId node) const;
    bool IsListedItem(const QTreeWidgetItem* item) const { return IsListedNode(nodeOf(item)); }

    void CheckNode(QTreeWidgetItem* item);
    void UncheckNode(QTreeWidgetItem* item);
    void CheckSubtree(QTreeWidgetItem* item);
    void UncheckSubtree(QTreeWidgetItem* item);
    void UpdateAncestorChecks(QTreeWidgetItem* item);
    void UpdateAncestorBold(QTreeWidgetItem* item);

    static bool isTicked(const QTreeWidgetItem* item);
    static bool isUnticked(const QTreeWidgetItem* item);
    static bool isBold(const QTreeWidgetItem* item);
    // Image-list index a node was given.
    static int imageIndex(const QTreeWidgetItem* item);

    // Where the node's check box is drawn, in viewport coordinates.
    QRect checkBoxRect(const QTreeWidgetItem* item) const;

signals:
    // A listed node was clicked: the window starts a list fill of the
    // folder with that key (empty for the file's own node: nothing to list).
    void listFillRequested(tolvane::TreeNodeId node, const QString& folderKey);
    // A click, a key or a new tree changed which nodes are ticked.
    void ticksChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setBold(QTreeWidgetItem* item, bool bold);
    void toggleFromCheckBox(QTreeWidgetItem* item);
    // Click rules shared by press and double click; true when the click is consumed.
    bool handleLeftClick(QMouseEvent* event);

    static inline std::atomic<TreeNodeId> nextNodeId_{1};
    QHash<TreeNodeId, QTreeWidgetItem*> items_;
    TreeNodeId rootNode_ = 0;
    bool swallowRelease_ = false;
};

}  // namespace tolvane
