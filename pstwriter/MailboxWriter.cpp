// Maps folders, items, recipients and attachments onto nodes, subnodes, property contexts and tables.
#include "pstwriter/MailboxWriter.h"

#include "pstwriter/ContextWriters.h"
#include "pstwriter/EntryIds.h"

#include <stdexcept>

namespace tolvane::pstwriter {
namespace {

using namespace tags;

constexpr uint8_t kNidTypeNormalFolder = 0x02;
constexpr uint8_t kNidTypeMessage = 0x04;
constexpr uint8_t kNidTypeAttachment = 0x05;
constexpr uint8_t kNidTypeHierarchyTable = 0x0D;
constexpr uint8_t kNidTypeContentsTable = 0x0E;
constexpr uint8_t kNidTypeAssocContentsTable = 0x0F;
constexpr uint32_t kNidMessageStore = 0x21;
constexpr uint32_t kNidNameToIdMap = 0x61;
constexpr uint32_t kNidHierarchyTemplate = 0x60D;
constexpr uint32_t kNidContentsTemplate = 0x60E;
constexpr uint32_t kNidAssocContentsTemplate = 0x60F;
constexpr uint32_t kNidSearchContentsTemplate = 0x610;
constexpr uint32_t kNidAttachmentTable = 0x671;
constexpr uint32_t kNidRecipientTable = 0x692;
constexpr uint32_t kNidReceiveFolderTable = 0x6D7;

const std::vector<uint32_t> kHierarchyColumns = {DisplayName, ContentCount, ContentUnreadCount, Subfolders,
                                                 ContainerClass};
const std::vector<uint32_t> kContentsColumns = {
    Importance,   MessageClass,      Sensitivity, Subject,       ClientSubmitTime,    SentRepresentingName,
    MessageToMe,  MessageCcMe,       ConversationTopic, ConversationIndex, DisplayCc, DisplayTo,
    MessageDeliveryTime, MessageFlags, MessageSize, MessageStatus, LastModificationTime};
const std::vector<uint32_t> kRecipientColumns = {RecipientType, Responsibility, RecordKey,   ObjectType,
                                                 EntryId,       DisplayName,    AddressType, EmailAddress,
                                                 SearchKey,     DisplayType,    TransmittableDisplayName, SendRichInfo};
const std::vector<uint32_t> kAttachmentColumns = {AttachSize, AttachFilename, AttachMethod, RenderingPosition};

// Fixed so that the same input always gives the same file.
const Bytes kStoreUid = {0x7A, 0x1C, 0x55, 0x3E, 0x90, 0x4B, 0x42, 0x11, 0xA6, 0x2D, 0x0F, 0x6E, 0x51, 0x73, 0x8C, 0x01};

uint32_t TagOf(uint16_t id, const PropertyValue& value) { return MakeTag(id, value.type); }

int32_t IntOf(const PropertyMap& properties, uint32_t tag, int32_t fallback)
{
    auto it = properties.find(TagId(tag));
    if (it == properties.end() || it->second.type != TagType(tag) || it->second.data.size() < 4)
        return fallback;
    return int32_t(GetU32(it->second.data.data()));
}

uint64_t EstimateSize(const Message& message)
{
    uint64_t size = 0;
    for (const auto& [id, value] : message.properties)
        size += value.data.size() + 8;
    for (const auto& [key, value] : message.named)
        size += value.data.size() + 8;
    for (const auto& r : message.recipients)
        for (const auto& [id, value] : r)
            size += value.data.size() + 8;
    for (const auto& a : message.attachments) {
        for (const auto& [id, value] : a.properties)
            size += value.data.size() + 8;
        if (a.embedded)
            size += EstimateSize(*a.embedded);
    }
    return size;
}

// Columns of a table: the usual ones plus every property any row carries, so no value is dropped.
std::vector<uint32_t> ColumnsFor(std::vector<uint32_t> columns, const std::vector<const PropertyMap*>& rows)
{
    for (const PropertyMap* row : rows)
        for (const auto& [id, value] : *row)
            columns.push_back(TagOf(id, value));
    return columns;
}

}  // namespace

MailboxWriter::MailboxWriter(const std::string& path, MailboxOptions options)
    : db_(path, options.encoding, options.contentType), options_(std::move(options))
{
    // Names every mail client registers; readers also expect the map's streams to be non-empty.
    for (uint32_t lid : {0x8005u})
        names_.IdFor(NamedPropertyKey{propsets::Address, lid, {}});
    for (uint32_t lid : {0x820Du, 0x820Eu, 0x8208u, 0x8232u})
        names_.IdFor(NamedPropertyKey{propsets::Appointment, lid, {}});
    names_.IdFor(NamedPropertyKey{propsets::PublicStrings, 0, "Keywords"});

    FolderState root;
    root.parent = kRootFolderNid;
    root.definition.displayName = "";
    folders_.emplace(kRootFolderNid, std::move(root));
    if (options_.topFolderName) {
        topNid_ = AddFolder(kRootFolderNid, FolderDefinition{*options_.topFolderName, std::nullopt, {}});
        setStoreFolder(StoreRole::MailRoot, topNid_);
    }
    searchRootNid_ = AddFolder(kRootFolderNid, FolderDefinition{"Search Root", std::nullopt, {}});
}

MailboxWriter::FolderState& MailboxWriter::folder(uint32_t nid)
{
    auto it = folders_.find(nid);
    if (it == folders_.end())
        throw std::logic_error("unknown folder");
    return it->second;
}

uint32_t MailboxWriter::AddFolder(uint32_t parentNid, FolderDefinition definition)
{
    FolderState& parent = folder(parentNid);
    const uint32_t nid = NextNid(kNidTypeNormalFolder);
    parent.children.push_back(nid);
    FolderState state;
    state.parent = parentNid;
    state.definition = std::move(definition);
    folders_.emplace(nid, std::move(state));
    return nid;
}

PropertyMap MailboxWriter::ResolveNamed(const PropertyMap& properties, const NamedPropertyMap& named)
{
    PropertyMap out = properties;
    for (const auto& [key, value] : named)
        out[names_.IdFor(key)] = value;
    return out;
}

MailboxWriter::NodeBids MailboxWriter::WriteAttachmentNode(const Attachment& attachment)
{
    SubnodeCollector subnodes(db_);
    PropertyMap properties = ResolveNamed(attachment.properties, attachment.named);
    if (attachment.embedded) {
        const uint32_t nid = subnodes.NewNid(kNidTypeMessage);
        const NodeBids embedded = WriteMessageNode(*attachment.embedded);
        subnodes.Add(nid, embedded.data, embedded.sub);
        Bytes object;
        PutU32(object, nid);
        PutU32(object, uint32_t(EstimateSize(*attachment.embedded)));
        properties[TagId(AttachDataObject)] = PropertyValue::raw(PtObject, object);
    }
    NodeBids bids;
    bids.data = WritePropertyContext(properties, subnodes);
    bids.sub = subnodes.Write();
    return bids;
}

MailboxWriter::NodeBids MailboxWriter::WriteMessageNode(const Message& message)
{
    SubnodeCollector subnodes(db_);
    PropertyMap properties = ResolveNamed(message.properties, message.named);
    if (!properties.count(TagId(MessageSize)))
        properties[TagId(MessageSize)] = PropertyValue::int32(int32_t(std::min<uint64_t>(EstimateSize(message), 0x7FFFFFFF)));

    std::vector<const PropertyMap*> recipientMaps;
    std::vector<TableRow> recipientRows;
    for (size_t i = 0; i < message.recipients.size(); ++i) {
        recipientMaps.push_back(&message.recipients[i]);
        TableRow row;
        row.rowId = uint32_t(i);
        for (const auto& [id, value] : message.recipients[i])
            row.cells[TagOf(id, value)] = value;
        recipientRows.push_back(std::move(row));
    }
    {
        // Large cells of a table are subnodes of the table's own node, not of the message.
        SubnodeCollector tableSubnodes(db_);
        const uint64_t data = WriteTableContext(ColumnsFor(kRecipientColumns, recipientMaps), recipientRows, tableSubnodes);
        subnodes.Add(kNidRecipientTable, data, tableSubnodes.Write());
    }

    if (!message.attachments.empty()) {
        std::vector<const PropertyMap*> attachmentMaps;
        std::vector<TableRow> attachmentRows;
        for (const Attachment& attachment : message.attachments) {
            const uint32_t nid = subnodes.NewNid(kNidTypeAttachment);
            const NodeBids bids = WriteAttachmentNode(attachment);
            subnodes.Add(nid, bids.data, bids.sub);
            TableRow row;
            row.rowId = nid;
            for (uint32_t tag : kAttachmentColumns)
                if (auto it = attachment.properties.find(TagId(tag));
                    it != attachment.properties.end() && it->second.type == TagType(tag))
                    row.cells[tag] = it->second;
            attachmentRows.push_back(std::move(row));
        }
        SubnodeCollector tableSubnodes(db_);
        const uint64_t data = WriteTableContext(kAttachmentColumns, attachmentRows, tableSubnodes);
        subnodes.Add(kNidAttachmentTable, data, tableSubnodes.Write());
    }

    NodeBids bids;
    bids.data = WritePropertyContext(properties, subnodes);
    bids.sub = subnodes.Write();
    return bids;
}

MailboxWriter::FolderState& MailboxWriter::OpenFolder(uint32_t nid)
{
    FolderState& state = folder(nid);
    if (state.closed)
        throw std::logic_error("folder already closed");
    return state;
}

MailboxWriter::NodeBids MailboxWriter::WriteItem(uint32_t nid, const Message& message, FolderState* listedIn)
{
    messageNids_[&message] = nid;
    // A list's row describes the list as written, member properties included.
    auto write = [&](const Message& written) {
        const NodeBids bids = WriteMessageNode(written);
        if (listedIn)
            ListInFolder(*listedIn, nid, written);
        return bids;
    };
    if (!message.listMembers.empty())
        return write(WithListMembers(message));
    return write(message);
}

uint32_t MailboxWriter::AddMessage(uint32_t folderNid, const Message& message)
{
    OpenFolder(folderNid);
    return AddMessageAs(folderNid, NextNid(kNidTypeMessage), message);
}

DeletedMessage MailboxWriter::WriteFreedItem(uint32_t nid, uint32_t folderNid, const Message& message)
{
    DeletedMessage freed;
    freed.nid = nid;
    const size_t mark = db_.blockCount();
    const NodeBids bids = WriteItem(nid, message);
    freed.blocks = db_.FreeBlocksFrom(mark);
    db_.AddStaleNode(nid, bids.data, bids.sub, folderNid);
    return freed;
}

DeletedMessage MailboxWriter::AddDeletedMessage(uint32_t folderNid, const Message& message)
{
    (void)folder(folderNid);  // throws for a folder that was never added
    return WriteFreedItem(NextNid(kNidTypeMessage), folderNid, message);
}

uint32_t MailboxWriter::AddOrphanMessage(const Message& message)
{
    // A folder id that is handed out but never written: the parent every reader fails to find.
    const uint32_t missingFolder = NextNid(kNidTypeNormalFolder);
    const uint32_t nid = NextNid(kNidTypeMessage);
    const NodeBids bids = WriteItem(nid, message);
    db_.AddNode(nid, bids.data, bids.sub, missingFolder);
    return nid;
}

uint32_t MailboxWriter::AddMessageWithStaleCopy(uint32_t folderNid, const Message& message)
{
    FolderState& target = OpenFolder(folderNid);
    const uint32_t nid = NextNid(kNidTypeMessage);
    const NodeBids bids = WriteItem(nid, message, &target);
    db_.AddNode(nid, bids.data, bids.sub, folderNid);
    db_.AddStaleNode(nid, bids.data, bids.sub, folderNid);
    return nid;
}

DeletedMessage MailboxWriter::AddRevisedMessage(uint32_t folderNid, const Message& earlier, const Message& current)
{
    OpenFolder(folderNid);
    const DeletedMessage replaced = WriteFreedItem(NextNid(kNidTypeMessage), folderNid, earlier);
    AddMessageAs(folderNid, replaced.nid, current);
    return replaced;
}

std::pair<DeletedMessage, DeletedMessage> MailboxWriter::AddDeletedRevisedMessage(uint32_t folderNid,
                                                                                  const Message& earlier,
                                                                                  const Message& later)
{
    (void)folder(folderNid);  // throws for a folder that was never added
    DeletedMessage first = WriteFreedItem(NextNid(kNidTypeMessage), folderNid, earlier);
    DeletedMessage second = WriteFreedItem(first.nid, folderNid, later);
    return {std::move(first), std::move(second)};
}

Message MailboxWriter::WithListMembers(const Message& list) const
{
    static const Bytes kWrappingProvider = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11,
                                            0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};
    std::vector<Bytes> asTheyAre;
    std::vector<Bytes> asOneOffs;
    for (const ListMember& member : list.listMembers) {
        const Bytes oneOff = OneOffEntryId(member.name, "SMTP", member.address);
        Bytes wrapped(4, 0);
        wrapped.insert(wrapped.end(), kWrappingProvider.begin(), kWrappingProvider.end());
        if (member.contact != nullptr) {
            const auto found = messageNids_.find(member.contact);
            if (found == messageNids_.end())
                throw std::logic_error("a list member must be added to the mailbox before its list");
            wrapped.push_back(0xC3);  // a contact, by its first e-mail address
            const Bytes entryId = EntryIdFor(found->second);
            wrapped.insert(wrapped.end(), entryId.begin(), entryId.end());
        } else {
            wrapped.push_back(0x00);  // a one-off address
            wrapped.insert(wrapped.end(), oneOff.begin(), oneOff.end());
        }
        asTheyAre.push_back(std::move(wrapped));
        asOneOffs.push_back(oneOff);
    }
    Message written = list;
    written.namedProperty(propsets::Address, 0x8055, PropertyValue::multipleBinary(asTheyAre));
    written.namedProperty(propsets::Address, 0x8054, PropertyValue::multipleBinary(asOneOffs));
    return written;
}

uint32_t MailboxWriter::AddMessageAs(uint32_t folderNid, uint32_t nid, const Message& message)
{
    const NodeBids bids = WriteItem(nid, message, &folder(folderNid));
    db_.AddNode(nid, bids.data, bids.sub, folderNid);
    return nid;
}

void MailboxWriter::ListInFolder(FolderState& target, uint32_t nid, const Message& message)
{
    ++target.contentCount;
    if (!(IntOf(message.properties, MessageFlags, 0) & FlagRead))
        ++target.unreadCount;
    TableRow row;
    row.rowId = nid;
    for (uint32_t tag : kContentsColumns)
        if (auto value = message.find(tag))
            row.cells[tag] = *value;
    if (!row.cells.count(MessageSize))
        row.cells[MessageSize] = PropertyValue::int32(int32_t(std::min<uint64_t>(EstimateSize(message), 0x7FFFFFFF)));
    target.rows.push_back(std::move(row));
}

void MailboxWriter::WriteContentsTable(uint32_t folderNid, FolderState& state)
{
    SubnodeCollector subnodes(db_);
    const uint64_t data = WriteTableContext(kContentsColumns, state.rows, subnodes);
    db_.AddNode((folderNid & ~0x1Fu) | kNidTypeContentsTable, data, subnodes.Write(), 0);
    state.rows.clear();
    state.rows.shrink_to_fit();
    state.closed = true;
}

void MailboxWriter::CloseFolder(uint32_t folderNid)
{
    FolderState& state = folder(folderNid);
    if (!state.closed)
        WriteContentsTable(folderNid, state);
}

void MailboxWriter::WriteFolderObject(uint32_t folderNid, FolderState& state)
{
    PropertyMap properties = state.definition.extraProperties;
    if (state.definition.displayName)
        properties[TagId(DisplayName)] = PropertyValue::unicode(*state.definition.displayName);
    if (state.definition.containerClass)
        properties[TagId(ContainerClass)] = PropertyValue::unicode(*state.definition.containerClass);
    properties[TagId(ContentCount)] = PropertyValue::int32(state.contentCount);
    properties[TagId(ContentUnreadCount)] = PropertyValue::int32(state.unreadCount);
    properties[TagId(Subfolders)] = PropertyValue::boolean(!state.children.empty());
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WritePropertyContext(properties, subnodes);
        db_.AddNode(folderNid, data, subnodes.Write(), state.parent);
    }

    std::vector<TableRow> rows;
    for (uint32_t childNid : state.children) {
        const FolderState& child = folders_.at(childNid);
        TableRow row;
        row.rowId = childNid;
        if (child.definition.displayName)
            row.cells[DisplayName] = PropertyValue::unicode(*child.definition.displayName);
        if (child.definition.containerClass)
            row.cells[ContainerClass] = PropertyValue::unicode(*child.definition.containerClass);
        row.cells[ContentCount] = PropertyValue::int32(child.contentCount);
        row.cells[ContentUnreadCount] = PropertyValue::int32(child.unreadCount);
        row.cells[Subfolders] = PropertyValue::boolean(!child.children.empty());
        rows.push_back(std::move(row));
    }
    const uint32_t index = folderNid & ~0x1Fu;
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WriteTableContext(kHierarchyColumns, rows, subnodes);
        db_.AddNode(index | kNidTypeHierarchyTable, data, subnodes.Write(), 0);
    }
    if (!state.closed)
        WriteContentsTable(folderNid, state);
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WriteTableContext(kContentsColumns, {}, subnodes);
        db_.AddNode(index | kNidTypeAssocContentsTable, data, subnodes.Write(), 0);
    }
}

Bytes MailboxWriter::EntryIdFor(uint32_t nid) const
{
    Bytes id;
    id.reserve(24);
    PutU32(id, 0);  // flags
    for (uint8_t b : kStoreUid)
        id.push_back(b);
    PutU32(id, nid);
    return id;
}

void MailboxWriter::WriteTemplates()
{
    const std::pair<uint32_t, const std::vector<uint32_t>*> templates[] = {
        {kNidHierarchyTemplate, &kHierarchyColumns},      {kNidContentsTemplate, &kContentsColumns},
        {kNidAssocContentsTemplate, &kContentsColumns},   {kNidSearchContentsTemplate, &kContentsColumns},
        {kNidAttachmentTable, &kAttachmentColumns},       {kNidRecipientTable, &kRecipientColumns},
    };
    for (const auto& [nid, columns] : templates) {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WriteTableContext(*columns, {}, subnodes);
        db_.AddNode(nid, data, subnodes.Write(), 0);
    }
}

void MailboxWriter::WriteReceiveFolderTable(uint32_t inboxNid)
{
    // The default class (empty), ordinary mail and the reports about it.
    std::vector<TableRow> rows;
    for (const char* messageClass : {"", "IPM", "REPORT.IPM"}) {
        TableRow row;
        row.rowId = uint32_t(rows.size() + 1);
        row.cells[MessageClass] = PropertyValue::unicode(messageClass);
        row.cells[EntryId] = PropertyValue::binary(EntryIdFor(inboxNid));
        rows.push_back(std::move(row));
    }
    SubnodeCollector subnodes(db_);
    const uint64_t data = WriteTableContext({MessageClass, EntryId}, rows, subnodes);
    db_.AddNode(kNidReceiveFolderTable, data, subnodes.Write(), 0);
}

void MailboxWriter::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    const auto roleFolder = [this](StoreRole role) {
        const auto found = storeFolders_.find(role);
        return found != storeFolders_.end() ? found->second : 0u;
    };
    // The drafts folder is named on the root folder, as clients do.
    if (const uint32_t drafts = roleFolder(StoreRole::Drafts))
        folder(kRootFolderNid).definition.extraProperties[TagId(IpmDraftsEntryId)] =
            PropertyValue::binary(EntryIdFor(drafts));
    for (auto& [nid, state] : folders_)
        WriteFolderObject(nid, state);

    PropertyMap store;
    store[TagId(RecordKey)] = PropertyValue::binary(kStoreUid);
    store[TagId(DisplayName)] = PropertyValue::unicode(options_.storeDisplayName);
    store[TagId(FinderEntryId)] = PropertyValue::binary(EntryIdFor(searchRootNid_));
    // The store names each folder it has a part for, and says which it names
    // in its mask of valid folders (the search root always).
    int32_t validMask = 0x80;
    const struct {
        StoreRole role;
        uint32_t tag;
        int32_t validBit;
    } named[] = {
        {StoreRole::MailRoot, IpmSubtreeEntryId, 0x01},
        {StoreRole::Outbox, IpmOutboxEntryId, 0x04},
        {StoreRole::DeletedItems, IpmWastebasketEntryId, 0x08},
        {StoreRole::SentItems, IpmSentMailEntryId, 0x10},
    };
    for (const auto& [role, tag, validBit] : named) {
        if (const uint32_t nid = roleFolder(role)) {
            store[TagId(tag)] = PropertyValue::binary(EntryIdFor(nid));
            validMask |= validBit;
        }
    }
    if (const uint32_t inbox = roleFolder(StoreRole::Inbox)) {
        WriteReceiveFolderTable(inbox);
        validMask |= 0x02;
    }
    store[TagId(ValidFolderMask)] = PropertyValue::int32(validMask);
    store[TagId(PstPassword)] = PropertyValue::int32(0);
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WritePropertyContext(store, subnodes);
        db_.AddNode(kNidMessageStore, data, subnodes.Write(), 0);
    }
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WritePropertyContext(names_.ToProperties(), subnodes);
        db_.AddNode(kNidNameToIdMap, data, subnodes.Write(), 0);
    }
    WriteTemplates();
    db_.Finish(std::vector<uint32_t>(32, nextIndex_));
}

}  // namespace tolvane::pstwriter
