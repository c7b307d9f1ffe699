// The header test that tells a PST from the other files of its family, and
// what else the header says of the file as a whole.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

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

// Bytes ReadPstHeaderFacts needs to find the file's declared length in
// either header layout.
inline constexpr qsizetype kPstHeaderFactsBytes = 192;

// What a header says of its file, for telling a user why it cannot be read.
struct PstHeaderFacts {
    PstContent content = PstContent::NotPst;
    QByteArray contentType;  // the two letters at offset 8 ("SM", "SO", "AB"), when there
    // The length the file had when it was last written (the root's end of
    // file), when the header's version is one this reader knows: a shorter
    // file was cut off.
    std::optional<std::uint64_t> declaredLength;
};

PstHeaderFacts ReadPstHeaderFacts(const QByteArray& header);

}  // namespace tolvane
