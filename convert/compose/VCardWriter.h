// Contacts as vCard 4.0 files: every field the contact record holds plus the
// contact's e-mail addresses.
#pragma once

#include "model/CalendarContent.h"
#include "model/ContactContent.h"
#include "model/ItemRecords.h"

#include <cstdint>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane {

// The whole vCard, UTF-8, CRLF line ends, lines folded at 75 octets.
[[nodiscard]] QByteArray ComposeVCard(const ContactRecord& contact, const ContactDetails& details);

// The card's FN: the display name as stored, else the name composed from
// its parts (prefix and suffix included), else the company, the first
// e-mail address or the file-as text; never empty.
[[nodiscard]] QString FormattedContactName(const ContactRecord& contact, const ContactDetails& details);

// The file name text of a contact: given name and surname, else file-under,
// else company, else "Contact".
QString ContactNameText(const ContactRecord& contact);

// A distribution list as a vCard of kind group: its name, its UID, a MEMBER for each
// member (the contact's UID when it is a contact of the mailbox, else
// "mailto:" and its address), its notes.
QByteArray ComposeGroupCard(const DistributionListContent& list);

}  // namespace tolvane
