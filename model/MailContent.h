// One mail as the message writer sees it: everything needed to compose the EML,
// independent of where it came from (re-read from the PST, or the scan's record
// when the file can no longer be read).
#pragma once

#include "model/Mailbox.h"
#include "model/MissingParts.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <memory>
#include <optional>

namespace tolvane {

enum class RecipientKind { To, Cc, Bcc };

struct Recipient {
    RecipientKind kind = RecipientKind::To;
    Mailbox mailbox;
};

struct MessageContent;

// What the message's own properties say that belongs in its internet
// headers. Mail sent from the mailbox or saved as a draft has no stored
// headers at all, so this is the only place these facts live; where the
// stored headers carry the same field, the stored one is written instead.
struct HeaderProperties {
    enum class Importance { Low, Normal, High };
    enum class Priority { NonUrgent, Normal, Urgent };
    enum class Sensitivity { None, Personal, Private, Confidential };

    QString messageId;   // as stored: one identifier, with or without angle brackets
    QString inReplyTo;   // as stored
    QString references;  // identifiers separated by white space or commas
    std::optional<Importance> importance;
    std::optional<Priority> priority;
    std::optional<Sensitivity> sensitivity;
    QVector<Mailbox> replyTo;
    std::optional<Mailbox> readReceiptTo;  // set when a read receipt was asked for
    QStringList keywords;                      // the categories
    QString threadTopic;
    QByteArray threadIndex;                    // binary, as stored
    bool unsent = false;                       // a draft never sent
    // Read from the file's deleted or orphaned items rather than a folder:
    // the file says so (X-Tolvane-Recovered), since it may be an earlier
    // version of a message that is still there.
    bool recovered = false;
};

// Attachment bytes too large to hold in memory: read in order, in bounded
// chunks, while the message is being written. A read can fail (the mailbox
// went away); a source that failed fails the file it was going into.
class AttachmentSource {
public:
    virtual ~AttachmentSource() = default;
    virtual qint64 size() const = 0;
    // Back to the first byte. False when that cannot be done.
    [[nodiscard]] virtual bool Rewind() = 0;
    // Up to `capacity` bytes into `buffer`; 0 at the end of the data, -1 on a
    // failure (data ending before size() is one).
    [[nodiscard]] virtual qint64 Read(char* buffer, qint64 capacity) = 0;
    // Why the last read failed; empty while nothing failed.
    virtual QString failure() const = 0;
    // True once a pass has read every byte and no read has failed.
    virtual bool readWhole() const = 0;
};

struct Attachment {
    enum class Kind { Data, Embedded, Reference };
    Kind kind = Kind::Data;
    QString fileName;      // may be empty
    QString contentType;   // as stored; empty when unknown
    // A text attachment's charset as the mailbox names it; empty when it
    // names none, and then the bytes tell (see codePageCharset).
    QByteArray charset;
    // The charset of its message's code page: what text that is not UTF-8 was written in.
    QByteArray codePageCharset;
    QString contentId;     // without angle brackets; empty when none
    QByteArray data;       // Data held in memory
    std::shared_ptr<AttachmentSource> source;  // Data too large for memory: read while writing
    std::shared_ptr<const MessageContent> embedded;  // Embedded
    QString link;          // Reference: where the linked file lives
};

// The state a mail client keeps of a message beside its content, for the
// formats that carry it outside the message (Maildir's flags).
struct MessageState {
    std::optional<uint32_t> messageFlags;  // read (0x1), unsent (0x8), ...
    std::optional<uint32_t> lastVerb;      // the last reply (102), reply to all (103) or forward (104)
    std::optional<uint32_t> flagStatus;    // 2: flagged for follow-up
    QStringList categories;                // as the message names them
};

// The meeting a request, cancellation or response speaks of (see
// CalendarContent.h); the message writer composes it as the message's calendar.
struct MeetingMessage;

struct MessageContent {
    std::optional<Mailbox> from;  // absent: no sender known
    QVector<Recipient> recipients;
    QString subject;                   // null: no subject
    std::optional<QDateTime> date;     // UTC; absent: no Date header
    std::optional<QDateTime> delivered;  // when it arrived (UTC), as the mailbox stores it
    // Bodies as bytes with their charset (null arrays: no such body).
    QByteArray plainBody;              // UTF-8
    QByteArray htmlBody;
    QByteArray htmlCharset;            // e.g. "utf-8", "windows-1252"
    // The text of a body kept only as RTF proper (which is written as an
    // attachment): what a preview shows of it. Never written itself.
    QString rtfText;
    QVector<Attachment> attachments;
    // The meeting a meeting request, cancellation or response carries;
    // null for other mail.
    std::shared_ptr<const MeetingMessage> meeting;
    QString transportHeaders;          // the original internet headers, when the message has them
    HeaderProperties headerProperties;
    MessageState state;
    // What the message's MIME boundaries are derived from (its item's place
    // in the mailbox), so that one mailbox gives the same bytes at every
    // conversion. Empty: the message's own header stands for it.
    QByteArray boundarySeed;
    // The item's fingerprint (ItemFingerprint.h) as it was read; empty for
    // a message rebuilt from its record or carried inside another.
    QByteArray fingerprint;
    // What could not be read. A message with anything here is written as
    // incomplete and says so; one without its own properties is not written.
    MissingParts missing;
};

}  // namespace tolvane
