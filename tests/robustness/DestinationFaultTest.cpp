// Faults of the destination: read-only, deleted while the conversion runs,
// full, and files already where the output goes. The conversion never
// overwrites, never writes outside the destination, counts every mail it
// could not save and says so.
#include "tests/robustness/Fixtures.h"

#include "convert/output/OutputNaming.h"

#include <QProcess>

#include <algorithm>

#include <cerrno>
#include <cstring>

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

// Mounts a tmpfs at `directory` in a mount namespace private to this test
// process (it disappears with the process). Empty on success, else why not.
QString MountTmpfs(const QString& directory, unsigned long flags, const char* options)
{
    static const int namespaceError = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return errno;
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return errno;
        return 0;
    }();
    if (namespaceError != 0)
        return QStringLiteral("no private mount namespace: %1").arg(QString::fromLocal8Bit(std::strerror(namespaceError)));
    if (::mount("tolvane-test", QFile::encodeName(directory).constData(), "tmpfs", flags, options) != 0)
        return QStringLiteral("cannot mount a tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return QString();
}

class MountedDirectory {
public:
    explicit MountedDirectory(QString path) : path_(std::move(path)) {}
    ~MountedDirectory() { ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH); }

private:
    QString path_;
};

QString BaseInput(ScratchArea& area)
{
    const QString path = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(path);
    return path;
}

TEST(DestinationFaultTest, ReadOnlyDestination)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    std::unique_ptr<MountedDirectory> mounted;
    if (::geteuid() == 0) {
        const QString why = MountTmpfs(area.destination(), MS_RDONLY, "size=64k");
        if (!why.isEmpty())
            GTEST_SKIP() << "read-only destination needs a mount as root: " << qPrintable(why);
        mounted = std::make_unique<MountedDirectory>(area.destination());
    } else {
        ASSERT_EQ(::chmod(QFile::encodeName(area.destination()).constData(), 0555), 0);
    }
    const TreeSnapshot before = area.Outside();

    // Refused at the start with a reason: nothing attempted, nothing claimed.
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(conversion.start, StartRefusal::DestinationNotWritable);
    EXPECT_TRUE(conversion.notices.isEmpty());
    EXPECT_TRUE(QDir(area.destination()).isEmpty());
    EXPECT_EQ(area.Outside(), before);
    // The command line says why and exits with the destination error status.
    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (QFileInfo(cli).isExecutable()) {
        QProcess process;
        process.start(cli, {QStringLiteral("convert"), input, area.destination()});
        ASSERT_TRUE(process.waitForFinished(-1));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 2) << qPrintable(err);
        EXPECT_TRUE(err.contains(QStringLiteral("cannot create the folder"))) << qPrintable(err);
        EXPECT_TRUE(QDir(area.destination()).isEmpty());
    }
    ::chmod(QFile::encodeName(area.destination()).constData(), 0755);
}

TEST(DestinationFaultTest, DestinationDeletedDuringTheConversion)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const TreeSnapshot before = area.Outside();

    WorkerGate gate;
    bool deleted = false;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 10 && !deleted)
            deleted = QDir(area.destination()).removeRecursively();
    });
    const ConvertRun conversion = ConvertScan(scan, input, area.destination(), &gate);
    EXPECT_TRUE(deleted);
    // The files written before the deletion are gone with it; every mail is still accounted for.
    ASSERT_EQ(conversion.start, kStarted);
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail) + conversion.summary.counts.Failed(OutcomeKind::Mail), kBaseMailCount);
    ASSERT_EQ(conversion.notices.size(), 1);
    if (conversion.summary.counts.Failed(OutcomeKind::Mail) > 0) {
        EXPECT_NE(conversion.notices.front(), QString::fromLatin1(kSavingCompletedText));
    }
    EXPECT_EQ(area.Outside(), before);
}

TEST(DestinationFaultTest, DiskFull)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("large.pst"));
    {
        tolvane::pstwriter::PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        for (int i = 0; i < 30; ++i)
            inbox.addMessage()
                .subject("Large " + std::to_string(i))
                .body("see attached")
                .attach("blob.bin", tolvane::pstwriter::Bytes(20000, static_cast<uint8_t>(i)));
        pst.Write(input.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const QString why = MountTmpfs(area.destination(), 0, "size=256k");
    if (!why.isEmpty())
        GTEST_SKIP() << "disk full needs a small tmpfs: " << qPrintable(why);
    MountedDirectory mounted(area.destination());
    const TreeSnapshot before = area.Outside();

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    EXPECT_GT(conversion.summary.counts.Failed(OutcomeKind::Mail), 0);
    EXPECT_GT(conversion.summary.counts.Complete(OutcomeKind::Mail), 0);
    // Every file that is there is whole: it ends where the composer ended it.
    for (const QString& path : FilesEndingIn(area.outputRoot(), QStringLiteral(".eml")))
        EXPECT_GT(QFileInfo(path).size(), 20000) << qPrintable(path);
    EXPECT_EQ(area.Outside(), before);
}

// A message whose attachment streams from the mailbox while it is written:
// a full disk is named as what it is, not as an attachment that could not be
// read.
TEST(DestinationFaultTest, DiskFullWhileAnAttachmentStreams)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("streamed.pst"));
    {
        tolvane::pstwriter::PstBuilder pst;
        pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("Big").body("see attached").attach(
            "big.bin", tolvane::pstwriter::Bytes(5 * 1024 * 1024, 0x5A));
        pst.Write(input.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const QString why = MountTmpfs(area.destination(), 0, "size=256k");
    if (!why.isEmpty())
        GTEST_SKIP() << "disk full needs a small tmpfs: " << qPrintable(why);
    MountedDirectory mounted(area.destination());

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(conversion.summary.counts.Failed(OutcomeKind::Mail), 1);
    ASSERT_EQ(conversion.problems.size(), 1) << qPrintable(conversion.problems.join(u'\n'));
    EXPECT_TRUE(conversion.problems.front().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << qPrintable(conversion.problems.front());
    EXPECT_FALSE(conversion.problems.front().contains(QStringLiteral("attachment")))
        << qPrintable(conversion.problems.front());
}

// An earlier folder of the same minute, with a file where this run's first
// mail would go: the run makes a folder of its own and leaves it untouched.
TEST(DestinationFaultTest, FileAlreadyAtAnOutputPath)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    // The first mail of every conversion gets the number 41.
    const auto first = scan.store->mailRecords().front();
    const QString directory = DirectoryForFolderKey(area.outputRoot(), first->folderKey);
    const QString occupied = directory + u'/' + FileNameFor(MailNameText(first->subject), "41", ".eml");
    ASSERT_TRUE(QDir().mkpath(directory));
    ASSERT_TRUE(WriteAll(occupied, "precious, not a converted mail\n"));
    const TreeSnapshot existing = SnapshotTree(area.destination());

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(ReadAll(occupied), QByteArray("precious, not a converted mail\n"));
    ExpectHonestConversion(scan, conversion, area.outputRoot() + "-2");
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
    EXPECT_EQ(FilesEndingIn(area.outputRoot(), ".eml"), QStringList{occupied});
    EXPECT_EQ(FilesEndingIn(area.outputRoot() + "-2", ".eml").size(), kBaseMailCount);
    const TreeSnapshot after = SnapshotTree(area.destination());
    for (const auto& [path, hash] : existing)
        EXPECT_EQ(after.count(path) ? after.at(path) : QByteArray("<gone>"), hash) << qPrintable(path);
}

TEST(DestinationFaultTest, FileWhereTheOutputFolderGoes)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    ASSERT_TRUE(WriteAll(area.outputRoot(), "a file, not a folder\n"));

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(ReadAll(area.outputRoot()), QByteArray("a file, not a folder\n"));
    ExpectHonestConversion(scan, conversion, area.outputRoot() + "-2");
    EXPECT_EQ(conversion.summary.outputRoot, area.outputRoot() + "-2");
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
}

// Sets the mode of every directory below and at `root`.
void ChangeDirectoryModes(const QString& root, mode_t mode)
{
    ::chmod(QFile::encodeName(root).constData(), mode);
    for (QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();)
        ::chmod(QFile::encodeName(it.next()).constData(), mode);
}

// Root passes every permission check: the calling thread alone gives up the
// capabilities that let it, so a directory without write permission is one
// to it too. Capabilities belong to a thread; the conversion's writer, which
// runs the gate's hook, ends with the conversion.
bool GiveUpPermissionOverrideInThisThread()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The messages in the mbox files under their own names (not the hidden
// temporaries): every line that starts with "From ", which the writer
// quotes inside a message.
int MessagesInPlacedMboxFiles(const QString& outputRoot)
{
    int messages = 0;
    for (QDirIterator it(outputRoot, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (it.fileName() == QLatin1String("manifest.jsonl"))
            continue;
        const QByteArray text = ReadAll(path);
        messages += (text.startsWith("From ") ? 1 : 0) + static_cast<int>(text.count("\nFrom "));
    }
    return messages;
}

// The destination turns read-only while a folder's mbox file is being
// written (checkpoint 30 is in "Sent Items", the second of three folders):
// its file cannot be put in place, and the messages written into its
// temporary are not saved but failed, each named; "Archive/2020" gets no
// file at all. Only what is in a file under its own name counts as saved.
class ReadOnlyMidRunTest : public ::testing::TestWithParam<OutputFormat> {};

TEST_P(ReadOnlyMidRunTest, MailWhoseFileCannotBePutInPlaceCountsAsFailed)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);

    WorkerGate gate;
    bool readOnly = false;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal != 30)
            return;
        ChangeDirectoryModes(area.destination(), 0555);
        readOnly = ::geteuid() != 0 || GiveUpPermissionOverrideInThisThread();
    });
    const ConvertRun conversion = ConvertScan(scan, input, area.destination(), &gate, false, GetParam());
    ChangeDirectoryModes(area.destination(), 0755);
    ASSERT_TRUE(readOnly);
    ASSERT_EQ(conversion.start, kStarted);

    const ConversionSummary& summary = conversion.summary;
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), MessagesInPlacedMboxFiles(conversion.summary.outputRoot));
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 20);  // Inbox, put in place before the fault
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail) + summary.counts.Failed(OutcomeKind::Mail), kBaseMailCount);
    for (int i = 0; i < 15; ++i) {
        const QString named = QStringLiteral("not saved: \"Sent message %1\" in ").arg(i);
        EXPECT_EQ(std::count_if(conversion.problems.begin(), conversion.problems.end(),
                                [&](const QString& line) {
                                    return line.startsWith(named) && line.contains(QStringLiteral("cannot put"));
                                }),
                  1)
            << qPrintable(named) << "\n" << qPrintable(conversion.problems.join(u'\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ReadOnlyMidRunTest, ::testing::Values(OutputFormat::Mbox, OutputFormat::MboxTree),
                         [](const auto& info) { return info.param == OutputFormat::Mbox ? "mbox" : "mboxtree"; });

struct RefusedDestination {
    const char* name;
    std::function<QString(ScratchArea&)> path;
    std::optional<StartRefusal> expected;
};

const RefusedDestination kRefused[] = {
    {"Empty", [](ScratchArea&) { return QString(); }, StartRefusal::DestinationEmpty},
    {"Missing", [](ScratchArea& a) { return a.root() + "/nowhere"; }, StartRefusal::DestinationMissing},
};

class RefusedDestinationTest : public ::testing::TestWithParam<RefusedDestination> {};

TEST_P(RefusedDestinationTest, NothingIsWritten)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const TreeSnapshot before = SnapshotTree(area.root());
    const ConvertRun conversion = ConvertScan(scan, input, GetParam().path(area));
    EXPECT_EQ(conversion.start, GetParam().expected);
    EXPECT_EQ(SnapshotTree(area.root()), before);
}

INSTANTIATE_TEST_SUITE_P(Destinations, RefusedDestinationTest, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::robustness
