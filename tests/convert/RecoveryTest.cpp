// Recovery of deleted and orphan items through tolvane-cli: a written mailbox
// with known deleted, orphaned and replaced items; what the real samples
// still hold outside their folders; how recovered mail is written and
// marked; and that nothing is recovered unless asked for. Then the readers of
// one conversion: one search for deleted items between them, and each
// recovered item found again by what it is rather than where libpff listed it.
#include "pstwriter/BlockDamage.h"
#include "tests/support/CliRun.h"
#include "pstwriter/PstBuilder.h"
#include "tests/convert/ConvertTestSupport.h"

#include "scan/ItemStore.h"
#include "app/cli/HeadlessScan.h"
#include "app/cli/NumberingScanSink.h"
#include "convert/read/MailboxReader.h"
#include "base/ProcessTempDir.h"
#include "scan/ScanDriver.h"
#include "scan/WorkerGate.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>

namespace tolvane {
namespace {

using testing::FilesBelow;
using testing::RunCli;

QString SamplePath(const char* name)
{
    return QDir(QStringLiteral(TOLVANE_SAMPLES_DIR)).absoluteFilePath(QString::fromUtf8(name));
}

QJsonObject ScanJson(const QStringList& arguments)
{
    const auto run = RunCli(QStringList{"scan", "--json"} + arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

// The manifest lines of the one output folder below `destination`.
QList<QJsonObject> ManifestLines(const QString& destination)
{
    QList<QJsonObject> lines;
    const QStringList manifests = FilesBelow(destination, "manifest.jsonl");
    if (manifests.size() != 1)
        return lines;
    for (const QByteArray& line : testing::ReadAll(manifests.first()).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains("kind"))
            lines << object;
    }
    return lines;
}

struct SampleRecovery {
    const char* file;
    int mail;          // deleted mails the sample still holds, earlier versions of live ones
    int appointments;
};

class SampleRecoveryTest : public ::testing::TestWithParam<SampleRecovery> {};

TEST_P(SampleRecoveryTest, RecoveredItemsAreCountedListedAndWrittenMarked)
{
    const SampleRecovery expected = GetParam();
    const QString sample = SamplePath(expected.file);
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample file not present: " << sample.toStdString();

    const QJsonObject plain = ScanJson({sample});
    EXPECT_FALSE(plain.contains("recovery")) << "a scan never recovers unless asked to";

    const QJsonObject scan = ScanJson({"--recover", sample});
    const QJsonObject recovered = scan.value("recovery").toObject().value("recovered").toObject();
    EXPECT_EQ(recovered.value("mail").toInt(), expected.mail);
    EXPECT_EQ(recovered.value("appointments").toInt(), expected.appointments);
    EXPECT_EQ(recovered.value("unreadable").toInt(), 0);
    int listedMail = 0;
    for (const QJsonValue& record : scan.value("mail").toArray()) {
        const QJsonObject mail = record.toObject();
        const bool inRecoveredFolder = mail.value("folderName") == "Recovered items";
        EXPECT_EQ(inRecoveredFolder, mail.value("recovered") == "deleted item") << mail.value("subject").toString().toStdString();
        listedMail += inRecoveredFolder && mail.value("attachmentPath").toArray().isEmpty() ? 1 : 0;
    }
    EXPECT_EQ(listedMail, expected.mail);
    const QJsonArray folders = scan.value("folders").toArray();
    const bool hasFolder = std::any_of(folders.begin(), folders.end(), [](const QJsonValue& folder) {
        return folder.toObject().value("name") == "Recovered items";
    });
    EXPECT_EQ(hasFolder, expected.mail + expected.appointments > 0);

    QTemporaryDir destination;
    const auto run = RunCli({"convert", "--recover", sample, destination.path()});
    ASSERT_FALSE(run.crashed) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Recovered: "))) << run.out.toStdString();
    int markedFiles = 0;
    for (const QString& file : FilesBelow(destination.path(), ".eml")) {
        const bool marked = testing::ReadAll(file).contains("\nX-Tolvane-Recovered: yes\r\n")
                            || testing::ReadAll(file).contains("\nX-Tolvane-Recovered: yes\n");
        EXPECT_EQ(marked, file.contains("/Recovered items/")) << file.toStdString();
        markedFiles += marked ? 1 : 0;
    }
    EXPECT_EQ(markedFiles, expected.mail);
    if (!FilesBelow(destination.path(), ".eml").isEmpty()) {
        EXPECT_EQ(testing::PythonEmailDefects(destination.path()), QString());
    }
    // Every line of the recovery's folder, and only those, says where the item
    // was found and keeps its original identifier. (A recovered series writes
    // its changed occurrences as events of their own, so appointments are
    // counted at least once each.)
    int recoveredMail = 0;
    int recoveredAppointments = 0;
    for (const QJsonObject& line : ManifestLines(destination.path())) {
        const bool recoveredLine = line.value("recovered") == "deleted item";
        EXPECT_EQ(recoveredLine, line.value("folder") == "Recovered items") << line.value("path").toString().toStdString();
        if (!recoveredLine)
            continue;
        EXPECT_NE(line.value("identifier").toInteger(), 0);
        recoveredMail += line.value("kind") == "mail" ? 1 : 0;
        recoveredAppointments += line.value("kind") == "appointment" ? 1 : 0;
    }
    EXPECT_EQ(recoveredMail, expected.mail);
    EXPECT_GE(recoveredAppointments, expected.appointments);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleRecoveryTest,
                         ::testing::Values(SampleRecovery{"200-recipients.pst", 0, 0},
                                           SampleRecovery{"attachAndInline.pst", 0, 0},
                                           SampleRecovery{"dist-list.pst", 0, 3},
                                           SampleRecovery{"msgInMsg.pst", 0, 0},
                                           SampleRecovery{"sample1.pst", 2, 0},
                                           SampleRecovery{"sample2.pst", 2, 0},
                                           SampleRecovery{"submessage.pst", 1, 0},
                                           SampleRecovery{"test_ansi.pst", 0, 0},
                                           SampleRecovery{"test_unicode.pst", 0, 0}),
                         [](const auto& info) {
                             QString name = QString::fromUtf8(info.param.file).section('.', 0, 0);
                             name.replace('-', '_');
                             return name.toStdString();
                         });

// A mailbox with live mail, deleted mail (one with an attachment), a deleted
// appointment and contact, an orphan, a message whose stale copy is the live
// one and a message with an earlier version.
struct RecoveryMailbox {
    pstwriter::PstBuilder pst;
    const pstwriter::Message* deletedPlain = nullptr;
    QString path;

    explicit RecoveryMailbox(const QString& file) : path(file)
    {
        using pstwriter::Message;
        auto& top = pst.topOfPersonalFolders();
        auto& inbox = top.addFolder("Inbox").containerClass("IPF.Note");
        auto& calendar = top.addFolder("Calendar").containerClass("IPF.Appointment");
        auto& contacts = top.addFolder("Contacts").containerClass("IPF.Contact");
        inbox.addMessage().subject("Live one").from("Ann", "ann@example.com").to("Bob", "bob@example.com").body("live words one");
        inbox.addMessage().subject("Live two").from("Ann", "ann@example.com").to("Bob", "bob@example.com").body("live words two");
        inbox.addDeletedMessage()
            .subject("Deleted with attachment")
            .from("Cy", "cy@example.com")
            .to("Bob", "bob@example.com")
            .body("deleted words one")
            .attach("report.txt", pstwriter::Bytes(kAttachment.begin(), kAttachment.end()), "text/plain");
        deletedPlain = &pst.deletedItems()->addDeletedMessage()
                            .subject("Deleted plain")
                            .from("Cy", "cy@example.com")
                            .to("Bob", "bob@example.com")
                            .body("deleted words two");
        calendar.addDeletedMessage("IPM.Appointment")
            .subject("Deleted meeting")
            .appointment(pstwriter::FileTime::fromUnixSeconds(1700000000), pstwriter::FileTime::fromUnixSeconds(1700003600),
                         "Room 4");
        contacts.addDeletedMessage("IPM.Contact").contactNames("Dora", "Deleted").email1("dora@example.com");
        pst.addOrphanMessage().subject("Orphaned mail").from("Eve", "eve@example.com").body("orphan words");
        inbox.addMessageWithStaleCopy().subject("Kept once").from("Ann", "ann@example.com").body("kept words");
        inbox.addRevisedMessage(Message("IPM.Note").subject("Draft v1").body("first words"),
                                Message("IPM.Note").subject("Draft v2").body("final words"));
    }
    pstwriter::WrittenLayout Write() const { return pst.WriteWithLayout(path.toStdString()); }

    static constexpr std::string_view kAttachment = "attachment bytes of a deleted mail";
};

QStringList SubjectsIn(const QJsonObject& scan, const QString& folderName)
{
    QStringList subjects;
    for (const QJsonValue& record : scan.value("mail").toArray()) {
        if (record.toObject().value("folderName") == folderName)
            subjects << record.toObject().value("subject").toString();
    }
    subjects.sort();
    return subjects;
}

TEST(WrittenMailboxRecovery, ExactlyTheDeletedOrphanedAndEarlierItemsComeBack)
{
    QTemporaryDir temp;
    const RecoveryMailbox mailbox(temp.filePath("deleted.pst"));
    (void)mailbox.Write();

    const QJsonObject plain = ScanJson({mailbox.path});
    EXPECT_EQ(SubjectsIn(plain, "Inbox"), QStringList({"Draft v2", "Kept once", "Live one", "Live two"}));
    const QJsonObject scan = ScanJson({"--recover", mailbox.path});
    EXPECT_EQ(SubjectsIn(scan, "Inbox"), SubjectsIn(plain, "Inbox")) << "the live folders stay as they are";
    EXPECT_EQ(SubjectsIn(scan, "Recovered items"), QStringList({"Deleted plain", "Deleted with attachment", "Draft v1"}));
    EXPECT_EQ(SubjectsIn(scan, "Orphan items"), QStringList({"Orphaned mail"}));
    const QJsonObject recovery = scan.value("recovery").toObject();
    const QJsonObject recovered = recovery.value("recovered").toObject();
    const QJsonObject orphans = recovery.value("orphans").toObject();
    EXPECT_EQ(recovered.value("mail").toInt(), 3);
    EXPECT_EQ(recovered.value("appointments").toInt(), 1);
    EXPECT_EQ(recovered.value("contacts").toInt(), 1);
    EXPECT_EQ(recovered.value("unreadable").toInt(), 0);
    EXPECT_EQ(orphans.value("mail").toInt(), 1);

    QTemporaryDir destination;
    const auto run = RunCli({"convert", "--recover", mailbox.path, destination.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Recovered: 3 mails, 1 appointment, 1 contact\n")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Orphans: 1 mail\n"));
    EXPECT_TRUE(run.out.contains("Recovered mail: 4 saved.\n")) << "deleted and orphan mail, all complete";
    QMap<QString, QByteArray> recoveredFiles;
    for (const QString& file : FilesBelow(destination.path(), ".eml")) {
        const QByteArray bytes = testing::ReadAll(file);
        const bool marked = bytes.contains("X-Tolvane-Recovered: yes");
        const bool fromRecovery = file.contains("/Recovered items/") || file.contains("/Orphan items/");
        EXPECT_EQ(marked, fromRecovery) << file.toStdString();
        if (fromRecovery)
            recoveredFiles.insert(QFileInfo(file).completeBaseName(), bytes);
    }
    ASSERT_EQ(recoveredFiles.size(), 4) << QStringList(recoveredFiles.keys()).join(", ").toStdString();
    const auto fileStartingWith = [&](const char* subject) {
        for (auto it = recoveredFiles.begin(); it != recoveredFiles.end(); ++it)
            if (it.key().startsWith(QLatin1String(subject)))
                return it.value();
        return QByteArray();
    };
    const QByteArray withAttachment = fileStartingWith("Deleted with attachment");
    EXPECT_TRUE(withAttachment.contains("deleted words one"));
    EXPECT_TRUE(withAttachment.contains("report.txt"));
    EXPECT_TRUE(withAttachment.contains(QByteArray(RecoveryMailbox::kAttachment.data()).toBase64()));
    EXPECT_FALSE(withAttachment.contains("X-Tolvane-Incomplete"));
    EXPECT_TRUE(fileStartingWith("Draft v1").contains("first words")) << "the earlier version is kept as it was";
    EXPECT_TRUE(fileStartingWith("Orphaned mail").contains("orphan words"));
    EXPECT_EQ(FilesBelow(destination.path(), ".vcf").filter("/Recovered items/").size(), 1);
    EXPECT_EQ(FilesBelow(destination.path(), ".ics").filter("/Recovered items/").size(), 1);
    EXPECT_EQ(testing::PythonEmailDefects(destination.path()), QString());

    QTemporaryDir withoutRecovery;
    const auto plainRun = RunCli({"convert", mailbox.path, withoutRecovery.path()});
    EXPECT_EQ(plainRun.exitCode, 0);
    EXPECT_EQ(FilesBelow(withoutRecovery.path(), ".eml").size(), 4) << "the live mail only";
}

// Stop, confirmed at the search's end or while its finds are sorted or
// exported: the scan ends abandoned and says nothing more; the recovery's
// counts are not kept.
TEST(WrittenMailboxRecovery, AStopDuringTheRecoveryAbandonsTheScan)
{
    QTemporaryDir temp;
    const RecoveryMailbox mailbox(temp.filePath("stop.pst"));
    (void)mailbox.Write();
    const ProcessTempDir tempDir;
    auto scan = [&](bool recover, long stopAt, long* checkpoints) {
        ItemStore store;
        NumberingScanSink sink;
        WorkerGate gate;
        gate.setCheckpointHook([&](long ordinal) {
            *checkpoints = ordinal;
            if (ordinal == stopAt)
                gate.Abandon();
        });
        ShownScan shown;
        shown.request.pstPath = mailbox.path;
        shown.request.store = &store;
        shown.request.gate = &gate;
        shown.request.tempDir = &tempDir;
        shown.request.recover = recover;
        shown.sink = &sink;
        shown.rootNode = sink.InsertFolderNode(0, mailbox.path);
        const ScanOutcome outcome = RunShownScan(shown);
        EXPECT_EQ(outcome == ScanOutcome::Abandoned, stopAt > 0);
        EXPECT_EQ(sink.notices().isEmpty(), stopAt > 0) << sink.notices().join(u'|').toStdString();
        EXPECT_EQ(store.recoveryReport().has_value(), recover && stopAt == 0);
    };
    long folderCheckpoints = 0;
    scan(false, 0, &folderCheckpoints);
    long recoveryCheckpoints = 0;
    scan(true, 0, &recoveryCheckpoints);
    // The search's end, the sorting of its first find, the export of the first item.
    ASSERT_GT(recoveryCheckpoints, folderCheckpoints + 8);
    for (const long stopAt : {folderCheckpoints + 1, folderCheckpoints + 2, recoveryCheckpoints}) {
        SCOPED_TRACE(stopAt);
        long reached = 0;
        scan(true, stopAt, &reached);
        EXPECT_EQ(reached, stopAt) << "nothing is read after the Stop";
    }
}

// A deleted message whose blocks were partly used again: what cannot be read
// is left out of that item only, and it is still written with the rest, its
// damage named; the other deleted mail and the live mail come out whole.
struct RecoveryDamage {
    const char* name;
    bool lastBlock;  // the property context (else the recipient table, written first)
    pstwriter::BlockDamage damage;
    int recoveredMail;     // 3 when the damaged mail is still found
    bool writtenIncomplete;  // the damaged mail is written, saying what it lacks
};

class DamagedRecoveryTest : public ::testing::TestWithParam<RecoveryDamage> {};

TEST_P(DamagedRecoveryTest, OnlyTheDamagedItemSuffersAndItSaysSo)
{
    QTemporaryDir temp;
    const RecoveryMailbox mailbox(temp.filePath("damaged.pst"));
    const pstwriter::WrittenLayout layout = mailbox.Write();
    const auto& blocks = layout.deleted.at(mailbox.deletedPlain).blocks;
    ASSERT_FALSE(blocks.empty());
    pstwriter::DamageBlock(mailbox.path.toStdString(), GetParam().lastBlock ? blocks.back() : blocks.front(),
                           GetParam().damage);

    const QJsonObject scan = ScanJson({"--recover", mailbox.path});
    EXPECT_EQ(scan.value("recovery").toObject().value("recovered").toObject().value("mail").toInt(),
              GetParam().recoveredMail);
    EXPECT_EQ(SubjectsIn(scan, "Inbox"), QStringList({"Draft v2", "Kept once", "Live one", "Live two"}));

    QTemporaryDir destination;
    const auto run = RunCli({"convert", "--recover", mailbox.path, destination.path()});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, GetParam().writtenIncomplete ? 4 : 0) << run.out.toStdString();
    int incomplete = 0;
    for (const QString& file : FilesBelow(destination.path(), ".eml")) {
        const QByteArray bytes = testing::ReadAll(file);
        if (bytes.contains("X-Tolvane-Incomplete")) {
            ++incomplete;
            EXPECT_TRUE(file.contains("/Recovered items/Deleted plain")) << file.toStdString();
        }
        if (file.contains("/Recovered items/Deleted with attachment"))
            EXPECT_TRUE(bytes.contains("deleted words one"));
    }
    EXPECT_EQ(incomplete, GetParam().writtenIncomplete ? 1 : 0);
    if (GetParam().writtenIncomplete) {
        EXPECT_TRUE(run.out.contains("Recovered mail: 4 saved, 1 with other missing parts.")) << run.out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedRecoveryTest,
    ::testing::Values(RecoveryDamage{"PropertiesZeroed", true, pstwriter::BlockDamage::Zeroed, 2, false},
                      RecoveryDamage{"PropertiesGarbled", true, pstwriter::BlockDamage::DataGarbled, 2, false},
                      RecoveryDamage{"RecipientsZeroed", false, pstwriter::BlockDamage::Zeroed, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Deleted mail enough to keep several workers busy, two deleted versions of
// one message (one identifier, different blocks), an orphan and live mail.
// Every body says which mail it is: "words of SUBJECT".
struct ManyVersionsMailbox {
    static constexpr int kDeletedMail = 9;
    pstwriter::PstBuilder pst;
    QString path;

    explicit ManyVersionsMailbox(const QString& file) : path(file)
    {
        using pstwriter::Message;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox").containerClass("IPF.Note");
        const auto mail = [](Message& message, const QString& subject) -> Message& {
            return message.subject(subject.toStdString())
                .from("Ann", "ann@example.com")
                .to("Bob", "bob@example.com")
                .body(BodyOf(subject).toStdString());
        };
        mail(inbox.addMessage(), QStringLiteral("Live"));
        for (int number = 1; number <= kDeletedMail; ++number)
            mail(inbox.addDeletedMessage(), QStringLiteral("Deleted %1").arg(number));
        Message earlier("IPM.Note"), later("IPM.Note");
        inbox.addDeletedRevisedMessage(std::move(mail(earlier, QStringLiteral("Memo v1"))),
                                       std::move(mail(later, QStringLiteral("Memo v2"))));
        mail(pst.addOrphanMessage(), QStringLiteral("Orphaned memo"));
        pst.Write(path.toStdString());
    }
    static QString BodyOf(const QString& subject) { return QStringLiteral("words of ") + subject; }
    static QStringList RecoveredSubjects()
    {
        QStringList subjects{QStringLiteral("Memo v1"), QStringLiteral("Memo v2"), QStringLiteral("Orphaned memo")};
        for (int number = 1; number <= kDeletedMail; ++number)
            subjects << QStringLiteral("Deleted %1").arg(number);
        subjects.sort();
        return subjects;
    }
};

const MailRecord* RecordWithSubject(const ItemStore& store, const QString& subject)
{
    for (const auto& record : store.mailRecords())
        if (record->subject == subject)
            return record.get();
    return nullptr;
}

struct WorkersCase {
    const char* name;
    bool recover;  // the scan recovered, so the conversion has recovered items to read
    int workers;
    int searches;  // how often the conversion searched the file for deleted items
};

class ConversionWorkersRecoveryTest : public ::testing::TestWithParam<WorkersCase> {};

// Every recovered item comes out once, as itself (each body names its
// subject), and the file is searched once whatever the number of workers.
TEST_P(ConversionWorkersRecoveryTest, OneSearchAndEveryRecoveredItemOnceAndRight)
{
    const WorkersCase param = GetParam();
    QTemporaryDir temp;
    const ManyVersionsMailbox mailbox(temp.filePath("versions.pst"));
    ItemStore store;
    ProcessTempDir tempDir;
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(mailbox.path, store, tempDir, scanSink, nullptr, nullptr, ItemDetail::Listed,
                                   param.recover),
              ScanOutcome::Completed);

    std::atomic<int> searches{0};
    testing::RecordingConversionSink sink;
    ConversionRequest request;
    request.pstPath = mailbox.path;
    request.destinationPath = temp.filePath("out");
    QDir().mkpath(request.destinationPath);
    request.store = &store;
    request.sink = &sink;
    request.workers = param.workers;
    request.clock = [] { return QDateTime(QDate(2011, 3, 5), QTime(9, 7)); };
    request.deletedItemSearchHook = [&searches] { ++searches; };
    ConversionDriver driver;
    ASSERT_EQ(RefusalOf(driver.Start(request)), kStarted);
    const ConversionSummary summary = driver.Wait();
    EXPECT_EQ(searches.load(), param.searches);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Mail), 0);

    QStringList recovered;
    for (const QString& file : FilesBelow(request.destinationPath, ".eml")) {
        if (!file.contains("/Recovered items/") && !file.contains("/Orphan items/"))
            continue;
        const auto message = testing::ParseWithGMime(testing::ReadAll(file));
        ASSERT_TRUE(message) << file.toStdString();
        const QString subject = QString::fromUtf8(g_mime_message_get_subject(message.get()));
        recovered << subject;
        EXPECT_TRUE(testing::ReadAll(file).contains(ManyVersionsMailbox::BodyOf(subject).toUtf8()))
            << subject.toStdString() << " carries another item's body";
    }
    recovered.sort();
    EXPECT_EQ(recovered, param.recover ? ManyVersionsMailbox::RecoveredSubjects() : QStringList());
}

INSTANTIATE_TEST_SUITE_P(Workers, ConversionWorkersRecoveryTest,
                         ::testing::Values(WorkersCase{"NotRecovered", false, 3, 0},
                                           WorkersCase{"OneWorker", true, 1, 1},
                                           WorkersCase{"ThreeWorkers", true, 3, 1},
                                           WorkersCase{"FiveWorkers", true, 5, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

class RecoveredItemReadersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        mailbox_ = std::make_unique<ManyVersionsMailbox>(temp_.filePath("versions.pst"));
        cli::HeadlessScanSink scanSink;
        ASSERT_EQ(cli::RunHeadlessScan(mailbox_->path, store_, tempDir_, scanSink, nullptr, nullptr,
                                       ItemDetail::Listed, true),
                  ScanOutcome::Completed);
        earlier_ = RecordWithSubject(store_, "Memo v1");
        later_ = RecordWithSubject(store_, "Memo v2");
        ASSERT_TRUE(earlier_ != nullptr && later_ != nullptr);
    }

    // The subject of the message `reader` reads at `location`; null when it finds none.
    static QString SubjectAt(MailboxReader& reader, const ItemLocation& location)
    {
        const auto read = reader.ReadMessage(location);
        return read ? read->subject : QString();
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    std::unique_ptr<ManyVersionsMailbox> mailbox_;
    ItemStore store_;
    const MailRecord* earlier_ = nullptr;
    const MailRecord* later_ = nullptr;
};

// Readers opened alongside one another take turns at the recovered items:
// the first one asked searches, the others use what it found.
TEST_F(RecoveredItemReadersTest, ReadersOpenedAlongsideShareOneSearch)
{
    int searches = 0;
    std::vector<std::unique_ptr<MailboxReader>> readers;
    readers.push_back(std::make_unique<MailboxReader>());
    ASSERT_TRUE(readers.front()->Open(mailbox_->path, store_.mailboxIdentity(), [&searches] { ++searches; }));
    for (int more = 0; more < 3; ++more) {
        readers.push_back(std::make_unique<MailboxReader>());
        ASSERT_TRUE(readers.back()->OpenAlongside(mailbox_->path, *readers.front()));
    }
    EXPECT_EQ(searches, 0) << "nothing recovered asked for yet";
    EXPECT_EQ(SubjectAt(*readers.back(), RecordWithSubject(store_, "Live")->location), QStringLiteral("Live"));
    EXPECT_EQ(searches, 0) << "live items never need the search";

    int read = 0;
    for (const auto& record : store_.mailRecords()) {
        if (record->location.source != ItemSource::Recovered)
            continue;
        MailboxReader& reader = *readers[read++ % readers.size()];
        EXPECT_EQ(SubjectAt(reader, record->location), record->subject);
    }
    EXPECT_EQ(read, ManyVersionsMailbox::kDeletedMail + 2);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(SubjectAt(*readers[1], RecordWithSubject(store_, "Orphaned memo")->location),
              QStringLiteral("Orphaned memo"));
    EXPECT_EQ(searches, 1) << "orphans are listed without the search";
}

// The two versions share an identifier; what tells them apart is the blocks
// each came from, not the place libpff listed them.
TEST_F(RecoveredItemReadersTest, AVersionIsFoundByItsBlocksWhereverItIsListed)
{
    ASSERT_EQ(earlier_->location.topLevelIdentifier, later_->location.topLevelIdentifier);
    ASSERT_NE(earlier_->location.sourceIndex, later_->location.sourceIndex);
    if (!later_->location.sourceBlocks)
        GTEST_SKIP() << "this libpff cannot say which blocks an item came from (Debian's build): "
                        "recovered items are found at their position, checked against the identifier";
    ASSERT_TRUE(earlier_->location.sourceBlocks.has_value());
    EXPECT_NE(*earlier_->location.sourceBlocks, *later_->location.sourceBlocks);

    MailboxReader reader;
    ASSERT_TRUE(reader.Open(mailbox_->path, store_.mailboxIdentity()));
    struct Moved {
        const char* name;
        int sourceIndex;
    };
    ItemLocation elsewhere = later_->location;
    const Moved cases[] = {
        {"at its own position", later_->location.sourceIndex},
        {"at the other version's position", earlier_->location.sourceIndex},
        {"with no position", -1},
        {"past the list's end", 10000},
    };
    for (const Moved& moved : cases) {
        SCOPED_TRACE(moved.name);
        elsewhere.sourceIndex = moved.sourceIndex;
        EXPECT_EQ(SubjectAt(reader, elsewhere), QStringLiteral("Memo v2"));
    }
    // Blocks no entry has: no item, although the identifier and position fit.
    ItemLocation gone = later_->location;
    gone.sourceBlocks->data ^= 0x10000;
    EXPECT_EQ(SubjectAt(reader, gone), QString());
}

}  // namespace
}  // namespace tolvane
