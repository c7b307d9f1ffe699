// Maps the address book's libpff items: what a contact's vCard takes beyond
// the scan's record, and a distribution list with its members (contacts of
// the same mailbox by their UID, addresses typed by hand as they are).
#pragma once

#include "model/CalendarContent.h"
#include "model/ContactContent.h"
#include "scan/PffHandles.h"

#include <QByteArray>

#include <cstdint>

namespace tolvane {

// The contact's UID (from `storeKey` and its `identifier`), e-mail addresses,
// postal addresses, birthday and anniversary as days, categories and picture.
[[nodiscard]] ContactDetails ReadContactItemDetails(libpff_item_t* item, uint32_t identifier,
                                                    const QByteArray& storeKey, int fileCodePage);

// The list's name, notes and members; a member that names neither a contact
// of the mailbox whose store has `storeKey` nor an address is listed as left out.
[[nodiscard]] DistributionListContent ReadDistributionListContent(libpff_item_t* item, uint32_t identifier,
                                                                  const QByteArray& storeKey, int fileCodePage);

}  // namespace tolvane
