// Finding items again in an open mailbox; see MailboxItemFinder.h.
#include "convert/read/MailboxItemFinder.h"

#include "scan/Limits.h"

namespace tolvane {

namespace {

// The project's libpff finds an item by its identifier from an index, in
// constant time; Debian's walks its item tree for every look-up, so with it
// one walk of every folder at the start records where each item sits. The
// walk also holds each folder's table of items (hundreds of megabytes for a
// folder of a hundred thousand mails) in every handle that uses it.
#if defined(TOLVANE_LIBPFF_IDENTIFIER_INDEX)
constexpr bool kLookUpByIdentifier = true;
#else
constexpr bool kLookUpByIdentifier = false;
#endif

}  // namespace

void MailboxItemFinder::Attach(libpff_file_t* file)
{
    cachedFolderItem_.reset();
    cachedFolder_ = -1;
    index_.reset();
    file_ = file;
}

void MailboxItemFinder::IndexItems()
{
    auto index = std::make_shared<ItemIndex>();
    PffItem root;
    if (!kLookUpByIdentifier && libpff_file_get_root_folder(file_, root.out(), nullptr) == 1 && root) {
        std::vector<int> path;
        // As deep as the scan walks, so every message it recorded is found again.
        IndexFolder(root.get(), path, kDeepestFolderWalk, *index);
    }
    index_ = std::move(index);
}

void MailboxItemFinder::IndexFolder(libpff_item_t* folder, std::vector<int>& path, int depthLeft, ItemIndex& index)
{
    const int folderIndex = static_cast<int>(index.folderPaths.size());
    index.folderPaths.push_back(path);
    int items = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &items, nullptr) == 1) {
        for (int item = 0; item < items; ++item) {
            PffItem message;
            uint32_t identifier = 0;
            if (libpff_folder_get_sub_message(folder, item, message.out(), nullptr) == 1 && message
                && libpff_item_get_identifier(message.get(), &identifier, nullptr) == 1)
                index.positions.emplace(identifier, ItemPosition{folderIndex, item});
        }
    }
    if (depthLeft <= 0)
        return;
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) != 1)
        return;
    for (int sub = 0; sub < folders; ++sub) {
        PffItem subFolder;
        if (libpff_folder_get_sub_folder(folder, sub, subFolder.out(), nullptr) != 1 || !subFolder)
            continue;
        path.push_back(sub);
        IndexFolder(subFolder.get(), path, depthLeft - 1, index);
        path.pop_back();
    }
}

libpff_item_t* MailboxItemFinder::ItemAt(const ItemPosition& position, uint32_t identifier, PffItem& holder)
{
    if (cachedFolder_ != position.folder) {
        cachedFolderItem_.reset();
        cachedFolder_ = -1;
        PffItem current;
        bool ok = libpff_file_get_root_folder(file_, current.out(), nullptr) == 1 && current;
        for (int index : index_->folderPaths[position.folder]) {
            if (!ok)
                break;
            PffItem sub;
            ok = libpff_folder_get_sub_folder(current.get(), index, sub.out(), nullptr) == 1 && sub;
            current = std::move(sub);
        }
        if (!ok)
            return nullptr;
        cachedFolderItem_ = std::move(current);
        cachedFolder_ = position.folder;
    }
    uint32_t check = 0;
    if (libpff_folder_get_sub_message(cachedFolderItem_.get(), position.index, holder.out(), nullptr) == 1 && holder
        && libpff_item_get_identifier(holder.get(), &check, nullptr) == 1 && check == identifier)
        return holder.get();
    return nullptr;
}

libpff_item_t* MailboxItemFinder::ItemAtLocation(const ItemLocation& location, PffItem& holder, LocatedItem& located)
{
    // Recovered items are only in a file that searched its free space for
    // them: DeletedItemsFile's, never this one.
    if (location.source == ItemSource::Recovered)
        return nullptr;
    if (!location.isEmbedded())
        return FindTopLevelItem(location, holder);
    located = LocateItem(file_, location);
    return located ? located.item() : nullptr;
}

libpff_item_t* MailboxItemFinder::FindTopLevelItem(const ItemLocation& location, PffItem& holder)
{
    if (location.isRecovered())
        return TopLevelItem(file_, location, holder) ? holder.get() : nullptr;
    const uint32_t identifier = location.itemIdentifier;
    if (index_ != nullptr) {
        if (const auto found = index_->positions.find(identifier); found != index_->positions.end()) {
            if (libpff_item_t* item = ItemAt(found->second, identifier, holder))
                return item;
        }
    }
    // Not where the walk saw it, or no walk was made: ask libpff directly.
    if (libpff_file_get_item_by_identifier(file_, identifier, holder.out(), nullptr) == 1 && holder)
        return holder.get();
    return nullptr;
}

}  // namespace tolvane
