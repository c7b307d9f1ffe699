// Addresses kept inside entry identifiers: the one-off form a mail client
// stores for a recipient typed by hand (display name, address type and
// address in the identifier itself), and lists of identifiers such as the
// reply-to recipients. Identifiers of an address book are opaque here.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

namespace tolvane {

struct OneOffAddress {
    QString displayName;
    QString addressType;  // "SMTP", "EX", ...
    QString address;
};

// The address in a one-off entry identifier; nullopt for any other kind of
// identifier or a malformed one. 8-bit strings are read in `codePage`.
std::optional<OneOffAddress> ParseOneOffEntryId(const QByteArray& entryId, int codePage);

// The identifiers of a flattened entry list (a count and a size, then each
// identifier with its own size, padded to four bytes). Stops at the first
// entry that does not fit.
QVector<QByteArray> SplitFlatEntryList(const QByteArray& list);

}  // namespace tolvane
