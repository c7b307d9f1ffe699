// The mbox tree as the programs that import it read it: Python's mailbox
// module counts every folder's mail, the .sbd directories mirror the folder
// tree, the state lines decode to each message's flags and categories, verify
// checks every file and finds a change, a --folder run keeps the folders on
// the way to the ones it takes; and, where Thunderbird is installed, its own
// import of the tree copied into a profile's local folders.
#include "tests/convert/ConvertTestSupport.h"

#include "tests/support/CliRun.h"
#include "tests/support/PstBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::CliRun;
using testing::OutputFolderIn;
using testing::ReadAll;
using testing::RunCli;

constexpr int32_t kRead = 0x1;
constexpr uint32_t kLastVerb = (0x1081u << 16) | 0x0003;
constexpr uint32_t kFlagStatus = (0x1090u << 16) | 0x0003;

Message& Categories(Message& message, std::vector<std::string> categories)
{
    return message.namedProperty(propsets::PublicStrings, "Keywords", PropertyValue::multipleUnicode(std::move(categories)));
}

// Nested folders, one with no mail between two with mail, names the file
// system or the client would refuse, and every state a client keeps.
void WriteTreeMailbox(const QString& path)
{
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    inbox.addMessage().subject("Read and answered").messageId("<answered@example.com>").body("x").flags(kRead).property(
        kLastVerb, int32_t(102));
    inbox.addMessage().subject("Unread and flagged").messageId("<flagged@example.com>").body("x").flags(0).property(
        kFlagStatus, int32_t(2));
    inbox.addMessage().subject("Forwarded").messageId("<forwarded@example.com>").body("From here\r\n").flags(kRead).property(
        kLastVerb, int32_t(104));
    Categories(inbox.addMessage().subject("Tagged").messageId("<tagged@example.com>").body("x").flags(0),
               {"Important", "To Do", "Ärger"});
    auto& projects = inbox.addFolder("Projects");
    auto& empty = projects.addFolder("Empty");
    empty.addFolder("2026").addMessage().subject("Deep").messageId("<deep@example.com>").body("x").flags(kRead);
    projects.addMessage().subject("Plan").messageId("<plan@example.com>").body("x").flags(kRead);
    top.addFolder("inbox").addMessage().subject("Other inbox").messageId("<other@example.com>").body("x").flags(0);
    top.addFolder("Q1/Q2").addMessage().subject("Slash").messageId("<slash@example.com>").body("x").flags(0);
    top.addFolder("Notes.msf").addMessage().subject("Index-like").messageId("<msf@example.com>").body("x").flags(0);
    top.addFolder("Überweisungen").addMessage().subject("Bank").messageId("<bank@example.com>").body("x").flags(kRead);
    top.addFolder("Contacts").containerClass("IPF.Contact").addContact("Anna", "Berg").email1("anna@example.com");
    pst.Write(path.toStdString());
}

// Every mbox file below `tree` as Python's mailbox module reads it: its
// folder path (".sbd" taken off each directory), and each message's subject,
// X-Mozilla-Status and X-Mozilla-Keys; plus every .sbd directory without its
// file beside it.
QJsonObject ReadTree(const QString& tree)
{
    QProcess python;
    python.start("/usr/bin/python3", {"-c", R"(
import json, mailbox, os, sys
root = sys.argv[1]
folders, orphans = {}, []
for directory, subdirectories, names in os.walk(root):
    below = os.path.relpath(directory, root)
    parts = [] if below == "." else [p[:-4] for p in below.split(os.sep)]
    for sub in subdirectories:
        if not sub.endswith(".sbd") or not os.path.isfile(os.path.join(directory, sub[:-4])):
            orphans.append(os.path.join(below, sub))
    for name in names:
        box = mailbox.mbox(os.path.join(directory, name), create=False)
        folders["/".join(parts + [name])] = [
            {"subject": m["subject"], "status": m["X-Mozilla-Status"], "keys": (m["X-Mozilla-Keys"] or "").strip()}
            for m in box]
print(json.dumps({"folders": folders, "orphans": orphans}))
)",
                                      tree});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

class MboxTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        mailbox_ = temp_.filePath("tree.pst");
        WriteTreeMailbox(mailbox_);
    }

    QString Convert(const QString& label, const QStringList& options = {})
    {
        const QString destination = temp_.filePath(label);
        QDir().mkpath(destination);
        const CliRun run = RunCli(QStringList{"convert", "--format", "mboxtree"} + options + QStringList{mailbox_, destination});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return OutputFolderIn(destination);
    }

    QTemporaryDir temp_;
    QString mailbox_;
};

// The mailbox's own folder in the tree, named after its file; the mail
// root's folders are below it.
const char kTop[] = "tree";
const char kMailRoot[] = "Top of Personal Folders";

// Each folder of the tree mailbox by its path of names, with its mail count:
// its mail folders only (no Search Root, no Contacts: its cards go beside
// the tree, as in every format).
std::map<QString, int> ExpectedCounts()
{
    const QString top = QString::fromLatin1(kTop);
    return {
        {top, 0},
        {top + "/Deleted Items", 0},
        {top + "/Inbox", 4},
        {top + "/Inbox/Projects", 1},
        {top + "/Inbox/Projects/Empty", 0},
        {top + "/Inbox/Projects/Empty/2026", 1},
        {top + "/inbox (2)", 1},
        {top + "/Q1_Q2", 1},
        {top + "/Notes.msf_", 1},
        {top + "/Überweisungen", 1},
    };
}

TEST_F(MboxTreeTest, EveryFolderIsAFileWithItsMailAndItsSubfoldersBesideIt)
{
    const QString output = Convert("all");
    const QJsonObject tree = ReadTree(output + "/Local Folders");
    EXPECT_EQ(tree.value("orphans").toArray(), QJsonArray()) << "every .sbd directory has its folder's file beside it";
    const QJsonObject folders = tree.value("folders").toObject();
    const QString top = QString::fromLatin1(kTop);
    std::map<QString, int> counted;
    for (auto it = folders.begin(); it != folders.end(); ++it)
        counted[it.key()] = static_cast<int>(it.value().toArray().size());
    EXPECT_EQ(counted, ExpectedCounts());

    // The state lines decode to each message's flags and categories.
    std::map<QString, std::pair<QString, QString>> stateBySubject;
    for (const QJsonValue message : folders.value(top + "/Inbox").toArray()) {
        const QJsonObject m = message.toObject();
        stateBySubject[m.value("subject").toString()] = {m.value("status").toString(), m.value("keys").toString()};
    }
    const std::map<QString, std::pair<QString, QString>> expectedState{
        {"Read and answered", {"0003", ""}},
        {"Unread and flagged", {"0004", ""}},
        {"Forwarded", {"1001", ""}},
        {"Tagged", {"0000", "important to_do &AOQ-rger"}},
    };
    EXPECT_EQ(stateBySubject, expectedState);
    EXPECT_EQ(folders.value(top + "/Überweisungen").toArray().at(0).toObject().value("status").toString(), "0001");

    // The cards are outside the tree, which holds mail files alone.
    EXPECT_FALSE(testing::FilesBelow(output, ".vcf").isEmpty());
    EXPECT_TRUE(testing::FilesBelow(output + "/Local Folders", ".vcf").isEmpty());

    const CliRun verify = RunCli({"verify", output});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString() << verify.err.toStdString();
    // An empty folder's file is checked too: mail slipped into it is found.
    QFile slipped(output + "/Local Folders/" + top + ".sbd/Inbox.sbd/Projects.sbd/Empty");
    ASSERT_TRUE(slipped.open(QIODevice::Append));
    slipped.write("From x Thu Jan  1 00:00:00 2026\nSubject: slipped in\n\nx\n\n");
    slipped.close();
    const CliRun changed = RunCli({"verify", output});
    EXPECT_NE(changed.exitCode, 0);
    EXPECT_TRUE(changed.out.contains("Changed: 1")) << changed.out.toStdString();
}

TEST_F(MboxTreeTest, AFolderRunKeepsTheFoldersOnTheWayAndNothingElse)
{
    const QString output =
        Convert("one", {"--folder", QString::fromLatin1(kMailRoot) + "/Inbox/Projects/Empty"});
    const QJsonObject folders = ReadTree(output + "/Local Folders").value("folders").toObject();
    QStringList paths = folders.keys();
    paths.sort();
    const QString top = QString::fromLatin1(kTop);
    EXPECT_EQ(paths, (QStringList{top, top + "/Inbox", top + "/Inbox/Projects", top + "/Inbox/Projects/Empty",
                                  top + "/Inbox/Projects/Empty/2026"}));
    EXPECT_EQ(folders.value(top + "/Inbox").toArray().size(), 0) << "the folders on the way keep their mail out";
    EXPECT_EQ(folders.value(top + "/Inbox/Projects/Empty/2026").toArray().size(), 1);
    const CliRun verify = RunCli({"verify", output});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
}

TEST_F(MboxTreeTest, TwoConversionsGiveTheSameBytes)
{
    const QString first = Convert("first") + "/Local Folders";
    const QString second = Convert("second") + "/Local Folders";
    const QStringList files = testing::FilesBelow(first, QString());
    ASSERT_GE(files.size(), 10);
    for (const QString& path : files) {
        const QString relative = QDir(first).relativeFilePath(path);
        EXPECT_EQ(ReadAll(path), ReadAll(second + "/" + relative)) << relative.toStdString();
    }
}

// Thunderbird's own reading of the tree, copied into a new profile's local
// folders while it is closed, as the README tells users to.
TEST_F(MboxTreeTest, ThunderbirdShowsEveryFolderWithItsMailAndState)
{
    if (QStandardPaths::findExecutable("thunderbird").isEmpty())
        GTEST_SKIP() << "Thunderbird is not installed";
    const QString output = Convert("thunderbird");
    QProcess importer;
    importer.start("/usr/bin/python3",
                   {QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/thunderbird_import.py"), output + "/Local Folders"});
    ASSERT_TRUE(importer.waitForFinished(300000));
    const QByteArray errors = importer.readAllStandardError();
    if (importer.exitCode() == 3)
        GTEST_SKIP() << "Thunderbird could not be started here: " << errors.toStdString();
    ASSERT_EQ(importer.exitCode(), 0) << errors.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(importer.readAllStandardOutput()).object();
    const QString top = QString::fromLatin1(kTop);
    std::map<QString, int> counted;
    std::map<QString, QString> stateBySubject;
    for (const QJsonValue folder : report.value("folders").toArray()) {
        QStringList path;
        for (const QJsonValue name : folder.toObject().value("path").toArray())
            path << name.toString();
        if (!folder.toObject().value("in_tree").toBool())
            continue;  // the profile's own folders
        counted[path.join('/')] = folder.toObject().value("count").toInt();
        for (const QJsonValue message : folder.toObject().value("messages").toArray()) {
            const QJsonObject m = message.toObject();
            QStringList state;
            for (const char* flag : {"read", "replied", "flagged", "forwarded"}) {
                if (m.value(flag).toBool())
                    state << flag;
            }
            state << m.value("keywords").toString().simplified();
            stateBySubject[m.value("subject").toString()] = state.join(' ').trimmed();
        }
    }
    EXPECT_EQ(counted, ExpectedCounts());
    EXPECT_EQ(stateBySubject["Read and answered"], "read replied");
    EXPECT_EQ(stateBySubject["Unread and flagged"], "flagged");
    EXPECT_EQ(stateBySubject["Forwarded"], "read forwarded");
    EXPECT_EQ(stateBySubject["Tagged"], "important to_do &AOQ-rger");
    EXPECT_EQ(stateBySubject["Deep"], "read");
}

}  // namespace
}  // namespace tolvane
