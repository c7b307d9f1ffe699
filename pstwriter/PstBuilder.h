// In-memory description of a whole mailbox for tests: folders under folders, items in folders,
// then Write(path). Folders are described with chained calls named like Message's (addFolder,
// containerClass); Write is the one call that does the work. Example:
//   PstBuilder pst;
//   auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
//   inbox.addMessage().subject("Hello").from("Ann", "ann@example.com").to("Bob", "bob@example.com")
//        .htmlBody("<p>hi</p>").attach("a.txt", bytes);
//   pst.Write(path);
// Deleted items, orphans and earlier versions of items can be added too, for tests of recovery.
#pragma once

#include "pstwriter/MailboxWriter.h"
#include "pstwriter/MessageContent.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tolvane::pstwriter {

class PstFolder {
public:
    PstFolder& addFolder(std::string_view displayName);
    PstFolder& addFolderWithoutName();
    PstFolder& containerClass(std::string_view value);
    PstFolder& property(uint32_t tag, PropertyValue value);

    Message& addMessage(std::string_view messageClass = "IPM.Note");
    Message& addContact(std::string_view givenName = {}, std::string_view surname = {});
    Message& addAppointment(std::string_view subject = {});
    Message& add(Message message);

    // A message that was in this folder and has been deleted: its bytes stay in the file as free space,
    // the folder no longer lists or counts it. Written after the folder's live messages.
    Message& addDeletedMessage(std::string_view messageClass = "IPM.Note");
    // A live message whose node entry also survives as an identical stale copy.
    Message& addMessageWithStaleCopy(std::string_view messageClass = "IPM.Note");
    // A live message that replaced an earlier version of itself: the folder lists `current`, the earlier
    // version's blocks are free space still named by a stale node entry with the same node id.
    Message& addRevisedMessage(Message earlier, Message current);
    // A message that was revised and then deleted: both versions' blocks are free space, each named by a
    // stale node entry with the one node id. Returns the later version.
    Message& addDeletedRevisedMessage(Message earlier, Message later);

    // Lists `other` among this folder's sub-folders as well, where it stays
    // below its own parent: with one of this folder's ancestors, a damaged
    // hierarchy that loops back on itself.
    PstFolder& listFolder(const PstFolder& other);

    const std::vector<std::unique_ptr<PstFolder>>& folders() const { return folders_; }
    const std::vector<std::unique_ptr<Message>>& messages() const { return messages_; }
    const std::vector<std::unique_ptr<Message>>& deletedMessages() const { return deleted_; }
    const FolderDefinition& definition() const { return definition_; }

private:
    friend class PstBuilder;
    FolderDefinition definition_;
    std::vector<std::unique_ptr<PstFolder>> folders_;
    std::vector<std::unique_ptr<Message>> messages_;
    std::vector<std::unique_ptr<Message>> deleted_;
    std::vector<const PstFolder*> listed_;  // see listFolder
    std::set<const Message*> staleCopies_;
    // Keyed by the current version, or by the later one of a deleted revised message.
    std::map<const Message*, std::unique_ptr<Message>> earlierVersions_;
};

// What Write put where, for tests that check node ids or damage the blocks of deleted content.
struct WrittenLayout {
    std::map<const Message*, uint32_t> nids;             // every message written, deleted ones included
    std::map<const Message*, DeletedMessage> deleted;    // by the deleted message
    std::map<const Message*, DeletedMessage> replaced;   // the earlier version, by the current (or deleted later) one
    std::map<const PstFolder*, uint32_t> folderNids;     // every folder written below the root
};

struct PstBuilderOptions {
    BlockEncoding encoding = BlockEncoding::Compressible;
    bool deletedItems = true;  // "Deleted Items" under the top folder, as every mail client creates it
    std::string storeDisplayName = "Personal Folders";
    ContentType contentType = ContentType::PersonalFolders;  // OfflineCache: an OST
    // "Top of Personal Folders" below the root, named by the store as the
    // root of the mail folders; false: none (deletedItems is then ignored),
    // for mailboxes shaped as an offline cache, whose mail root lies deeper.
    bool topFolder = true;
};

class PstBuilder {
public:
    PstBuilder() : PstBuilder(PstBuilderOptions{}) {}
    explicit PstBuilder(PstBuilderOptions options);

    PstFolder& rootFolder() { return root_; }  // holds "Top of Personal Folders" and "Search Root"
    PstFolder& topOfPersonalFolders() { return top_; }
    PstFolder& searchRoot() { return searchRoot_; }
    PstFolder* deletedItems() { return deletedItems_; }

    // Adds the usual default folders (Inbox, Outbox, Sent Items, Calendar, Contacts, ...) under the top folder,
    // the store naming the Inbox, Outbox, Sent Items and Drafts for their parts.
    PstBuilder& withStandardFolders();
    // Adds the folders a mail client keeps for itself outside the mail folders: search folders beside the top
    // folder and below "Search Root", views, free/busy data; none holds mail.
    PstBuilder& withHiddenFolders();
    // The store names `folder` for `role` (the root of the mail folders, the Inbox, ...).
    PstBuilder& storeFolder(StoreRole role, PstFolder& folder);

    // A message whose parent folder does not exist, listed by no folder.
    Message& addOrphanMessage(std::string_view messageClass = "IPM.Note");

    // Throws std::runtime_error when the file cannot be written.
    void Write(const std::string& path) const;
    [[nodiscard]] WrittenLayout WriteWithLayout(const std::string& path) const;

private:
    void WriteFolder(MailboxWriter& writer, uint32_t nid, const PstFolder& folder, WrittenLayout& layout) const;
    void WriteFolderLists(MailboxWriter& writer, const PstFolder& folder, const WrittenLayout& layout) const;

    PstBuilderOptions options_;
    PstFolder root_;
    PstFolder top_;
    PstFolder searchRoot_;
    PstFolder* deletedItems_ = nullptr;
    std::map<const PstFolder*, std::vector<StoreRole>> roles_;
    std::vector<std::unique_ptr<Message>> orphans_;
};

}  // namespace tolvane::pstwriter
