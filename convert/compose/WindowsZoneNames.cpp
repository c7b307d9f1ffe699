// The lookup of Windows zone names in the CLDR table; see WindowsZoneNames.h.
#include "convert/compose/WindowsZoneNames.h"

#include <iterator>

namespace tolvane {

namespace {

struct WindowsZone {
    const char16_t* keyName;
    const char16_t* ianaZone;
    const char16_t* displayName;  // as Windows shows it, "(UTC+hh:mm) places"
};

// Made by cmake/WindowsZoneTable.cmake from CLDR's windowsZones.xml.
constexpr WindowsZone kWindowsZones[] = {
#include "WindowsZoneTable.inc"
};

}  // namespace

std::optional<QString> IanaZoneOfWindowsName(const QString& windowsName)
{
    QString name = windowsName.trimmed();
    if (name.isEmpty())
        return std::nullopt;
    // Older Windows wrote "(GMT+01:00) Amsterdam, ..." where newer ones write
    // "(UTC+01:00) ...": the same zone when the rest is the same.
    if (name.startsWith(QLatin1String("(GMT")))
        name.replace(0, 4, QStringLiteral("(UTC"));
    for (const WindowsZone& zone : kWindowsZones) {
        if (name.compare(QString::fromUtf16(zone.keyName), Qt::CaseInsensitive) == 0
            || name == QString::fromUtf16(zone.displayName))
            return QString::fromUtf16(zone.ianaZone);
    }
    return std::nullopt;
}

}  // namespace tolvane
