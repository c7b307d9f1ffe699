// Re-reading items by identifier (or position among the recovered and
// orphan items) and attachment path.
#include "scan/ItemLocator.h"

namespace tolvane {

bool TopLevelItem(libpff_file_t* file, const ItemLocation& location, PffItem& top)
{
    int result = -1;
    switch (location.source) {
    case ItemSource::Live:
        result = libpff_file_get_item_by_identifier(file, location.topLevelIdentifier, top.out(), nullptr);
        break;
    case ItemSource::Recovered:
        result = libpff_file_get_recovered_item_by_index(file, location.sourceIndex, top.out(), nullptr);
        break;
    case ItemSource::Orphan:
        result = libpff_file_get_orphan_item_by_index(file, location.sourceIndex, top.out(), nullptr);
        break;
    }
    if (result != 1 || !top)
        return false;
    if (location.source == ItemSource::Live)
        return true;
    // A list position is only trusted while it still holds the item the scan saw there.
    uint32_t identifier = 0;
    if (libpff_item_get_identifier(top.get(), &identifier, nullptr) != 1 || identifier != location.topLevelIdentifier) {
        top.reset();
        return false;
    }
    return true;
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
