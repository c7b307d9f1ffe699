// tolvane-cli convert --resume: a conversion killed outright at a known item
// and resumed in its folder ends as a run from the start would (the same
// files, names and bytes, the same manifest lines and counts) and passes
// verify; the files written before the kill are kept, not written again; a
// file damaged or planted after the kill is replaced or removed; a folder of
// another mailbox, another format, or without a manifest is refused and left
// as it was.
#include "tests/robustness/ChildProcess.h"
#include "tests/robustness/Fixtures.h"

#include "convert/KeptMailDecisions.h"
#include "convert/output/Manifest.h"
#include "convert/output/OutputTree.h"
#include "convert/output/ResumePlan.h"
#include "convert/output/Sha256.h"
#include "base/NativePath.h"
#include "tests/support/CliRun.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
#include <functional>
#include <map>
#include <ostream>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

using testing::CliRun;
using testing::RunCli;
namespace pw = tolvane::pstwriter;

// Three folders of mail (two of its messages with one subject) and a few
// contacts, which are written after all the mail. Some mail has categories
// or was forwarded, early and late in its folder: a Maildir folder's keyword
// letters are given before the kill and after it.
constexpr int kMailCount = 32;

// The mail folders' names, as UTF-8.
struct MailFolderNames {
    const char* inbox;
    const char* sent;
    const char* archive;
    const char* year;  // below the archive
};
const MailFolderNames kPlainNames{"Inbox", "Sent Items", "Archive", "2020"};
// Names a text decoder would change or a file manager take for one another:
// a byte-order mark first (where a UTF-8 decoder drops it), one accent
// decomposed and precomposed in two sibling folders, a zero-width space first.
const MailFolderNames kLookalikeNames{"\xEF\xBB\xBFInbox", "Cafe\xCC\x81", "Caf\xC3\xA9", "\xE2\x80\x8B" "2020"};

// `invoice` is the subject of the sixth message of the Inbox; `padding`
// puts a large attachment on the Inbox's first message and on the last
// folder's last, so that the Inbox lies between the two mebibytes at the
// file's ends that identify it.
void WriteResumeMailbox(const QString& path, const std::string& flavour = "first",
                        const MailFolderNames& names = kPlainNames, const std::string& invoice = std::string(),
                        std::size_t padding = 0)
{
    pw::PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder(names.inbox);
    const uint32_t lastVerb = (0x1081u << 16) | 0x0003;
    for (int i = 0; i < 14; ++i) {
        const std::string subject = i == 5 && !invoice.empty() ? invoice
                                    : i % 7 == 3                ? std::string("Same subject")
                                                                : flavour + " inbox message " + std::to_string(i);
        auto& message = inbox.addMessage()
            .subject(subject)
            .from("Ann Example", "ann@example.com")
            .to("Bob Example", "bob@example.com")
            .body("hello " + std::to_string(i))
            .attach("note" + std::to_string(i) + ".txt", pw::Bytes(2000 + i * 50, 'a'), "text/plain");
        if (i == 2 || i == 12)
            message.namedProperty(pw::propsets::PublicStrings, "Keywords",
                                  pw::PropertyValue::multipleUnicode(i == 2 ? std::vector<std::string>{"Blue"}
                                                                            : std::vector<std::string>{"Green", "blue"}));
        if (i == 12)
            message.property(lastVerb, int32_t(104));
        if (padding > 0 && i == 0)
            message.attach("padding.bin", pw::Bytes(padding, static_cast<char>('0' + i % 10)),
                           "application/octet-stream");
    }
    auto& sent = top.addFolder(names.sent);
    for (int i = 0; i < 10; ++i) {
        auto& message =
            sent.addMessage().subject(flavour + " sent message " + std::to_string(i)).to("Cy", "cy@example.com").body("x");
        if (i == 4)
            message.namedProperty(pw::propsets::PublicStrings, "Keywords", pw::PropertyValue::multipleUnicode({"Red"}));
    }
    auto& year = top.addFolder(names.archive).addFolder(names.year);
    for (int i = 0; i < 8; ++i) {
        auto& message = year.addMessage().subject(flavour + " archived " + std::to_string(i)).body(std::string(5000, 'z'));
        if (padding > 0 && i == 7)
            message.attach("padding.bin", pw::Bytes(padding, '7'), "application/octet-stream");
    }
    auto& contacts = top.addFolder("Contacts");
    contacts.addContact("Ada", "Lovelace");
    contacts.addContact("Alan", "Turing");
    pst.Write(path.toStdString());
}

// Every file of an output folder but the manifest, by path relative to it.
std::map<QString, QByteArray> TreeFiles(const QString& root)
{
    std::map<QString, QByteArray> files;
    for (const QString& path : FilesEndingIn(root, QString())) {
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative != QLatin1String("manifest.jsonl"))
            files[relative] = ReadAll(path);
    }
    return files;
}

// The manifest's lines, sorted: a resumed run lists the files it kept first.
QList<QByteArray> SortedManifestLines(const QString& root)
{
    QList<QByteArray> lines = ReadAll(root + QStringLiteral("/manifest.jsonl")).split('\n');
    lines.removeAll(QByteArray());
    std::sort(lines.begin(), lines.end());
    return lines;
}

QByteArray SummaryLine(const QString& root)
{
    const QByteArray text = ReadAll(root + QStringLiteral("/manifest.jsonl")).trimmed();
    return text.mid(text.lastIndexOf('\n') + 1);
}

// The files the manifest lists, relative to the folder.
QStringList ListedFiles(const QString& root)
{
    QStringList listed;
    for (const QByteArray& line : ReadAll(root + QStringLiteral("/manifest.jsonl")).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QStringLiteral("path")))
            listed << object.value(QStringLiteral("path")).toString();
    }
    return listed;
}

// Runs a conversion held before item `holdAt` and kills it outright there.
// The output folder it was writing; empty when it never got there.
QString KilledConversion(const QString& input, const QString& destination, const QString& format, int holdAt,
                         const QStringList& options = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QByteArray held = "held at convert:" + QByteArray::number(holdAt);
    environment.insert(QStringLiteral("TOLVANE_CLI_HOLD_AT"), QStringLiteral("convert:%1").arg(holdAt));
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    process.start(kCliPath, QStringList{QStringLiteral("convert"), QStringLiteral("--format"), format} + options
                                + QStringList{input, destination});
    QByteArray err;
    while (!err.contains(held) && process.waitForReadyRead(-1))
        err += process.readAllStandardError();
    if (!err.contains(held)) {
        ADD_FAILURE() << "the conversion ended before it was held: " << err.constData();
        return QString();
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished(-1);
    return OnlyOutputFolder(destination);
}

// What is done to the killed run's folder before it is resumed.
enum class Damage {
    None,
    CutShortFile,        // a listed mail file loses its second half
    ChangedFile,         // a listed mail file keeps its length, not its bytes
    PlantedFile,         // a file nobody listed (as one linked just before the kill)
    ManifestLineCut,     // the manifest ends in half a line
    LineNamesAnotherFile,  // a mail's line edited to name the next mail's file, its size and digest
    SummaryAppended,     // a summary of a whole run added after the lines of the killed one
};

struct ResumeCase {
    const char* name;
    const char* format;
    int holdAt;  // the item the killed run was held before
    Damage damage;
    const MailFolderNames* names = &kPlainNames;
};

const ResumeCase kResumeCases[] = {
    {"EmlMidMail", "eml", 12, Damage::None},
    {"EmlBeforeAnything", "eml", 1, Damage::None},
    {"EmlAfterAllMail", "eml", kMailCount + 1, Damage::None},
    {"EmlCutShortFile", "eml", 20, Damage::CutShortFile},
    {"EmlChangedFile", "eml", 20, Damage::ChangedFile},
    {"EmlPlantedFile", "eml", 9, Damage::PlantedFile},
    {"EmlManifestLineCut", "eml", 16, Damage::ManifestLineCut},
    {"EmlLineNamesAnotherFile", "eml", 14, Damage::LineNamesAnotherFile},
    {"EmlSummaryAppended", "eml", 14, Damage::SummaryAppended},
    {"MaildirLineNamesAnotherFile", "maildir", 14, Damage::LineNamesAnotherFile},
    {"MaildirMidMail", "maildir", 15, Damage::None},
    {"MaildirCutShortFile", "maildir", 15, Damage::CutShortFile},
    // Between a keyword letter given and the next: the folder's keyword file
    // the killed run left is continued.
    {"MaildirBetweenKeywords", "maildir", 10, Damage::None},
    // Nothing of an mbox folder is kept: its files are put in place after
    // the last mail, so the mail is written again, into the same names.
    {"MboxMidMail", "mbox", 12, Damage::None},
    {"MboxAfterAllMail", "mbox", kMailCount + 1, Damage::None},
    // The same for the local-folders tree, whose empty folders' files are
    // made at the end.
    {"MboxTreeMidMail", "mboxtree", 12, Damage::None},
    {"MboxTreeAfterAllMail", "mboxtree", kMailCount + 1, Damage::None},
    // Every name is read back from the folder as the bytes it was written in.
    {"EmlLookalikeNames", "eml", 20, Damage::None, &kLookalikeNames},
    {"MaildirLookalikeNames", "maildir", 15, Damage::None, &kLookalikeNames},
    {"MboxLookalikeNames", "mbox", 20, Damage::None, &kLookalikeNames},
    {"MboxTreeLookalikeNames", "mboxtree", 20, Damage::None, &kLookalikeNames},
};

void PrintTo(const ResumeCase& resumeCase, std::ostream* out)
{
    *out << resumeCase.name;
}

class ResumeTest : public ::testing::TestWithParam<ResumeCase> {};

TEST_P(ResumeTest, EndsAsARunFromTheStartAndKeepsWhatWasWritten)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    const ResumeCase& c = GetParam();
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input, "first", *c.names);
    const QString format = QString::fromLatin1(c.format);

    const QString wholeDestination = area.root() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(wholeDestination));
    const CliRun whole =
        RunCli({QStringLiteral("convert"), QStringLiteral("--format"), format, input, wholeDestination});
    ASSERT_EQ(whole.exitCode, 0) << qPrintable(whole.err);
    const QString wholeFolder = OnlyOutputFolder(wholeDestination);

    const QString killed = KilledConversion(input, area.destination(), format, c.holdAt);
    ASSERT_FALSE(killed.isEmpty());
    const QStringList listedBeforeResume = ListedFiles(killed);
    // Hard links beside the folder: a kept file still has its second name
    // afterwards, one written again does not.
    const QString links = area.root() + QStringLiteral("/links");
    ASSERT_TRUE(QDir().mkpath(links));
    QString damaged;
    // Mail of its own file only (an mbox file is still under another name
    // while the run goes on).
    const auto fileOfItsOwn = [](const QString& path) {
        return path.endsWith(QLatin1String(".eml")) || path.contains(QLatin1String("Maildir/"));
    };
    for (int i = 0; i < listedBeforeResume.size(); ++i) {
        if (fileOfItsOwn(listedBeforeResume[i])) {
            ASSERT_EQ(::link(QFile::encodeName(killed + u'/' + listedBeforeResume[i]).constData(),
                             QFile::encodeName(links + u'/' + QString::number(i)).constData()),
                      0);
        }
    }
    switch (c.damage) {
    case Damage::None:
        break;
    case Damage::CutShortFile:
    case Damage::ChangedFile: {
        ASSERT_GE(listedBeforeResume.size(), 3);
        damaged = listedBeforeResume[2];
        const QString path = killed + u'/' + damaged;
        QByteArray bytes = ReadAll(path);
        bytes = c.damage == Damage::CutShortFile ? bytes.left(bytes.size() / 2) : QByteArray(bytes.size(), 'x');
        // Through a new file: the link beside the folder keeps the old bytes.
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(WriteAll(path, bytes));
        break;
    }
    case Damage::PlantedFile:
        ASSERT_FALSE(listedBeforeResume.isEmpty());
        ASSERT_TRUE(WriteAll(QFileInfo(killed + u'/' + listedBeforeResume.first()).absolutePath()
                                 + QStringLiteral("/planted.eml"),
                             "From: x\r\n\r\n"));
        break;
    case Damage::ManifestLineCut: {
        QFile manifest(killed + QStringLiteral("/manifest.jsonl"));
        ASSERT_TRUE(manifest.open(QIODevice::Append));
        manifest.write("{\"kind\":\"mail\",\"folder\":\"Top of Pers");
        break;
    }
    case Damage::LineNamesAnotherFile: {
        QList<QByteArray> lines = ReadAll(killed + QStringLiteral("/manifest.jsonl")).split('\n');
        std::vector<qsizetype> mail;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (QJsonDocument::fromJson(lines[i]).object().value(QStringLiteral("kind")) == QLatin1String("mail"))
                mail.push_back(i);
        }
        ASSERT_GE(mail.size(), 2u);
        QJsonObject edited = QJsonDocument::fromJson(lines[mail[0]]).object();
        const QJsonObject next = QJsonDocument::fromJson(lines[mail[1]]).object();
        damaged = edited.value(QStringLiteral("path")).toString();
        for (const char* key : {"path", "size", "sha256"})
            edited.insert(QLatin1String(key), next.value(QLatin1String(key)));
        lines[mail[0]] = QJsonDocument(edited).toJson(QJsonDocument::Compact);
        ASSERT_TRUE(WriteAll(killed + QStringLiteral("/manifest.jsonl"), lines.join('\n')));
        break;
    }
    case Damage::SummaryAppended: {
        QFile manifest(killed + QStringLiteral("/manifest.jsonl"));
        ASSERT_TRUE(manifest.open(QIODevice::Append));
        manifest.write(R"({"summary":{"written":{"contact":2,"mail":32},"notWritten":{}}})" "\n");
        break;
    }
    }

    const CliRun resumed =
        RunCli({QStringLiteral("convert"), QStringLiteral("--format"), format, QStringLiteral("--resume"), killed,
                input});
    EXPECT_EQ(resumed.exitCode, 0) << qPrintable(resumed.err);

    // The same files with the same bytes under the same names, the same
    // manifest lines, and a summary that counts as a whole run's.
    const std::map<QString, QByteArray> expected = TreeFiles(wholeFolder);
    const std::map<QString, QByteArray> got = TreeFiles(killed);
    EXPECT_EQ(got.size(), expected.size());
    for (const auto& [path, bytes] : expected) {
        const auto found = got.find(path);
        if (found == got.end())
            ADD_FAILURE() << "missing after the resume: " << qPrintable(path);
        else
            EXPECT_TRUE(found->second == bytes) << "other bytes: " << qPrintable(path);
    }
    for (const auto& [path, bytes] : got)
        EXPECT_TRUE(expected.count(path) != 0) << "not written by a whole run: " << qPrintable(path);
    EXPECT_EQ(SortedManifestLines(killed), SortedManifestLines(wholeFolder));
    EXPECT_EQ(SummaryLine(killed), SummaryLine(wholeFolder));
    const CliRun verify = RunCli({QStringLiteral("verify"), killed});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);

    // Every mail file listed before the kill and left alone was kept; the
    // damaged one was written anew; contacts are always written again.
    for (int i = 0; i < listedBeforeResume.size(); ++i) {
        const QString& path = listedBeforeResume[i];
        if (!fileOfItsOwn(path))
            continue;
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(links + u'/' + QString::number(i)).constData(), &info), 0);
        EXPECT_EQ(info.st_nlink, path == damaged ? 1u : 2u) << qPrintable(path);
    }
}

INSTANTIATE_TEST_SUITE_P(Kills, ResumeTest, ::testing::ValuesIn(kResumeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Folders that cannot be resumed are refused and left as they are ---

struct RefusalCase {
    const char* name;
    // Makes the folder to resume below `area`; returns it.
    std::function<QString(const ScratchArea& area, const QString& input)> folder;
    QStringList options;         // before --resume
    const char* said;            // on stderr after "tolvane-cli: FOLDER: "
    int exitCode;
};

QString KilledEmlRun(const ScratchArea& area, const QString& input)
{
    return KilledConversion(input, area.destination(), QStringLiteral("eml"), 10);
}

const RefusalCase kRefusalCases[] = {
    {"AnotherMailbox",
     [](const ScratchArea& area, const QString&) {
         const QString other = area.input(QStringLiteral("other.pst"));
         WriteResumeMailbox(other, "second");
         return KilledConversion(other, area.destination(), QStringLiteral("eml"), 10);
     },
     {}, "was written from another mailbox", 2},
    {"NoManifest",
     [](const ScratchArea& area, const QString&) {
         const QString folder = area.destination() + QStringLiteral("/empty");
         QDir().mkpath(folder + QStringLiteral("/Top of Personal Folders"));
         WriteAll(folder + QStringLiteral("/Top of Personal Folders/a.eml"), "From: x\r\n\r\n");
         return folder;
     },
     {}, "holds no manifest.jsonl", 2},
    {"ManifestWithoutInput",
     [](const ScratchArea& area, const QString& input) {
         const QString folder = KilledEmlRun(area, input);
         QByteArray manifest = ReadAll(folder + QStringLiteral("/manifest.jsonl"));
         WriteAll(folder + QStringLiteral("/manifest.jsonl"), manifest.mid(manifest.indexOf('\n') + 1));
         return folder;
     },
     {}, "its manifest.jsonl does not say which mailbox it was written from", 2},
    {"AnotherFormat", KilledEmlRun, {QStringLiteral("--format"), QStringLiteral("maildir")},
     "holds the eml format; resume it with --format eml", 2},
    {"NotAFolder",
     [](const ScratchArea& area, const QString&) { return area.destination() + QStringLiteral("/nothing"); },
     {}, "not a folder", 2},
    // Asked for other folders, or without the search for deleted items, a
    // resumed run would leave a folder that is neither run's.
    {"OtherFolders", KilledEmlRun, {QStringLiteral("--folder"), QStringLiteral("Top of Personal Folders/Inbox")},
     "was converted with every folder and no other option, not with --folder \"Top of Personal Folders/Inbox\"; "
     "resume it with the same options",
     2},
    {"WithoutRecover",
     [](const ScratchArea& area, const QString& input) {
         return KilledConversion(input, area.destination(), QStringLiteral("eml"), 10, {QStringLiteral("--recover")});
     },
     {}, "was converted with --recover, not with every folder and no other option", 2},
    {"ChoicesNotRecorded",
     [](const ScratchArea& area, const QString& input) {
         const QString folder = KilledEmlRun(area, input);
         QByteArray manifest = ReadAll(folder + QStringLiteral("/manifest.jsonl"));
         const qsizetype end = manifest.indexOf('\n');
         QJsonObject header = QJsonDocument::fromJson(manifest.left(end)).object();
         header.remove(QStringLiteral("choices"));
         WriteAll(folder + QStringLiteral("/manifest.jsonl"),
                  QJsonDocument(header).toJson(QJsonDocument::Compact) + manifest.mid(end));
         return folder;
     },
     {}, "its manifest.jsonl does not say what the conversion was asked for", 2},
    // A file deeper than any conversion makes could be neither checked nor
    // removed: the resume would end in a folder verify rejects.
    {"TooDeep",
     [](const ScratchArea& area, const QString& input) {
         const QString folder = KilledEmlRun(area, input);
         QString deep = folder;
         for (int i = 0; i < 300; ++i)
             deep += QStringLiteral("/d");
         QDir().mkpath(deep);
         WriteAll(deep + QStringLiteral("/stray.eml"), "From: x\r\n\r\n");
         return folder;
     },
     {}, "holds folders nested deeper than a conversion makes them", 2},
};

void PrintTo(const RefusalCase& refusalCase, std::ostream* out)
{
    *out << refusalCase.name;
}

class ResumeRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ResumeRefusalTest, NamesWhatIsWrongAndTouchesNothing)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    const RefusalCase& c = GetParam();
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    const QString folder = c.folder(area, input);
    ASSERT_FALSE(folder.isEmpty());
    const TreeSnapshot before = SnapshotTree(area.root(), QString());

    const CliRun resumed =
        RunCli(QStringList{QStringLiteral("convert")} + c.options
               + QStringList{QStringLiteral("--resume"), folder, input});
    EXPECT_EQ(resumed.exitCode, c.exitCode) << qPrintable(resumed.err);
    EXPECT_TRUE(resumed.err.contains(QStringLiteral("tolvane-cli: %1: %2").arg(folder, QString::fromLatin1(c.said))))
        << qPrintable(resumed.err);
    EXPECT_TRUE(SnapshotTree(area.root(), QString()) == before);
}

INSTANTIATE_TEST_SUITE_P(Folders, ResumeRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder whose run finished has nothing to resume: it is left as it is.
TEST(ResumeFinishedTest, SaysThereIsNothingToResume)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    const CliRun whole = RunCli({QStringLiteral("convert"), input, area.destination()});
    ASSERT_EQ(whole.exitCode, 0) << qPrintable(whole.err);
    const QString folder = OnlyOutputFolder(area.destination());
    const TreeSnapshot before = SnapshotTree(area.root(), QString());
    const struct {
        QStringList options;
        int exitCode;
        std::function<bool(const CliRun&)> said;
    } cases[] = {
        {{}, 0, [](const CliRun& run) { return run.out.contains(QStringLiteral("nothing to resume")); }},
        {{QStringLiteral("--quiet")}, 0, [](const CliRun& run) { return run.out.isEmpty() && run.err.isEmpty(); }},
        {{QStringLiteral("--json")}, 0,
         [&folder](const CliRun& run) {
             const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
             return run.out.count(u'\n') == 1 && object.value(QStringLiteral("ended")) == QLatin1String("nothing-to-resume")
                    && object.value(QStringLiteral("outputFolder")).toString() == folder;
         }},
        // --output-name names a new folder, which a resume never makes.
        {{QStringLiteral("--output-name"), QStringLiteral("other")}, 2,
         [](const CliRun& run) { return run.err.contains(QStringLiteral("--resume continues the folder it is given")); }},
    };
    for (const auto& c : cases) {
        const CliRun resumed =
            RunCli(QStringList{QStringLiteral("convert")} + c.options + QStringList{QStringLiteral("--resume"), folder, input});
        EXPECT_EQ(resumed.exitCode, c.exitCode) << qPrintable(c.options.join(u' ') + resumed.err);
        EXPECT_TRUE(c.said(resumed)) << qPrintable(c.options.join(u' ') + u'\n' + resumed.out + resumed.err);
        EXPECT_TRUE(SnapshotTree(area.root(), QString()) == before);
    }
}

// A dry run of a resume names the folder it would continue and counts only
// what it would write: every item less the mail kept.
TEST(ResumeFinishedTest, ADryRunNamesTheFolderItResumes)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    const QString killed = KilledConversion(input, area.destination(), QStringLiteral("eml"), 12);
    ASSERT_FALSE(killed.isEmpty());
    const TreeSnapshot before = SnapshotTree(area.root(), QString());
    const CliRun whole =
        RunCli({QStringLiteral("convert"), QStringLiteral("--dry-run"), QStringLiteral("--json"), input, area.root()});
    const CliRun resumed = RunCli({QStringLiteral("convert"), QStringLiteral("--dry-run"), QStringLiteral("--json"),
                                   QStringLiteral("--resume"), killed, input});
    ASSERT_EQ(resumed.exitCode, 0) << qPrintable(resumed.err);
    const QJsonObject all = QJsonDocument::fromJson(whole.out.toUtf8()).object();
    const QJsonObject rest = QJsonDocument::fromJson(resumed.out.toUtf8()).object();
    EXPECT_EQ(rest.value(QStringLiteral("outputFolder")).toString(), killed);
    EXPECT_EQ(rest.value(QStringLiteral("keptMail")).toInteger(), 11);
    EXPECT_EQ(rest.value(QStringLiteral("items")).toInteger() + 11, all.value(QStringLiteral("items")).toInteger());
    const CliRun text =
        RunCli({QStringLiteral("convert"), QStringLiteral("--dry-run"), QStringLiteral("--resume"), killed, input});
    EXPECT_TRUE(text.out.contains(QStringLiteral("into the folder %1 it resumes (eml)").arg(killed)))
        << qPrintable(text.out);
    EXPECT_TRUE(SnapshotTree(area.root(), QString()) == before);
}

// A mailbox changed in its middle alone (its length and both ends as they
// were, as a tool that edits in place leaves it) is resumed, but a kept
// message whose item changed is written again from what the mailbox holds now.
TEST(ResumeFinishedTest, AMessageChangedInPlaceIsWrittenAgain)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    const std::size_t padding = 1536 * 1024;
    WriteResumeMailbox(input, "first", kPlainNames, "invoice #61", padding);
    const QString killed = KilledConversion(input, area.destination(), QStringLiteral("eml"), 20);
    ASSERT_FALSE(killed.isEmpty());
    // Written before the kill, and so a file the resume would keep.
    ASSERT_EQ(ListedFiles(killed).filter(QStringLiteral("invoice -61")).size(), 1)
        << qPrintable(ListedFiles(killed).join(u'\n'));

    const QString edited = area.input(QStringLiteral("edited.pst"));
    WriteResumeMailbox(edited, "first", kPlainNames, "invoice #69", padding);
    ASSERT_TRUE(IdentityOfFile(edited) == IdentityOfFile(input))
        << "the edited mailbox must keep the length and both ends of the first";
    ASSERT_TRUE(ReadAll(edited) != ReadAll(input));
    ASSERT_TRUE(WriteAll(input, ReadAll(edited)));

    const CliRun resumed = RunCli({QStringLiteral("convert"), QStringLiteral("--resume"), killed, input});
    EXPECT_EQ(resumed.exitCode, 0) << qPrintable(resumed.err);
    const QString wholeDestination = area.root() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(wholeDestination));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), edited, wholeDestination}).exitCode, 0);
    EXPECT_EQ(TreeFiles(killed), TreeFiles(OnlyOutputFolder(wholeDestination)));
    EXPECT_TRUE(ListedFiles(killed).filter(QStringLiteral("invoice -61")).isEmpty());
    EXPECT_EQ(ListedFiles(killed).filter(QStringLiteral("invoice -69")).size(), 1);
    EXPECT_EQ(RunCli({QStringLiteral("verify"), killed}).exitCode, 0);
}

// A resume that is itself killed is resumed again, to the same end.
TEST(ResumeFinishedTest, AKilledResumeIsResumedAgain)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    const QString wholeDestination = area.root() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(wholeDestination));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), input, wholeDestination}).exitCode, 0);
    const QString killed = KilledConversion(input, area.destination(), QStringLiteral("eml"), 8);
    ASSERT_FALSE(killed.isEmpty());

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLVANE_CLI_HOLD_AT"), QStringLiteral("convert:20"));
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    process.start(kCliPath, {QStringLiteral("convert"), QStringLiteral("--resume"), killed, input});
    QByteArray err;
    while (!err.contains("held at convert:20") && process.waitForReadyRead(-1))
        err += process.readAllStandardError();
    ASSERT_TRUE(err.contains("held at convert:20")) << err.constData();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGKILL), 0);
    ASSERT_TRUE(process.waitForFinished(-1));

    const CliRun resumed = RunCli({QStringLiteral("convert"), QStringLiteral("--resume"), killed, input});
    EXPECT_EQ(resumed.exitCode, 0) << qPrintable(resumed.err);
    EXPECT_EQ(TreeFiles(killed), TreeFiles(OnlyOutputFolder(wholeDestination)));
    EXPECT_EQ(SortedManifestLines(killed), SortedManifestLines(OnlyOutputFolder(wholeDestination)));
    EXPECT_EQ(RunCli({QStringLiteral("verify"), killed}).exitCode, 0);
}

// A run held to a file-size limit (as on a full disk) goes to its end with
// the files it could not write listed as not written, or its manifest cut
// short: resumed without the limit, it ends as a run from the start.
TEST(ResumeFinishedTest, ARunShortOfSpaceIsResumed)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    const QString wholeDestination = area.root() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(wholeDestination));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), input, wholeDestination}).exitCode, 0);

    ChildCall call;
    call.arguments = {"convert", NativePath(input), NativePath(area.destination())};
    call.fileSizeBytes = 4500;
    const ChildResult limited = RunChild(QFile::encodeName(kCliPath), call);
    ASSERT_TRUE(limited.exited) << "signal " << limited.signal;
    ASSERT_EQ(limited.exitCode, 4) << limited.err.constData();
    const QString folder = OnlyOutputFolder(area.destination());
    ASSERT_FALSE(folder.isEmpty());

    const CliRun resumed = RunCli({QStringLiteral("convert"), QStringLiteral("--resume"), folder, input});
    EXPECT_EQ(resumed.exitCode, 0) << qPrintable(resumed.err);
    EXPECT_EQ(TreeFiles(folder), TreeFiles(OnlyOutputFolder(wholeDestination)));
    EXPECT_EQ(SortedManifestLines(folder), SortedManifestLines(OnlyOutputFolder(wholeDestination)));
    EXPECT_EQ(RunCli({QStringLiteral("verify"), folder}).exitCode, 0);
}

// --- Which manifest lines a plan keeps ---

// The fingerprint the lines give the item `identifier`.
QByteArray FingerprintOf(uint32_t identifier)
{
    return QByteArray(32, 'a' + static_cast<char>(identifier % 26));
}

// A mail line for the file `path` holding `bytes`, checked as the writer
// checks it; `extra` is added to it after the check was made.
QByteArray MailLine(const QString& path, const QByteArray& bytes, uint32_t identifier, const QJsonObject& extra = {})
{
    const QByteArray sha256 = Sha256::HexOf(bytes);
    QJsonObject line{{QStringLiteral("kind"), QStringLiteral("mail")},
                     {QStringLiteral("folder"), QStringLiteral("Top/Inbox")},
                     {QStringLiteral("identifier"), static_cast<qint64>(identifier)},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("size"), bytes.size()},
                     {QStringLiteral("sha256"), QString::fromLatin1(sha256)},
                     {QStringLiteral("fingerprint"), QString::fromLatin1(FingerprintOf(identifier))},
                     {QStringLiteral("check"),
                      QString::fromLatin1(ManifestLineCheck(QStringLiteral("Top/Inbox"), identifier,
                                                            FingerprintOf(identifier), path, bytes.size(), sha256))}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        line.insert(it.key(), it.value());
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

// The first line of a manifest written from `input` as eml, of a run asked
// for every folder.
QByteArray HeaderLine(const QString& input, OutputFormat format = OutputFormat::Eml)
{
    const ManifestHeader header{IdentityOfFile(input), format, OutputChoices{}};
    return QJsonDocument(header.ToJson()).toJson(QJsonDocument::Compact);
}

struct PlanCase {
    const char* name;
    // The second mail's line (the first is always an intact, keepable one).
    std::function<QByteArray(const QByteArray& bytes)> secondLine;
    bool firstKept;
    bool secondKept;
    // The mailbox now gives the second item another fingerprint.
    bool secondItemChanged = false;
};

void PrintTo(const PlanCase& planCase, std::ostream* out)
{
    *out << planCase.name;
}

const PlanCase kPlanCases[] = {
    {"Intact", [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2); }, true, true},
    {"OtherSize", [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes + "x", 2); }, true, false},
    {"RecoveredItem",
     [](const QByteArray& bytes) {
         return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("recovered"), QStringLiteral("deleted item")}});
     },
     true, false},
    {"NoIdentifier", [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 0); }, true, false},
    {"SameIdentifierAsTheFirst",
     [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 1); }, false, false},
    {"InAnMbox",
     [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("offset"), 0}}); },
     true, false},
    {"NotWritten",
     [](const QByteArray& bytes) {
         return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("notWritten"), QStringLiteral("disk full")}});
     },
     true, false},
    {"CutShort", [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2).left(40); }, true, false},
    // Edited to name the first mail's file, with its size and digest: the
    // check no longer matches, and a file two lines name is no one's.
    {"EditedToNameAnotherFile",
     [](const QByteArray&) {
         return MailLine("Top/Inbox/b.eml", "Subject: b\r\n\r\nb\r\n", 2,
                         {{QStringLiteral("path"), QStringLiteral("Top/Inbox/a.eml")},
                          {QStringLiteral("sha256"), QString::fromLatin1(Sha256::HexOf("Subject: a\r\n\r\na\r\n"))}});
     },
     true, false},
    {"EditedToAnotherItem",
     [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("identifier"), 3}}); },
     true, false},
    {"WithoutCheck",
     [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("check"), QString()}}); },
     true, false},
    {"WithoutFingerprint",
     [](const QByteArray& bytes) {
         return MailLine("Top/Inbox/b.eml", bytes, 2, {{QStringLiteral("fingerprint"), QString()}});
     },
     true, false},
    {"ItemChangedInTheMailbox", [](const QByteArray& bytes) { return MailLine("Top/Inbox/b.eml", bytes, 2); }, true,
     false, true},
};

class ResumePlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ResumePlanTest, KeepsOnlyUnchangedFilesOfMailItCanTellApart)
{
    const PlanCase& c = GetParam();
    QTemporaryDir scratch;
    const QString input = scratch.filePath(QStringLiteral("mailbox.pst"));
    ASSERT_TRUE(WriteAll(input, QByteArray(3 * 1024 * 1024, 'p')));
    const QString folder = scratch.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Top/Inbox")));
    const QByteArray first = "Subject: a\r\n\r\na\r\n";
    const QByteArray second = "Subject: b\r\n\r\nb\r\n";
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/Inbox/a.eml"), first));
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/Inbox/b.eml"), second));
    const QByteArray manifest =
        HeaderLine(input) + '\n' + MailLine("Top/Inbox/a.eml", first, 1) + '\n' + c.secondLine(second);
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/manifest.jsonl"), manifest));

    const auto made = ResumePlan::Make(folder, input, OutputFormat::Eml);
    ASSERT_TRUE(made) << qPrintable(ResumeFailureText(made.error()));
    // As the conversion checks it once the mailbox is open.
    const bool secondItemChanged = c.secondItemChanged;
    const auto plan = std::make_optional(made->CheckedAgainst([secondItemChanged](uint32_t identifier) {
        return std::optional<QByteArray>(secondItemChanged && identifier == 2 ? QByteArray(32, 'z')
                                                                              : FingerprintOf(identifier));
    }));
    EXPECT_FALSE(plan->finished());
    const bool firstKept = c.firstKept;
    EXPECT_EQ(plan->KeptMail(QStringLiteral("Top/Inbox"), 1, ItemSource::Live).has_value(), firstKept);
    EXPECT_EQ(plan->KeptMail(QStringLiteral("Top/Inbox"), 2, ItemSource::Live).has_value(), c.secondKept);
    EXPECT_EQ(plan->keptLines().size(), static_cast<std::size_t>(firstKept) + static_cast<std::size_t>(c.secondKept));
    QStringList expectedGone;
    if (!firstKept)
        expectedGone << QStringLiteral("Top/Inbox/a.eml");
    if (!c.secondKept)
        expectedGone << QStringLiteral("Top/Inbox/b.eml");
    EXPECT_EQ(QStringList(plan->unaccounted().begin(), plan->unaccounted().end()).join(u','), expectedGone.join(u','));
    EXPECT_EQ(plan->directories(), (std::set<QString>{QStringLiteral("Top"), QStringLiteral("Top/Inbox")}));
}

INSTANTIATE_TEST_SUITE_P(Lines, ResumePlanTest, ::testing::ValuesIn(kPlanCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A Maildir folder's keyword file stays for the resumed run to continue (the
// kept messages' names carry its letters); a file of that name anywhere else,
// or in a folder of another format, goes like any file not listed.
TEST(ResumePlanKeywordsTest, KeepsTheKeywordFilesOfMaildirFoldersOnly)
{
    const QStringList files{QStringLiteral("Maildir/dovecot-keywords"), QStringLiteral("Maildir/.Sent/dovecot-keywords"),
                            QStringLiteral("Maildir/.Sent/cur/dovecot-keywords"),
                            QStringLiteral("Maildir/.Sent/dovecot-keywords.old"), QStringLiteral("Top/dovecot-keywords")};
    const struct {
        OutputFormat format;
        QStringList removed;
    } cases[] = {
        {OutputFormat::Maildir, {files[2], files[3], files[4]}},
        {OutputFormat::Eml, {files[2], files[1], files[3], files[0], files[4]}},
    };
    for (const auto& [format, removed] : cases) {
        QTemporaryDir scratch;
        const QString input = scratch.filePath(QStringLiteral("mailbox.pst"));
        ASSERT_TRUE(WriteAll(input, QByteArray(1024, 'p')));
        const QString folder = scratch.filePath(QStringLiteral("out"));
        for (const QString& file : files) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(folder + u'/' + file).absolutePath()));
            ASSERT_TRUE(WriteAll(folder + u'/' + file, "0 Work\n"));
        }
        ASSERT_TRUE(WriteAll(folder + QStringLiteral("/manifest.jsonl"), HeaderLine(input, format) + '\n'));
        const auto plan = ResumePlan::Make(folder, input, format);
        ASSERT_TRUE(plan) << qPrintable(ResumeFailureText(plan.error()));
        EXPECT_EQ(QStringList(plan->unaccounted().begin(), plan->unaccounted().end()), removed)
            << qPrintable(OutputFormatName(format));
    }
}

// Only a summary of a whole run that counts the lines above it, with nothing
// after it, says there is nothing to resume.
TEST(ResumePlanSummaryTest, FinishedOnlyWhenTheSummaryCountsItsLines)
{
    const QByteArray counted = R"({"summary":{"written":{"mail":1,"contact":1},"notWritten":{}}})";
    const struct {
        const char* name;
        QByteArray end;  // what follows the mail and the contact line
        bool finished;
    } cases[] = {
        {"CountsItsLines", counted, true},
        {"NoSummary", "", false},
        {"CountsMoreMail", R"({"summary":{"written":{"mail":2,"contact":1},"notWritten":{}}})", false},
        {"CountsNoContact", R"({"summary":{"written":{"mail":1},"notWritten":{}}})", false},
        {"SomeNotWritten", R"({"summary":{"written":{"mail":1,"contact":1},"notWritten":{"mail":1}}})", false},
        {"Stopped", R"({"summary":{"written":{"mail":1,"contact":1},"notWritten":{},"stopped":"out of memory"}})",
         false},
        {"LinesAfterIt", counted + "\n" + R"({"kind":"contact","notWritten":"disk full"})", false},
    };
    for (const auto& c : cases) {
        QTemporaryDir scratch;
        const QString input = scratch.filePath(QStringLiteral("mailbox.pst"));
        ASSERT_TRUE(WriteAll(input, QByteArray(4096, 'p')));
        const QString folder = scratch.filePath(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Top/Inbox")));
        const QByteArray mail = "Subject: a\r\n\r\na\r\n";
        ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/Inbox/a.eml"), mail));
        ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/a.vcf"), "BEGIN:VCARD\r\n"));
        const QByteArray contact = R"({"kind":"contact","path":"Top/a.vcf","size":13,"sha256":"00"})";
        ASSERT_TRUE(WriteAll(folder + QStringLiteral("/manifest.jsonl"),
                             HeaderLine(input) + '\n' + MailLine("Top/Inbox/a.eml", mail, 1) + '\n' + contact + '\n'
                                 + c.end + '\n'));
        const auto plan = ResumePlan::Make(folder, input, OutputFormat::Eml);
        ASSERT_TRUE(plan) << c.name << ": " << qPrintable(ResumeFailureText(plan.error()));
        EXPECT_EQ(plan->finished(), c.finished) << c.name;
    }
}

// What a resumed run removes may already be gone (another run's clean-up of
// leftovers took it first): gone is removed. Anything else that cannot be
// removed is still a failure with its reason.
TEST(ResumeLeftoverRemovalTest, AFileAlreadyGoneCountsAsRemoved)
{
    QTemporaryDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Top/Inbox")));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Top/Folder.eml")));
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/Inbox/a.eml"), "x"));
    auto tree = OutputTree::Adopt(folder, {QStringLiteral("Top"), QStringLiteral("Top/Inbox")});
    ASSERT_TRUE(tree) << qPrintable(tree.error().reason);
    const struct {
        const char* path;
        bool removed;
    } cases[] = {
        {"Top/Inbox/a.eml", true},
        {"Top/Inbox/a.eml", true},       // the second time: already gone
        {"Top/Gone/b.eml", true},        // its directory gone too
        {"Top/Folder.eml", false},       // a directory is never removed as a file
    };
    for (const auto& c : cases) {
        const WriteStep removed = (*tree)->RemoveBelowRoot(QString::fromUtf8(c.path));
        EXPECT_EQ(removed.has_value(), c.removed) << c.path;
        if (!removed) {
            EXPECT_EQ(removed.error().kind, WriteFailure::FileSystem) << c.path;
            EXPECT_FALSE(removed.error().reason.isEmpty()) << c.path;
        }
    }
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Top/Inbox/a.eml")));
}

// A mailbox that lists one item twice: the first listing keeps the file,
// the second is written, however the preparer's threads and the writer
// happen to ask.
TEST(KeptMailDecisionsTest, TheFirstListingKeepsTheFileWhoeverAsksFirst)
{
    QTemporaryDir scratch;
    const QString input = scratch.filePath(QStringLiteral("mailbox.pst"));
    ASSERT_TRUE(WriteAll(input, QByteArray(4096, 'p')));
    const QString folder = scratch.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/Top/Inbox")));
    const QByteArray mail = "Subject: a\r\n\r\na\r\n";
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/Top/Inbox/a.eml"), mail));
    ASSERT_TRUE(WriteAll(folder + QStringLiteral("/manifest.jsonl"),
                         HeaderLine(input) + '\n' + MailLine("Top/Inbox/a.eml", mail, 1) + '\n'));
    const auto plan = ResumePlan::Make(folder, input, OutputFormat::Eml);
    ASSERT_TRUE(plan) << qPrintable(ResumeFailureText(plan.error()));

    const struct {
        std::vector<uint32_t> listed;       // the items in the feed's order
        std::vector<std::size_t> askOrder;  // the order the indexes are asked for
        std::size_t keeper;                 // the index that keeps the file
    } cases[] = {
        {{1, 1, 2}, {1, 0, 2}, 0},
        {{2, 1, 1}, {2, 1, 0}, 1},
        {{1, 2, 1}, {0, 1, 2}, 0},
    };
    for (const auto& c : cases) {
        MailFeed feed;
        for (const uint32_t identifier : c.listed) {
            auto record = std::make_shared<MailRecord>();
            record->folderKey = QStringLiteral("Top\\Inbox");
            record->location.itemIdentifier = identifier;
            record->location.topLevelIdentifier = identifier;
            feed.Append(std::move(record));
        }
        feed.Close();
        KeptMailDecisions decisions(*plan, feed, nullptr);
        for (const std::size_t index : c.askOrder) {
            const MailDecision decision = decisions.DecisionFor(index);
            EXPECT_EQ(decision.action, index == c.keeper ? MailAction::Keep : MailAction::Write) << "index " << index;
            EXPECT_EQ(decision.keptFile, index == c.keeper ? QStringLiteral("Top/Inbox/a.eml") : QString());
        }
    }
}

// A mailbox that lists one message twice (here: the Inbox's third message
// listed again after all the mail), converted in-process: a run stopped
// after the first listing, or after both, and resumed ends as a run from the
// start, which writes both listings, with no message counted as not saved.
struct ResumedDuplicateCase {
    const char* name;
    OutputFormat format;
    long stopAt;  // the checkpoint the stopped run stops at: the items before it are written
};

const ResumedDuplicateCase kResumedDuplicateCases[] = {
    {"EmlAfterTheFirstListing", OutputFormat::Eml, 6},
    {"EmlAfterBothListings", OutputFormat::Eml, kMailCount + 2},
    {"MaildirAfterTheFirstListing", OutputFormat::Maildir, 6},
    {"MaildirAfterBothListings", OutputFormat::Maildir, kMailCount + 2},
};

// One in-process conversion of `scan` into `destination`; `stopAt` > 0 stops
// it at that checkpoint, `resume` continues a stopped run's folder.
ConversionSummary ConvertInProcess(const ScanRun& scan, const QString& input, const QString& destination,
                                   OutputFormat format, long stopAt = 0,
                                   std::shared_ptr<const ResumePlan> resume = nullptr)
{
    RecordingConversionSink sink;
    std::atomic<bool> stop{false};
    WorkerGate gate;
    gate.setCheckpointHook([&stop, stopAt](long ordinal) {
        if (stopAt > 0 && ordinal == stopAt)
            stop = true;
    });
    ConversionRequest request;
    request.pstPath = input;
    request.destinationPath = destination;
    request.store = scan.store.get();
    request.sink = &sink;
    request.gate = &gate;
    request.stopRequested = &stop;
    request.format = format;
    request.clock = FixedClock;
    request.resume = std::move(resume);
    ConversionDriver driver;
    const std::optional<StartRefusal> refused = RefusalOf(driver.Start(request));
    EXPECT_EQ(refused, kStarted);
    return refused ? ConversionSummary{} : driver.Wait();
}

class ResumedDuplicateTest : public ::testing::TestWithParam<ResumedDuplicateCase> {};

TEST_P(ResumedDuplicateTest, WritesBothListingsAsARunFromTheStart)
{
    const ResumedDuplicateCase& c = GetParam();
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteResumeMailbox(input);
    ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const RecordList<MailRecord> mail = scan.store->mailRecords();
    ASSERT_EQ(mail.size(), static_cast<std::size_t>(kMailCount));
    scan.store->AddMailRecord(*mail[2]);

    const QString wholeDestination = area.root() + QStringLiteral("/whole");
    ASSERT_TRUE(QDir().mkpath(wholeDestination));
    const ConversionSummary whole = ConvertInProcess(scan, input, wholeDestination, c.format);
    ASSERT_EQ(whole.counts.Complete(OutcomeKind::Mail), kMailCount + 1);
    ASSERT_EQ(whole.counts.Failed(OutcomeKind::Mail), 0);
    const QString wholeFolder = OnlyOutputFolder(wholeDestination);

    const ConversionSummary stopped = ConvertInProcess(scan, input, area.destination(), c.format, c.stopAt);
    ASSERT_TRUE(stopped.interrupted);
    const QString folder = OnlyOutputFolder(area.destination());
    const auto plan = ResumePlan::Make(folder, input, c.format);
    ASSERT_TRUE(plan) << qPrintable(ResumeFailureText(plan.error()));
    const ConversionSummary resumed = ConvertInProcess(scan, input, area.destination(), c.format, 0,
                                                       std::make_shared<const ResumePlan>(*plan));

    EXPECT_EQ(resumed.counts.Failed(OutcomeKind::Mail), 0) << qPrintable(resumed.firstFailures.join(u'\n'));
    EXPECT_EQ(resumed.counts.Complete(OutcomeKind::Mail), kMailCount + 1);
    EXPECT_TRUE(resumed.allSaved());
    EXPECT_EQ(TreeFiles(folder), TreeFiles(wholeFolder));
    EXPECT_EQ(SortedManifestLines(folder), SortedManifestLines(wholeFolder));
}

INSTANTIATE_TEST_SUITE_P(Stops, ResumedDuplicateTest, ::testing::ValuesIn(kResumedDuplicateCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane::robustness
