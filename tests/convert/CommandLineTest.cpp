// tolvane-cli convert as people use it on a terminal and in scripts: the
// progress line, the short ending, --json against the manifest, --quiet,
// --dry-run, --output-name, --jobs, and errors that name their file.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/support/CliRun.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvane {
namespace {

using testing::CliRun;
using testing::ManifestLines;
using testing::OutputFolderIn;
using testing::RunCli;

const QString kCli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");

// A mailbox of `mails` mails over two folders, with one contact and one
// distribution list.
QString WriteMailbox(const QTemporaryDir& dir, int mails)
{
    pstwriter::PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    auto& archive = inbox.addFolder("Archive");
    for (int i = 0; i < mails; ++i) {
        (i % 3 == 0 ? archive : inbox)
            .addMessage()
            .subject("Mail " + std::to_string(i))
            .from("Anna", "anna@example.com")
            .to("Bo", "bo@example.com")
            .body("Body " + std::to_string(i));
    }
    auto& contacts = top.addFolder("Contacts").containerClass("IPF.Contact");
    contacts.addContact("Bo", "Lund");
    const QString path = dir.filePath(QStringLiteral("mailbox.pst"));
    pst.Write(path.toStdString());
    return path;
}

// What a run on a terminal printed: stdout and stderr both on one
// pseudo-terminal, as a user sees them.
struct TerminalRun {
    int exitCode = -1;
    QByteArray screen;
};

TerminalRun RunOnTerminal(const QStringList& arguments)
{
    TerminalRun run;
    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_col = 200;
    size.ws_row = 50;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    const QByteArray program = kCli.toLocal8Bit();
    std::vector<QByteArray> storage{program};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    if (spawned != 0) {
        ::close(master);
        ADD_FAILURE() << "cannot start tolvane-cli: " << std::strerror(spawned);
        return run;
    }
    // Until the child's end closes the terminal (EIO on Linux).
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0)
            run.screen.append(buffer, got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The folders the manifest's lines name.
int ManifestFolderCount(const QString& outputFolder)
{
    QSet<QString> folders;
    for (const QJsonObject& line : ManifestLines(outputFolder)) {
        if (line.contains(QStringLiteral("folder")))
            folders.insert(line.value(QStringLiteral("folder")).toString());
    }
    return folders.size();
}

struct DrawnPosition {
    int percent;
    qint64 done;
    qint64 total;
};

// Every conversion position drawn on the line, in order.
std::vector<DrawnPosition> DrawnPositions(const QByteArray& screen)
{
    static const QRegularExpression position(QStringLiteral(R"(^\s*(\d+)%  (\d+)/(\d+) items)"));
    std::vector<DrawnPosition> drawn;
    for (const QByteArray& piece : screen.split('\r')) {
        const auto match = position.match(QString::fromUtf8(piece));
        if (match.hasMatch())
            drawn.push_back({match.captured(1).toInt(), match.captured(2).toLongLong(), match.captured(3).toLongLong()});
    }
    return drawn;
}

TEST(CommandLine, ProgressOnATerminalCountsUpToAllItems)
{
    QTemporaryDir dir;
    const QString mailbox = WriteMailbox(dir, 300);
    const TerminalRun run = RunOnTerminal({QStringLiteral("convert"), mailbox, dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.screen.toStdString();
    EXPECT_TRUE(run.screen.contains("Scanning ")) << "the scan shows its own progress";
    const std::vector<DrawnPosition> drawn = DrawnPositions(run.screen);
    ASSERT_GE(drawn.size(), 2u) << run.screen.toStdString();
    for (std::size_t i = 1; i < drawn.size(); ++i) {
        EXPECT_GE(drawn[i].done, drawn[i - 1].done) << "drawn " << i;
        EXPECT_GE(drawn[i].percent, drawn[i - 1].percent) << "drawn " << i;
    }
    // 300 mails and the contact: the last position drawn says all of them.
    EXPECT_EQ(drawn.back().percent, 100);
    EXPECT_EQ(drawn.back().done, drawn.back().total);
    EXPECT_EQ(drawn.back().done, 301);
    // The ending starts on a line of its own, after the last position.
    EXPECT_TRUE(run.screen.contains("\r\n300 mails saved\r\n")) << run.screen.toStdString();
}

TEST(CommandLine, EndingListsWhatIsNotZeroInWordsAndJsonMatchesTheManifest)
{
    QTemporaryDir dir;
    const QString mailbox = WriteMailbox(dir, 4);
    const QString plainDestination = dir.filePath(QStringLiteral("plain"));
    QDir().mkpath(plainDestination);
    const CliRun plain = RunCli({QStringLiteral("convert"), mailbox, plainDestination});
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    const QString plainOutput = OutputFolderIn(plainDestination);
    const int folders = ManifestFolderCount(plainOutput);
    EXPECT_FALSE(plain.err.contains(u'\r')) << "no progress when the output is not a terminal";

    const QString jsonDestination = dir.filePath(QStringLiteral("json"));
    QDir().mkpath(jsonDestination);
    const CliRun json = RunCli({QStringLiteral("convert"), QStringLiteral("--json"), mailbox, jsonDestination});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    EXPECT_EQ(json.out.count(u'\n'), 1) << "one object on one line";
    const QString outputFolder = OutputFolderIn(jsonDestination);
    EXPECT_EQ(object.value("outputFolder").toString(), outputFolder);
    EXPECT_EQ(object.value("ended").toString(), QStringLiteral("complete"));
    EXPECT_EQ(object.value("exitStatus").toInt(-1), 0);
    EXPECT_TRUE(object.value("problems").toArray().isEmpty());
    const QJsonObject counts = object.value("counts").toObject();
    const QJsonObject written =
        ManifestLines(outputFolder).last().value("summary").toObject().value("written").toObject();
    const struct {
        const char* kind;  // in the manifest
        std::vector<const char*> counts;  // in --json, added up
    } kinds[] = {
        {"mail", {"mailSaved", "mailIncomplete"}},
        {"contact", {"contactsSaved", "contactsIncomplete"}},
        {"distribution list", {"distributionListsSaved"}},
        {"appointment", {"appointmentsSaved"}},
    };
    for (const auto& kind : kinds) {
        int sum = 0;
        for (const char* count : kind.counts) {
            ASSERT_TRUE(counts.contains(count)) << count;
            sum += counts.value(count).toInt();
        }
        EXPECT_EQ(sum, written.value(kind.kind).toInt(0)) << kind.kind;
    }
    EXPECT_EQ(counts.value("mailSaved").toInt(), 4);
    // The plain ending says the same, the zeros left out.
    EXPECT_EQ(plain.out, QStringLiteral("%1 folders\n4 mails saved\n1 contact saved\nOutput folder: %2\n")
                             .arg(counts.value("folders").toInt())
                             .arg(plainOutput));
    EXPECT_GE(counts.value("folders").toInt(), folders);
}

TEST(CommandLine, QuietPrintsNothingAndDryRunWritesNothing)
{
    QTemporaryDir dir;
    const QString mailbox = WriteMailbox(dir, 4);
    const CliRun quiet = RunCli({QStringLiteral("convert"), QStringLiteral("-q"), mailbox, dir.path()});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, QString());
    EXPECT_EQ(quiet.err, QString());
    EXPECT_EQ(ManifestLines(OutputFolderIn(dir.path())).size(), 7) << "the input, four mails, the contact, the summary";

    QTemporaryDir empty;
    const CliRun dry = RunCli({QStringLiteral("convert"), QStringLiteral("--dry-run"), QStringLiteral("--output-name"),
                               QStringLiteral("planned"), mailbox, empty.path()});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_TRUE(QDir(empty.path()).isEmpty()) << "nothing written";
    EXPECT_TRUE(dry.out.contains(QStringLiteral("into a new folder %1/planned (eml):").arg(empty.path())))
        << dry.out.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("  Top of Personal Folders/Inbox: 2\n"))) << dry.out.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("  Top of Personal Folders/Inbox/Archive: 2\n")))
        << dry.out.toStdString();
    EXPECT_TRUE(dry.out.contains(QStringLiteral("  Top of Personal Folders/Contacts: 1\n"))) << dry.out.toStdString();

    const CliRun named = RunCli({QStringLiteral("convert"), QStringLiteral("--output-name=archive"),
                                 QStringLiteral("--jobs"), QStringLiteral("1"), mailbox, empty.path()});
    EXPECT_EQ(named.exitCode, 0) << named.err.toStdString();
    EXPECT_TRUE(QFileInfo(empty.filePath(QStringLiteral("archive/manifest.jsonl"))).isFile());
}

TEST(CommandLine, ConventionsAndUsageErrors)
{
    QTemporaryDir dir;
    const struct {
        QStringList arguments;
        int exitCode;
        const char* printed;  // on stdout for status 0, on stderr otherwise
    } cases[] = {
        {{"-V"}, 0, "tolvane-cli "},
        {{"--version"}, 0, "tolvane-cli "},
        {{"help", "convert"}, 0, "Usage: tolvane-cli convert"},
        {{"help", "verify"}, 0, "Usage: tolvane-cli verify"},
        {{"help", "frobnicate"}, 2, "no help on frobnicate"},
        {{"convert", "--jobs", "0", "a.pst", "dest"}, 2, "--jobs takes a number of threads from 1 to 64, not 0"},
        {{"convert", "--jobs=many", "a.pst", "dest"}, 2, "--jobs takes a number"},
        {{"convert", "--output-name", "a/b", "a.pst", "dest"}, 2, "--output-name takes a folder name"},
        {{"convert", "--output-name", "x", "a.pst", "b.pst", "dest"}, 2, "--output-name names the folder of one"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        const QString& printed = c.exitCode == 0 ? run.out : run.err;
        EXPECT_TRUE(printed.contains(QLatin1String(c.printed))) << printed.toStdString();
    }
}

TEST(CommandLine, ErrorsNameTheFileTheyAreAbout)
{
    QTemporaryDir dir;
    const QString mailbox = WriteMailbox(dir, 2);
    QFile text(dir.filePath(QStringLiteral("notes.pst")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a mailbox\n");
    text.close();
    QFile whole(mailbox);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    QFile cut(dir.filePath(QStringLiteral("cut.pst")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    // Cut inside the first pages: what the walk needs is gone.
    constexpr qsizetype kCutAt = 2048;
    cut.write(bytes.left(kCutAt));
    cut.close();
    const QString missing = dir.filePath(QStringLiteral("no-such-folder"));

    const CliRun destination = RunCli({QStringLiteral("convert"), mailbox, missing});
    EXPECT_EQ(destination.exitCode, 2);
    EXPECT_EQ(destination.err, QStringLiteral("tolvane-cli: %1: destination folder does not exist\n").arg(missing));

    // Several files: each failure says which file it is.
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    const CliRun several = RunCli({QStringLiteral("convert"), text.fileName(), cut.fileName(), mailbox, out});
    EXPECT_TRUE(several.exitCode == 1 || several.exitCode == 3) << several.exitCode << several.err.toStdString();
    EXPECT_TRUE(several.err.contains(
        QStringLiteral("tolvane-cli: %1: not a PST file (it does not start with the PST signature)\n")
            .arg(text.fileName())))
        << several.err.toStdString();
    EXPECT_TRUE(several.err.contains(QStringLiteral("tolvane-cli: %1: truncated at byte %2 (its header says it has "
                                                    "%3 bytes)\n")
                                         .arg(cut.fileName())
                                         .arg(kCutAt)
                                         .arg(bytes.size())))
        << several.err.toStdString();
    EXPECT_FALSE(several.err.contains(QLatin1String("proess"))) << "the window's notice is the window's";
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/mailbox/manifest.jsonl")).isFile()) << "the good one was converted";

    // With --json every file given gets its object, in order; one that is
    // not converted says why.
    const QString jsonOut = dir.filePath(QStringLiteral("json-out"));
    QDir().mkpath(jsonOut);
    const QString absent = dir.filePath(QStringLiteral("absent.pst"));
    const struct {
        QString file;
        const char* ended;  // nullptr: either way a damaged file may end
        const char* error;  // part of "error"; nullptr: converted, no error
    } expected[] = {
        {text.fileName(), "unreadable", "not a PST file (it does not start with the PST signature)"},
        {cut.fileName(), nullptr, "truncated at byte"},
        {absent, "unreadable", "No such file or directory"},
        {mailbox, "complete", nullptr},
    };
    QStringList files;
    for (const auto& file : expected)
        files << file.file;
    const CliRun json = RunCli(QStringList{QStringLiteral("convert"), QStringLiteral("--json")} + files
                               + QStringList{jsonOut});
    EXPECT_TRUE(json.exitCode == 1 || json.exitCode == 3) << json.exitCode << json.err.toStdString();
    const QStringList lines = json.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), std::size(expected)) << json.out.toStdString();
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].file.toStdString());
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(lines.at(i).toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines.at(i).toStdString();
        EXPECT_EQ(object.value("file").toString(), expected[i].file);
        if (expected[i].ended != nullptr) {
            EXPECT_EQ(object.value("ended").toString(), QLatin1String(expected[i].ended));
        }
        if (expected[i].error == nullptr) {
            EXPECT_EQ(object.value("exitStatus").toInt(-1), 0);
            EXPECT_FALSE(object.contains("error"));
        } else {
            EXPECT_TRUE(object.value("outputFolder").isNull());
            EXPECT_NE(object.value("exitStatus").toInt(0), 0);
            EXPECT_TRUE(object.value("error").toString().contains(QLatin1String(expected[i].error)))
                << lines.at(i).toStdString();
        }
    }
}

}  // namespace
}  // namespace tolvane
