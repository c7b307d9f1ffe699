// Composes an RFC 5322 / MIME message from a MessageContent with GMime:
// encoded headers, multipart/alternative bodies, related inline images,
// attachments with RFC 2231 names and embedded messages as message/rfc822.
#pragma once

#include "GMimeHandles.h"
#include "MailContent.h"

#include <QByteArray>

namespace tolvane {

// The whole message as it goes into the .eml file (CRLF line ends).
QByteArray ComposeMessageBytes(const MessageContent& content);

// The GMime message itself, for embedding.
GObjectPtr<GMimeMessage> ComposeMessage(const MessageContent& content);

// The content type for a file name's extension; "application/octet-stream" when unknown.
QString ContentTypeForFileName(const QString& fileName);

// True when the address can stand as an RFC 5322 address: a local part, "@" and a domain ("@" not at its ends).
bool LooksLikeSmtpAddress(const QString& address);

}  // namespace tolvane
