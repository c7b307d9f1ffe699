// Maps one libpff message into a MessageContent: sender, recipients,
// reply-to, the header properties, the bodies, the attachments and embedded
// messages, and hands a meeting's calendar to MeetingCalendar. What
// cannot be read goes into the content's `missing`, never passed off as read.
#pragma once

#include "model/MailContent.h"
#include "scan/Limits.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/TextDecoding.h"

#include <QVector>

#include <mutex>
#include <optional>

namespace tolvane {

// How one message is read.
struct MessageReading {
    int fileCodePage = kDefaultCodePage;
    // The lock of the libpff file the message belongs to. Set: attachments
    // too large for memory come as sources that read later under it. Null:
    // every attachment is read now.
    std::recursive_mutex* fileMutex = nullptr;
    // How many more levels of embedded messages are read (the scan's own
    // bound, so every embedded message it recorded is carried).
    int depthLeft = kDeepestEmbedding;
    // Whether the message comes from an offline cache (OST), the only file
    // that can hold a mail's header without its content.
    bool offlineCache = false;
};

[[nodiscard]] MessageContent ReadMessageContent(libpff_item_t* message, const MessageReading& reading);

// Everything of one libpff message item, embedded messages recursively up to
// `depthLeft` levels, every attachment read now.
[[nodiscard]] MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage,
                                                int depthLeft = kDeepestEmbedding);

// The rows of the message's recipients table that name anyone, each as the
// AddressResolver takes it; a table that cannot be read is noted in `failures`.
[[nodiscard]] QVector<Recipient> ReadRecipients(libpff_item_t* message, int codePage, ReadFailures* failures);

// Number of embedded messages inside a message, at every level.
[[nodiscard]] int CountEmbeddedMessages(const MessageContent& content);

}  // namespace tolvane
