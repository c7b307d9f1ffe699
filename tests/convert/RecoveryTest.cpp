// Recovery of deleted and orphan items through tolvane-cli: what the real
// samples still hold outside their folders, how the recovered mail is
// written and marked, and that nothing is recovered unless asked for.
#include "tests/support/CliRun.h"
#include "tests/convert/ConvertTestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

}  // namespace
}  // namespace tolvane
