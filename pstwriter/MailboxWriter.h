// The messaging layer of a PST file, written as a stream: folders are declared, items are written the
// moment they are added, and a folder's contents table can be written (and its row summaries dropped)
// as soon as the folder is closed. Everything else (folder objects, hierarchy tables, message store,
// name-to-id map, B-trees) is written by Finish().
#pragma once

#include "pstwriter/ContextWriters.h"
#include "pstwriter/MessageContent.h"
#include "pstwriter/NameToIdMap.h"
#include "pstwriter/NodeDatabaseWriter.h"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace tolvane::pstwriter {

struct FolderDefinition {
    std::optional<std::string> displayName;  // nullopt: the folder has no display name at all
    std::optional<std::string> containerClass;
    PropertyMap extraProperties;
};

// A message written and then deleted: its node id and where its freed blocks lie, in write order.
struct DeletedMessage {
    uint32_t nid = 0;
    std::vector<BlockExtent> blocks;
};

struct MailboxOptions {
    BlockEncoding encoding = BlockEncoding::Compressible;
    std::string storeDisplayName = "Personal Folders";
    ContentType contentType = ContentType::PersonalFolders;
    // The folder the store names as the root of the mail folders, made
    // below the root folder; nullopt: none is made (an offline cache's
    // IPM_SUBTREE lies deeper, and is named with setStoreFolder).
    std::optional<std::string> topFolderName = "Top of Personal Folders";
};

// The parts the message store gives folders: the root of the mail folders
// (by default the top folder), the Inbox (through the receive folder
// table), Outbox, Sent Items, Deleted Items and Drafts (named on the root).
enum class StoreRole { MailRoot, Inbox, Outbox, SentItems, DeletedItems, Drafts };

class MailboxWriter {
public:
    // The root folder's node id is fixed by the file format; every other folder hangs below it.
    static constexpr uint32_t kRootFolderNid = 0x122;

    // Throws std::runtime_error when the file cannot be created.
    MailboxWriter(const std::string& path, MailboxOptions options = {});

    uint32_t topOfPersonalFolders() const { return topNid_; }
    uint32_t searchRoot() const { return searchRootNid_; }

    [[nodiscard]] uint32_t AddFolder(uint32_t parentNid, FolderDefinition definition);
    // Lists `folderNid` in `parentNid`'s hierarchy table as well, where it
    // stays below its own parent (see PstFolder::listFolder).
    void ListFolder(uint32_t parentNid, uint32_t folderNid) { folder(parentNid).children.push_back(folderNid); }
    // Marks the folder the store names for `role`.
    void setStoreFolder(StoreRole role, uint32_t folderNid) { storeFolders_[role] = folderNid; }
    void setDeletedItemsFolder(uint32_t folderNid) { setStoreFolder(StoreRole::DeletedItems, folderNid); }
    // Writes the item now; returns its node id.
    uint32_t AddMessage(uint32_t folderNid, const Message& message);
    // Writes the item and deletes it again as a mail client does without compacting the file: its blocks
    // keep their bytes but are free space, its node and block entries are gone from the B-trees and
    // survive only in page tails and superseded pages. The folder's contents table and counts never
    // include it, so it may be added after the folder is closed.
    DeletedMessage AddDeletedMessage(uint32_t folderNid, const Message& message);
    // Writes a live item whose parent folder does not exist and that no contents table lists.
    uint32_t AddOrphanMessage(const Message& message);
    // Writes a live item and also leaves an identical copy of its node entry in a node B-tree page tail.
    uint32_t AddMessageWithStaleCopy(uint32_t folderNid, const Message& message);
    // Writes `earlier`, frees it, then writes `current` under the same node id: the live node points at
    // `current`, a stale node entry still points at `earlier`'s freed blocks. Returns `earlier`'s layout.
    DeletedMessage AddRevisedMessage(uint32_t folderNid, const Message& earlier, const Message& current);
    // Writes `earlier`, frees it, writes `later` under the same node id and frees that too: two deleted
    // versions of one message, each named by a stale node entry. Returns them in that order.
    std::pair<DeletedMessage, DeletedMessage> AddDeletedRevisedMessage(uint32_t folderNid, const Message& earlier,
                                                                       const Message& later);
    // Writes the folder's contents table now; no more items may be added to it.
    void CloseFolder(uint32_t folderNid);
    void Finish();

    uint64_t bytesWritten() const { return db_.bytesWritten(); }

private:
    struct FolderState {
        uint32_t parent = 0;
        FolderDefinition definition;
        std::vector<uint32_t> children;
        int32_t contentCount = 0;
        int32_t unreadCount = 0;
        std::vector<TableRow> rows;
        bool closed = false;
    };
    struct NodeBids {
        uint64_t data = 0;
        uint64_t sub = 0;
    };

    uint32_t NextNid(uint8_t type) { return (nextIndex_++ << 5) | type; }
    NodeBids WriteMessageNode(const Message& message);
    NodeBids WriteAttachmentNode(const Attachment& attachment);
    PropertyMap ResolveNamed(const PropertyMap& properties, const NamedPropertyMap& named);
    void WriteContentsTable(uint32_t folderNid, FolderState& folder);
    void WriteFolderObject(uint32_t folderNid, FolderState& folder);
    void WriteTemplates();
    Bytes EntryIdFor(uint32_t nid) const;
    FolderState& folder(uint32_t nid);

    NodeDatabaseWriter db_;
    MailboxOptions options_;
    NameToIdMap names_;
    std::map<uint32_t, FolderState> folders_;
    std::map<const Message*, uint32_t> messageNids_;  // every message added, for lists that name them
    // A distribution list's member properties, made from its members now that their entry identifiers exist.
    Message WithListMembers(const Message& list) const;
    uint32_t AddMessageAs(uint32_t folderNid, uint32_t nid, const Message& message);
    // Writes the item's blocks under its node id, remembered for lists that name it; adds its row and
    // counts to listedIn when given.
    NodeBids WriteItem(uint32_t nid, const Message& message, FolderState* listedIn = nullptr);
    // Writes the item's blocks as freed space with a stale node entry under `folderNid`.
    DeletedMessage WriteFreedItem(uint32_t nid, uint32_t folderNid, const Message& message);
    void ListInFolder(FolderState& target, uint32_t nid, const Message& message);
    FolderState& OpenFolder(uint32_t nid);
    uint32_t nextIndex_ = 0x401;
    uint32_t topNid_ = 0;
    uint32_t searchRootNid_ = 0;
    std::map<StoreRole, uint32_t> storeFolders_;
    // The receive folder table: the classes of mail the Inbox receives.
    void WriteReceiveFolderTable(uint32_t inboxNid);
    bool finished_ = false;
};

}  // namespace tolvane::pstwriter
