// File names as the operating system keeps them: bytes, usually but not
// always UTF-8. Every place that hands a QString path to the system or to
// libpff goes through NativePath, and every byte name coming from the system
// (argv, environment) through PathFromNative, so a name that is not valid
// UTF-8 survives the trip through QString unchanged.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tolvane {

// Decodes a file name: valid UTF-8 as it is, every byte of an invalid
// sequence as the lone surrogate U+DC80..U+DCFF (byte 0x80..0xFF).
QString PathFromNative(QByteArrayView bytes);

// The bytes of a file name: PathFromNative's inverse. Lone surrogates
// U+DC80..U+DCFF become their byte again, everything else UTF-8.
QByteArray NativePath(const QString& path);

// True when the name holds bytes that were not valid UTF-8.
bool HasUndecodableBytes(const QString& path);

// Whether the path names a directory (symlinks followed), asked through the
// bytes of the name, which QDir and QFileInfo would turn into U+FFFD.
bool IsDirectory(const QString& path);

// The system's text for an errno value, for the reasons shown to the user.
QString ErrnoText(int error);

}  // namespace tolvane
