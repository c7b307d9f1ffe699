// Maps folders, items, recipients and attachments onto nodes, subnodes, property contexts and tables.
#include "MailboxWriter.h"

#include "ContextWriters.h"

#include <stdexcept>

namespace tolvane::pstwriter {
namespace {

using namespace tags;

constexpr uint8_t nidTypeNormalFolder = 0x02;
constexpr uint8_t nidTypeMessage = 0x04;
constexpr uint8_t nidTypeAttachment = 0x05;
constexpr uint8_t nidTypeHierarchyTable = 0x0D;
constexpr uint8_t nidTypeContentsTable = 0x0E;
constexpr uint8_t nidTypeAssocContentsTable = 0x0F;
constexpr uint32_t nidMessageStore = 0x21;
constexpr uint32_t nidNameToIdMap = 0x61;
constexpr uint32_t nidHierarchyTemplate = 0x60D;
constexpr uint32_t nidContentsTemplate = 0x60E;
constexpr uint32_t nidAssocContentsTemplate = 0x60F;
constexpr uint32_t nidSearchContentsTemplate = 0x610;
constexpr uint32_t nidAttachmentTable = 0x671;
constexpr uint32_t nidRecipientTable = 0x692;

const std::vector<uint32_t> hierarchyColumns = {DisplayName, ContentCount, ContentUnreadCount, Subfolders,
                                                ContainerClass};
const std::vector<uint32_t> contentsColumns = {
    Importance,   MessageClass,      Sensitivity, Subject,       ClientSubmitTime,    SentRepresentingName,
    MessageToMe,  MessageCcMe,       ConversationTopic, ConversationIndex, DisplayCc, DisplayTo,
    MessageDeliveryTime, MessageFlags, MessageSize, MessageStatus, LastModificationTime};
const std::vector<uint32_t> recipientColumns = {RecipientType, Responsibility, RecordKey,   ObjectType,
                                                EntryId,       DisplayName,    AddressType, EmailAddress,
                                                SearchKey,     DisplayType,    TransmittableDisplayName, SendRichInfo};
const std::vector<uint32_t> attachmentColumns = {AttachSize, AttachFilename, AttachMethod, RenderingPosition};

// Fixed so that the same input always gives the same file.
const Bytes storeUid = {0x7A, 0x1C, 0x55, 0x3E, 0x90, 0x4B, 0x42, 0x11, 0xA6, 0x2D, 0x0F, 0x6E, 0x51, 0x73, 0x8C, 0x01};

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

} // namespace

MailboxWriter::MailboxWriter(const std::string& path, MailboxOptions options)
    : db_(path, options.encoding), options_(std::move(options))
{
    // Names every mail client registers; readers also expect the map's streams to be non-empty.
    for (uint32_t lid : {0x8005u})
        names_.idFor(NamedPropertyKey{propsets::Address, lid, {}});
    for (uint32_t lid : {0x820Du, 0x820Eu, 0x8208u, 0x8232u})
        names_.idFor(NamedPropertyKey{propsets::Appointment, lid, {}});
    names_.idFor(NamedPropertyKey{propsets::PublicStrings, 0, "Keywords"});

    FolderState root;
    root.parent = rootFolderNid;
    root.definition.displayName = "";
    folders_.emplace(rootFolderNid, std::move(root));
    topNid_ = addFolder(rootFolderNid, FolderDefinition{"Top of Personal Folders", std::nullopt, {}});
    searchRootNid_ = addFolder(rootFolderNid, FolderDefinition{"Search Root", std::nullopt, {}});
}

MailboxWriter::FolderState& MailboxWriter::folder(uint32_t nid)
{
    auto it = folders_.find(nid);
    if (it == folders_.end())
        throw std::logic_error("unknown folder");
    return it->second;
}

uint32_t MailboxWriter::addFolder(uint32_t parentNid, FolderDefinition definition)
{
    FolderState& parent = folder(parentNid);
    const uint32_t nid = nextNid(nidTypeNormalFolder);
    parent.children.push_back(nid);
    FolderState state;
    state.parent = parentNid;
    state.definition = std::move(definition);
    folders_.emplace(nid, std::move(state));
    return nid;
}

PropertyMap MailboxWriter::resolveNamed(const PropertyMap& properties, const NamedPropertyMap& named)
{
    PropertyMap out = properties;
    for (const auto& [key, value] : named)
        out[names_.idFor(key)] = value;
    return out;
}

MailboxWriter::NodeBids MailboxWriter::writeAttachmentNode(const Attachment& attachment)
{
    SubnodeCollector subnodes(db_);
    PropertyMap properties = resolveNamed(attachment.properties, attachment.named);
    if (attachment.embedded) {
        const uint32_t nid = subnodes.newNid(nidTypeMessage);
        const NodeBids embedded = writeMessageNode(*attachment.embedded);
        subnodes.add(nid, embedded.data, embedded.sub);
        Bytes object;
        PutU32(object, nid);
        PutU32(object, uint32_t(EstimateSize(*attachment.embedded)));
        properties[TagId(AttachDataObject)] = PropertyValue::raw(PtObject, object);
    }
    NodeBids bids;
    bids.data = WritePropertyContext(properties, subnodes);
    bids.sub = subnodes.write();
    return bids;
}

MailboxWriter::NodeBids MailboxWriter::writeMessageNode(const Message& message)
{
    SubnodeCollector subnodes(db_);
    PropertyMap properties = resolveNamed(message.properties, message.named);
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
        const uint64_t data = WriteTableContext(ColumnsFor(recipientColumns, recipientMaps), recipientRows, tableSubnodes);
        subnodes.add(nidRecipientTable, data, tableSubnodes.write());
    }

    if (!message.attachments.empty()) {
        std::vector<const PropertyMap*> attachmentMaps;
        std::vector<TableRow> attachmentRows;
        for (const Attachment& attachment : message.attachments) {
            const uint32_t nid = subnodes.newNid(nidTypeAttachment);
            const NodeBids bids = writeAttachmentNode(attachment);
            subnodes.add(nid, bids.data, bids.sub);
            TableRow row;
            row.rowId = nid;
            for (uint32_t tag : attachmentColumns)
                if (auto it = attachment.properties.find(TagId(tag));
                    it != attachment.properties.end() && it->second.type == TagType(tag))
                    row.cells[tag] = it->second;
            attachmentRows.push_back(std::move(row));
        }
        SubnodeCollector tableSubnodes(db_);
        const uint64_t data = WriteTableContext(attachmentColumns, attachmentRows, tableSubnodes);
        subnodes.add(nidAttachmentTable, data, tableSubnodes.write());
    }

    NodeBids bids;
    bids.data = WritePropertyContext(properties, subnodes);
    bids.sub = subnodes.write();
    return bids;
}

uint32_t MailboxWriter::addMessage(uint32_t folderNid, const Message& message)
{
    FolderState& target = folder(folderNid);
    if (target.closed)
        throw std::logic_error("folder already closed");
    const uint32_t nid = nextNid(nidTypeMessage);
    const NodeBids bids = writeMessageNode(message);
    db_.addNode(nid, bids.data, bids.sub, folderNid);

    ++target.contentCount;
    if (!(IntOf(message.properties, MessageFlags, 0) & FlagRead))
        ++target.unreadCount;
    TableRow row;
    row.rowId = nid;
    for (uint32_t tag : contentsColumns)
        if (auto value = message.find(tag))
            row.cells[tag] = *value;
    if (!row.cells.count(MessageSize))
        row.cells[MessageSize] = PropertyValue::int32(int32_t(std::min<uint64_t>(EstimateSize(message), 0x7FFFFFFF)));
    target.rows.push_back(std::move(row));
    return nid;
}

void MailboxWriter::writeContentsTable(uint32_t folderNid, FolderState& state)
{
    SubnodeCollector subnodes(db_);
    const uint64_t data = WriteTableContext(contentsColumns, state.rows, subnodes);
    db_.addNode((folderNid & ~0x1Fu) | nidTypeContentsTable, data, subnodes.write(), 0);
    state.rows.clear();
    state.rows.shrink_to_fit();
    state.closed = true;
}

void MailboxWriter::closeFolder(uint32_t folderNid)
{
    FolderState& state = folder(folderNid);
    if (!state.closed)
        writeContentsTable(folderNid, state);
}

void MailboxWriter::writeFolderObject(uint32_t folderNid, FolderState& state)
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
        db_.addNode(folderNid, data, subnodes.write(), state.parent);
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
        const uint64_t data = WriteTableContext(hierarchyColumns, rows, subnodes);
        db_.addNode(index | nidTypeHierarchyTable, data, subnodes.write(), 0);
    }
    if (!state.closed)
        writeContentsTable(folderNid, state);
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WriteTableContext(contentsColumns, {}, subnodes);
        db_.addNode(index | nidTypeAssocContentsTable, data, subnodes.write(), 0);
    }
}

Bytes MailboxWriter::entryIdFor(uint32_t nid) const
{
    Bytes id;
    id.reserve(24);
    PutU32(id, 0);  // flags
    for (uint8_t b : storeUid)
        id.push_back(b);
    PutU32(id, nid);
    return id;
}

void MailboxWriter::writeTemplates()
{
    const std::pair<uint32_t, const std::vector<uint32_t>*> templates[] = {
        {nidHierarchyTemplate, &hierarchyColumns},      {nidContentsTemplate, &contentsColumns},
        {nidAssocContentsTemplate, &contentsColumns},   {nidSearchContentsTemplate, &contentsColumns},
        {nidAttachmentTable, &attachmentColumns},       {nidRecipientTable, &recipientColumns},
    };
    for (const auto& [nid, columns] : templates) {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WriteTableContext(*columns, {}, subnodes);
        db_.addNode(nid, data, subnodes.write(), 0);
    }
}

void MailboxWriter::finish()
{
    if (finished_)
        return;
    finished_ = true;
    for (auto& [nid, state] : folders_)
        writeFolderObject(nid, state);

    PropertyMap store;
    store[TagId(RecordKey)] = PropertyValue::binary(storeUid);
    store[TagId(DisplayName)] = PropertyValue::unicode(options_.storeDisplayName);
    store[TagId(IpmSubtreeEntryId)] = PropertyValue::binary(entryIdFor(topNid_));
    store[TagId(FinderEntryId)] = PropertyValue::binary(entryIdFor(searchRootNid_));
    int32_t validMask = 0x01 | 0x80;
    if (deletedItemsNid_) {
        store[TagId(IpmWastebasketEntryId)] = PropertyValue::binary(entryIdFor(deletedItemsNid_));
        validMask |= 0x08;
    }
    store[TagId(ValidFolderMask)] = PropertyValue::int32(validMask);
    store[TagId(PstPassword)] = PropertyValue::int32(0);
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WritePropertyContext(store, subnodes);
        db_.addNode(nidMessageStore, data, subnodes.write(), 0);
    }
    {
        SubnodeCollector subnodes(db_);
        const uint64_t data = WritePropertyContext(names_.toProperties(), subnodes);
        db_.addNode(nidNameToIdMap, data, subnodes.write(), 0);
    }
    writeTemplates();
    db_.finish(std::vector<uint32_t>(32, nextIndex_));
}

} // namespace tolvane::pstwriter
