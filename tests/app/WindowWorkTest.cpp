// The window's list and tree at work on mailboxes of the project's PST
// writer, with the real engine: sorting by value, the filter on a large
// folder, converting the ticked folders alone, and the pictures of the README.
#include "app/CQuenbyDlg.h"
#include "tests/app/RealWindow.h"
#include "view/CExplorer1.h"
#include "pstwriter/PropertyTags.h"
#include "pstwriter/PstBuilder.h"
#include "view/ItemListColumns.h"
#include "view/ItemListModel.h"
#include "view/ItemListProxy.h"
#include "view/UserPrompts.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDirIterator>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidgetItemIterator>

namespace tolvane {
namespace {

using testing::ClickFolder;
using testing::ScanInWindow;
using testing::ScriptedPrompts;
using testing::ShowRealWindow;
using testing::WaitUntil;

pstwriter::FileTime Day(int year, int month, int day)
{
    return pstwriter::FileTime::fromUnixSeconds(QDateTime(QDate(year, month, day), QTime(9, 0), Qt::UTC).toSecsSinceEpoch());
}

// Inbox holds four mails whose dates and sizes sort differently as text
// ("Apr" before "Jan", "1072 Bytes" before "5 Bytes") than as values.
// Projects lies below Inbox; Sent Items and Archive beside it.
QString WriteWorkMailbox(const QTemporaryDir& directory)
{
    const QString path = directory.filePath(QStringLiteral("work.pst"));
    pstwriter::PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    struct Mail {
        const char* subject;
        const char* sender;
        pstwriter::FileTime received;
        int32_t size;
    };
    const Mail mails[] = {
        {"alpha report", "Ann Archer", Day(2026, 1, 10), 20000},
        {"Budget", "Bo Berg", Day(2026, 2, 3), 5},
        {"contract", "Cy Clark", Day(2026, 4, 22), 999},
        {"Delivery", "Di Dunn", Day(2025, 12, 24), 1072},
    };
    for (const Mail& mail : mails) {
        inbox.addMessage()
            .subject(mail.subject)
            .from(mail.sender, "sender@example.com")
            .to("Reader", "reader@example.com")
            .received(mail.received)
            .property(pstwriter::tags::MessageSize, mail.size)
            .body("Body of the mail.");
    }
    inbox.addFolder("Projects").addMessage().subject("Project plan").from("Pia", "pia@example.com").body("Plan.");
    auto& sent = top.addFolder("Sent Items");
    for (const char* subject : {"Sent one", "Sent two"})
        sent.addMessage().subject(subject).from("Me", "me@example.com").body("Sent.");
    top.addFolder("Archive").addMessage().subject("Old news").from("Otto", "otto@example.com").body("Old.");
    pst.Write(path.toStdString());
    return path;
}

// The subjects the list shows, top to bottom, with " | " between them.
std::string ShownSubjects(CQuenbyDlg& window)
{
    QStringList subjects;
    const QAbstractItemModel* shown = window.itemList()->model();
    for (int row = 0; row < shown->rowCount(); ++row)
        subjects << shown->index(row, column::mail::kSubject).data().toString();
    return subjects.join(QStringLiteral(" | ")).toStdString();
}

std::string Joined(const QStringList& subjects)
{
    return subjects.join(QStringLiteral(" | ")).toStdString();
}

void ClickHeading(CQuenbyDlg& window, int column)
{
    QHeaderView* header = window.itemList()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

TEST(WindowWorkTest, DatesAndSizesSortByTheirValueAndTheSelectionFollowsTheRow)
{
    QTemporaryDir directory;
    const QString path = WriteWorkMailbox(directory);
    ScriptedPrompts prompts;
    const auto owner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *owner->window;
    ScanInWindow(window, path);
    ClickFolder(window, QStringLiteral("Inbox"));
    ASSERT_EQ(window.itemList()->model()->rowCount(), 4);

    struct Case {
        int column;
        QStringList ascending;
    };
    const Case cases[] = {
        {column::mail::kDeliveryTime, {"Delivery", "alpha report", "Budget", "contract"}},
        {column::mail::kSize, {"Budget", "contract", "Delivery", "alpha report"}},
        {column::mail::kSubject, {"alpha report", "Budget", "contract", "Delivery"}},
        {column::mail::kFrom, {"alpha report", "Budget", "contract", "Delivery"}},
    };
    for (const Case& c : cases) {
        const QString heading = window.itemListModel()->headerData(c.column, Qt::Horizontal, Qt::DisplayRole).toString();
        ClickHeading(window, c.column);
        EXPECT_EQ(ShownSubjects(window), Joined(c.ascending)) << qPrintable(heading);
        ClickHeading(window, c.column);
        QStringList descending = c.ascending;
        std::reverse(descending.begin(), descending.end());
        EXPECT_EQ(ShownSubjects(window), Joined(descending)) << qPrintable(heading) << ", the second click";
    }

    // The preview shows the mail of the row as sorted, not of the model's row.
    ClickHeading(window, column::mail::kSize);  // ascending again
    window.itemList()->selectRow(0);
    EXPECT_TRUE(WaitUntil([&] {
        return window.findChild<QLabel*>(QStringLiteral("subjectValue"))->text() == QStringLiteral("Budget");
    }));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("fromValue"))->text(), QStringLiteral("Bo Berg"));

    // Sent Items has the same layout: the sort and the widths stay, on its own rows.
    QList<int> widths;
    for (int column = 0; column < window.itemListModel()->columnCount(); ++column)
        widths << window.itemList()->columnWidth(column);
    ClickFolder(window, QStringLiteral("Sent Items"));
    for (int column = 0; column < window.itemListModel()->columnCount(); ++column)
        EXPECT_EQ(window.itemList()->columnWidth(column), widths.at(column)) << column;
    EXPECT_EQ(window.itemList()->horizontalHeader()->sortIndicatorSection(), column::mail::kSize);
    EXPECT_EQ(window.itemList()->model()->rowCount(), 2);
}

TEST(WindowWorkTest, TheFilterNarrowsTenThousandRowsToTheMatchingOnes)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("bulk.pst"));
    {
        pstwriter::PstBuilder pst;
        auto& bulk = pst.topOfPersonalFolders().addFolder("Bulk");
        for (int i = 1; i <= 10000; ++i) {
            auto& mail = bulk.addMessage();
            mail.subject(i % 2500 == 0 ? QStringLiteral("Invoice %1").arg(i).toStdString()
                                       : QStringLiteral("Note %1").arg(i).toStdString());
            mail.from(i % 5000 == 1 ? "Olaf Ølberg" : "Sender", "sender@example.com");
            mail.to("Reader", "reader@example.com");
            if (i % 1000 == 7)
                mail.cc("Zoë Quartermain", "zq@example.com");
        }
        pst.Write(path.toStdString());
    }
    ScriptedPrompts prompts;
    const auto owner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *owner->window;
    ItemListProxy* shown = window.itemListProxy();
    QAbstractItemModelTester tester(shown, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ScanInWindow(window, path);
    ClickFolder(window, QStringLiteral("Bulk"));
    ASSERT_EQ(shown->rowCount(), 10000);

    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filterEdit"));
    auto* count = window.findChild<QLabel*>(QStringLiteral("shownCount"));
    EXPECT_EQ(count->text(), QStringLiteral("10,000 items"));
    struct Case {
        const char* typed;
        QStringList subjects;  // in the list's order
    };
    const Case cases[] = {
        {"quartermain", {"Note 7", "Note 1007", "Note 2007", "Note 3007", "Note 4007", "Note 5007", "Note 6007",
                         "Note 7007", "Note 8007", "Note 9007"}},
        {"zoë QUARTER", {"Note 7", "Note 1007", "Note 2007", "Note 3007", "Note 4007", "Note 5007", "Note 6007",
                         "Note 7007", "Note 8007", "Note 9007"}},
        {"INVOICE", {"Invoice 2500", "Invoice 5000", "Invoice 7500", "Invoice 10000"}},
        {"ølberg", {"Note 1", "Note 5001"}},
        {"no such words", {}},
    };
    for (const Case& c : cases) {
        filter->clear();
        const QString typed = QString::fromUtf8(c.typed);
        // Key by key where the test library has the keys.
        if (std::all_of(typed.begin(), typed.end(), [](QChar ch) { return ch.unicode() < 0x80; }))
            QTest::keyClicks(filter, typed);
        else
            filter->insert(typed);
        EXPECT_EQ(ShownSubjects(window), Joined(c.subjects)) << c.typed;
        EXPECT_EQ(count->text(), QStringLiteral("%1 of 10,000 items").arg(c.subjects.size())) << c.typed;
    }
    // Sorting and filtering together; clearing the filter shows every row again.
    filter->setText(QStringLiteral("invoice"));
    ClickHeading(window, column::mail::kSubject);
    ClickHeading(window, column::mail::kSubject);
    EXPECT_EQ(ShownSubjects(window), "Invoice 7500 | Invoice 5000 | Invoice 2500 | Invoice 10000");
    filter->clear();
    EXPECT_EQ(shown->rowCount(), 10000);
    EXPECT_EQ(count->text(), QStringLiteral("10,000 items"));
}

// The folders of the mail files below `root`, and how many each holds.
QMap<QString, int> MailFilesByFolder(const QString& root)
{
    QMap<QString, int> folders;
    for (QDirIterator it(root, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QFileInfo file(it.next());
        ++folders[file.dir().dirName()];
    }
    return folders;
}

TEST(WindowWorkTest, ConvertTickedFoldersWritesExactlyTheTickedFoldersAndOffersToOpenThem)
{
    QTemporaryDir directory;
    const QString path = WriteWorkMailbox(directory);
    ScriptedPrompts prompts;
    QList<QUrl> opened;
    const auto owner = ShowRealWindow(prompts, [&](const QUrl& url) {
        opened << url;
        return true;
    });
    CQuenbyDlg& window = *owner->window;
    auto* action = window.findChild<QAction*>(QStringLiteral("actionConvertTicked"));
    ASSERT_NE(action, nullptr);
    EXPECT_FALSE(action->isEnabled()) << "before a scan";
    ScanInWindow(window, path);
    EXPECT_FALSE(action->isEnabled()) << "nothing ticked";

    CFolderTreeCtrl1* tree = window.folderTree();
    auto find = [&](const char* name) {
        return tree->findItems(QString::fromUtf8(name), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    };
    // Sent Items by its box; Inbox by Space, which ticks Inbox alone and
    // leaves Projects below it unticked.
    tree->scrollToItem(find("Sent Items"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->checkBoxRect(find("Sent Items")).center());
    EXPECT_TRUE(action->isEnabled());
    tree->setCurrentItem(find("Inbox"));
    QTest::keyClick(tree, Qt::Key_Space);
    ASSERT_TRUE(CFolderTreeCtrl1::isTicked(find("Inbox")));
    ASSERT_TRUE(CFolderTreeCtrl1::isUnticked(find("Projects")));

    QTemporaryDir destination;
    prompts.folder = destination.path();
    prompts.takeOffer = true;
    QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
    action->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
    const QStringList made = QDir(destination.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(made.size(), 1);
    const QString root = destination.filePath(made.first());
    EXPECT_EQ(MailFilesByFolder(root), (QMap<QString, int>{{"Inbox", 4}, {"Sent Items", 2}}));
    EXPECT_EQ(prompts.notices.last(), QStringLiteral("Saving sucessfully completed.\n\nOutput folder: ") + root);
    EXPECT_EQ(prompts.offers, QStringList{QStringLiteral("Open folder")});
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(root)});

    // Unticking everything turns the command off again.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->checkBoxRect(find("Sent Items")).center());
    tree->setCurrentItem(find("Inbox"));
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_FALSE(action->isEnabled());
}

// Browse and Scan refuse an offline cache file with the Parts' notices; File >
// Scan offline cache file (OST)... reads it, and its conversion writes it.
TEST(WindowWorkTest, AnOfflineCacheIsRefusedByScanAndReadThroughItsOwnCommand)
{
    QTemporaryDir directory;
    const QString cache = directory.filePath(QStringLiteral("mailbox.ost"));
    {
        pstwriter::PstBuilderOptions options;
        options.contentType = pstwriter::ContentType::OfflineCache;
        pstwriter::PstBuilder pst(options);
        pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("Cached").from("Ann", "ann@example.com").body("Text.");
        pst.topOfPersonalFolders().addFolder("Sync Issues").addFolder("Conflicts").addMessage().subject("Conflict");
        pst.Write(cache.toStdString());
    }
    ScriptedPrompts prompts;
    const auto owner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *owner->window;
    ScanInWindow(window, cache);
    EXPECT_EQ(prompts.notices,
              (QStringList{QStringLiteral("This is not a valid PST File"),
                           QStringLiteral("Please check file use in another proess or File is highly corrupted! Please "
                                          "select another file OR contact support team..")}));
    EXPECT_EQ(prompts.choosers, QStringList{QStringLiteral("Select File...")}) << "the Browse procedure follows";

    // The chooser was cancelled: as Browse, the command waits for Stop.
    auto* command = window.findChild<QAction*>(QStringLiteral("actionScanOfflineCache"));
    ASSERT_NE(command, nullptr);
    EXPECT_FALSE(command->isEnabled());
    window.findChild<QPushButton*>(QStringLiteral("stopButton"))->click();
    ASSERT_TRUE(command->isEnabled());
    prompts.notices.clear();
    prompts.files = {cache};
    QSignalSpy scanEnded(&window, &CQuenbyDlg::scanWorkerEnded);
    command->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !scanEnded.isEmpty(); }));
    EXPECT_EQ(prompts.notices, QStringList{QStringLiteral("Analysis completed")});
    EXPECT_EQ(prompts.choosers.last(), QStringLiteral("Select Offline Cache File..."));
    EXPECT_EQ(window.pstPath(), cache);
    EXPECT_FALSE(window.folderTree()->findItems(QStringLiteral("Conflicts"), Qt::MatchExactly | Qt::MatchRecursive).isEmpty());

    QTemporaryDir destination;
    prompts.folder = destination.path();
    QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
    window.findChild<QPushButton*>(QStringLiteral("convertButton"))->click();
    ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
    const QStringList made = QDir(destination.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(MailFilesByFolder(destination.filePath(made.first())),
              (QMap<QString, int>{{"Inbox", 1}, {"Conflicts", 1}}));
}

// Notices shown as the real box, photographed with the window behind them.
class PhotographedPrompts final : public UserPrompts {
public:
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    void Notify(QWidget*, const QString&, const QString& text) override { notices << text; }
    bool NotifyWithOffer(QWidget* owner, const QString& caption, const QString& text, const QString& offer) override
    {
        notices << text;
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        box.addButton(offer, QMessageBox::ActionRole);
        box.show();
        box.move(owner->geometry().center() - box.rect().center());
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QTest::qWaitForWindowExposed(&box);
        if (QScreen* screen = owner->screen())
            screen->grabWindow(0).copy(owner->frameGeometry()).save(testing::ScreenshotPath(photoName));
        return false;
    }
    void Error(QWidget*, const QString&, const QString& text) override { notices << text; }
    QString ChooseFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseFolder(QWidget*, const QString&) override { return folder; }

    QStringList notices;
    QString folder;
    QString photoName;
};

// The pictures the README shows: the demo mailbox scanned at 1400 x 900, a
// sorted and filtered list, and the notice of a ticked folders' conversion.
// Real pixels (the preview is a browser) need the X display of xvfb-run.
TEST(WindowWorkTest, TheReadmePictures)
{
    const QString demo = QStringLiteral(TOLVANE_DEMO_MAILBOX);
    if (!QFileInfo::exists(demo))
        GTEST_SKIP() << "demo mailbox not built: " << qPrintable(demo);
    PhotographedPrompts prompts;
    const auto owner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *owner->window;
    window.resize(1400, 900);
    window.move(0, 0);
    int loads = 0;
    QObject::connect(window.previewBrowser(), &CExplorer1::loadFinished, [&](bool) { ++loads; });
    ScanInWindow(window, demo);
    ClickFolder(window, QStringLiteral("Projects"));
    int before = loads;
    window.itemList()->selectRow(1);
    testing::Settle(window, before, loads);
    ASSERT_EQ(window.size(), QSize(1400, 900));
    testing::Screenshot(window, QStringLiteral("main-window.png"));

    ClickHeading(window, column::mail::kDeliveryTime);
    ClickHeading(window, column::mail::kDeliveryTime);
    ClickFolder(window, QStringLiteral("Inbox"));
    const int inInbox = window.itemList()->model()->rowCount();
    window.findChild<QLineEdit*>(QStringLiteral("filterEdit"))->setText(QStringLiteral("re"));
    ASSERT_GT(window.itemList()->model()->rowCount(), 0);
    ASSERT_LT(window.itemList()->model()->rowCount(), inInbox);
    before = loads;
    window.itemList()->selectRow(0);
    testing::Settle(window, before, loads);
    testing::Screenshot(window, QStringLiteral("filtered-sorted.png"));

    CFolderTreeCtrl1* tree = window.folderTree();
    const auto inbox = tree->findItems(QStringLiteral("Inbox"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->checkBoxRect(inbox).center());
    QTemporaryDir destination;
    prompts.folder = destination.path();
    prompts.photoName = QStringLiteral("ticked-folders-notice.png");
    QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
    window.findChild<QAction*>(QStringLiteral("actionConvertTicked"))->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
    EXPECT_TRUE(prompts.notices.last().startsWith(QStringLiteral("Saving sucessfully completed.")))
        << qPrintable(prompts.notices.last());
}

}  // namespace
}  // namespace tolvane
