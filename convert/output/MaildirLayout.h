// Which Maildir++ directory each mail folder goes into, so that an IMAP
// server reads the tree as the mailbox is: the mailbox's Inbox is the tree's
// own top (IMAP's INBOX), the folders below it are ".INBOX.Name", the other
// folders at the top level are ".Name", and no other folder gets a name that
// IMAP, which matches INBOX in any case, would take for INBOX.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

class MailFolderPlan;

class MaildirLayout {
public:
    // `topLevel`: the names of the mail folders at the tree's top level, in
    // the tree's order; `inbox`: which of them is the mailbox's Inbox
    // (nullopt: it has none); `mailRootsOwn`: the name of the folder that
    // holds the mail root's own mail, which is the tree's top when there is
    // no Inbox to take it, as in a plain tree.
    MaildirLayout(const QStringList& topLevel, std::optional<QString> inbox,
                  std::optional<QString> mailRootsOwn = std::nullopt);

    // The layout of a mailbox's mail folders as `plan` names them.
    [[nodiscard]] static MaildirLayout Of(const MailFolderPlan& plan);

    // The Maildir++ directory name ("" for the tree's top, ".INBOX.Projects")
    // of the folder whose names from the top level down (MailFolderPlan) are
    // `names`.
    [[nodiscard]] QString DirectoryFor(const QStringList& names) const;

private:
    std::optional<QString> inbox_;
    std::optional<QString> mailRootsOwn_;
    // Names at the top level as they go into the tree, where they are not
    // their own: the Inbox's "INBOX", another one's "inbox (2)".
    QHash<QString, QString> topLevelRenamed_;
};

}  // namespace tolvane
