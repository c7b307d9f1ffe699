// A mailbox that changes under the program: truncated or overwritten while the
// scan stands at a known item, between the scan and the conversion's
// re-reading, or while the conversion runs. Whatever libpff then sees, the run
// ends, says how, every mail the scan recorded is written, written and marked
// incomplete, or counted as failed, and no file claims more than it holds.
#include "tests/robustness/Fixtures.h"

#include <random>

namespace tolvane::robustness {
namespace {

enum class Change { TruncateToHalf, TruncateToHeader, OverwriteMiddle, Empty };

struct ChangeCase {
    const char* name;
    Change change;
};

void Apply(Change change, const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const qint64 size = file.size();
    switch (change) {
    case Change::TruncateToHalf:
        file.resize(size / 2);
        break;
    case Change::TruncateToHeader:
        file.resize(564);
        break;
    case Change::Empty:
        file.resize(0);
        break;
    case Change::OverwriteMiddle: {
        std::mt19937 random(7);
        QByteArray noise(static_cast<qsizetype>(size / 2), '\0');
        for (char& c : noise)
            c = static_cast<char>(random() & 0xFF);
        file.seek(size / 4);
        file.write(noise);
        break;
    }
    }
}

const ChangeCase kChanges[] = {
    {"TruncateToHalf", Change::TruncateToHalf},
    {"TruncateToHeader", Change::TruncateToHeader},
    {"OverwriteMiddle", Change::OverwriteMiddle},
    {"Empty", Change::Empty},
};

class ChangingInputTest : public ::testing::TestWithParam<ChangeCase> {};

// The scan is held at its 12th item (inside the first folder's messages) while
// the file changes; the file stays open in libpff the whole time.
TEST_P(ChangingInputTest, ChangedDuringTheScan)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("changing.pst"));
    WriteBaseMailbox(input);
    const TreeSnapshot before = area.Outside();

    WorkerGate gate;
    bool changed = false;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 12 && !changed) {
            changed = true;
            Apply(GetParam().change, input);
        }
    });
    const ScanRun scan = ScanFile(input, &gate);
    EXPECT_TRUE(changed);
    EXPECT_EQ(scan.notices, ExpectedScanNotices(scan.outcome));
    if (scan.outcome == ScanOutcome::Completed) {
        const ConvertRun conversion = ConvertScan(scan, input, area.destination());
        ExpectHonestConversion(scan, conversion, area.outputRoot());
    }
    EXPECT_EQ(area.Outside(), before);
}

// The files a conversion of the intact mailbox writes, for comparison.
std::map<QString, QByteArray> ReferenceFiles(const ScratchArea& area, const QString& input)
{
    const QString intact = area.input(QStringLiteral("intact.pst"));
    const QString destination = area.input(QStringLiteral("reference"));
    QFile::copy(input, intact);
    QDir().mkpath(destination);
    const ScanRun scan = ScanFile(intact);
    const ConvertRun conversion = ConvertScan(scan, intact, destination);
    return MessageFiles(destination + u'/' + kOutputFolderName);
}

// The scan saw the whole mailbox; the conversion re-reads a changed file.
TEST_P(ChangingInputTest, ChangedBetweenScanAndConversion)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("changing.pst"));
    WriteBaseMailbox(input);
    const auto reference = ReferenceFiles(area, input);
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(kBaseMailCount));
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    Apply(GetParam().change, input);
    const TreeSnapshot before = area.Outside();

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    ExpectNoFileClaimsMore(reference, area.outputRoot());
    EXPECT_FALSE(conversion.summary.allSaved());
    EXPECT_EQ(area.Outside(), before);
}

// The file changes once the conversion has written its first message (the
// reading thread is then already some messages ahead).
TEST_P(ChangingInputTest, ChangedWhileConverting)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("changing.pst"));
    WriteBaseMailbox(input);
    const auto reference = ReferenceFiles(area, input);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);

    WorkerGate gate;
    bool changed = false;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 2 && !changed) {
            changed = true;
            Apply(GetParam().change, input);
        }
    });
    const ConvertRun conversion = ConvertScan(scan, input, area.destination(), &gate);
    EXPECT_TRUE(changed);
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    ExpectNoFileClaimsMore(reference, area.outputRoot());
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangingInputTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::robustness
