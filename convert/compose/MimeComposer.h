// Composes an RFC 5322 / MIME message from a MessageContent with GMime:
// encoded headers, multipart/alternative bodies, related inline images,
// attachments with RFC 2231 names and embedded messages as message/rfc822.
#pragma once

#include "convert/compose/GMimeHandles.h"
#include "model/MailContent.h"
#include "base/Expected.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace tolvane {

// The header by which a written message says what it lacks.
inline constexpr const char* kIncompleteHeader = "X-Tolvane-Incomplete";

// Why a composed message could not be made or written out: in the file
// system's words, or those of a streamed attachment's read.
struct ComposeError {
    QString reason;
};

// The whole message as it goes into the .eml file (CRLF line ends). Takes
// `content` whole: its bodies and attachment data are let go of as soon as
// they are encoded, so hand it over with std::move where it is not needed
// afterwards.
[[nodiscard]] Expected<QByteArray, ComposeError> ComposeMessageBytes(MessageContent content);

// The GMime message itself, for embedding, or for writing straight into a
// file when attachments stream from the mailbox.
GObjectPtr<GMimeMessage> ComposeMessage(const MessageContent& content);

// The attachments of the message, embedded messages included, whose data is
// read while the message is written. Empty: ComposeMessageBytes will do.
std::vector<std::shared_ptr<AttachmentSource>> StreamedSources(const MessageContent& content);

// Writes the message into the open file `fd` (CRLF line ends, as
// ComposeMessageBytes); fails when writing or reading a streamed attachment
// failed.
[[nodiscard]] Expected<void, ComposeError> WriteMessageToDescriptor(GMimeMessage* message, int fd);

// The content type for a file name's extension; "application/octet-stream" when unknown.
QString ContentTypeForFileName(const QString& fileName);

// The Message-ID the composed message carries, without angle brackets:
// the stored headers' one, else the message's own property; empty when none.
QString WrittenMessageId(const MessageContent& content);

}  // namespace tolvane
