// A read-only GMime stream over an AttachmentSource, so GMime encodes a large
// attachment while it flows from the mailbox into the file instead of holding
// it (and its encoded copy) in memory.
#pragma once

#include "convert/compose/GMimeHandles.h"
#include "model/MailContent.h"

#include <memory>

namespace tolvane {

// The stream holds a reference to `source` until it is finalised. Reading past
// a failure keeps failing; the failure stays readable on the source.
GObjectPtr<GMimeStream> NewAttachmentStream(std::shared_ptr<AttachmentSource> source);

}  // namespace tolvane
