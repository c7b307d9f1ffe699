// Folder tree: icon choice, tick and bold rules, click and Space handling.
#include "view/CFolderTreeCtrl1.h"
#include "view/FolderIcons.h"
#include "tests/view/GuiTestSupport.h"
#include "scan/ItemStore.h"

#include <QHash>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tolvane {
namespace {

TEST(FolderImageIndexTest, KindsByWholeUpperCasedName)
{
    const struct {
        const char* name;
        int image;
    } cases[] = {
        {"Calendar", 3},    {"contacts", 4},      {"Deleted Items", 5}, {"Drafts", 6},
        {"inbox", 7},       {"Inbox", 7},         {"INBOX", 7},         {"Inbox ", 0},
        {"Journal", 8},     {"Junk E-mails", 9},  {"Junk E-mail", 0},   {"Notes", 10},
        {"Outbox", 11},     {"Sent Items", 12},   {"Tasks", 13},        {"Sync Issues", 14},
        {"Deleted-Items", 0}, {"", 0},            {"Archive", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderImageIndex(QString::fromUtf8(c.name)), c.image) << c.name;
    EXPECT_EQ(FolderImageList().size(), 17);
    for (const QIcon& icon : FolderImageList())
        EXPECT_FALSE(icon.pixmap(16, 16).isNull());
}

// What the tree's rules promise after any sequence of check-box clicks,
// checked over every node: each item is found by its handle and back; a
// folder with subfolders is ticked exactly when all of them are; a node is
// bold exactly when it is ticked or one of its subfolders is bold. Returns
// every node that breaks a rule, with the rule.
QStringList TreeRulesBroken(const CFolderTreeCtrl1& tree)
{
    QStringList broken;
    std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* item) {
        const QString name = item->text(0);
        if (tree.itemOf(tree.nodeOf(item)) != item)
            broken << name + QStringLiteral(": its handle leads elsewhere");
        bool allChildrenTicked = true;
        bool anyChildBold = false;
        for (int i = 0; i < item->childCount(); ++i) {
            allChildrenTicked = allChildrenTicked && CFolderTreeCtrl1::isTicked(item->child(i));
            anyChildBold = anyChildBold || CFolderTreeCtrl1::isBold(item->child(i));
        }
        const bool ticked = CFolderTreeCtrl1::isTicked(item);
        if (item->childCount() > 0 && ticked != allChildrenTicked)
            broken << name + (ticked ? QStringLiteral(": ticked with a subfolder unticked")
                                    : QStringLiteral(": unticked with every subfolder ticked"));
        if (CFolderTreeCtrl1::isBold(item) != (ticked || anyChildBold))
            broken << name + QStringLiteral(": bold does not follow its tick and its subfolders");
        for (int i = 0; i < item->childCount(); ++i)
            visit(item->child(i));
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        visit(tree.topLevelItem(i));
    return broken;
}

// A tree as the scan leaves it: root "/x/box.pst" with Top -> (Inbox -> Sub), Contacts.
class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.resize(300, 300);
        tree.show();
        root = tree.InsertFolderNode(0, QStringLiteral("/x/Inbox"));
        top = addFolder(root, QStringLiteral("Top of Personal Folders"), 1);
        inbox = addFolder(top, QStringLiteral("Inbox"), 2);
        sub = addFolder(inbox, QStringLiteral("Sub"), 3);
        contacts = addFolder(top, QStringLiteral("Contacts"), 2);
    }

    // Each folder's key is its path, as the scan makes them: unique even
    // where two folders share a name.
    TreeNodeId addFolder(TreeNodeId parent, const QString& name, int /*depth*/)
    {
        const TreeNodeId node = tree.InsertFolderNode(parent, name);
        tree.SetFolderKey(node, tree.folderKeyOf(parent) + u'\\' + name);
        return node;
    }
    QTreeWidgetItem* item(TreeNodeId node) const { return tree.itemOf(node); }
    void clickCheckBox(TreeNodeId node)
    {
        const QRect box = tree.checkBoxRect(item(node));
        ASSERT_TRUE(box.isValid());
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.center());
    }
    void clickLabel(TreeNodeId node)
    {
        const QRect row = tree.visualItemRect(item(node));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(row.right() - 4, row.center().y()));
    }

    CFolderTreeCtrl1 tree;
    TreeNodeId root = 0, top = 0, inbox = 0, sub = 0, contacts = 0;
};

TEST_F(FolderTreeTest, ModelIsConsistentAndNodesKeepWalkOrderAndIcons)
{
    EXPECT_EQ(TreeRulesBroken(tree), QStringList());
    EXPECT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(tree.rootNode(), root);
    EXPECT_EQ(CFolderTreeCtrl1::imageIndex(item(root)), 0);  // root is image 0 even when named like a kind
    EXPECT_EQ(CFolderTreeCtrl1::imageIndex(item(inbox)), 7);
    EXPECT_EQ(CFolderTreeCtrl1::imageIndex(item(contacts)), 4);
    EXPECT_EQ(item(top)->child(0), item(inbox));
    EXPECT_EQ(item(top)->child(1), item(contacts));
    EXPECT_TRUE(item(inbox)->isExpanded());
    for (TreeNodeId node : {root, top, inbox, sub, contacts}) {
        EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(node)));
        EXPECT_FALSE(CFolderTreeCtrl1::isBold(item(node)));
        EXPECT_TRUE(tree.IsListedNode(node));
    }
}

TEST_F(FolderTreeTest, TickingAFolderTicksItsSubtreeAndParentsFollowTheirChildren)
{
    clickCheckBox(inbox);
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item(inbox)));
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item(sub)));
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(item(inbox)));
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(item(sub)));
    // Top has an unticked child left: not ticked, but bold because a child is.
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(top)));
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(item(top)));
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(item(root)));

    clickCheckBox(contacts);
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item(top)));
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item(root)));

    clickCheckBox(inbox);
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(inbox)));
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(sub)));
    EXPECT_FALSE(CFolderTreeCtrl1::isBold(item(sub)));
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(top)));
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(root)));
    // Contacts is still bold, so its ancestors stay bold.
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(item(top)));
    clickCheckBox(contacts);
    EXPECT_FALSE(CFolderTreeCtrl1::isBold(item(top)));
    EXPECT_FALSE(CFolderTreeCtrl1::isBold(item(root)));
}

TEST_F(FolderTreeTest, ClicksOnListedNodesStartFillsEvenWhenAlreadySelected)
{
    QSignalSpy fills(&tree, &CFolderTreeCtrl1::listFillRequested);
    clickLabel(inbox);
    clickLabel(inbox);
    clickCheckBox(contacts);
    ASSERT_EQ(fills.size(), 3);
    // A fill asks for the folder's key, never its name (which another folder may share).
    EXPECT_EQ(fills.at(0).at(1).toString(), QStringLiteral("\\Top of Personal Folders\\Inbox"));
    EXPECT_EQ(fills.at(2).at(1).toString(), QStringLiteral("\\Top of Personal Folders\\Contacts"));
    EXPECT_EQ(tree.currentItem(), item(contacts));
    // Arrow keys move the selection without a fill.
    QTest::keyClick(&tree, Qt::Key_Up);
    EXPECT_EQ(fills.size(), 3);
    // Empty space below the last node: nothing at all.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(5, tree.viewport()->height() - 3));
    EXPECT_EQ(fills.size(), 3);
}

TEST(FolderTreeRootTest, RootBeforeAnyFolderCannotBeTickedAndSpaceOnUnlistedMarksBold)
{
    CFolderTreeCtrl1 tree;
    tree.resize(300, 200);
    tree.show();
    const TreeNodeId root = tree.InsertFolderNode(0, QStringLiteral("/x/box.pst"));
    QTreeWidgetItem* rootItem = tree.itemOf(root);
    QSignalSpy fills(&tree, &CFolderTreeCtrl1::listFillRequested);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.checkBoxRect(rootItem).center());
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(rootItem));
    EXPECT_FALSE(CFolderTreeCtrl1::isBold(rootItem));
    EXPECT_EQ(fills.size(), 0);

    // Space on a node that is not listed marks it bold and leaves its tick.
    tree.setCurrentItem(rootItem);
    QTest::keyClick(&tree, Qt::Key_Space);
    EXPECT_TRUE(CFolderTreeCtrl1::isBold(rootItem));
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(rootItem));
}

TEST_F(FolderTreeTest, SpaceOnAListedNodeTogglesItsOwnTick)
{
    tree.setCurrentItem(item(inbox));
    QTest::keyClick(&tree, Qt::Key_Space);
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item(inbox)));
    QTest::keyClick(&tree, Qt::Key_Space);
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item(inbox)));
}

// Sequences of check-box clicks on a deeper tree: after every click the
// whole tree keeps its rules, and the checker finds a node set against them.
TEST(FolderTreeRulesTest, EveryClickSequenceKeepsTheRulesOfTheWholeTree)
{
    const char* const sequences[] = {
        "A", "A A", "A1", "A1 A2", "A1 A2 A1", "A1a A1b", "A1a A1b A2 B", "B A A1a", "Top", "Top A1a",
        "Top A1a Top", "A2 B A1a A1b", "A1b A A1b", "box",
    };
    for (const char* sequence : sequences) {
        SCOPED_TRACE(sequence);
        CFolderTreeCtrl1 tree;
        tree.resize(300, 400);
        tree.show();
        QHash<QString, TreeNodeId> nodes;
        nodes[QStringLiteral("box")] = tree.InsertFolderNode(0, QStringLiteral("box"));
        const auto add = [&](const char* parent, const char* name) {
            nodes[QString::fromLatin1(name)] = tree.InsertFolderNode(nodes.value(QString::fromLatin1(parent)),
                                                                     QString::fromLatin1(name));
        };
        add("box", "Top");
        add("Top", "A");
        add("A", "A1");
        add("A1", "A1a");
        add("A1", "A1b");
        add("A", "A2");
        add("Top", "B");
        tree.expandAll();
        for (const QString& name : QString::fromLatin1(sequence).split(u' ')) {
            QTreeWidgetItem* item = tree.itemOf(nodes.value(name));
            ASSERT_NE(item, nullptr) << qPrintable(name);
            const QRect box = tree.checkBoxRect(item);
            ASSERT_TRUE(box.isValid()) << qPrintable(name);
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.center());
            EXPECT_EQ(TreeRulesBroken(tree), QStringList()) << "after clicking " << qPrintable(name);
        }
        // A folder whose tick no longer follows its subfolders is named.
        QTreeWidgetItem* a1 = tree.itemOf(nodes.value(QStringLiteral("A1")));
        a1->setCheckState(0, CFolderTreeCtrl1::isTicked(a1) ? Qt::Unchecked : Qt::Checked);
        const QStringList broken = TreeRulesBroken(tree);
        EXPECT_TRUE(std::any_of(broken.begin(), broken.end(),
                                [](const QString& rule) { return rule.startsWith(QStringLiteral("A1: ")); }))
            << qPrintable(broken.join(u'\n'));
    }
}

TEST_F(FolderTreeTest, DeleteAllNodesForgetsHandles)
{
    tree.DeleteAllNodes();
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    EXPECT_EQ(tree.rootNode(), 0u);
    EXPECT_EQ(tree.itemOf(inbox), nullptr);
    // A node whose parent is gone is dropped, not put at the top.
    tree.CreateNode(CFolderTreeCtrl1::ReserveNodeId(), inbox, QStringLiteral("Late"));
    EXPECT_EQ(tree.topLevelItemCount(), 0);
}

}  // namespace
}  // namespace tolvane
