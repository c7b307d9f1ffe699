// The name an attachment goes by, one rule for every reader of it: the scan's
// record (the attachment's path in the item list) and the conversion's file.
// A mail client may leave the long file name empty and keep the name in the
// short one, so the first name that holds anything wins, not the first stored.
#pragma once

#include "scan/PffHandles.h"
#include "scan/PffProperties.h"

#include <QString>

namespace tolvane {

// The first of the attachment's long file name, short file name and display
// name that holds more than white space, as stored; null when none does.
// Only the names needed are read; failed reads go into `failures`.
[[nodiscard]] QString AttachmentName(libpff_item_t* attachment, int codePage, ReadFailures* failures = nullptr);

}  // namespace tolvane
