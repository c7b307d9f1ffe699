// The bounds the program puts on what it reads from a mailbox, in one place:
// how deep a walk goes, which bodies a record keeps in full, and which
// attachments the conversion holds in memory rather than streaming them.
// A damaged or hostile file can claim any size or nesting; these keep it from
// leading the program on without end, and are far beyond any real mailbox.
#pragma once

#include <QtGlobal>

#include <cstdint>

namespace tolvane {

// Deepest folder level that still gets a folder node of its own.
inline constexpr int kDeepestTreeLevel = 27;
// Folders below this depth and messages embedded deeper than this are cut
// (and named as left out), by the scan and by the conversion alike.
inline constexpr int kDeepestFolderWalk = 256;
inline constexpr int kDeepestEmbedding = 64;

// Bodies of this many bytes or more are not kept in the record.
inline constexpr qsizetype kKeptBodyLimit = 65000;

// Attachments up to this size are read into memory by the conversion; larger
// ones are streamed from the mailbox into the file.
inline constexpr uint64_t kInMemoryAttachmentLimit = 4 * 1024 * 1024;
// What an attachment object may hold besides its data (names, rendering):
// far less than this in any mailbox seen.
inline constexpr uint64_t kAttachmentPropertiesAllowance = 64 * 1024;

}  // namespace tolvane
