// Which Maildir++ directory each mailbox folder goes into, so that an IMAP
// server reads the tree as the mailbox is: the mailbox's Inbox is the tree's
// own top (IMAP's INBOX), the folders below it are ".INBOX.Name", and no
// other folder gets a name that IMAP, which matches INBOX in any case, would
// take for INBOX. The top folder's own mail then goes into a folder named
// after the top folder.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

class FolderPaths;

class MaildirLayout {
public:
    // `topFolder`: the mailbox's top folder name; `firstLevel`: the names of
    // the folders directly below it, in the tree's order; `inbox`: which of
    // them is the mailbox's Inbox (nullopt: it has none, and the top
    // folder's own mail is the tree's top, as in a plain Maildir++ tree).
    MaildirLayout(QString topFolder, const QStringList& firstLevel, std::optional<QString> inbox);

    // The layout of a scanned mailbox's folders, its Inbox found by
    // InboxAmong. No folders: everything by its key's own names.
    [[nodiscard]] static MaildirLayout Of(const FolderPaths* folders);

    // The Inbox among the folders directly below the top: the first named
    // "Inbox" in any case; nullopt when none is.
    [[nodiscard]] static std::optional<QString> InboxAmong(const QStringList& firstLevel);

    // The Maildir++ directory name ("" for the tree's top, ".INBOX.Projects")
    // of the folder whose names from the top folder down are `namesFromTop`.
    [[nodiscard]] QString DirectoryFor(const QStringList& namesFromTop) const;

private:
    QString top_;
    std::optional<QString> inbox_;
    // Names directly below the top as they go into the tree, where they are
    // not their own: the Inbox's "INBOX", another one's "inbox (2)".
    QHash<QString, QString> firstLevelRenamed_;
    // The name below the top that holds the top folder's own mail (only
    // while there is an Inbox to take the tree's top).
    QString topOwnMail_;
};

}  // namespace tolvane
