// One mail as the message writer sees it: everything needed to compose the EML,
// independent of where it came from (re-read from the PST, or the scan's record
// when the file can no longer be read).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace tolvane {

struct MailAddress {
    QString name;
    QString address;  // SMTP address when known; may be empty or a non-SMTP address
};

enum class RecipientKind { To, Cc, Bcc };

struct Recipient {
    RecipientKind kind = RecipientKind::To;
    MailAddress mailbox;
};

struct MessageContent;

struct Attachment {
    enum class Kind { Data, Embedded, Reference };
    Kind kind = Kind::Data;
    QString fileName;      // may be empty
    QString contentType;   // as stored; empty when unknown
    QString contentId;     // without angle brackets; empty when none
    QByteArray data;       // Data
    std::shared_ptr<const MessageContent> embedded;  // Embedded
    QString link;          // Reference: where the linked file lives
};

struct MessageContent {
    std::optional<MailAddress> from;  // absent: no sender known
    QVector<Recipient> recipients;
    QString subject;                   // null: no subject
    std::optional<QDateTime> date;     // UTC; absent: no Date header
    // Bodies as bytes with their charset (null arrays: no such body).
    QByteArray plainBody;              // UTF-8
    QByteArray htmlBody;
    QByteArray htmlCharset;            // e.g. "utf-8", "windows-1252"
    QVector<Attachment> attachments;
    QString transportHeaders;          // the original internet headers, when the message has them
};

}  // namespace tolvane
