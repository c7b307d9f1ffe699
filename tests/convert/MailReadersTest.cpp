// The output as the programs users import it into read it: Dovecot's imap
// over the Maildir tree (INBOX and the folders that must not be taken for
// it), Python's mailbox module over the read and flag state of the mbox
// files, the manifest's subjects, notmuch and mu indexing subjects beyond
// ASCII, and two conversions of one mailbox in each format compared byte for
// byte.
#include "tests/convert/ConvertTestSupport.h"

#include "model/MailContent.h"
#include "convert/output/MailFormats.h"
#include "convert/output/MailFolderPlan.h"
#include "convert/output/MaildirLayout.h"
#include "tests/support/CliRun.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::CliRun;
using testing::OutputFolderIn;
using testing::ReadAll;
using testing::RunCli;

// -- Where the folders go, and the mbox state lines -------------------------

TEST(MaildirLayoutTest, TheInboxTakesTheTopAndNoOtherFolderCanBeTakenForIt)
{
    // Names from the mail formats' top level down, as MailFolderPlan gives them.
    const MaildirLayout layout({"Inbox", "inbox", "Sent", "inbox (2)"}, QString("Inbox"));
    const MaildirLayout noInbox({"Sent"}, std::nullopt, QString("Top"));
    const struct {
        const MaildirLayout* layout;
        QStringList names;
        const char* directory;
    } cases[] = {
        {&layout, {"Inbox"}, ""},
        {&layout, {"Inbox", "Projects"}, ".INBOX.Projects"},
        {&layout, {"Inbox", "Projects", "2026"}, ".INBOX.Projects.2026"},
        // A second folder called inbox, and what lies below it.
        {&layout, {"inbox"}, ".inbox (3)"},
        {&layout, {"inbox", "Old"}, ".inbox (3).Old"},
        {&layout, {"inbox (2)"}, ".inbox (2)"},
        {&layout, {"Sent"}, ".Sent"},
        // Deeper down, a name is no INBOX to IMAP.
        {&layout, {"Sent", "Inbox"}, ".Sent.Inbox"},
        // A name that is none of the top level's is never INBOX either.
        {&layout, {"INBOX"}, ".INBOX (2)"},
        {&noInbox, {"Sent"}, ".Sent"},
        {&noInbox, {"Inbox"}, ".Inbox (2)"},
        {&noInbox, {}, ""},
        // Without an Inbox the mail root's own mail is the tree's top.
        {&noInbox, {"Top"}, ""},
        {&layout, {"Top"}, ".Top"},
    };
    for (const auto& [which, names, directory] : cases)
        EXPECT_EQ(which->DirectoryFor(names), QString::fromUtf8(directory)) << names.join('/').toStdString();
}

TEST(MailFolderPlanTest, MailFoldersAreThoseForMailOrForNothingInParticular)
{
    const struct {
        const char* containerClass;
        bool mail;
    } cases[] = {
        {"", true},
        {"IPF.Note", true},
        {"ipf.note", true},
        {"IPF.Note.OutlookHomepage", true},
        {"IPF.Imap", true},
        {"IPF.Notes", false},
        {"IPF.Appointment", false},
        {"IPF.Contact", false},
        {"IPF.Task", false},
        {"IPF.StickyNote", false},
        {"IPF.Journal", false},
        {"Outlook.Reminder", false},
    };
    for (const auto& [containerClass, mail] : cases)
        EXPECT_EQ(MailFolderPlan::IsMailClass(QString::fromLatin1(containerClass)), mail) << containerClass;
}

TEST(MboxStatusTest, ReadAnsweredFlaggedAndDraftAreTheLettersMboxReadersKnow)
{
    const struct {
        MessageState state;
        const char* lines;
    } cases[] = {
        {{}, "Status: O\r\n"},
        {{0x1, std::nullopt, std::nullopt, {}}, "Status: RO\r\n"},
        {{0x1, 102, std::nullopt, {}}, "Status: RO\r\nX-Status: A\r\n"},
        {{0x0, 103, 2, {}}, "Status: O\r\nX-Status: AF\r\n"},
        {{0x1, 104, std::nullopt, {}}, "Status: RO\r\n"},  // forwarded: mbox has no letter for it
        {{0x9, std::nullopt, 1, {}}, "Status: RO\r\nX-Status: T\r\n"},  // a completed follow-up is no flag
        {{0x8, 102, 2, {}}, "Status: O\r\nX-Status: AFT\r\n"},  // a draft is T: D is deleted
    };
    for (const auto& [state, lines] : cases)
        EXPECT_EQ(MboxStatusLines(state), QByteArray(lines));
}

// -- Whole conversions ------------------------------------------------------

constexpr int32_t kRead = 0x1;
constexpr int32_t kUnsent = 0x8;
constexpr uint32_t kLastVerb = (0x1081u << 16) | 0x0003;
constexpr uint32_t kFlagStatus = (0x1090u << 16) | 0x0003;


Bytes ToBytes(const QByteArray& data)
{
    return Bytes(data.begin(), data.end());
}

// A mailbox whose mail lies where an IMAP server looks for INBOX, with the
// states a mail client keeps.
void WriteStateMailbox(const QString& path)
{
    PstBuilder pst;
    pst.topOfPersonalFolders().addMessage().subject("Top note").messageId("<top@example.com>").body("x").flags(kRead);
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage()
        .subject("Read and answered")
        .from("Anna", "anna@example.com")
        .messageId("<answered@example.com>")
        .body("hello")
        .flags(kRead)
        .property(kLastVerb, int32_t(102))
        .namedProperty(propsets::PublicStrings, "Keywords", PropertyValue::multipleUnicode({"Work"}));
    inbox.addMessage()
        .subject("Unread and flagged")
        .from("Bo", "bo@example.com")
        .messageId("<flagged@example.com>")
        .body("hello")
        .flags(0)
        .property(kFlagStatus, int32_t(2));
    // Categories an IMAP keyword cannot hold as they are, and one twice in
    // another case.
    inbox.addMessage()
        .subject("Forwarded with categories")
        .from("Cy", "cy@example.com")
        .messageId("<forwarded@example.com>")
        .body("passed on")
        .flags(kRead)
        .property(kLastVerb, int32_t(104))
        .namedProperty(propsets::PublicStrings, "Keywords",
                       PropertyValue::multipleUnicode({"Work", "Ärger im Büro", "work", "(Urgent)"}));
    inbox.addFolder("Projects").addMessage().subject("Project plan").messageId("<plan@example.com>").body("x").flags(
        kRead);
    pst.topOfPersonalFolders().addFolder("inbox").addMessage().subject("Other inbox").messageId("<other@example.com>").body(
        "x").flags(0);
    pst.topOfPersonalFolders()
        .addFolder("Drafts")
        .addMessage()
        .subject("Draft")
        .messageId("<draft@example.com>")
        .body("not sent")
        .flags(kRead | kUnsent);
    pst.Write(path.toStdString());
}

// Mailboxes shaped as real stores are: the mail root (named by the store)
// beside search folders and the client's hidden folders, an offline cache's
// mail root two levels down, an Inbox the store names by another name. Each
// holds `inboxMails` mails in the folder the store receives mail in.
struct StoreShape {
    const char* name;
    int inboxMails;
    // The Maildir++ directories below Maildir/ ("" the tree's top), the mbox
    // files below mbox/ and the mbox tree's files below Local Folders/.
    QStringList maildir;
    QStringList mbox;
    QStringList mboxTree;
};

void WriteShapedMailbox(const QString& shape, const QString& path)
{
    const auto mail = [](PstFolder& folder, const std::string& subject, int32_t flags = kRead) {
        folder.addMessage().subject(subject).messageId("<" + std::to_string(std::hash<std::string>()(subject)) + "@x>").body(
            "x").flags(flags);
    };
    if (shape == "pst") {
        PstBuilder pst;
        pst.withStandardFolders().withHiddenFolders();
        PstFolder& top = pst.topOfPersonalFolders();
        for (const auto& folder : top.folders()) {
            const std::string name = *folder->definition().displayName;
            if (name == "Inbox") {
                mail(*folder, "Welcome");
                mail(*folder, "Invoice", 0);
                mail(folder->addFolder("Projects"), "Plan");
            } else if (name == "Sent Items") {
                mail(*folder, "Sent");
            } else if (name == "Drafts") {
                mail(*folder, "Draft", kRead | kUnsent);
            } else if (name == "Calendar") {
                folder->addAppointment("Meeting").appointment(pstwriter::FileTime::fromUnixSeconds(1772618400),
                                                             pstwriter::FileTime::fromUnixSeconds(1772622000));
            } else if (name == "Contacts") {
                folder->addContact("Anna", "Berg").email1("anna@example.com");
            }
        }
        top.addFolder("Archive 2019");
        top.addFolder("RSS Feeds").containerClass("IPF.Note.OutlookHomepage");
        // Mail where no client files it: still written, named for where it was.
        mail(pst.rootFolder().addFolder("Stray"), "Found outside");
        pst.Write(path.toStdString());
    } else if (shape == "ost") {
        PstBuilderOptions options;
        options.contentType = ContentType::OfflineCache;
        options.topFolder = false;
        PstBuilder pst(options);
        PstFolder& mailbox = pst.rootFolder().addFolder("Root - Mailbox");
        PstFolder& subtree = mailbox.addFolder("IPM_SUBTREE");
        PstFolder& inbox = subtree.addFolder("Inbox").containerClass("IPF.Note");
        mail(inbox, "Cached");
        subtree.addFolder("Sent Items").containerClass("IPF.Note");
        subtree.addFolder("Deleted Items").containerClass("IPF.Note");
        subtree.addFolder("Calendar").containerClass("IPF.Appointment");
        mailbox.addFolder("Freebusy Data");
        mailbox.addFolder("Finder").containerClass("IPF.Note");
        pst.storeFolder(StoreRole::MailRoot, subtree).storeFolder(StoreRole::Inbox, inbox);
        pst.Write(path.toStdString());
    } else if (shape == "renamed") {
        PstBuilder pst(PstBuilderOptions{.deletedItems = false});
        PstFolder& posteingang = pst.topOfPersonalFolders().addFolder("Posteingang").containerClass("IPF.Note");
        mail(posteingang, "Hallo");
        mail(posteingang, "Rechnung");
        mail(pst.topOfPersonalFolders().addFolder("Inbox").containerClass("IPF.Note"), "Filed by hand");
        pst.storeFolder(StoreRole::Inbox, posteingang);
        pst.Write(path.toStdString());
    } else if (shape == "Inbox") {
        // An offline cache named after the client's Inbox, with folders of
        // the names the client keeps at the top of its local folders in the
        // mail root, beside it and beside the mailbox's own root.
        PstBuilderOptions options;
        options.contentType = ContentType::OfflineCache;
        options.topFolder = false;
        PstBuilder pst(options);
        PstFolder& mailbox = pst.rootFolder().addFolder("Root - Mailbox");
        PstFolder& subtree = mailbox.addFolder("IPM_SUBTREE");
        PstFolder& inbox = subtree.addFolder("Inbox").containerClass("IPF.Note");
        mail(inbox, "Cached");
        for (const char* name :
             {"Trash", "Unsent Messages", "Drafts", "Sent", "Templates", "Archives", "Junk", "Outbox"}) {
            mail(subtree.addFolder(name).containerClass("IPF.Note"), std::string("Filed in ") + name);
            mail(mailbox.addFolder(name).containerClass("IPF.Note"), std::string("Beside the mail root: ") + name);
        }
        mail(mailbox.addFolder("Inbox").containerClass("IPF.Note"), "Beside the mail root: Inbox");
        mail(pst.rootFolder().addFolder("Trash").containerClass("IPF.Note"), "Beside the mailbox's root: Trash");
        pst.storeFolder(StoreRole::MailRoot, subtree).storeFolder(StoreRole::Inbox, inbox);
        pst.Write(path.toStdString());
    }
}

// The shapes of an offline cache are .ost files.
QString ShapeFile(const QString& shape)
{
    return shape + (shape == "ost" || shape == "Inbox" ? ".ost" : ".pst");
}

const StoreShape kStoreShapes[] = {
    {"pst",
     2,
     {"", ".INBOX.Projects", ".Deleted Items", ".Outbox", ".Sent Items", ".Drafts", ".Archive 2019", ".RSS Feeds",
      ".Stray"},
     {"Deleted Items.mbox", "Inbox.mbox", "Inbox/Projects.mbox", "Outbox.mbox", "Sent Items.mbox", "Drafts.mbox",
      "Archive 2019.mbox", "RSS Feeds.mbox", "Stray.mbox"},
     {"pst", "pst.sbd/Deleted Items", "pst.sbd/Inbox", "pst.sbd/Inbox.sbd/Projects", "pst.sbd/Outbox",
      "pst.sbd/Sent Items", "pst.sbd/Drafts", "pst.sbd/Archive 2019", "pst.sbd/RSS Feeds", "pst.sbd/Stray"}},
    {"ost",
     1,
     {"", ".Sent Items", ".Deleted Items"},
     {"Inbox.mbox", "Sent Items.mbox", "Deleted Items.mbox"},
     {"ost", "ost.sbd/Inbox", "ost.sbd/Sent Items", "ost.sbd/Deleted Items"}},
    {"renamed",
     2,
     {"", ".Inbox (2)"},
     {"Posteingang.mbox", "Inbox.mbox"},
     {"renamed", "renamed.sbd/Posteingang", "renamed.sbd/Inbox"}},
    // Nothing lands at the top of the client's local folders but the
    // mailbox's own folder, which its name would put on the client's Inbox.
    {"Inbox",
     1,
     {"", ".Trash", ".Unsent Messages", ".Drafts", ".Sent", ".Templates", ".Archives", ".Junk", ".Outbox", ".Root - Mailbox.Trash", ".Root - Mailbox.Unsent Messages", ".Root - Mailbox.Drafts", ".Root - Mailbox.Sent", ".Root - Mailbox.Templates", ".Root - Mailbox.Archives", ".Root - Mailbox.Junk", ".Root - Mailbox.Outbox", ".Root - Mailbox.Inbox", ".Trash (2)"},
     {"Inbox.mbox", "Trash.mbox", "Unsent Messages.mbox", "Drafts.mbox", "Sent.mbox", "Templates.mbox", "Archives.mbox", "Junk.mbox", "Outbox.mbox", "Root - Mailbox/Trash.mbox", "Root - Mailbox/Unsent Messages.mbox", "Root - Mailbox/Drafts.mbox", "Root - Mailbox/Sent.mbox", "Root - Mailbox/Templates.mbox", "Root - Mailbox/Archives.mbox", "Root - Mailbox/Junk.mbox", "Root - Mailbox/Outbox.mbox", "Root - Mailbox/Inbox.mbox", "Trash (2).mbox"},
     {"Inbox (2)", "Inbox (2).sbd/Inbox", "Inbox (2).sbd/Trash", "Inbox (2).sbd/Unsent Messages", "Inbox (2).sbd/Drafts", "Inbox (2).sbd/Sent", "Inbox (2).sbd/Templates", "Inbox (2).sbd/Archives", "Inbox (2).sbd/Junk", "Inbox (2).sbd/Outbox", "Inbox (2).sbd/Root - Mailbox", "Inbox (2).sbd/Root - Mailbox.sbd/Trash", "Inbox (2).sbd/Root - Mailbox.sbd/Unsent Messages", "Inbox (2).sbd/Root - Mailbox.sbd/Drafts", "Inbox (2).sbd/Root - Mailbox.sbd/Sent", "Inbox (2).sbd/Root - Mailbox.sbd/Templates", "Inbox (2).sbd/Root - Mailbox.sbd/Archives", "Inbox (2).sbd/Root - Mailbox.sbd/Junk", "Inbox (2).sbd/Root - Mailbox.sbd/Outbox", "Inbox (2).sbd/Root - Mailbox.sbd/Inbox", "Inbox (2).sbd/Trash (2)"}},
};

// The Maildir++ folders of a tree (those with a cur/), or the files below a
// directory, by their paths below it, sorted.
QStringList MaildirFolders(const QString& maildir)
{
    QStringList folders;
    for (QDirIterator it(maildir, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot); it.hasNext();) {
        const QString path = it.next();
        if (QFileInfo(path + "/cur").isDir())
            folders << it.fileName();
    }
    if (QFileInfo(maildir + "/cur").isDir())
        folders << "";
    folders.sort();
    return folders;
}

QStringList FilesBelow(const QString& root)
{
    QStringList files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

class MailReadersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    // Converts `mailbox` in `format` into a destination named `label`; the output folder.
    QString Convert(const QString& mailbox, const QString& format, const QString& label,
                    const QStringList& options = {})
    {
        const QString destination = temp_.filePath(label);
        QDir().mkpath(destination);
        QStringList arguments = QStringList{"convert", "--format", format} + options + QStringList{mailbox, destination};
        if (mailbox.endsWith(".ost"))
            arguments.insert(1, "--allow-ost");
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return OutputFolderIn(destination);
    }

    QTemporaryDir temp_;
};

// Dovecot's imap, preauthenticated, over a copy of `maildir` (it writes its
// own index files there): its whole answer to `commands`. As root it runs as
// nobody, since Dovecot will not serve mail as root.
QString AskDovecot(const QString& maildir, const QStringList& commands, const QString& work)
{
    // Every directory down to the copy must be open to the user it runs as.
    const QString copy = work + "/Maildir";
    QProcess cp;
    cp.start("/bin/cp", {"-r", maildir, copy});
    cp.waitForFinished();
    QProcess::execute("/bin/chmod", {"-R", "a+rwX", work});
    QFile config(work + "/dovecot.conf");
    if (!config.open(QIODevice::WriteOnly))
        return QString();
    config.write("base_dir = " + work.toUtf8() + "/run\nlog_path = /dev/stderr\nssl = no\nmail_location = maildir:"
                 + copy.toUtf8() + "\n");
    config.close();
    QByteArray input;
    for (int i = 0; i < commands.size(); ++i)
        input += "t" + QByteArray::number(i) + ' ' + commands[i].toUtf8() + "\r\n";
    input += "z LOGOUT\r\n";
    QStringList arguments{"-i", "HOME=" + work, "USER=" + QString::fromLocal8Bit(qgetenv("USER")), "/usr/lib/dovecot/imap",
                          "-c", config.fileName()};
    QString program = "/usr/bin/env";
    if (::getuid() == 0) {
        arguments[2] = "USER=nobody";
        arguments = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "/usr/bin/env"} + arguments;
        program = "/usr/bin/setpriv";
    }
    QProcess imap;
    imap.start(program, arguments);
    imap.write(input);
    imap.closeWriteChannel();
    if (!imap.waitForFinished(60000))
        ADD_FAILURE() << "imap did not finish";
    const QString answer = QString::fromUtf8(imap.readAllStandardOutput());
    EXPECT_TRUE(answer.contains("z OK")) << answer.toStdString() << imap.readAllStandardError().toStdString();
    return answer;
}

TEST_F(MailReadersTest, DovecotServesTheMailboxesInboxAsInboxAndEveryOtherFolderApart)
{
    if (!QFileInfo::exists("/usr/lib/dovecot/imap"))
        GTEST_SKIP() << "Dovecot's imap (dovecot-imapd) is not installed";
    const QString mailbox = temp_.filePath("state.pst");
    WriteStateMailbox(mailbox);
    const QString output = Convert(mailbox, "maildir", "maildir");
    const QString work = temp_.filePath("dovecot");
    QDir().mkpath(work);
    QFile::setPermissions(temp_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                            | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    const QString answer = AskDovecot(output + "/Maildir",
                                      {"LIST \"\" \"*\"", "STATUS INBOX (MESSAGES UNSEEN)",
                                       "STATUS \"inbox (2)\" (MESSAGES UNSEEN)",
                                       "STATUS \"Top of Personal Folders\" (MESSAGES UNSEEN)", "SELECT INBOX",
                                       "FETCH 1:* (FLAGS BODY.PEEK[HEADER.FIELDS (SUBJECT)])"},
                                      work);

    QStringList listed;
    static const QRegularExpression listLine(R"re(^\* LIST \([^)]*\) "\." "?([^"\r]*)"?\r?$)re",
                                             QRegularExpression::MultilineOption);
    for (auto match = listLine.globalMatch(answer); match.hasNext();)
        listed << match.next().captured(1);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Deleted Items", "Drafts", "INBOX", "INBOX.Projects", "Top of Personal Folders",
                                  "inbox (2)"}))
        << answer.toStdString();
    EXPECT_TRUE(answer.contains("* STATUS INBOX (MESSAGES 3 UNSEEN 1)")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("* STATUS \"inbox (2)\" (MESSAGES 1 UNSEEN 1)")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("* STATUS \"Top of Personal Folders\" (MESSAGES 1 UNSEEN 0)")) << answer.toStdString();

    // Each message of INBOX with its flags (\Recent is the server's own) and
    // keywords: its categories and $Forwarded, each folder's letters named
    // in its dovecot-keywords.
    std::map<QString, QString> flagsBySubject;
    static const QRegularExpression fetchLine(R"re(\* \d+ FETCH \(FLAGS \(([^)]*)\)[^\r]*\r\nSubject: ([^\r]*)\r\n)re");
    for (auto match = fetchLine.globalMatch(answer); match.hasNext();) {
        const auto found = match.next();
        QStringList flags = found.captured(1).split(' ', Qt::SkipEmptyParts);
        flags.removeAll("\\Recent");
        flags.sort();
        flagsBySubject[found.captured(2)] = flags.join(' ');
    }
    const std::map<QString, QString> expected{
        {"Read and answered", "Work \\Answered \\Seen"},
        {"Unread and flagged", "\\Flagged"},
        {"Forwarded with categories", "$Forwarded &ACg-Urgent&ACk- &AMQ-rger_im_B&APw-ro Work \\Seen"}};
    EXPECT_EQ(flagsBySubject, expected) << answer.toStdString();
    EXPECT_EQ(ReadAll(output + "/Maildir/dovecot-keywords"), "0 Work\n1 $Forwarded\n2 &AMQ-rger_im_B&APw-ro\n3 &ACg-Urgent&ACk-\n");
    // Folders without keywords get no file.
    EXPECT_FALSE(QFileInfo::exists(output + "/Maildir/.Drafts/dovecot-keywords"));
    const CliRun verify = RunCli({"verify", output});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
}

TEST_F(MailReadersTest, OnlyTheMailFoldersOfTheStoresMailRootAreWrittenEmptyOnesToo)
{
    for (const StoreShape& shape : kStoreShapes) {
        const QString name = QString::fromLatin1(shape.name);
        const QString mailbox = temp_.filePath(ShapeFile(name));
        WriteShapedMailbox(name, mailbox);
        const QString maildir = Convert(mailbox, "maildir", name + "-maildir");
        EXPECT_EQ(MaildirFolders(maildir + "/Maildir"), Sorted(shape.maildir)) << shape.name;
        const QString mbox = Convert(mailbox, "mbox", name + "-mbox");
        EXPECT_EQ(FilesBelow(mbox + "/mbox"), Sorted(shape.mbox)) << shape.name;
        const QString tree = Convert(mailbox, "mboxtree", name + "-mboxtree");
        EXPECT_EQ(FilesBelow(tree + "/Local Folders"), Sorted(shape.mboxTree)) << shape.name;
        for (const QString& output : {maildir, mbox, tree}) {
            const CliRun verify = RunCli({"verify", output});
            EXPECT_EQ(verify.exitCode, 0) << shape.name << " " << verify.out.toStdString();
        }
    }
    // A run of one folder gives no empty file or folder for those it only
    // passes on the way: none would tell of a folder without mail.
    const QStringList projects{"--folder", "Top of Personal Folders/Inbox/Projects"};
    const QString mailbox = temp_.filePath("pst.pst");
    EXPECT_EQ(FilesBelow(Convert(mailbox, "mbox", "one-mbox", projects) + "/mbox"), QStringList{"Inbox/Projects.mbox"});
    EXPECT_EQ(MaildirFolders(Convert(mailbox, "maildir", "one-maildir", projects) + "/Maildir"),
              (QStringList{"", ".INBOX.Projects"}));
}

TEST_F(MailReadersTest, DovecotFindsTheStoresInboxAsInboxInEveryShape)
{
    if (!QFileInfo::exists("/usr/lib/dovecot/imap"))
        GTEST_SKIP() << "Dovecot's imap (dovecot-imapd) is not installed";
    QFile::setPermissions(temp_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                            | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    for (const StoreShape& shape : kStoreShapes) {
        const QString name = QString::fromLatin1(shape.name);
        const QString mailbox = temp_.filePath(ShapeFile(name));
        WriteShapedMailbox(name, mailbox);
        const QString output = Convert(mailbox, "maildir", name + "-imap");
        const QString work = temp_.filePath(name + "-dovecot");
        QDir().mkpath(work);
        const QString answer = AskDovecot(output + "/Maildir", {"LIST \"\" \"*\"", "STATUS INBOX (MESSAGES)"}, work);
        EXPECT_TRUE(answer.contains(QString("* STATUS INBOX (MESSAGES %1)").arg(shape.inboxMails)))
            << shape.name << answer.toStdString();
        // Every folder of the tree is listed, by its decoded name; a level
        // only on the way to one ("Root - Mailbox") is listed as no mailbox.
        const int listed = static_cast<int>(answer.count("* LIST (") - answer.count("* LIST (\\Noselect"));
        EXPECT_EQ(listed, shape.maildir.size()) << shape.name << answer.toStdString();
    }
}

TEST_F(MailReadersTest, PythonsMboxReadsTheReadAndFlagStateAndOnlyMboxCarriesIt)
{
    const QString mailbox = temp_.filePath("state.pst");
    WriteStateMailbox(mailbox);
    const QString output = Convert(mailbox, "mbox", "mbox");
    QProcess python;
    python.start("/usr/bin/python3", {"-c", R"(
import mailbox, os, sys
for directory, _, names in os.walk(sys.argv[1]):
    for name in sorted(names):
        if name.endswith(".mbox"):
            for message in mailbox.mbox(os.path.join(directory, name), create=False):
                print("%s\t%s" % (message["subject"], "".join(sorted(message.get_flags()))))
)",
                                      output});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    std::map<QString, QString> flagsBySubject;
    for (const QString& line : QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        flagsBySubject[line.section('\t', 0, 0)] = line.section('\t', 1);
    const std::map<QString, QString> expected{
        {"Top note", "OR"},     {"Read and answered", "AOR"}, {"Unread and flagged", "FO"},
        {"Project plan", "OR"}, {"Other inbox", "O"},         {"Draft", "ORT"},
        {"Forwarded with categories", "OR"},
    };
    EXPECT_EQ(flagsBySubject, expected);

    // The other formats keep the state outside the message.
    for (const QString& format : {QString("eml"), QString("maildir")}) {
        const QString other = Convert(mailbox, format, format);
        int files = 0;
        for (QDirIterator it(other, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            if (path.endsWith("manifest.jsonl") || path.endsWith("/dovecot-keywords"))
                continue;
            ++files;
            const QByteArray bytes = ReadAll(path);
            EXPECT_FALSE(bytes.startsWith("Status:") || bytes.contains("\nStatus:") || bytes.contains("\nX-Status:"))
                << path.toStdString();
        }
        EXPECT_EQ(files, 7) << format.toStdString();
    }
}

TEST_F(MailReadersTest, TheManifestGivesEachSubjectAsTheMessageHoldsIt)
{
    const struct {
        const char* id;
        const char* subject;   // as stored; null: no subject property
        const char* manifest;  // null: no "subject" in the manifest
    } cases[] = {
        {"re@example.com", "Re: Threading without headers?", "Re: Threading without headers?"},
        {"dashes@example.com", "a -- b / c \\ d: \"e\"", "a -- b / c \\ d: \"e\""},
        {"unicode@example.com", "Ålesund – 日本の取引先 😀", "Ålesund – 日本の取引先 😀"},
        {"space@example.com", " ", " "},
        {"empty@example.com", "", nullptr},
        {"none@example.com", nullptr, nullptr},
    };
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    for (const auto& c : cases) {
        auto& message = inbox.addMessage().messageId(std::string("<") + c.id + ">").body("x");
        if (c.subject != nullptr)
            message.subject(c.subject);
    }
    const QString mailbox = temp_.filePath("subjects.pst");
    pst.Write(mailbox.toStdString());
    const QString output = Convert(mailbox, "eml", "eml");

    std::map<QString, QJsonObject> lineById;
    for (const QByteArray& line : ReadAll(output + "/manifest.jsonl").split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value("kind").toString() == "mail")
            lineById[object.value("messageId").toString()] = object;
    }
    ASSERT_EQ(lineById.size(), std::size(cases));
    for (const auto& c : cases) {
        const QJsonObject& line = lineById[QString::fromLatin1(c.id)];
        if (c.manifest == nullptr) {
            EXPECT_FALSE(line.contains("subject")) << c.id << " " << line.value("subject").toString().toStdString();
        } else {
            EXPECT_EQ(line.value("subject").toString(), QString::fromUtf8(c.manifest)) << c.id;
        }
        // The file keeps its name, made from the cleaned subject.
        EXPECT_TRUE(QFileInfo::exists(output + "/" + line.value("path").toString())) << c.id;
    }
    const CliRun verify = RunCli({"verify", output});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
}

// Every file below `root` by its path below it.
std::map<QString, QByteArray> TreeBytes(const QString& root)
{
    std::map<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = ReadAll(path);
    }
    return files;
}

// Standard output of `program` with `arguments` (and `environment` added).
QString RunProgram(const QString& program, const QStringList& arguments, const QStringList& environment = {})
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(variables);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        ADD_FAILURE() << program.toStdString() << " did not finish";
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// notmuch and mu read headers through GMime, which joins the encoded-words of
// a run before decoding them: a word that pads inside a run cut the subject
// short in their index. Every subject here takes several words.
TEST_F(MailReadersTest, NotmuchAndMuIndexEverySubjectWhole)
{
    const char* const subjects[] = {
        "Встреча в понедельник",
        "Встреча в понедельник: обсуждение квартального отчёта и планов отдела продаж",
        "会議の議事録と来週の予定についてのお知らせです。ご確認のほどよろしくお願いいたします。",
        "🎉🎂🎈🎁🎊🥳 Party 🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉 for everyone 🎉🎂",
    };
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    QStringList expected;
    for (const char* subject : subjects) {
        inbox.addMessage().subject(subject).from(subject, "from@example.com").body("x");
        expected << QString::fromUtf8(subject);
    }
    expected.sort();
    const QString mailbox = temp_.filePath("subjects.pst");
    pst.Write(mailbox.toStdString());
    const QString maildir = Convert(mailbox, "maildir", "maildir") + "/Maildir";
    ASSERT_TRUE(QFileInfo(maildir).isDir()) << maildir.toStdString();

    if (QFileInfo::exists("/usr/bin/notmuch")) {
        QDir().mkpath(temp_.filePath("notmuch"));
        QFile config(temp_.filePath("notmuch-config"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[database]\npath=" + temp_.filePath("notmuch").toUtf8() + "\nmail_root=" + maildir.toUtf8()
                     + "\n");
        config.close();
        const QStringList environment{"NOTMUCH_CONFIG=" + config.fileName()};
        RunProgram("/usr/bin/notmuch", {"new", "--quiet"}, environment);
        const QJsonDocument found = QJsonDocument::fromJson(
            RunProgram("/usr/bin/notmuch", {"search", "--format=json", "--output=summary", "*"}, environment).toUtf8());
        QStringList indexed;
        for (const QJsonValue& thread : found.array())
            indexed << thread.toObject().value("subject").toString();
        indexed.sort();
        EXPECT_EQ(indexed, expected);
    } else {
        ADD_FAILURE() << "notmuch is not installed (scripts/install-deps.sh installs it)";
    }

    if (!QFileInfo::exists("/usr/bin/mu"))
        GTEST_SKIP() << "mu is not installed (scripts/install-deps.sh installs maildir-utils); notmuch's reading passed";
    // mu cuts its --maildir at a space, which the output folder's name holds.
    const QString home = temp_.filePath("mu");
    const QString link = temp_.filePath("mu-maildir");
    ASSERT_TRUE(QFile::link(maildir, link));
    RunProgram("/usr/bin/mu", {"init", "--maildir=" + link, "--muhome=" + home});
    RunProgram("/usr/bin/mu", {"index", "--muhome=" + home});
    QStringList indexed = RunProgram("/usr/bin/mu", {"find", "--muhome=" + home, "--fields=s", ""}).split('\n', Qt::SkipEmptyParts);
    indexed.sort();
    EXPECT_EQ(indexed, expected);
}

TEST_F(MailReadersTest, TheSameMailboxGivesTheSameBytesAtEveryConversion)
{
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage()
        .subject("Alternative and related")
        .from("Anna", "anna@example.com")
        .to("Bo", "bo@example.com")
        .received(pstwriter::FileTime::fromUnixSeconds(1772618400))
        .body("plain text\r\n")
        .htmlBody("<p>html <img src=\"cid:logo@x\"></p>")
        .attach("logo.png", ToBytes(png), "image/png", "logo@x")
        .attach("notes.txt", ToBytes("some notes\r\n"), "text/plain");
    Message inner;
    inner.subject("Inner").from("Cy", "cy@example.net").body("inner plain").htmlBody("<p>inner</p>").attach(
        "inner.bin", Bytes(3000, 9));
    Message outer;
    outer.subject("Middle").body("middle").embed(std::move(inner), "Inner");
    inbox.addMessage()
        .subject("Embedded messages")
        .received(pstwriter::FileTime::fromUnixSeconds(1772704800))
        .body("see attached")
        .embed(std::move(outer), "Middle");
    inbox.addMessage()
        .subject("Large attachment")  // large enough to stream from the mailbox
        .received(pstwriter::FileTime::fromUnixSeconds(1772791200))
        .htmlBody("<p>big</p>")
        .attach("data.bin", Bytes(5 * 1024 * 1024, 7));
    inbox.addMessage().subject("No date, no identifier").body("nothing else");
    pst.topOfPersonalFolders().addFolder("Contacts").containerClass("IPF.Contact").addContact("Anna", "Berg").email1(
        "anna@example.com");
    pst.topOfPersonalFolders()
        .addFolder("Calendar")
        .containerClass("IPF.Appointment")
        .addAppointment("Meeting")
        .appointment(pstwriter::FileTime::fromUnixSeconds(1772618400), pstwriter::FileTime::fromUnixSeconds(1772622000));
    const QString mailbox = temp_.filePath("mixed.pst");
    pst.Write(mailbox.toStdString());

    for (const QString& format : {QString("eml"), QString("mbox"), QString("maildir")}) {
        const QString first = Convert(mailbox, format, format + "-1");
        const QString second = Convert(mailbox, format, format + "-2");
        const auto firstFiles = TreeBytes(first);
        const auto secondFiles = TreeBytes(second);
        ASSERT_GE(firstFiles.size(), 4u) << format.toStdString();
        int multiparts = 0;
        for (const auto& [path, bytes] : firstFiles)
            multiparts += bytes.count("boundary=\"=_");
        // alternative, related, mixed twice, the embedded messages' own.
        EXPECT_GE(multiparts, 6) << format.toStdString();
        EXPECT_EQ(firstFiles.size(), secondFiles.size()) << format.toStdString();
        for (const auto& [path, bytes] : firstFiles) {
            const auto other = secondFiles.find(path);
            ASSERT_NE(other, secondFiles.end()) << format.toStdString() << ": " << path.toStdString();
            EXPECT_TRUE(other->second == bytes) << format.toStdString() << ": " << path.toStdString() << " differs";
        }
        const CliRun verify = RunCli({"verify", second});
        EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
    }
}

}  // namespace
}  // namespace tolvane
