// What tells whether a message is still the one an earlier run wrote: a
// resumed conversion keeps a file only when the message's fingerprint in the
// mailbox now is the one its manifest line recorded.
//
// A mail client never changes a block in place: an edited message gets new
// blocks with new identifiers, so the blocks an item's descriptor names
// change with every edit. The properties a conversion names and dates a file
// by, and its size, are hashed too, so that a file changed in place (its
// blocks' identifiers kept) is still caught where it shows in those. Cheap:
// the descriptor and a few values of the item's own property table, never its
// body, recipients or attachments.
#pragma once

#include <libpff.h>

#include <QByteArray>

namespace tolvane {

// 32 hexadecimal digits; the same for the same item of an unchanged file.
[[nodiscard]] QByteArray ItemFingerprintOf(libpff_item_t* item);

}  // namespace tolvane
