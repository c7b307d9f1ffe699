// Finding items again in an open mailbox; see MailboxItemFinder.h.
#include "convert/read/MailboxItemFinder.h"

#include "scan/MailboxWalk.h"
#include "scan/TextDecoding.h"

#include <QHash>

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

// Records the position of every item the walk finds in a folder; the root
// folder's own items are left to the look-up by identifier.
class MailboxItemFinder::Indexer final : public WalkVisitor {
public:
    explicit Indexer(ItemIndex& index) : index_(index) {}

    void FolderEntered(MailboxWalk& walk, const WalkFolder& folder) override
    {
        const QVector<int>& positions = walk.cursor().folderPositions;
        folders_.insert(folder.path, static_cast<int>(index_.folderPaths.size()));
        index_.folderPaths.emplace_back(positions.begin(), positions.end());
    }
    WalkStep ItemFound(MailboxWalk&, libpff_item_t* item, uint8_t, int position, const QString& folderPath) override
    {
        const auto folder = folders_.constFind(folderPath);
        uint32_t identifier = 0;
        if (folder == folders_.cend() || libpff_item_get_identifier(item, &identifier, nullptr) != 1)
            return WalkStep::Nothing;
        index_.positions.emplace(identifier, ItemPosition{*folder, position});
        return WalkStep::Done;
    }

private:
    ItemIndex& index_;
    QHash<QString, int> folders_;  // export path to folder number
};

void MailboxItemFinder::IndexItems(ScanEvents* events, IndexWalk walk)
{
    auto index = std::make_shared<ItemIndex>();
    if (!kLookUpByIdentifier || walk == IndexWalk::Always) {
        // As deep as the scan walks, so every message it recorded is found again.
        Indexer indexer(*index);
        MailboxWalk folders(indexer, WalkReporting{events, nullptr}, nullptr, kDefaultCodePage);
        // What the walk does not reach is looked up by identifier instead.
        (void)folders.Run(file_, QStringLiteral(".export"));
    }
    index_ = std::move(index);
}

libpff_item_t* MailboxItemFinder::ItemAt(const ItemPosition& position, uint32_t identifier, PffItem& holder)
{
    if (cachedFolder_ != position.folder) {
        cachedFolderItem_.reset();
        cachedFolder_ = -1;
        PffItem current;
        bool ok = libpff_file_get_root_folder(file_, current.out(), nullptr) == 1 && current;
        bool top = true;
        // The way the walk went: the root's items, then each folder's sub-folders.
        for (int index : index_->folderPaths[position.folder]) {
            if (!ok)
                break;
            PffItem sub;
            ok = (top ? libpff_item_get_sub_item(current.get(), index, sub.out(), nullptr)
                      : libpff_folder_get_sub_folder(current.get(), index, sub.out(), nullptr))
                     == 1
                 && sub;
            current = std::move(sub);
            top = false;
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
