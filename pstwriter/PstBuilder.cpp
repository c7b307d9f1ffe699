// Turns the in-memory mailbox description into calls on the streaming mailbox writer.
#include "pstwriter/PstBuilder.h"

namespace tolvane::pstwriter {

PstFolder& PstFolder::addFolder(std::string_view displayName)
{
    auto& child = addFolderWithoutName();
    child.definition_.displayName = std::string(displayName);
    return child;
}

PstFolder& PstFolder::addFolderWithoutName()
{
    folders_.push_back(std::make_unique<PstFolder>());
    return *folders_.back();
}

PstFolder& PstFolder::containerClass(std::string_view value)
{
    definition_.containerClass = std::string(value);
    return *this;
}

PstFolder& PstFolder::property(uint32_t tag, PropertyValue value)
{
    value.type = TagType(tag);
    definition_.extraProperties[TagId(tag)] = std::move(value);
    return *this;
}

Message& PstFolder::addMessage(std::string_view messageClass) { return add(Message(messageClass)); }

Message& PstFolder::addContact(std::string_view givenName, std::string_view surname)
{
    Message& contact = addMessage("IPM.Contact");
    if (!givenName.empty() || !surname.empty())
        contact.contactNames(givenName, surname);
    return contact;
}

Message& PstFolder::addAppointment(std::string_view subject)
{
    Message& appointment = addMessage("IPM.Appointment");
    if (!subject.empty())
        appointment.subject(subject);
    return appointment;
}

Message& PstFolder::add(Message message)
{
    messages_.push_back(std::make_unique<Message>(std::move(message)));
    return *messages_.back();
}

Message& PstFolder::addDeletedMessage(std::string_view messageClass)
{
    deleted_.push_back(std::make_unique<Message>(messageClass));
    return *deleted_.back();
}

Message& PstFolder::addMessageWithStaleCopy(std::string_view messageClass)
{
    Message& message = addMessage(messageClass);
    staleCopies_.insert(&message);
    return message;
}

Message& PstFolder::addRevisedMessage(Message earlier, Message current)
{
    Message& added = add(std::move(current));
    earlierVersions_[&added] = std::make_unique<Message>(std::move(earlier));
    return added;
}

Message& PstFolder::addDeletedRevisedMessage(Message earlier, Message later)
{
    deleted_.push_back(std::make_unique<Message>(std::move(later)));
    earlierVersions_[deleted_.back().get()] = std::make_unique<Message>(std::move(earlier));
    return *deleted_.back();
}

Message& PstBuilder::addOrphanMessage(std::string_view messageClass)
{
    orphans_.push_back(std::make_unique<Message>(messageClass));
    return *orphans_.back();
}

PstBuilder::PstBuilder(PstBuilderOptions options) : options_(std::move(options))
{
    if (options_.deletedItems && options_.topFolder)
        deletedItems_ = &top_.addFolder("Deleted Items");
}

PstBuilder& PstBuilder::storeFolder(StoreRole role, PstFolder& folder)
{
    roles_[&folder].push_back(role);
    return *this;
}

PstBuilder& PstBuilder::withStandardFolders()
{
    const struct {
        const char* name;
        const char* containerClass;
        std::optional<StoreRole> role;
    } standard[] = {
        {"Inbox", "IPF.Note", StoreRole::Inbox},       {"Outbox", "IPF.Note", StoreRole::Outbox},
        {"Sent Items", "IPF.Note", StoreRole::SentItems}, {"Drafts", "IPF.Note", StoreRole::Drafts},
        {"Calendar", "IPF.Appointment", std::nullopt}, {"Contacts", "IPF.Contact", std::nullopt},
        {"Journal", "IPF.Journal", std::nullopt},      {"Notes", "IPF.StickyNote", std::nullopt},
        {"Tasks", "IPF.Task", std::nullopt},
    };
    for (const auto& [name, containerClass, role] : standard) {
        PstFolder& folder = top_.addFolder(name).containerClass(containerClass);
        if (role)
            storeFolder(*role, folder);
    }
    return *this;
}

PstBuilder& PstBuilder::withHiddenFolders()
{
    const std::pair<const char*, const char*> besideTop[] = {
        {"SPAM Search Folder 2", "IPF.Note"}, {"IPM_VIEWS", nullptr}, {"IPM_COMMON_VIEWS", nullptr},
        {"Freebusy Data", nullptr},
    };
    for (const auto& [name, containerClass] : besideTop) {
        PstFolder& folder = root_.addFolder(name);
        if (containerClass != nullptr)
            folder.containerClass(containerClass);
    }
    const std::pair<const char*, const char*> searches[] = {
        {"Reminders", "Outlook.Reminder"}, {"To-Do Search", "IPF.Task"}, {"ItemProcSearch", "IPF.Note"},
        {"Tracked Mail Processing", "IPF.Note"},
    };
    for (const auto& [name, containerClass] : searches)
        searchRoot_.addFolder(name).containerClass(containerClass);
    return *this;
}

PstFolder& PstFolder::listFolder(const PstFolder& other)
{
    listed_.push_back(&other);
    return *this;
}

void PstBuilder::WriteFolderLists(MailboxWriter& writer, const PstFolder& folder, const WrittenLayout& layout) const
{
    for (const PstFolder* other : folder.listed_)
        writer.ListFolder(layout.folderNids.at(&folder), layout.folderNids.at(other));
    for (const auto& child : folder.folders_)
        WriteFolderLists(writer, *child, layout);
}

void PstBuilder::WriteFolder(MailboxWriter& writer, uint32_t nid, const PstFolder& folder, WrittenLayout& layout) const
{
    layout.folderNids[&folder] = nid;
    for (const auto& message : folder.messages_) {
        const Message* current = message.get();
        if (auto earlier = folder.earlierVersions_.find(current); earlier != folder.earlierVersions_.end()) {
            DeletedMessage replaced = writer.AddRevisedMessage(nid, *earlier->second, *current);
            layout.nids[current] = replaced.nid;
            layout.replaced[current] = std::move(replaced);
        } else if (folder.staleCopies_.count(current)) {
            layout.nids[current] = writer.AddMessageWithStaleCopy(nid, *current);
        } else {
            layout.nids[current] = writer.AddMessage(nid, *current);
        }
    }
    for (const auto& message : folder.deleted_) {
        if (auto earlier = folder.earlierVersions_.find(message.get()); earlier != folder.earlierVersions_.end()) {
            auto [first, second] = writer.AddDeletedRevisedMessage(nid, *earlier->second, *message);
            layout.nids[message.get()] = second.nid;
            layout.replaced[message.get()] = std::move(first);
            layout.deleted[message.get()] = std::move(second);
            continue;
        }
        DeletedMessage deleted = writer.AddDeletedMessage(nid, *message);
        layout.nids[message.get()] = deleted.nid;
        layout.deleted[message.get()] = std::move(deleted);
    }
    writer.CloseFolder(nid);
    for (const auto& child : folder.folders_) {
        const uint32_t childNid = writer.AddFolder(nid, child->definition_);
        if (child.get() == deletedItems_)
            writer.setDeletedItemsFolder(childNid);
        if (const auto roles = roles_.find(child.get()); roles != roles_.end()) {
            for (const StoreRole role : roles->second)
                writer.setStoreFolder(role, childNid);
        }
        WriteFolder(writer, childNid, *child, layout);
    }
}

void PstBuilder::Write(const std::string& path) const { (void)WriteWithLayout(path); }

WrittenLayout PstBuilder::WriteWithLayout(const std::string& path) const
{
    WrittenLayout layout;
    MailboxOptions mailbox{options_.encoding, options_.storeDisplayName, options_.contentType};
    if (!options_.topFolder)
        mailbox.topFolderName = std::nullopt;
    MailboxWriter writer(path, mailbox);
    if (writer.topOfPersonalFolders() != 0)
        WriteFolder(writer, writer.topOfPersonalFolders(), top_, layout);
    WriteFolder(writer, writer.searchRoot(), searchRoot_, layout);
    WriteFolder(writer, MailboxWriter::kRootFolderNid, root_, layout);
    for (const auto& orphan : orphans_)
        layout.nids[orphan.get()] = writer.AddOrphanMessage(*orphan);
    WriteFolderLists(writer, root_, layout);
    if (options_.topFolder)
        WriteFolderLists(writer, top_, layout);
    WriteFolderLists(writer, searchRoot_, layout);
    writer.Finish();
    return layout;
}

}  // namespace tolvane::pstwriter
