// Appointments to iCalendar through libical: every property goes through
// libical's constructors, and libical writes the text.
#include "convert/compose/CalendarWriter.h"

#include "convert/compose/CalendarZones.h"

#include <libical/ical.h>

#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

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

// The UID of an item without an identity of its own: stable across
// conversions of the same mailbox.
QString ItemUid(uint32_t identifier, const std::optional<QDateTime>& created)
{
    return QStringLiteral("tolvane-%1-%2").arg(identifier).arg(created ? created->toSecsSinceEpoch() : 0);
}

// The UIDs of the components one file holds that stand on their own (no
// RECURRENCE-ID): a UID names one calendar object there, so copies of one
// item (a meeting in a folder twice, as an offline cache may keep it) must
// not share one, or a reader takes them for one object and keeps only one.
// A copy gets a UID of its own, made from its item's and stable across
// conversions of the same mailbox.
class FileUids {
public:
    // The UID to write for a component whose own UID is `uid`, of the item
    // `identifier`: `uid` itself while no other component took it.
    QString Take(const QString& uid, uint32_t identifier)
    {
        QString taken = uid;
        if (identifier != 0 && taken_.count(taken) != 0)
            taken = QStringLiteral("%1-%2").arg(uid).arg(identifier);
        for (int copy = 2; taken_.count(taken) != 0; ++copy)
            taken = QStringLiteral("%1-%2").arg(uid).arg(copy);
        taken_.insert(taken);
        return taken;
    }

private:
    std::set<QString> taken_;
};

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
icalproperty* WithName(icalproperty* property, const Mailbox& mailbox)
{
    if (!mailbox.name.trimmed().isEmpty())
        icalproperty_add_parameter(property, icalparameter_new_cn(Utf8(mailbox.name.trimmed()).constData()));
    return property;
}

QByteArray CalendarAddress(const Mailbox& mailbox)
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

icaltimetype LocalTime(const QDateTime& local)
{
    icaltimetype time = icaltime_null_time();
    time.year = local.date().year();
    time.month = local.date().month();
    time.day = local.date().day();
    time.hour = local.time().hour();
    time.minute = local.time().minute();
    time.second = local.time().second();
    return time;
}

icaltimetype LocalDate(const QDate& day)
{
    icaltimetype date = icaltime_null_date();
    date.year = day.year();
    date.month = day.month();
    date.day = day.day();
    return date;
}

// All-day events are stored as the local midnights that bound them.
icaltimetype DateOf(const QDateTime& time)
{
    return LocalDate(DayOfStoredMidnight(time));
}

icalproperty* WithZone(icalproperty* property, icaltimezone* zone)
{
    if (zone != nullptr)
        icalproperty_add_parameter(property, icalparameter_new_tzid(icaltimezone_get_tzid(zone)));
    return property;
}

// The rule of a series. Its last day (UNTIL) is a date when the series
// starts on dates (`dateOnly`), else the end of that day in UTC.
icalrecurrencetype RuleOf(const AppointmentRecurrence& recurrence, icaltimezone* zone, bool dateOnly)
{
    using R = AppointmentRecurrence;
    icalrecurrencetype rule;
    icalrecurrencetype_clear(&rule);
    switch (recurrence.frequency) {
    case R::Frequency::Daily: rule.freq = ICAL_DAILY_RECURRENCE; break;
    case R::Frequency::Weekly: rule.freq = ICAL_WEEKLY_RECURRENCE; break;
    case R::Frequency::Monthly: rule.freq = ICAL_MONTHLY_RECURRENCE; break;
    case R::Frequency::Yearly: rule.freq = ICAL_YEARLY_RECURRENCE; break;
    }
    rule.interval = static_cast<short>(recurrence.interval);
    rule.week_start = static_cast<icalrecurrencetype_weekday>(recurrence.firstDayOfWeek + 1);
    int days = 0;
    for (int weekday : recurrence.weekdays)
        rule.by_day[days++] = IcalByDay(weekday, 0);
    if (recurrence.setPosition != 0 && days > 0)
        rule.by_set_pos[0] = static_cast<short>(recurrence.setPosition);
    if (recurrence.monthDay != 0)
        rule.by_month_day[0] = static_cast<short>(recurrence.monthDay);
    if (recurrence.month != 0)
        rule.by_month[0] = static_cast<short>(recurrence.month);
    switch (recurrence.end) {
    case R::End::AfterCount:
        rule.count = recurrence.count;
        break;
    case R::End::ByDate: {
        if (dateOnly) {
            rule.until = LocalDate(recurrence.until);
            break;
        }
        // The end of the last day an occurrence may start on, in UTC.
        icaltimetype until = LocalTime(QDateTime(recurrence.until, QTime(23, 59, 59)));
        if (zone != nullptr)
            icaltimezone_convert_time(&until, zone, icaltimezone_get_utc_timezone());
        until.zone = icaltimezone_get_utc_timezone();
        rule.until = until;
        break;
    }
    case R::End::Never:
        break;
    }
    return rule;
}

// A time of a series as the blob keeps it: local to the series' zone, or
// UTC when the appointment names none (written so, with "Z": a floating time
// would not match the UTC RECURRENCE-ID of a changed occurrence, nor the UTC
// UNTIL of the rule).
icaltimetype SeriesTime(const QDateTime& local, icaltimezone* zone)
{
    icaltimetype time = LocalTime(local);
    if (zone == nullptr)
        time.zone = icaltimezone_get_utc_timezone();
    return time;
}

// DTSTART, DTEND, RRULE and EXDATE of a series, in its own zone's local time
// (the blob's), or read as UTC when the appointment names no zone.
void AddSeriesTimes(icalcomponent* vevent, const AppointmentContent& content, icaltimezone* zone)
{
    const AppointmentRecurrence& recurrence = *content.recurrence;
    if (content.allDay) {
        icalcomponent_add_property(vevent, icalproperty_new_dtstart(LocalDate(recurrence.start.date())));
        const int days = std::max(1, (recurrence.durationMinutes + 24 * 60 - 1) / (24 * 60));
        icalcomponent_add_property(vevent,
                                   icalproperty_new_dtend(LocalDate(recurrence.start.date().addDays(days))));
    } else {
        icalcomponent_add_property(vevent,
                                   WithZone(icalproperty_new_dtstart(SeriesTime(recurrence.start, zone)), zone));
        icalcomponent_add_property(
            vevent,
            WithZone(icalproperty_new_dtend(SeriesTime(recurrence.start.addSecs(recurrence.durationMinutes * 60LL), zone)),
                     zone));
    }
    icalcomponent_add_property(vevent, icalproperty_new_rrule(RuleOf(recurrence, zone, content.allDay)));
    for (const QDate& day : recurrence.deletedDates) {
        if (content.allDay)
            icalcomponent_add_property(vevent, icalproperty_new_exdate(LocalDate(day)));
        else
            icalcomponent_add_property(
                vevent,
                WithZone(icalproperty_new_exdate(SeriesTime(QDateTime(day, recurrence.start.time()), zone)), zone));
    }
}

// An attachment as ATTACH: its bytes in base64, or the reference to where
// it was written; its type and file name as parameters.
void AddAttachment(icalcomponent* component, const CalendarAttachment& attachment)
{
    icalattach* value = nullptr;
    const bool inline_ = attachment.uri.isEmpty();
    if (inline_) {
        if (attachment.data.isEmpty())
            return;
        // libical keeps the pointer it is given: the text is its own copy,
        // released by the free function with the value.
        const QByteArray encoded = attachment.data.toBase64();
        char* text = static_cast<char*>(malloc(static_cast<size_t>(encoded.size()) + 1));
        if (text == nullptr)
            return;
        memcpy(text, encoded.constData(), static_cast<size_t>(encoded.size()) + 1);
        value = icalattach_new_from_data(text, [](char* data, void*) { free(data); }, nullptr);
    } else {
        value = icalattach_new_from_url(Utf8(attachment.uri).constData());
    }
    if (value == nullptr)
        return;
    icalproperty* property = icalproperty_new_attach(value);
    icalattach_unref(value);
    if (inline_) {
        icalproperty_add_parameter(property, icalparameter_new_encoding(ICAL_ENCODING_BASE64));
        icalproperty_add_parameter(property, icalparameter_new_value(ICAL_VALUE_BINARY));
    }
    const QString type = attachment.contentType.trimmed();
    if (!type.isEmpty() && type.contains(u'/') && !type.contains(u'"'))
        icalproperty_add_parameter(property, icalparameter_new_fmttype(Utf8(type).constData()));
    // A parameter value cannot hold a double quote or a control character.
    QString name;
    for (const QChar c : attachment.fileName.trimmed())
        name += c == u'"' ? QChar(u'\'') : c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(u' ') : c;
    if (!name.isEmpty()) {
        icalparameter* fileName = icalparameter_new_x(Utf8(name).constData());
        icalparameter_set_xname(fileName, "X-FILENAME");
        icalproperty_add_parameter(property, fileName);
    }
    icalcomponent_add_property(component, property);
}

// Whether the event is a changed occurrence of a series written beside it:
// it shares the series' UID and names the occurrence it replaces.
bool IsOccurrence(const AppointmentContent& content)
{
    return !content.seriesUid.isEmpty() && content.replacedStart;
}

// When this description of an item was made, for DTSTAMP: the time of its
// last change, else of its making, else the item's own first time (an
// event's start, a task's start or due day or else its completion, a journal
// entry's start), else the epoch. Never the time of the conversion, so the same mailbox always
// gives the same file.
QDateTime StampOf(const std::optional<QDateTime>& modified, const std::optional<QDateTime>& created,
                  const std::optional<QDateTime>& itemTime)
{
    for (const std::optional<QDateTime>& time : {modified, created, itemTime}) {
        if (time && time->isValid())
            return *time;
    }
    return QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
}

std::optional<QDateTime> StartOfDay(const std::optional<QDate>& day)
{
    return day ? std::optional<QDateTime>(QDateTime(*day, QTime(0, 0), Qt::UTC)) : std::nullopt;
}

ComponentPtr MakeEvent(const AppointmentContent& content, const QString& uid, CalendarZones& zones,
                       icalcomponent* calendar)
{
    ComponentPtr event(icalcomponent_new_vevent());
    icalcomponent* vevent = event.get();
    icaltimezone* zone = content.timeZone ? zones.Zone(*content.timeZone, calendar) : nullptr;
    const bool occurrence = IsOccurrence(content);
    icalcomponent_add_property(vevent, icalproperty_new_uid(Utf8(uid).constData()));
    if (occurrence) {
        // The occurrence of the series it replaces, in the series' own terms.
        icaltimetype replaced = UtcTime(*content.replacedStart);
        if (content.allDay) {
            replaced = DateOf(*content.replacedStart);
            icalcomponent_add_property(vevent, icalproperty_new_recurrenceid(replaced));
        } else if (zone != nullptr) {
            icaltimezone_convert_time(&replaced, icaltimezone_get_utc_timezone(), zone);
            replaced.zone = nullptr;
            icalcomponent_add_property(vevent, WithZone(icalproperty_new_recurrenceid(replaced), zone));
        } else {
            icalcomponent_add_property(vevent, icalproperty_new_recurrenceid(replaced));
        }
    }
    icalcomponent_add_property(
        vevent, icalproperty_new_dtstamp(UtcTime(StampOf(content.modified, content.created, content.start))));
    if (content.recurrence && !occurrence) {
        AddSeriesTimes(vevent, content, zone);
    } else if (content.allDay) {
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
    if (!content.invalidRecurrence.isEmpty()) {
        // Kept for whoever can make sense of it; no calendar program reads it as a rule.
        const auto addExtension = [vevent](const char* name, const QByteArray& value) {
            icalproperty* property = icalproperty_new_x(value.constData());
            icalproperty_set_x_name(property, name);
            icalcomponent_add_property(vevent, property);
        };
        QString reason = content.invalidRecurrence;
        reason.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1F,;\\\\]")), QStringLiteral(" "));
        addExtension("X-TOLVANE-INVALID-RECURRENCE", reason.toUtf8());
        addExtension("X-TOLVANE-RECURRENCE-DATA", content.invalidRecurrenceBlob.toHex());
    }
    if (content.sensitivity != HeaderProperties::Sensitivity::None)
        icalcomponent_add_property(vevent, icalproperty_new_class(ClassOf(content.sensitivity)));
    if (content.sequence && *content.sequence >= 0)
        icalcomponent_add_property(vevent, icalproperty_new_sequence(*content.sequence));
    if (content.cancelled)
        icalcomponent_add_property(vevent, icalproperty_new_status(ICAL_STATUS_CANCELLED));
    if (content.busy) {
        const bool free = *content.busy == AppointmentContent::Busy::Free;
        icalcomponent_add_property(vevent, icalproperty_new_transp(free ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
        if (*content.busy == AppointmentContent::Busy::Tentative && !content.cancelled)
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
        switch (attendee.answer) {
        case AppointmentContent::Answer::Accepted:
            icalproperty_add_parameter(property, icalparameter_new_partstat(ICAL_PARTSTAT_ACCEPTED));
            break;
        case AppointmentContent::Answer::Declined:
            icalproperty_add_parameter(property, icalparameter_new_partstat(ICAL_PARTSTAT_DECLINED));
            break;
        case AppointmentContent::Answer::Tentative:
            icalproperty_add_parameter(property, icalparameter_new_partstat(ICAL_PARTSTAT_TENTATIVE));
            break;
        case AppointmentContent::Answer::None:
            icalproperty_add_parameter(property, icalparameter_new_partstat(ICAL_PARTSTAT_NEEDSACTION));
            break;
        }
        if (attendee.rsvp)
            icalproperty_add_parameter(property, icalparameter_new_rsvp(*attendee.rsvp ? ICAL_RSVP_TRUE : ICAL_RSVP_FALSE));
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
    for (const CalendarAttachment& attachment : content.attachments)
        AddAttachment(vevent, attachment);
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
    return ItemUid(event.identifier, event.created);
}

namespace {

// The common part of a to-do and a journal entry: identity, stamps, texts.
// `itemTime` stands in for DTSTAMP when the item keeps neither when it was
// changed nor when it was made.
void AddItemBasics(icalcomponent* component, const QString& uid, const std::optional<QDateTime>& created,
                   const std::optional<QDateTime>& modified, const std::optional<QDateTime>& itemTime,
                   const QString& summary, const QString& description, const QStringList& categories)
{
    icalcomponent_add_property(component, icalproperty_new_uid(Utf8(uid).constData()));
    icalcomponent_add_property(component, icalproperty_new_dtstamp(UtcTime(StampOf(modified, created, itemTime))));
    if (created)
        icalcomponent_add_property(component, icalproperty_new_created(UtcTime(*created)));
    if (modified)
        icalcomponent_add_property(component, icalproperty_new_lastmodified(UtcTime(*modified)));
    AddText(component, icalproperty_new_summary, summary);
    AddText(component, icalproperty_new_description, description);
    for (const QString& category : categories)
        AddText(component, icalproperty_new_categories, category);
}

icalcomponent* MakeTodo(const TaskContent& task, const QString& uid)
{
    using Status = TaskContent::Status;
    icalcomponent* todo = icalcomponent_new_vtodo();
    // A recurring task needs a start for its rule: the pattern's first day
    // when the task names none.
    const std::optional<QDate> start =
        task.start ? task.start : task.recurrence ? std::optional<QDate>(task.recurrence->start.date()) : std::nullopt;
    const std::optional<QDateTime> ownTime =
        start || task.due ? StartOfDay(start ? start : task.due) : task.completed;
    AddItemBasics(todo, uid, task.created, task.modified, ownTime, task.subject, task.description, task.categories);
    if (start)
        icalcomponent_add_property(todo, icalproperty_new_dtstart(LocalDate(*start)));
    if (task.recurrence && start)
        icalcomponent_add_property(todo, icalproperty_new_rrule(RuleOf(*task.recurrence, nullptr, true)));
    if (task.due && (!start || *task.due >= *start))
        icalcomponent_add_property(todo, icalproperty_new_due(LocalDate(*task.due)));
    if (task.completed && task.status == Status::Completed)
        icalcomponent_add_property(todo, icalproperty_new_completed(UtcTime(*task.completed)));
    if (task.percentComplete)
        icalcomponent_add_property(todo, icalproperty_new_percentcomplete(*task.percentComplete));
    if (task.status) {
        switch (*task.status) {
        case Status::NotStarted: icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_NEEDSACTION)); break;
        case Status::InProgress: icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_INPROCESS)); break;
        case Status::Completed: icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_COMPLETED)); break;
        case Status::Waiting:
        case Status::Deferred: break;  // no iCalendar status says "waiting"
        }
    }
    if (task.importance && *task.importance != HeaderProperties::Importance::Normal)
        icalcomponent_add_property(
            todo, icalproperty_new_priority(*task.importance == HeaderProperties::Importance::High ? 1 : 9));
    if (task.sensitivity != HeaderProperties::Sensitivity::None)
        icalcomponent_add_property(todo, icalproperty_new_class(ClassOf(task.sensitivity)));
    return todo;
}

icalcomponent* MakeJournal(const NoteContent& note, const QString& uid)
{
    icalcomponent* journal = icalcomponent_new_vjournal();
    // A note has no title of its own: its first line stands for one.
    QString summary = note.subject.trimmed();
    if (summary.isEmpty())
        summary = note.text.section(u'\n', 0, 0).trimmed();
    AddItemBasics(journal, uid, note.created, note.modified, note.journal ? note.start : std::nullopt, summary,
                  note.text, note.categories);
    const std::optional<QDateTime> start = note.journal && note.start ? note.start : note.created;
    if (start)
        icalcomponent_add_property(journal, icalproperty_new_dtstart(UtcTime(*start)));
    if (!note.journalType.isEmpty())
        AddText(journal, icalproperty_new_categories, note.journalType);
    return journal;
}

}  // namespace

QByteArray ComposeCalendar(const CalendarItems& items, CalendarCounts* counts)
{
    ComponentPtr calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Tolvane//Tolvane//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
    switch (items.method) {
    case CalendarItems::Method::Request:
        icalcomponent_add_property(calendar.get(), icalproperty_new_method(ICAL_METHOD_REQUEST));
        break;
    case CalendarItems::Method::Cancel:
        icalcomponent_add_property(calendar.get(), icalproperty_new_method(ICAL_METHOD_CANCEL));
        break;
    case CalendarItems::Method::Reply:
        icalcomponent_add_property(calendar.get(), icalproperty_new_method(ICAL_METHOD_REPLY));
        break;
    case CalendarItems::Method::None:
        break;
    }
    const auto hasPlace = [](const AppointmentContent& event) {
        return (event.start && event.start->isValid()) || event.recurrence;
    };
    // Every UID in the order the components are written: the first of a UID
    // keeps it, and a series' changed occurrences take the UID their own
    // copy of the series got.
    FileUids uids;
    std::map<std::pair<QString, uint32_t>, QString> seriesUids;  // (UID, identifier): the UID written
    std::vector<QString> eventUids;
    for (const AppointmentContent& event : items.events) {
        if (!hasPlace(event) || IsOccurrence(event)) {
            eventUids.emplace_back();
            continue;
        }
        const QString own = EventUid(event);
        eventUids.push_back(uids.Take(own, event.identifier));
        seriesUids.try_emplace({own, event.identifier}, eventUids.back());
    }
    CalendarCounts written;
    CalendarZones zones;
    for (std::size_t index = 0; index < items.events.size(); ++index) {
        const AppointmentContent& event = items.events[index];
        if (!hasPlace(event))
            continue;
        QString uid = eventUids[index];
        if (IsOccurrence(event)) {
            const auto series = seriesUids.find({event.seriesUid, event.seriesIdentifier});
            uid = series != seriesUids.end() ? series->second : event.seriesUid;
        }
        icalcomponent_add_component(calendar.get(), MakeEvent(event, uid, zones, calendar.get()).release());
        ++written.events;
    }
    for (const TaskContent& task : items.tasks) {
        icalcomponent_add_component(calendar.get(),
                                    MakeTodo(task, uids.Take(ItemUid(task.identifier, task.created), task.identifier)));
        ++written.tasks;
    }
    for (const NoteContent& note : items.notes) {
        icalcomponent_add_component(
            calendar.get(), MakeJournal(note, uids.Take(ItemUid(note.identifier, note.created), note.identifier)));
        ++written.notes;
    }
    if (counts != nullptr)
        *counts = written;
    char* text = icalcomponent_as_ical_string_r(calendar.get());
    QByteArray bytes(text != nullptr ? text : "");
    icalmemory_free_buffer(text);
    return bytes;
}

MeetingCalendarText MeetingCalendarOf(const MeetingMessage& meeting)
{
    CalendarItems items;
    MeetingCalendarText calendar;
    switch (meeting.kind) {
    case MeetingMessage::Kind::Request:
        items.method = CalendarItems::Method::Request;
        calendar.method = "REQUEST";
        break;
    case MeetingMessage::Kind::Cancel:
        items.method = CalendarItems::Method::Cancel;
        calendar.method = "CANCEL";
        break;
    case MeetingMessage::Kind::Reply:
        items.method = CalendarItems::Method::Reply;
        calendar.method = "REPLY";
        break;
    }
    items.events.push_back(meeting.event);
    calendar.text = ComposeCalendar(items);
    return calendar;
}

}  // namespace tolvane
