// A conversion that walks the mailbox while it writes: mail goes out before
// the walk has ended, the result is the same as converting a finished scan,
// and a walk that ends early is never taken for a whole mailbox.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "scan/ScanEvents.h"
#include "scan/WorkerGate.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::RecordingConversionSink;

constexpr int kInboxMails = 12;

QDateTime FixedClock()
{
    return QDateTime(QDate(2011, 3, 5), QTime(9, 7));
}

class OnePassConversionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        PstBuilder pst;
        auto& top = pst.topOfPersonalFolders();
        auto& inbox = top.addFolder("Inbox");
        for (int i = 0; i < kInboxMails; ++i)
            inbox.addMessage()
                .subject("Mail " + std::to_string(i))
                .from("Ann Example", "ann@example.com")
                .to("Bob Example", "bob@example.com")
                .body("text " + std::to_string(i));
        auto& archive = top.addFolder("Archive");
        archive.addMessage().subject("Kept").from("Ann Example", "ann@example.com").body("kept");
        archive.addFolder("Inbox").addMessage().subject("Nested").body("below");
        top.addFolder("Contacts").containerClass("IPF.Contact").addContact("Cleo", "Contact");
        pst.Write(PstPath().toStdString());
    }

    QString PstPath() const { return temp_.filePath("mailbox.pst"); }
    QString Destination(const QString& name) const
    {
        QDir().mkpath(temp_.filePath(name));
        return temp_.filePath(name);
    }

    // The folders alone, as a conversion in one pass starts from.
    void WalkFolders(ItemStore& folders)
    {
        cli::HeadlessScanSink sink;
        ASSERT_EQ(cli::RunHeadlessScan(PstPath(), folders, tempDir_, sink, nullptr, nullptr, ItemDetail::FoldersOnly),
                  ScanOutcome::Completed);
    }

    ConversionSummary Run(ConversionRequest request, const QString& destination)
    {
        request.pstPath = PstPath();
        request.destinationPath = destination;
        request.sink = &sink_;
        request.clock = FixedClock;
        ConversionDriver driver;
        EXPECT_EQ(RefusalOf(driver.Start(request)), kStarted);
        return driver.Wait();
    }

    // Every file below `root`, by its path below it.
    static QStringList TreeOf(const QString& root)
    {
        QStringList files;
        for (const QString& file : FilesBelow(root, QString()))
            files << QDir(root).relativeFilePath(file);
        files.sort();
        return files;
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    RecordingConversionSink sink_;
};

// The walk is held part way through the Inbox until the conversion has taken
// its second mail: a conversion that waited for the walk's end would never
// get there. What it writes is what converting the finished scan writes.
TEST_F(OnePassConversionTest, WritesMailWhileTheWalkGoesOnAndWritesWhatTwoStepsWrite)
{
    ItemStore folders;
    WalkFolders(folders);
    ASSERT_EQ(folders.mailCount(), 0u) << "a walk of the folders reads no item";
    std::int64_t listed = 0;
    for (const auto& folder : folders.folderNodes())
        listed += folder->listedItems;
    EXPECT_EQ(listed, kInboxMails + 3) << "every folder's items are counted";

    std::mutex mutex;
    std::condition_variable changed;
    bool secondMailTaken = false;
    bool walkHeld = false;
    WorkerGate conversionGate;
    conversionGate.setCheckpointHook([&](long ordinal) {
        if (ordinal != 2)
            return;
        std::lock_guard lock(mutex);
        secondMailTaken = true;
        changed.notify_all();
    });
    ItemStore items;
    WorkerGate walkGate;
    // The walk's checkpoints count folders and items: the 8th is inside the Inbox.
    walkGate.setCheckpointHook([&](long ordinal) {
        if (ordinal != 8)
            return;
        std::unique_lock lock(mutex);
        walkHeld = true;
        // Bounded only so that a broken pipeline fails instead of hanging the suite.
        changed.wait_for(lock, std::chrono::minutes(2), [&] { return secondMailTaken; });
    });
    cli::HeadlessScanSink walkSink;
    ConversionRequest request;
    request.store = &folders;
    request.gate = &conversionGate;
    request.itemWalk = ItemWalk{&items, &walkGate, [&](ScanEvents& along) {
                                    return cli::RunHeadlessScan(PstPath(), items, tempDir_, walkSink, nullptr,
                                                                &walkGate, ItemDetail::WhereOnly, false, &along);
                                }};
    const ConversionSummary onePass = Run(request, Destination("one"));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(walkHeld);
        EXPECT_TRUE(secondMailTaken) << "no mail was written before the walk ended";
    }
    EXPECT_TRUE(onePass.allSaved()) << qPrintable(sink_.notices().join('\n'));
    EXPECT_EQ(onePass.counts.Complete(OutcomeKind::Mail), kInboxMails + 2);
    EXPECT_EQ(onePass.counts.Written(OutcomeKind::Contact), 1);
    EXPECT_TRUE(onePass.ReasonOf(RunProblem::Kind::WalkEnded).isEmpty());

    ItemStore scanned;
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(PstPath(), scanned, tempDir_, scanSink, nullptr, nullptr, ItemDetail::WhereOnly),
              ScanOutcome::Completed);
    ConversionRequest twoSteps;
    twoSteps.store = &scanned;
    const ConversionSummary afterScan = Run(twoSteps, Destination("two"));
    EXPECT_EQ(afterScan.counts.Complete(OutcomeKind::Mail), onePass.counts.Complete(OutcomeKind::Mail));
    const QStringList written = TreeOf(onePass.outputRoot);
    EXPECT_EQ(written, TreeOf(afterScan.outputRoot));
    EXPECT_EQ(written.filter(QStringLiteral(".eml")).size(), kInboxMails + 2);
}

// A walk that ends before the mailbox does: whatever it handed on is written,
// and the run says it is not whole (or, stopped by the user, interrupted).
TEST_F(OnePassConversionTest, AWalkThatEndsEarlyIsNeverTakenForTheWholeMailbox)
{
    struct Case {
        const char* name;
        ScanOutcome outcome;
        bool stopRequested;
        bool walkFailure;
        bool memoryShort;
        bool interrupted;
    };
    const Case cases[] = {
        {"completed", ScanOutcome::Completed, false, false, false, false},
        {"walk failed", ScanOutcome::ScanFailed, false, true, false, false},
        {"file gone", ScanOutcome::OpenFailed, false, true, false, false},
        {"memory", ScanOutcome::NoResources, false, true, true, false},
        {"stopped by the user", ScanOutcome::Abandoned, true, false, false, true},
    };
    ItemStore folders;
    WalkFolders(folders);
    ItemStore scanned;
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(PstPath(), scanned, tempDir_, scanSink, nullptr, nullptr, ItemDetail::WhereOnly),
              ScanOutcome::Completed);
    const RecordList<MailRecord> mail = scanned.mailRecords();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ItemStore items;
        WorkerGate walkGate;
        std::atomic<bool> stop{c.stopRequested};
        ConversionRequest request;
        request.store = &folders;
        request.stopRequested = &stop;
        // Hands on the first three mails, then ends as the case says.
        request.itemWalk = ItemWalk{&items, &walkGate, [&](ScanEvents& along) {
                                        for (std::size_t index = 0; index < 3 && index < mail.size(); ++index)
                                            along.MailFound(*mail[index]);
                                        return c.outcome;
                                    }};
        const ConversionSummary summary = Run(request, Destination(QString::fromLatin1(c.name)));
        EXPECT_EQ(summary.Has(RunProblem::Kind::WalkEnded), c.walkFailure) << qPrintable(summary.ReasonOf(RunProblem::Kind::WalkEnded));
        EXPECT_EQ(summary.memoryShort, c.memoryShort);
        EXPECT_EQ(summary.interrupted, c.interrupted);
        EXPECT_EQ(summary.allSaved(), !c.walkFailure && !c.interrupted);
        // A stop is seen before the first mail; otherwise the three handed on are written.
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), c.stopRequested ? 0 : 3);
        if (c.walkFailure)
            EXPECT_TRUE(sink_.notices().last().contains(QStringLiteral("could not be read to its end")))
                << qPrintable(sink_.notices().last());
        // The manifest too: a summary without "stopped" would read as all there is.
        const QJsonObject manifestSummary =
            testing::ManifestLines(summary.outputRoot).last().value(QStringLiteral("summary")).toObject();
        ASSERT_FALSE(manifestSummary.isEmpty());
        EXPECT_EQ(manifestSummary.contains(QStringLiteral("stopped")), c.walkFailure || c.interrupted);
    }
}

}  // namespace
}  // namespace tolvane
