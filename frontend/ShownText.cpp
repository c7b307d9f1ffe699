// Control characters of shown texts, written out.
#include "frontend/ShownText.h"

namespace tolvane {

QString ShownText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        const bool pairedLow = i > 0 && text.at(i - 1).isHighSurrogate() && QChar::isLowSurrogate(unit);
        if (unit < 0x20 || unit == 0x7F)
            shown += QStringLiteral("\\x%1").arg(static_cast<uint>(unit), 2, 16, QLatin1Char('0'));
        else if (unit >= 0x80 && unit <= 0x9F)
            shown += QStringLiteral("\\u%1").arg(static_cast<uint>(unit), 4, 16, QLatin1Char('0'));
        else if (unit >= 0xDC80 && unit <= 0xDCFF && !pairedLow)
            shown += QStringLiteral("\\x%1").arg(static_cast<uint>(unit - 0xDC00), 2, 16, QLatin1Char('0'));
        else
            shown += QChar(unit);
    }
    return shown;
}

}  // namespace tolvane
