// Message bodies kept as RTF: the stored form (compressed "LZFu" or
// uncompressed "MELA") turned back into RTF, and HTML or plain text taken back
// out of RTF that encapsulates it.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvane {

// The RTF of a stored RTF body; nullopt when the header is not understood or
// the compressed data is cut short.
std::optional<QByteArray> DecompressRtf(const QByteArray& stored);

struct RtfContent {
    enum class Kind { Html, Text, Rtf };  // encapsulated HTML, encapsulated text, or RTF proper
    Kind kind = Kind::Rtf;
    QString text;  // the HTML or the text for Html and Text; the visible text of RTF proper
};

// Looks for \fromhtml1 or \fromtext and, when present, rebuilds the original
// HTML or text (tags from \*\htmltag groups, text outside \htmlrtf blocks,
// \'hh bytes in the document's code page, \uN characters). RTF proper gives
// its text without formatting.
RtfContent ExtractFromRtf(const QByteArray& rtf);

}  // namespace tolvane
