// The header test that tells a PST from the other files of its family.
#pragma once

#include <QByteArray>

namespace tolvane {

enum class PstContent {
    Pst,           // "!BDN" and content type "SM"
    OtherContent,  // "!BDN" with another content type: an OST ("SO") or an address book ("AB")
    NotPst,        // too short or without the "!BDN" signature
};

// Bytes the test needs from the start of the file.
inline constexpr qsizetype kPstHeaderBytes = 10;

// Classifies the first bytes of a file: signature at 0, content type at 8.
PstContent ClassifyPstHeader(const QByteArray& header);

}  // namespace tolvane
