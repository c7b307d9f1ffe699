// The calendar pass: appointments of a written mailbox become one iCalendar
// file per folder, which libical and Python's icalendar package both read
// back with the values the mailbox held.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/convert/ScanAndConvert.h"

#include "app/cli/HeadlessScan.h"
#include "convert/compose/CalendarWriter.h"
#include "convert/ConversionDriver.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/AppointmentBlobs.h"
#include "pstwriter/EntryIds.h"
#include "pstwriter/PstBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <libical/ical.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::ReadAll;
using testing::RecordingConversionSink;

pstwriter::FileTime At(int day, int hour, int minute = 0)
{
    // Days of March 2026, UTC.
    return pstwriter::FileTime::fromUnixSeconds(1772323200LL + (day - 1) * 86400LL + hour * 3600LL + minute * 60LL);
}

// How Python's icalendar package reads the file.
QJsonObject PythonCalendar(const QString& file)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_calendar.py"), file});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// libical's own reading: the number of events, and the problems
// icalrestriction_check finds (as X-LIC-ERROR properties), which must be none.
struct LibicalReading {
    int events = 0;
    QStringList errors;
};

LibicalReading ReadWithLibical(const QByteArray& text)
{
    LibicalReading reading;
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    if (calendar == nullptr) {
        reading.errors << QStringLiteral("not parsed");
        return reading;
    }
    if (icalrestriction_check(calendar) == 0)
        reading.errors << QStringLiteral("restrictions not met");
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        ++reading.events;
        for (icalproperty* error = icalcomponent_get_first_property(event, ICAL_XLICERROR_PROPERTY); error;
             error = icalcomponent_get_next_property(event, ICAL_XLICERROR_PROPERTY))
            reading.errors << QString::fromUtf8(icalproperty_get_xlicerror(error));
    }
    for (icalproperty* error = icalcomponent_get_first_property(calendar, ICAL_XLICERROR_PROPERTY); error;
         error = icalcomponent_get_next_property(calendar, ICAL_XLICERROR_PROPERTY))
        reading.errors << QString::fromUtf8(icalproperty_get_xlicerror(error));
    icalcomponent_free(calendar);
    return reading;
}

// Every occurrence of the series titled `summary` between `begin` and `end`,
// as UTC seconds, expanded by libical's recurrence iterator (deleted
// occurrences left out); the changed occurrences of the series as their
// replaced start and new start.
struct Expansion {
    std::vector<qint64> occurrences;
    std::vector<std::pair<qint64, qint64>> changed;
};

Expansion ExpandWithLibical(const QByteArray& text, const QString& summary,
                            const QDateTime& begin = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC),
                            const QDateTime& end = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC),
                            icalcomponent_kind kind = ICAL_VEVENT_COMPONENT)
{
    Expansion expansion;
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    if (calendar == nullptr)
        return expansion;
    icaltimetype from = icaltime_from_timet_with_zone(begin.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    icaltimetype to = icaltime_from_timet_with_zone(end.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, kind); event;
         event = icalcomponent_get_next_component(calendar, kind)) {
        if (QString::fromUtf8(icalcomponent_get_summary(event)) != summary)
            continue;
        if (icalproperty* replaced = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY)) {
            const icaltimetype was = icalproperty_get_datetime_with_component(replaced, event);
            const icaltimetype now = icalcomponent_get_dtstart(event);
            expansion.changed.emplace_back(icaltime_as_timet_with_zone(was, was.zone),
                                           icaltime_as_timet_with_zone(now, now.zone));
            continue;
        }
        icalcomponent_foreach_recurrence(
            event, from, to,
            [](icalcomponent*, struct icaltime_span* span, void* data) {
                static_cast<Expansion*>(data)->occurrences.push_back(span->start);
            },
            &expansion);
    }
    icalcomponent_free(calendar);
    std::sort(expansion.occurrences.begin(), expansion.occurrences.end());
    return expansion;
}

qint64 Utc(int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
}

class CalendarTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    ConversionSummary Convert(const PstBuilder& pst)
    {
        const QString pstPath = temp_.filePath("mailbox.pst");
        pst.Write(pstPath.toStdString());
        return testing::ScanAndConvert(pstPath, temp_.filePath("out"), store_, tempDir_, sink_);
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    RecordingConversionSink sink_;
};

TEST_F(CalendarTest, AppointmentsBecomeOneCalendarPerFolderThatBothReadersAgreeOn)
{
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    calendar.addAppointment("Planung – Q2")
        .appointment(At(10, 9), At(10, 10, 30), "Raum Ålesund")
        .body("Agenda:\r\n1. Budget\r\n\r\n")
        .property(tags::Sensitivity, int32_t(2))
        .namedProperty(propsets::Appointment, 0x8205, PropertyValue::int32(0))
        .namedProperty(propsets::Common, 0x8503, PropertyValue::boolean(true))
        .namedProperty(propsets::Common, 0x8501, PropertyValue::int32(30))
        .namedProperty(propsets::PublicStrings, "Keywords", PropertyValue::multipleUnicode({"Arbeit", "Projekt"}));
    // All day on 12 March, stored as the bounding midnights of UTC+1.
    calendar.addAppointment("Feiertag")
        .appointment(At(11, 23), At(12, 23))
        .namedProperty(propsets::Appointment, 0x8215, PropertyValue::boolean(true));
    calendar.addAppointment("Review meeting")
        .appointment(At(13, 14), At(13, 15))
        .from("Olga Organiser", "olga@example.com")
        .to("Rita Required", "rita@example.com")
        .cc("Otto Optional", "otto@example.com")
        .bcc("Room 1", "room1@example.com")
        .namedProperty(propsets::Appointment, 0x8205, PropertyValue::int32(1));
    calendar.addAppointment("No start at all");
    pst.topOfPersonalFolders().addFolder("Travel").containerClass("IPF.Appointment")
        .addAppointment("Flight").appointment(At(20, 6), At(20, 8));

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Appointment), 4);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Appointment), 1);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::CalendarFile), 2);
    EXPECT_TRUE(sink_.notices().value(0).endsWith(
        "Calendars: 4 appointments, 0 tasks and 0 notes saved in 2 files. 1 appointments could not be saved."))
        << sink_.notices().value(0).toStdString();

    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    EXPECT_TRUE(files[0].endsWith("/Calendar/Calendar.ics")) << files[0].toStdString();
    EXPECT_TRUE(files[1].endsWith("/Travel/Travel.ics")) << files[1].toStdString();
    for (const QString& file : files) {
        const QByteArray text = ReadAll(file);
        EXPECT_TRUE(text.endsWith("END:VCALENDAR\r\n"));
        const LibicalReading reading = ReadWithLibical(text);
        EXPECT_EQ(reading.errors, QStringList()) << file.toStdString();
        EXPECT_EQ(reading.events, file.endsWith("Calendar.ics") ? 3 : 1);
    }

    const QJsonObject python = PythonCalendar(files[0]);
    ASSERT_FALSE(python.isEmpty()) << "python3-icalendar could not read " << files[0].toStdString();
    EXPECT_EQ(python.value("version").toString(), "2.0");
    const QJsonArray events = python.value("events").toArray();
    ASSERT_EQ(events.size(), 3);
    QHash<QString, QJsonObject> bySummary;
    QSet<QString> uids;
    for (const QJsonValue& event : events) {
        bySummary.insert(event.toObject().value("summary").toString(), event.toObject());
        uids.insert(event.toObject().value("uid").toString());
    }
    EXPECT_EQ(uids.size(), 3);

    const QJsonObject planning = bySummary.value(QString::fromUtf8("Planung – Q2"));
    EXPECT_EQ(planning.value("start").toString(), "2026-03-10T09:00:00+00:00");
    EXPECT_EQ(planning.value("end").toString(), "2026-03-10T10:30:00+00:00");
    EXPECT_EQ(planning.value("location").toString(), QString::fromUtf8("Raum Ålesund"));
    EXPECT_EQ(planning.value("description").toString(), "Agenda:\n1. Budget");
    EXPECT_EQ(planning.value("class").toString(), "PRIVATE");
    EXPECT_EQ(planning.value("transp").toString(), "TRANSPARENT");
    EXPECT_EQ(planning.value("categories").toArray(), (QJsonArray{"Arbeit", "Projekt"}));
    EXPECT_EQ(planning.value("alarms").toArray(), QJsonArray{"-1 day, 23:30:00"});

    const QJsonObject holiday = bySummary.value("Feiertag");
    EXPECT_EQ(holiday.value("start").toString(), "2026-03-12");
    EXPECT_EQ(holiday.value("end").toString(), "2026-03-13");

    const QJsonObject meeting = bySummary.value("Review meeting");
    EXPECT_EQ(meeting.value("status").toString(), "TENTATIVE");
    EXPECT_EQ(meeting.value("transp").toString(), "OPAQUE");
    EXPECT_EQ(meeting.value("organizer").toArray(), (QJsonArray{"mailto:olga@example.com", "Olga Organiser"}));
    EXPECT_EQ(meeting.value("attendees").toArray(),
              (QJsonArray{QJsonArray{"mailto:rita@example.com", "Rita Required", "REQ-PARTICIPANT", ""},
                          QJsonArray{"mailto:otto@example.com", "Otto Optional", "OPT-PARTICIPANT", ""},
                          QJsonArray{"mailto:room1@example.com", "Room 1", "NON-PARTICIPANT", "RESOURCE"}}));
}

// A folder without appointments gets no calendar file, and a conversion
// without any says nothing more than the notice it always gave.
TEST_F(CalendarTest, NoAppointmentsNoCalendarAndTheNoticeAsBefore)
{
    PstBuilder pst;
    pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("mail").body("text");
    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::CalendarFile), 0);
    EXPECT_TRUE(FilesBelow(temp_.filePath("out"), ".ics").isEmpty());
    EXPECT_EQ(sink_.notices(), QStringList{"Saving sucessfully completed."});
}

// The real sample's weekly series, its deleted occurrence and its two changed
// ones: the series recurs in its own zone, the changed ones replace theirs.
TEST_F(CalendarTest, TheSamplesSeriesAndItsChangedOccurrencesAreWritten)
{
    const QString sample = QStringLiteral(TOLVANE_SAMPLES_DIR "/dist-list.pst");
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
    QFile::copy(sample, temp_.filePath("mailbox.pst"));
    const ConversionSummary summary =
        testing::ScanAndConvert(temp_.filePath("mailbox.pst"), temp_.filePath("out"), store_, tempDir_, sink_);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Appointment), 3);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Appointment), 0);
    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(ReadWithLibical(ReadAll(files.first())).errors, QStringList());
    const QJsonArray events = PythonCalendar(files.first()).value("events").toArray();
    ASSERT_EQ(events.size(), 3);
    for (const QJsonValue& event : events)
        EXPECT_EQ(event.toObject().value("summary").toString(), "Test appointment");
    // Tuesdays at 08:00 Pacific time; 9 August deleted, 23 and 30 August
    // moved to 09:00 and 10:00.
    auto utc = [](int month, int day, int hour) {
        return QDateTime(QDate(2016, month, day), QTime(hour, 0), Qt::UTC).toSecsSinceEpoch();
    };
    const Expansion series = ExpandWithLibical(ReadAll(files.first()), "Test appointment",
                                               QDateTime(QDate(2016, 8, 1), QTime(0, 0), Qt::UTC),
                                               QDateTime(QDate(2016, 9, 7), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(series.occurrences,
              (std::vector<qint64>{utc(8, 2, 15), utc(8, 16, 15), utc(8, 23, 15), utc(8, 30, 15), utc(9, 6, 15)}));
    auto changed = series.changed;
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::pair<qint64, qint64>>{{utc(8, 23, 15), utc(8, 23, 16)},
                                                               {utc(8, 30, 15), utc(8, 30, 17)}}));
}

TEST_F(CalendarTest, TheSamplesListNamesItsContactByTheContactsUid)
{
    const QString sample = QStringLiteral(TOLVANE_SAMPLES_DIR "/dist-list.pst");
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
    const ConversionSummary summary = testing::ScanAndConvert(sample, temp_.filePath("out"), store_, tempDir_, sink_);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Contact), 1);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::DistributionList), 1);
    QByteArray contact;
    QByteArray list;
    for (const QString& file : FilesBelow(temp_.filePath("out"), ".vcf"))
        (file.endsWith("/test dist list.vcf") ? list : contact) = ReadAll(file);
    const qsizetype uid = contact.indexOf("\r\nUID:urn:uuid:");
    ASSERT_GE(uid, 0) << contact.toStdString();
    const QByteArray contactUid = contact.mid(uid + 6, 9 + 36);
    EXPECT_TRUE(list.contains("\r\nMEMBER:" + contactUid + "\r\nMEMBER:mailto:dist1@rjohnson.id.au\r\n"
                              "MEMBER:mailto:dist2@rjohnson.id.au\r\n"))
        << list.toStdString();
}

TEST_F(CalendarTest, RecurringSeriesExpandToTheDatesTheyWereWrittenWith)
{
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    // Mondays and Wednesdays at 09:00 in a central European zone, eight
    // times across the change to summer time (29 March); the 25 March one
    // deleted, the 1 April one moved to 11:00.
    SeriesPattern weekly;
    weekly.dayMask = (1u << 1) | (1u << 3);
    weekly.endType = 0x2022;
    weekly.occurrences = 8;
    weekly.deletedDates = {BlobMinutes(2026, 3, 25), BlobMinutes(2026, 4, 1)};
    weekly.modifiedDates = {BlobMinutes(2026, 4, 1)};
    weekly.startDate = BlobMinutes(2026, 3, 16);
    weekly.startMinute = 9 * 60;
    weekly.endMinute = 9 * 60 + 30;
    Message moved("IPM.Appointment");
    moved.appointment(At(32, 9), At(32, 9, 30)).body("moved")
        .namedProperty(propsets::Appointment, 0x8228, PropertyValue::time(At(32, 7)));
    calendar.addAppointment("Standup")
        .appointment(At(16, 8), At(16, 8, 30))
        .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(weekly)))
        .namedProperty(propsets::Appointment, 0x8233,
                       PropertyValue::binary(TimeZoneStruct(-60, 0, -60, {10, 0, 5, 3}, {3, 0, 5, 2})))
        .namedProperty(propsets::Appointment, 0x8234, PropertyValue::unicode("W. Europe Standard Time"))
        .embed(moved, "Standup");
    // The second Tuesday of each month, three times, in no named zone.
    SeriesPattern monthly;
    monthly.frequency = 0x200C;
    monthly.patternType = 0x0003;
    monthly.dayMask = 1u << 2;
    monthly.nth = 2;
    monthly.endType = 0x2022;
    monthly.occurrences = 3;
    monthly.startDate = BlobMinutes(2026, 3, 10);
    monthly.startMinute = 14 * 60;
    monthly.endMinute = 15 * 60;
    calendar.addAppointment("Board")
        .appointment(At(10, 14), At(10, 15))
        .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(monthly)));
    // Every other day until 7 March.
    SeriesPattern daily;
    daily.frequency = 0x200A;
    daily.patternType = 0x0000;
    daily.period = 2 * 24 * 60;
    daily.endType = 0x2021;
    daily.endDate = BlobMinutes(2026, 3, 7);
    daily.startDate = BlobMinutes(2026, 3, 1);
    daily.startMinute = 6 * 60;
    daily.endMinute = 6 * 60 + 15;
    calendar.addAppointment("Every other day")
        .appointment(At(1, 6), At(1, 6, 15))
        .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(daily)));

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Appointment), 4);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Appointment), 0);
    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 1);
    const QByteArray text = ReadAll(files.first());
    EXPECT_EQ(ReadWithLibical(text).errors, QStringList()) << text.toStdString();

    const Expansion standup = ExpandWithLibical(text, "Standup");
    EXPECT_EQ(standup.occurrences, (std::vector<qint64>{Utc(3, 16, 8), Utc(3, 18, 8), Utc(3, 23, 8), Utc(3, 30, 7),
                                                        Utc(4, 1, 7), Utc(4, 6, 7), Utc(4, 8, 7)}))
        << text.toStdString();
    EXPECT_EQ(standup.changed, (std::vector<std::pair<qint64, qint64>>{{Utc(4, 1, 7), Utc(4, 1, 9)}}));
    EXPECT_EQ(ExpandWithLibical(text, "Board").occurrences,
              (std::vector<qint64>{Utc(3, 10, 14), Utc(4, 14, 14), Utc(5, 12, 14)}));
    EXPECT_EQ(ExpandWithLibical(text, "Every other day").occurrences,
              (std::vector<qint64>{Utc(3, 1, 6), Utc(3, 3, 6), Utc(3, 5, 6), Utc(3, 7, 6)}));

    // Python's reader sees the same four events, the moved one tied to its series.
    const QJsonArray events = PythonCalendar(files.first()).value("events").toArray();
    ASSERT_EQ(events.size(), 4);
    QStringList uidsOfStandup;
    for (const QJsonValue& event : events) {
        if (event.toObject().value("summary").toString() == "Standup")
            uidsOfStandup << event.toObject().value("uid").toString();
    }
    ASSERT_EQ(uidsOfStandup.size(), 2);
    EXPECT_EQ(uidsOfStandup[0], uidsOfStandup[1]);
    // The moved occurrence travels as an event, never as an attachment.
    for (const QJsonValue& event : events)
        EXPECT_EQ(event.toObject().value("attachments").toArray(), QJsonArray());
}

// A folder that holds a meeting twice, and a series twice with a changed
// occurrence in each copy (an offline cache keeps such copies): every copy is
// written, each under a UID of its own, and each occurrence under its own
// copy's, so that a calendar program shows all of them.
TEST_F(CalendarTest, CopiesOfAMeetingInOneFolderAreWrittenUnderUidsOfTheirOwn)
{
    const Bytes meetingId = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00, 0x74, 0xC5, 0xB7, 0x10,
                             0x1A, 0x82, 0xE0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x55, 0x66, 0x77, 0x01};
    Bytes seriesId = meetingId;
    seriesId.back() = 0x02;
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    for (int copy = 0; copy < 2; ++copy) {
        calendar.addAppointment("Kickoff")
            .appointment(At(9, 13), At(9, 14))
            .namedProperty(propsets::Meeting, 0x0003, PropertyValue::binary(meetingId));
        SeriesPattern weekly;
        weekly.dayMask = 1u << 1;
        weekly.endType = 0x2022;
        weekly.occurrences = 4;
        weekly.modifiedDates = {BlobMinutes(2026, 3, 23)};
        weekly.deletedDates = {BlobMinutes(2026, 3, 23)};
        weekly.startDate = BlobMinutes(2026, 3, 16);
        weekly.startMinute = 9 * 60;
        weekly.endMinute = 9 * 60 + 30;
        Message moved("IPM.Appointment");
        moved.appointment(At(23, 11), At(23, 11, 30)).body("moved")
            .namedProperty(propsets::Appointment, 0x8228, PropertyValue::time(At(23, 9)));
        calendar.addAppointment("Standup")
            .appointment(At(16, 9), At(16, 9, 30))
            .namedProperty(propsets::Meeting, 0x0003, PropertyValue::binary(seriesId))
            .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(weekly)))
            .embed(moved, "Standup");
    }

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Appointment), 6);
    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 1);
    const QByteArray text = ReadAll(files.first());
    EXPECT_EQ(ReadWithLibical(text).errors, QStringList());
    const QJsonArray events = PythonCalendar(files.first()).value("events").toArray();
    ASSERT_EQ(events.size(), 6) << text.toStdString();
    std::map<QString, QStringList> byUid;  // UID: "summary" of the master, "summary@RECURRENCE-ID" of an occurrence
    std::set<std::pair<QString, QString>> identities;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        const QString recurrenceId = event.value("recurrenceId").toString();
        byUid[event.value("uid").toString()] << event.value("summary").toString()
                                                    + (recurrenceId.isEmpty() ? QString() : "@" + recurrenceId);
        identities.emplace(event.value("uid").toString(), recurrenceId);
        // A series in no named zone starts in UTC, as its occurrences' RECURRENCE-ID
        // names them: a reader then finds the one each replaces.
        if (event.value("summary").toString() == "Standup" && recurrenceId.isEmpty())
            EXPECT_EQ(event.value("start").toString(), "2026-03-16T09:00:00+00:00");
    }
    EXPECT_EQ(identities.size(), 6u) << text.toStdString();
    const QString meetingUid = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(meetingId.data()),
                                                              static_cast<qsizetype>(meetingId.size()))
                                                       .toHex()
                                                       .toUpper());
    const QString seriesUid = meetingUid.chopped(2) + "02";
    QStringList kickoffs;
    QStringList standups;
    for (auto& [uid, what] : byUid) {
        what.sort();
        if (uid.startsWith(meetingUid)) {
            kickoffs << uid;
            EXPECT_EQ(what, QStringList{"Kickoff"});
        } else {
            EXPECT_TRUE(uid.startsWith(seriesUid)) << uid.toStdString();
            standups << uid;
            EXPECT_EQ(what, (QStringList{"Standup", "Standup@2026-03-23T09:00:00+00:00"})) << uid.toStdString();
        }
    }
    ASSERT_EQ(kickoffs.size(), 2);
    ASSERT_EQ(standups.size(), 2);
    EXPECT_EQ(kickoffs[0], meetingUid);
    EXPECT_TRUE(kickoffs[1].contains(QRegularExpression("^" + meetingUid + "-[0-9]+$"))) << kickoffs[1].toStdString();
    EXPECT_EQ(standups[0], seriesUid);
    EXPECT_TRUE(standups[1].contains(QRegularExpression("^" + seriesUid + "-[0-9]+$"))) << standups[1].toStdString();
}

// Small files go inside the calendar, large ones beside it, links as links;
// one that cannot be read leaves the event incomplete, and says so.
TEST_F(CalendarTest, AttachmentsGoInsideTheCalendarOrBesideIt)
{
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    const QByteArray small("agenda \x00\xff bytes", 16);
    QByteArray large(kInlineCalendarAttachmentLimit + 1, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    Message broken("IPM.Appointment");
    calendar.addAppointment("Workshop")
        .appointment(At(5, 9), At(5, 17))
        .attach("Agenda; draft \"2\".txt", Bytes(small.begin(), small.end()), "text/plain")
        .attach("Plan.final.pdf", Bytes(large.begin(), large.end()), "application/pdf")
        .attachReference("Minutes.docx", "\\\\server\\share\\Minutes 1.docx");
    // A file whose data comes out far shorter than the size recorded for it.
    Message second("IPM.Appointment");
    second.attach("lost.bin", Bytes(100, 1));
    second.attachments.back().property(tags::AttachSize, PropertyValue::int32(1000000));
    calendar.addAppointment("Second workshop").appointment(At(6, 9), At(6, 17)).attachment(second.attachments.back());

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Appointment), 2);
    EXPECT_EQ(summary.counts.Incomplete(OutcomeKind::Appointment), 1);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Appointment), 0);
    EXPECT_FALSE(summary.allSaved());
    EXPECT_TRUE(sink_.notices().value(0).endsWith(
        "1 appointments were saved without something that could not be read."))
        << sink_.notices().value(0).toStdString();
    ASSERT_EQ(summary.firstIncomplete.size(), 1);
    EXPECT_TRUE(summary.firstIncomplete[0].contains("lost.bin")) << summary.firstIncomplete[0].toStdString();

    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(ReadWithLibical(ReadAll(files.first())).errors, QStringList());
    const QJsonArray events = PythonCalendar(files.first()).value("events").toArray();
    ASSERT_EQ(events.size(), 2);
    const QJsonObject workshop = events[0].toObject();
    ASSERT_EQ(workshop.value("summary").toString(), "Workshop");
    const QJsonArray attachments = workshop.value("attachments").toArray();
    ASSERT_EQ(attachments.size(), 3) << QJsonDocument(attachments).toJson().toStdString();
    const QJsonArray inlined = attachments[0].toArray();
    EXPECT_EQ(QByteArray::fromBase64(inlined[0].toString().toLatin1()), small);
    EXPECT_EQ(inlined[1].toString(), "text/plain");
    EXPECT_EQ(inlined[2].toString(), "Agenda; draft '2'.txt");
    EXPECT_EQ(inlined[3].toString(), "BINARY");
    const QJsonArray beside = attachments[1].toArray();
    EXPECT_EQ(beside[0].toString(), "Plan.final.pdf");
    EXPECT_EQ(beside[1].toString(), "application/pdf");
    EXPECT_EQ(ReadAll(QFileInfo(files.first()).dir().filePath(beside[0].toString())), large);
    EXPECT_EQ(attachments[2].toArray()[0].toString(), "file:////server/share/Minutes%201.docx");
    EXPECT_EQ(events[1].toObject().value("attachments").toArray(), QJsonArray());
}

TEST_F(CalendarTest, TasksNotesJournalEntriesAndDistributionListsAreWritten)
{
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& tasks = top.addFolder("Tasks").containerClass("IPF.Task");
    tasks.addMessage("IPM.Task")
        .subject("Write the report")
        .body("Chapters 1-3\r\n")
        .importance(2)
        .property(tags::CreationTime, At(1, 8))
        .property(tags::LastModificationTime, At(7, 9, 30))
        .namedProperty(propsets::Task, 0x8104, PropertyValue::time(At(2, 0)))
        .namedProperty(propsets::Task, 0x8105, PropertyValue::time(At(6, 0)))
        .namedProperty(propsets::Task, 0x8101, PropertyValue::int32(1))
        .namedProperty(propsets::Task, 0x8102, PropertyValue::floating(0.5));
    tasks.addMessage("IPM.Task")
        .subject("Book the flight")
        .property(tags::CreationTime, At(1, 8))
        .namedProperty(propsets::Task, 0x8101, PropertyValue::int32(2))
        .namedProperty(propsets::Task, 0x8102, PropertyValue::floating(1.0))
        .namedProperty(propsets::Task, 0x810F, PropertyValue::time(At(5, 12)));
    // Every other week on Monday and Thursday, until 30 April, from 2 March.
    SeriesPattern fortnightly;
    fortnightly.period = 2;
    fortnightly.dayMask = (1u << 1) | (1u << 4);
    fortnightly.endType = 0x2021;
    fortnightly.endDate = BlobMinutes(2026, 4, 30);
    fortnightly.startDate = BlobMinutes(2026, 3, 2);
    tasks.addMessage("IPM.Task")
        .subject("Water the plants")
        .namedProperty(propsets::Task, 0x8126, PropertyValue::boolean(true))
        .namedProperty(propsets::Task, 0x8116, PropertyValue::binary(RecurrencePatternBlob(fortnightly)));
    top.addFolder("Notes").containerClass("IPF.StickyNote").addMessage("IPM.StickyNote")
        .body("Milk\r\nand bread")
        .property(tags::CreationTime, At(3, 8));
    top.addFolder("Journal").containerClass("IPF.Journal").addMessage("IPM.Activity")
        .subject("Call with Anna")
        .body("About the budget")
        .property(tags::LastModificationTime, At(4, 11))
        .namedProperty(propsets::Log, 0x8706, PropertyValue::time(At(4, 10)))
        .namedProperty(propsets::Log, 0x8700, PropertyValue::unicode("Phone call"));
    top.addFolder("Contacts").containerClass("IPF.Contact").addMessage("IPM.DistList")
        .subject("Team")
        .namedProperty(propsets::Address, 0x8053, PropertyValue::unicode("Team – Nord"))
        .namedProperty(propsets::Address, 0x8054,
                       PropertyValue::multipleBinary({OneOffEntryId("Anna", "SMTP", "anna@example.com"),
                                                      OneOffEntryId("Old", "EX", "/O=ORG/CN=OLD"),
                                                      OneOffEntryId("Bo", "SMTP", "bo@example.org", false)}));

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Task), 3);
    EXPECT_EQ(summary.counts.Written(kNoteKinds), 2);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::DistributionList), 1);
    EXPECT_EQ(summary.counts.Failed(kOtherItemKinds), 0);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::CalendarFile), 3);

    auto onlyFile = [&](const QString& folder, const QString& suffix) {
        const QStringList files = FilesBelow(temp_.filePath("out"), suffix).filter("/" + folder + "/");
        EXPECT_EQ(files.size(), 1) << folder.toStdString();
        return files.value(0);
    };
    const QString taskFile = onlyFile("Tasks", ".ics");
    EXPECT_EQ(ReadWithLibical(ReadAll(taskFile)).errors, QStringList());
    const QJsonArray todos = PythonCalendar(taskFile).value("todos").toArray();
    ASSERT_EQ(todos.size(), 3);
    const QJsonObject report = todos[0].toObject();
    EXPECT_EQ(report.value("summary").toString(), "Write the report");
    EXPECT_EQ(report.value("description").toString(), "Chapters 1-3");
    EXPECT_EQ(report.value("start").toString(), "2026-03-02");
    EXPECT_EQ(report.value("due").toString(), "2026-03-06");
    EXPECT_EQ(report.value("status").toString(), "IN-PROCESS");
    EXPECT_EQ(report.value("percent").toString(), "50");
    EXPECT_EQ(report.value("priority").toString(), "1");
    // When each task was last changed, else made, else its first day.
    EXPECT_EQ(report.value("stamp").toString(), "2026-03-07T09:30:00+00:00");
    EXPECT_EQ(todos[1].toObject().value("stamp").toString(), "2026-03-01T08:00:00+00:00");
    EXPECT_EQ(todos[2].toObject().value("stamp").toString(), "2026-03-02T00:00:00+00:00");
    const QJsonObject flight = todos[1].toObject();
    EXPECT_EQ(flight.value("status").toString(), "COMPLETED");
    EXPECT_EQ(flight.value("completed").toString(), "2026-03-05T12:00:00+00:00");
    EXPECT_EQ(flight.value("percent").toString(), "100");
    EXPECT_TRUE(report.value("rrule").isNull());
    const QJsonObject plants = todos[2].toObject();
    EXPECT_EQ(plants.value("start").toString(), "2026-03-02");
    EXPECT_EQ(plants.value("rrule").toString(), "FREQ=WEEKLY;UNTIL=20260430;INTERVAL=2;BYDAY=MO,TH")
        << plants.value("rrule").toString().toStdString();
    auto day = [](int month, int date) {
        return QDateTime(QDate(2026, month, date), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    };
    EXPECT_EQ(ExpandWithLibical(ReadAll(taskFile), "Water the plants", QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC),
                                QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC), ICAL_VTODO_COMPONENT)
                  .occurrences,
              (std::vector<qint64>{day(3, 2), day(3, 5), day(3, 16), day(3, 19), day(3, 30), day(4, 2), day(4, 13),
                                   day(4, 16), day(4, 27), day(4, 30)}));

    const QJsonArray note = PythonCalendar(onlyFile("Notes", ".ics")).value("journals").toArray();
    ASSERT_EQ(note.size(), 1);
    EXPECT_EQ(note[0].toObject().value("summary").toString(), "Milk");
    EXPECT_EQ(note[0].toObject().value("description").toString(), "Milk\nand bread");
    EXPECT_EQ(note[0].toObject().value("start").toString(), "2026-03-03T08:00:00+00:00");
    EXPECT_EQ(note[0].toObject().value("stamp").toString(), "2026-03-03T08:00:00+00:00");
    const QString journalFile = onlyFile("Journal", ".ics");
    EXPECT_EQ(ReadWithLibical(ReadAll(journalFile)).errors, QStringList());
    const QJsonArray journal = PythonCalendar(journalFile).value("journals").toArray();
    ASSERT_EQ(journal.size(), 1);
    EXPECT_EQ(journal[0].toObject().value("summary").toString(), "Call with Anna");
    EXPECT_EQ(journal[0].toObject().value("start").toString(), "2026-03-04T10:00:00+00:00");
    EXPECT_EQ(journal[0].toObject().value("stamp").toString(), "2026-03-04T11:00:00+00:00");

    const QByteArray group = ReadAll(onlyFile("Contacts", ".vcf"));
    const QString groupUid =
        QRegularExpression("\r\nUID:(urn:uuid:[0-9a-f-]{36})\r\n").match(QString::fromUtf8(group)).captured(1);
    EXPECT_FALSE(groupUid.isEmpty()) << group.toStdString();
    EXPECT_EQ(group, QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Team – Nord\r\nUID:")
                         + groupUid.toLatin1() + "\r\nMEMBER:mailto:anna@example.com\r\nMEMBER:mailto:bo@example.org\r\nEND:VCARD\r\n");
}

// Meeting requests, cancellations and responses stay mail, and carry their
// meeting as a text/calendar alternative with the method that says what they do.
// A contact's card carries its UID, every address with its kind and the one
// mail goes to, its picture; a list names the mailbox's contacts by those
// UIDs and everyone else by address.
TEST_F(CalendarTest, ContactsCarryTheirUidAddressesAndPictureAndListsNameThem)
{
    PstBuilder pst;
    auto& contacts = pst.topOfPersonalFolders().addFolder("Contacts").containerClass("IPF.Contact");
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    Message& anna = contacts.addContact("Anna", "Berg")
                        .email1("anna@example.com")
                        .namedProperty(propsets::Address, 0x8093, PropertyValue::unicode("anna@example.org"))
                        .property(tags::BusinessAddressStreet, "Hauptstraße 1")
                        .property(tags::BusinessAddressCity, "München")
                        .property(tags::BusinessAddressPostalCode, "80331")
                        .property(tags::BusinessAddressCountry, "Deutschland")
                        .property(tags::HomeAddressPostOfficeBox, "Postboks 12")
                        .property(tags::HomeAddressCity, "Bergen")
                        .namedProperty(propsets::Address, 0x8022, PropertyValue::int32(2))
                        .contactPhoto(jpeg);
    // Chosen from the organisation's directory: the address it was chosen as.
    Message& bo = contacts.addContact("Bo", "Ek")
                      .namedProperty(propsets::Address, 0x8083, PropertyValue::unicode("/O=ORG/CN=RECIPIENTS/CN=BO"))
                      .namedProperty(propsets::Address, 0x8082, PropertyValue::unicode("EX"))
                      .namedProperty(propsets::Address, 0x8084, PropertyValue::unicode("bo@example.se"));
    contacts.addMessage("IPM.DistList").subject("Team").members({{&anna}, {nullptr, "Cy", "cy@example.net"}, {&bo}});

    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Contact), 2);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::DistributionList), 1);
    QHash<QString, QByteArray> cards;
    for (const QString& file : FilesBelow(temp_.filePath("out"), ".vcf"))
        cards.insert(QFileInfo(file).fileName(), ReadAll(file));
    ASSERT_EQ(cards.size(), 3) << cards.keys().join(' ').toStdString();
    const QByteArray annaCard = cards.value("Anna Berg.vcf");
    const QByteArray boCard = cards.value("Bo Ek.vcf");
    auto uidOf = [](const QByteArray& card) {
        const QRegularExpressionMatch match =
            QRegularExpression("\r\nUID:(urn:uuid:[0-9a-f-]{36})\r\n").match(QString::fromUtf8(card));
        return match.captured(1);
    };
    ASSERT_FALSE(uidOf(annaCard).isEmpty()) << annaCard.toStdString();
    ASSERT_FALSE(uidOf(boCard).isEmpty()) << boCard.toStdString();
    EXPECT_NE(uidOf(annaCard), uidOf(boCard));
    for (const char* line : {"\r\nEMAIL;PREF=1:anna@example.com\r\nEMAIL:anna@example.org\r\n",
                             "\r\nADR;TYPE=home:Postboks 12;;;Bergen;;;\r\n",
                             "\r\nADR;TYPE=work;PREF=1:;;Hauptstraße 1;München;;80331;Deutschland\r\n",
                             "\r\nPHOTO:data:image/jpeg;base64,/9j/4AAQSkZJRg==\r\n"})
        EXPECT_TRUE(annaCard.contains(line)) << line << " in\n" << annaCard.toStdString();
    EXPECT_TRUE(boCard.contains("\r\nEMAIL:bo@example.se\r\n")) << boCard.toStdString();

    const QByteArray group = cards.value("Team.vcf");
    const QString groupUid = QRegularExpression("\r\nUID:(urn:uuid:[0-9a-f-]{36})\r\n").match(QString::fromUtf8(group)).captured(1);
    EXPECT_FALSE(groupUid.isEmpty());
    EXPECT_NE(groupUid, uidOf(annaCard));
    EXPECT_EQ(group, QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Team\r\nUID:") + groupUid.toLatin1()
                         + "\r\nMEMBER:"
                         + uidOf(annaCard).toLatin1() + "\r\nMEMBER:mailto:cy@example.net\r\nMEMBER:"
                         + uidOf(boCard).toLatin1() + "\r\nEND:VCARD\r\n");
}

TEST_F(CalendarTest, MeetingMessagesCarryTheirCalendar)
{
    const Bytes globalId = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00, 0x74, 0xC5, 0xB7, 0x10,
                            0x1A, 0x82, 0xE0, 0x08, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44};
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    const struct {
        const char* messageClass;
        const char* subject;
        bool fromOrganizer;
    } messages[] = {
        {"IPM.Schedule.Meeting.Request", "Kickoff", true},
        {"IPM.Schedule.Meeting.Resp.Pos", "Accepted: Kickoff", false},
        {"IPM.Schedule.Meeting.Canceled", "Canceled: Kickoff", true},
    };
    for (const auto& m : messages) {
        Message& mail = inbox.addMessage(m.messageClass);
        mail.subject(m.subject).body("See you there").appointment(At(9, 13), At(9, 14), "Room 7")
            .namedProperty(propsets::Meeting, 0x0003, PropertyValue::binary(globalId));
        if (m.fromOrganizer)
            mail.from("Olga", "olga@example.com").to("Rita", "rita@example.com");
        else
            mail.from("Rita", "rita@example.com").to("Olga", "olga@example.com");
    }
    const ConversionSummary summary = Convert(pst);
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 3);
    EXPECT_EQ(testing::PythonEmailDefects(temp_.filePath("out")), QString());

    QHash<QString, QByteArray> calendarOf;
    QHash<QString, QString> methodOf;
    for (const QString& file : FilesBelow(temp_.filePath("out"), ".eml")) {
        auto message = testing::ParseWithGMime(ReadAll(file));
        ASSERT_TRUE(message);
        const QString subject = QString::fromUtf8(g_mime_message_get_subject(message.get()));
        for (const auto& part : testing::Parts(message.get())) {
            if (part.contentType != "text/calendar")
                continue;
            // Unfolded, so that a value is found whatever the line length.
            calendarOf.insert(subject, QByteArray(part.content).replace("\r\n ", ""));
        }
        GMimeObject* top = g_mime_message_get_mime_part(message.get());
        EXPECT_TRUE(GMIME_IS_MULTIPART(top)) << subject.toStdString();
        if (GMIME_IS_MULTIPART(top)) {
            const int count = g_mime_multipart_get_count(GMIME_MULTIPART(top));
            GMimeObject* last = g_mime_multipart_get_part(GMIME_MULTIPART(top), count - 1);
            const char* method = g_mime_object_get_content_type_parameter(last, "method");
            methodOf.insert(subject, QString::fromLatin1(method ? method : ""));
        }
    }
    ASSERT_EQ(calendarOf.size(), 3);
    EXPECT_EQ(methodOf.value("Kickoff"), "REQUEST");
    EXPECT_EQ(methodOf.value("Accepted: Kickoff"), "REPLY");
    EXPECT_EQ(methodOf.value("Canceled: Kickoff"), "CANCEL");
    for (auto it = calendarOf.cbegin(); it != calendarOf.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(ReadWithLibical(it.value()).errors, QStringList());
        EXPECT_EQ(ReadWithLibical(it.value()).events, 1);
        EXPECT_TRUE(it.value().contains("METHOD:" + methodOf.value(it.key()).toLatin1()));
        EXPECT_TRUE(it.value().contains("UID:040000008200E00074C5B7101A82E0080000000011223344"));
        EXPECT_TRUE(it.value().contains("DTSTART:20260309T130000Z"));
    }
    const QByteArray reply = calendarOf.value("Accepted: Kickoff");
    EXPECT_TRUE(reply.contains("ORGANIZER;CN=Olga:mailto:olga@example.com")) << reply.toStdString();
    EXPECT_TRUE(reply.contains("SEQUENCE:0"));
    EXPECT_TRUE(reply.contains("PARTSTAT=ACCEPTED")) << reply.toStdString();
    EXPECT_TRUE(reply.contains("mailto:rita@example.com"));
    EXPECT_TRUE(calendarOf.value("Canceled: Kickoff").contains("STATUS:CANCELLED"));
    EXPECT_TRUE(calendarOf.value("Kickoff").contains("ORGANIZER;CN=Olga:mailto:olga@example.com"));
}

TEST(CalendarWriterTest, UidsComeFromTheMeetingsIdentityElseFromTheItem)
{
    AppointmentContent meeting;
    meeting.globalObjectId = QByteArray::fromHex("040000008200e00074c5b7101a82e008");
    AppointmentContent plain;
    plain.identifier = 4711;
    plain.created = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
    AppointmentContent again = plain;
    again.subject = QStringLiteral("changed title");
    EXPECT_EQ(EventUid(meeting), "040000008200E00074C5B7101A82E008");
    EXPECT_EQ(EventUid(plain), "tolvane-4711-1000");
    EXPECT_EQ(EventUid(again), EventUid(plain));
}

// Each component of a calendar text as libical reads it: its kind, its UID,
// its RECURRENCE-ID (empty when none) and its DTSTAMP, in file order.
struct ComponentRead {
    QString kind;
    QString uid;
    QString recurrenceId;
    QString stamp;
    bool operator==(const ComponentRead&) const = default;
};

std::vector<ComponentRead> ComponentsOf(const QByteArray& text)
{
    std::vector<ComponentRead> read;
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    if (calendar == nullptr)
        return read;
    for (icalcomponent* component = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); component;
         component = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(component);
        if (kind == ICAL_VTIMEZONE_COMPONENT)
            continue;
        ComponentRead one;
        one.kind = QString::fromLatin1(icalcomponent_kind_to_string(kind));
        one.uid = QString::fromUtf8(icalcomponent_get_uid(component));
        if (icalproperty* replaced = icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY))
            one.recurrenceId = QString::fromLatin1(icaltime_as_ical_string(icalproperty_get_recurrenceid(replaced)));
        one.stamp = QString::fromLatin1(icaltime_as_ical_string(icalcomponent_get_dtstamp(component)));
        read.push_back(one);
    }
    icalcomponent_free(calendar);
    return read;
}

QDateTime Seconds(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// Copies of one item in one file (a meeting kept twice in a folder, a task
// recovered beside its original) each get a UID of their own, made from the
// item's identity; a series' changed occurrences follow their own copy of
// the series.
TEST(CalendarWriterTest, NoTwoComponentsOfAFileShareAUidUnlessTheyAreOneSeries)
{
    const QByteArray meetingId = QByteArray::fromHex("040000008200e00074c5b7101a82e00800000000aa");
    const QByteArray seriesId = QByteArray::fromHex("040000008200e00074c5b7101a82e00800000000bb");
    const QString meetingUid = QString::fromLatin1(meetingId.toHex().toUpper());
    const QString seriesUid = QString::fromLatin1(seriesId.toHex().toUpper());
    auto event = [](uint32_t identifier, const QByteArray& globalId) {
        AppointmentContent content;
        content.identifier = identifier;
        content.globalObjectId = globalId;
        content.start = Seconds(1772960400);
        content.end = Seconds(1772964000);
        return content;
    };
    auto series = [&](uint32_t identifier) {
        AppointmentContent content = event(identifier, seriesId);
        AppointmentRecurrence weekly;
        weekly.weekdays = {1};
        weekly.end = AppointmentRecurrence::End::AfterCount;
        weekly.count = 4;
        weekly.start = QDateTime(QDate(2026, 3, 9), QTime(9, 0));
        weekly.durationMinutes = 30;
        content.recurrence = weekly;
        return content;
    };
    auto occurrenceOf = [&](uint32_t identifier, uint32_t seriesIdentifier) {
        AppointmentContent content = event(identifier, QByteArray());
        content.seriesUid = seriesUid;
        content.seriesIdentifier = seriesIdentifier;
        content.replacedStart = QDateTime(QDate(2026, 3, 16), QTime(9, 0), Qt::UTC);
        return content;
    };
    auto task = [](uint32_t identifier) {
        TaskContent content;
        content.identifier = identifier;
        content.created = Seconds(1000);
        return content;
    };
    auto note = [](uint32_t identifier) {
        NoteContent content;
        content.identifier = identifier;
        content.created = Seconds(1000);
        return content;
    };
    struct Case {
        const char* what;
        CalendarItems items;
        std::vector<std::pair<QString, QString>> expected;  // UID, RECURRENCE-ID
    };
    const QString replaced = QStringLiteral("20260316T090000Z");
    std::vector<Case> cases;
    cases.push_back({"a meeting twice", {}, {{meetingUid, ""}, {meetingUid + "-8", ""}, {meetingUid + "-9", ""}}});
    cases.back().items.events = {event(7, meetingId), event(8, meetingId), event(9, meetingId)};
    cases.push_back({"a series twice, each with its changed occurrence, the second's before its series", {},
                     {{seriesUid, ""}, {seriesUid, replaced}, {seriesUid + "-21", replaced}, {seriesUid + "-21", ""}}});
    cases.back().items.events = {series(20), occurrenceOf(30, 20), occurrenceOf(31, 21), series(21)};
    cases.push_back({"a task and its recovered copy of the same identifier", {},
                     {{"tolvane-5-1000", ""}, {"tolvane-5-1000-5", ""}}});
    cases.back().items.tasks = {task(5), task(5)};
    cases.push_back({"an event, a task and a note of one identifier and time", {},
                     {{"tolvane-5-1000", ""}, {"tolvane-5-1000-5", ""}, {"tolvane-5-1000-2", ""}}});
    cases.back().items.events = {event(5, QByteArray())};
    cases.back().items.events.back().created = Seconds(1000);
    cases.back().items.tasks = {task(5)};
    cases.back().items.notes = {note(5)};
    cases.push_back({"copies without an identifier", {}, {{"tolvane-0-1000", ""}, {"tolvane-0-1000-2", ""}}});
    cases.back().items.notes = {note(0), note(0)};
    cases.push_back({"items of their own", {}, {{meetingUid, ""}, {"tolvane-6-1000", ""}, {"tolvane-7-1000", ""}}});
    cases.back().items.events = {event(7, meetingId)};
    cases.back().items.tasks = {task(6)};
    cases.back().items.notes = {note(7)};

    for (const Case& test : cases) {
        const QByteArray text = ComposeCalendar(test.items);
        EXPECT_EQ(ReadWithLibical(text).errors, QStringList()) << test.what;
        std::vector<std::pair<QString, QString>> uids;
        for (const ComponentRead& component : ComponentsOf(text))
            uids.emplace_back(component.uid, component.recurrenceId);
        EXPECT_EQ(uids, test.expected) << test.what << "\n" << text.toStdString();
        // The same items give the same UIDs at every conversion.
        EXPECT_EQ(ComposeCalendar(test.items), text) << test.what;
    }
}

// DTSTAMP says when the description of an item was made: the item's last
// change, else its making, else its own first time; never the conversion's
// time. Tasks, notes and journal entries as events.
TEST(CalendarWriterTest, StampsAreTheLastChangeElseTheMakingElseTheItemsOwnTime)
{
    const QDateTime modified = Seconds(1772100000);  // 26 February 2026, 10:00 UTC
    const QDateTime created = Seconds(1771000000);   // 13 February 2026, 16:26:40 UTC
    const QDateTime start = Seconds(1772960400);     // 8 March 2026, 09:00 UTC
    struct Case {
        const char* what;
        std::optional<QDateTime> modified;
        std::optional<QDateTime> created;
        bool ownTime;  // the item has a start (a task its start day, or only its due day)
        const char* event;
        const char* task;
        const char* note;
        const char* journal;
    };
    const Case cases[] = {
        {"changed and made", modified, created, true, "20260226T100000Z", "20260226T100000Z", "20260226T100000Z",
         "20260226T100000Z"},
        {"made only", std::nullopt, created, true, "20260213T162640Z", "20260213T162640Z", "20260213T162640Z",
         "20260213T162640Z"},
        {"neither", std::nullopt, std::nullopt, true, "20260308T090000Z", "20260308T000000Z", "19700101T000000Z",
         "20260308T090000Z"},
        {"nothing at all", std::nullopt, std::nullopt, false, nullptr, "19700101T000000Z", "19700101T000000Z",
         "19700101T000000Z"},
    };
    for (const Case& test : cases) {
        CalendarItems items;
        if (test.event != nullptr) {
            AppointmentContent event;
            event.identifier = 1;
            event.modified = test.modified;
            event.created = test.created;
            event.start = start;
            items.events.push_back(event);
        }
        TaskContent task;
        task.identifier = 2;
        task.modified = test.modified;
        task.created = test.created;
        if (test.ownTime)
            task.due = start.date();
        items.tasks.push_back(task);
        for (const bool journal : {false, true}) {
            NoteContent note;
            note.identifier = journal ? 4 : 3;
            note.journal = journal;
            note.modified = test.modified;
            note.created = test.created;
            if (test.ownTime)
                note.start = start;  // a note has no start of its own: only the journal entry's counts
            items.notes.push_back(note);
        }
        std::vector<QString> expected;
        for (const char* stamp : {test.event, test.task, test.note, test.journal}) {
            if (stamp != nullptr)
                expected.push_back(QString::fromLatin1(stamp));
        }
        std::vector<QString> stamps;
        const QByteArray text = ComposeCalendar(items);
        for (const ComponentRead& component : ComponentsOf(text))
            stamps.push_back(component.stamp);
        EXPECT_EQ(stamps, expected) << test.what << "\n" << text.toStdString();
    }
    // A task with no day of its own but the time it was done.
    CalendarItems done;
    done.tasks.emplace_back();
    done.tasks.back().completed = start;
    done.tasks.back().status = TaskContent::Status::Completed;
    const std::vector<ComponentRead> read = ComponentsOf(ComposeCalendar(done));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].stamp, "20260308T090000Z");
}

}  // namespace
}  // namespace tolvane
