// Saving that fails: a read-only destination, a destination removed while the
// conversion runs, a full disk. Failures are counted and reported; nothing
// crashes and success is never claimed.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/PstBuilder.h"
#include "scan/WorkerGate.h"

#include <QFileInfo>

#include <sys/mount.h>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::RecordingConversionSink;

class SaveFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        pstPath_ = temp_.filePath("mailbox.pst");
        PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        for (int i = 0; i < 4; ++i)
            inbox.addMessage().subject("Message " + std::to_string(i)).body(std::string(200000, 'b'));
        pst.Write(pstPath_.toStdString());
        cli::HeadlessScanSink scanSink;
        ASSERT_EQ(cli::RunHeadlessScan(pstPath_, store_, tempDir_, scanSink), ScanOutcome::Completed);
    }
    void TearDown() override
    {
        for (const QString& mountPoint : mounts_)
            umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
    }

    // A small tmpfs, or an empty string when this machine does not let us mount.
    QString MountTmpfs(const char* options)
    {
        const QString mountPoint = temp_.filePath(QStringLiteral("mount%1").arg(mounts_.size()));
        QDir().mkpath(mountPoint);
        if (mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, options) != 0)
            return QString();
        mounts_ << mountPoint;
        return mountPoint;
    }

    ConversionSummary Convert(const QString& destination, WorkerGate* gate = nullptr,
                              std::optional<StartRefusal> expected = kStarted)
    {
        ConversionDriver driver;
        ConversionRequest request;
        request.pstPath = pstPath_;
        request.destinationPath = destination;
        request.store = &store_;
        request.sink = &sink_;
        request.gate = gate;
        request.clock = [] { return QDateTime(QDate(2011, 3, 5), QTime(9, 7)); };
        EXPECT_EQ(RefusalOf(driver.Start(request)), expected);
        return expected == kStarted ? driver.Wait() : ConversionSummary{};
    }

    void ExpectHonestFailure(const ConversionSummary& summary, int expectedFailures)
    {
        EXPECT_EQ(summary.counts.Failed(OutcomeKind::Mail), expectedFailures);
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail) + summary.counts.Failed(OutcomeKind::Mail), 4);
        ASSERT_EQ(sink_.notices().size(), 1);
        EXPECT_NE(sink_.notices().first(), "Saving sucessfully completed.");
        EXPECT_TRUE(sink_.notices().first().contains(QStringLiteral("%1 could not be saved").arg(expectedFailures)))
            << sink_.notices().first().toStdString();
        EXPECT_FALSE(summary.firstFailures.isEmpty());
    }

    QTemporaryDir temp_;
    QString pstPath_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    RecordingConversionSink sink_;
    QStringList mounts_;
};

TEST_F(SaveFailureTest, ReadOnlyDestination)
{
    const QString destination = MountTmpfs("size=1m,mode=0755");
    if (destination.isEmpty())
        GTEST_SKIP() << "cannot mount a tmpfs here; the read-only case needs one";
    ASSERT_EQ(mount("tmpfs", QFile::encodeName(destination).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    // Refused at the start: nothing is attempted, nothing is claimed.
    Convert(destination, nullptr, StartRefusal::DestinationNotWritable);
    EXPECT_TRUE(sink_.notices().isEmpty());
    EXPECT_TRUE(QDir(destination).isEmpty());
}

TEST_F(SaveFailureTest, DestinationRemovedDuringTheConversion)
{
    const QString destination = temp_.filePath("out");
    QDir().mkpath(destination);
    WorkerGate gate;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 3)
            QDir(destination).removeRecursively();
    });
    ExpectHonestFailure(Convert(destination, &gate), 2);
}

TEST_F(SaveFailureTest, FullDisk)
{
    // Room for the directories and about two of the four messages.
    const QString destination = MountTmpfs("size=560k");
    if (destination.isEmpty())
        GTEST_SKIP() << "cannot mount a tmpfs here; the full-disk case needs one";
    const ConversionSummary summary = Convert(destination);
    EXPECT_GT(summary.counts.Failed(OutcomeKind::Mail), 0);
    ExpectHonestFailure(summary, summary.counts.Failed(OutcomeKind::Mail));
    // No half-written message is left under a real name.
    for (const QString& file : FilesBelow(destination, ".eml"))
        EXPECT_GT(QFileInfo(file).size(), 200000) << file.toStdString();
    EXPECT_TRUE(FilesBelow(destination, "").filter(".tolvane-partial").isEmpty());
}

}  // namespace
}  // namespace tolvane
