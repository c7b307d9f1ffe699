// The preview's page of a contact: which fields it shows, in which order and
// under which labels. The labels are the ones users of the program know, odd
// ones included.
#pragma once

#include "model/ItemRecords.h"

#include <span>

namespace tolvane {

struct ContactPreviewField {
    QString ContactRecord::*member;
    const char* label;  // "<b>Label :</b> " as the page writes it
};

// In the page's order.
std::span<const ContactPreviewField> ContactPreviewFields();

}  // namespace tolvane
