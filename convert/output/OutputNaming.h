// Names and places of everything the conversion writes: the pseudo-random file
// numbers, the mapping of a
// folder key onto a directory that can never lie outside the output root, and
// the name text of a mail's file.
#pragma once

#include <QString>
#include <cstdint>

namespace tolvane {

// The conversion's file numbers: x = x*214013 + 2531011 (mod 2^32), value
// (x >> 16) & 0x7FFF, x = 1 at the start of each conversion: 41, 18467, 6334, ...
class ConversionRandom {
public:
    int Next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

private:
    uint32_t state_ = 1;
};

// The directory on disk for a folder key ("\Top-of-Personal-Folders\Inbox"):
// backslashes separate components; empty, "." and ".." components are dropped
// or neutralised, "/" and control characters replaced, each component cut to
// 255 bytes. The result always lies at or below outputRoot.
QString DirectoryForFolderKey(const QString& outputRoot, const QString& folderKey);

// One path component made safe for the file system: no "/", no NUL or other
// control characters, no half of a surrogate pair, not "." or "..", never empty.
QString SafeComponent(const QString& text);

// `text` with every UTF-16 unit that is half of no surrogate pair replaced by
// `replacement`. Such a unit (a mailbox may hold one) is no character: in a
// file name it would be lost to UTF-8, or read back as a byte of a name that
// is no UTF-8 (NativePath) and so as another name.
QString WithoutLoneSurrogates(const QString& text, QChar replacement);

// The name taken instead of `component` (a SafeComponent) when it is in use:
// "-number" added, the name shortened on a character boundary first where
// the whole would pass the file system's 255 bytes. `component` itself for 1.
QString NumberedComponent(const QString& component, int number);

// The file name text of a mail: its cleaned subject, or "Unknown <Unknown>".
QString MailNameText(const QString& subject);

// name text + number + extension, with "/" and control characters replaced and
// the name text shortened so the whole stays within 255 UTF-8 bytes.
// `duplicate` > 1 adds "-duplicate" before the extension (Minutes41-2.eml).
QString FileNameFor(const QString& nameText, const QString& number, const QString& extension,
                    int duplicate = 1);

// Recursively removes a directory and everything in it. 1 when all was removed,
// 0 at the first failure (a missing directory gives 0). Symbolic links are
// removed, never followed.
int RemoveFolderTree(const QString& path);

}  // namespace tolvane
