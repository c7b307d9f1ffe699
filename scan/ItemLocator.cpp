// Re-reading items by identifier and attachment path.
#include "scan/ItemLocator.h"

namespace tolvane {

LocatedItem LocateItem(libpff_file_t* file, const ItemLocation& location)
{
    LocatedItem located;
    if (file == nullptr || location.topLevelIdentifier == 0)
        return located;
    PffItem top;
    if (libpff_file_get_item_by_identifier(file, location.topLevelIdentifier, top.out(), nullptr) != 1 || !top)
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
