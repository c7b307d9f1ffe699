// Which blocks a libpff item was read from, where the library can say: the
// project's libpff has a function for it
// (third_party/libpff/patches/0012-item-data-identifiers.patch),
// Debian's has none, so the answer is optional and decided when the program
// runs, by the library it loaded.
#pragma once

#include "model/ItemRecords.h"

#include <libpff.h>

#include <optional>

namespace tolvane {

// The blocks of `item`'s descriptor; nullopt when the loaded libpff cannot
// tell or the item has no descriptor.
[[nodiscard]] std::optional<ItemDataBlocks> DataBlocksOf(libpff_item_t* item);

}  // namespace tolvane
