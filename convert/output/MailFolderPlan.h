// Which of the mailbox's folders are mail folders in the formats a mail
// client reads (Maildir, mbox, the mbox tree), and by which names.
//
// A mailbox holds more folders than a user sees: beside the root of the mail
// folders (the IPM subtree the store names) lie search folders and the
// client's own machinery ("Search Root", "IPM_VIEWS", "Freebusy Data", ...),
// and below it, folders of calendars, contacts, tasks and notes. The mail
// formats show the mail root's mail folders, by their names below the mail
// root, empty ones too; any other folder only when mail is found in it, by
// its names from the mailbox's root, so nothing found is dropped and nothing
// outside lands among the user's own folders.
#pragma once

#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "scan/StoreFolders.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

class MailFolderPlan {
public:
    // `folders` names the folders of `nodes` (the scan's, in the tree's
    // order); `store`: the parts the store gives them; `selection`: the
    // folders whose mail the run takes.
    MailFolderPlan(const RecordList<FolderNode>& nodes, const FolderPaths& folders, const StoreFolders& store,
                   FolderSelection selection = {});
    // A plan without a mailbox's folders: every key by its own components.
    MailFolderPlan() = default;

    // The folder's names in the mail formats, from their top level down:
    // below the mail root for a folder inside it ("Inbox", "Projects"), the
    // mail root's own name for the mail root itself, the names from the
    // mailbox's root for a folder outside (its first made different from
    // every folder at the top level inside).
    [[nodiscard]] QStringList NamesOf(const QString& folderKey) const;

    // The names of the folders directly below the mail root, in the tree's
    // order, and which of them is the Inbox.
    [[nodiscard]] const QStringList& topLevelNames() const { return topLevel_; }
    [[nodiscard]] std::optional<QString> inboxName() const { return inboxName_; }
    // The name of the folder for the mail root's own mail (NamesOf the mail
    // root); nullopt when the mailbox has no mail root.
    [[nodiscard]] std::optional<QString> mailRootsOwnName() const;

    // Whether the folder is a mail folder inside the mail root: it gets its
    // place in the mail formats even when it holds no mail.
    [[nodiscard]] bool IsMailFolder(const QString& folderKey) const { return mailFolders_.contains(folderKey); }
    // Whether the run takes the folder's mail: a folder it only passes on
    // the way down to one it takes is no empty folder of the user's.
    [[nodiscard]] bool Takes(const QString& folderKey) const { return selection_.Takes(folderKey); }

    // Whether a container class is one of mail: none, "IPF.Note" and its
    // kinds ("IPF.Note.OutlookHomepage"), "IPF.Imap".
    [[nodiscard]] static bool IsMailClass(const QString& containerClass);

private:
    const FolderPaths* folders_ = nullptr;
    FolderSelection selection_;
    QString mailRootKey_;
    QString mailRootName_;
    QStringList mailRootNames_;  // its names from the mailbox's root
    QStringList topLevel_;
    std::optional<QString> inboxName_;
    QSet<QString> mailFolders_;
    QSet<QString> topLevelFolded_;  // topLevel_ and the mail root's name, case-folded
};

}  // namespace tolvane
