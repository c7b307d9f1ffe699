// The main window with a fake engine: enabling states, Stop during a scan and
// a conversion, list fills from tree clicks, previews, keys and the exit question.
#include "frontend/RecordText.h"
#include "view/CExplorer1.h"
#include "view/CFolderTreeCtrl1.h"
#include "view/FillItemList.h"
#include "app/CQuenbyApp.h"
#include "app/CQuenbyDlg.h"
#include "frontend/TolvaneVersion.h"
#include "app/WindowScanSink.h"
#include "tests/app/FakeEngine.h"
#include "tests/view/GuiTestSupport.h"
#include "view/ItemListModel.h"
#include "view/ItemListProxy.h"
#include "app/LoadIDialog.h"
#include "view/PreviewPages.h"
#include "base/ProcessTempDir.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QMimeData>
#include <QDropEvent>
#include <QAbstractScrollArea>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::FakeConversions;
using testing::FakeMailbox;
using testing::ScriptedPrompts;
using testing::WaitUntil;
using testing::WorkerHold;

// Browse, Scan, Convert, Stop, File > Open, File > Scan, File > Convert.
using Commands = std::array<bool, 7>;

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        conversions = std::make_shared<FakeConversions>();
        WindowServices services;
        services.store = &store;
        services.tempDir = &tempDir;
        services.prompts = &prompts;
        services.runScan = [this](const ShownScan& s) {
            scannedOstFiles = s.request.ostFiles;
            return mailbox(s);
        };
        services.conversions = conversions;
        services.exitProcess = [this] {
            ++exits;
            if (whileExiting)
                whileExiting();
        };
        services.openExternally = [](const QUrl&) { return true; };
        services.prepareScanGate = [this](WorkerGate& gate) {
            if (scanHoldAt > 0)
                scanHold.install(gate, scanHoldAt);
        };
        services.prepareConversionGate = [this](WorkerGate& gate) {
            if (conversionHoldAt > 0)
                conversionHold.install(gate, conversionHoldAt);
        };
        window = std::make_unique<CQuenbyDlg>(services);
        window->show();
    }
    ~WindowTest() override
    {
        // Let every worker end before the window goes.
        scanHold.release();
        conversionHold.release();
        WaitUntil([this] {
            return mailboxIdle() && !conversions->isRunning() && (!window || window->runningListFills() == 0);
        });
        window.reset();
    }
    bool mailboxIdle() const { return !scanStarted || mailbox.returned; }

    template <typename T>
    T* control(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    Commands commands() const
    {
        return {control<QPushButton>("browseButton")->isEnabled(), control<QPushButton>("scanButton")->isEnabled(),
                control<QPushButton>("convertButton")->isEnabled(), control<QPushButton>("stopButton")->isEnabled(),
                control<QAction>("actionOpen")->isEnabled(), control<QAction>("actionScan")->isEnabled(),
                control<QAction>("actionConvert")->isEnabled()};
    }
    int rows() const { return window->itemListModel()->rowCount(); }
    // From, Date, Subject, Attachment.
    QStringList labelTexts() const
    {
        QStringList texts;
        for (const char* name : {"fromValue", "dateValue", "subjectValue", "attachmentValue"})
            texts << control<QLabel>(name)->text();
        return texts;
    }
    int progress() const { return control<QProgressBar>("progressBar")->value(); }

    void chooseFile() { window->ChooseFile(QStringLiteral("/nowhere/box.pst")); }
    void startScan()
    {
        scanStarted = true;
        control<QPushButton>("scanButton")->click();
    }
    void scanToTheEnd()
    {
        chooseFile();
        startScan();
        ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning(); }));
    }
    void clickFolder(const QString& name)
    {
        CFolderTreeCtrl1* tree = window->folderTree();
        const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        const QRect row = tree->visualItemRect(found.first());
        QSignalSpy filled(window->listFiller(), &ItemListFiller::fillCompleted);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 3, row.center().y()));
        ASSERT_TRUE(WaitUntil([&] { return !filled.isEmpty() && window->runningListFills() == 0; }));
    }
    void selectRow(int row)
    {
        window->itemList()->selectionModel()->select(
            window->itemListModel()->index(row, column::mail::kFrom), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // The session the window runs on; both outlive it.
    ProcessTempDir tempDir;
    ItemStore store;
    ScriptedPrompts prompts;
    FakeMailbox mailbox;
    std::shared_ptr<FakeConversions> conversions;
    WorkerHold scanHold;
    WorkerHold conversionHold;
    long scanHoldAt = 0;
    long conversionHoldAt = 0;
    bool scanStarted = false;
    std::optional<OstFiles> scannedOstFiles;  // of the last scan the window started
    int exits = 0;
    // Runs inside exitProcess, where the real process would end.
    std::function<void()> whileExiting;
    std::unique_ptr<CQuenbyDlg> window;
};

TEST_F(WindowTest, StatesAlongTheUsualPath)
{
    EXPECT_EQ(commands(), (Commands{1, 0, 0, 0, 1, 0, 0})) << "idle";
    EXPECT_EQ(window->commandState(), CommandState::Idle);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tolvane ") + QLatin1String(tolvane::kProductVersion));

    chooseFile();
    EXPECT_EQ(commands(), (Commands{1, 1, 0, 0, 1, 1, 0})) << "file chosen";
    EXPECT_EQ(window->commandState(), CommandState::FileChosen);
    EXPECT_EQ(control<QLineEdit>("pstPathEdit")->text(), QStringLiteral("/nowhere/box.pst"));
    EXPECT_EQ(window->folderTree()->topLevelItemCount(), 1);

    scanHoldAt = 3;
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return scanHold.reached(); }));
    ASSERT_TRUE(WaitUntil([this] { return !control<QPushButton>("scanButton")->isEnabled(); }));
    EXPECT_EQ(commands(), (Commands{0, 0, 0, 1, 0, 0, 0})) << "scanning";
    EXPECT_EQ(window->commandState(), CommandState::Scanning);
    scanHold.release();
    ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning(); }));
    EXPECT_EQ(commands(), (Commands{1, 0, 1, 1, 1, 0, 1})) << "scanned";
    EXPECT_EQ(window->commandState(), CommandState::Scanned);
    EXPECT_EQ(prompts.notices, QStringList{QStringLiteral("Analysis completed")});
    EXPECT_EQ(rows(), 21);
    EXPECT_EQ(progress(), 100);
    EXPECT_EQ(window->waitWindow(), nullptr);

    // Choosing a file again empties everything and disables Convert; Stop stays.
    chooseFile();
    EXPECT_EQ(commands(), (Commands{1, 1, 0, 1, 1, 1, 0}));
    EXPECT_EQ(window->commandState(), CommandState::FileChosenAfterScan);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(store.mailCount(), 0u);

    // Stop with nothing running asks nothing and only enables Browse.
    window->OnStop();
    EXPECT_TRUE(prompts.questions.isEmpty());
}

// A damaged mailbox: after "Analysis completed" the window names what the
// scan left out, at most twenty places and a count of the rest.
TEST_F(WindowTest, SkippedItemsAreNamedAfterTheCompletedScan)
{
    for (int i = 1; i <= 22; ++i)
        mailbox.skipped << QStringLiteral("\\Top\\Inbox, item %1").arg(i);
    chooseFile();
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning(); }));
    ASSERT_EQ(prompts.notices.size(), 2);
    EXPECT_EQ(prompts.notices[0], QStringLiteral("Analysis completed"));
    const QStringList lines = prompts.notices[1].split(u'\n');
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines.first(), QStringLiteral("22 items could not be read and were left out:"));
    EXPECT_EQ(lines[1], QStringLiteral("\\Top\\Inbox, item 1: unreadable"));
    EXPECT_EQ(lines.last(), QStringLiteral("… and 2 more."));
    EXPECT_EQ(commands(), (Commands{1, 0, 1, 1, 1, 0, 1})) << "scanned";

    EXPECT_EQ(WindowScanSink::SkippedItemsNotice({}), QString());
    EXPECT_EQ(WindowScanSink::SkippedItemsNotice({QStringLiteral("a: b")}),
              QStringLiteral("1 item could not be read and was left out:\na: b"));
}

TEST_F(WindowTest, StopDuringAScanAnsweredNoHoldsEverythingThenFinishes)
{
    chooseFile();
    scanHoldAt = 6;
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return scanHold.reached() && rows() == 5; }));
    const int progressBefore = progress();
    int rowsWhileAsked = -1;
    int progressWhileAsked = -1;
    prompts.answers = {false};
    prompts.whileAsking = [&](const QString&) {
        scanHold.release();
        scanHold.waitUntilHeldByGate();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        rowsWhileAsked = rows();
        progressWhileAsked = progress();
    };
    control<QPushButton>("stopButton")->click();
    EXPECT_EQ(prompts.questions, QStringList{QStringLiteral("Do you want to stop scan process ?")});
    EXPECT_EQ(prompts.captions.first(), QStringLiteral("Tolvane"));
    EXPECT_EQ(rowsWhileAsked, 5);
    EXPECT_EQ(progressWhileAsked, progressBefore);
    ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning(); }));
    EXPECT_EQ(prompts.notices, QStringList{QStringLiteral("Analysis completed")});
    EXPECT_EQ(rows(), 21);
    EXPECT_EQ(commands(), (Commands{1, 0, 1, 1, 1, 0, 1}));
}

TEST_F(WindowTest, StopDuringAScanAnsweredYesAbandonsItForGood)
{
    chooseFile();
    scanHoldAt = 6;
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return scanHold.reached() && rows() == 5; }));
    prompts.answers = {true};
    prompts.whileAsking = [&](const QString&) {
        scanHold.release();
        scanHold.waitUntilHeldByGate();
    };
    control<QPushButton>("stopButton")->click();
    EXPECT_EQ(commands(), (Commands{1, 0, 0, 0, 1, 0, 0})) << "scan stopped";
    ASSERT_TRUE(WaitUntil([this] { return mailbox.returned.load(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(window->folderTree()->topLevelItemCount(), 0);
    EXPECT_EQ(progress(), 0);
    EXPECT_EQ(store.mailCount(), 0u);
    EXPECT_EQ(store.folderNodeCount(), 0u);
    EXPECT_TRUE(prompts.notices.isEmpty());
    EXPECT_FALSE(window->isScanRunning());
    // Nothing runs any more: the next Stop asks nothing.
    window->OnStop();
    EXPECT_EQ(prompts.questions.size(), 1);
}

// A window that ends during a scan (Escape) does not wait for the worker: it
// returns while the worker is held, and the worker, abandoned, stops at its
// next checkpoint instead of reading on.
TEST_F(WindowTest, AWindowEndingDuringAScanLeavesTheWorkerToStopAtItsNextCheckpoint)
{
    chooseFile();
    scanHoldAt = 6;
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return scanHold.reached(); }));
    window.reset();  // a window that waited would never get past this line
    scanHold.release();
    ASSERT_TRUE(WaitUntil([this] { return mailbox.returned.load(); }));
    EXPECT_EQ(store.mailCount(), 5u);
}

TEST_F(WindowTest, FailedOpenShowsItsNoticeAndTheChooserAgain)
{
    mailbox.failOpen = true;
    chooseFile();
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning(); }));
    ASSERT_EQ(prompts.notices.size(), 1);
    EXPECT_TRUE(prompts.notices.first().startsWith(QStringLiteral("Please check file use in another proess")));
    EXPECT_EQ(prompts.choosers, QStringList{QStringLiteral("Select File...")});
    // Chooser cancelled: the controls stay as during the scan; Stop then enables Browse.
    EXPECT_EQ(commands(), (Commands{0, 0, 0, 1, 0, 0, 0}));
    window->OnStop();
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_TRUE(control<QPushButton>("browseButton")->isEnabled());
    EXPECT_EQ(window->commandState(), CommandState::ScanningStopDeclined);
}

TEST_F(WindowTest, StopDuringAConversionYesThenEveryLaterStopAsksAgain)
{
    scanToTheEnd();
    QTemporaryDir destination;
    prompts.folder = destination.path();
    conversionHoldAt = 2;
    control<QPushButton>("convertButton")->click();
    ASSERT_TRUE(WaitUntil([this] { return conversionHold.reached(); }));
    const int progressBefore = progress();
    prompts.answers = {true};
    prompts.whileAsking = [&](const QString&) {
        conversionHold.release();
        conversionHold.waitUntilHeldByGate();
    };
    control<QPushButton>("stopButton")->click();
    EXPECT_EQ(prompts.questions, QStringList{QStringLiteral("Do you want to stop save process ?")});
    ASSERT_TRUE(WaitUntil([this] { return !conversions->isRunning(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(window->isConversionAbandoned());
    EXPECT_EQ(progress(), progressBefore);
    EXPECT_EQ(prompts.notices, QStringList{QStringLiteral("Analysis completed")});

    for (bool answer : {false, true}) {
        prompts.answers = {answer};
        prompts.whileAsking = {};
        window->OnStop();
        EXPECT_EQ(prompts.questions.last(), QStringLiteral("Do you want to stop save process ?"));
        EXPECT_TRUE(window->isConversionAbandoned());
    }
    EXPECT_EQ(prompts.questions.size(), 3);
    EXPECT_EQ(prompts.notices.size(), 1);

    // A new conversion replaces the abandoned one and runs to its notice.
    conversionHoldAt = 0;
    window->OnConvert();
    ASSERT_TRUE(WaitUntil([this] { return !window->isConversionRecorded(); }));
    EXPECT_EQ(prompts.notices.last(), QStringLiteral("Saving sucessfully completed."));
    EXPECT_EQ(conversions->starts.load(), 2);
}

TEST_F(WindowTest, StopDuringAConversionAnsweredNoLetsItFinish)
{
    scanToTheEnd();
    QTemporaryDir destination;
    prompts.folder = destination.path();
    conversionHoldAt = 3;
    window->OnConvert();
    EXPECT_EQ(prompts.choosers.last(), QStringLiteral("Select the Path to Save Recovered File"));
    ASSERT_TRUE(WaitUntil([this] { return conversionHold.reached(); }));
    int progressWhileAsked = -1;
    const int progressBefore = progress();
    prompts.answers = {false};
    prompts.whileAsking = [&](const QString&) {
        conversionHold.release();
        conversionHold.waitUntilHeldByGate();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        progressWhileAsked = progress();
    };
    window->OnStop();
    EXPECT_EQ(progressWhileAsked, progressBefore);
    ASSERT_TRUE(WaitUntil([this] { return !window->isConversionRecorded(); }));
    EXPECT_EQ(prompts.notices.last(), QStringLiteral("Saving sucessfully completed."));
    // The states table: converting leaves the commands as after the scan.
    EXPECT_EQ(commands(), (Commands{1, 0, 1, 1, 1, 0, 1}));
}

TEST_F(WindowTest, ConvertRefusesAMissingDestination)
{
    scanToTheEnd();
    prompts.folder = QStringLiteral("/nowhere/at/all");
    window->OnConvert();
    EXPECT_EQ(prompts.notices.last(), QStringLiteral("Saving path doesn't exist, please select another path for saving."));
    EXPECT_EQ(prompts.captions.last(), QStringLiteral("Quenby"));
    EXPECT_EQ(conversions->starts.load(), 0);
}

TEST_F(WindowTest, FolderClicksFillTheListWithTheKindOfTheirRecords)
{
    scanToTheEnd();
    QTableView* list = window->itemList();
    clickFolder(QStringLiteral("Contacts"));  // a contact and a mail: the mail layout wins
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(window->itemListModel()->cellText(0, column::kKind), QStringLiteral("mail"));
    EXPECT_EQ(window->itemListModel()->headerData(column::mail::kDeliveryTime, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Delivery Time"));
    EXPECT_TRUE(list->isColumnHidden(column::kNumber));
    EXPECT_TRUE(list->isColumnHidden(column::kKind));
    // The first fill fits each shown column to its heading and its texts.
    for (int column = column::mail::kFrom; column <= column::mail::kImportance; ++column) {
        const QString heading = window->itemListModel()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const QString text = window->itemListModel()->cellText(0, column);
        EXPECT_GE(list->columnWidth(column), list->fontMetrics().horizontalAdvance(std::max(heading, text, [](auto& a, auto& b) {
                      return a.size() < b.size();
                  })))
            << qPrintable(heading);
    }

    clickFolder(QStringLiteral("People"));
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(window->itemListModel()->headerData(column::contact::kFullName, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Full name"));

    clickFolder(QStringLiteral("Top of Personal Folders"));  // no records: rows go, columns stay
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(window->itemListModel()->columnCount(), 12);

    clickFolder(QStringLiteral("Inbox"));
    EXPECT_EQ(rows(), 20);
    EXPECT_EQ(window->itemListModel()->cellText(0, column::mail::kSubject), QStringLiteral("Message 1"));
    EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
}

TEST_F(WindowTest, PreviewWritesThePageAndFillsTheLabels)
{
    scanToTheEnd();
    const QString dir = PreviewDirectory(tempDir);
    clickFolder(QStringLiteral("Inbox"));
    QSignalSpy shown(window.get(), &CQuenbyDlg::previewShown);
    selectRow(0);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last().at(0).toString(), dir + QStringLiteral("temp.html"));
    EXPECT_EQ(control<QLabel>("fromValue")->text(), QStringLiteral("Sender 1"));
    EXPECT_EQ(control<QLabel>("dateValue")->text(), QStringLiteral("Mar 05, 2011 09:07:00"));
    EXPECT_EQ(control<QLabel>("subjectValue")->text(), QStringLiteral("Message 1"));
    EXPECT_EQ(control<QLabel>("attachmentValue")->text(), QStringLiteral("notes.txt ;"));
    QFile page(dir + QStringLiteral("temp.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray bytes = page.readAll();
    const QString expected = QStringLiteral("<p>Body of message 1 – Grüße</p>");
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(expected.utf16()), expected.size() * 2));
    page.close();

    // A contact empties the mail's labels and writes an escaped page.
    clickFolder(QStringLiteral("People"));
    selectRow(0);
    EXPECT_EQ(labelTexts(), (QStringList{QString(), QString(), QString(), QString()}));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString contactPage = QStringLiteral("<b>First Name :</b> Eva &lt;b&gt;<br><b>Surname :</b> Berg<br>");
    EXPECT_EQ(page.readAll(), QByteArray(reinterpret_cast<const char*>(contactPage.utf16()), contactPage.size() * 2));
    page.close();

    // So does an appointment that follows a mail.
    clickFolder(QStringLiteral("Inbox"));
    selectRow(0);
    ASSERT_EQ(labelTexts().first(), QStringLiteral("Sender 1"));
    clickFolder(QStringLiteral("Calendar"));
    EXPECT_EQ(window->itemListModel()->cellText(0, column::appointment::kSubject), QStringLiteral("None"));
    selectRow(0);
    EXPECT_EQ(labelTexts(), (QStringList{QString(), QString(), QString(), QString()}));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString appointmentPage =
        QStringLiteral("<b>Start :</b>Apr 01, 2012 10:00:00<BR><b>End :</b><BR><b>Location :</b> <BR>");
    EXPECT_EQ(page.readAll(), QByteArray(reinterpret_cast<const char*>(appointmentPage.utf16()), appointmentPage.size() * 2));

    // Screenshots of the window after the scan and with a preview, for a look by eye.
    clickFolder(QStringLiteral("Inbox"));
    selectRow(1);
    QDir().mkpath(QStringLiteral(TOLVANE_BIN_DIR "/../screenshots"));
    window->grab().save(QStringLiteral(TOLVANE_BIN_DIR "/../screenshots/window-fake-preview.png"));
}

// The preview finds the record through the row's record, whatever its cells say.
TEST_F(WindowTest, PreviewFindsTheRecordOfTheRowNotOfItsCellTexts)
{
    scanToTheEnd();
    const auto mail = store.mailRecords();
    ASSERT_GE(mail.size(), 2u);
    window->itemListModel()->DeleteAllRows();
    ListRow row = MailRow(*mail[1]);
    row.cells[column::kNumber] = QString::number(mail[0]->number);
    row.cells[column::kKind] = ContactKindWord();
    window->itemListModel()->AppendRows({row});
    selectRow(0);
    EXPECT_EQ(control<QLabel>("fromValue")->text(), RecordText::SenderName(*mail[1]));
    EXPECT_EQ(control<QLabel>("subjectValue")->text(), mail[1]->subject);
}

// The preview files hold mail text: they go when the window ends, whether by
// Escape or by Exit (which ends the process at once), and stay while it runs.
TEST_F(WindowTest, PreviewFilesGoWhenTheWindowEnds)
{
    const QString dir = PreviewDirectory(tempDir);
    ASSERT_FALSE(dir.isEmpty());
    const QStringList files{dir + QStringLiteral("temp.html"), dir + QStringLiteral("temp.txt")};
    auto present = [&] {
        QStringList found;
        for (const QString& file : files) {
            if (QFile::exists(file))
                found << file;
        }
        return found;
    };
    scanToTheEnd();
    clickFolder(QStringLiteral("Inbox"));
    selectRow(0);
    clickFolder(QStringLiteral("Contacts"));  // a plain-text mail
    selectRow(0);
    ASSERT_EQ(present(), files);

    prompts.answers = {false};
    control<QAction>("actionExit")->trigger();
    EXPECT_EQ(present(), files) << "Exit answered No";

    QStringList presentWhileExiting{QStringLiteral("exitProcess not called")};
    whileExiting = [&] { presentWhileExiting = present(); };
    prompts.answers = {true};
    control<QAction>("actionExit")->trigger();
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(presentWhileExiting, QStringList{}) << "Exit answered Yes";

    // The window goes on: new previews, then Escape.
    clickFolder(QStringLiteral("Inbox"));
    selectRow(1);
    clickFolder(QStringLiteral("Contacts"));
    selectRow(0);
    ASSERT_EQ(present(), files);
    QTest::keyClick(window->folderTree(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(present(), QStringList{}) << "Escape";
}

TEST_F(WindowTest, EnterMovesTheFocusAndNeverPressesAButton)
{
    chooseFile();
    QApplication::setActiveWindow(window.get());
    auto* edit = control<QLineEdit>("pstPathEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_NE(QApplication::focusWidget(), edit);
    auto* scan = control<QPushButton>("scanButton");
    scan->setFocus();
    QTest::keyClick(scan, Qt::Key_Enter);
    QTest::keyClick(scan, Qt::Key_Return);
    EXPECT_FALSE(window->isScanRunning());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(WindowTest, EscapeClosesWithoutAskingAndExitAsksWithItsSevenSpaces)
{
    prompts.answers = {false};
    window->close();
    EXPECT_EQ(prompts.questions, QStringList{QStringLiteral("Do you want to Exit ?       ")});
    EXPECT_TRUE(window->isVisible());
    control<QAction>("actionExit")->trigger();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(exits, 0);

    QTest::keyClick(window->folderTree(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_EQ(prompts.questions.size(), 2);
}

TEST_F(WindowTest, EveryControlHasItsNameAndTheProductPageIsShownFirst)
{
    for (const char* name : {"banner", "selectPstGroup", "pstPathEdit", "browseButton", "folderTree", "itemList",
                             "fromCaption", "dateCaption", "subjectCaption", "attachmentCaption", "fromValue",
                             "dateValue", "subjectValue", "attachmentValue", "previewBrowser", "progressGroup",
                             "progressBar", "stopButton", "scanButton", "convertButton", "okButton", "cancelButton"})
        EXPECT_NE(window->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_FALSE(control<QPushButton>("okButton")->isVisible());
    EXPECT_EQ(window->previewBrowser()->currentTarget(), ProductPageAddress());
    EXPECT_EQ(window->itemListModel()->columnCount(), 12);
    EXPECT_EQ(window->itemList()->columnWidth(column::mail::kFrom), 150);

    // Help without a help file opens the bundled guide.
    window->OnHelpContent();
    auto* guide = window->findChild<QDialog*>(QStringLiteral("userGuide"));
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isVisible());

}

// The list and the preview take what a larger window gives; the tree keeps
// its width, and the banner gives up height when the window is made low.
TEST_F(WindowTest, TheListAndThePreviewGrowWithTheWindow)
{
    // The X server answers the window's first showing with its size; an
    // answer still under way would undo a resize made before it comes.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const auto resizeTo = [&](const QSize& size) {
        window->resize(size);
        return testing::WaitUntil([&] {
            QCoreApplication::processEvents();
            return window->size() == size && window->windowHandle()->size() == size;
        });
    };
    ASSERT_TRUE(resizeTo(QSize(1100, 720)));
    auto* preview = window->previewBrowser();
    const QRect listBefore = window->itemList()->geometry();
    const QRect previewBefore = preview->geometry();
    const int treeBefore = window->folderTree()->width();
    const int bannerBefore = control<QWidget>("banner")->height();

    ASSERT_TRUE(resizeTo(QSize(1500, 1000)));
    EXPECT_EQ(window->itemList()->width(), listBefore.width() + 400);
    EXPECT_GT(window->itemList()->height(), listBefore.height());
    EXPECT_EQ(preview->width(), previewBefore.width() + 400);
    EXPECT_GT(preview->height(), previewBefore.height());
    EXPECT_EQ(window->folderTree()->width(), treeBefore);
    EXPECT_EQ(control<QWidget>("banner")->height(), bannerBefore);

    ASSERT_TRUE(resizeTo(window->minimumSize()));
    EXPECT_LT(control<QWidget>("banner")->height(), bannerBefore);
    EXPECT_GT(window->itemList()->height(), 0);
    EXPECT_GT(preview->height(), 0);
    // Every control still inside the window.
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isVisible() && widget->parentWidget() == window.get())
            EXPECT_TRUE(window->rect().contains(widget->geometry())) << qPrintable(widget->objectName());
    }
}

// A mailbox dragged onto any part of the window is chosen as Browse would
// choose it; other drops, and drops while Browse is unavailable, are refused.
TEST_F(WindowTest, ADroppedMailboxIsChosenAndNothingElseIs)
{
    auto drop = [&](QWidget* target, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return enter.isAccepted();
    };
    const QUrl mailbox = QUrl::fromLocalFile(QStringLiteral("/data/Old Mail.PST"));
    struct Case {
        const char* what;
        QList<QUrl> urls;
        bool taken;
    };
    const Case cases[] = {
        {"a text file", {QUrl::fromLocalFile(QStringLiteral("/data/notes.txt"))}, false},
        {"two mailboxes", {mailbox, QUrl::fromLocalFile(QStringLiteral("/data/b.pst"))}, false},
        {"a web address", {QUrl(QStringLiteral("https://example.com/a.pst"))}, false},
        {"one mailbox", {mailbox}, true},
    };
    for (const char* name : {"pstPathEdit", "itemList", "previewBrowser", "folderTree"}) {
        window->ChooseFile(QStringLiteral("/nowhere/box.pst"));
        QWidget* target = control<QWidget>(name);
        if (auto* scroller = qobject_cast<QAbstractScrollArea*>(target))
            target = scroller->viewport();
        for (const Case& c : cases) {
            EXPECT_EQ(drop(target, c.urls), c.taken) << c.what << " on " << name;
            EXPECT_EQ(window->pstPath(), c.taken ? mailbox.toLocalFile() : QStringLiteral("/nowhere/box.pst"))
                << c.what << " on " << name;
        }
        EXPECT_EQ(control<QLineEdit>("pstPathEdit")->text(), mailbox.toLocalFile());
        EXPECT_TRUE(control<QPushButton>("scanButton")->isEnabled());
    }

    // An offline cache dropped goes through its own command: chosen and scanned, accepted.
    const QUrl cache = QUrl::fromLocalFile(QStringLiteral("/data/Mailbox.OST"));
    EXPECT_TRUE(drop(window->itemList()->viewport(), {cache}));
    EXPECT_EQ(window->pstPath(), cache.toLocalFile());
    scanStarted = true;
    ASSERT_TRUE(WaitUntil([this] { return !window->isScanRunning() && mailboxIdle(); }));
    EXPECT_EQ(scannedOstFiles, OstFiles::Accepted);
    this->mailbox.returned = false;

    // While a scan runs, Browse is off and so is dropping.
    scanHoldAt = 3;
    chooseFile();
    startScan();
    ASSERT_TRUE(WaitUntil([this] { return scanHold.reached(); }));
    EXPECT_EQ(scannedOstFiles, OstFiles::Refused) << "Scan refuses an offline cache";
    EXPECT_FALSE(drop(window->itemList()->viewport(), {mailbox}));
    EXPECT_EQ(window->pstPath(), QStringLiteral("/nowhere/box.pst"));
}

// Enter on a folder lists it; Ctrl+F goes to the filter.
TEST_F(WindowTest, EnterListsAFolderAndCtrlFFindsTheFilter)
{
    scanToTheEnd();
    QApplication::setActiveWindow(window.get());
    CFolderTreeCtrl1* tree = window->folderTree();
    tree->setFocus();
    tree->setCurrentItem(tree->findItems(QStringLiteral("Inbox"), Qt::MatchExactly | Qt::MatchRecursive).first());
    window->itemListModel()->DeleteAllRows();
    QSignalSpy filled(window->listFiller(), &ItemListFiller::fillCompleted);
    QTest::keyClick(tree, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !filled.isEmpty() && window->runningListFills() == 0; }));
    EXPECT_EQ(filled.first().first().toString(), FakeMailbox::KeyOf(QStringLiteral("Inbox")));
    EXPECT_EQ(rows(), 20);
    EXPECT_EQ(QApplication::focusWidget(), tree) << "Enter on the tree lists, it does not move on";

    QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>("filterEdit"));
    QTest::keyClicks(control<QLineEdit>("filterEdit"), QStringLiteral("MESSAGE 1"));
    // "Message 1" and "Message 10" to "Message 19".
    EXPECT_EQ(window->itemListProxy()->rowCount(), 11);
    EXPECT_EQ(control<QLabel>("shownCount")->text(), QStringLiteral("11 of 20 items"));
    QTest::keyClick(control<QLineEdit>("filterEdit"), Qt::Key_Escape, Qt::NoModifier);
}

// `tolvane FILE.pst` chooses the file; `tolvane --scan FILE.pst` scans it too.
TEST(WindowStartTest, AFileGivenAtStartIsChosenAndScannedWhenAsked)
{
    for (const bool scanAtStart : {false, true}) {
        ProcessTempDir tempDir;
        ItemStore store;
        ScriptedPrompts prompts;
        FakeMailbox mailbox;
        QStringList scanned;
        WindowServices services;
        services.store = &store;
        services.tempDir = &tempDir;
        services.prompts = &prompts;
        services.runScan = [&](const ShownScan& scan) {
            scanned << scan.request.pstPath;
            return mailbox(scan);
        };
        services.conversions = std::make_shared<FakeConversions>();
        services.exitProcess = [] {};
        QString chosen;
        // Runs inside the window's modal run: waits for the start to settle, then ends the window.
        QTimer::singleShot(0, [&] {
            CQuenbyDlg* window = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<CQuenbyDlg*>(widget))
                    window = found;
            }
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(WaitUntil([&] {
                return !window->pstPath().isEmpty() && (!scanAtStart || (mailbox.returned && !window->isScanRunning()));
            }));
            chosen = window->pstPath();
            window->reject();
        });
        CQuenbyApp(services, QStringLiteral("/nowhere/box.pst"), scanAtStart).InitInstance();
        EXPECT_EQ(chosen, QStringLiteral("/nowhere/box.pst")) << scanAtStart;
        EXPECT_EQ(scanned, scanAtStart ? QStringList{QStringLiteral("/nowhere/box.pst")} : QStringList{}) << scanAtStart;
        EXPECT_EQ(prompts.notices,
                  scanAtStart ? QStringList{QStringLiteral("Analysis completed")} : QStringList{}) << scanAtStart;
    }
}

}  // namespace
}  // namespace tolvane
