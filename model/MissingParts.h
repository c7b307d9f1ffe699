// What an item is written without. The readers note each part they could not
// read as a typed entry; the writer counts on the types (is an attachment
// among them? could anything be read at all?), and the words for them are
// made once, by WordsFor, for the note a file carries, the final notice and
// the log.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tolvane {

enum class MissingPart : std::uint8_t {
    // A message.
    Properties,         // its property table: nothing of it could be read
    RebuiltFromRecord,  // written from the scan's list, the mailbox being unreadable
    Subject,
    Sender,
    Recipients,
    Date,
    InternetHeaders,
    HeaderFields,       // identifiers, importance, reply-to
    Body,
    // An offline cache's mail whose content was never downloaded from the
    // server: the cache holds its header alone.
    NotDownloaded,
    // Its attachments (an appointment's too).
    AttachmentTable,       // the table that lists them
    Attachment,            // one attachment; `reason` says why when known
    AttachmentNameOrType,
    AttachmentLink,        // where a linked file lives
    EmbeddedMessage,       // an embedded message that cannot be opened
    EmbeddedTooDeep,       // nested deeper than `count` levels
    // Calendar items.
    Title,
    Location,
    Description,
    Start,
    End,
    Recurrence,            // `reason`: why its pattern was refused
    DueDate,
    CompletionDate,
    Text,
    // Contacts.
    ContactDetails,        // everything only the item holds; `reason` says why
    ContactFields,         // all of it, names too; `reason` says why
    Photo,                 // `reason` says why; none: it holds no data
    PhotoTooLarge,         // `count` bytes, more than `limit` a card holds
    // Distribution lists.
    MembersWithoutAddress,  // `names`
};

struct MissingEntry {
    MissingEntry(MissingPart part, QString reason = QString()) : part(part), reason(std::move(reason)) {}
    // Of an attachment, named by its file name or else by its place.
    static MissingEntry OfAttachment(MissingPart part, QString name, int index, QString reason = QString());
    // A part with a size or count, and the most there may be of it.
    static MissingEntry Sized(MissingPart part, std::int64_t count, std::int64_t limit = 0);

    MissingPart part;
    QString name;          // the attachment's or embedded message's file name
    int index = -1;        // the attachment's place in its table (from 0), for one without a name
    QString reason;
    std::int64_t count = 0;
    std::int64_t limit = 0;
    QStringList names;
    // The subjects of the embedded messages it lies in, outermost first.
    QStringList within;

    // Whether it is part of the attachments: an attachment, the table of
    // them, anything in an embedded message, or all of them (a message
    // rebuilt from the scan's list).
    bool isAttachment() const;
};

// In the order they were noted.
class MissingParts {
public:
    void Add(MissingEntry entry) { entries_.push_back(std::move(entry)); }
    // Unless an entry of the same words is there already: a part that
    // several failed reads make up is named once.
    void AddOnce(MissingEntry entry);
    // What an embedded message with the subject `subject` lacks, as lacking
    // from the message it is in.
    void AddWithin(const QString& subject, const MissingParts& inner);

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // Whether the item itself lacks `part` (not a message embedded in it).
    bool contains(MissingPart part) const;
    bool anyAttachment() const;
    const std::vector<MissingEntry>& entries() const { return entries_; }

private:
    std::vector<MissingEntry> entries_;
};

// "the body", "attachment \"a.pdf\": its data cannot be read", ...
QString WordsFor(const MissingEntry& entry);
QStringList WordsFor(const MissingParts& parts);

}  // namespace tolvane
