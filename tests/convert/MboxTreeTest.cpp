// The mbox tree as the programs that import it read it: Python's mailbox
// module counts every folder's mail, the .sbd directories mirror the folder
// tree, the state lines decode to each message's flags and categories, verify
// checks every file and finds a change, a --folder run keeps the folders on
// the way to the ones it takes; and, where Thunderbird is installed, its own
// import of the tree copied into a profile's local folders.
#include "tests/convert/ConvertTestSupport.h"

#include "tests/support/CliRun.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
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

// The categories of the tagged mail: the client's own tags by name, names
// its keys encode, and some that only stay apart if every special is kept.
std::vector<std::string> TaggedCategories()
{
    return {"Important", "To Do", "Ärger", "Red Category", "a%b", "a*b", "a\"b", "a\\b", "a{b", "a_b", "$label1"};
}

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
               TaggedCategories());
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
        {"Tagged", {"0000", "$label1 $label4 =c3=84rger red=20category a=25b a=2ab a=22b a=5cb a=7bb a_b $label1_1"}},
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

// Thunderbird's own reading of a local folders directory copied into a new
// profile (thunderbird_import.py), after making a tag of each of `tags` as
// its new-tag dialog does. Empty, with the reason in `unavailable`, when
// Thunderbird is not installed or cannot be started here.
QJsonObject ThunderbirdReads(const QString& localFolders, const QStringList& tags, QString* unavailable)
{
    if (QStandardPaths::findExecutable("thunderbird").isEmpty()) {
        *unavailable = "Thunderbird is not installed";
        return {};
    }
    QStringList arguments{QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/thunderbird_import.py")};
    for (const QString& tag : tags)
        arguments << "--tag" << tag;
    QProcess importer;
    importer.start("/usr/bin/python3", arguments << localFolders);
    if (!importer.waitForFinished(300000)) {
        ADD_FAILURE() << "thunderbird_import.py did not finish";
        return {};
    }
    const QByteArray errors = importer.readAllStandardError();
    if (importer.exitCode() == 3) {
        *unavailable = "Thunderbird could not be started here: " + QString::fromUtf8(errors);
        return {};
    }
    EXPECT_EQ(importer.exitCode(), 0) << errors.toStdString();
    return QJsonDocument::fromJson(importer.readAllStandardOutput()).object();
}

// Each folder Thunderbird shows, by its path of names, with the subjects of
// its mail, sorted; those of the copied directory only (`in_tree`), not the
// ones it makes for itself.
std::map<QString, QStringList> SubjectsByFolder(const QJsonObject& report)
{
    std::map<QString, QStringList> folders;
    for (const QJsonValue value : report.value("folders").toArray()) {
        const QJsonObject folder = value.toObject();
        if (!folder.value("in_tree").toBool())
            continue;
        QStringList path;
        for (const QJsonValue name : folder.value("path").toArray())
            path << name.toString();
        EXPECT_FALSE(folder.contains("error")) << path.join('/').toStdString() << folder.value("error").toString().toStdString();
        QStringList& subjects = folders[path.join('/')];
        for (const QJsonValue message : folder.value("messages").toArray())
            subjects << message.toObject().value("subject").toString();
        EXPECT_EQ(subjects.size(), folder.value("count").toInt()) << path.join('/').toStdString();
        subjects.sort();
    }
    return folders;
}

// Thunderbird's own reading of the tree, copied into a new profile's local
// folders while it is closed, as the README tells users to; the categories'
// keys are those Thunderbird gives tags of their names.
TEST_F(MboxTreeTest, ThunderbirdShowsEveryFolderWithItsMailAndState)
{
    const QString output = Convert("thunderbird");
    QStringList categories;
    for (const std::string& category : TaggedCategories())
        categories << QString::fromStdString(category);
    QString unavailable;
    const QJsonObject report = ThunderbirdReads(output + "/Local Folders", categories, &unavailable);
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    ASSERT_FALSE(report.isEmpty());
    std::map<QString, int> counted;
    for (const auto& [path, subjects] : SubjectsByFolder(report))
        counted[path] = static_cast<int>(subjects.size());
    EXPECT_EQ(counted, ExpectedCounts());
    std::map<QString, QString> stateBySubject;
    for (const QJsonValue folder : report.value("folders").toArray()) {
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
    EXPECT_EQ(stateBySubject["Read and answered"], "read replied");
    EXPECT_EQ(stateBySubject["Unread and flagged"], "flagged");
    EXPECT_EQ(stateBySubject["Forwarded"], "read forwarded");
    EXPECT_EQ(stateBySubject["Deep"], "read");
    // Each category is the tag Thunderbird has by its name, one apiece.
    const QJsonObject keyByTag = report.value("tags").toObject();
    QStringList keys;
    for (const QString& category : categories)
        keys << keyByTag.value(category).toString();
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << keys.join(' ').toStdString();
    EXPECT_EQ(stateBySubject["Tagged"], keys.join(' '));
}

// A mailbox with folders of the names Thunderbird keeps at the top of its
// local folders, in the mail root and beside it.
void WriteClientNamesMailbox(const QString& path)
{
    PstBuilder pst;
    for (const char* name :
         {"Inbox", "Trash", "Unsent Messages", "Drafts", "Sent", "Templates", "Archives", "Junk", "Outbox"}) {
        pst.topOfPersonalFolders().addFolder(name).addMessage().subject(std::string("Converted: ") + name).body("x").flags(
            kRead);
    }
    for (const char* name : {"Inbox", "Trash"})
        pst.rootFolder().addFolder(name).addMessage().subject(std::string("Beside: ") + name).body("x").flags(kRead);
    pst.Write(path.toStdString());
}

// The user's own mail in Thunderbird: three in the Inbox, one in a folder
// below it and one in the Trash.
void WriteOwnMailbox(const QString& path)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    for (const char* subject : {"Own 1", "Own 2", "Own 3"})
        inbox.addMessage().subject(subject).body("x").flags(kRead);
    inbox.addFolder("Family").addMessage().subject("Own family").body("x").flags(0);
    pst.topOfPersonalFolders().addFolder("Trash").addMessage().subject("Own deleted").body("x").flags(kRead);
    pst.Write(path.toStdString());
}

// The shell blocks of the README's first way into Thunderbird (the copy,
// then the renaming for a name already taken), unindented.
QStringList ReadmeCopySteps()
{
    QFile readme(QStringLiteral(TOLVANE_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype start = text.indexOf("  1. Copy:");
    const qsizetype end = text.indexOf("  2. The import add-on", start);
    QStringList blocks;
    QString* block = nullptr;
    for (const QString& line : text.mid(start, end - start).split(u'\n')) {
        if (line.trimmed() == "```sh") {
            blocks << QString();
            block = &blocks.last();
        } else if (line.trimmed() == "```") {
            block = nullptr;
        } else if (block != nullptr) {
            *block += line.trimmed() + u'\n';
        }
    }
    return blocks;
}

// Runs a README block with the user's own paths in place of its examples;
// its exit status.
int RunSteps(QString steps, const QString& localFolders, const QString& output, const QString& name)
{
    steps.replace(QRegularExpression("^LF=.*$", QRegularExpression::MultilineOption), "LF='" + localFolders + "'");
    steps.replace(QRegularExpression("^NAME=.*$", QRegularExpression::MultilineOption), "NAME='" + name + "'");
    steps.replace("OUTPUT/", "'" + output + "'/");
    QProcess shell;
    shell.start("/bin/sh", {"-c", steps});
    if (!shell.waitForFinished(60000))
        return -1;
    return shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
}

// Every file below `directory` by its relative path, with its bytes.
std::map<QString, QByteArray> Snapshot(const QString& directory)
{
    std::map<QString, QByteArray> files;
    for (const QString& path : testing::FilesBelow(directory, QString()))
        files[QDir(directory).relativeFilePath(path)] = ReadAll(path);
    return files;
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList TopNames(const QString& directory)
{
    QStringList names = QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// The README's copy into a profile that has mail of its own: the user's
// files stay as they were, the mailbox's folders (those named like the
// client's own too) arrive below the mailbox's folder only; a second import
// of the same name is refused until renamed as the README says; and
// Thunderbird then shows the user's mail and both imports.
TEST_F(MboxTreeTest, TheReadmesCopyKeepsTheUsersOwnFoldersAndRefusesATakenName)
{
    const QStringList steps = ReadmeCopySteps();
    ASSERT_EQ(steps.size(), 2) << "the README's copy and its renaming";
    ASSERT_TRUE(steps[0].startsWith("LF=")) << steps[0].toStdString();
    ASSERT_TRUE(steps[0].contains("cp -rn ")) << steps[0].toStdString();

    // The user's profile: their mail where the client keeps it.
    const QString own = temp_.filePath("own.pst");
    WriteOwnMailbox(own);
    const QString ownOutput = OutputFolderIn([&] {
        const QString destination = temp_.filePath("own");
        QDir().mkpath(destination);
        EXPECT_EQ(RunCli({"convert", "--format", "mboxtree", own, destination}).exitCode, 0);
        return destination;
    }());
    const QString localFolders = temp_.filePath("profile/Mail/Local Folders");
    QDir().mkpath(localFolders);
    QProcess copy;
    copy.start("cp", {"-r", ownOutput + "/Local Folders/own.sbd/.", localFolders + "/"});
    ASSERT_TRUE(copy.waitForFinished(60000) && copy.exitCode() == 0);
    const std::map<QString, QByteArray> users = Snapshot(localFolders);
    ASSERT_TRUE(users.count("Inbox") == 1 && users.count("Trash") == 1 && users.count("Inbox.sbd/Family") == 1);
    const QStringList usersTop = TopNames(localFolders);

    const QString demo = temp_.filePath("demo.pst");
    WriteClientNamesMailbox(demo);
    const QString destination = temp_.filePath("demo");
    QDir().mkpath(destination);
    ASSERT_EQ(RunCli({"convert", "--format", "mboxtree", demo, destination}).exitCode, 0);
    const QString output = OutputFolderIn(destination);
    EXPECT_EQ(TopNames(output + "/Local Folders"), (QStringList{"demo", "demo.sbd"}));

    ASSERT_EQ(RunSteps(steps[0], localFolders, output, "demo"), 0);
    const std::map<QString, QByteArray> imported = Snapshot(localFolders);
    for (const auto& [file, bytes] : users)
        EXPECT_EQ(imported.at(file), bytes) << file.toStdString();
    EXPECT_EQ(TopNames(localFolders), Sorted(usersTop + QStringList{"demo", "demo.sbd"}));

    // Again: the name is taken, nothing is copied, in any case of it.
    EXPECT_NE(RunSteps(steps[0], localFolders, output, "demo"), 0);
    EXPECT_NE(RunSteps(steps[0], localFolders, output, "DEMO"), 0);
    EXPECT_EQ(Snapshot(localFolders), imported);
    // Renamed as the README says, it arrives beside the first.
    ASSERT_EQ(RunSteps(steps[1], localFolders, output, "demo"), 0);
    ASSERT_EQ(RunSteps(steps[0], localFolders, output, "demo 2"), 0);
    EXPECT_EQ(TopNames(localFolders), Sorted(usersTop + QStringList{"demo", "demo 2", "demo 2.sbd", "demo.sbd"}));
    const std::map<QString, QByteArray> twice = Snapshot(localFolders);
    for (const auto& [file, bytes] : imported)
        EXPECT_EQ(twice.at(file), bytes) << file.toStdString();

    QString unavailable;
    const QJsonObject report = ThunderbirdReads(localFolders, {}, &unavailable);
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    ASSERT_FALSE(report.isEmpty());
    std::map<QString, QStringList> expected{
        {"Inbox", {"Own 1", "Own 2", "Own 3"}},
        {"Inbox/Family", {"Own family"}},
        {"Trash", {"Own deleted"}},
        {"Deleted Items", {}},
    };
    for (const QString top : {"demo", "demo 2"}) {
        expected[top] = {};
        expected[top + "/Deleted Items"] = {};
        for (const char* name :
             {"Inbox", "Trash", "Unsent Messages", "Drafts", "Sent", "Templates", "Archives", "Junk", "Outbox"})
            expected[top + "/" + name] = {QString("Converted: ") + name};
        expected[top + "/Inbox (2)"] = {"Beside: Inbox"};
        expected[top + "/Trash (2)"] = {"Beside: Trash"};
    }
    EXPECT_EQ(SubjectsByFolder(report), expected);
}

}  // namespace
}  // namespace tolvane
