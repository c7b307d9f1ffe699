// What the preview shows for a record: the mail body as kept, or a small HTML
// page for a contact or an appointment, and the file it is written to.
#pragma once

#include "model/ItemRecords.h"

#include <QString>

namespace tolvane {

class ProcessTempDir;

// "temp.txt" for plain-text and RTF bodies, "temp.html" otherwise.
QString MailPreviewFileName(const MailRecord& record);
// The body as kept; an HTML body goes through DisarmPagePragmas first.
QString MailPreviewPage(const MailRecord& record);
// The HTML with the hyphen of every "http-equiv" (any case) written as
// "&#45;". The parser takes attribute names as written, so no <meta> of the
// mail names a pragma any more and none can refresh, redirect or reload the
// preview, however its tags, comments and quotes are arranged. In text and
// attribute values the reference reads as the same hyphen: what the mail
// shows stays as it was (only raw text such as a style sheet sees the change).
QString DisarmPagePragmas(const QString& html);
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
[[nodiscard]] bool WritePreviewFile(const QString& path, const QString& text);

// The process's temporary directory, where the preview files go, ending in
// '/'; empty when there is none (then nothing is previewed).
QString PreviewDirectory(const ProcessTempDir& tempDir);

// Removes the preview files ("temp.html", "temp.txt") from `dir` (ending in
// '/', as PreviewDirectory gives it); nothing when `dir` is empty. The window
// calls it as it ends so that no mail text stays behind on disk.
void RemovePreviewFiles(const QString& dir);

}  // namespace tolvane
