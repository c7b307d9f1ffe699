// What makes an address one that can be written.
#include "model/Mailbox.h"

namespace tolvane {

std::optional<AddrSpec> AddrSpec::Parse(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    const qsizetype at = trimmed.lastIndexOf(u'@');
    if (at <= 0 || at == trimmed.size() - 1)
        return std::nullopt;
    for (const QChar c : trimmed) {
        if (c.isSpace() || c == u'<' || c == u'>' || c == u',' || c == u';' || c == u'"' || c.unicode() < 0x20)
            return std::nullopt;
    }
    return AddrSpec(trimmed.toString(), at);
}

bool AddrSpec::IsPlainDotAtom(QStringView text)
{
    static const QString specials = QStringLiteral("!#$%&'*+-/=?^_`{|}~");
    auto dotAtom = [](QStringView part) {
        if (part.isEmpty() || part.startsWith(u'.') || part.endsWith(u'.') || part.contains(u".."))
            return false;
        for (const QChar c : part) {
            const char16_t u = c.unicode();
            const bool alnum = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
            if (!alnum && u != u'.' && !specials.contains(c))
                return false;
        }
        return true;
    };
    const qsizetype at = text.indexOf(u'@');
    if (at <= 0 || at != text.lastIndexOf(u'@'))
        return false;
    return dotAtom(text.left(at)) && dotAtom(text.mid(at + 1));
}

bool AddrSpec::isPrintableAscii() const
{
    for (const QChar c : text_) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            return false;
    }
    return true;
}

}  // namespace tolvane
