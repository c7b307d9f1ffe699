// Which folders the mailbox's message store names for their part: the root
// of the mail folders a user sees (the IPM subtree, below which the Inbox,
// Sent Items and the user's own folders live, beside search folders and the
// client's hidden ones), the Inbox, Sent Items, Deleted Items, Outbox,
// Drafts and the search root. Read from the store itself, never guessed from
// names or positions; a part the store names no folder for is absent.
#pragma once

#include <libpff.h>

#include <QByteArray>

#include <cstdint>
#include <map>
#include <optional>

namespace tolvane {

enum class FolderRole { MailRoot, Inbox, Outbox, SentItems, DeletedItems, Drafts, SearchRoot };

struct StoreFolders {
    // Folder identifiers (libpff's, which are the folders' node
    // identifiers) by the part the store gives them.
    std::map<FolderRole, uint32_t> byRole;

    [[nodiscard]] std::optional<uint32_t> Of(FolderRole role) const
    {
        const auto found = byRole.find(role);
        return found != byRole.end() ? std::optional<uint32_t>(found->second) : std::nullopt;
    }
    // The part of the folder `identifier`, if the store gives it one (the
    // first in FolderRole's order when it gives it several).
    [[nodiscard]] std::optional<FolderRole> RoleOf(uint32_t identifier) const;
};

// The folder an entry identifier names: its last four bytes, when it is
// long enough to be one of a folder (flags, the store's identifier, the node).
[[nodiscard]] std::optional<uint32_t> FolderOfEntryId(const QByteArray& entryId);

// Reads the parts from the open mailbox: the message store's entry
// identifiers, the receive folder table (the folder new mail of the
// default class goes to: the Inbox) and the drafts folder the root or the
// Inbox names. Whatever cannot be read is left out.
[[nodiscard]] StoreFolders ReadStoreFolders(libpff_file_t* file);

}  // namespace tolvane
