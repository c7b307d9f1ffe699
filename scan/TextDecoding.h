// Turning the bytes a mailbox stores into text: Windows code pages through
// iconv, UTF-16LE and UTF-8 by our own code. Tolerant by design: a byte that
// does not decode becomes U+FFFD and decoding goes on.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvane {

// The code page a mailbox falls back to for 8-bit text.
inline constexpr int kDefaultCodePage = 1252;

// The iconv name of a Windows code page number, or an empty array when the
// code page is not known.
QByteArray IconvNameForCodePage(int codePage);

// The MIME charset name of a Windows code page number: the name of what it
// decodes as (unknown code pages: 1252's).
QByteArray MimeCharsetForCodePage(int codePage);

// Decodes 8-bit text of the given code page. Unknown code pages decode as
// 1252; 65001 is UTF-8, 1200/1201 UTF-16LE/BE.
QString DecodeCodePage(const char* data, qsizetype size, int codePage);
inline QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    return DecodeCodePage(bytes.constData(), bytes.size(), codePage);
}

// UTF-16LE with surrogate pairs; an unpaired surrogate and an odd last byte
// become U+FFFD.
QString DecodeUtf16Le(const char* data, qsizetype size);
inline QString DecodeUtf16Le(const QByteArray& bytes)
{
    return DecodeUtf16Le(bytes.constData(), bytes.size());
}

// UTF-8 with replacement of invalid sequences.
QString DecodeUtf8(const char* data, qsizetype size);

}  // namespace tolvane
