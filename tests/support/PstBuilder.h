// In-memory description of a whole mailbox for tests: folders under folders, items in folders,
// then Write(path). Folders are described with chained calls named like Message's (addFolder,
// containerClass); Write is the one call that does the work. Example:
//   PstBuilder pst;
//   auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
//   inbox.addMessage().subject("Hello").from("Ann", "ann@example.com").to("Bob", "bob@example.com")
//        .htmlBody("<p>hi</p>").attach("a.txt", bytes);
//   pst.Write(path);
#pragma once

#include "tests/support/MailboxWriter.h"
#include "tests/support/MessageContent.h"

#include <memory>
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

    const std::vector<std::unique_ptr<PstFolder>>& folders() const { return folders_; }
    const std::vector<std::unique_ptr<Message>>& messages() const { return messages_; }
    const FolderDefinition& definition() const { return definition_; }

private:
    friend class PstBuilder;
    FolderDefinition definition_;
    std::vector<std::unique_ptr<PstFolder>> folders_;
    std::vector<std::unique_ptr<Message>> messages_;
};

struct PstBuilderOptions {
    BlockEncoding encoding = BlockEncoding::Compressible;
    bool deletedItems = true;  // "Deleted Items" under the top folder, as every mail client creates it
    std::string storeDisplayName = "Personal Folders";
};

class PstBuilder {
public:
    PstBuilder() : PstBuilder(PstBuilderOptions{}) {}
    explicit PstBuilder(PstBuilderOptions options);

    PstFolder& rootFolder() { return root_; }  // holds "Top of Personal Folders" and "Search Root"
    PstFolder& topOfPersonalFolders() { return top_; }
    PstFolder& searchRoot() { return searchRoot_; }
    PstFolder* deletedItems() { return deletedItems_; }

    // Adds the usual default folders (Inbox, Outbox, Sent Items, Calendar, Contacts, ...) under the top folder.
    PstBuilder& withStandardFolders();

    // Throws std::runtime_error when the file cannot be written.
    void Write(const std::string& path) const;

private:
    void WriteFolder(MailboxWriter& writer, uint32_t nid, const PstFolder& folder) const;

    PstBuilderOptions options_;
    PstFolder root_;
    PstFolder top_;
    PstFolder searchRoot_;
    PstFolder* deletedItems_ = nullptr;
};

}  // namespace tolvane::pstwriter
