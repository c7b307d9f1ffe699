// Offline cache files (OST) through tolvane-cli: refused without --allow-ost
// with the option named, read and converted with it, the cache's own folders
// written like any folder and a mail it holds the header of alone counted
// incomplete. Other files of the family stay refused either way.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/support/CliRun.h"
#include "pstwriter/PropertyTags.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::CliRun;
using testing::OutputFolderIn;
using testing::RunCli;

// The message status a cache gives a mail it holds the header of alone.
constexpr int32_t kHeaderOnly = 0x00010000;

// A cache with mail in Inbox (one of them only its header), the sync-issue
// folders the client makes, and a folder of the cache's own beside the top folder.
QString WriteCache(const QTemporaryDir& directory, pstwriter::ContentType type, const char* name)
{
    const QString path = directory.filePath(QString::fromLatin1(name));
    pstwriter::PstBuilderOptions options;
    options.contentType = type;
    pstwriter::PstBuilder pst(options);
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    for (const char* subject : {"Downloaded one", "Downloaded two"})
        inbox.addMessage().subject(subject).from("Ann", "ann@example.com").to("Bo", "bo@example.com").body("Full text.");
    inbox.addMessage()
        .subject("Only the header")
        .from("Cy", "cy@example.com")
        .to("Bo", "bo@example.com")
        .property(pstwriter::MakeTag(0x0E17, pstwriter::PtLong), kHeaderOnly);
    auto& sync = pst.topOfPersonalFolders().addFolder("Sync Issues");
    sync.addMessage().subject("Synchronization log").from("Client", "client@example.com").body("Log.");
    for (const char* folder : {"Conflicts", "Local Failures", "Server Failures"})
        sync.addFolder(folder).addMessage().subject(folder).from("Client", "client@example.com").body("Item.");
    pst.rootFolder().addFolder("Common Views").addMessage().subject("A view's item").body("View.");
    pst.Write(path.toStdString());
    return path;
}

// The .eml files below `root`, by the name of the directory they are in.
QMap<QString, int> MailByFolder(const QString& root)
{
    QMap<QString, int> folders;
    for (QDirIterator it(root, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        ++folders[QFileInfo(it.next()).dir().dirName()];
    return folders;
}

TEST(OfflineCacheTest, RefusedWithoutTheOptionWhichIsNamedAndConvertedWithIt)
{
    QTemporaryDir directory;
    const QString cache = WriteCache(directory, pstwriter::ContentType::OfflineCache, "mailbox.ost");
    const QString refusal = QStringLiteral("tolvane-cli: %1: is an offline cache file (OST), not a PST (--allow-ost reads it)\n").arg(cache);

    // Without the option: nothing is read or written.
    for (const QStringList& arguments : {QStringList{"scan", cache}, QStringList{"convert", cache, directory.path()}}) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments.first().toStdString();
        EXPECT_TRUE(run.err.endsWith(refusal)) << run.err.toStdString();
    }
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});

    // With it: the scan lists the cache's folders.
    const CliRun paths = RunCli({"scan", "--paths", "--allow-ost", cache});
    ASSERT_EQ(paths.exitCode, 0) << paths.err.toStdString();
    for (const char* folder : {"Top of Personal Folders/Inbox", "Top of Personal Folders/Sync Issues/Conflicts",
                               "Top of Personal Folders/Sync Issues/Server Failures", "Common Views", "Search Root"})
        EXPECT_TRUE(paths.out.split(u'\n').contains(QString::fromLatin1(folder))) << folder << "\n" << paths.out.toStdString();

    // The conversion writes every folder; the header-only mail is incomplete (status 4).
    QTemporaryDir destination;
    const CliRun converted = RunCli({"convert", "--json", "--allow-ost", cache, destination.path()});
    EXPECT_EQ(converted.exitCode, 4) << converted.err.toStdString();
    const QJsonObject counts = QJsonDocument::fromJson(converted.out.toUtf8()).object().value("counts").toObject();
    EXPECT_EQ(counts.value("mailSaved").toInt(), 7);
    EXPECT_EQ(counts.value("mailIncomplete").toInt(), 1);
    EXPECT_EQ(counts.value("mailFailed").toInt(), 0);
    const QString root = OutputFolderIn(destination.path());
    EXPECT_EQ(MailByFolder(root), (QMap<QString, int>{{"Inbox", 3},
                                                       {"Sync Issues", 1},
                                                       {"Conflicts", 1},
                                                       {"Local Failures", 1},
                                                       {"Server Failures", 1},
                                                       {"Common Views", 1}}));
    // Only the mail never downloaded says so, and says what it lacks.
    int incomplete = 0;
    for (QDirIterator it(root, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const bool headerOnly = text.contains("Subject: Only the header");
        EXPECT_EQ(text.contains("X-Tolvane-Incomplete:"), headerOnly) << file.fileName().toStdString();
        if (headerOnly) {
            ++incomplete;
            EXPECT_TRUE(text.contains("never downloaded")) << text.toStdString();
            EXPECT_TRUE(text.contains("From: Cy <cy@example.com>")) << "what the header holds is written";
        }
    }
    EXPECT_EQ(incomplete, 1);
    EXPECT_EQ(RunCli({"verify", root}).exitCode, 0);
}

// Mails carrying the status bits of a cache that holds the header alone.
// Only an offline cache can leave a mail's content on the server, and only a
// mail without body or attachment shows it did: a personal folders file may
// carry the bits over whole mails, and so may a cache's mails downloaded later.
struct StatusBitsMail {
    const char* subject;
    int32_t status;
    bool holdsContent;  // a body and an attachment
};

const StatusBitsMail kStatusBitsMails[] = {
    {"Marked for download", 0x00001000, true},
    {"Header only", 0x00010000, true},
    {"Partly downloaded", 0x00080000, true},
    {"Partly downloaded, later part", 0x00100000, true},
    {"All four bits", 0x00191000, true},
    {"Header only, nothing else", 0x00010000, false},
};

TEST(OfflineCacheTest, StatusBitsMarkAMailIncompleteOnlyInACacheAndOnlyWithoutItsContent)
{
    for (const auto type : {pstwriter::ContentType::PersonalFolders, pstwriter::ContentType::OfflineCache}) {
        const bool cache = type == pstwriter::ContentType::OfflineCache;
        SCOPED_TRACE(cache ? "offline cache" : "personal folders");
        QTemporaryDir directory;
        const QString path = directory.filePath(cache ? QStringLiteral("bits.ost") : QStringLiteral("bits.pst"));
        pstwriter::PstBuilderOptions options;
        options.contentType = type;
        pstwriter::PstBuilder pst(options);
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        for (const StatusBitsMail& mail : kStatusBitsMails) {
            auto& message = inbox.addMessage().subject(mail.subject).from("Cy", "cy@example.com").to("Bo", "bo@example.com");
            message.property(pstwriter::MakeTag(0x0E17, pstwriter::PtLong), mail.status);
            if (mail.holdsContent)
                message.body("The whole text.").attach("report.txt", pstwriter::Bytes(40, 'r'), "text/plain");
        }
        pst.Write(path.toStdString());

        QTemporaryDir destination;
        QStringList arguments{"convert", "--json", path, destination.path()};
        if (cache)
            arguments.insert(2, QStringLiteral("--allow-ost"));
        const CliRun converted = RunCli(arguments);
        const int expectedIncomplete = cache ? 1 : 0;
        EXPECT_EQ(converted.exitCode, expectedIncomplete > 0 ? 4 : 0) << converted.err.toStdString();
        const QJsonObject counts = QJsonDocument::fromJson(converted.out.toUtf8()).object().value("counts").toObject();
        // Saved counts the mails written complete.
        EXPECT_EQ(counts.value("mailSaved").toInt(), static_cast<int>(std::size(kStatusBitsMails)) - expectedIncomplete);
        EXPECT_EQ(counts.value("mailIncomplete").toInt(), expectedIncomplete);

        QStringList seen;
        const QString root = OutputFolderIn(destination.path());
        for (QDirIterator it(root, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            for (const StatusBitsMail& mail : kStatusBitsMails) {
                if (!text.contains(QByteArray("Subject: ") + mail.subject + "\r\n")
                    && !text.contains(QByteArray("Subject: ") + mail.subject + "\n"))
                    continue;
                seen << QString::fromLatin1(mail.subject);
                const bool incomplete = cache && !mail.holdsContent;
                EXPECT_EQ(text.contains("never downloaded"), incomplete) << mail.subject;
                EXPECT_EQ(text.contains("X-Tolvane-Incomplete:"), incomplete) << mail.subject;
                if (mail.holdsContent) {
                    EXPECT_TRUE(text.contains("report.txt")) << mail.subject;
                }
            }
        }
        EXPECT_EQ(seen.size(), static_cast<qsizetype>(std::size(kStatusBitsMails))) << seen.join(u',').toStdString();
        EXPECT_EQ(RunCli({"verify", root}).exitCode, 0);
    }
}

// The option opens offline caches alone: an address book or an unknown
// content type is still refused, and so is a file in the 4 KiB-page layout
// of newer caches that cannot be read, with the layout named.
TEST(OfflineCacheTest, OtherContentTypesAndUnreadableFourKiBPageFilesAreRefusedWithTheirReason)
{
    QTemporaryDir directory;
    auto patched = [&](const char* name, qint64 offset, QByteArray bytes) {
        const QString path = WriteCache(directory, pstwriter::ContentType::PersonalFolders, name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(offset);
        file.write(bytes);
        return path;
    };
    struct Case {
        const char* name;
        QString path;
        const char* reason;
    };
    const Case cases[] = {
        {"address book", patched("book.pab", 8, "AB"), ": is an address book, not a PST\n"},
        {"unknown type", patched("odd.pst", 8, "XY"), ": is of the PST family but of content type \"XY\", not a PST\n"},
        {"4 KiB pages", patched("new.ost", 8, QByteArray("SO\x24\x00", 4)),
         " (it is in the 4 KiB-page format, version 36, of newer offline caches)\n"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"scan", "convert"}) {
            QStringList arguments{QString::fromLatin1(command), "--allow-ost", c.path};
            if (QByteArray(command) == "convert")
                arguments << directory.path();
            const CliRun run = RunCli(arguments);
            EXPECT_FALSE(run.crashed) << c.name;
            EXPECT_NE(run.exitCode, 0) << c.name << " " << command;
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("tolvane-cli: ") + c.path)) << run.err.toStdString();
            EXPECT_TRUE(run.err.endsWith(QString::fromUtf8(c.reason))) << c.name << " " << command << ": "
                                                                          << run.err.toStdString();
        }
    }
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});
}

}  // namespace
}  // namespace tolvane
