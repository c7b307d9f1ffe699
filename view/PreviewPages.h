// What the preview shows for a record: the mail body as kept, or a small HTML
// page for a contact or an appointment, and the file it is written to.
#pragma once

#include "ItemRecords.h"

#include <QString>

namespace tolvane {

// "temp.txt" for plain-text and RTF bodies, "temp.html" otherwise.
QString MailPreviewFileName(const MailRecord& record);
QString MailPreviewPage(const MailRecord& record);
// Attachment label: the record's attachment list with every
// "<tempDir>Attachments/" prefix removed. tempDir ends in a separator.
QString AttachmentLabelText(const MailRecord& record, const QString& tempDir);

// One "<b>Label :</b> value<br>" entry per present field; values are
// HTML-escaped so a mailbox cannot inject markup into the page.
QString ContactPreviewPage(const ContactRecord& record);
// Always three entries (start, end, location), values escaped.
QString AppointmentPreviewPage(const AppointmentRecord& record);

// Creates or truncates the file (clearing a read-only flag first) and writes
// the text as UTF-16 little-endian code units, no byte-order mark. False when
// the file cannot be created or written.
bool WritePreviewFile(const QString& path, const QString& text);

// The private temporary directory of the preview files, ending in '/';
// empty when the directory is refused (then nothing is previewed).
QString PreviewDirectory();

}  // namespace tolvane
