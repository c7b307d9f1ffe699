// Every input the fuzzer once broke the program with (tests/data/) is scanned
// and converted again: it must end with a notice and write only into the
// destination.
#include "tests/robustness/Fixtures.h"

namespace tolvane::robustness {
namespace {

TEST(RegressionInputTest, EveryKeptInputEndsCleanly)
{
    const QDir data(QStringLiteral(TOLVANE_REGRESSION_DIR));
    const QStringList inputs = data.entryList({QStringLiteral("*.pst")}, QDir::Files, QDir::Name);
    if (inputs.isEmpty())
        GTEST_SKIP() << "no regression inputs in " << TOLVANE_REGRESSION_DIR;
    for (const QString& name : inputs) {
        SCOPED_TRACE(name.toStdString());
        ScratchArea area;
        const QString input = area.input(name);
        ASSERT_TRUE(QFile::copy(data.filePath(name), input));
        const TreeSnapshot before = area.Outside();
        const ScanRun scan = ScanFile(input);
        EXPECT_EQ(scan.notices, ExpectedScanNotices(scan.outcome));
        if (scan.outcome == ScanOutcome::Completed) {
            const ConvertRun conversion = ConvertScan(scan, input, area.destination());
            ExpectHonestConversion(scan, conversion, area.outputRoot());
        }
        EXPECT_EQ(area.Outside(), before);
    }
}

}  // namespace
}  // namespace tolvane::robustness
