// Re-reading items by identifier (recovered and orphan items also by the
// blocks they came from) and attachment path.
#include "scan/ItemLocator.h"

#include "scan/PffDataBlocks.h"

namespace tolvane {

namespace {

// libpff's list of recovered or orphan items.
struct ItemList {
    int (*count)(libpff_file_t*, int*, libpff_error_t**);
    int (*item)(libpff_file_t*, int, libpff_item_t**, libpff_error_t**);
};

ItemList ListOf(ItemSource source)
{
    if (source == ItemSource::Recovered)
        return {libpff_file_get_number_of_recovered_items, libpff_file_get_recovered_item_by_index};
    return {libpff_file_get_number_of_orphan_items, libpff_file_get_orphan_item_by_index};
}

// Whether `item` is the one the scan saw: its identifier, and the blocks it
// came from where the scan could tell them.
bool IsScannedItem(libpff_item_t* item, const ItemLocation& location)
{
    uint32_t identifier = 0;
    if (libpff_item_get_identifier(item, &identifier, nullptr) != 1 || identifier != location.topLevelIdentifier)
        return false;
    return !location.sourceBlocks || DataBlocksOf(item) == location.sourceBlocks;
}

bool ListedItem(libpff_file_t* file, const ItemLocation& location, PffItem& top)
{
    const ItemList list = ListOf(location.source);
    // The same search of the same file lists its finds in the same order, so
    // the scan's position is tried first.
    if (location.sourceIndex >= 0 && list.item(file, location.sourceIndex, top.out(), nullptr) == 1 && top
        && IsScannedItem(top.get(), location))
        return true;
    top.reset();
    // Without the blocks, the position was all there was to go by.
    if (!location.sourceBlocks)
        return false;
    int count = 0;
    if (list.count(file, &count, nullptr) != 1)
        return false;
    for (int index = 0; index < count; ++index) {
        if (index != location.sourceIndex && list.item(file, index, top.out(), nullptr) == 1 && top
            && IsScannedItem(top.get(), location))
            return true;
    }
    top.reset();
    return false;
}

}  // namespace

bool TopLevelItem(libpff_file_t* file, const ItemLocation& location, PffItem& top)
{
    if (location.isRecovered())
        return ListedItem(file, location, top);
    return libpff_file_get_item_by_identifier(file, location.topLevelIdentifier, top.out(), nullptr) == 1 && top;
}

LocatedItem LocateItem(libpff_file_t* file, const ItemLocation& location)
{
    LocatedItem located;
    if (file == nullptr || location.topLevelIdentifier == 0)
        return located;
    PffItem top;
    if (!TopLevelItem(file, location, top))
        return located;
    located.chain_.push_back(std::move(top));
    for (int index : location.attachmentPath) {
        PffItem attachment;
        if (libpff_message_get_attachment(located.chain_.back().get(), index, attachment.out(), nullptr) != 1)
            return LocatedItem();
        PffItem embedded;
        if (libpff_attachment_get_item(attachment.get(), embedded.out(), nullptr) != 1 || !embedded)
            return LocatedItem();
        located.chain_.push_back(std::move(attachment));
        located.chain_.push_back(std::move(embedded));
    }
    return located;
}

}  // namespace tolvane
