// Faults that once lost mail, or reported lost mail as written: a mailbox
// replaced or changed between its scan and its conversion, a run killed or
// held to a file-size limit while it writes mbox files, a contact photo too
// large for a card, message classes other than plain mail, folders the walk
// cannot open, and real names that look like the writers' temporaries.
#include "tests/robustness/ChildProcess.h"
#include "tests/robustness/Fixtures.h"

#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputNaming.h"
#include "base/NativePath.h"
#include "tests/support/CliRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <functional>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

namespace tolvane::robustness {
namespace {

using testing::CliRun;
using testing::RunCli;
namespace pw = tolvane::pstwriter;

// The lines of an output folder's manifest.
struct Manifest {
    QList<QJsonObject> items;                // one per item written or not
    std::map<QString, QJsonObject> wholeFiles;  // by path
    std::optional<QJsonObject> summary;
};

Manifest ReadManifest(const QString& outputRoot)
{
    Manifest manifest;
    const QByteArray text = ReadAll(outputRoot + QStringLiteral("/manifest.jsonl"));
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QStringLiteral("summary")))
            manifest.summary = object;
        else if (object.contains(QStringLiteral("file")))
            manifest.wholeFiles[object.value(QStringLiteral("file")).toString()] = object;
        else
            manifest.items << object;
    }
    return manifest;
}

int ListedIn(const Manifest& manifest, const QString& relativePath)
{
    int listed = 0;
    for (const QJsonObject& item : manifest.items)
        listed += item.value(QStringLiteral("path")).toString() == relativePath ? 1 : 0;
    return listed;
}

// Messages a reader of the mboxrd file finds: its separator lines.
int MboxMessages(const QByteArray& bytes)
{
    int count = bytes.startsWith("From ") ? 1 : 0;
    for (qsizetype at = bytes.indexOf("\nFrom "); at >= 0; at = bytes.indexOf("\nFrom ", at + 1))
        ++count;
    return count;
}

// --- The mailbox is the one scanned, or the conversion refuses ------------

struct ChangeCase {
    const char* name;
    std::function<void(const QString& input, const QString& other)> change;
    bool refused;
};

void Append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

const ChangeCase kChangeCases[] = {
    {"Unchanged", [](const QString&, const QString&) {}, false},
    {"ReplacedByAnotherMailbox",
     [](const QString& input, const QString& other) {
         ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(input).constData()), 0);
     },
     true},
    {"GrownInPlace", [](const QString& input, const QString&) { Append(input, QByteArray(4096, '\0')); }, true},
    {"TouchedInPlace",
     [](const QString& input, const QString&) {
         struct stat info {};
         ASSERT_EQ(::stat(QFile::encodeName(input).constData(), &info), 0);
         struct timespec times[2] = {info.st_atim, info.st_mtim};
         times[1].tv_sec += 10;
         ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(input).constData(), times, 0), 0);
     },
     true},
};

class MailboxChangedTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(MailboxChangedTest, OnlyTheScannedFileIsConverted)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("mailbox.pst"));
    WriteBaseMailbox(input);
    const QString other = area.input(QStringLiteral("other.pst"));
    {
        pw::PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        for (int i = 0; i < kBaseMailCount; ++i)
            inbox.addMessage().subject("another mailbox's mail " + std::to_string(i)).body("not this one");
        pst.Write(other.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    GetParam().change(input, other);

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ASSERT_EQ(conversion.start, kStarted);
    const QStringList written = FilesEndingIn(area.destination(), QStringLiteral(".eml"));
    if (!GetParam().refused) {
        EXPECT_TRUE(conversion.summary.ReasonOf(RunProblem::Kind::MailboxUnreadable).isEmpty()) << qPrintable(conversion.summary.ReasonOf(RunProblem::Kind::MailboxUnreadable));
        EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
        return;
    }
    EXPECT_TRUE(conversion.summary.ReasonOf(RunProblem::Kind::MailboxUnreadable).contains(QStringLiteral("scan it again")))
        << qPrintable(conversion.summary.ReasonOf(RunProblem::Kind::MailboxUnreadable));
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), 0);
    EXPECT_TRUE(written.isEmpty()) << qPrintable(written.join(u'\n'));
    EXPECT_FALSE(conversion.summary.allSaved());
}

INSTANTIATE_TEST_SUITE_P(Changes, MailboxChangedTest, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- mbox files: a reader never sees a message the manifest does not list ---

// Killed outright while the second folder is written: the first folder's
// file is whole and listed whole, the second one's holds nothing yet and
// lists none of the messages in its temporary, and
// the next run into the same destination removes what the killed one left.
TEST(MboxKilledTest, EveryVisibleMessageIsListed)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The base mailbox's Inbox holds 20 mails: the 25th is in Sent Items.
    environment.insert(QStringLiteral("TOLVANE_CLI_HOLD_AT"), QStringLiteral("convert:25"));
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    process.start(kCliPath, {QStringLiteral("convert"), QStringLiteral("--format"), QStringLiteral("mbox"), input,
                             area.destination()});
    QByteArray err;
    while (!err.contains("held at convert:25") && process.waitForReadyRead(-1))
        err += process.readAllStandardError();
    ASSERT_TRUE(err.contains("held at convert:25")) << err.constData();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGKILL), 0);
    ASSERT_TRUE(process.waitForFinished(-1));

    const QString killed = OnlyOutputFolder(area.destination());
    ASSERT_FALSE(killed.isEmpty());
    const Manifest manifest = ReadManifest(killed);
    EXPECT_FALSE(manifest.summary);
    const QStringList mboxes = FilesEndingIn(killed, QStringLiteral(".mbox"));
    ASSERT_EQ(mboxes.size(), 2) << qPrintable(mboxes.join(u'\n'));
    for (const QString& mbox : mboxes) {
        const QString relative = QDir(killed).relativeFilePath(mbox);
        const int visible = MboxMessages(ReadAll(mbox));
        const bool finished = manifest.wholeFiles.count(relative) != 0;
        SCOPED_TRACE(qPrintable(relative));
        if (relative.endsWith(QStringLiteral("Inbox.mbox"))) {
            EXPECT_TRUE(finished);
            EXPECT_EQ(visible, 20);
            EXPECT_EQ(ListedIn(manifest, relative), 20);
        } else {
            // Four were written into the unfinished file, which nobody sees
            // yet: they are not in place, so not saved, and not listed.
            EXPECT_FALSE(finished);
            EXPECT_EQ(visible, 0);
            EXPECT_EQ(ListedIn(manifest, relative), 0);
        }
    }
    EXPECT_FALSE(FilesEndingIn(killed, QString()).filter(QStringLiteral("/.tolvane-partial-")).isEmpty());
    const CliRun verify = RunCli({QStringLiteral("verify"), killed});
    EXPECT_NE(verify.exitCode, 0) << qPrintable(verify.out);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("Incomplete"))) << qPrintable(verify.out);

    const CliRun next = RunCli({QStringLiteral("convert"), QStringLiteral("--format"), QStringLiteral("mbox"), input,
                                area.destination()});
    EXPECT_EQ(next.exitCode, 0) << qPrintable(next.err);
    EXPECT_TRUE(FilesEndingIn(killed, QString()).filter(QStringLiteral("/.tolvane-partial-")).isEmpty());
}

// Under a file-size limit (ulimit -f) the write that crosses it fails like
// one on a full disk: the mail is counted as not written, the run goes on and
// ends with its summary, and every mbox file ends with a whole message.
TEST(MboxKilledTest, AFileSizeLimitFailsWritesAndTheRunEndsWithItsSummary)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("base.pst"));
    WriteBaseMailbox(input);
    ChildCall call;
    call.arguments = {"convert", "--format", "mbox", NativePath(input), NativePath(area.destination())};
    call.fileSizeBytes = 64 * 1024;
    const ChildResult cli = RunChild(QFile::encodeName(kCliPath), call);
    ASSERT_TRUE(cli.exited) << "signal " << cli.signal;
    EXPECT_EQ(cli.exitCode, 4) << cli.err.constData();
    EXPECT_TRUE(QString::fromUtf8(cli.out).contains(QRegularExpression(QStringLiteral("\\n\\d+ mails? saved\\n"))))
        << cli.out.constData();
    EXPECT_TRUE(QString::fromUtf8(cli.out).contains(QRegularExpression(QStringLiteral("\\n\\d+ mails? not saved\\n"))))
        << cli.out.constData();

    const QString output = OnlyOutputFolder(area.destination());
    ASSERT_FALSE(output.isEmpty());
    const Manifest manifest = ReadManifest(output);
    ASSERT_TRUE(manifest.summary);
    for (const QString& mbox : FilesEndingIn(output, QStringLiteral(".mbox"))) {
        const QString relative = QDir(output).relativeFilePath(mbox);
        EXPECT_EQ(MboxMessages(ReadAll(mbox)), ListedIn(manifest, relative)) << qPrintable(relative);
        EXPECT_EQ(manifest.wholeFiles.count(relative), 1u) << qPrintable(relative);
    }
    const CliRun verify = RunCli({QStringLiteral("verify"), output});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);
}

// --- Contact photos -------------------------------------------------------

struct PhotoCase {
    const char* name;
    int bytes;
    bool inCard;
};

const PhotoCase kPhotoCases[] = {
    {"Portrait", 40 * 1024, true},
    {"LargerThanACardHolds", 17 * 1024 * 1024, false},
};

class ContactPhotoTest : public ::testing::TestWithParam<PhotoCase> {};

TEST_P(ContactPhotoTest, APhotoIsInTheCardOrNamedAsLeftOut)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("contacts.pst"));
    {
        pw::PstBuilder pst;
        pw::Bytes photo(static_cast<std::size_t>(GetParam().bytes), 0x42);
        const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
        std::copy(std::begin(jpeg), std::end(jpeg), photo.begin());
        pst.topOfPersonalFolders().addFolder("Contacts").addContact("Ada", "Lovelace").contactPhoto(photo);
        pst.Write(input.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(conversion.summary.counts.Written(OutcomeKind::Contact), 1);
    const QStringList cards = FilesEndingIn(area.destination(), QStringLiteral(".vcf"));
    ASSERT_EQ(cards.size(), 1);
    const QByteArray card = ReadAll(cards.front());
    EXPECT_EQ(card.contains("\r\nPHOTO"), GetParam().inCard);
    EXPECT_EQ(conversion.summary.counts.Incomplete(OutcomeKind::Contact), GetParam().inCard ? 0 : 1);
    EXPECT_EQ(conversion.summary.allSaved(), GetParam().inCard);
    EXPECT_EQ(conversion.problems.filter(QStringLiteral("photo")).size(), GetParam().inCard ? 0 : 1)
        << qPrintable(conversion.problems.join(u'\n'));
}

INSTANTIATE_TEST_SUITE_P(Photos, ContactPhotoTest, ::testing::ValuesIn(kPhotoCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A contact whose item cannot be read again still gets its card from its
// record, with its UID, and is counted and named as incomplete.
TEST(ContactDetailsTest, AContactThatCannotBeReadAgainIsSavedIncompleteNotComplete)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("contacts.pst"));
    {
        pw::PstBuilder pst;
        auto& folder = pst.topOfPersonalFolders().addFolder("Contacts");
        folder.addContact("Ada", "Lovelace");
        folder.addContact("Charles", "Babbage");
        pst.Write(input.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const auto contacts = scan.store->contactRecords();
    ASSERT_EQ(contacts.size(), 2u);
    ContactRecord gone = *contacts.back();
    gone.givenName = QStringLiteral("Grace");
    gone.surname = QStringLiteral("Hopper");
    gone.location.itemIdentifier = 0x7ffffe0;  // no such item in the mailbox
    gone.location.topLevelIdentifier = gone.location.itemIdentifier;
    gone.number = scan.store->NextItemNumber();
    scan.store->AddContactRecord(gone);

    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    EXPECT_EQ(conversion.summary.counts.Written(OutcomeKind::Contact), 3);
    EXPECT_EQ(conversion.summary.counts.Incomplete(OutcomeKind::Contact), 1);
    EXPECT_FALSE(conversion.summary.allSaved());
    const QStringList named = conversion.problems.filter(QStringLiteral("Grace Hopper"));
    ASSERT_EQ(named.size(), 1) << qPrintable(conversion.problems.join(u'\n'));
    EXPECT_TRUE(named.front().contains(QStringLiteral("can no longer be found"))) << qPrintable(named.front());
    const QStringList cards = FilesEndingIn(area.destination(), QStringLiteral(".vcf"));
    ASSERT_EQ(cards.size(), 3);
    for (const QString& card : cards)
        EXPECT_TRUE(ReadAll(card).contains("\r\nUID:")) << qPrintable(card);
}

// --- Every message class is written, or named -----------------------------

struct ClassCase {
    const char* messageClass;
    bool written;  // as mail; else named as not converted
};

const ClassCase kClassCases[] = {
    {"IPM.Note", true},
    {"IPM.Post", true},
    {"IPM.Post.RSS", true},
    {"IPM.Note.Mobile.SMS", true},
    {"IPM.Note.Voicemail", true},
    {"IPM.Sharing", true},
    {"IPM.Document.Word.Document.8", true},
    {"IPM.TaskRequest", true},
    {"IPM", true},
    {"IPM.Configuration.Settings", false},
    {"IPM.Microsoft.ScheduleData.FreeBusy", false},
};

TEST(MessageClassTest, EveryClassIsWrittenOrNamedAsNotConverted)
{
    ScratchArea area;
    const QString input = area.input(QStringLiteral("classes.pst"));
    {
        pw::PstBuilder pst;
        auto& folder = pst.topOfPersonalFolders().addFolder("Mixed");
        for (const ClassCase& row : kClassCases)
            folder.addMessage(row.messageClass).subject(row.messageClass).from("Ann", "ann@example.com").body("text");
        pst.Write(input.toStdString());
    }
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    const QStringList files = FilesEndingIn(area.destination(), QStringLiteral(".eml"));
    const QStringList notConverted = scan.store->notConvertedItems();
    int expectedWritten = 0;
    for (const ClassCase& row : kClassCases) {
        SCOPED_TRACE(row.messageClass);
        const QString name = QString::fromLatin1(row.messageClass);
        const bool inFiles = !files.filter(QStringLiteral("/") + name).isEmpty();
        const bool named = std::any_of(notConverted.begin(), notConverted.end(),
                                       [&](const QString& item) { return item.endsWith(QStringLiteral(": ") + name); });
        EXPECT_EQ(inFiles, row.written);
        EXPECT_EQ(named, !row.written);
        expectedWritten += row.written ? 1 : 0;
    }
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), expectedWritten);
    // Named in the manifest too, and no reason to fail the run.
    const Manifest manifest = ReadManifest(area.outputRoot());
    int namedInManifest = 0;
    for (const QJsonObject& item : manifest.items)
        namedInManifest += item.value(QStringLiteral("kind")).toString() == QStringLiteral("item not converted") ? 1 : 0;
    EXPECT_EQ(namedInManifest, static_cast<int>(std::size(kClassCases)) - expectedWritten);
    EXPECT_TRUE(conversion.summary.allSaved());
    EXPECT_TRUE(scan.skipped.isEmpty()) << qPrintable(scan.skipped.join(u'\n'));
}

// --- Folders the walk cannot open are named -------------------------------

QByteArray Utf16(const QByteArray& ascii)
{
    QByteArray bytes;
    for (const char c : ascii) {
        bytes.append(c);
        bytes.append('\0');
    }
    return bytes;
}

// Breaks the first byte of the heap with `signature` (0xEC 0xBC for an
// item's properties, 0xEC 0x7C for a table) that holds `marker`, and only one
// that holds it directly (no heap of the other kind starts in between).
void BreakHeapHolding(const QString& path, const QByteArray& marker, const QByteArray& signature)
{
    const QByteArray other = signature == QByteArray("\xEC\xBC", 2) ? QByteArray("\xEC\x7C", 2)
                                                                   : QByteArray("\xEC\xBC", 2);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    qsizetype heap = -1;
    for (qsizetype at = bytes.indexOf(Utf16(marker)); at >= 0 && heap < 0; at = bytes.indexOf(Utf16(marker), at + 1)) {
        const qsizetype start = bytes.lastIndexOf(signature, at);
        if (start > bytes.lastIndexOf(other, at))
            heap = start;
    }
    ASSERT_GE(heap, 0);
    bytes[heap] = '\0';
    ASSERT_TRUE(file.seek(0));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

const QByteArray kPropertyHeap("\xEC\xBC", 2);
const QByteArray kTableHeap("\xEC\x7C", 2);

struct WalkDamageCase {
    const char* name;
    QByteArray heap;  // whose heap holding the marked folder's name is broken
    QStringList kept;                       // mail still read
    const char* named;                      // what the skipped line says, empty when nothing is lost
};

// Every folder and item ends as read or as named with its folder: a folder
// whose own properties are broken is still walked under a number; a folder
// whose list of sub-folders cannot be read keeps its own mail and names the list.
const WalkDamageCase kWalkDamageCases[] = {
    {"FolderPropertiesBroken", kPropertyHeap, {"top mail", "before", "lost with its folder", "after"}, ""},
    {"ListOfSubFoldersBroken", kTableHeap, {"top mail"},
     "\\Top of Personal Folders, its sub-folders: the list of sub-folders cannot be read"},
};

class FolderWalkTest : public ::testing::TestWithParam<WalkDamageCase> {};

TEST_P(FolderWalkTest, WhatCannotBeReadIsNamedWithItsFolder)
{
    const WalkDamageCase& row = GetParam();
    ScratchArea area;
    const QString input = area.input(QStringLiteral("damaged.pst"));
    pw::PstBuilderOptions options;
    options.encoding = pw::BlockEncoding::None;  // so the folder's name can be found in the file
    pw::PstBuilder pst(options);
    auto& top = pst.topOfPersonalFolders();
    top.addMessage().subject("top mail").body("t");
    top.addFolder("Before").addMessage().subject("before").body("b");
    top.addFolder("BROKENFOLDERNAME").addMessage().subject("lost with its folder").body("l");
    top.addFolder("After").addMessage().subject("after").body("a");
    pst.Write(input.toStdString());
    BreakHeapHolding(input, "BROKENFOLDERNAME", row.heap);

    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    QStringList subjects;
    for (const auto& record : scan.store->mailRecords())
        subjects << record->subject;
    subjects.sort();
    QStringList kept = row.kept;
    kept.sort();
    EXPECT_EQ(subjects, kept);
    EXPECT_EQ(scan.skipped, QString::fromLatin1(row.named).isEmpty() ? QStringList()
                                                                     : QStringList{QString::fromLatin1(row.named)});
    // The manifest names the same, and the run does not pass for complete.
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    const Manifest manifest = ReadManifest(area.outputRoot());
    int unreadable = 0;
    for (const QJsonObject& item : manifest.items)
        unreadable += item.value(QStringLiteral("kind")).toString() == QStringLiteral("unreadable item") ? 1 : 0;
    EXPECT_EQ(unreadable, scan.skipped.size());
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kept.size());
}

INSTANTIATE_TEST_SUITE_P(Damage, FolderWalkTest, ::testing::ValuesIn(kWalkDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Real names never look like the writers' temporaries ------------------

TEST(TemporaryNamesTest, NoRealNameTakesTheTemporariesShape)
{
    const QString prefix = QString::fromLatin1(kPartialFilePrefix);
    for (const QString& name : {prefix + QStringLiteral("a1B2c3"), prefix, prefix + QStringLiteral("scratch-1-2")}) {
        SCOPED_TRACE(qPrintable(name));
        const QString component = SafeComponent(name);
        const QString file = FileNameFor(name, QString(), QStringLiteral(".mbox"));
        EXPECT_FALSE(component.startsWith(prefix)) << qPrintable(component);
        EXPECT_FALSE(file.startsWith(prefix)) << qPrintable(file);
        EXPECT_TRUE(component.endsWith(name)) << qPrintable(component);
    }
    EXPECT_TRUE(IsWriterTemporaryName(NewTemporaryName().constData()));
}

// A folder, a contact and a mail named like temporaries are written under
// names of their own and survive the next conversion into the same place.
TEST(TemporaryNamesTest, OutputNamedLikeATemporarySurvivesTheNextRun)
{
    if (!CliBuilt())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const QString input = area.input(QStringLiteral("names.pst"));
    {
        pw::PstBuilder pst;
        auto& folder = pst.topOfPersonalFolders().addFolder(".tolvane-partial-a1B2c3");
        folder.addMessage().subject(".tolvane-partial-Zz9yX8").body("mail");
        folder.addMessage().subject("second").body("mail");
        pst.topOfPersonalFolders().addFolder("Contacts").addContact(".tolvane-partial-", "q1w2e3");
        pst.Write(input.toStdString());
    }
    for (const char* format : {"eml", "mbox"}) {
        SCOPED_TRACE(format);
        const QString destination = area.destination() + u'/' + QString::fromLatin1(format);
        ASSERT_TRUE(QDir().mkpath(destination));
        const CliRun first = RunCli({QStringLiteral("convert"), QStringLiteral("--format"), QString::fromLatin1(format),
                                     input, destination});
        ASSERT_EQ(first.exitCode, 0) << qPrintable(first.err);
        const QString output = OnlyOutputFolder(destination);
        ASSERT_FALSE(output.isEmpty());
        EXPECT_TRUE(QFileInfo(output + QStringLiteral("/Top-of-Personal-Folders/_.tolvane-partial-a1B2c3")).isDir());
        const CliRun second = RunCli({QStringLiteral("convert"), QStringLiteral("--format"),
                                      QString::fromLatin1(format), input, destination});
        ASSERT_EQ(second.exitCode, 0) << qPrintable(second.err);
        const CliRun verify = RunCli({QStringLiteral("verify"), output});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);
    }
}

}  // namespace
}  // namespace tolvane::robustness
