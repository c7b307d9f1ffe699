// Texts on their way into a message's headers: what the mailbox holds made
// safe for a header line, and a person as a mailbox of an address list.
#pragma once

#include "model/MailContent.h"

#include <gmime/gmime.h>

#include <QByteArray>
#include <QString>

namespace tolvane {

inline QByteArray U8(const QString& text)
{
    return text.toUtf8();
}

// Line breaks and other control characters become spaces, so no value can
// end its header early, start another or put a blank line into the header block.
QString HeaderSafe(const QString& value);
// The person as a mailbox: the address when it can stand as one, else the
// name alone with a stand-in address in the reserved ".invalid" domain; a
// person with neither is left out.
void AddAddress(InternetAddressList* list, const Mailbox& mailbox);
// Printable ASCII and tabs only.
bool IsPlainAscii(const QByteArray& bytes);
bool IsValidUtf8(const QByteArray& bytes);

}  // namespace tolvane
