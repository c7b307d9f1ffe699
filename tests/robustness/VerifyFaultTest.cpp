// Faults planted in a converted output folder for tolvane-cli verify to find:
// forged mail in an mbox, a manifest cut short or saying the run stopped,
// links, FIFOs and devices where files and folders were written, a manifest
// line too long to hold, and paths deeper than PATH_MAX. Each case converts
// the base mailbox with tolvane-cli, plants its fault and checks verify's
// exit status and the lines it prints.
#include "tests/robustness/Fixtures.h"

#include "convert/output/Manifest.h"
#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputTree.h"
#include "convert/output/OutputVerifier.h"
#include "base/DirStream.h"
#include "base/NativePath.h"
#include "base/UniqueFd.h"
#include "tests/support/CliRun.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

using testing::CliRun;
using testing::RunCli;

// Longer than any verify run takes; only there so a verify that hangs (on a
// FIFO, on a device) fails the case instead of holding up the suite.
constexpr int kHangGuardMilliseconds = 120000;

// Removes everything below `directoryFd` through descriptors: the deep
// cases make paths no full path can name.
void RemoveBelow(int directoryFd)
{
    std::vector<QByteArray> names;
    {
        const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
        DirStream stream(copy >= 0 ? ::fdopendir(copy) : nullptr);
        if (!stream)
            return;
        while (const dirent* entry = ::readdir(stream.get())) {
            if (QByteArray(entry->d_name) != "." && QByteArray(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        }
    }
    for (const QByteArray& name : names) {
        struct stat info {};
        if (::fstatat(directoryFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
            const UniqueFd child(::openat(directoryFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
            if (child)
                RemoveBelow(child.get());
            ::unlinkat(directoryFd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(directoryFd, name.constData(), 0);
        }
    }
}

// One converted output folder, and the changes the cases make to it.
class Converted {
public:
    Converted()
    {
        QDir(scratch_.path()).mkpath(QStringLiteral("destination"));
        QDir(scratch_.path()).mkpath(QStringLiteral("elsewhere"));
    }
    ~Converted()
    {
        const UniqueFd root(::open(NativePath(scratch_.path()).constData(), O_RDONLY | O_DIRECTORY));
        if (root)
            RemoveBelow(root.get());
    }
    Converted(const Converted&) = delete;
    Converted& operator=(const Converted&) = delete;

    // Converts the base mailbox; false (with the reason in `failure`) when it does not convert cleanly.
    bool Convert(const char* format, QString* failure)
    {
        const QString input = scratch_.filePath(QStringLiteral("base.pst"));
        WriteBaseMailbox(input);
        const QString destination = scratch_.filePath(QStringLiteral("destination"));
        const CliRun run = RunCli({"convert", "--format", QString::fromLatin1(format), input, destination});
        const QStringList made = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (run.exitCode != 0 || made.size() != 1) {
            *failure = QStringLiteral("status %1, folders made: %2\n%3").arg(run.exitCode).arg(made.join(u' '), run.err);
            return false;
        }
        output_ = destination + u'/' + made.first();
        return true;
    }

    const QString& output() const { return output_; }
    QString elsewhere() const { return scratch_.filePath(QStringLiteral("elsewhere")); }
    QString manifestPath() const { return output_ + QStringLiteral("/manifest.jsonl"); }

    QList<QByteArray> ManifestLines() const
    {
        QList<QByteArray> lines = ReadAll(manifestPath()).split('\n');
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    bool WriteManifest(const QList<QByteArray>& lines) const
    {
        return WriteAll(manifestPath(), lines.join('\n') + '\n');
    }
    // The first listed path of a line that `wanted` accepts.
    QString FirstPath(const std::function<bool(const QJsonObject&)>& wanted) const
    {
        for (const QByteArray& line : ManifestLines()) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!object.value(QStringLiteral("path")).toString().isEmpty() && wanted(object))
                return object.value(QStringLiteral("path")).toString();
        }
        return QString();
    }
    QString FirstMail() const
    {
        return FirstPath([](const QJsonObject& line) { return line.value(QStringLiteral("kind")) == "mail"; });
    }
    QString FirstMbox() const
    {
        return FirstPath([](const QJsonObject& line) { return line.contains(QStringLiteral("offset")); });
    }
    // Changes the summary line (the last one).
    bool EditSummary(const std::function<void(QJsonObject&)>& edit) const
    {
        QList<QByteArray> lines = ManifestLines();
        QJsonObject summary = QJsonDocument::fromJson(lines.last()).object().value(QStringLiteral("summary")).toObject();
        if (summary.isEmpty())
            return false;
        edit(summary);
        lines.last() = QJsonDocument(QJsonObject{{QStringLiteral("summary"), summary}}).toJson(QJsonDocument::Compact);
        return WriteManifest(lines);
    }
    // A mail line for `path` just before the summary, counted in it, as a
    // conversion that wrote `listedBytes` there would have put it.
    bool ListMail(const QString& path, const QByteArray& listedBytes) const
    {
        QList<QByteArray> lines = ManifestLines();
        const QJsonObject line{{QStringLiteral("kind"), QStringLiteral("mail")},
                               {QStringLiteral("path"), path},
                               {QStringLiteral("size"), listedBytes.size()},
                               {QStringLiteral("sha256"), QString::fromLatin1(QCryptographicHash::hash(
                                                              listedBytes, QCryptographicHash::Sha256).toHex())}};
        lines.insert(lines.size() - 1, QJsonDocument(line).toJson(QJsonDocument::Compact));
        return WriteManifest(lines) && EditSummary([](QJsonObject& summary) {
                   QJsonObject written = summary.value(QStringLiteral("written")).toObject();
                   written.insert(QStringLiteral("mail"), written.value(QStringLiteral("mail")).toInt() + 1);
                   summary.insert(QStringLiteral("written"), written);
               });
    }
    // A file `levels` folders of 100 characters deep, made by descriptors
    // (its path is longer than PATH_MAX); its path relative to the output folder.
    QString MakeDeepFile(int levels, const QByteArray& bytes) const
    {
        UniqueFd directory(::open(NativePath(output_).constData(), O_RDONLY | O_DIRECTORY));
        QStringList names;
        for (int level = 0; level < levels && directory; ++level) {
            const QByteArray name = QByteArray::number(level).rightJustified(3, '0') + QByteArray(97, 'd');
            ::mkdirat(directory.get(), name.constData(), 0700);
            directory = UniqueFd(::openat(directory.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
            names << QString::fromLatin1(name);
        }
        const UniqueFd file(::openat(directory.get(), "deep.eml", O_WRONLY | O_CREAT | O_EXCL, 0600));
        if (!file || ::write(file.get(), bytes.constData(), bytes.size()) != bytes.size())
            return QString();
        return names.join(u'/') + QStringLiteral("/deep.eml");
    }

private:
    QTemporaryDir scratch_;
    QString output_;
};

bool MakeLink(const QString& target, const QString& link)
{
    return ::symlink(NativePath(target).constData(), NativePath(link).constData()) == 0;
}

bool Append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

const QByteArray kForgedMessage =
    "From forger@example.com Thu Jan  1 00:00:00 1970\nFrom: forger@example.com\nSubject: forged\n\nforged\n\n";

// A line verify must print, whole.
QString Line(const QString& text)
{
    return u'^' + QRegularExpression::escape(text) + u'$';
}

const QString kAllMatch = QStringLiteral("^Missing: 0\\nChanged: 0\\nExtra: 0$");

// What a case planted, and the lines (patterns) verify must print for it.
struct Planted {
    bool ok = false;
    QStringList lines;
};

struct VerifyFault {
    const char* name;
    const char* format;
    std::function<Planted(const Converted&)> plant;
    int exitStatus;
};

const VerifyFault kVerifyFaults[] = {
    {"ForgedMessageAppendedToAnMbox", "mbox",
     [](const Converted& c) {
         const QString mbox = c.FirstMbox();
         return Planted{!mbox.isEmpty() && Append(c.output() + u'/' + mbox, kForgedMessage),
                        {QStringLiteral("^changed( \\([^\\n]*\\))?: ") + QRegularExpression::escape(mbox) + u'$',
                         Line("Changed: 1")}};
     },
     4},
    {"ForgedMessageAppendedToAnMboxOfAManifestWithoutWholeFileLines", "mbox",
     [](const Converted& c) {
         QList<QByteArray> lines = c.ManifestLines();
         lines.removeIf([](const QByteArray& line) { return line.startsWith("{\"file\":"); });
         const QString mbox = c.FirstMbox();
         return Planted{c.WriteManifest(lines) && Append(c.output() + u'/' + mbox, kForgedMessage),
                        {Line("changed (no whole-file line, and its messages do not cover it): " + mbox)}};
     },
     4},
    {"IntactMboxOfAManifestWithoutWholeFileLines", "mbox",
     [](const Converted& c) {
         QList<QByteArray> lines = c.ManifestLines();
         lines.removeIf([](const QByteArray& line) { return line.startsWith("{\"file\":"); });
         // The runs that wrote such manifests made no file for a folder without mail.
         for (QDirIterator it(c.output() + "/mbox", QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
             const QString path = it.next();
             if (QFileInfo(path).size() == 0)
                 QFile::remove(path);
         }
         return Planted{c.WriteManifest(lines), {kAllMatch}};
     },
     0},
    {"SummaryLineRemoved", "eml",
     [](const Converted& c) {
         QList<QByteArray> lines = c.ManifestLines();
         lines.removeLast();
         return Planted{c.WriteManifest(lines),
                        {Line("Incomplete: the manifest has no summary; the conversion did not finish"), kAllMatch}};
     },
     4},
    {"SummarySaysTheRunStopped", "eml",
     [](const Converted& c) {
         return Planted{c.EditSummary([](QJsonObject& summary) {
                            summary.insert(QStringLiteral("stopped"), QStringLiteral("out of memory"));
                        }),
                        {Line("Incomplete: the conversion stopped early (out of memory); what it did not write is "
                              "not listed"),
                         kAllMatch}};
     },
     4},
    {"InputLineNotFirst", "eml",
     [](const Converted& c) {
         // Only the first line may name the mailbox: anywhere else it is a line of its own.
         QList<QByteArray> lines = c.ManifestLines();
         lines.swapItemsAt(0, 1);
         return Planted{c.WriteManifest(lines),
                        {Line("Lines missing or added: the summary counts 0  written and 0 not written, the "
                              "manifest lists 1 and 0"),
                         kAllMatch}};
     },
     4},
    {"MailLineAndItsFileRemoved", "eml",
     [](const Converted& c) {
         const QString mail = c.FirstMail();
         QList<QByteArray> lines = c.ManifestLines();
         lines.removeIf([&](const QByteArray& line) {
             return QJsonDocument::fromJson(line).object().value(QStringLiteral("path")).toString() == mail;
         });
         return Planted{c.WriteManifest(lines) && QFile::remove(c.output() + u'/' + mail),
                        {Line(QStringLiteral("Lines missing or added: the summary counts %1 mail written and 0 not "
                                             "written, the manifest lists %2 and 0")
                                  .arg(kBaseMailCount)
                                  .arg(kBaseMailCount - 1)),
                         kAllMatch}};
     },
     4},
    {"OutputFolderIsALinkToACopy", "eml",
     [](const Converted& c) {
         const QString copy = c.elsewhere() + QStringLiteral("/copy");
         return Planted{QDir().rename(c.output(), copy) && MakeLink(copy, c.output()),
                        {Line("Not checked: " + c.output()
                              + " is a symbolic link; verify checks the output folder itself, never a link to one")}};
     },
     4},
    {"MailboxFolderIsALinkToACopy", "eml",
     [](const Converted& c) {
         const QString mail = c.FirstMail();
         const QString folder = mail.section(u'/', 0, -2);
         const QString copy = c.elsewhere() + QStringLiteral("/folder-copy");
         return Planted{QDir().rename(c.output() + u'/' + folder, copy) && MakeLink(copy, c.output() + u'/' + folder),
                        {Line("changed (a folder on its path is a symbolic link or no folder): " + mail),
                         Line("extra (a symbolic link): " + folder)}};
     },
     4},
    {"LinkToEtcPlantedAndListed", "eml",
     [](const Converted& c) {
         return Planted{MakeLink(QStringLiteral("/etc"), c.output() + QStringLiteral("/etclink"))
                            && c.ListMail(QStringLiteral("etclink/passwd"), "root:x:0:0::/root:/bin/sh\n"),
                        {Line("changed (a folder on its path is a symbolic link or no folder): etclink/passwd"),
                         Line("extra (a symbolic link): etclink"), Line("Changed: 1"), Line("Extra: 1")}};
     },
     4},
    {"FifoInPlaceOfAListedFile", "eml",
     [](const Converted& c) {
         const QString mail = c.FirstMail();
         const QByteArray path = NativePath(c.output() + u'/' + mail);
         return Planted{::unlink(path.constData()) == 0 && ::mkfifo(path.constData(), 0600) == 0,
                        {Line("changed (a FIFO, not a regular file): " + mail)}};
     },
     4},
    {"LinkedDirectoryLeadingToDev", "eml",
     [](const Converted& c) {
         return Planted{MakeLink(QStringLiteral("/dev"), c.output() + QStringLiteral("/devlink"))
                            && c.ListMail(QStringLiteral("devlink/zero"), QByteArray(4096, '\0')),
                        {Line("changed (a folder on its path is a symbolic link or no folder): devlink/zero"),
                         Line("extra (a symbolic link): devlink")}};
     },
     4},
    {"ListedFileIsALinkToDevZero", "eml",
     [](const Converted& c) {
         const QString mail = c.FirstMail();
         return Planted{QFile::remove(c.output() + u'/' + mail)
                            && MakeLink(QStringLiteral("/dev/zero"), c.output() + u'/' + mail),
                        {Line("changed (a symbolic link, not a regular file): " + mail)}};
     },
     4},
    {"ManifestIsALinkToACopy", "eml",
     [](const Converted& c) {
         const QString copy = c.elsewhere() + QStringLiteral("/manifest.jsonl");
         return Planted{QFile::rename(c.manifestPath(), copy) && MakeLink(copy, c.manifestPath()),
                        {Line("tolvane-cli verify: manifest.jsonl in " + c.output() + " is not a regular file")}};
     },
     1},
    {"ManifestLineLongerThanOneMebibyte", "eml",
     [](const Converted& c) {
         QList<QByteArray> lines = c.ManifestLines();
         lines.insert(1, "{\"kind\":\"note\",\"subject\":\"" + QByteArray(2 * 1024 * 1024, 'x') + "\"}");
         return Planted{c.WriteManifest(lines),
                        {Line("tolvane-cli verify: line 2 of the manifest is longer than 1048576 bytes")}};
     },
     1},
    {"ListedFilePastPathMax", "eml",
     [](const Converted& c) {
         const QByteArray bytes = "Subject: deep\r\n\r\ndown here\r\n";
         const QString deep = c.MakeDeepFile(60, bytes);
         return Planted{deep.size() > PATH_MAX && c.ListMail(deep, bytes), {kAllMatch}};
     },
     0},
    {"ChangedFilePastPathMax", "eml",
     [](const Converted& c) {
         const QString deep = c.MakeDeepFile(60, "Subject: deep\r\n\r\nforged\r\n");
         return Planted{deep.size() > PATH_MAX && c.ListMail(deep, "Subject: deep\r\n\r\ndown here\r\n"),
                        {Line("changed: " + deep)}};
     },
     4},
    {"UnlistedFilePastPathMax", "eml",
     [](const Converted& c) {
         const QString deep = c.MakeDeepFile(60, "Subject: deep\r\n\r\nnot listed\r\n");
         return Planted{deep.size() > PATH_MAX, {Line("extra: " + deep)}};
     },
     4},
};

void PrintTo(const VerifyFault& row, std::ostream* out)
{
    *out << row.name;
}

class VerifyFaultTest : public ::testing::TestWithParam<VerifyFault> {};

TEST_P(VerifyFaultTest, VerifyNamesTheFaultAndFails)
{
    if (::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0)
        GTEST_SKIP() << "tolvane-cli is not built";
    const VerifyFault& row = GetParam();
    Converted converted;
    QString failure;
    ASSERT_TRUE(converted.Convert(row.format, &failure)) << qPrintable(failure);
    const CliRun before = RunCli({"verify", converted.output()}, kHangGuardMilliseconds);
    ASSERT_EQ(before.exitCode, 0) << qPrintable(before.out + before.err);

    const Planted planted = row.plant(converted);
    ASSERT_TRUE(planted.ok);
    const CliRun run = RunCli({"verify", converted.output()}, kHangGuardMilliseconds);
    ASSERT_FALSE(run.crashed) << "verify did not end by itself";
    const QString printed = run.out + run.err;
    EXPECT_EQ(run.exitCode, row.exitStatus) << qPrintable(printed);
    for (const QString& line : planted.lines) {
        EXPECT_TRUE(QRegularExpression(line, QRegularExpression::MultilineOption).match(printed).hasMatch())
            << "expected a line matching " << qPrintable(line) << " in:\n" << qPrintable(printed.left(4000));
    }
    // Nothing behind a planted link was walked into.
    EXPECT_FALSE(QRegularExpression(QStringLiteral("^extra[^\\n]*link/"), QRegularExpression::MultilineOption)
                     .match(printed)
                     .hasMatch())
        << qPrintable(printed.left(4000));
}

INSTANTIATE_TEST_SUITE_P(Faults, VerifyFaultTest, ::testing::ValuesIn(kVerifyFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// What the manifest writer records for a file several messages share and for
// a run that stopped, read back by the check: the whole-file line catches
// bytes added after the last message even though every message still matches.
struct SharedFileCase {
    const char* name;
    QByteArray addedAfterwards;
    std::vector<VerifyFinding::Fault> findings;
};

class SharedFileTest : public ::testing::TestWithParam<SharedFileCase> {};

TEST_P(SharedFileTest, WholeFileLineAndStoppedSummaryReachVerify)
{
    QTemporaryDir destination;
    auto created = OutputTree::Create(destination.path(), QStringLiteral("out"));
    ASSERT_TRUE(created) << qPrintable(created.error().reason);
    OutputTree& tree = **created;
    ManifestWriter manifest;
    const WriteStep opened = manifest.Open(tree, ManifestHeader{});
    ASSERT_TRUE(opened) << qPrintable(opened.error().reason);
    const auto growing = tree.CreateGrowingFile(
        QString(), [](int attempt) { return attempt == 1 ? QStringLiteral("Inbox.mbox") : QString(); });
    ASSERT_TRUE(growing) << qPrintable(growing.error().reason);
    const UniqueFd& shared = growing->fd;
    const QString& path = growing->path;
    const QList<QByteArray> messages = {"From a\nfirst\n\n", "From b\nsecond\n\n"};
    qint64 offset = 0;
    for (const QByteArray& message : messages) {
        const WriteStep written = WriteAllTo(shared.get(), message.constData(), message.size());
        ASSERT_TRUE(written) << qPrintable(written.error().reason);
        ManifestEntry entry;
        entry.kind = QStringLiteral("mail");
        entry.offset = offset;
        entry.size = message.size();
        entry.sha256 = DigestOf(message).sha256;
        manifest.Add(std::move(entry), path);
        offset += message.size();
    }
    const FileDigest whole = DigestOf(messages.join());
    manifest.AddWholeFile(path, whole);
    manifest.MarkStopped(QStringLiteral("a write failed: No space left on device"));
    manifest.Finish();
    ASSERT_TRUE(manifest.failure().isEmpty()) << qPrintable(manifest.failure());
    const QList<QByteArray> lines = ReadAll(tree.rootPath() + QStringLiteral("/manifest.jsonl")).split('\n');
    EXPECT_TRUE(lines.contains("{\"file\":\"Inbox.mbox\",\"sha256\":\"" + whole.sha256 + "\",\"size\":"
                               + QByteArray::number(whole.size) + "}"))
        << lines.join('\n').constData();

    ASSERT_TRUE(Append(path, GetParam().addedAfterwards));
    const VerifyReport report = VerifyOutput(tree.rootPath());
    EXPECT_EQ(report.standing, VerifyReport::Standing::Stopped);
    EXPECT_EQ(report.detail, QStringLiteral("a write failed: No space left on device"));
    EXPECT_EQ(report.checked, 2);
    std::vector<VerifyFinding::Fault> found;
    for (const VerifyFinding& finding : report.findings) {
        EXPECT_EQ(finding.path, QStringLiteral("Inbox.mbox"));
        found.push_back(finding.fault);
    }
    EXPECT_EQ(found, GetParam().findings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedFileTest,
    ::testing::Values(SharedFileCase{"Intact", QByteArray(), {}},
                      SharedFileCase{"MessageAddedAfterTheLast", "From c\nforged\n\n", {VerifyFinding::Fault::Changed}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::robustness
