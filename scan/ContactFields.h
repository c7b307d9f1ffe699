// The contact fields in one table: which record member each is, its name
// (what `scan --json` calls it) and the property that fills it. The scan, the
// conversion and the JSON output walk this table, so a field is added or
// changed in one place; the preview's labels are the view's own.
#pragma once

#include "model/ItemRecords.h"
#include "scan/PffHandles.h"

#include <cstdint>
#include <span>

namespace tolvane {

struct ContactField {
    QString ContactRecord::*member;
    const char* name;       // the member's name, as `scan --json` prints it
    uint32_t property;      // the string property that fills it; 0 when nothing does
};

// Every text field of ContactRecord from `companyName` (3) to `notes` (68), in
// record order. Fields filled from the same property say so: `homeStreet` and
// `homeAddress` both hold the home street, `mobilePhone` and `mobilePhone2`
// both the mobile number.
std::span<const ContactField> ContactFields();

// Every field of the table and the notes, read from the contact item into
// `record`; a field the item lacks is left empty.
void ReadContactFields(libpff_item_t* contact, int fileCodePage, ContactRecord& record);

}  // namespace tolvane
