// The header test that tells a PST from the other files of its family.
#pragma once

#include <QString>

namespace tolvane {

enum class PstContent {
    Pst,           // "!BDN" and content type "SM"
    OtherContent,  // "!BDN" with another content type: an OST ("SO") or an address book ("AB")
    NotPst,        // unreadable, too short or without the "!BDN" signature
};

PstContent CheckPstContent(const QString& path);

}  // namespace tolvane
