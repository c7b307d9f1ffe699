// Decides, for every place the reader takes a person from the mailbox (a
// message's sender and recipients, its reply-to list and read receipt, a
// distribution list's members, a contact's e-mail slots, a meeting's
// organizer and attendees), which name and address stand for them and where
// the address came from. The rules differ by place where the mailbox keeps
// its addresses differently; what they share is written once here.
#pragma once

#include "model/MailContent.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <optional>

namespace tolvane {

// Where a mailbox's address came from.
enum class AddressSource {
    SmtpProperty,     // the SMTP address an item keeps beside its e-mail address
    EmailAddress,     // the e-mail address itself, being an SMTP address
    EntryIdentifier,  // a one-off entry identifier: an address typed by hand
    DisplayName,      // the display name, being an address itself (the mailbox then has no name)
    None,             // nothing usable: the address, if any, is kept as the item had it
};

struct ResolvedMailbox {
    QString name;
    QString address;
    AddressSource source = AddressSource::None;

    [[nodiscard]] Mailbox mailbox() const { return Mailbox{name, address}; }
};

class AddressResolver {
public:
    // 8-bit names and addresses are read in `codePage`, the item's own.
    explicit AddressResolver(int codePage) : codePage_(codePage) {}

    // Who sent the message: the sender's own properties, else those of whom
    // it was sent for; nullopt when neither names anyone.
    [[nodiscard]] std::optional<ResolvedMailbox> Sender(libpff_item_t* message, ReadFailures* failures) const;
    // Row `set` of a recipients table. Without a usable address the row keeps
    // its name and the address it has, which is written as a name alone.
    [[nodiscard]] ResolvedMailbox Recipient(libpff_item_t* recipients, int set, ReadFailures* failures) const;
    // The reply-to recipients: the addresses of the stored entry list, and
    // where an entry holds none, the matching stored name when that name is
    // an address itself. Entries with neither are left out.
    [[nodiscard]] QVector<ResolvedMailbox> ReplyTo(libpff_item_t* message, ReadFailures* failures) const;
    // Where a read receipt goes: back to `sender` when it has an SMTP
    // address, else to the address the message stores for receipts.
    [[nodiscard]] std::optional<ResolvedMailbox> ReadReceiptTo(libpff_item_t* message, int fileCodePage,
                                                               const std::optional<ResolvedMailbox>& sender,
                                                               ReadFailures* failures) const;
    // A distribution list's member from the first of `entryIds` that is a
    // one-off identifier; empty when none is.
    [[nodiscard]] ResolvedMailbox ListMember(const QList<QByteArray>& entryIds) const;
    // A contact's e-mail slots that hold anything, in order (no names).
    [[nodiscard]] QVector<ResolvedMailbox> ContactEmails(libpff_item_t* contact) const;

private:
    // The properties that name one person on a message (its sender, or
    // whom it was sent for).
    struct SenderTags {
        uint32_t name, address, type, smtp, entryId;
    };
    [[nodiscard]] std::optional<ResolvedMailbox> SenderFrom(libpff_item_t* message, const SenderTags& tags,
                                                            ReadFailures* failures) const;
    [[nodiscard]] std::optional<QString> Text(libpff_item_t* item, int set, uint32_t tag,
                                              ReadFailures* failures) const;

    int codePage_;
};

}  // namespace tolvane
