// Appointments to iCalendar through libical: every property goes through
// libical's constructors, and libical writes the text.
#include "convert/CalendarWriter.h"

#include <libical/ical.h>

#include <memory>

namespace tolvane {

namespace {

struct ComponentFree {
    void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

icaltimetype UtcTime(const QDateTime& time)
{
    return icaltime_from_timet_with_zone(static_cast<time_t>(time.toSecsSinceEpoch()), 0,
                                         icaltimezone_get_utc_timezone());
}

// All-day events are stored as the local midnights that bound them, in UTC.
// Without the event's own zone, the day is the one that holds the stored
// instant twelve hours later: right for every zone within twelve hours of UTC.
icaltimetype DateOf(const QDateTime& time)
{
    const QDate day = time.toUTC().addSecs(12 * 3600).date();
    icaltimetype date = icaltime_null_date();
    date.year = day.year();
    date.month = day.month();
    date.day = day.day();
    return date;
}

QByteArray Utf8(const QString& text)
{
    return text.toUtf8();
}

void AddText(icalcomponent* event, icalproperty* (*make)(const char*), const QString& text)
{
    if (!text.trimmed().isEmpty())
        icalcomponent_add_property(event, make(Utf8(text).constData()));
}

// An address as a calendar user: "mailto:" and the address, the name as CN.
icalproperty* WithName(icalproperty* property, const MailAddress& mailbox)
{
    if (!mailbox.name.trimmed().isEmpty())
        icalproperty_add_parameter(property, icalparameter_new_cn(Utf8(mailbox.name.trimmed()).constData()));
    return property;
}

QByteArray CalendarAddress(const MailAddress& mailbox)
{
    return "mailto:" + Utf8(mailbox.address.trimmed());
}

icalproperty_class ClassOf(HeaderProperties::Sensitivity sensitivity)
{
    switch (sensitivity) {
    case HeaderProperties::Sensitivity::Private:
    case HeaderProperties::Sensitivity::Personal:
        return ICAL_CLASS_PRIVATE;
    case HeaderProperties::Sensitivity::Confidential:
        return ICAL_CLASS_CONFIDENTIAL;
    case HeaderProperties::Sensitivity::None:
        break;
    }
    return ICAL_CLASS_PUBLIC;
}

ComponentPtr MakeEvent(const AppointmentContent& content)
{
    ComponentPtr event(icalcomponent_new_vevent());
    icalcomponent* vevent = event.get();
    icalcomponent_add_property(vevent, icalproperty_new_uid(Utf8(EventUid(content)).constData()));
    // The time of the last change stands for when this description of the
    // event was made, so the same mailbox always gives the same file.
    const QDateTime stamp = content.modified.value_or(content.created.value_or(*content.start));
    icalcomponent_add_property(vevent, icalproperty_new_dtstamp(UtcTime(stamp)));
    if (content.allDay) {
        icalcomponent_add_property(vevent, icalproperty_new_dtstart(DateOf(*content.start)));
        if (content.end && *content.end > *content.start)
            icalcomponent_add_property(vevent, icalproperty_new_dtend(DateOf(*content.end)));
    } else {
        icalcomponent_add_property(vevent, icalproperty_new_dtstart(UtcTime(*content.start)));
        if (content.end && *content.end >= *content.start)
            icalcomponent_add_property(vevent, icalproperty_new_dtend(UtcTime(*content.end)));
    }
    if (content.created)
        icalcomponent_add_property(vevent, icalproperty_new_created(UtcTime(*content.created)));
    if (content.modified)
        icalcomponent_add_property(vevent, icalproperty_new_lastmodified(UtcTime(*content.modified)));
    AddText(vevent, icalproperty_new_summary, content.subject);
    AddText(vevent, icalproperty_new_location, content.location);
    AddText(vevent, icalproperty_new_description, content.description);
    if (content.sensitivity != HeaderProperties::Sensitivity::None)
        icalcomponent_add_property(vevent, icalproperty_new_class(ClassOf(content.sensitivity)));
    if (content.busy) {
        const bool free = *content.busy == AppointmentContent::Busy::Free;
        icalcomponent_add_property(vevent, icalproperty_new_transp(free ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
        if (*content.busy == AppointmentContent::Busy::Tentative)
            icalcomponent_add_property(vevent, icalproperty_new_status(ICAL_STATUS_TENTATIVE));
    }
    for (const QString& category : content.categories)
        AddText(vevent, icalproperty_new_categories, category);
    if (content.organizer && !content.organizer->address.isEmpty())
        icalcomponent_add_property(
            vevent, WithName(icalproperty_new_organizer(CalendarAddress(*content.organizer).constData()),
                             *content.organizer));
    for (const AppointmentContent::Attendee& attendee : content.attendees) {
        if (attendee.mailbox.address.isEmpty())
            continue;
        icalproperty* property =
            WithName(icalproperty_new_attendee(CalendarAddress(attendee.mailbox).constData()), attendee.mailbox);
        switch (attendee.role) {
        case AppointmentContent::Role::Required:
            icalproperty_add_parameter(property, icalparameter_new_role(ICAL_ROLE_REQPARTICIPANT));
            break;
        case AppointmentContent::Role::Optional:
            icalproperty_add_parameter(property, icalparameter_new_role(ICAL_ROLE_OPTPARTICIPANT));
            break;
        case AppointmentContent::Role::Resource:
            icalproperty_add_parameter(property, icalparameter_new_cutype(ICAL_CUTYPE_RESOURCE));
            icalproperty_add_parameter(property, icalparameter_new_role(ICAL_ROLE_NONPARTICIPANT));
            break;
        }
        icalcomponent_add_property(vevent, property);
    }
    if (content.reminderMinutes && *content.reminderMinutes >= 0) {
        icalcomponent* alarm = icalcomponent_new_valarm();
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icaltriggertype trigger = icaltriggertype_from_int(-*content.reminderMinutes * 60);
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        const QString text = content.subject.trimmed().isEmpty() ? QStringLiteral("Reminder") : content.subject;
        icalcomponent_add_property(alarm, icalproperty_new_description(Utf8(text).constData()));
        icalcomponent_add_component(vevent, alarm);
    }
    return event;
}

}  // namespace

QString EventUid(const AppointmentContent& event)
{
    if (!event.globalObjectId.isEmpty())
        return QString::fromLatin1(event.globalObjectId.toHex().toUpper());
    const qint64 created = event.created ? event.created->toSecsSinceEpoch() : 0;
    return QStringLiteral("tolvane-%1-%2").arg(event.identifier).arg(created);
}

QByteArray ComposeCalendar(const std::vector<AppointmentContent>& events, int* written)
{
    ComponentPtr calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Tolvane//Tolvane//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
    int count = 0;
    for (const AppointmentContent& event : events) {
        if (!event.start || !event.start->isValid())
            continue;
        icalcomponent_add_component(calendar.get(), MakeEvent(event).release());
        ++count;
    }
    if (written != nullptr)
        *written = count;
    char* text = icalcomponent_as_ical_string_r(calendar.get());
    QByteArray bytes(text != nullptr ? text : "");
    icalmemory_free_buffer(text);
    return bytes;
}

}  // namespace tolvane
