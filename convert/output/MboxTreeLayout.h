// Where each mailbox folder goes in the mbox tree: the layout of a mail
// client's local folders, where a folder is an mbox file named after it,
// without extension, and the folders below it are in a directory beside it
// of the same name and ".sbd". The tree is "Local Folders" in the output
// folder, and the mailbox's folders are below one folder named after the
// mailbox, so it can be copied into (or merged with) the client's own
// without a folder of the mailbox landing beside the client's own Inbox or
// Trash. The folders are the mail folders MailFolderPlan names.
//
// The names stay the folders' own where the file system and the client take
// them: "/", control characters and the characters for which the client
// would look for a file of another name (\ " # * : ; < > ? |) become "_"; a
// name the client would hide, shorten or take for a file of its own (".x",
// "x.", "x ", "x~", "x.msf", "x.sbd", "popstate.dat", ...) gets a "_"; a name
// longer than the client keeps (55 UTF-16 units) is cut; a name taken by an
// earlier sibling, in any case, gets " (2)", " (3)", ... Which folder keeps
// the plain name is decided by the tree's order, so two runs name alike. At
// the top, the client's own folders (Inbox, Trash, Unsent Messages, Drafts,
// Sent, Templates, Archives, Junk, Outbox) count as earlier siblings.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace tolvane {

class MailFolderPlan;

inline constexpr const char* kMboxTreeDirectory = "Local Folders";

// Where one folder's mbox file goes: the directory key for the run's
// OutputTree ("\Local Folders\Top.sbd\Inbox.sbd") and the file's name.
struct MboxTreePlace {
    QString directoryKey;
    QString fileName;
};

class MboxTreeLayout {
public:
    // `folderKeys`: the folders that get their file whether they hold mail
    // or not, in the tree's order; `plan` names them (null: by their keys'
    // own components); `mailboxFolder`: the folder they all go below (empty:
    // none, they are the tree's first level).
    MboxTreeLayout(const MailFolderPlan* plan, const QString& mailboxFolder, const QStringList& folderKeys);
    MboxTreeLayout(const MboxTreeLayout&) = delete;
    MboxTreeLayout& operator=(const MboxTreeLayout&) = delete;
    ~MboxTreeLayout();

    // The place of a folder's file. A key not given at the start (mail
    // found outside the folders: recovered items) is placed on first sight,
    // and so are the folders above it.
    [[nodiscard]] MboxTreePlace PlaceOf(const QString& folderKey);

    // Every folder placed so far, parents before their children, by the key
    // PlaceOf takes (a level no folder of the mailbox is, such as the
    // mailbox's own folder, has a key of the layout's). Each needs its file,
    // if only an empty one, for the client to show the folders below it.
    [[nodiscard]] QStringList placedKeys() const;

    // A folder's name as a file name of the tree, before any " (2)".
    [[nodiscard]] static QString FileNameOf(const QString& folderName);

private:
    struct Node;
    Node* NodeOf(const QString& folderKey);

    const MailFolderPlan* plan_;
    QString mailboxFolder_;
    std::unique_ptr<Node> root_;  // the tree's directory; its children are the first level
    QHash<QString, Node*> nodeByKey_;
    QStringList order_;
};

}  // namespace tolvane
