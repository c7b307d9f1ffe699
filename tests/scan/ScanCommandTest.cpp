// tolvane-cli scan as a user runs it: exit statuses, notices on stderr,
// the text tree and the JSON document; damaged and foreign files never crash it.
#include "tests/support/CliRun.h"
#include "tests/scan/ScanTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace tolvane::testing;

namespace {

// The command line names the file and what is wrong with it, in one line;
// the window's notices are the window's.
QString Problem(const QString& path, const QString& what)
{
    return QStringLiteral("tolvane-cli: %1: %2\n").arg(path, what);
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

QByteArray ReadSample(const char* name)
{
    QFile file(SamplePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

TEST(ScanCommand, UsageErrors)
{
    EXPECT_EQ(RunCli({QStringLiteral("scan")}).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("scan"), QStringLiteral("--bogus"), QStringLiteral("x.pst")}).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("scan"), QStringLiteral("a.pst"), QStringLiteral("b.pst")}).exitCode, 2);
    EXPECT_EQ(RunCli({}).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("frobnicate")}).exitCode, 2);
    const CliRun help = RunCli({QStringLiteral("scan"), QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: tolvane-cli scan")));
    EXPECT_EQ(RunCli({QStringLiteral("--help")}).exitCode, 0);
}

struct BadFileCase {
    const char* name;
    QByteArray content;
    const char* problem;
};

TEST(ScanCommand, FilesThatAreNoPstAtAll)
{
    QTemporaryDir dir;
    const std::vector<BadFileCase> cases = {
        {"text.pst", QByteArray("This is just a text file.\n"), "not a PST file (it does not start with the PST signature)"},
        {"empty.pst", QByteArray(), "is empty, not a PST file"},
        {"short.pst", QByteArray("!BDN"), "truncated at byte 4, too short for a PST header"},
        {"zeros.pst", QByteArray(4096, '\0'), "not a PST file (it does not start with the PST signature)"},
    };
    for (const BadFileCase& c : cases) {
        const QString path = WriteFile(dir, QString::fromLatin1(c.name), c.content);
        const CliRun run = RunCli({QStringLiteral("scan"), path});
        EXPECT_FALSE(run.crashed) << c.name;
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.err, Problem(path, QString::fromLatin1(c.problem))) << c.name;
        EXPECT_TRUE(run.out.isEmpty()) << c.name;
    }
    // A file that is not there is named as such, not called corrupted.
    const QString missingPath = dir.filePath(QStringLiteral("missing.pst"));
    const CliRun missing = RunCli({QStringLiteral("scan"), missingPath});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, QStringLiteral("tolvane-cli: cannot open %1: No such file or directory\n").arg(missingPath));
}

TEST(ScanCommand, OtherContentTypesAreRefusedFirst)
{
    QByteArray pst = ReadSample("sample1.pst");
    if (pst.isEmpty())
        GTEST_SKIP() << "sample1.pst not present in " TOLVANE_SAMPLES_DIR;
    QTemporaryDir dir;
    const std::pair<const char*, const char*> kinds[] = {{"SO", "is an offline cache file (OST), not a PST (--allow-ost reads it)"},
                                                         {"AB", "is an address book, not a PST"}};
    for (const auto& [contentType, problem] : kinds) {
        QByteArray other = pst;
        other[8] = contentType[0];
        other[9] = contentType[1];
        const QString path = WriteFile(dir, QStringLiteral("copy-%1.ost").arg(QLatin1String(contentType)), other);
        const CliRun run = RunCli({QStringLiteral("scan"), path});
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 1) << contentType;
        EXPECT_EQ(run.err, Problem(path, QString::fromLatin1(problem))) << contentType;

        const CliRun json = RunCli({QStringLiteral("scan"), QStringLiteral("--json"), path});
        EXPECT_EQ(json.exitCode, 1);
        const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
        EXPECT_EQ(object.value(QStringLiteral("result")).toString(), QStringLiteral("not-pst"));
        EXPECT_TRUE(object.value(QStringLiteral("mail")).toArray().isEmpty());
    }
}

TEST(ScanCommand, TruncatedAndDamagedFilesNeverCrash)
{
    const QByteArray pst = ReadSample("msgInMsg.pst");
    if (pst.isEmpty())
        GTEST_SKIP() << "msgInMsg.pst not present in " TOLVANE_SAMPLES_DIR;
    QTemporaryDir dir;
    int index = 0;
    // Exit 0, or 1 or 3 with one line naming the file: `expected` exactly
    // when given, else any account of it.
    auto check = [&](const QByteArray& content, const QString& what, const QString& expected) {
        const QString path = WriteFile(dir, QStringLiteral("damaged-%1.pst").arg(index++), content);
        const CliRun run = RunCli({QStringLiteral("scan"), path});
        EXPECT_FALSE(run.crashed) << qPrintable(what);
        switch (run.exitCode) {
        case 0: EXPECT_TRUE(run.err.endsWith(QStringLiteral("Analysis completed\n"))) << qPrintable(what); break;
        case 1:
        case 3:
            if (!expected.isEmpty())
                EXPECT_EQ(run.err, Problem(path, expected)) << qPrintable(what);
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("tolvane-cli: %1: ").arg(path))) << qPrintable(run.err);
            EXPECT_EQ(run.err.count(u'\n'), 1) << qPrintable(run.err);
            break;
        default: ADD_FAILURE() << qPrintable(what) << " exit " << run.exitCode;
        }
    };
    // Cut short: the header says how long the file was.
    for (qsizetype size : std::initializer_list<qsizetype>{512, 600, 4096, 20000, 100000, 200000, pst.size() - 1})
        check(pst.left(size), QStringLiteral("truncated to %1").arg(size),
              QStringLiteral("truncated at byte %1 (its header says it has %2 bytes)").arg(size).arg(pst.size()));
    check(pst.left(16), QStringLiteral("truncated to 16"),
          QStringLiteral("truncated at byte 16, too short for a PST header"));
    // Blocks of the file overwritten with a byte pattern.
    for (qsizetype offset = 0x4000; offset + 512 <= pst.size(); offset += 0x6000) {
        QByteArray damaged = pst;
        for (qsizetype i = 0; i < 512; ++i)
            damaged[offset + i] = static_cast<char>((i * 37 + 11) & 0xFF);
        check(damaged, QStringLiteral("block at %1 overwritten").arg(offset), QString());
    }
}

TEST(ScanCommand, TextTreeWithCounts)
{
    const QString path = SamplePath("dist-list.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    const CliRun run = RunCli({QStringLiteral("scan"), path});
    EXPECT_EQ(run.exitCode, 0);
    // Its free/busy data is read whole, named, and is no reason to fail.
    EXPECT_EQ(run.err, QStringLiteral("Analysis completed\n"
                                      "Items not converted (no mail, contact or calendar item): 1\n"
                                      "  \\Freebusy Data, item 1: IPM.Microsoft.ScheduleData.FreeBusy\n"));
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), path);
    EXPECT_TRUE(lines.contains(QStringLiteral("  Top of Personal Folders  (mail 0, contacts 0, appointments 0)")));
    // The two appointments embedded in the calendar's items belong to its folder, as --dry-run counts them.
    EXPECT_TRUE(lines.contains(QStringLiteral("    Calendar  (mail 0, contacts 0, appointments 3)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    Contacts  (mail 0, contacts 1, appointments 0)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    All Messages  (mail 0, contacts 0, appointments 0)")));
}

TEST(ScanCommand, JsonCarriesEveryRecordField)
{
    const QString path = SamplePath("msgInMsg.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    const CliRun run = RunCli({QStringLiteral("scan"), QStringLiteral("--json"), path});
    ASSERT_EQ(run.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(object.value(QStringLiteral("file")).toString(), path);
    EXPECT_EQ(object.value(QStringLiteral("result")).toString(), QStringLiteral("completed"));

    const QJsonArray folders = object.value(QStringLiteral("folders")).toArray();
    ASSERT_EQ(folders.size(), 4);
    const QJsonObject top = folders.at(1).toObject();
    EXPECT_EQ(top.value(QStringLiteral("name")).toString(), QString::fromUtf8("Outlook データ ファイルのトップ"));
    EXPECT_EQ(top.value(QStringLiteral("parentText")).toString(), path);
    EXPECT_EQ(top.value(QStringLiteral("depth")).toInt(), 1);
    EXPECT_EQ(top.value(QStringLiteral("exportPath")).toString(), QString());
    const QJsonObject deleted = folders.at(2).toObject();
    EXPECT_EQ(deleted.value(QStringLiteral("depth")).toInt(), 2);
    EXPECT_EQ(deleted.value(QStringLiteral("exportPath")).toString(),
              QString::fromUtf8("\\Outlook データ ファイルのトップ"));

    const QJsonArray mail = object.value(QStringLiteral("mail")).toArray();
    ASSERT_EQ(mail.size(), 2);
    const QStringList mailFields = {
        "folderName", "recordKind", "itemKind", "senderAddress", "senderName", "recipients", "subject",
        "deliveryTime", "creationTime", "modificationTime", "size", "flag", "priority", "sensitivity",
        "importance", "body", "attachments", "bodyKind", "folderKey", "number", "itemIdentifier",
        "topLevelIdentifier", "attachmentPath"};
    for (const QString& field : mailFields)
        EXPECT_TRUE(mail.at(1).toObject().contains(field)) << qPrintable(field);
    const QJsonObject parent = mail.at(1).toObject();
    EXPECT_TRUE(parent.value(QStringLiteral("senderName")).toString() == QStringLiteral("Unknown"));
    EXPECT_EQ(parent.value(QStringLiteral("number")).toInt(), 2);
    EXPECT_EQ(object.value(QStringLiteral("contacts")).toArray().size(), 0);
    EXPECT_EQ(object.value(QStringLiteral("appointments")).toArray().size(), 0);
}

TEST(ScanCommand, JsonShowsAbsentTextsAsNull)
{
    const QString path = SamplePath("dist-list.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    const CliRun run = RunCli({QStringLiteral("scan"), QStringLiteral("--json"), path});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray contacts = object.value(QStringLiteral("contacts")).toArray();
    ASSERT_EQ(contacts.size(), 1);
    const QJsonObject contact = contacts.at(0).toObject();
    EXPECT_TRUE(contact.value(QStringLiteral("fullName")).isNull());
    EXPECT_EQ(contact.value(QStringLiteral("givenName")).toString(), QStringLiteral("contact"));
    EXPECT_EQ(contact.size(), 70 + 3);  // fields 1 to 70, plus the three location fields
}

}  // namespace
