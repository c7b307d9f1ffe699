// Contacts as vCard 4.0 files: every field the contact record holds plus the
// contact's e-mail addresses.
#pragma once

#include <QDate>
#include <optional>

#include "convert/CalendarContent.h"

#include "scan/ItemRecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane {

// The whole vCard, UTF-8, CRLF line ends, lines folded at 75 octets.
// What a contact's vCard takes from the mailbox beyond the scan's record.
struct ContactDetails {
    QStringList emails;               // its three e-mail slots, in order
    std::optional<QDate> birthday;    // the day itself, whatever the zone it was stored in
    std::optional<QDate> anniversary;
    QStringList categories;
};

QByteArray ComposeVCard(const ContactRecord& contact, const ContactDetails& details);

// The file name text of a contact: given name and surname, else file-under,
// else company, else "Contact".
QString ContactNameText(const ContactRecord& contact);

// A distribution list as a vCard of kind group: its name, a MEMBER for each
// member with an address ("mailto:"), its notes.
QByteArray ComposeGroupCard(const DistributionListContent& list);

}  // namespace tolvane
