// The local-folders tree's names and state lines: where each folder's file
// goes and under which name, and what a message's flags and categories
// become in the lines the mail client reads.
#include "model/MailContent.h"
#include "convert/output/MailFormats.h"
#include "convert/output/MboxTreeLayout.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(MboxTreeLayoutTest, FoldersNestInSbdDirectoriesAndSiblingsNeverShareAName)
{
    // In the tree's order; folder keys are what the records carry.
    MboxTreeLayout layout(nullptr, QString(), {"\\Top", "\\Top\\Inbox", "\\Top\\Inbox\\Projects", "\\Top\\INBOX", "\\Top\\Sent",
                                    "\\Top\\Inbox\\Projects\\2026"});
    const struct {
        const char* key;
        const char* directory;
        const char* file;
    } cases[] = {
        {"\\Top", "\\Local Folders", "Top"},
        {"\\Top\\Inbox", "\\Local Folders\\Top.sbd", "Inbox"},
        {"\\Top\\Inbox\\Projects", "\\Local Folders\\Top.sbd\\Inbox.sbd", "Projects"},
        {"\\Top\\Inbox\\Projects\\2026", "\\Local Folders\\Top.sbd\\Inbox.sbd\\Projects.sbd", "2026"},
        // The client tells folders apart without regard to case.
        {"\\Top\\INBOX", "\\Local Folders\\Top.sbd", "INBOX (2)"},
        {"\\Top\\Sent", "\\Local Folders\\Top.sbd", "Sent"},
        // Mail from outside the folders the run was given (recovered items),
        // placed when it comes, with the levels above it.
        {"\\Recovered items", "\\Local Folders", "Recovered items"},
        {"\\Top\\Deleted\\Old", "\\Local Folders\\Top.sbd\\Deleted.sbd", "Old"},
        {"\\Top\\Sent", "\\Local Folders\\Top.sbd", "Sent"},  // asked again: the same place
    };
    for (const auto& [key, directory, file] : cases) {
        const MboxTreePlace place = layout.PlaceOf(QString::fromUtf8(key));
        EXPECT_EQ(place.directoryKey, QString::fromUtf8(directory)) << key;
        EXPECT_EQ(place.fileName, QString::fromUtf8(file)) << key;
    }
    // Every level that needs a file for the ones below it to show, parents first.
    EXPECT_EQ(layout.placedKeys(),
              (QStringList{"\\Top", "\\Top\\Inbox", "\\Top\\Inbox\\Projects", "\\Top\\INBOX", "\\Top\\Sent",
                           "\\Top\\Inbox\\Projects\\2026", "\\Recovered items", "\\Top\\Deleted",
                           "\\Top\\Deleted\\Old"}));

    // Below the mailbox's own folder: a level no folder is gets its file by a
    // key of the layout's, until a folder turns out to be that level.
    MboxTreeLayout below(nullptr, "demo", {"\\Top\\Inbox", "\\Top\\Sent"});
    EXPECT_EQ(below.PlaceOf("\\Top\\Inbox").directoryKey, QString("\\Local Folders\\demo.sbd\\Top.sbd"));
    EXPECT_EQ(below.placedKeys(), (QStringList{">demo", ">demo/Top", "\\Top\\Inbox", "\\Top\\Sent"}));
    EXPECT_EQ(below.PlaceOf(">demo").fileName, QString("demo"));
    EXPECT_EQ(below.PlaceOf("\\Top").directoryKey, QString("\\Local Folders\\demo.sbd"));
    EXPECT_EQ(below.placedKeys(), (QStringList{">demo", "\\Top", "\\Top\\Inbox", "\\Top\\Sent"}));

    // The client's own folders at the top are taken: a mailbox named after
    // one, in any case, never lands on it; below the top the names are free.
    for (const char* mailbox : {"Inbox", "trash", "Unsent Messages", "Drafts", "Sent", "Templates", "Archives", "JUNK",
                                "Outbox"}) {
        MboxTreeLayout named(nullptr, mailbox, {"\\Inbox"});
        EXPECT_EQ(named.PlaceOf(">" + QString::fromLatin1(mailbox)).fileName, QString::fromLatin1(mailbox) + " (2)");
        EXPECT_EQ(named.PlaceOf("\\Inbox").fileName, QString("Inbox"));
        EXPECT_EQ(named.PlaceOf("\\Inbox").directoryKey, "\\Local Folders\\" + QString::fromLatin1(mailbox) + " (2).sbd");
    }
}

TEST(MboxTreeLayoutTest, NamesStayReadableAndOnlyWhatTheFileSystemOrTheClientRefusesChanges)
{
    const struct {
        const char* folder;
        const char* file;
    } cases[] = {
        {"Überweisungen 2024", "Überweisungen 2024"},
        {"Προσωπικά", "Προσωπικά"},
        {"a.b.c", "a.b.c"},
        {" leading space, [brackets] & {braces} ~ok", " leading space, [brackets] & {braces} ~ok"},
        {"Baz.dat", "Baz.dat"},
        // Refused by the file system, or a name the client looks for under another.
        {"Q1/Q2 reports", "Q1_Q2 reports"},
        {"back\\slash", "back_slash"},
        {"tab\there", "tab_here"},
        {"Re: [list] *important*? #1 <x> | \"y\";", "Re_ [list] _important__ _1 _x_ _ _y__"},
        // Hidden, cut short by the client, or not a name at all.
        {".hidden", "_.hidden"},
        {"trailing.", "trailing._"},
        {"backup~", "backup~_"},
        {"space ", "space _"},
        {".", "_._"},
        {"..", "_.._"},
        {"", "_"},
        // Taken by the client for its index, subfolder directory or files.
        {"Notes.msf", "Notes.msf_"},
        {"Archive.SBD", "Archive.SBD_"},
        {"popstate.dat", "popstate.dat_"},
        {"msgFilterRules.DAT", "msgFilterRules.DAT_"},
    };
    for (const auto& [folder, file] : cases)
        EXPECT_EQ(MboxTreeLayout::FileNameOf(QString::fromUtf8(folder)), QString::fromUtf8(file)) << folder;

    // The client keeps 55 UTF-16 units of a name; a longer one is cut there,
    // never through a character, and a second one of the same start is
    // numbered within the same length.
    const QString longName = QString(200, QChar(0x65E5));
    MboxTreeLayout layout(nullptr, QString(), {"\\Top", "\\Top\\" + longName, "\\Top\\" + longName + "x"});
    const QString first = layout.PlaceOf("\\Top\\" + longName).fileName;
    const QString second = layout.PlaceOf("\\Top\\" + longName + "x").fileName;
    EXPECT_EQ(first, QString(55, QChar(0x65E5)));
    EXPECT_EQ(second, QString(51, QChar(0x65E5)) + " (2)");
    EXPECT_EQ(layout.PlaceOf("\\Top\\" + longName + "x\\Below").directoryKey,
              "\\Local Folders\\Top.sbd\\" + second + ".sbd");
    QString emoji;
    for (int i = 0; i < 30; ++i)
        emoji += QString::fromUtf8("😀");
    EXPECT_EQ(MboxTreeLayout::FileNameOf(emoji), emoji.left(54));
    EXPECT_EQ(MboxTreeLayout::FileNameOf(QString(60, 'a') + "."), QString(55, 'a'));
    EXPECT_EQ(MboxTreeLayout::FileNameOf(QString(54, 'a') + ". more"), QString(54, 'a') + "_");
}

MessageState State(std::optional<uint32_t> flags, std::optional<uint32_t> verb, std::optional<uint32_t> flag,
                   QStringList categories = {})
{
    MessageState state;
    state.messageFlags = flags;
    state.lastVerb = verb;
    state.flagStatus = flag;
    state.categories = std::move(categories);
    return state;
}

TEST(MozillaStatusTest, FlagsAndCategoriesBecomeTheLinesTheClientReads)
{
    const struct {
        MessageState state;
        const char* status;
        const char* keys;
    } cases[] = {
        {State(std::nullopt, std::nullopt, std::nullopt), "0000", ""},
        {State(0x1, std::nullopt, std::nullopt), "0001", ""},
        {State(0x1, 102, std::nullopt), "0003", ""},
        {State(0x0, 103, 2), "0006", ""},
        {State(0x1, 104, std::nullopt), "1001", ""},
        {State(0x9, std::nullopt, 1), "0001", ""},  // a completed follow-up is no flag; a draft no state
        {State(0x1, std::nullopt, std::nullopt, {"Important", "To Do", " ", "important"}), "0001",
         "$label1 $label4 important"},
        {State(0x0, std::nullopt, std::nullopt, {"Ärger (intern)", "a\"b\\c]d%e*f{g"}), "0000",
         "=c3=84rger=20=28intern=29 a=22b=5cc=5dd=25e=2af=7bg"},
    };
    for (const auto& [state, status, keys] : cases) {
        const QByteArray lines = MozillaStatusLines(state);
        const QList<QByteArray> parts = lines.split('\n');
        ASSERT_EQ(parts.size(), 4) << lines.toStdString();
        EXPECT_EQ(parts[0], "X-Mozilla-Status: " + QByteArray(status) + "\r");
        EXPECT_EQ(parts[1], "X-Mozilla-Status2: 00000000\r");
        // The keywords, then spaces to 80 characters for the client to fill.
        EXPECT_EQ(parts[2].trimmed(), ("X-Mozilla-Keys: " + QByteArray(keys)).trimmed());
        EXPECT_EQ(parts[2].size(), 16 + std::max<qsizetype>(80, qstrlen(keys)) + 1) << keys;
        EXPECT_TRUE(parts[3].isEmpty());
    }
}

}  // namespace
}  // namespace tolvane
