// Which IANA time zone a Windows time-zone name stands for. Appointments name
// their zone the Windows way: by its key name ("W. Europe Standard Time") in
// the zone definitions, and by its display name ("(UTC+01:00) Amsterdam,
// Berlin, ...") in the description. The table is the Unicode CLDR's
// windowsZones mapping, generated into the build from the installed CLDR data.
#pragma once

#include <QString>

#include <optional>

namespace tolvane {

// The IANA zone of a Windows key name (any case) or of a display name as
// Windows shows it, with "(UTC" or the older "(GMT" before the offset;
// nullopt when the name is neither.
[[nodiscard]] std::optional<QString> IanaZoneOfWindowsName(const QString& windowsName);

}  // namespace tolvane
