// The contact fields in one table: which record member each is, the name it
// has in `scan --json`, the property that fills it during the scan, and the
// label under which the preview shows it. The scan, the preview and the JSON
// output all walk this table, so a field is added or changed in one place.
#pragma once

#include "scan/ItemRecords.h"
#include "scan/PffHandles.h"

#include <cstdint>
#include <span>

namespace tolvane {

struct ContactField {
    QString ContactRecord::*member;
    const char* name;       // the member's name, as `scan --json` prints it
    uint32_t property;      // the string property that fills it; 0 when nothing does
    const char* previewLabel;  // "<b>Label :</b> " as the preview writes it; null when not shown
    int previewOrder;       // position on the preview page (ascending); 0 when not shown
};

// Every text field of ContactRecord from `companyName` (3) to `notes` (68), in
// record order. Fields filled from the same property say so: `homeStreet` and
// `homeAddress` both hold the home street, `mobilePhone` and `mobilePhone2`
// both the mobile number.
std::span<const ContactField> ContactFields();

// The fields the preview shows, in its order.
std::span<const ContactField* const> ContactPreviewFields();

// Every field of the table and the notes, read from the contact item into
// `record`; a field the item lacks is left empty.
void ReadContactFields(libpff_item_t* contact, int fileCodePage, ContactRecord& record);

}  // namespace tolvane
