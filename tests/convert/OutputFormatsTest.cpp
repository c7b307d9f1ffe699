// Where the mail goes next: the mbox and Maildir formats read back by
// Python's mailbox module and by notmuch, the manifest and tolvane-cli
// verify, folder selection and several mailboxes in one run.
#include "tests/convert/ConvertTestSupport.h"

#include "convert/output/MailFormats.h"
#include "convert/output/MaildirKeywordLetters.h"
#include "tests/support/CliRun.h"
#include "pstwriter/PstBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::ManifestLines;
using testing::OutputFolderIn;
using testing::ReadAll;

// -- The pieces of the formats ------------------------------------------

TEST(MailFormatsTest, MboxQuotingTakesOneMoreQuoteOnEveryFromLineWhateverThePieces)
{
    const struct {
        QByteArray message;
        QByteArray quoted;
    } cases[] = {
        {"Subject: a\r\n\r\nFrom here on\r\n", "Subject: a\r\n\r\n>From here on\r\n\n"},
        {">From quoted\n>>From twice\nFrom\nFromage\n", ">>From quoted\n>>>From twice\nFrom\nFromage\n\n"},
        {"no line end at the end", "no line end at the end\r\n\n"},
        {"From ", ">From \r\n\n"},
        {"", "\n"},
        {" From indented\n>\n>>\n", " From indented\n>\n>>\n\n"},
    };
    for (const auto& [message, quoted] : cases) {
        EXPECT_EQ(MboxBody(message), quoted) << message.toStdString();
        // The same, fed a byte at a time.
        MboxQuoter quoter;
        QByteArray pieces;
        for (const char c : message)
            pieces += quoter.Feed(QByteArrayView(&c, 1));
        pieces += quoter.Finish();
        EXPECT_EQ(pieces, quoted) << message.toStdString();
    }
}

TEST(MailFormatsTest, MboxSeparatorLineHasTheSenderAndTheDateInTheClassicLayout)
{
    const QDateTime march4(QDate(2026, 3, 4), QTime(10, 0, 5), Qt::UTC);
    EXPECT_EQ(MboxFromLine(AddrSpec::Parse(u"anna@example.com"), march4), "From anna@example.com Wed Mar  4 10:00:05 2026\n");
    EXPECT_EQ(MboxFromLine(AddrSpec::Parse(u"anna@example.com"), march4.toOffsetFromUtc(3600)),
              "From anna@example.com Wed Mar  4 10:00:05 2026\n");
    EXPECT_EQ(MboxFromLine(AddrSpec::Parse(u"Anna Berg"), march4), "From MAILER-DAEMON Wed Mar  4 10:00:05 2026\n");
    EXPECT_EQ(MboxFromLine(AddrSpec::Parse(QString::fromUtf8("jürgen@example.de")), march4),
              "From MAILER-DAEMON Wed Mar  4 10:00:05 2026\n");
    EXPECT_EQ(MboxFromLine(AddrSpec::Parse(u""), std::nullopt), "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\n");
}

TEST(MailFormatsTest, MaildirFlagsFollowTheMessageState)
{
    const struct {
        MessageState state;
        const char* info;
    } cases[] = {
        {{}, ":2,"},
        {{0x1, std::nullopt, std::nullopt, {}}, ":2,S"},
        {{0x1, 102, std::nullopt, {}}, ":2,RS"},
        {{0x1, 103, 2, {}}, ":2,FRS"},
        {{0x0, 104, std::nullopt, {}}, ":2,P"},
        {{0x8, std::nullopt, 1, {}}, ":2,D"},  // completed follow-up: not flagged any more
        {{0x9, 104, 2, {}}, ":2,DFPS"},
    };
    for (const auto& [state, info] : cases)
        EXPECT_EQ(MaildirInfo(state), QString::fromLatin1(info));
}

// The keywords a Maildir message carries beside its flags, as Dovecot keeps
// them: $Forwarded, then the categories as IMAP atoms in their own case, no
// two categories as one but for case; and the keys of X-Mozilla-Keys, those
// the installed client gives tags of these names (its tag service asked for
// each: "Red Category" red=20category, "To Do" its own $label4).
TEST(MailFormatsTest, MaildirKeywordsAreForwardedAndTheCategoriesAsAtoms)
{
    const struct {
        MessageState state;
        QList<QByteArray> keywords;
        QByteArray mozillaKeys;
    } cases[] = {
        {{}, {}, ""},
        {{0x1, 102, std::nullopt, {}}, {}, ""},
        {{0x1, 104, std::nullopt, {}}, {"$Forwarded"}, ""},
        {{0x1, 104, std::nullopt, {"Work", " work ", "WORK"}}, {"$Forwarded", "Work"}, "$label2 =20work=20 work"},
        {{0x0, std::nullopt, std::nullopt, {"Two words", "(a)[b]{c}", "100%*", "back\\slash \"q\""}},
         {"Two_words", "&ACg-a&ACk-[b&AF0Aew-c}", "100&ACUAKg-", "back&AFw-slash_&ACI-q&ACI-"},
         "two=20words =28a=29=5bb=5d=7bc=7d 100=25=2a back=5cslash=20=22q=22"},
        {{0x0, std::nullopt, std::nullopt, {QString::fromUtf8("Ärger"), QString::fromUtf8("ärger"), "a&b", "  "}},
         {"&AMQ-rger", "&AOQ-rger", "a&-b"},
         "=c3=84rger =c3=a4rger a=26b"},
        // Categories an atom cannot hold as they are stay apart from each
        // other and from the one with "_".
        {{0x0, std::nullopt, std::nullopt, {"a%b", "a*b", "a\"b", "a\\b", "a{b", "a_b", "a b", "a=b"}},
         {"a&ACU-b", "a&ACo-b", "a&ACI-b", "a&AFw-b", "a&AHs-b", "a&AF8-b", "a_b", "a=b"},
         "a=25b a=2ab a=22b a=5cb a=7bb a_b a=20b a=3db"},
        // The client's own tags by their exact names; a name whose key would
        // be one of theirs is numbered as the client numbers it.
        {{0x0, std::nullopt, std::nullopt,
          {"To Do", "Red Category", "to do", "Important", "$label1", QString::fromUtf8("日本"), QString::fromUtf8("😀")}},
         {"To_Do", "Red_Category", "Important", "$label1", "&ZeVnLA-", "&2D3eAA-"},
         "$label4 red=20category to=20do $label1 $label1_1 =e6=97=a5=e6=9c=ac =f0=9f=98=80"},
        {{0x0, std::nullopt, std::nullopt, {"$forwarded"}}, {"$forwarded"}, "$forwarded"},
        {{0x0, 104, std::nullopt, {"$forwarded"}}, {"$Forwarded"}, "$forwarded"},
    };
    for (const auto& [state, keywords, mozillaKeys] : cases) {
        EXPECT_EQ(MaildirKeywords(state), keywords) << state.categories.join(',').toStdString();
        EXPECT_EQ(MozillaStatusLines(state).split('\n').value(2).mid(16).trimmed(), mozillaKeys)
            << state.categories.join(',').toStdString();
    }
}

// One folder's letters: each keyword the next free one the first time it is
// met, 26 at most; a file name's letters in alphabetical order; the file
// read back as written, and tolerantly when it is not.
TEST(MailFormatsTest, MaildirKeywordLettersAreGivenInTheOrderTheKeywordsAreMet)
{
    MaildirKeywordLetters letters;
    EXPECT_TRUE(letters.isEmpty());
    EXPECT_EQ(letters.LettersOf({"Work"}), "");
    EXPECT_TRUE(letters.Add({"Work", "$Forwarded"}));
    EXPECT_FALSE(letters.Add({"work", "$Forwarded"}));
    EXPECT_TRUE(letters.Add({"$Forwarded", "Home"}));
    EXPECT_EQ(letters.LettersOf({"Home", "WORK", "Unknown", "$Forwarded", "Home"}), "abc");
    EXPECT_EQ(letters.LettersOf({"Home"}), "c");
    EXPECT_EQ(letters.FileText(), "0 Work\n1 $Forwarded\n2 Home\n");

    QList<QByteArray> many;
    for (int i = 0; i < 30; ++i)
        many << "k" + QByteArray::number(i);
    EXPECT_TRUE(letters.Add(many));
    EXPECT_FALSE(letters.Add({"k29", "more"}));
    EXPECT_EQ(letters.LettersOf({"k0", "k22", "k23", "k29"}), "dz");
    const QByteArray full = letters.FileText();
    EXPECT_TRUE(full.endsWith("\n24 k21\n25 k22\n")) << full.toStdString();
    EXPECT_EQ(MaildirKeywordLetters::FromFileText(full).FileText(), full);

    const struct {
        const char* text;
        const char* readAs;
    } files[] = {
        {"", ""},
        {"0 Work\n1 Home", "0 Work\n1 Home\n"},
        {"1 Home\n0 Work\n", "0 Work\n1 Home\n"},
        {"0 Work\n2 Home\n", "0 Work\n"},             // a gap ends the letters
        {"0 Work\n1 work\n2 Home\n", "0 Work\n"},    // a keyword named twice
        {"x Work\n0 Work\n\n 1\n1 \n1 Home\n26 Late\n-1 No\n", "0 Work\n1 Home\n"},
        {"0 Work\r\n1 Home\r\n", "0 Work\n1 Home\n"},
    };
    for (const auto& [text, readAs] : files)
        EXPECT_EQ(MaildirKeywordLetters::FromFileText(QByteArray(text)).FileText(), QByteArray(readAs)) << text;
}

TEST(MailFormatsTest, FolderNamesAreModifiedUtf7JoinedByDots)
{
    const struct {
        QStringList path;
        const char* name;
    } cases[] = {
        {{}, ""},
        {{"Inbox"}, ".Inbox"},
        {{"Inbox", "Projects"}, ".Inbox.Projects"},
        {{QString::fromUtf8("Ålesund 2026")}, ".&AMU-lesund 2026"},
        {{"Tom & Jerry"}, ".Tom &- Jerry"},
        {{QString::fromUtf8("日本の取引先")}, ".&ZeVnLDBuU9ZfFVFI-"},
        {{"v1.2/beta"}, ".v1_2_beta"},
        {{"Inbox", ""}, ".Inbox._"},
        {{"..", "x"}, ".__.x"},
        {{QString::fromUtf8("😀")}, ".&2D3eAA-"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(MaildirFolderName(path), QString::fromUtf8(name)) << path.join('/').toStdString();
}

// -- Whole conversions through tolvane-cli ----------------------------------

using testing::CliRun;
using testing::RunCli;

QJsonObject ReadBack(const QString& kind, const QString& outputFolder)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_mailboxes.py"), kind, outputFolder});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}


constexpr int32_t kRead = 0x1;
constexpr int32_t kUnsent = 0x8;
constexpr uint32_t kLastVerb = (0x1081u << 16) | 0x0003;
constexpr uint32_t kFlagStatus = (0x1090u << 16) | 0x0003;

class OutputFormatsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        inbox.addMessage()
            .subject("Replied")
            .from("Anna", "anna@example.com")
            .to("Me", "me@example.com")
            .received(pstwriter::FileTime::fromUnixSeconds(1772618400))
            .messageId("<replied@example.com>")
            .body("From here on, the body has lines that look like separators.\r\n>From quoted\r\nFrom\r\n")
            .flags(kRead)
            .property(kLastVerb, int32_t(102));
        inbox.addMessage()
            .subject("Flagged")
            .from("Bo", "bo@example.com")
            .received(pstwriter::FileTime::fromUnixSeconds(1772704800))
            .messageId("<flagged@example.com>")
            .body("unread and flagged")
            .flags(0)
            .property(kFlagStatus, int32_t(2));
        inbox.addFolder(QString::fromUtf8("Ålesund & Co.").toStdString())
            .addMessage()
            .subject("Forwarded")
            .from("Cy", "cy@example.net")
            .received(pstwriter::FileTime::fromUnixSeconds(1772791200))
            .messageId("<forwarded@example.net>")
            .body("passed on")
            .attach("data.bin", Bytes(5 * 1024 * 1024, 7))  // large enough to stream from the mailbox
            .flags(kRead)
            .property(kLastVerb, int32_t(104));
        pst.topOfPersonalFolders()
            .addFolder("Drafts")
            .addMessage()
            .subject("Draft")
            .messageId("<draft@example.com>")
            .body("not sent")
            .flags(kRead | kUnsent);
        mailbox_ = temp_.filePath("mailbox.pst");
        pst.Write(mailbox_.toStdString());
    }

    // Converts the mailbox in `format` into a destination of its own; the output folder.
    QString Convert(const QString& format, QStringList options = {})
    {
        const QString destination = temp_.filePath(format);
        QDir().mkpath(destination);
        options << "--format" << format << mailbox_ << destination;
        const CliRun run = RunCli(QStringList{"convert"} + options);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return OutputFolderIn(destination);
    }

    QTemporaryDir temp_;
    QString mailbox_;
};

TEST_F(OutputFormatsTest, MboxAndMaildirHoldTheMessagesTheEmlFilesHold)
{
    const QString eml = Convert("eml");
    const QString mbox = Convert("mbox");
    const QString maildir = Convert("maildir");
    const QJsonObject emlRead = ReadBack("eml", eml);
    const QJsonObject mboxRead = ReadBack("mbox", mbox);
    const QJsonObject maildirRead = ReadBack("maildir", maildir);
    ASSERT_EQ(emlRead.value("messages").toArray().size(), 4);
    // Byte for byte, "From " lines of the body included.
    EXPECT_EQ(mboxRead.value("messages"), emlRead.value("messages"));
    // Every mail folder has its file, the empty Deleted Items too.
    EXPECT_EQ(mboxRead.value("files").toInt(), 4);
    EXPECT_EQ(maildirRead.value("messages"), emlRead.value("messages"));
    // The folder names as the scan keeps them ("&" is one it replaces); the
    // Inbox is the tree's top, its folders below INBOX; the empty Deleted
    // Items is a folder too.
    EXPECT_EQ(maildirRead.value("folders").toArray(),
              (QJsonArray{"", "Deleted Items", "Drafts", "INBOX.&AMU-lesund _ Co_"}))
        << QJsonDocument(maildirRead.value("folders").toArray()).toJson().toStdString();
    QStringList flags;
    for (const QJsonValue& value : maildirRead.value("flags").toArray())
        flags << value.toString();
    flags.sort();
    // The forwarded message's keyword $Forwarded is its folder's letter a.
    EXPECT_EQ(flags, (QStringList{"DS", "F", "PSa", "RS"})) << flags.join(',').toStdString();

    // Every manifest names as many messages as were read back, each with its identity.
    for (const QString& folder : {eml, mbox, maildir}) {
        int mail = 0;
        QStringList ids;
        for (const QJsonObject& line : ManifestLines(folder)) {
            if (line.value("kind").toString() == "mail") {
                ++mail;
                ids << line.value("messageId").toString();
            }
        }
        EXPECT_EQ(mail, 4) << folder.toStdString();
        ids.sort();
        EXPECT_EQ(ids, (QStringList{"draft@example.com", "flagged@example.com", "forwarded@example.net",
                                    "replied@example.com"}));
        EXPECT_EQ(ManifestLines(folder).last().value("summary").toObject().value("written").toObject().value("mail"),
                  4);
    }
    // Files carry the time the message arrived.
    QDirIterator files(eml, {"Replied*.eml"}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(files.hasNext());
    EXPECT_EQ(QFileInfo(files.next()).lastModified().toSecsSinceEpoch(), 1772618400);
}

TEST_F(OutputFormatsTest, NotmuchIndexesTheMaildirWithTheTagsItsFlagsImply)
{
    if (!QFileInfo::exists("/usr/bin/notmuch"))
        GTEST_SKIP() << "notmuch is not installed";
    const QString maildir = Convert("maildir") + "/Maildir";
    const QString database = temp_.filePath("notmuch");
    QDir().mkpath(database);
    QFile config(temp_.filePath("notmuch-config"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[database]\npath=" + database.toUtf8() + "\nmail_root=" + maildir.toUtf8()
                 + "\n[new]\ntags=unread;inbox;\n[maildir]\nsynchronize_flags=true\n");
    config.close();
    auto notmuch = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NOTMUCH_CONFIG", config.fileName());
        process.setProcessEnvironment(environment);
        process.start("/usr/bin/notmuch", arguments);
        process.waitForFinished(60000);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    notmuch({"new", "--quiet"});
    EXPECT_EQ(notmuch({"count", "*"}), "4");
    const struct {
        const char* id;
        QStringList tags;
    } expected[] = {
        {"replied@example.com", {"inbox", "replied"}},
        {"flagged@example.com", {"flagged", "inbox", "unread"}},
        {"forwarded@example.net", {"attachment", "inbox", "passed"}},
        {"draft@example.com", {"draft", "inbox"}},
    };
    for (const auto& [id, tags] : expected) {
        const QString found = notmuch({"search", "--output=tags", QStringLiteral("id:%1").arg(id)});
        QStringList foundTags = found.split('\n', Qt::SkipEmptyParts);
        foundTags.sort();
        EXPECT_EQ(foundTags, tags) << id;
    }
}

TEST_F(OutputFormatsTest, VerifyFindsAChangedByteADeletedFileAndAnAddedOne)
{
    for (const QString& format : {QString("eml"), QString("mbox")}) {
        const QString output = Convert(format);
        CliRun run = RunCli({"verify", output});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("Missing: 0\nChanged: 0\nExtra: 0\n")) << run.out.toStdString();

        QStringList written;
        for (const QJsonObject& line : ManifestLines(output)) {
            const QString path = line.value("path").toString();
            if (line.value("kind").toString() == "mail" && !written.contains(path))
                written << path;
        }
        ASSERT_GE(written.size(), 2);
        // One byte changed in the middle of a message.
        QFile changed(output + "/" + written[0]);
        ASSERT_TRUE(changed.open(QIODevice::ReadWrite));
        QByteArray bytes = changed.readAll();
        bytes[bytes.size() / 2] = bytes[bytes.size() / 2] ^ 0x20;
        changed.seek(0);
        changed.write(bytes);
        changed.close();
        ASSERT_TRUE(QFile::remove(output + "/" + written[1]));
        QFile added(output + "/stray.txt");
        ASSERT_TRUE(added.open(QIODevice::WriteOnly));
        added.write("not from the mailbox");
        added.close();

        run = RunCli({"verify", output});
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_TRUE(run.out.contains("changed: " + written[0] + "\n")) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("missing: " + written[1] + "\n")) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("extra: stray.txt\n")) << run.out.toStdString();
    }
    const CliRun nothing = RunCli({"verify", temp_.filePath("no-such-folder")});
    EXPECT_EQ(nothing.exitCode, 1);
}

TEST(FolderSelectionTest, OnlyTheChosenFoldersAndThoseBelowThemAndUnknownOnesAreRefused)
{
    QTemporaryDir temp;
    const QString demo = QStringLiteral(TOLVANE_DEMO_MAILBOX);
    CliRun run = RunCli({"convert", "--folder", "Top of Personal Folders/Inbox/Projects", "--folder",
                         "/Top of Personal Folders/Sent Items", demo, temp.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Projects (4), the folder below it (3), Sent Items (8); nothing else.
    EXPECT_TRUE(run.out.contains("15 mails saved\n")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("contact")) << run.out.toStdString();
    QStringList folders;
    for (const QJsonObject& line : ManifestLines(OutputFolderIn(temp.path()))) {
        if (line.contains("folder") && !folders.contains(line.value("folder").toString()))
            folders << line.value("folder").toString();
    }
    folders.sort();
    EXPECT_EQ(folders, (QStringList{"Top of Personal Folders/Inbox/Projects",
                                    QString::fromUtf8("Top of Personal Folders/Inbox/Projects/Ålesund 2026"),
                                    "Top of Personal Folders/Sent Items"}));

    QTemporaryDir untouched;
    run = RunCli({"convert", "--folder", "Top of Personal Folders/Outbox", demo, untouched.path()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("Top of Personal Folders/Outbox")) << run.err.toStdString();
    EXPECT_TRUE(QDir(untouched.path()).isEmpty());

    const CliRun paths = RunCli({"scan", "--paths", demo});
    EXPECT_TRUE(paths.out.contains("Top of Personal Folders/Inbox/Projects\n")) << paths.out.toStdString();
}

TEST(SeveralMailboxesTest, EachGoesIntoAFolderOfItsOwnAndOneUnreadableStopsNone)
{
    QTemporaryDir temp;
    for (const char* name : {"anna", "bo"}) {
        PstBuilder pst;
        pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject(name).body("hello");
        pst.Write(temp.filePath(QString::fromLatin1(name) + ".pst").toStdString());
    }
    QFile broken(temp.filePath("broken.pst"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a mailbox");
    broken.close();
    QDir().mkpath(temp.filePath("out"));
    const CliRun run = RunCli({"convert", temp.filePath("anna.pst"), temp.filePath("broken.pst"),
                               temp.filePath("bo.pst"), temp.filePath("out")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(QDir(temp.filePath("out")).entryList(QDir::Dirs | QDir::NoDotAndDotDot), (QStringList{"anna", "bo"}));
    for (const char* name : {"anna", "bo"}) {
        const CliRun verify = RunCli({"verify", temp.filePath("out/") + name});
        EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
    }
}

}  // namespace
}  // namespace tolvane
