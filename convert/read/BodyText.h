// Body texts on their way from the mailbox to the message: blank tests and
// the HTML's declared charset, on UTF-8 bytes where that gives the same answer.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvane {

// The HTML as UTF-8, its meta tags declaring "utf-8" instead of the charset
// they declared (which would now be wrong).
QByteArray HtmlAsUtf8(const QString& html);
// The same bytes for a UTF-8 text, without a round trip through UTF-16 when
// nothing in it can declare a charset.
QByteArray HtmlAsUtf8(const QByteArray& utf8);

// Nothing but white space and NUL characters.
bool IsBlank(const QString& text);
// The same for a UTF-8 text, decoded only when a non-ASCII character comes
// before the first ASCII one that settles it.
bool IsBlankUtf8(const QByteArray& utf8);

}  // namespace tolvane
