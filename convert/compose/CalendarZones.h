// The time zones of one calendar file: each zone its events use, written once
// as a VTIMEZONE and kept as a libical zone that converts UTC instants into
// its local time. A zone the CLDR table maps to an IANA zone is written under
// that name with libical's own definition of it; any other keeps the rule the
// mailbox stores, under the name the mailbox gives it.
#pragma once

#include "model/Recurrence.h"

#include <libical/ical.h>

#include <QByteArray>

#include <map>

namespace tolvane {

// The Windows name of a zone, kept on its VTIMEZONE when the zone is written
// under its IANA name. A property of the zone rather than a parameter on
// every time: it is said once, and calendar programs keep the X- properties
// of a component they do not know, where many drop unknown parameters.
inline constexpr const char* kWindowsZoneProperty = "X-TOLVANE-WINDOWS-ZONE";

// A BYDAY entry as libical's recurrence keeps it: the weekday (0 = Sunday)
// and its position in the month or year (0 for every one, -1 the last).
[[nodiscard]] short IcalByDay(int weekday, int position);

class CalendarZones {
public:
    CalendarZones() = default;
    CalendarZones(const CalendarZones&) = delete;
    CalendarZones& operator=(const CalendarZones&) = delete;
    ~CalendarZones();

    // The zone of `rule`; its VTIMEZONE is added to `calendar` the first time.
    [[nodiscard]] icaltimezone* Zone(const TimeZoneRule& rule, icalcomponent* calendar);

private:
    std::map<QByteArray, icaltimezone*> zones_;  // by TZID; owned, freed with this set
};

}  // namespace tolvane
