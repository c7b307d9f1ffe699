// The VTIMEZONEs of a calendar file; see CalendarZones.h.
#include "convert/compose/CalendarZones.h"

#include "convert/compose/WindowsZoneNames.h"

#include <QDate>

#include <algorithm>

namespace tolvane {

short IcalByDay(int weekday, int position)
{
    // Sunday 1, plus eight times the position, the sign of the position on
    // the whole (icalrecurrencetype_day_day_of_week and _day_position read it back).
    const int value = (position < 0 ? -position : position) * 8 + weekday + 1;
    return static_cast<short>(position < 0 ? -value : value);
}

namespace {

// The day of 1970 a yearly transition first falls on: the n-th (or, for
// week 5, the last) such weekday of its month.
QDate FirstOnset(const TimeZoneRule::Transition& change)
{
    const QDate first(1970, change.month, 1);
    if (!first.isValid())
        return QDate(1970, 1, 1);
    const int wanted = change.weekday == 0 ? 7 : change.weekday;  // QDate counts Monday 1 ... Sunday 7
    if (change.week >= 5) {
        QDate day = first.addMonths(1).addDays(-1);
        while (day.dayOfWeek() != wanted)
            day = day.addDays(-1);
        return day;
    }
    QDate day = first;
    while (day.dayOfWeek() != wanted)
        day = day.addDays(1);
    return day.addDays(7 * (std::max(change.week, 1) - 1));
}

icalcomponent* Observance(icalcomponent* observance, const std::optional<TimeZoneRule::Transition>& change,
                          int fromSeconds, int toSeconds)
{
    icaltimetype start = icaltime_null_time();
    start.year = 1970;
    start.month = 1;
    start.day = 1;
    if (change) {
        // DTSTART is the first onset the rule gives, as RFC 5545 asks of it.
        const QDate onset = FirstOnset(*change);
        start.month = onset.month();
        start.day = onset.day();
        start.hour = change->hour;
        start.minute = change->minute;
        icalrecurrencetype yearly;
        icalrecurrencetype_clear(&yearly);
        yearly.freq = ICAL_YEARLY_RECURRENCE;
        yearly.by_month[0] = static_cast<short>(change->month);
        yearly.by_day[0] = IcalByDay(change->weekday, change->week >= 5 ? -1 : change->week);
        icalcomponent_add_property(observance, icalproperty_new_rrule(yearly));
    }
    icalcomponent_add_property(observance, icalproperty_new_dtstart(start));
    icalcomponent_add_property(observance, icalproperty_new_tzoffsetfrom(fromSeconds));
    icalcomponent_add_property(observance, icalproperty_new_tzoffsetto(toSeconds));
    return observance;
}

// The zone as the mailbox stores it: UTC = local + bias, so the offset from
// UTC is its negative.
icalcomponent* StoredRuleZone(const TimeZoneRule& rule, const QByteArray& tzid)
{
    icalcomponent* vtimezone = icalcomponent_new_vtimezone();
    icalcomponent_add_property(vtimezone, icalproperty_new_tzid(tzid.constData()));
    const int standard = -(rule.biasMinutes + rule.standardBiasMinutes) * 60;
    const int daylight = -(rule.biasMinutes + rule.daylightBiasMinutes) * 60;
    if (!rule.toStandard || !rule.toDaylight) {
        icalcomponent_add_component(vtimezone, Observance(icalcomponent_new_xstandard(), std::nullopt, standard, standard));
        return vtimezone;
    }
    icalcomponent_add_component(vtimezone, Observance(icalcomponent_new_xstandard(), rule.toStandard, daylight, standard));
    icalcomponent_add_component(vtimezone, Observance(icalcomponent_new_xdaylight(), rule.toDaylight, standard, daylight));
    return vtimezone;
}

// libical's definition of the IANA zone `name`; null when libical has none.
icalcomponent* BuiltinDefinition(const QString& name)
{
    icaltimezone* builtin = icaltimezone_get_builtin_timezone(name.toUtf8().constData());
    return builtin != nullptr ? icaltimezone_get_component(builtin) : nullptr;
}

// That definition named by the IANA name alone (libical's own TZIDs carry a
// prefix no other program knows), with the Windows name it was found by.
icalcomponent* IanaZone(icalcomponent* definition, const QByteArray& tzid, const QString& windowsName)
{
    icalcomponent* vtimezone = icalcomponent_new_clone(definition);
    if (icalproperty* property = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(property, tzid.constData());
    else
        icalcomponent_add_property(vtimezone, icalproperty_new_tzid(tzid.constData()));
    icalproperty* windows = icalproperty_new_x(windowsName.toUtf8().constData());
    icalproperty_set_x_name(windows, kWindowsZoneProperty);
    icalcomponent_add_property(vtimezone, windows);
    return vtimezone;
}

}  // namespace

CalendarZones::~CalendarZones()
{
    for (auto& [tzid, zone] : zones_)
        icaltimezone_free(zone, 1);
}

icaltimezone* CalendarZones::Zone(const TimeZoneRule& rule, icalcomponent* calendar)
{
    // The key name is the surer of the two; the display name is all older
    // items have.
    std::optional<QString> iana = IanaZoneOfWindowsName(rule.keyName);
    if (!iana)
        iana = IanaZoneOfWindowsName(rule.name);
    icalcomponent* definition = iana ? BuiltinDefinition(*iana) : nullptr;
    const QByteArray tzid = (definition != nullptr ? *iana : rule.name).toUtf8();
    if (const auto found = zones_.find(tzid); found != zones_.end())
        return found->second;
    const QString windowsName = !rule.keyName.trimmed().isEmpty() ? rule.keyName.trimmed() : rule.name.trimmed();
    icalcomponent* vtimezone =
        definition != nullptr ? IanaZone(definition, tzid, windowsName) : StoredRuleZone(rule, tzid);
    icaltimezone* zone = icaltimezone_new();
    icaltimezone_set_component(zone, icalcomponent_new_clone(vtimezone));
    icalcomponent_add_component(calendar, vtimezone);
    zones_.emplace(tzid, zone);
    return zone;
}

}  // namespace tolvane
