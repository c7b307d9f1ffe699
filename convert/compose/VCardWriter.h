// Contacts as vCard 4.0 files: every field the contact record holds plus the
// contact's e-mail addresses.
#pragma once

#include <QDate>
#include <QVector>

#include <cstdint>
#include <optional>

#include "convert/CalendarContent.h"

#include "scan/ItemRecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane {

// A postal address of a contact, as its components.
struct PostalAddress {
    enum class Kind { Home, Work, Other };
    Kind kind = Kind::Other;
    QString postOfficeBox;
    QString street;
    QString city;
    QString region;
    QString postalCode;
    QString country;
    bool preferred = false;  // the one mail is sent to
};

// What a contact's vCard takes from the mailbox beyond the scan's record.
struct ContactDetails {
    QString uid;                      // the card's UID, by which distribution lists name the contact
    QString displayName;              // the name as the contact shows it, prefix and suffix included
    QString namePrefix;               // "Dr.", "Ms."; the suffix is the record's `generation`
    QStringList emails;               // its three e-mail slots, in order
    QVector<PostalAddress> addresses; // when read from the mailbox; else the record's two are written
    std::optional<QDate> birthday;    // the day itself, whatever the zone it was stored in
    std::optional<QDate> anniversary;
    QStringList categories;
    QByteArray photo;                 // the contact's picture, as stored
    QString photoType;                // its media type ("image/jpeg")
    std::optional<MissingEntry> photoLeftOut;  // why a photo the contact has is not in the card
};

// A contact as the conversion reads it: the fields its record has (read
// again, so that nothing of the card depends on what the scan kept) and the
// rest of the card.
struct ContactItem {
    ContactRecord fields;
    ContactDetails details;
};

// The whole vCard, UTF-8, CRLF line ends, lines folded at 75 octets.
[[nodiscard]] QByteArray ComposeVCard(const ContactRecord& contact, const ContactDetails& details);

// The card's FN: the display name as stored, else the name composed from
// its parts (prefix and suffix included), else the company, the first
// e-mail address or the file-as text; never empty.
[[nodiscard]] QString FormattedContactName(const ContactRecord& contact, const ContactDetails& details);

// The file name text of a contact: given name and surname, else file-under,
// else company, else "Contact".
QString ContactNameText(const ContactRecord& contact);

// The UID of the contact `identifier` in the mailbox whose store has the
// record key `storeKey`: a name-based UUID, the same for every conversion of
// the same mailbox and different for contacts of different mailboxes.
QString ContactUid(const QByteArray& storeKey, uint32_t identifier);

// A distribution list as a vCard of kind group: its name, its UID, a MEMBER for each
// member (the contact's UID when it is a contact of the mailbox, else
// "mailto:" and its address), its notes.
QByteArray ComposeGroupCard(const DistributionListContent& list);

}  // namespace tolvane
