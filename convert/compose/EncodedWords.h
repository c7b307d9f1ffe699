// Header values beyond ASCII as RFC 2047 encoded-words, written by the
// program itself rather than by GMime. GMime cuts a text into base64 words
// wherever its length limit falls, so a word inside a run can end in "="
// padding; readers that join adjacent words of one charset before decoding
// (GMime itself, and so notmuch and mu) stop at that padding and lose the rest
// of the text. Here a run of base64 words is cut where a character ends on a
// three-byte boundary of its UTF-8 bytes, so only the last word of a run pads.
#pragma once

#include <gmime/gmime.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane {

// The longest line written when folding, within RFC 2047's 76 for lines
// that hold encoded-words (and so within RFC 5322's 78).
inline constexpr int kFoldedLineLimit = 76;
// RFC 2047's limit for one encoded-word.
inline constexpr int kEncodedWordLimit = 75;

// True when `text` has a character beyond ASCII, which only encoded-words can carry.
[[nodiscard]] bool NeedsEncodedWords(const QString& text);

// The raw value (what follows "Name:", folded, ending in a line end) of an
// unstructured header `name` holding `text` (RFC 2047 section 5 (1)): words
// of plain ASCII stay as they are, every run of other words becomes
// encoded-words; the text's own white space survives unfolding.
[[nodiscard]] QByteArray EncodedTextRawValue(const char* name, const QString& text);

// The raw value of address header `name` holding `list`: every display name
// beyond ASCII is a phrase of encoded-words (RFC 2047 section 5 (3)); every
// other mailbox is written as GMime writes it.
[[nodiscard]] QByteArray EncodedAddressListRawValue(const char* name, InternetAddressList* list);

// True when a display name in `list` (or in a group of it) goes beyond ASCII.
[[nodiscard]] bool NeedsEncodedWords(InternetAddressList* list);

// Gives the last header `name` of `object`, which holds `list`, this
// program's encoding when a display name in it goes beyond ASCII.
void EncodeAddressHeader(GMimeObject* object, const char* name, InternetAddressList* list);

// A list of phrases (Keywords) as one raw value: each phrase encoded on its
// own, separated by commas.
[[nodiscard]] QByteArray EncodedPhraseListRawValue(const char* name, const QStringList& phrases);

// Whether GMime writes header `name` as an address list.
[[nodiscard]] bool IsAddressHeader(const QByteArray& name);

// The last header `name` of `object`; null when it has none.
[[nodiscard]] GMimeHeader* LastHeader(GMimeObject* object, const char* name);

// Gives the last header `name` of `object` this program's encoding when its
// value goes beyond ASCII: as an address list or as unstructured text, by
// its name (an address list as GMime parses the value). Other headers, and values in plain ASCII, stay as GMime writes them.
void EncodeHeaderValue(GMimeObject* object, const char* name);

}  // namespace tolvane
