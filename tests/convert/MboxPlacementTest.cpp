// The mbox writer's files as readers see them while and after a run: a
// folder's file appears whole when the run moves on, a folder whose mail
// comes again continues its file, a folder that got no message leaves none,
// and the manifest's last word on each file is what verify checks.
#include "convert/output/MailFolderFiles.h"
#include "convert/output/Manifest.h"
#include "convert/output/OutputTree.h"
#include "convert/output/OutputVerifier.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace tolvane {
namespace {

QByteArray Message(const std::string& subject)
{
    return QByteArray::fromStdString("Subject: " + subject + "\r\n\r\nbody of " + subject + "\r\n");
}

int Separators(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    int count = bytes.startsWith("From ") ? 1 : 0;
    for (qsizetype at = bytes.indexOf("\nFrom "); at >= 0; at = bytes.indexOf("\nFrom ", at + 1))
        ++count;
    return count;
}

struct Step {
    const char* folder;   // the folder key's last part, below "\Top"
    bool failsToWrite;    // the message's writer fails: nothing of it may stay
};

struct PlacementCase {
    const char* name;
    std::vector<Step> steps;
    // Per folder after the run: messages in its file, -1 for no file at all.
    std::vector<std::pair<const char*, int>> expected;
};

const PlacementCase kCases[] = {
    {"FolderAfterFolder", {{"A", false}, {"A", false}, {"B", false}}, {{"A", 2}, {"B", 1}}},
    {"AFolderComesBack", {{"A", false}, {"B", false}, {"A", false}, {"B", false}}, {{"A", 2}, {"B", 2}}},
    {"NothingWritten", {{"A", true}, {"B", false}}, {{"A", -1}, {"B", 1}}},
    {"AFailureInTheMiddle", {{"A", false}, {"A", true}, {"A", false}}, {{"A", 2}}},
};

class MboxPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(MboxPlacementTest, ReadersSeeWholeFilesAndVerifyAgrees)
{
    QTemporaryDir temp;
    auto created = OutputTree::Create(temp.path(), QStringLiteral("out"));
    ASSERT_TRUE(created) << qPrintable(created.error().reason);
    OutputTree& output = **created;
    ManifestWriter manifest;
    const WriteStep opened = manifest.Open(output, ManifestHeader{});
    ASSERT_TRUE(opened) << qPrintable(opened.error().reason);
    {
        MboxFiles files(&output, [&](const QString& path, const FileDigest& whole) { manifest.AddWholeFile(path, whole); });
        int number = 0;
        for (const Step& step : GetParam().steps) {
            const QString folder = QString::fromLatin1(step.folder);
            const std::string subject = std::string(step.folder) + std::to_string(++number);
            const ContentWriter write = [&](int fd) {
                const QByteArray bytes = Message(subject);
                if (WriteStep half = WriteAllTo(fd, bytes.constData(), bytes.size() / 2); !half)
                    return half;
                if (step.failsToWrite)
                    return WriteStep(NotSaved(WriteFailure::Content, QStringLiteral("the message could not be read")));
                return WriteAllTo(fd, bytes.constData() + bytes.size() / 2, bytes.size() - bytes.size() / 2);
            };
            const SaveResult saved = files.Append(QStringLiteral("\\Top\\") + folder, folder, "From x Thu Jan  1 00:00:00 1970\n", write);
            ASSERT_EQ(saved.has_value(), !step.failsToWrite);
            ManifestEntry entry;
            entry.kind = QStringLiteral("mail");
            entry.subject = QString::fromStdString(subject);
            if (saved) {
                entry.offset = saved->offset;
                entry.size = saved->digest.size;
                entry.sha256 = saved->digest.sha256;
                manifest.Add(std::move(entry), saved->path);
            } else {
                entry.failure = saved.error().reason;
                manifest.Add(std::move(entry));
            }
        }
        EXPECT_TRUE(files.PutAllInPlace().isEmpty());
    }
    manifest.Finish();
    for (const auto& [name, count] : GetParam().expected) {
        const QString path = output.rootPath() + QStringLiteral("/Top/%1/%1.mbox").arg(QString::fromLatin1(name));
        SCOPED_TRACE(name);
        if (count < 0)
            EXPECT_FALSE(QFile::exists(path));
        else
            EXPECT_EQ(Separators(path), count);
    }
    const QStringList leftovers = QDir(output.rootPath() + QStringLiteral("/Top/A"))
                                      .entryList(QDir::Files | QDir::Hidden)
                                      .filter(QStringLiteral(".tolvane-partial-"));
    EXPECT_TRUE(leftovers.isEmpty()) << qPrintable(leftovers.join(u' '));
    const VerifyReport report = VerifyOutput(output.rootPath());
    EXPECT_TRUE(report.allMatch()) << report.findings.size() << " findings";
}

INSTANTIATE_TEST_SUITE_P(Runs, MboxPlacementTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A run killed outright while a folder's file is being written: the file
// under the folder's name is there but empty, and none of the messages
// written so far can be seen.
TEST(MboxPlacementTest, AFileBeingWrittenShowsNothing)
{
    QTemporaryDir temp;
    auto created = OutputTree::Create(temp.path(), QStringLiteral("out"));
    ASSERT_TRUE(created);
    OutputTree& output = **created;
    auto files = std::make_unique<MboxFiles>(&output);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(files->Append(QStringLiteral("\\Top\\A"), QStringLiteral("A"), "From x Thu Jan  1 00:00:00 1970\n",
                                  Message("m" + std::to_string(i)))
                        .has_value());
    const QString path = output.rootPath() + QStringLiteral("/Top/A/A.mbox");
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_EQ(files->PutAllInPlace(), QStringList());
    EXPECT_EQ(Separators(path), 3);
}

}  // namespace
}  // namespace tolvane
