// The charset a text attachment's part names. Without one, readers take its
// bytes for US-ASCII and show every other character as a question mark.
#pragma once

#include "model/MailContent.h"

#include <QByteArray>

namespace tolvane {

// The charset of text attachment `attachment`: the one the mailbox names
// for it, else what its bytes are: "us-ascii" when all of them are ASCII,
// "utf-8" when they are UTF-8, "utf-16" after a UTF-16 byte-order mark, else
// the charset of its message's code page. An attachment streamed from the
// mailbox is read through once to tell.
[[nodiscard]] QByteArray TextAttachmentCharset(const Attachment& attachment);

}  // namespace tolvane
