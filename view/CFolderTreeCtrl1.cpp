// Folder tree: node creation, tick and bold rules, mouse and Space handling.
#include "view/CFolderTreeCtrl1.h"

#include "view/FolderIcons.h"
#include "scan/ItemStore.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidgetItemIterator>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace tolvane {

namespace {

constexpr int NodeIdRole = Qt::UserRole + 1;
constexpr int ImageRole = Qt::UserRole + 2;
constexpr int FolderKeyRole = Qt::UserRole + 3;

// Gives the tree access to the style's check-box geometry of a node.
class FolderTreeDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect checkRect(QStyleOptionViewItem option, const QModelIndex& index) const
    {
        initStyleOption(&option, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (!style)
            return {};
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, widget);
    }
};

}  // namespace

CFolderTreeCtrl1::CFolderTreeCtrl1(QWidget* parent)
    : QTreeWidget(parent)
{
    setItemDelegate(new FolderTreeDelegate(this));
    setColumnCount(1);
    header()->hide();
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setExpandsOnDoubleClick(true);
}

TreeNodeId CFolderTreeCtrl1::ReserveNodeId()
{
    return nextNodeId_.fetch_add(1, std::memory_order_relaxed);
}

void CFolderTreeCtrl1::CreateNode(TreeNodeId id, TreeNodeId parent, const QString& text)
{
    QTreeWidgetItem* parentItem = nullptr;
    if (parent != 0) {
        parentItem = items_.value(parent);
        if (!parentItem)
            return;
    }
    const int image = parentItem ? FolderImageIndex(text) : 0;
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, NodeIdRole, QVariant::fromValue<quint64>(id));
    item->setData(0, ImageRole, image);
    item->setIcon(0, FolderImageList().value(image));
    item->setCheckState(0, Qt::Unchecked);
    // Not user-checkable: the tree decides itself what a click on the box does.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (parentItem) {
        parentItem->addChild(item);
    } else {
        addTopLevelItem(item);
        rootNode_ = id;
    }
    items_.insert(id, item);
    if (QTreeWidgetItem* root = items_.value(rootNode_))
        root->setExpanded(true);
    if (parentItem)
        parentItem->setExpanded(true);
}

TreeNodeId CFolderTreeCtrl1::InsertFolderNode(TreeNodeId parent, const QString& text)
{
    const TreeNodeId id = ReserveNodeId();
    CreateNode(id, parent, text);
    return id;
}

void CFolderTreeCtrl1::DeleteAllNodes()
{
    clear();
    items_.clear();
    rootNode_ = 0;
    emit ticksChanged();
}

QStringList CFolderTreeCtrl1::tickedFolderKeys() const
{
    QStringList keys;
    for (QTreeWidgetItemIterator it(const_cast<CFolderTreeCtrl1*>(this)); *it; ++it) {
        const QString key = (*it)->data(0, FolderKeyRole).toString();
        if (!key.isEmpty() && isTicked(*it) && IsListedItem(*it))
            keys << key;
    }
    return keys;
}

void CFolderTreeCtrl1::ListCurrentNode()
{
    const TreeNodeId node = nodeOf(currentItem());
    if (IsListedNode(node))
        emit listFillRequested(node, folderKeyOf(node));
}

void CFolderTreeCtrl1::SetFolderKey(TreeNodeId node, const QString& folderKey)
{
    if (QTreeWidgetItem* item = items_.value(node))
        item->setData(0, FolderKeyRole, folderKey);
}

QString CFolderTreeCtrl1::folderKeyOf(TreeNodeId node) const
{
    const QTreeWidgetItem* item = items_.value(node);
    return item ? item->data(0, FolderKeyRole).toString() : QString();
}

QString CFolderTreeCtrl1::NodeText(TreeNodeId node) const
{
    const QTreeWidgetItem* item = items_.value(node);
    return item ? item->text(0) : QString();
}

TreeNodeId CFolderTreeCtrl1::nodeOf(const QTreeWidgetItem* item) const
{
    return item ? item->data(0, NodeIdRole).value<quint64>() : 0;
}

bool CFolderTreeCtrl1::IsListedNode(TreeNodeId node) const
{
    // Every node but the file's own is a folder; the file's lists the top
    // folders once there are any.
    return node != 0 && items_.contains(node) && (node != rootNode_ || items_.size() > 1);
}

bool CFolderTreeCtrl1::isTicked(const QTreeWidgetItem* item)
{
    const QVariant state = item->data(0, Qt::CheckStateRole);
    return state.isValid() && state.value<Qt::CheckState>() == Qt::Checked;
}

bool CFolderTreeCtrl1::isUnticked(const QTreeWidgetItem* item)
{
    const QVariant state = item->data(0, Qt::CheckStateRole);
    return state.isValid() && state.value<Qt::CheckState>() == Qt::Unchecked;
}

bool CFolderTreeCtrl1::isBold(const QTreeWidgetItem* item)
{
    return item->font(0).bold();
}

int CFolderTreeCtrl1::imageIndex(const QTreeWidgetItem* item)
{
    return item->data(0, ImageRole).toInt();
}

void CFolderTreeCtrl1::setBold(QTreeWidgetItem* item, bool bold)
{
    QFont font = item->font(0);
    if (font.bold() == bold)
        return;
    font.setBold(bold);
    item->setFont(0, font);
}

void CFolderTreeCtrl1::CheckNode(QTreeWidgetItem* item)
{
    if (IsListedItem(item)) {
        item->setCheckState(0, Qt::Checked);
        setBold(item, true);
    } else {
        setBold(item, false);
    }
}

void CFolderTreeCtrl1::UncheckNode(QTreeWidgetItem* item)
{
    item->setCheckState(0, Qt::Unchecked);
    setBold(item, false);
}

void CFolderTreeCtrl1::CheckSubtree(QTreeWidgetItem* item)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        CheckNode(child);
        CheckSubtree(child);
    }
}

void CFolderTreeCtrl1::UncheckSubtree(QTreeWidgetItem* item)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        UncheckNode(child);
        UncheckSubtree(child);
    }
}

void CFolderTreeCtrl1::UpdateAncestorChecks(QTreeWidgetItem* item)
{
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor; ancestor = ancestor->parent()) {
        bool anyUnticked = false;
        for (int i = 0; i < ancestor->childCount() && !anyUnticked; ++i)
            anyUnticked = isUnticked(ancestor->child(i));
        if (anyUnticked)
            UncheckNode(ancestor);
        else
            CheckNode(ancestor);
    }
}

void CFolderTreeCtrl1::UpdateAncestorBold(QTreeWidgetItem* item)
{
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor; ancestor = ancestor->parent()) {
        bool anyBold = false;
        for (int i = 0; i < ancestor->childCount() && !anyBold; ++i)
            anyBold = isBold(ancestor->child(i));
        setBold(ancestor, anyBold);
    }
}

QRect CFolderTreeCtrl1::checkBoxRect(const QTreeWidgetItem* item) const
{
    const QModelIndex index = indexFromItem(item);
    if (!index.isValid())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return static_cast<FolderTreeDelegate*>(itemDelegate())->checkRect(option, index);
}

void CFolderTreeCtrl1::toggleFromCheckBox(QTreeWidgetItem* item)
{
    if (isUnticked(item)) {
        CheckNode(item);
        CheckSubtree(item);
    } else {
        UncheckNode(item);
        UncheckSubtree(item);
    }
    UpdateAncestorChecks(item);
    UpdateAncestorBold(item);
    emit ticksChanged();
}

bool CFolderTreeCtrl1::handleLeftClick(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(point);
    if (!item)
        return true;  // a click on empty space does nothing at all
    setCurrentItem(item);
    setFocus(Qt::MouseFocusReason);
    const TreeNodeId node = nodeOf(item);
    if (IsListedNode(node))
        emit listFillRequested(node, folderKeyOf(node));
    if (checkBoxRect(item).contains(point)) {
        toggleFromCheckBox(item);
        return true;
    }
    return false;
}

void CFolderTreeCtrl1::mousePressEvent(QMouseEvent* event)
{
    swallowRelease_ = false;
    if (event->button() == Qt::LeftButton && handleLeftClick(event)) {
        event->accept();
        swallowRelease_ = true;
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CFolderTreeCtrl1::mouseReleaseEvent(QMouseEvent* event)
{
    if (swallowRelease_) {
        swallowRelease_ = false;
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void CFolderTreeCtrl1::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a click of its own.
    swallowRelease_ = false;
    if (event->button() == Qt::LeftButton && handleLeftClick(event)) {
        event->accept();
        swallowRelease_ = true;
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CFolderTreeCtrl1::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    if (IsListedItem(item)) {
        // A listed node's box toggles like the plain control's: the node itself only.
        item->setCheckState(0, isUnticked(item) ? Qt::Checked : Qt::Unchecked);
        emit ticksChanged();
        return;
    }
    if (isUnticked(item)) {
        setBold(item, true);
        CheckSubtree(item);
    } else {
        setBold(item, false);
        UncheckSubtree(item);
    }
    UpdateAncestorChecks(item);
    UpdateAncestorBold(item);
    emit ticksChanged();
}

}  // namespace tolvane
