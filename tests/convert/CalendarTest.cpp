// The calendar pass: appointments of a written mailbox become one iCalendar
// file per folder, which libical and Python's icalendar package both read
// back with the values the mailbox held.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "convert/CalendarWriter.h"
#include "scan/ItemStore.h"
#include "scan/ProcessTempDir.h"
#include "tests/support/PstBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <libical/ical.h>

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

class CalendarTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    ConversionSummary Convert(const PstBuilder& pst)
    {
        const QString pstPath = temp_.filePath("mailbox.pst");
        pst.Write(pstPath.toStdString());
        cli::HeadlessScanSink scanSink;
        EXPECT_EQ(cli::RunHeadlessScan(pstPath, store_, tempDir_, scanSink), ScanOutcome::Completed);
        QDir().mkpath(temp_.filePath("out"));
        ConversionDriver driver;
        ConversionRequest request;
        request.pstPath = pstPath;
        request.destinationPath = temp_.filePath("out");
        request.store = &store_;
        request.tempDir = &tempDir_;
        request.sink = &sink_;
        request.clock = [] { return QDateTime(QDate(2011, 3, 5), QTime(9, 7)); };
        EXPECT_EQ(driver.Start(request), ConversionStart::Started);
        return driver.Wait();
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
    EXPECT_EQ(summary.eventsSaved, 4);
    EXPECT_EQ(summary.eventsFailed, 1);
    EXPECT_EQ(summary.calendarFilesSaved, 2);
    EXPECT_TRUE(sink_.notices().value(0).endsWith(
        "Calendars: 4 appointments saved in 2 files. 1 appointments could not be saved."))
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
    EXPECT_EQ(summary.calendarFilesSaved, 0);
    EXPECT_TRUE(FilesBelow(temp_.filePath("out"), ".ics").isEmpty());
    EXPECT_EQ(sink_.notices(), QStringList{"Saving sucessfully completed."});
}

// The real sample's weekly series and its two changed occurrences: each is an
// event, the occurrences titled like their series.
TEST_F(CalendarTest, TheSamplesSeriesAndItsChangedOccurrencesAreWritten)
{
    const QString sample = QStringLiteral(TOLVANE_SAMPLES_DIR "/dist-list.pst");
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "sample mailbox not found: " << qPrintable(sample);
    QFile::copy(sample, temp_.filePath("mailbox.pst"));
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(temp_.filePath("mailbox.pst"), store_, tempDir_, scanSink), ScanOutcome::Completed);
    QDir().mkpath(temp_.filePath("out"));
    ConversionDriver driver;
    ConversionRequest request;
    request.pstPath = temp_.filePath("mailbox.pst");
    request.destinationPath = temp_.filePath("out");
    request.store = &store_;
    request.tempDir = &tempDir_;
    request.sink = &sink_;
    ASSERT_EQ(driver.Start(request), ConversionStart::Started);
    const ConversionSummary summary = driver.Wait();
    EXPECT_EQ(summary.eventsSaved, 3);
    EXPECT_EQ(summary.eventsFailed, 0);
    const QStringList files = FilesBelow(temp_.filePath("out"), ".ics");
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(ReadWithLibical(ReadAll(files.first())).errors, QStringList());
    const QJsonArray events = PythonCalendar(files.first()).value("events").toArray();
    ASSERT_EQ(events.size(), 3);
    QStringList starts;
    for (const QJsonValue& event : events) {
        EXPECT_EQ(event.toObject().value("summary").toString(), "Test appointment");
        starts << event.toObject().value("start").toString();
    }
    starts.sort();
    EXPECT_EQ(starts, (QStringList{"2016-08-02T15:00:00+00:00", "2016-08-23T16:00:00+00:00",
                                   "2016-08-30T17:00:00+00:00"}));
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

}  // namespace
}  // namespace tolvane
