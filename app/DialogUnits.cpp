// Dialog units from font metrics.
#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace tolvane {

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageWidth_ = std::max(1, (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2);
    height_ = std::max(1, metrics.height());
}

}  // namespace tolvane
