// An item's attachment table as the mappers read it: each attachment with its
// kind, its name, link and label, and its data, whole in memory or (for a
// message the writer streams) as a source that reads it later. What cannot be
// read is named, never passed off as an empty attachment.
#pragma once

#include "model/MailContent.h"
#include "model/MissingParts.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

namespace tolvane {

// Calls `read` with every attachment of `message` and its kind. What cannot
// be read (the attachment table, or one attachment and its kind) goes into
// `missing` instead.
void ForEachAttachment(libpff_item_t* message, MissingParts& missing,
                       const std::function<void(PffItem& attachment, int type, int index)>& read);

// The attachment's data into `attachment`: in memory when small or when
// `streamUnder` is null, else a source that streams it later under that
// lock (taking the handle out of `attachmentItem`). False, with the reason,
// when the data cannot be read in full.
[[nodiscard]] bool ReadAttachmentData(PffItem& attachmentItem, std::recursive_mutex* streamUnder,
                                      Attachment& attachment, QString* reason);

// What an attachment says of itself, as every kind of item writes it, and
// how a note of what is missing names it.
struct AttachmentDescription {
    QString fileName;     // by the scan's rule (AttachmentName), trimmed; may be empty
    QString contentType;  // as stored, trimmed; empty when unknown
    // The charset the attachment names for its text (its MIME tag's
    // parameter, else its own property), when it is a MIME token; else empty.
    QByteArray charset;
    int index = 0;        // its place in the table

    // A note that `part` of it is missing.
    [[nodiscard]] MissingEntry Missing(MissingPart part, QString reason = QString()) const;
};
// The attachment at `index` of its item; a name or type that cannot be read
// is noted in `missing`.
[[nodiscard]] AttachmentDescription DescribeAttachment(libpff_item_t* attachment, int index, int codePage,
                                                       MissingParts& missing);

// Where a linked attachment's file lives, as the link was made.
[[nodiscard]] QString AttachmentLink(libpff_item_t* attachment, int codePage, ReadFailures* failures);

}  // namespace tolvane
