// The headers a message had when it was sent, as the mailbox stored them,
// and the fields only its properties hold: what of them the composer
// carries into the message it writes.
#pragma once

#include "convert/compose/GMimeHandles.h"
#include "model/MailContent.h"

#include <QString>

namespace tolvane {

// The stored internet headers as GMime reads them; null when there are none.
GObjectPtr<GMimeMessage> ParseTransportHeaders(const QString& transportHeaders);
// The value of a header of `object` that is present and not empty; null otherwise.
const char* HeaderValue(GMimeObject* object, const char* name);

// Which of the fields the composer writes itself are taken from the stored
// headers instead.
struct StoredFieldsKept {
    bool date = false;      // the stored Date, with the sender's zone
    bool toAndCc = false;   // the recipients table had no address to write
};

// Copies the original internet headers that do not describe the MIME structure
// or the fields written from the message's own properties.
void CopyTransportHeaders(GMimeMessage* message, GMimeMessage* original, const StoredFieldsKept& kept);
// The fields only the message's properties hold, for mail whose stored
// headers lack them (sent mail and drafts have none at all).
void AddHeadersFromProperties(GMimeMessage* message, const HeaderProperties& fields);

}  // namespace tolvane
