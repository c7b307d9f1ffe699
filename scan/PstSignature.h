// The header test that tells a PST from the other files of its family, and
// what else the header says of the file as a whole.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace tolvane {

enum class PstContent {
    Pst,           // "!BDN" and content type "SM"
    Ost,           // "!BDN" and content type "SO": a mail client's offline cache of a server mailbox
    OtherContent,  // "!BDN" with another content type: an address book ("AB") or one unknown
    NotPst,        // too short or without the "!BDN" signature
};

// The format version at offset 10 of the 4 KiB-page layout newer offline
// caches are written in (the other 64-bit files say 23, the 32-bit ones 14 or 15).
inline constexpr std::uint16_t kFourKiBPageFormatVersion = 36;

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
    std::optional<std::uint16_t> formatVersion;  // at offset 10, when there
    // The length the file had when it was last written (the root's end of
    // file), when the header's version is one this reader knows: a shorter
    // file was cut off.
    std::optional<std::uint64_t> declaredLength;
};

PstHeaderFacts ReadPstHeaderFacts(const QByteArray& header);

}  // namespace tolvane
