// A message rebuilt from the scan's record, for when the user chose to write
// what the scan kept because the mailbox could no longer be read.
#pragma once

#include "model/MailContent.h"
#include "model/ItemRecords.h"

namespace tolvane {

// The message as far as the scan's record describes it, marked as rebuilt.
[[nodiscard]] MessageContent ContentFromRecord(const MailRecord& record);

}  // namespace tolvane
