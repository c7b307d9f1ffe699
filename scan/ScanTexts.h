// The scan's text rules: the folder-key cleaner, the subject cleaner, the
// file-name sanitiser, the body-size rule and the pieces of an export path.
// Pure functions, no libpff. (What a record's values look like on screen is
// RecordText's business.)
#pragma once

#include "scan/Limits.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tolvane {

// The text the folder key, the subject and output directory names are made
// from: "Deleted Items" and "Top of Personal Folders" get dashes, then every
// character outside the kept set (space, '-' to '9', 'A' to '\', '`' to 'z',
// and letters and digits of any script) that occurs before the last position
// is replaced by '-' everywhere in the text. Works on code points, so a
// character outside the Basic Multilingual Plane is one character.
QString CleanFolderKey(const QString& text);

// The subject as stored without the two-character prefix marker (0x01 and a
// length character) that stored subjects may begin with.
QString SubjectWithoutPrefixMarker(const QString& stored);

// The cleaned subject with every "--" removed.
QString CleanSubject(const QString& subject);

// The filename sanitiser's rule for one character of a name.
bool IsReplacedInFileName(char32_t character);
// Replaces every such character of `name` by '_'.
void SanitizeFileName(QString& name);

// True when a body of the given stored size is kept in the record.
inline bool BodyIsKept(qsizetype storedSize) { return storedSize < kKeptBodyLimit; }

// The last component of an export path (after the last '\' or '/').
QString LastPathComponent(const QString& path);
// The folder key of an export path: every ".export" removed, then cleaned;
// null when that leaves exactly one space.
QString FolderKeyFromExportPath(const QString& exportPath);

// Null for a text that is exactly one space, the text otherwise.
QString NullIfSpace(const QString& text);

// "Folder%05d" for a 1-based position.
QString NumberedFolderName(int position);

}  // namespace tolvane
