// The one place that asks libpff which blocks an item came from; see PffDataBlocks.h.
#include "scan/PffDataBlocks.h"

// Only the project's libpff defines it, and its public header stays Debian's:
// declared here, weak, so that a binary also runs (without the answer) under
// Debian's library, where the symbol resolves to null.
extern "C" int libpff_item_get_data_identifiers(libpff_item_t* item, uint64_t* data_identifier,
                                                uint64_t* local_descriptors_identifier, libpff_error_t** error)
    __attribute__((weak));

namespace tolvane {

std::optional<ItemDataBlocks> DataBlocksOf(libpff_item_t* item)
{
    if (libpff_item_get_data_identifiers == nullptr || item == nullptr)
        return std::nullopt;
    ItemDataBlocks blocks;
    if (libpff_item_get_data_identifiers(item, &blocks.data, &blocks.localDescriptors, nullptr) != 1)
        return std::nullopt;
    return blocks;
}

}  // namespace tolvane
