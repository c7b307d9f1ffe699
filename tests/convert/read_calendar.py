#!/usr/bin/python3
"""Prints, as JSON, how the icalendar package reads an .ics file: one object
per VEVENT with its text fields (UID and RECURRENCE-ID among them), its times
in ISO form (dates as dates; DTSTAMP too), its
categories, organizer, attendees (address, CN, ROLE, CUTYPE; and address,
PARTSTAT, RSVP as their answers) and alarm
triggers, attachments (value, FMTTYPE, X-FILENAME, VALUE); the VTODOs and
VJOURNALs with theirs (UID and DTSTAMP too)."""
import json
import sys

import icalendar


def text(component, name):
    value = component.get(name)
    return None if value is None else str(value)


def when(component, name):
    value = component.get(name)
    return None if value is None else value.dt.isoformat()


def main(path):
    with open(path, "rb") as handle:
        calendar = icalendar.Calendar.from_ical(handle.read())
    events = []
    for event in calendar.walk("VEVENT"):
        categories = []
        for value in (event.get("CATEGORIES") if isinstance(event.get("CATEGORIES"), list)
                      else [event.get("CATEGORIES")] if event.get("CATEGORIES") is not None else []):
            categories += [str(c) for c in value.cats]
        attendees = event.get("ATTENDEE") or []
        if not isinstance(attendees, list):
            attendees = [attendees]
        organizer = event.get("ORGANIZER")
        attachments = event.get("ATTACH") or []
        if not isinstance(attachments, list):
            attachments = [attachments]
        events.append({
            "uid": text(event, "UID"),
            "summary": text(event, "SUMMARY"),
            "location": text(event, "LOCATION"),
            "description": text(event, "DESCRIPTION"),
            "class": text(event, "CLASS"),
            "transp": text(event, "TRANSP"),
            "status": text(event, "STATUS"),
            "recurrenceId": when(event, "RECURRENCE-ID"),
            "stamp": when(event, "DTSTAMP"),
            "start": when(event, "DTSTART"),
            "end": when(event, "DTEND"),
            "categories": categories,
            "organizer": None if organizer is None else [str(organizer), str(organizer.params.get("CN", ""))],
            "attendees": [[str(a), str(a.params.get("CN", "")), str(a.params.get("ROLE", "")),
                           str(a.params.get("CUTYPE", ""))] for a in attendees],
            "answers": [[str(a), str(a.params.get("PARTSTAT", "")), str(a.params.get("RSVP", ""))]
                        for a in attendees],
            "alarms": [str(alarm.get("TRIGGER").dt) for alarm in event.walk("VALARM")],
            "attachments": [[str(a), str(a.params.get("FMTTYPE", "")), str(a.params.get("X-FILENAME", "")),
                             str(a.params.get("VALUE", ""))] for a in attachments],
        })
    todos = [{"uid": text(todo, "UID"), "stamp": when(todo, "DTSTAMP"),
              "summary": text(todo, "SUMMARY"), "description": text(todo, "DESCRIPTION"),
              "start": when(todo, "DTSTART"), "due": when(todo, "DUE"), "completed": when(todo, "COMPLETED"),
              "percent": text(todo, "PERCENT-COMPLETE"), "status": text(todo, "STATUS"),
              "priority": text(todo, "PRIORITY"),
              "rrule": None if todo.get("RRULE") is None else todo.get("RRULE").to_ical().decode()}
             for todo in calendar.walk("VTODO")]
    journals = [{"uid": text(entry, "UID"), "stamp": when(entry, "DTSTAMP"),
                 "summary": text(entry, "SUMMARY"), "description": text(entry, "DESCRIPTION"),
                 "start": when(entry, "DTSTART")} for entry in calendar.walk("VJOURNAL")]
    json.dump({"version": text(calendar, "VERSION"), "events": events, "todos": todos, "journals": journals},
              sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
