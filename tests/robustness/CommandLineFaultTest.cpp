// Faults around the scan and the command line: a private temporary directory
// someone else planted, inputs that are no regular file, file names that are
// not UTF-8, control characters in mailbox texts and an address space too
// small to work in. tolvane-cli runs as a child process with raw arguments.
#include "tests/robustness/ChildProcess.h"
#include "tests/robustness/Fixtures.h"
#include "base/NativePath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <memory>
#include <system_error>

#include <dirent.h>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

using tolvane::pstwriter::PstBuilder;

const QByteArray kCli = TOLVANE_BIN_DIR "/tolvane-cli";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;  // the sanitizers reserve terabytes of address space at start
#else
constexpr bool kSanitizedBuild = false;
#endif

// Points TMPDIR into the scratch area while it lives.
class TemporaryDirectoryOverride {
public:
    explicit TemporaryDirectoryOverride(const QString& directory) : previous_(qgetenv("TMPDIR"))
    {
        QDir().mkpath(directory);
        qputenv("TMPDIR", NativePath(directory));
    }
    ~TemporaryDirectoryOverride()
    {
        if (previous_.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", previous_);
    }
    TemporaryDirectoryOverride(const TemporaryDirectoryOverride&) = delete;
    TemporaryDirectoryOverride& operator=(const TemporaryDirectoryOverride&) = delete;

private:
    QByteArray previous_;
};

ChildCall Cli(const QList<QByteArray>& arguments, const QString& temporaryDirectory)
{
    ChildCall call;
    call.arguments = arguments;
    call.environment = {"TMPDIR=" + NativePath(temporaryDirectory)};
    return call;
}

// The PST writer takes UTF-8 names: the base mailbox is written under one
// and renamed to the raw bytes.
bool WriteBaseMailboxAt(ScratchArea& area, const QByteArray& nativePath)
{
    const QString written = area.input(QStringLiteral("written.pst"));
    WriteBaseMailbox(written);
    return ::rename(NativePath(written).constData(), nativePath.constData()) == 0;
}

// Removes what a test made under a name Qt cannot spell, so the scratch area can go.
void RemoveNativeTree(const QByteArray& path)
{
    ::nftw(
        path.constData(), [](const char* entry, const struct stat*, int, FTW*) {
            ::remove(entry);  // whatever cannot go stays for the scratch area's own clean-up
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

// --- The private temporary directory, planted by someone else ---------------

struct TemporaryDirectoryFault {
    const char* name;
    // Plants something where the private directory belongs; false when this machine cannot.
    std::function<bool(const QString& scratch, const QByteArray& privatePath)> plant;
    const char* reason;  // part of the failure notice
};

const TemporaryDirectoryFault kTemporaryDirectoryFaults[] = {
    {"SymlinkToAnotherDirectory",
     [](const QString& scratch, const QByteArray& privatePath) {
         QDir().mkpath(scratch + QStringLiteral("/elsewhere"));
         return ::symlink(NativePath(scratch + QStringLiteral("/elsewhere")).constData(), privatePath.constData()) == 0;
     },
     "is not a plain directory"},
    {"PlainFile",
     [](const QString&, const QByteArray& privatePath) { return WriteAll(PathFromNative(privatePath), "squatter"); },
     "is not a plain directory"},
    // Only root can give a directory away.
    {"AnotherUsersDirectory",
     [](const QString&, const QByteArray& privatePath) {
         return ::geteuid() == 0 && ::mkdir(privatePath.constData(), 0700) == 0 &&
                ::chown(privatePath.constData(), 65534, 65534) == 0;
     },
     "belongs to another user"},
};

class TemporaryDirectoryFaultTest : public ::testing::TestWithParam<TemporaryDirectoryFault> {};

TEST_P(TemporaryDirectoryFaultTest, TheScanFailsWithTheReasonInsteadOfLosingAttachments)
{
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString temporary = area.root() + QStringLiteral("/tmp");
    const TemporaryDirectoryOverride override(temporary);
    const QByteArray privatePath = NativePath(temporary + QStringLiteral("/tolvane-%1").arg(::geteuid()));
    if (!GetParam().plant(area.root(), privatePath))
        GTEST_SKIP() << "this fault cannot be planted here (it needs root)";
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);

    // The window's sink: one failure notice that carries the reason.
    const ScanRun scan = ScanFile(input);
    EXPECT_EQ(scan.outcome, ScanOutcome::ScanFailed);
    ASSERT_EQ(scan.notices.size(), 1) << scan.notices.join(u'\n').toStdString();
    EXPECT_TRUE(scan.notices.front().startsWith(kScanFailedNotice)) << scan.notices.front().toStdString();
    EXPECT_TRUE(scan.notices.front().contains(QLatin1String(GetParam().reason))) << scan.notices.front().toStdString();

    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    const ChildResult cli = RunChild(kCli, Cli({"scan", NativePath(input)}, temporary));
    ASSERT_TRUE(cli.exited) << "signal " << cli.signal;
    EXPECT_EQ(cli.exitCode, 3) << cli.err.constData();
    EXPECT_TRUE(cli.err.contains(GetParam().reason)) << cli.err.constData();
    EXPECT_FALSE(cli.err.contains("Analysis completed")) << cli.err.constData();
}

INSTANTIATE_TEST_SUITE_P(Plants, TemporaryDirectoryFaultTest, ::testing::ValuesIn(kTemporaryDirectoryFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A crashed run's directory is swept by the next start; each command's own
// directory goes when the command ends, whether it converted or failed.
TEST(CommandLineTemporaryDirectory, NothingStaysBehindInThePerUserDirectory)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString temporary = area.root() + QStringLiteral("/tmp");
    const QString user = temporary + QStringLiteral("/tolvane-%1").arg(::geteuid());
    // No pid reaches this number (the kernel's limit is 2^22): its process is gone.
    const QString crashed = user + QStringLiteral("/99999999-Ab3dE9");
    ASSERT_TRUE(QDir().mkpath(crashed + QStringLiteral("/Attachments")));
    ASSERT_TRUE(WriteAll(crashed + QStringLiteral("/temp.html"), "page"));
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);
    const struct {
        const char* what;
        QList<QByteArray> arguments;
        int exitCode;
    } runs[] = {
        {"scan", {"scan", NativePath(input)}, 0},
        {"convert", {"convert", NativePath(input), NativePath(area.destination())}, 0},
        {"scan of a missing file", {"scan", NativePath(area.input(QStringLiteral("missing.pst")))}, 1},
    };
    for (const auto& run : runs) {
        const ChildResult cli = RunChild(kCli, Cli(run.arguments, temporary));
        ASSERT_TRUE(cli.exited) << run.what << ": signal " << cli.signal;
        EXPECT_EQ(cli.exitCode, run.exitCode) << run.what << ": " << cli.err.constData();
        EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  QStringList())
            << run.what;
    }
}

// --- Inputs the command line is given ---------------------------------------

struct CommandLineInput {
    const char* name;
    std::function<QByteArray(ScratchArea&)> make;  // the PST argument, raw bytes
    int exitCode;
    const char* stderrPart;
};

const CommandLineInput kCommandLineInputs[] = {
    {"Fifo",
     [](ScratchArea& a) {
         const QByteArray path = NativePath(a.input(QStringLiteral("pipe.pst")));
         ::mkfifo(path.constData(), 0600);
         return path;
     },
     1, "is a FIFO (named pipe), not a regular file"},
    {"Directory",
     [](ScratchArea& a) {
         QDir().mkpath(a.input(QStringLiteral("folder.pst")));
         return NativePath(a.input(QStringLiteral("folder.pst")));
     },
     1, "is a directory, not a regular file"},
    {"MissingFile", [](ScratchArea& a) { return NativePath(a.input(QStringLiteral("missing.pst"))); }, 1,
     "No such file or directory"},
    {"NameThatIsNotUtf8",
     [](ScratchArea& a) {
         const QByteArray path = NativePath(a.input(QString())) + "b\xe4se-\xff.pst";
         WriteBaseMailboxAt(a, path);
         return path;
     },
     0, "Analysis completed"},
};

class CommandLineInputTest : public ::testing::TestWithParam<CommandLineInput> {};

TEST_P(CommandLineInputTest, ExitsWithTheStatusAndSaysWhy)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QByteArray input = GetParam().make(area);
    const ChildResult cli = RunChild(kCli, Cli({"scan", input}, area.root() + QStringLiteral("/tmp")));
    ASSERT_TRUE(cli.exited) << "signal " << cli.signal;
    EXPECT_EQ(cli.exitCode, GetParam().exitCode) << cli.err.constData();
    EXPECT_TRUE(cli.err.contains(GetParam().stderrPart)) << cli.err.constData();
    EXPECT_FALSE(cli.err.contains("highly corrupted")) << cli.err.constData();
    if (GetParam().exitCode == 0) {
        EXPECT_TRUE(cli.out.contains(QByteArray("folders, ") + QByteArray::number(kBaseMailCount) + " mail,"))
            << cli.out.constData();
    }

    // --json gives the file its object whatever became of it, with the reason when it was not read.
    const ChildResult json = RunChild(kCli, Cli({"scan", "--json", input}, area.root() + QStringLiteral("/tmp")));
    ASSERT_TRUE(json.exited) << "signal " << json.signal;
    EXPECT_EQ(json.exitCode, GetParam().exitCode) << json.err.constData();
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(json.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.constData();
    EXPECT_EQ(object.value(QStringLiteral("result")).toString() == QLatin1String("completed"),
              GetParam().exitCode == 0);
    if (GetParam().exitCode == 0) {
        EXPECT_FALSE(object.contains(QStringLiteral("error"))) << json.out.constData();
    } else {
        EXPECT_TRUE(object.value(QStringLiteral("error")).toString().contains(QLatin1String(GetParam().stderrPart)))
            << json.out.constData();
    }
    RemoveNativeTree(input);
}

INSTANTIATE_TEST_SUITE_P(Inputs, CommandLineInputTest, ::testing::ValuesIn(kCommandLineInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// Counts the .eml files below a directory named by raw bytes.
int EmlFilesBelow(const QByteArray& directory)
{
    static int count;
    count = 0;
    ::nftw(
        directory.constData(),
        [](const char* path, const struct stat*, int type, FTW*) {
            if (type == FTW_F && QByteArray(path).endsWith(".eml"))
                ++count;
            return 0;
        },
        16, FTW_PHYS);
    return count;
}

// The one directory inside `directory`, by its raw bytes; empty unless there is exactly one.
QByteArray OnlyDirectoryIn(const QByteArray& directory)
{
    QList<QByteArray> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.constData()), ::closedir);
    while (const dirent* entry = stream ? ::readdir(stream.get()) : nullptr) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != ".." && entry->d_type == DT_DIR)
            found << directory + '/' + name;
    }
    return found.size() == 1 ? found.first() : QByteArray();
}

// Into a directory whose name is no UTF-8 (a byte-order mark after bytes
// that are not), in every format: written, and verified by that name.
TEST(CommandLineNames, ConvertsFromAndIntoDirectoriesWhoseNamesAreNotUtf8)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QByteArray input = NativePath(area.input(QString())) + "\xe9t\xe9.pst";
    ASSERT_TRUE(WriteBaseMailboxAt(area, input));
    for (const char* format : {"eml", "mbox", "mboxtree", "maildir"}) {
        SCOPED_TRACE(format);
        const QByteArray destination = NativePath(area.destination()) + "/ziel-\xfc\x80\xEF\xBB\xBF" + format;
        ASSERT_EQ(::mkdir(destination.constData(), 0755), 0);

        const QString temporary = area.root() + QStringLiteral("/tmp");
        const ChildResult cli = RunChild(kCli, Cli({"convert", "--format", format, input, destination}, temporary));
        EXPECT_TRUE(cli.exited) << "signal " << cli.signal;
        EXPECT_EQ(cli.exitCode, 0) << cli.err.constData();
        EXPECT_TRUE(cli.out.contains("ziel-\\xfc\\x80")) << cli.out.constData();
        if (QByteArray(format) == "eml")
            EXPECT_EQ(EmlFilesBelow(destination), kBaseMailCount);
        const QByteArray output = OnlyDirectoryIn(destination);
        ASSERT_FALSE(output.isEmpty());
        const ChildResult verify = RunChild(kCli, Cli({"verify", output}, temporary));
        EXPECT_EQ(verify.exitCode, 0) << verify.out.constData() << verify.err.constData();
        RemoveNativeTree(destination);
    }
    RemoveNativeTree(input);
}

// --- Control characters from the mailbox -------------------------------------

TEST(CommandLineTexts, ControlCharactersOfTheMailboxAreEscaped)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const std::string name = "red\x1b[31m del\x7f csi\xc2\x9b" "2J bell\x07";
    PstBuilder pst;
    pst.topOfPersonalFolders().addFolder(name).addMessage().subject("controls").from(name, "eve@example.com").body("x");
    // A contact named across a line break whose photo holds nothing: saved
    // incomplete, so the final notice names it.
    pst.topOfPersonalFolders()
        .addFolder("Contacts")
        .containerClass("IPF.Contact")
        .addContact("Ada\r\nEve", "Lovelace")
        .contactPhoto({});
    const QString input = area.input(QStringLiteral("controls.pst"));
    pst.Write(input.toStdString());
    const QString temporary = area.root() + QStringLiteral("/tmp");

    const ChildResult text = RunChild(kCli, Cli({"scan", NativePath(input)}, temporary));
    ASSERT_TRUE(text.exited);
    EXPECT_EQ(text.exitCode, 0) << text.err.constData();
    for (const QByteArray& raw : {QByteArray("\x1b"), QByteArray("\x7f"), QByteArray("\xc2\x9b"), QByteArray("\x07")})
        EXPECT_FALSE(text.out.contains(raw)) << text.out.toHex().constData();
    // The tree shows the folder's directory name, whose C0 controls are already '_'.
    EXPECT_TRUE(text.out.contains("red_[31m del\\x7f csi\\u009b2J bell_  (mail 1,")) << text.out.constData();

    const ChildResult json = RunChild(kCli, Cli({"scan", "--json", NativePath(input)}, temporary));
    ASSERT_TRUE(json.exited);
    EXPECT_EQ(json.exitCode, 0) << json.err.constData();
    for (const QByteArray& raw : {QByteArray("\x1b"), QByteArray("\x7f"), QByteArray("\xc2\x9b"), QByteArray("\x07")})
        EXPECT_FALSE(json.out.contains(raw)) << json.out.toHex().constData();
    for (const char* escape : {"\\u001b", "\\u007f", "\\u009b", "\\u0007"})
        EXPECT_TRUE(json.out.contains(escape)) << escape;
    QJsonParseError error{};
    const QJsonObject document = QJsonDocument::fromJson(json.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray mail = document.value(QStringLiteral("mail")).toArray();
    ASSERT_EQ(mail.size(), 1);
    EXPECT_EQ(mail.at(0).toObject().value(QStringLiteral("senderName")).toString(), QString::fromStdString(name));

    // Every line the conversion prints, the final notice's too, keeps a name on it.
    const ChildResult convert =
        RunChild(kCli, Cli({"convert", NativePath(input), NativePath(area.destination())}, temporary));
    ASSERT_TRUE(convert.exited);
    EXPECT_EQ(convert.exitCode, 4) << convert.err.constData();
    for (const QByteArray& printed : {convert.out, convert.err}) {
        for (const QByteArray& raw : {QByteArray("\x1b"), QByteArray("\r"), QByteArray("\xc2\x9b")})
            EXPECT_FALSE(printed.contains(raw)) << printed.toHex().constData();
        EXPECT_FALSE(printed.contains("\nEve Lovelace")) << printed.constData();
    }
    EXPECT_TRUE(convert.err.contains("Incomplete:\nAda\\x0d\\x0aEve Lovelace.vcf: missing")) << convert.err.constData();
}

// --- Resources running out ---------------------------------------------------

// A thread (or other resource) the scan cannot get, injected through the sink:
// the process ends with the resources status rather than an abort.
class ThreadlessSink : public NumberingScanSink {
public:
    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) override
    {
        if (parent != 0)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return NumberingScanSink::InsertFolderNode(parent, text);
    }
};

TEST(ScanResourcesDeathTest, AThreadThatCannotBeMadeEndsWithTheResourcesStatus)
{
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString temporary = area.root() + QStringLiteral("/tmp");
    const TemporaryDirectoryOverride override(temporary);
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ItemStore store;
            const ProcessTempDir tempDir;
            ThreadlessSink sink;
            ShownScan scan;
            scan.request.pstPath = input;
            scan.request.store = &store;
            scan.request.tempDir = &tempDir;
            scan.sink = &sink;  // its folder nodes are where the fault is injected
            scan.rootNode = sink.InsertFolderNode(0, input);
            (void)RunShownScan(scan);
        },
        ::testing::ExitedWithCode(kOutOfMemoryExitStatus), "");
}

// Small address spaces (ulimit -v): whatever gives out first (the open, a
// record, a thread of the conversion), the command ends with the resources
// status and a message, never with an abort. Where exactly each limit bites
// depends on the machine, so every limit only has to end in one of the two
// honest ways; a limit too small for the loader to map the libraries is passed over.
class CommandLineResources : public ::testing::TestWithParam<rlim_t> {};

TEST_P(CommandLineResources, ConvertEndsDoneOrWithTheResourcesStatus)
{
    if (kSanitizedBuild)
        GTEST_SKIP() << "a sanitizer build cannot start under an address-space limit";
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);
    ChildCall call = Cli({"convert", NativePath(input), NativePath(area.destination())}, area.root() + "/tmp");
    call.addressSpaceBytes = GetParam() * 1024;
    const ChildResult cli = RunChild(kCli, call);
    ASSERT_TRUE(cli.exited) << "signal " << cli.signal << ": " << cli.err.constData();
    if (cli.exitCode == 127 && cli.err.contains("error while loading shared libraries"))
        GTEST_SKIP() << "the program cannot even start with " << GetParam() << " KiB";
    if (cli.exitCode != 0) {
        EXPECT_EQ(cli.exitCode, 5) << cli.err.constData();
        EXPECT_TRUE(cli.err.contains("not enough memory")) << cli.err.constData();
        // A run short of memory leaves a manifest that says what it did not
        // write, or that it stopped: never one that reads as all there is.
        for (const QString& manifest : FilesEndingIn(area.destination(), QStringLiteral("manifest.jsonl"))) {
            const QByteArray last = ReadAll(manifest).trimmed().split('\n').last();
            const QJsonObject summary =
                QJsonDocument::fromJson(last).object().value(QStringLiteral("summary")).toObject();
            EXPECT_TRUE(summary.isEmpty() || summary.contains(QStringLiteral("stopped"))
                        || !summary.value(QStringLiteral("notWritten")).toObject().isEmpty())
                << last.constData();
        }
    }
}

// The smallest limit leaves room for the libraries' own start-up: below about
// 65 MB GLib already fails an allocation in its initialiser, before main runs
// (the loader maps ICU's data for the calendar library), and ends the process
// where nothing of ours can answer.
INSTANTIATE_TEST_SUITE_P(KiB, CommandLineResources, ::testing::Values(rlim_t{200000}, rlim_t{150000}, rlim_t{100000},
                                                                      rlim_t{80000}, rlim_t{70000}),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace tolvane::robustness
