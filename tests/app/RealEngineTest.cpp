// The window with the real scan engine and conversion on a sample mailbox, as
// a new user would go through it: choose, scan, click a folder, preview a row,
// convert. Saves a screenshot of each step into the build directory.
#include "view/CExplorer1.h"
#include "view/CFolderTreeCtrl1.h"
#include "app/CQuenbyDlg.h"
#include "app/MailBodyLoader.h"
#include "view/FillItemList.h"
#include "tests/app/RealWindow.h"
#include "tests/view/GuiTestSupport.h"
#include "view/ItemListColumns.h"
#include "view/ItemListModel.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <QBuffer>
#include <QImage>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane {
namespace {

using testing::ScriptedPrompts;
using testing::WaitUntil;
using testing::ClickFolder;
using testing::RealWindow;
using testing::ScanInWindow;
using testing::Screenshot;
using testing::ScreenshotPath;
using testing::Settle;
using testing::ShowRealWindow;

class RealEngineTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RealEngineTest, ScanBrowsePreviewAndConvertASample)
{
    // Bare names are real samples; the demo mailbox comes from the project's PST writer.
    const QString name = QString::fromLatin1(GetParam());
    const QString sample = name.startsWith(u'/') ? name : QStringLiteral(TOLVANE_SAMPLES_DIR "/") + name;
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *windowOwner->window;
    int loads = 0;
    QObject::connect(window.previewBrowser(), &CExplorer1::loadFinished, [&](bool) { ++loads; });
    WaitUntil([&] { return loads > 0; }, 20000);
    const QString stem = QFileInfo(sample).completeBaseName();

    ScanInWindow(window, sample);
    ASSERT_EQ(prompts.notices.value(0), QStringLiteral("Analysis completed"));
    EXPECT_GT(window.folderTree()->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(window.itemListModel()->rowCount(), static_cast<int>(windowOwner->store.mailCount()));
    Screenshot(window, stem + QStringLiteral("-1-scanned.png"));

    // Click the folder of a mail worth showing: HTML body and an attachment
    // when the mailbox has one, else the first mail record.
    const auto mail = windowOwner->store.mailRecords();
    ASSERT_FALSE(mail.empty());
    auto shown = mail.front();
    for (const auto& record : mail) {
        if (record->bodyKind == BodyKind::Html && !record->attachments.isEmpty() && !record->folderName.isEmpty()) {
            shown = record;
            break;
        }
    }
    auto clickFolder = [&](const QString& folder) { ClickFolder(window, folder); };
    clickFolder(shown->folderName);
    EXPECT_GT(window.itemListModel()->rowCount(), 0);
    Screenshot(window, stem + QStringLiteral("-2-folder.png"));

    const int loadsBefore = loads;
    int shownRow = 0;
    const auto* model = window.itemListModel();
    for (int row = 0; row < model->rowCount() && shownRow == 0; ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (model->index(row, column).data().toString() == shown->subject) {
                shownRow = row;
                break;
            }
        }
    }
    window.itemList()->selectRow(shownRow);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("subjectValue"))->text(), shown->subject);
    Settle(window, loadsBefore, loads);
    // The page shows the kept body (its text, whatever the body's kind).
    QString pageText;
    bool pageRead = false;
    window.previewBrowser()->webView()->page()->toPlainText([&](const QString& text) {
        pageText = text;
        pageRead = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return pageRead; }));
    if (!shown->body.text().trimmed().isEmpty()) {
        EXPECT_FALSE(pageText.trimmed().isEmpty()) << "body kind " << static_cast<int>(shown->bodyKind);
    }
    Screenshot(window, stem + QStringLiteral("-3-preview.png"));

    // A contact selected after the mail shows none of the mail's values.
    const auto contacts = windowOwner->store.contactRecords();
    const auto contact = std::find_if(contacts.begin(), contacts.end(),
                                      [](const auto& record) { return !record->folderName.isEmpty(); });
    if (contact != contacts.end()) {
        clickFolder((*contact)->folderName);
        int contactRow = -1;
        for (int row = 0; row < model->rowCount() && contactRow < 0; ++row) {
            if (model->cellText(row, column::kKind) == ContactKindWord())
                contactRow = row;
        }
        if (contactRow >= 0) {
            const int loadsBeforeContact = loads;
            window.itemList()->selectRow(contactRow);
            for (const char* name : {"fromValue", "dateValue", "subjectValue", "attachmentValue"})
                EXPECT_TRUE(window.findChild<QLabel*>(QString::fromLatin1(name))->text().isEmpty()) << name;
            Settle(window, loadsBeforeContact, loads);
            Screenshot(window, stem + QStringLiteral("-3b-contact.png"));
        }
    }

    QTemporaryDir destination;
    prompts.folder = destination.path();
    QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
    window.findChild<QPushButton*>(QStringLiteral("convertButton"))->click();
    ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
    // The notice of a complete conversion, followed by the calendar's counts
    // when the mailbox has appointments, then the output folder it offers to open.
    const QStringList made = QDir(destination.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(made.size(), 1);
    const QString folderLine = QStringLiteral("\n\nOutput folder: ") + destination.filePath(made.first());
    QString notice = prompts.notices.last();
    ASSERT_TRUE(notice.endsWith(folderLine)) << qPrintable(notice);
    EXPECT_EQ(prompts.offers, QStringList{QStringLiteral("Open folder")});
    notice.chop(folderLine.size());
    EXPECT_TRUE(notice == QStringLiteral("Saving sucessfully completed.")
                || (notice.startsWith(QStringLiteral("Saving sucessfully completed.\n\nCalendars: "))
                    && !notice.contains(QStringLiteral("could not"))))
        << qPrintable(notice);
    // The bar ends full, with every item counted on it.
    const auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    EXPECT_EQ(bar->value(), 100);
    const QStringList counted = bar->text().split(QStringLiteral(" / "));
    ASSERT_EQ(counted.size(), 2) << qPrintable(bar->text());
    EXPECT_EQ(counted.first(), counted.last());
    int emlFiles = 0;
    for (QDirIterator it(destination.path(), {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++emlFiles;
    EXPECT_GT(emlFiles, 0);
    Screenshot(window, stem + QStringLiteral("-4-converted.png"));

    // A scan after the conversion builds its tree and list again, whole.
    const auto countNodes = [&] {
        int nodes = 0;
        for (QTreeWidgetItemIterator it(window.folderTree()); *it != nullptr; ++it)
            ++nodes;
        return nodes;
    };
    const int nodesBefore = countNodes();
    ScanInWindow(window, sample);
    EXPECT_EQ(prompts.notices.last(), QStringLiteral("Analysis completed"));
    EXPECT_GT(nodesBefore, 1);
    EXPECT_EQ(countNodes(), nodesBefore);
    EXPECT_EQ(window.itemListModel()->rowCount(), static_cast<int>(windowOwner->store.mailCount()));
}

// File > Convert to mbox..., Convert to Maildir... and Convert for
// Thunderbird...: the same conversion with the mail in those formats, its
// manifest beside.
TEST(RealEngineConvertTest, TheFileMenuConvertsToMboxMaildirAndTheMboxTree)
{
    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *windowOwner->window;
    ScanInWindow(window, QStringLiteral(TOLVANE_DEMO_MAILBOX));
    ASSERT_EQ(prompts.notices.value(0), QStringLiteral("Analysis completed"));
    const struct {
        const char* action;
        const char* text;
        const char* written;  // a file only that format writes
        bool tellsHowIn;      // the notice says how the output goes into Thunderbird
    } formats[] = {{"actionConvertMbox", "Convert to mbox...", "*.mbox", false},
                   {"actionConvertMaildir", "Convert to Maildir...", "*.tolvane:2,*", false},
                   {"actionConvertMboxTree", "Convert for Thunderbird...", "Inbox", true}};
    for (const auto& format : formats) {
        QAction* action = window.findChild<QAction*>(QString::fromLatin1(format.action));
        ASSERT_NE(action, nullptr) << format.action;
        EXPECT_EQ(action->text(), QString::fromLatin1(format.text));
        ASSERT_TRUE(action->isEnabled());
        QTemporaryDir destination;
        prompts.folder = destination.path();
        QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
        action->trigger();
        ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
        EXPECT_TRUE(prompts.notices.last().startsWith(QStringLiteral("Saving sucessfully completed.")))
            << qPrintable(prompts.notices.last());
        EXPECT_EQ(prompts.notices.last().contains(QStringLiteral("quit it and copy what is inside the folder's "
                                                                 "\"Local Folders\" into Thunderbird's own")),
                  format.tellsHowIn)
            << qPrintable(prompts.notices.last());
        int written = 0;
        int eml = 0;
        for (QDirIterator it(destination.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString name = QFileInfo(it.next()).fileName();
            written += QDir::match(QString::fromLatin1(format.written), name) ? 1 : 0;
            eml += name.endsWith(QStringLiteral(".eml")) ? 1 : 0;
        }
        EXPECT_GT(written, 0) << format.action;
        EXPECT_EQ(eml, 0) << format.action;
    }
}

// File > Scan with recovery on a sample that still holds two deleted versions
// of its mail: they come as a folder of their own at the end of the tree,
// are listed and previewed like any mail, and Convert writes them marked.
TEST(RealEngineRecoveryTest, ScanWithRecoveryListsPreviewsAndConvertsTheDeletedMail)
{
    const QString sample = QStringLiteral(TOLVANE_SAMPLES_DIR "/sample1.pst");
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *windowOwner->window;
    QAction* scanWithRecovery = window.findChild<QAction*>(QStringLiteral("actionScanWithRecovery"));
    ASSERT_NE(scanWithRecovery, nullptr);
    EXPECT_EQ(scanWithRecovery->text(), QStringLiteral("Scan with recovery"));

    window.ChooseFile(sample);
    EXPECT_TRUE(scanWithRecovery->isEnabled());
    QSignalSpy scanEnded(&window, &CQuenbyDlg::scanWorkerEnded);
    scanWithRecovery->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !scanEnded.isEmpty(); }));
    EXPECT_TRUE(prompts.notices.value(0).startsWith(QStringLiteral("Analysis completed\n\nRecovered: 2 mails")))
        << qPrintable(prompts.notices.value(0));
    QTreeWidgetItem* top = window.folderTree()->topLevelItem(0);
    ASSERT_GT(top->childCount(), 1);
    EXPECT_EQ(top->child(top->childCount() - 1)->text(0), QStringLiteral("Recovered items"))
        << "the recovery's folder comes last";

    ClickFolder(window, QStringLiteral("Recovered items"));
    ASSERT_EQ(window.itemListModel()->rowCount(), 2);
    window.itemList()->selectRow(0);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("subjectValue"))->text(),
              QStringLiteral("Here is a sample message"));
    Screenshot(window, QStringLiteral("sample1-recovered-items.png"));

    QTemporaryDir destination;
    prompts.folder = destination.path();
    QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
    window.findChild<QPushButton*>(QStringLiteral("convertButton"))->click();
    ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
    EXPECT_TRUE(prompts.notices.last().contains(QStringLiteral("\n\nRecovered mail: 2 saved, 2 with missing attachments.")))
        << qPrintable(prompts.notices.last());
    int marked = 0;
    for (QDirIterator it(destination.path(), {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const bool recovered = file.readAll().contains("X-Tolvane-Recovered: yes");
        EXPECT_EQ(recovered, path.contains(QStringLiteral("/Recovered items/"))) << qPrintable(path);
        marked += recovered ? 1 : 0;
    }
    EXPECT_EQ(marked, 2);

    // A plain Scan of the file chosen again goes back to the folders alone.
    ScanInWindow(window, sample);
    EXPECT_TRUE(window.folderTree()->findItems(QStringLiteral("Recovered items"), Qt::MatchExactly | Qt::MatchRecursive)
                    .isEmpty());
}

// The mailbox goes away between Scan and Convert: the window asks whether to
// write what the scan kept. No writes nothing and says so; Yes writes every
// mail, each file saying what it lacks, and the notice does not claim success.
TEST(RealEngineConvertTest, MailboxGoneBeforeConvertAsksFirst)
{
    const QString demo = QStringLiteral(TOLVANE_DEMO_MAILBOX);
    if (!QFileInfo::exists(demo))
        GTEST_SKIP() << "demo mailbox not built: " << qPrintable(demo);
    for (const bool writeWhatTheScanKept : {false, true}) {
        SCOPED_TRACE(writeWhatTheScanKept ? "Yes" : "No");
        QTemporaryDir work;
        const QString mailbox = work.filePath(QStringLiteral("moving.pst"));
        ASSERT_TRUE(QFile::copy(demo, mailbox));
        ScriptedPrompts prompts;
        const auto windowOwner = ShowRealWindow(prompts);
        CQuenbyDlg& window = *windowOwner->window;
        ScanInWindow(window, mailbox);
        ASSERT_EQ(prompts.notices.value(0), QStringLiteral("Analysis completed"));
        ASSERT_TRUE(QFile::remove(mailbox));

        const QString destination = work.filePath(QStringLiteral("out"));
        QDir().mkpath(destination);
        prompts.folder = destination;
        prompts.answers = {writeWhatTheScanKept};
        QSignalSpy converted(&window, &CQuenbyDlg::conversionWorkerEnded);
        window.findChild<QPushButton*>(QStringLiteral("convertButton"))->click();
        ASSERT_TRUE(WaitUntil([&] { return !converted.isEmpty(); }));
        ASSERT_EQ(prompts.questions.size(), 1);
        EXPECT_TRUE(prompts.questions.front().contains(QStringLiteral("can no longer be read")));
        EXPECT_NE(prompts.notices.last(), QStringLiteral("Saving sucessfully completed."));
        QStringList files;
        for (QDirIterator it(destination, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        if (!writeWhatTheScanKept) {
            EXPECT_TRUE(files.isEmpty());
            EXPECT_TRUE(prompts.notices.last().contains(QStringLiteral("Nothing was saved")));
            continue;
        }
        EXPECT_FALSE(files.isEmpty());
        for (const QString& path : files) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_TRUE(file.readAll().contains("\r\nX-Tolvane-Incomplete: ")) << qPrintable(path);
        }
    }
}

// The tick and bold rules on the tree a real scan builds from a mailbox of
// the project's PST writer: ticking a folder ticks its whole subtree and
// makes it bold; an ancestor is bold while any descendant is, and ticked only
// once all of its children are.
TEST(RealEngineTreeTest, TickAndBoldRulesOnTheDemoMailbox)
{
    const QString demo = QStringLiteral(TOLVANE_DEMO_MAILBOX);
    if (!QFileInfo::exists(demo))
        GTEST_SKIP() << "demo mailbox not built: " << qPrintable(demo);
    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *windowOwner->window;
    ScanInWindow(window, demo);
    ASSERT_EQ(prompts.notices.value(0), QStringLiteral("Analysis completed"));

    CFolderTreeCtrl1* tree = window.folderTree();
    auto find = [&](const QString& name) {
        const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    };
    QTreeWidgetItem* top = find(QStringLiteral("Top of Personal Folders"));
    QTreeWidgetItem* inbox = find(QStringLiteral("Inbox"));
    QTreeWidgetItem* projects = find(QStringLiteral("Projects"));
    QTreeWidgetItem* alesund = find(QStringLiteral("Ålesund 2026"));
    QTreeWidgetItem* root = tree->topLevelItem(0);
    ASSERT_TRUE(top && inbox && projects && alesund && root);
    auto clickBox = [&](QTreeWidgetItem* item) {
        tree->scrollToItem(item);
        const QRect box = tree->checkBoxRect(item);
        ASSERT_TRUE(box.isValid());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, box.center());
    };

    clickBox(projects);
    for (QTreeWidgetItem* item : {projects, alesund}) {
        EXPECT_TRUE(CFolderTreeCtrl1::isTicked(item)) << qPrintable(item->text(0));
        EXPECT_TRUE(CFolderTreeCtrl1::isBold(item)) << qPrintable(item->text(0));
    }
    for (QTreeWidgetItem* item : {inbox, top, root}) {
        EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item)) << qPrintable(item->text(0));
        EXPECT_TRUE(CFolderTreeCtrl1::isBold(item)) << qPrintable(item->text(0));
    }

    // Every child of Top ticked: Top and the root follow.
    for (int index = 0; index < top->childCount(); ++index) {
        if (CFolderTreeCtrl1::isUnticked(top->child(index)))
            clickBox(top->child(index));
    }
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(top));
    for (int index = 0; index < root->childCount(); ++index) {
        if (CFolderTreeCtrl1::isUnticked(root->child(index)))
            clickBox(root->child(index));
    }
    EXPECT_TRUE(CFolderTreeCtrl1::isTicked(root));

    // Unticking the top folder unticks and unbolds its whole subtree.
    clickBox(top);
    for (QTreeWidgetItem* item : {top, inbox, projects, alesund}) {
        EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(item)) << qPrintable(item->text(0));
        EXPECT_FALSE(CFolderTreeCtrl1::isBold(item)) << qPrintable(item->text(0));
    }
    EXPECT_TRUE(CFolderTreeCtrl1::isUnticked(root));
}

// Exit ends the process at once, past every destructor: the real services'
// exit removes the process's temporary directory, with what the session put in
// it, before the process ends. The child is a plain fork, so it sees the
// scratch directory made here.
TEST(RealEngineExitDeathTest, ExitRemovesTheTemporaryDirectoryBeforeTheProcessEnds)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(scratch.path()));
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            ProcessTempDir tempDir;
            ItemStore store;
            const WindowServices services = DefaultWindowServices(store, tempDir);
            if (const auto directory = tempDir.path())
                QDir().mkpath(*directory + QStringLiteral("/inner"));
            services.exitProcess();
            std::_Exit(3);  // only when exitProcess did not end the process
        },
        ::testing::ExitedWithCode(0), "");
    if (previous.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previous);
    const QString user = scratch.path() + QStringLiteral("/tolvane-%1").arg(::geteuid());
    EXPECT_TRUE(QFileInfo::exists(user));
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());
}

// Selects the row of the mail with `subject` and waits for the body read
// from the mailbox to be shown; its preview file's path.
QString PreviewMail(CQuenbyDlg& window, const QString& subject)
{
    const auto* model = window.itemListModel();
    int found = -1;
    for (int row = 0; row < model->rowCount() && found < 0; ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (model->index(row, column).data().toString() == subject) {
                found = row;
                break;
            }
        }
    }
    EXPECT_GE(found, 0) << qPrintable(subject);
    QSignalSpy bodyShown(&window, &CQuenbyDlg::previewBodyShown);
    int loads = 0;
    const auto connection =
        QObject::connect(window.previewBrowser(), &CExplorer1::loadFinished, [&](bool) { ++loads; });
    window.itemList()->selectRow(std::max(found, 0));
    EXPECT_TRUE(WaitUntil([&] { return !bodyShown.isEmpty(); }, 20000));
    // The body's page is the last one navigated to; wait until it has loaded.
    EXPECT_TRUE(WaitUntil([&] { return loads > 0 && window.previewBrowser()->currentTarget() ==
                                                           bodyShown.value(0).value(0).toString(); },
                          20000));
    WaitUntil([&] { return !window.previewBrowser()->webView()->page()->isLoading(); }, 20000);
    QObject::disconnect(connection);
    return bodyShown.isEmpty() ? QString() : bodyShown.first().first().toString();
}

// Evaluates an expression in the page's own world, apart from the mail's
// (which runs no script); the result as text.
QString EvaluateInPage(CQuenbyDlg& window, const QString& expression)
{
    QString text;
    bool done = false;
    window.previewBrowser()->webView()->page()->runJavaScript(
        expression, QWebEngineScript::ApplicationWorld, [&](const QVariant& result) {
            text = result.toString();
            done = true;
        });
    WaitUntil([&] { return done; });
    return text;
}

QByteArray PngOf(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Mail whose content lives only in its RTF body shows that content, and the
// images its HTML names by "cid:" load from the mailbox through the preview's
// own handler; remote images and scripts stay inert.
TEST(RealEnginePreviewTest, BodiesAsTheConversionReadsThemWithTheirInlineImages)
{
    const struct {
        const char* sample;
        const char* subject;
        const char* text;         // what the page's text must hold; empty: no visible text
        const char* contentId;    // an inline image that must load; empty: none
        bool recordBlank;         // the scan kept no body: the record alone showed nothing
    } cases[] = {
        {"attachAndInline.pst", "Attach and inline", "", "image001.png@01D78380.EF6DC500", true},
        {"200-recipients.pst", "200 recipients", "", "", true},
        {"msgInMsg.pst", "I have attachments!", "I have attachments!", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        const QString sample = QStringLiteral(TOLVANE_SAMPLES_DIR "/") + QString::fromLatin1(c.sample);
        if (!QFileInfo::exists(sample))
            GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
        ScriptedPrompts prompts;
        const auto windowOwner = ShowRealWindow(prompts);
        CQuenbyDlg& window = *windowOwner->window;
        QStringList served;
        QObject::connect(window.previewBrowser(), &CExplorer1::inlineImageServed,
                         [&](const QString& id) { served << id; });
        ScanInWindow(window, sample);
        const auto mail = windowOwner->store.mailRecords();
        const auto record = std::find_if(mail.begin(), mail.end(), [&](const auto& one) {
            return one->subject == QString::fromUtf8(c.subject) && !one->folderName.isEmpty();
        });
        ASSERT_NE(record, mail.end());
        EXPECT_EQ((*record)->body.text().trimmed().isEmpty(), c.recordBlank);
        ClickFolder(window, (*record)->folderName);
        const QString shown = PreviewMail(window, QString::fromUtf8(c.subject));
        EXPECT_TRUE(shown.endsWith(QStringLiteral("temp.html"))) << qPrintable(shown);
        // Word's page structure is there, whatever text it holds. A slow
        // build may still be putting the page together once it says it has
        // loaded, so its content is asked for until it comes.
        EXPECT_TRUE(WaitUntil(
            [&] {
                return EvaluateInPage(window, QStringLiteral("String(document.querySelectorAll('div.WordSection1')"
                                                             ".length)")) == QStringLiteral("1");
            },
            20000)) << qPrintable(EvaluateInPage(window, QStringLiteral("location.href + ' ' + document.documentElement.outerHTML.slice(0, 800)")));
        const QString text = EvaluateInPage(window, QStringLiteral("document.body.innerText"));
        if (*c.text != '\0') {
            EXPECT_TRUE(text.contains(QString::fromUtf8(c.text))) << qPrintable(text);
        }
        if (*c.contentId != '\0') {
            EXPECT_TRUE(WaitUntil([&] { return served.contains(QString::fromLatin1(c.contentId)); }, 20000))
                << qPrintable(served.join(' '));
            EXPECT_TRUE(WaitUntil([&] {
                return EvaluateInPage(window, QStringLiteral("String(document.images[0].complete && "
                                                             "document.images[0].naturalWidth)")) == "256";
            }));
        }
        Screenshot(window, QFileInfo(sample).completeBaseName() + QStringLiteral("-5-body-preview.png"));
    }
}

TEST(RealEnginePreviewTest, AFixtureMailsInlineImageLoadsAndItsRemoteImageAndScriptDoNot)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("preview.pst"));
    const QByteArray png = PngOf(40, 30);
    pstwriter::PstBuilder pst;
    pst.topOfPersonalFolders()
        .addFolder("Inbox")
        .addMessage()
        .subject("Inline and remote")
        .from("Ann", "ann@example.com")
        .body("  \r\n")
        .rtfBodyUncompressed(
            "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\*\\htmltag1 <html><body><p>Fixture text \\'e9</p>"
            "<img id=\"inline\" src=\"cid:Pic@Fixture\"><img id=\"remote\" src=\"http://127.0.0.1:9/t.gif\">"
            "<script>document.title='ran'</script></body></html>}}")
        .attach("pic.png", pstwriter::Bytes(png.begin(), png.end()), "image/png", "pic@fixture");
    pst.topOfPersonalFolders().addFolder("Rich").addMessage().subject("Pure RTF").rtfBody(
        "{\\rtf1\\ansi {\\fonttbl{\\f0 Arial;}}\\f0 {\\b Bold} words\\par second line}");
    pst.Write(path.toStdString());

    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    CQuenbyDlg& window = *windowOwner->window;
    QStringList served;
    QObject::connect(window.previewBrowser(), &CExplorer1::inlineImageServed, [&](const QString& id) { served << id; });
    ScanInWindow(window, path);
    ClickFolder(window, QStringLiteral("Inbox"));
    PreviewMail(window, QStringLiteral("Inline and remote"));
    EXPECT_TRUE(EvaluateInPage(window, QStringLiteral("document.body.innerText")).contains(QString::fromUtf8("Fixture text é")));
    ASSERT_TRUE(WaitUntil([&] { return !served.isEmpty(); }, 20000));
    EXPECT_EQ(served.first().toLower(), QStringLiteral("pic@fixture"));
    EXPECT_TRUE(WaitUntil([&] {
        return EvaluateInPage(window, QStringLiteral("String(document.getElementById('inline').naturalWidth)")) == "40";
    }));
    EXPECT_EQ(EvaluateInPage(window, QStringLiteral("String(document.getElementById('remote').naturalWidth)")),
              QStringLiteral("0"));
    EXPECT_NE(window.previewBrowser()->webView()->page()->title(), QStringLiteral("ran"));
    Screenshot(window, QStringLiteral("fixture-inline-image-preview.png"));

    // A body of RTF proper shows its text.
    ClickFolder(window, QStringLiteral("Rich"));
    EXPECT_TRUE(PreviewMail(window, QStringLiteral("Pure RTF")).endsWith(QStringLiteral("temp.txt")));
    EXPECT_EQ(EvaluateInPage(window, QStringLiteral("document.body.innerText")).trimmed(),
              QStringLiteral("Bold words\nsecond line"));
}

// A read held at its start is superseded by a later selection: only the
// later body is delivered, and the held one is never read at all.
TEST(RealEnginePreviewTest, ANewerSelectionSupersedesAReadStillWaiting)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("two.pst"));
    pstwriter::PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage().subject("first").body("first body");
    inbox.addMessage().subject("second").body("second body");
    pst.Write(path.toStdString());
    ScriptedPrompts prompts;
    const auto windowOwner = ShowRealWindow(prompts);
    ScanInWindow(*windowOwner->window, path);
    ItemLocation first, second;
    for (const auto& record : windowOwner->store.mailRecords())
        (record->subject == QStringLiteral("first") ? first : second) = record->location;

    MailBodyLoader loader;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> held{0};
    std::vector<quint64> reads;
    loader.setBeforeReadHook([&](quint64 request) {
        std::unique_lock lock(mutex);
        reads.push_back(request);
        if (request != 1)
            return;
        held = 1;
        released.wait(lock, [&] { return release; });
    });
    QSignalSpy delivered(&loader, &MailBodyLoader::bodyLoaded);
    loader.Load(1, path, first);
    ASSERT_TRUE(WaitUntil([&] { return held.load() == 1; }));
    loader.Load(2, path, second);
    loader.Load(3, path, second);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    ASSERT_TRUE(WaitUntil([&] { return !delivered.isEmpty(); }));
    QTest::qWait(0);
    ASSERT_EQ(delivered.size(), 1);
    EXPECT_EQ(delivered.first().at(0).value<quint64>(), 3u);
    const auto body = delivered.first().at(1).value<PreviewBody>();
    EXPECT_EQ(body.kind, PreviewBody::Kind::Text);
    EXPECT_EQ(body.text, QStringLiteral("second body"));
    std::lock_guard lock(mutex);
    // The first was held before its read and given up; the second never started.
    EXPECT_EQ(reads, (std::vector<quint64>{1, 3}));
}

INSTANTIATE_TEST_SUITE_P(Samples, RealEngineTest,
                         ::testing::Values("sample1.pst", "attachAndInline.pst", TOLVANE_DEMO_MAILBOX),
                         [](const auto& info) { return QFileInfo(QString::fromLatin1(info.param)).completeBaseName().toStdString(); });

}  // namespace
}  // namespace tolvane
