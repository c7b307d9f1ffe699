// The vCard, iCalendar and attachment sinks: the name each format gives a
// file, a second file of the same name beside the first, the digest of what
// was written, and typed failures when the folder's directory is gone or no
// output folder was made.
#include "convert/output/FileSinks.h"
#include "convert/output/OutputTree.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace tolvane {
namespace {

QByteArray ContentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct NamingCase {
    const char* title;
    FileFormat format;
    QString nameText;
    QString nameLeftFree;
    QString first;   // the name the first file takes
    QString second;  // the name the same item takes when the first is there
};

TEST(FileSinksTest, EachFormatNamesItsFileAndNeverReplacesOne)
{
    const NamingCase cases[] = {
        {"vCard", FileFormat::VCard, QStringLiteral("Ann Berg"), QString(), QStringLiteral("Ann Berg.vcf"),
         QStringLiteral("Ann Berg-2.vcf")},
        {"iCalendar", FileFormat::ICalendar, QStringLiteral("Calendar"), QString(), QStringLiteral("Calendar.ics"),
         QStringLiteral("Calendar-2.ics")},
        {"attachment", FileFormat::AttachmentFile, QStringLiteral("plan.pdf"), QStringLiteral("Calendar.ics"),
         QStringLiteral("plan.pdf"), QStringLiteral("plan-2.pdf")},
        {"attachment named like its calendar", FileFormat::AttachmentFile, QStringLiteral("Calendar.ics"),
         QStringLiteral("Calendar.ics"), QStringLiteral("Calendar-attachment.ics"),
         QStringLiteral("Calendar-2.ics")},
        {"attachment without a name", FileFormat::AttachmentFile, QString(), QString(), QStringLiteral("attachment"),
         QStringLiteral("attachment-2")},
    };
    for (const NamingCase& c : cases) {
        SCOPED_TRACE(c.title);
        QTemporaryDir temp;
        auto created = OutputTree::Create(temp.path(), QStringLiteral("out"));
        ASSERT_TRUE(created);
        OutputTree& output = **created;
        const std::unique_ptr<FileSink> sink = MakeFileSink(c.format, &output);
        const QByteArray content("BEGIN:THING\r\nEND:THING\r\n");
        const FileToSave item{QStringLiteral("\\Top\\Folder"), c.nameText, content, c.nameLeftFree};
        const SaveResult first = sink->Save(item);
        const SaveResult second = sink->Save(item);
        ASSERT_TRUE(first) << qPrintable(first.error().reason);
        ASSERT_TRUE(second) << qPrintable(second.error().reason);
        const QString directory = output.rootPath() + QStringLiteral("/Top/Folder/");
        EXPECT_EQ(first->path, directory + c.first);
        EXPECT_EQ(second->path, directory + c.second);
        EXPECT_EQ(ContentOf(first->path), content);
        EXPECT_EQ(first->digest.size, content.size());
        EXPECT_EQ(first->digest.sha256, QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        EXPECT_FALSE(first->offset);
        EXPECT_EQ(QDir(directory).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
}

TEST(FileSinksTest, AFolderWhoseDirectoryIsGoneFailsWithoutMakingItAgain)
{
    for (const FileFormat format : {FileFormat::VCard, FileFormat::ICalendar, FileFormat::AttachmentFile}) {
        SCOPED_TRACE(static_cast<int>(format));
        QTemporaryDir temp;
        auto created = OutputTree::Create(temp.path(), QStringLiteral("out"));
        ASSERT_TRUE(created);
        OutputTree& output = **created;
        const std::unique_ptr<FileSink> sink = MakeFileSink(format, &output);
        const SaveResult placed = sink->Save(FileToSave{QStringLiteral("\\Top\\A"), QStringLiteral("x"), "x", {}});
        ASSERT_TRUE(placed) << qPrintable(placed.error().reason);
        ASSERT_TRUE(QFile::remove(placed->path));
        const QString top = output.rootPath() + QStringLiteral("/Top");
        ASSERT_TRUE(QDir(top).rmdir(QStringLiteral("A")));
        ASSERT_TRUE(QDir(output.rootPath()).rmdir(QStringLiteral("Top")));

        // A folder below the removed one: its directory cannot be made.
        const SaveResult below = sink->Save(FileToSave{QStringLiteral("\\Top\\B"), QStringLiteral("y"), "y", {}});
        ASSERT_FALSE(below);
        EXPECT_EQ(below.error().kind, WriteFailure::NoDirectory);
        EXPECT_FALSE(below.error().reason.isEmpty());
        // The removed folder itself: the file has nowhere to go.
        const SaveResult again = sink->Save(FileToSave{QStringLiteral("\\Top\\A"), QStringLiteral("z"), "z", {}});
        ASSERT_FALSE(again);
        EXPECT_EQ(again.error().kind, WriteFailure::FileSystem);
        EXPECT_FALSE(QFileInfo::exists(top));
    }
}

TEST(FileSinksTest, WithoutAnOutputFolderEverySaveFails)
{
    for (const FileFormat format : {FileFormat::VCard, FileFormat::ICalendar, FileFormat::AttachmentFile}) {
        const SaveResult result =
            MakeFileSink(format, nullptr)->Save(FileToSave{QStringLiteral("\\Top"), QStringLiteral("x"), "x", {}});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, WriteFailure::NoOutputFolder);
    }
}

}  // namespace
}  // namespace tolvane
