// The parts the message store gives its folders (see StoreFolders.h).
#include "scan/StoreFolders.h"

#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

#include <QString>

namespace tolvane {

namespace {

// The receive folder table: one row per message class with the folder new
// mail of that class goes to. Mailboxes keep it as one node of the type of
// receive folder tables (0x17), always at index 0x36.
constexpr uint32_t kReceiveFolderTable = (0x36u << 5) | 0x17u;
constexpr uint32_t kRootFolder = 0x122;

std::optional<uint32_t> FolderNamedBy(libpff_item_t* item, int setIndex, uint32_t entryType)
{
    if (const auto entryId = ReadBinary(item, setIndex, entryType, NamedLookup::Raw))
        return FolderOfEntryId(*entryId);
    return std::nullopt;
}

// The folder the receive folder table gives the default class (the empty
// one), else the class of ordinary mail: where the client files what it
// receives, which is what users know as the Inbox.
std::optional<uint32_t> ReceiveFolder(libpff_file_t* file)
{
    PffItem table;
    if (libpff_file_get_item_by_identifier(file, kReceiveFolderTable, table.out(), nullptr) != 1 || !table)
        return std::nullopt;
    int rows = 0;
    if (libpff_item_get_number_of_record_sets(table.get(), &rows, nullptr) != 1)
        return std::nullopt;
    std::optional<uint32_t> ofMail;
    for (int row = 0; row < rows; ++row) {
        const auto folder = FolderNamedBy(table.get(), row, PropertyTag::EntryId);
        if (!folder)
            continue;
        const QString messageClass =
            ReadString(table.get(), row, PropertyTag::MessageClass, 1252).value_or(QString());
        if (messageClass.isEmpty())
            return folder;
        if (!ofMail && (messageClass.compare(QLatin1String("IPM"), Qt::CaseInsensitive) == 0
                        || messageClass.compare(QLatin1String("IPM.Note"), Qt::CaseInsensitive) == 0))
            ofMail = folder;
    }
    return ofMail;
}

std::optional<uint32_t> DraftsNamedBy(libpff_file_t* file, std::optional<uint32_t> folderIdentifier)
{
    if (!folderIdentifier)
        return std::nullopt;
    PffItem folder;
    if (libpff_file_get_item_by_identifier(file, *folderIdentifier, folder.out(), nullptr) != 1 || !folder)
        return std::nullopt;
    return FolderNamedBy(folder.get(), 0, PropertyTag::IpmDraftsEntryId);
}

}  // namespace

std::optional<FolderRole> StoreFolders::RoleOf(uint32_t identifier) const
{
    for (const auto& [role, folder] : byRole) {
        if (folder == identifier)
            return role;
    }
    return std::nullopt;
}

std::optional<uint32_t> FolderOfEntryId(const QByteArray& entryId)
{
    // Four bytes of flags, the sixteen of the store's identifier, the node.
    constexpr qsizetype kFolderEntryIdSize = 24;
    if (entryId.size() < kFolderEntryIdSize)
        return std::nullopt;
    const auto* node = reinterpret_cast<const uchar*>(entryId.constData()) + entryId.size() - 4;
    const uint32_t identifier = uint32_t(node[0]) | uint32_t(node[1]) << 8 | uint32_t(node[2]) << 16
                                | uint32_t(node[3]) << 24;
    if (identifier == 0)
        return std::nullopt;
    return identifier;
}

StoreFolders ReadStoreFolders(libpff_file_t* file)
{
    StoreFolders folders;
    if (file == nullptr)
        return folders;
    PffItem store;
    if (libpff_file_get_message_store(file, store.out(), nullptr) == 1 && store) {
        const std::pair<FolderRole, uint32_t> named[] = {
            {FolderRole::MailRoot, PropertyTag::IpmSubtreeEntryId},
            {FolderRole::Outbox, PropertyTag::IpmOutboxEntryId},
            {FolderRole::DeletedItems, PropertyTag::IpmWastebasketEntryId},
            {FolderRole::SentItems, PropertyTag::IpmSentMailEntryId},
            {FolderRole::SearchRoot, PropertyTag::FinderEntryId},
        };
        for (const auto& [role, entryType] : named) {
            if (const auto folder = FolderNamedBy(store.get(), 0, entryType))
                folders.byRole.emplace(role, *folder);
        }
    }
    if (const auto inbox = ReceiveFolder(file))
        folders.byRole.emplace(FolderRole::Inbox, *inbox);
    // The drafts folder is named on the root folder, and again on the Inbox.
    auto drafts = DraftsNamedBy(file, kRootFolder);
    if (!drafts)
        drafts = DraftsNamedBy(file, folders.Of(FolderRole::Inbox));
    if (drafts)
        folders.byRole.emplace(FolderRole::Drafts, *drafts);
    return folders;
}

}  // namespace tolvane
