// Composes an RFC 5322 / MIME message from a MessageContent with GMime:
// encoded headers, multipart/alternative bodies, related inline images,
// attachments with RFC 2231 names and embedded messages as message/rfc822.
#pragma once

#include "convert/compose/GMimeHandles.h"
#include "model/MailContent.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace tolvane {

// The header by which a written message says what it lacks.
inline constexpr const char* kIncompleteHeader = "X-Tolvane-Incomplete";

// The whole message as it goes into the .eml file (CRLF line ends).
QByteArray ComposeMessageBytes(const MessageContent& content);

// The GMime message itself, for embedding, or for writing straight into a
// file when attachments stream from the mailbox.
GObjectPtr<GMimeMessage> ComposeMessage(const MessageContent& content);

// The attachments of the message, embedded messages included, whose data is
// read while the message is written. Empty: ComposeMessageBytes will do.
std::vector<std::shared_ptr<AttachmentSource>> StreamedSources(const MessageContent& content);

// Writes the message into the open file `fd` (CRLF line ends, as
// ComposeMessageBytes). False with a reason when writing or reading a
// streamed attachment failed.
[[nodiscard]] bool WriteMessageToDescriptor(GMimeMessage* message, int fd, QString* reason);

// The content type for a file name's extension; "application/octet-stream" when unknown.
QString ContentTypeForFileName(const QString& fileName);

// The Message-ID the composed message carries, without angle brackets:
// the stored headers' one, else the message's own property; empty when none.
QString WrittenMessageId(const MessageContent& content);

}  // namespace tolvane
