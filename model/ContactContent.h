// A contact as the conversion reads it: the fields of its record and what its
// card takes from the mailbox beyond them.
#pragma once

#include "model/ItemRecords.h"
#include "model/MissingParts.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>

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

// The UID of the contact `identifier` in the mailbox whose store has the
// record key `storeKey`: a name-based UUID, the same for every conversion of
// the same mailbox and different for contacts of different mailboxes.
QString ContactUid(const QByteArray& storeKey, uint32_t identifier);

}  // namespace tolvane
