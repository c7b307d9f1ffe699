// tolvane-cli convert on the real sample mailboxes: exit status, one EML per
// top-level mail, summary counts matching the scan, and clean parsing.
#include "tests/support/CliRun.h"
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"

#include <QFileInfo>

namespace tolvane {
namespace {

using testing::FilesBelow;

QString SamplePath(const char* name)
{
    return QDir(QStringLiteral(TOLVANE_SAMPLES_DIR)).absoluteFilePath(QString::fromUtf8(name));
}

using testing::CliRun;

// tolvane-cli convert with `arguments`.
CliRun RunConvert(const QStringList& arguments)
{
    return testing::RunCli(QStringList{"convert"} + arguments);
}

class SampleConversionTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleConversionTest, EveryTopLevelMailBecomesOneCleanFile)
{
    const QString sample = SamplePath(GetParam());
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample file not present: " << sample.toStdString();
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(sample, store, tempDir, scanSink), ScanOutcome::Completed);
    int topLevel = 0;
    for (const auto& record : store.mailRecords())
        topLevel += record->location.isEmbedded() ? 0 : 1;

    QTemporaryDir destination;
    const CliRun run = RunConvert({sample, destination.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // A count of none is left out.
    if (topLevel > 0)
        EXPECT_TRUE(run.out.contains(QStringLiteral("\n%1 %2 saved\n").arg(topLevel).arg(topLevel == 1 ? "mail" : "mails")))
            << run.out.toStdString();
    else
        EXPECT_FALSE(run.out.contains(QStringLiteral("mail"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("not saved")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("%1 folders\n").arg(store.folderNodeCount())));
    EXPECT_TRUE(run.err.contains("Saving sucessfully completed."));
    EXPECT_FALSE(run.err.contains('\r')) << "no progress bar when stderr is not a terminal";
    const QStringList files = FilesBelow(destination.path(), ".eml");
    EXPECT_EQ(files.size(), topLevel);
    if (topLevel > 0) {
        EXPECT_EQ(testing::PythonEmailDefects(destination.path()), QString());
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleConversionTest,
                         ::testing::Values("200-recipients.pst", "attachAndInline.pst", "dist-list.pst",
                                           "msgInMsg.pst", "sample1.pst", "sample2.pst", "submessage.pst",
                                           "test_ansi.pst", "test_unicode.pst"),
                         [](const auto& info) {
                             QString name = QString::fromUtf8(info.param).section('.', 0, 0);
                             name.replace('-', '_');
                             return name.toStdString();
                         });

TEST(ConvertCommandTest, ExitStatusesForUsageDestinationAndUnreadableFiles)
{
    QTemporaryDir temp;
    EXPECT_EQ(RunConvert({}).exitCode, 2);
    const CliRun missingDestination = RunConvert({SamplePath("sample1.pst"), temp.filePath("absent")});
    EXPECT_EQ(missingDestination.exitCode, 2);
    EXPECT_EQ(missingDestination.err,
              QStringLiteral("tolvane-cli: %1: destination folder does not exist\n").arg(temp.filePath("absent")));
    QFile notPst(temp.filePath("not.pst"));
    ASSERT_TRUE(notPst.open(QIODevice::WriteOnly));
    notPst.write(QByteArray(4096, 'x'));
    notPst.close();
    EXPECT_EQ(RunConvert({notPst.fileName(), temp.path()}).exitCode, 1);
}

}  // namespace
}  // namespace tolvane
