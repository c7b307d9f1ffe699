// Faults around the output folder: links planted where the output goes,
// another user's folder under the minute's name, modes, two conversions in
// one minute, leftovers of a killed run and a command line that is signalled.
// The run always writes into a folder it made itself and nothing it writes
// lands anywhere else.
#include "tests/robustness/Fixtures.h"

#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/PartialFileSweeper.h"
#include "tests/support/CliRun.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

QString BaseInput(ScratchArea& area)
{
    const QString path = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(path);
    return path;
}

bool MakeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// A directory outside the destination that the planted links point at.
QString OutsideDirectory(ScratchArea& area)
{
    const QString outside = area.root() + QStringLiteral("/a/b/outside");
    QDir().mkpath(outside);
    return outside;
}

struct PlantedLink {
    const char* name;
    std::function<bool(ScratchArea&, const QString& outside)> plant;
    const char* expectedSuffix;  // of the folder the run makes instead
};

const PlantedLink kPlantedLinks[] = {
    {"LinkAsOutputFolder", [](ScratchArea& a, const QString& outside) { return MakeLink(outside, a.outputRoot()); },
     "-2"},
    {"LinksAsOutputFolderAndItsNextName",
     [](ScratchArea& a, const QString& outside) {
         return MakeLink(outside, a.outputRoot()) && MakeLink(outside, a.outputRoot() + "-2");
     },
     "-3"},
    {"LinkAsFolderDirectory",
     [](ScratchArea& a, const QString& outside) {
         return QDir().mkpath(a.outputRoot() + "/Top-of-Personal-Folders") &&
                MakeLink(outside, a.outputRoot() + "/Top-of-Personal-Folders/Inbox");
     },
     "-2"},
};

class PlantedLinkTest : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(PlantedLinkTest, TheRunMakesAFreshFolderAndNothingLandsOutside)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const QString outside = OutsideDirectory(area);
    ASSERT_TRUE(GetParam().plant(area, outside));
    const TreeSnapshot before = area.Outside();

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    const QString ownRoot = area.outputRoot() + QString::fromLatin1(GetParam().expectedSuffix);
    ExpectHonestConversion(scan, conversion, ownRoot);
    EXPECT_EQ(conversion.summary.outputRoot, ownRoot);
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_EQ(area.Outside(), before);
}

INSTANTIATE_TEST_SUITE_P(Links, PlantedLinkTest, ::testing::ValuesIn(kPlantedLinks),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder's directory swapped for a link while the run is writing: that
// folder's mails fail, none follows the link.
TEST(OutputFolderFaultTest, FolderDirectoryReplacedByALinkDuringTheRun)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const QString outside = OutsideDirectory(area);
    QString sentKey;
    int sentCount = 0;
    for (const auto& record : scan.store->mailRecords()) {
        if (record->subject.startsWith(QStringLiteral("Sent message"))) {
            sentKey = record->folderKey;
            ++sentCount;
        }
    }
    ASSERT_EQ(sentCount, 15);
    const QString sentDirectory = DirectoryForFolderKey(area.outputRoot(), sentKey);
    const TreeSnapshot before = area.Outside();

    WorkerGate gate;
    bool replaced = false;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 1)
            replaced = QDir().rmdir(sentDirectory) && MakeLink(outside, sentDirectory);
    });
    const ConvertRun conversion = ConvertScan(scan, input, area.destination(), &gate);
    ASSERT_TRUE(replaced);
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    EXPECT_EQ(conversion.summary.counts.Failed(OutcomeKind::Mail), sentCount);
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount - sentCount);
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_EQ(area.Outside(), before);
}

// In a shared destination (mode 1777) another user made the minute's folder
// first, with the directories the run would use, open to everyone.
TEST(OutputFolderFaultTest, AnotherUsersFolderUnderTheMinutesName)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folder is made with setpriv, which needs root";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is not installed";
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    for (const QString& level : {area.root(), area.root() + "/a", area.root() + "/a/b", area.root() + "/a/b/c"})
        ASSERT_EQ(::chmod(QFile::encodeName(level).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(area.destination()).constData(), 01777), 0);
    const QString theirs = area.outputRoot();
    const int made = QProcess::execute(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "mkdir", "-p",
                                                 "-m", "0777", theirs + "/Top-of-Personal-Folders/Inbox"});
    if (made != 0)
        GTEST_SKIP() << "setpriv could not make a folder as nobody (status " << made << ")";
    const TreeSnapshot theirsBefore = SnapshotTree(theirs);
    ASSERT_FALSE(theirsBefore.empty());

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot() + "-2");
    EXPECT_EQ(conversion.summary.outputRoot, area.outputRoot() + "-2");
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
    EXPECT_EQ(SnapshotTree(theirs), theirsBefore);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(conversion.summary.outputRoot).constData(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid());
}

// Files get 0666 and directories 0777, less the umask; nothing is widened.
struct UmaskCase {
    mode_t umask;
    mode_t file;
    mode_t directory;
};

class OutputModeTest : public ::testing::TestWithParam<UmaskCase> {};

TEST_P(OutputModeTest, ModesFollowTheUmask)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const mode_t previous = ::umask(GetParam().umask);
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ::umask(previous);
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    QStringList entries{area.outputRoot()};
    QDirIterator it(area.outputRoot(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(it.next());
    int files = 0;
    for (const QString& path : entries) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
        const bool directory = S_ISDIR(info.st_mode);
        files += directory ? 0 : 1;
        EXPECT_EQ(info.st_mode & 07777, directory ? GetParam().directory : GetParam().file)
            << qPrintable(path) << " mode " << std::oct << (info.st_mode & 07777);
    }
    EXPECT_EQ(files, kBaseMailCount + 1);  // and the manifest
}

INSTANTIATE_TEST_SUITE_P(Umasks, OutputModeTest,
                         ::testing::Values(UmaskCase{077, 0600, 0700}, UmaskCase{022, 0644, 0755},
                                           UmaskCase{027, 0640, 0750}),
                         [](const auto& info) { return "Umask0" + std::to_string(info.param.umask); });

// Two conversions started in the same minute, running side by side: each
// writes into its own folder and reports that one.
TEST(OutputFolderFaultTest, TwoConversionsInOneMinuteGetTwoFolders)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun firstScan = ScanFile(input);
    const ScanRun secondScan = ScanFile(input);
    ASSERT_EQ(firstScan.outcome, ScanOutcome::Completed);
    ASSERT_EQ(secondScan.outcome, ScanOutcome::Completed);
    RecordingConversionSink firstSink;
    RecordingConversionSink secondSink;
    auto requestFor = [&](const ScanRun& scan, RecordingConversionSink& sink) {
        ConversionRequest request;
        request.pstPath = input;
        request.destinationPath = area.destination();
        request.store = scan.store.get();
        request.sink = &sink;
        request.clock = FixedClock;
        return request;
    };
    ConversionDriver first;
    ConversionDriver second;
    ASSERT_EQ(RefusalOf(first.Start(requestFor(firstScan, firstSink))), kStarted);
    ASSERT_EQ(RefusalOf(second.Start(requestFor(secondScan, secondSink))), kStarted);
    const ConversionSummary firstSummary = first.Wait();
    const ConversionSummary secondSummary = second.Wait();

    EXPECT_EQ(firstSummary.outputRoot, first.outputRoot());
    EXPECT_EQ(secondSummary.outputRoot, second.outputRoot());
    EXPECT_EQ(QStringList({firstSummary.outputRoot, secondSummary.outputRoot}),
              QStringList({area.outputRoot(), area.outputRoot() + "-2"}));
    for (const ConversionSummary* summary : {&firstSummary, &secondSummary}) {
        EXPECT_EQ(summary->counts.Complete(OutcomeKind::Mail), kBaseMailCount);
        // Every file has its first-choice name: no "-2" names from sharing a folder.
        const QStringList files = FilesEndingIn(summary->outputRoot, QStringLiteral(".eml"));
        EXPECT_EQ(files.size(), kBaseMailCount);
        EXPECT_TRUE(files.filter(QRegularExpression(QStringLiteral("\\d-\\d+\\.eml$"))).isEmpty())
            << qPrintable(files.join(u'\n'));
    }
}

// An output name that is taken and too long to take "-2" as it is: the name
// is shortened on a character boundary so the suffix fits the file system's
// 255 bytes, for --output-name and for the name several files' folders get.
struct TakenLongName {
    const char* name;
    QString taken;     // the output folder's name, already there
    bool severalFiles; // named after the input file instead of --output-name
    QString expected;  // the folder the run makes
};

const TakenLongName kTakenLongNames[] = {
    {"Ascii254", QString(254, u'n'), false, QString(253, u'n') + "-2"},
    {"Ascii255", QString(255, u'n'), false, QString(253, u'n') + "-2"},
    {"TwoByteCharacters254", QString(127, QChar(0xE9)), false, QString(126, QChar(0xE9)) + "-2"},
    {"AsciiThenThreeByteCharacters", "ab" + QString(84, QChar(0x65E5)), false, "ab" + QString(83, QChar(0x65E5)) + "-2"},
    {"AsciiThenFourByteCharacters", "ab" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(63), false,
     "ab" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(62) + "-2"},
    {"FileNameOfOneOfSeveral", QString(255, u'm'), true, QString(253, u'm') + "-2"},
};

class TakenOutputNameTest : public ::testing::TestWithParam<TakenLongName> {};

TEST_P(TakenOutputNameTest, ALongTakenNameIsShortenedToTakeItsNumber)
{
    if (::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0)
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const TakenLongName& row = GetParam();
    ASSERT_LE(row.taken.toUtf8().size(), 255);
    ASSERT_TRUE(QDir().mkpath(area.destination() + u'/' + row.taken));
    QStringList arguments{QStringLiteral("convert")};
    if (row.severalFiles) {
        const QString named = area.input(row.taken);
        WriteBaseMailbox(named);
        arguments << named << BaseInput(area);
    } else {
        arguments << QStringLiteral("--output-name") << row.taken << BaseInput(area);
    }
    arguments << area.destination();

    const testing::CliRun run = testing::RunCli(arguments);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_LE(row.expected.toUtf8().size(), 255);
    EXPECT_TRUE(QFileInfo(area.destination() + u'/' + row.expected + "/manifest.jsonl").isFile())
        << qPrintable(QDir(area.destination()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(u'\n'));
    EXPECT_TRUE(QDir(area.destination() + u'/' + row.taken).isEmpty()) << "the taken folder is left alone";
}

INSTANTIATE_TEST_SUITE_P(Names, TakenOutputNameTest, ::testing::ValuesIn(kTakenLongNames),
                         [](const auto& info) { return std::string(info.param.name); });

// What a run killed outright on a file system without unnamed temporaries
// leaves behind, and what the next run's clean-up must leave alone.
TEST(OutputFolderFaultTest, LeftoverTemporariesOfAnEarlierRunAreRemoved)
{
    ScratchArea area;
    const QString input = BaseInput(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const QString outside = OutsideDirectory(area);
    const QString earlier = area.destination() + "/Vorsk-Recovery-1-1-2000 0-0";
    const QString inbox = earlier + "/Top-of-Personal-Folders/Inbox";
    ASSERT_TRUE(QDir().mkpath(inbox + "/.tolvane-partial-dir"));
    ASSERT_TRUE(QDir().mkpath(area.destination() + "/Other"));
    ASSERT_TRUE(WriteAll(outside + "/.tolvane-partial-target", "outside\n"));
    struct Planted {
        QString path;
        bool removed;
    };
    // A finished run's folder: whatever it holds is output.
    const QString finished = area.destination() + "/Vorsk-Recovery-3-3-2003 3-3";
    ASSERT_TRUE(QDir().mkpath(finished));
    ASSERT_TRUE(WriteAll(earlier + "/manifest.jsonl", "{\"kind\":\"mail\"}\n"));
    ASSERT_TRUE(WriteAll(finished + "/manifest.jsonl", "{\"kind\":\"mail\"}\n{\"summary\":{}}\n"));
    std::vector<Planted> planted = {
        {inbox + "/.tolvane-partial-a1B2c3", true},
        {earlier + "/.tolvane-partial-Zz9yX8", true},
        {earlier + "/.tolvane-partial-scratch-123-0", true},
        {inbox + "/Minutes41.eml", false},
        {inbox + "/.tolvane-partial-dir/.tolvane-partial-deeper", true},
        {area.destination() + "/Other/.tolvane-partial-q1w2e3", false},
        // Names the writers never give a temporary.
        {inbox + "/.tolvane-partial-notes.eml", false},
        {inbox + "/.tolvane-partial-a1B2c", false},
        {inbox + "/.tolvane-partial-scratch-1x-0", false},
        {finished + "/.tolvane-partial-f1n1sh", false},
    };
    for (const Planted& file : planted)
        ASSERT_TRUE(WriteAll(file.path, "partial"));
    ASSERT_TRUE(MakeLink(outside + "/.tolvane-partial-target", inbox + "/.tolvane-partial-link"));
    ASSERT_TRUE(MakeLink(outside, area.destination() + "/Vorsk-Recovery-2-2-2002 2-2"));
    if (::geteuid() == 0) {
        planted.push_back({earlier + "/.tolvane-partial-others", false});
        ASSERT_TRUE(WriteAll(planted.back().path, "another user's"));
        ASSERT_EQ(::chown(QFile::encodeName(planted.back().path).constData(), 65534, 65534), 0);
    }
    const TreeSnapshot before = area.Outside();

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    for (const Planted& file : planted)
        EXPECT_EQ(QFileInfo::exists(file.path), !file.removed) << qPrintable(file.path);
    EXPECT_TRUE(QFileInfo(inbox + "/.tolvane-partial-link").isSymLink());
    EXPECT_TRUE(QFileInfo(inbox + "/.tolvane-partial-dir").isDir());
    EXPECT_EQ(area.Outside(), before);
}

// The clean-up leaves a running conversion's folder alone: its named
// temporaries are still being written.
TEST(OutputFolderFaultTest, TheCleanUpSkipsAFolderInUse)
{
    ScratchArea area;
    auto created = OutputTree::Create(area.destination(), kOutputFolderName);
    ASSERT_TRUE(created) << qPrintable(created.error().reason);
    auto& running = *created;
    const QString partial = running->rootPath() + "/.tolvane-partial-abcdef";
    ASSERT_TRUE(WriteAll(partial, "being written"));
    ASSERT_TRUE(WriteAll(running->rootPath() + "/manifest.jsonl", "{\"kind\":\"mail\"}\n"));
    EXPECT_EQ(RemoveLeftoverPartials(area.destination()), 0);
    EXPECT_TRUE(QFileInfo::exists(partial));
    running.reset();
    EXPECT_EQ(RemoveLeftoverPartials(area.destination()), 1);
    EXPECT_FALSE(QFileInfo::exists(partial));
}

// SIGINT and SIGTERM stop tolvane-cli convert cleanly: after the file being
// written, with the summary, or in the scan before anything is written; the
// exit status is 128 + the signal.
struct SignalCase {
    const char* name;
    int signalNumber;
    const char* holdAt;
    int expectedExit;
};

const SignalCase kSignalCases[] = {
    {"TermDuringTheConversion", SIGTERM, "convert:3", 143},
    {"IntDuringTheConversion", SIGINT, "convert:3", 130},
    {"TermDuringTheScan", SIGTERM, "scan:1", 143},
};

class SignalledCommandLineTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalledCommandLineTest, StopsCleanlyWithTheSignalsStatus)
{
    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (!QFileInfo(cli).isExecutable())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = BaseInput(area);
    const SignalCase& row = GetParam();

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLVANE_CLI_HOLD_AT"), QString::fromLatin1(row.holdAt));
    process.setProcessEnvironment(environment);
    // Whatever this test runs under, the command starts with the default dispositions.
    process.setChildProcessModifier([] {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    });
    process.setReadChannel(QProcess::StandardError);
    process.start(cli, {QStringLiteral("convert"), input, area.destination()});
    const QByteArray held = QByteArray("tolvane-cli: held at ") + row.holdAt + "\n";
    QByteArray err;
    while (!err.contains(held) && process.waitForReadyRead(-1))
        err += process.readAllStandardError();
    ASSERT_TRUE(err.contains(held)) << err.constData();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), row.signalNumber), 0);
    ASSERT_TRUE(process.waitForFinished(-1));
    err += process.readAllStandardError();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << err.constData();
    EXPECT_EQ(process.exitCode(), row.expectedExit) << err.constData();
    const QString signalName = row.signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
    if (QByteArray(row.holdAt).startsWith("scan")) {
        EXPECT_TRUE(QString::fromUtf8(err).contains("interrupted by " + signalName + " during the scan"))
            << err.constData();
        EXPECT_TRUE(QDir(area.destination()).isEmpty());
        return;
    }
    // Held before the third mail: two were written, the summary says so and names the folder.
    EXPECT_TRUE(out.contains(QStringLiteral("2 mails saved\n"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("Interrupted by %1").arg(signalName))) << qPrintable(out);
    const QStringList folders = QDir(area.destination()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1) << qPrintable(folders.join(u' '));
    const QString outputRoot = area.destination() + u'/' + folders.front();
    EXPECT_TRUE(out.contains(QStringLiteral("Output folder: %1\n").arg(outputRoot))) << qPrintable(out);
    EXPECT_EQ(FilesEndingIn(outputRoot, QStringLiteral(".eml")).size(), 2);
    EXPECT_TRUE(FilesEndingIn(outputRoot, QString()).filter(QStringLiteral(".tolvane-partial-")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalledCommandLineTest, ::testing::ValuesIn(kSignalCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::robustness
