// Finding an item again from the ItemLocation the scan recorded: the
// top-level message by its identifier (a recovered or orphan one in libpff's
// list of them, by its identifier and the blocks it came from), then down the
// attachment index path for an embedded message.
#pragma once

#include "model/ItemRecords.h"
#include "scan/PffHandles.h"

#include <vector>

namespace tolvane {

// Keeps every handle on the way down alive: an embedded item belongs to its
// attachment, which belongs to its parent message.
class [[nodiscard]] LocatedItem {
public:
    libpff_item_t* item() const { return chain_.empty() ? nullptr : chain_.back().get(); }
    explicit operator bool() const { return item() != nullptr; }

private:
    friend LocatedItem LocateItem(libpff_file_t* file, const ItemLocation& location);
    std::vector<PffItem> chain_;
};

// The top-level item of `location` into `top`: a live item by identifier, a
// recovered or orphan item in libpff's list (the file must have searched for
// deleted items first) by its identifier and blocks, starting at the scan's
// position; without the blocks, at that position when it holds the identifier.
[[nodiscard]] bool TopLevelItem(libpff_file_t* file, const ItemLocation& location, PffItem& top);

// An empty LocatedItem when the file has no such item.
LocatedItem LocateItem(libpff_file_t* file, const ItemLocation& location);

}  // namespace tolvane
