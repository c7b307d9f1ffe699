// Body texts on their way from the mailbox to the message: blank tests and
// the HTML's declared charset, on UTF-8 bytes where that gives the same answer.
#include "convert/read/BodyText.h"

#include <QByteArrayView>
#include <QRegularExpression>

namespace tolvane {

namespace {

// Whether the UTF-8 text may hold the word "charset" in any case, the long
// s (U+017F) included, which a case-insensitive pattern also takes for "s".
bool MayDeclareCharset(const QByteArray& utf8)
{
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    const qsizetype size = utf8.size();
    for (qsizetype at = 0; at + 7 <= size; ++at) {
        if (lower(utf8[at]) != 'c' || lower(utf8[at + 1]) != 'h' || lower(utf8[at + 2]) != 'a'
            || lower(utf8[at + 3]) != 'r')
            continue;
        qsizetype next = at + 4;
        if (lower(utf8[next]) == 's')
            next += 1;
        else if (next + 1 < size && utf8[next] == '\xC5' && utf8[next + 1] == '\xBF')
            next += 2;
        else
            continue;
        if (next + 2 <= size && lower(utf8[next]) == 'e' && lower(utf8[next + 1]) == 't')
            return true;
    }
    return false;
}

}  // namespace

// The HTML is written as UTF-8; a charset its meta tags declare would now be wrong.
QByteArray HtmlAsUtf8(const QString& html)
{
    static const QRegularExpression declared(
        QStringLiteral("(<meta[^>]*charset\\s*=\\s*[\"']?)([A-Za-z0-9_.:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = html;
    text.replace(declared, QStringLiteral("\\1utf-8"));
    return text.toUtf8();
}

// The same bytes as HtmlAsUtf8 on the decoded text: valid UTF-8 that cannot
// declare a charset (most HTML bodies) goes through as it is, without a
// round trip through UTF-16.
QByteArray HtmlAsUtf8(const QByteArray& utf8)
{
    if (!utf8.startsWith("\xEF\xBB\xBF") && QByteArrayView(utf8).isValidUtf8() && !MayDeclareCharset(utf8))
        return utf8;
    return HtmlAsUtf8(QString::fromUtf8(utf8));
}

bool IsBlank(const QString& text)
{
    for (QChar c : text) {
        if (!c.isSpace() && c != QChar(0))
            return false;
    }
    return true;
}

// IsBlank on the decoded text, decoding it only when a non-ASCII character
// comes before the first ASCII one that is not white space or NUL.
bool IsBlankUtf8(const QByteArray& utf8)
{
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            return IsBlank(QString::fromUtf8(utf8));
        if (byte != 0 && byte != ' ' && (byte < 0x09 || byte > 0x0d))
            return false;
    }
    return true;
}

}  // namespace tolvane
