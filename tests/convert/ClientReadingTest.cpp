// What the programs users import into make of the cards and calendars a
// conversion writes: vobject and khard read every vCard with its name and
// UID, Python's icalendar and libical read each attendee's answer and role,
// and time zones by their IANA names expand to the instants the mailbox meant.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/convert/ScanAndConvert.h"

#include "convert/ConversionDriver.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/AppointmentBlobs.h"
#include "pstwriter/PstBuilder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <libical/ical.h>

#include <algorithm>
#include <vector>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::ReadAll;
using testing::RecordingConversionSink;

pstwriter::FileTime Utc(int year, int month, int day, int hour, int minute = 0)
{
    return pstwriter::FileTime::fromUnixSeconds(
        QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch());
}

QJsonObject RunPython(const QStringList& arguments)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 " << arguments.join(' ').toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

class ClientReadingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    ConversionSummary Convert(const PstBuilder& pst)
    {
        const QString pstPath = temp_.filePath("mailbox.pst");
        pst.Write(pstPath.toStdString());
        return testing::ScanAndConvert(pstPath, temp_.filePath("out"), store_, tempDir_, sink_);
    }
    QString Out() const { return temp_.filePath("out"); }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    RecordingConversionSink sink_;
};

// ---- vCards ----

TEST_F(ClientReadingTest, EveryCardHasANameAndAUidThatAddressBooksRead)
{
    const struct Case {
        const char* given;
        const char* surname;
        std::vector<std::pair<uint32_t, const char*>> more;
        const char* fn;
        QJsonArray n;  // family, given, additional, prefix, suffix; empty when the card has no N
    } cases[] = {
        {"Given", "Family",
         {{tags::DisplayName, "Dr. Given Middle Family Jr."}, {tags::MiddleName, "Middle"},
          {tags::DisplayNamePrefix, "Dr."}, {tags::Generation, "Jr."}},
         "Dr. Given Middle Family Jr.", {"Family", "Given", "Middle", "Dr.", "Jr."}},
        {"Ada", "Lovelace", {{tags::DisplayName, ""}, {tags::DisplayNamePrefix, "Lady"}, {tags::Generation, "II"}},
         "Lady Ada Lovelace II", {"Lovelace", "Ada", "", "Lady", "II"}},
        {"", "", {{tags::CompanyName, "Acme Tools"}}, "Acme Tools", {}},
        {"", "", {{tags::DisplayName, ""}}, "nobody@example.org", {}},
        {"", "", {}, "Filed, Only", {}},
    };
    PstBuilder pst;
    auto& contacts = pst.topOfPersonalFolders().addFolder("Contacts").containerClass("IPF.Contact");
    std::vector<Message*> members;
    for (const Case& c : cases) {
        Message& contact = contacts.addContact(c.given, c.surname);
        for (const auto& [tag, text] : c.more)
            contact.property(tag, text);
        if (std::string_view(c.fn) == "nobody@example.org")
            contact.email1("nobody@example.org");
        if (std::string_view(c.fn) == "Filed, Only")
            contact.fileUnder("Filed, Only");
        members.push_back(&contact);
    }
    contacts.addMessage("IPM.DistList").subject("Team").members({{members[0]}, {nullptr, "Cy", "cy@example.net"}});
    const ConversionSummary summary = Convert(pst);
    ASSERT_EQ(summary.counts.Written(OutcomeKind::Contact), int(std::size(cases)));
    ASSERT_EQ(summary.counts.Written(OutcomeKind::DistributionList), 1);

    const QJsonObject read = RunPython({QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_vcards.py"),
                                        QStringLiteral("--khard"), Out()});
    const QJsonArray cards = read.value("vobject").toArray();
    ASSERT_EQ(cards.size(), int(std::size(cases)) + 1);
    QHash<QString, QJsonObject> byFn;
    for (const QJsonValue& card : cards)
        byFn.insert(card.toObject().value("fn").toString(), card.toObject());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fn);
        ASSERT_TRUE(byFn.contains(c.fn)) << QJsonDocument(cards).toJson().toStdString();
        const QJsonObject card = byFn.value(c.fn);
        if (!c.n.isEmpty())
            EXPECT_EQ(card.value("n").toArray(), c.n);
        EXPECT_TRUE(card.value("uid").toString().startsWith("urn:uuid:"));
    }
    const QJsonObject team = byFn.value("Team");
    EXPECT_EQ(team.value("kind").toString(), "group");
    EXPECT_TRUE(team.value("uid").toString().startsWith("urn:uuid:")) << QJsonDocument(team).toJson().toStdString();
    EXPECT_EQ(team.value("members").toArray(),
              (QJsonArray{byFn.value(cases[0].fn).value("uid"), QStringLiteral("mailto:cy@example.net")}));
    QStringList uids;
    for (const QJsonValue& card : cards)
        uids << card.toObject().value("uid").toString();
    uids.removeDuplicates();
    EXPECT_EQ(uids.size(), cards.size());

    // The same mailbox again gives every card the same UID.
    QTemporaryDir again;
    ProcessTempDir againTemp;
    ItemStore againStore;
    RecordingConversionSink againSink;
    testing::ScanAndConvert(temp_.filePath("mailbox.pst"), again.filePath("out"), againStore, againTemp, againSink);
    QStringList againUids;
    for (const QJsonValue& card :
         RunPython({QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_vcards.py"), again.filePath("out")})
             .value("vobject")
             .toArray())
        againUids << card.toObject().value("uid").toString();
    QStringList sortedUids = uids;
    sortedUids.sort();
    againUids.sort();
    EXPECT_EQ(againUids, sortedUids);

    if (read.value("khard").isNull())
        GTEST_SKIP() << "khard is not installed (scripts/install-deps.sh installs it); vobject's reading passed";
    const QJsonObject khard = read.value("khard").toObject();
    EXPECT_EQ(khard.value("status").toInt(), 0) << khard.value("stderr").toString().toStdString();
    EXPECT_FALSE(khard.value("stderr").toString().contains("UID")) << khard.value("stderr").toString().toStdString();
    QStringList listed;
    for (const QJsonValue& row : khard.value("cards").toArray())
        listed << row.toArray().at(0).toString();
    listed.sort();
    EXPECT_EQ(listed, sortedUids) << khard.value("stderr").toString().toStdString();
}

// ---- attendees ----

// How Python's icalendar reads the attendees of the only event of `file`:
// address -> its ROLE, CUTYPE, PARTSTAT and RSVP ("" when absent).
struct AttendeeReading {
    QString role, cutype, partstat, rsvp;
};

QHash<QString, AttendeeReading> AttendeesOf(const QString& file)
{
    QHash<QString, AttendeeReading> attendees;
    const QJsonArray events =
        RunPython({QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_calendar.py"), file}).value("events").toArray();
    if (events.size() != 1) {
        ADD_FAILURE() << "expected one event in " << file.toStdString();
        return attendees;
    }
    for (const QJsonValue& row : events[0].toObject().value("attendees").toArray()) {
        const QJsonArray a = row.toArray();
        attendees[a.at(0).toString()].role = a.at(2).toString();
        attendees[a.at(0).toString()].cutype = a.at(3).toString();
    }
    for (const QJsonValue& row : events[0].toObject().value("answers").toArray()) {
        const QJsonArray a = row.toArray();
        attendees[a.at(0).toString()].partstat = a.at(1).toString();
        attendees[a.at(0).toString()].rsvp = a.at(2).toString();
    }
    return attendees;
}

TEST_F(ClientReadingTest, AttendeesCarryTheirAnswersRolesAndWhetherToAnswer)
{
    const struct Case {
        int32_t type;
        const char* address;
        std::optional<int32_t> tracked;
        std::optional<int32_t> flags;
        const char* partstat;
        const char* role;
        const char* cutype;  // "" for an individual
        const char* rsvp;    // "" when no RSVP is written
    } cases[] = {
        {tags::RecipientTo, "olga@example.com", 1, 0x0003, "ACCEPTED", "REQ-PARTICIPANT", "", ""},
        {tags::RecipientTo, "acc@example.com", 3, std::nullopt, "ACCEPTED", "REQ-PARTICIPANT", "", "TRUE"},
        {tags::RecipientCc, "tent@example.com", 2, std::nullopt, "TENTATIVE", "OPT-PARTICIPANT", "", "TRUE"},
        {tags::RecipientTo, "dec@example.com", 4, std::nullopt, "DECLINED", "REQ-PARTICIPANT", "", "TRUE"},
        {tags::RecipientCc, "quiet@example.com", 5, std::nullopt, "NEEDS-ACTION", "OPT-PARTICIPANT", "", "TRUE"},
        {tags::RecipientTo, "new@example.com", std::nullopt, std::nullopt, "NEEDS-ACTION", "REQ-PARTICIPANT", "", "TRUE"},
        {tags::RecipientBcc, "room@example.com", 3, std::nullopt, "ACCEPTED", "NON-PARTICIPANT", "RESOURCE", "TRUE"},
    };
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    Message& meeting = calendar.addAppointment("Review")
                           .appointment(Utc(2026, 3, 9, 13), Utc(2026, 3, 9, 14), "Room 7")
                           .from("Olga", "olga@example.com")
                           .property(tags::ResponseRequested, true);
    for (const Case& c : cases) {
        meeting.recipient(c.type, c.address, c.address);
        if (c.tracked)
            meeting.recipientProperty(tags::RecipientTrackStatus, PropertyValue::int32(*c.tracked));
        if (c.flags)
            meeting.recipientProperty(tags::RecipientFlags, PropertyValue::int32(*c.flags));
    }
    // The owner's copy of a meeting someone else organised: its own answer
    // stands on the item and goes to the row it was received by.
    Message& invited = calendar.addAppointment("Offsite")
                           .appointment(Utc(2026, 3, 10, 9), Utc(2026, 3, 10, 17))
                           .from("Olga", "olga@example.com")
                           .to("Olga", "olga@example.com")
                           .to("Me", "me@example.com")
                           .property(tags::ReceivedBySmtpAddress, "me@example.com")
                           .namedProperty(propsets::Appointment, 0x8218, PropertyValue::int32(2));
    (void)invited;
    const ConversionSummary summary = Convert(pst);
    ASSERT_EQ(summary.counts.Written(OutcomeKind::Appointment), 2);
    const QStringList files = FilesBelow(Out(), ".ics");
    ASSERT_EQ(files.size(), 1);
    // One calendar of two events: split it so each is read on its own.
    const QByteArray text = ReadAll(files[0]);
    icalcomponent* parsed = icalparser_parse_string(text.constData());
    ASSERT_NE(parsed, nullptr);
    QHash<QString, QString> eventFiles;
    for (icalcomponent* event = icalcomponent_get_first_component(parsed, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(parsed, ICAL_VEVENT_COMPONENT)) {
        icalcomponent* single = icalcomponent_new_vcalendar();
        icalcomponent_add_property(single, icalproperty_new_version("2.0"));
        icalcomponent_add_property(single, icalproperty_new_prodid("-//test//test//EN"));
        icalcomponent_add_component(single, icalcomponent_new_clone(event));
        const QString path = temp_.filePath(QString::fromUtf8(icalcomponent_get_summary(event)) + ".ics");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        char* written = icalcomponent_as_ical_string_r(single);
        file.write(written);
        icalmemory_free_buffer(written);
        icalcomponent_free(single);
        eventFiles.insert(QString::fromUtf8(icalcomponent_get_summary(event)), path);
    }
    icalcomponent_free(parsed);

    const QHash<QString, AttendeeReading> review = AttendeesOf(eventFiles.value("Review"));
    ASSERT_EQ(review.size(), int(std::size(cases)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const AttendeeReading attendee = review.value(QStringLiteral("mailto:") + c.address);
        EXPECT_EQ(attendee.partstat, c.partstat);
        EXPECT_EQ(attendee.role, c.role);
        EXPECT_EQ(attendee.cutype, c.cutype);
        EXPECT_EQ(attendee.rsvp, c.rsvp);
    }
    const QHash<QString, AttendeeReading> offsite = AttendeesOf(eventFiles.value("Offsite"));
    EXPECT_EQ(offsite.value("mailto:me@example.com").partstat, "TENTATIVE");
    EXPECT_EQ(offsite.value("mailto:olga@example.com").partstat, "NEEDS-ACTION");
}

// ---- time zones ----

// Each event's DTSTART TZID, the VTIMEZONE's Windows name, and the UTC
// instants libical expands the event's series to.
struct ZoneReading {
    QString tzid;
    QString windowsName;
    std::vector<qint64> starts;
};

ZoneReading ReadZone(const QByteArray& text, const QString& summary, qint64 from, qint64 to)
{
    ZoneReading reading;
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    if (calendar == nullptr)
        return reading;
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        if (QString::fromUtf8(icalcomponent_get_summary(event)) != summary)
            continue;
        icalproperty* start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        icalparameter* tzid = start ? icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER) : nullptr;
        reading.tzid = tzid ? QString::fromUtf8(icalparameter_get_tzid(tzid)) : QString();
        icalcomponent_foreach_recurrence(
            event, icaltime_from_timet_with_zone(from, 0, icaltimezone_get_utc_timezone()),
            icaltime_from_timet_with_zone(to, 0, icaltimezone_get_utc_timezone()),
            [](icalcomponent*, icaltime_span* span, void* data) {
                static_cast<ZoneReading*>(data)->starts.push_back(span->start);
            },
            &reading);
    }
    for (icalcomponent* zone = icalcomponent_get_first_component(calendar, ICAL_VTIMEZONE_COMPONENT); zone;
         zone = icalcomponent_get_next_component(calendar, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* id = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
        if (id == nullptr || QString::fromUtf8(icalproperty_get_tzid(id)) != reading.tzid)
            continue;
        for (icalproperty* x = icalcomponent_get_first_property(zone, ICAL_X_PROPERTY); x;
             x = icalcomponent_get_next_property(zone, ICAL_X_PROPERTY)) {
            if (QString::fromUtf8(icalproperty_get_x_name(x)) == "X-TOLVANE-WINDOWS-ZONE")
                reading.windowsName = QString::fromUtf8(icalproperty_get_x(x));
        }
    }
    icalcomponent_free(calendar);
    std::sort(reading.starts.begin(), reading.starts.end());
    return reading;
}

TEST_F(ClientReadingTest, ZonesAreWrittenByTheirIanaNamesAndExpandAcrossTheChangeOfTime)
{
    const ZoneTransition euStandard{10, 0, 5, 3};
    const ZoneTransition euDaylight{3, 0, 5, 2};
    const ZoneTransition usStandard{11, 0, 1, 2};
    const ZoneTransition usDaylight{3, 0, 2, 2};
    const struct Case {
        const char* summary;
        const char* description;  // the stored display name (or what stands in its place)
        const char16_t* keyName;  // the definition's key name; null when the item keeps none
        int bias;
        ZoneTransition toStandard;
        ZoneTransition toDaylight;
        const char* tzid;
        const char* windowsName;  // kept on the VTIMEZONE; null when the zone keeps its stored form
        int standardHourUtc;      // 09:00 local on a winter day, in UTC
        int daylightHourUtc;      // the same after the change of time
    } cases[] = {
        {"By key name", "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna", u"W. Europe Standard Time", -60,
         euStandard, euDaylight, "Europe/Berlin", "W. Europe Standard Time", 8, 7},
        {"By display name", "(UTC-05:00) Eastern Time (US & Canada)", nullptr, 300, usStandard, usDaylight,
         "America/New_York", "(UTC-05:00) Eastern Time (US & Canada)", 14, 13},
        {"By older display name", "(GMT+01:00) Brussels, Copenhagen, Madrid, Paris", nullptr, -60, euStandard,
         euDaylight, "Europe/Paris", "(GMT+01:00) Brussels, Copenhagen, Madrid, Paris", 8, 7},
        {"Unknown", "Somewhere Custom Time", nullptr, -60, euStandard, euDaylight, "Somewhere Custom Time", nullptr, 8,
         7},
    };
    PstBuilder pst;
    auto& calendar = pst.topOfPersonalFolders().addFolder("Calendar").containerClass("IPF.Appointment");
    for (const Case& c : cases) {
        // Weekly on Mondays at 09:00 local from 2 March 2026, six times: across
        // both the European (29 March) and the American (8 March) change.
        SeriesPattern weekly;
        weekly.dayMask = 1u << 1;
        weekly.endType = 0x2022;
        weekly.occurrences = 6;
        weekly.startDate = BlobMinutes(2026, 3, 2);
        weekly.startMinute = 9 * 60;
        weekly.endMinute = 10 * 60;
        Message& event = calendar.addAppointment(c.summary)
                             .appointment(Utc(2026, 3, 2, c.standardHourUtc), Utc(2026, 3, 2, c.standardHourUtc + 1))
                             .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(weekly)))
                             .namedProperty(propsets::Appointment, 0x8233,
                                            PropertyValue::binary(TimeZoneStruct(c.bias, 0, -60, c.toStandard,
                                                                                 c.toDaylight)))
                             .namedProperty(propsets::Appointment, 0x8234, PropertyValue::unicode(c.description));
        if (c.keyName != nullptr)
            event.namedProperty(propsets::Appointment, 0x8260,
                                PropertyValue::binary(TimeZoneDefinition(c.keyName, c.bias, 0, -60, c.toStandard,
                                                                         c.toDaylight)));
    }
    const ConversionSummary summary = Convert(pst);
    ASSERT_EQ(summary.counts.Written(OutcomeKind::Appointment), int(std::size(cases)));
    const QStringList files = FilesBelow(Out(), ".ics");
    ASSERT_EQ(files.size(), 1);
    const QByteArray text = ReadAll(files[0]);
    const qint64 from = QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const qint64 to = QDateTime(QDate(2026, 5, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const QJsonArray pythonEvents =
        RunPython({QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_calendar.py"), files[0]})
            .value("events")
            .toArray();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        const ZoneReading reading = ReadZone(text, c.summary, from, to);
        EXPECT_EQ(reading.tzid, c.tzid);
        EXPECT_EQ(reading.windowsName, c.windowsName ? QString(c.windowsName) : QString());
        // Mondays 2 March to 6 April at 09:00 local, whichever time is in force.
        const bool american = QString(c.tzid).startsWith("America/");
        std::vector<qint64> expected;
        for (int week = 0; week < 6; ++week) {
            const QDate day = QDate(2026, 3, 2).addDays(7 * week);
            const bool daylight = american ? day >= QDate(2026, 3, 8) : day >= QDate(2026, 3, 29);
            expected.push_back(QDateTime(day, QTime(daylight ? c.daylightHourUtc : c.standardHourUtc, 0), Qt::UTC)
                                   .toSecsSinceEpoch());
        }
        EXPECT_EQ(reading.starts, expected) << text.toStdString();
        // Python's icalendar reads the same first instant in the zone it names.
        bool found = false;
        for (const QJsonValue& event : pythonEvents) {
            if (event.toObject().value("summary").toString() != c.summary)
                continue;
            found = true;
            EXPECT_EQ(QDateTime::fromString(event.toObject().value("start").toString(), Qt::ISODate).toSecsSinceEpoch(),
                      expected.front());
        }
        EXPECT_TRUE(found);
    }
    // The zone kept in its stored form starts its rules on their first onset.
    EXPECT_TRUE(text.contains("DTSTART:19701025T030000")) << text.toStdString();
    EXPECT_TRUE(text.contains("DTSTART:19700329T020000")) << text.toStdString();
}

}  // namespace
}  // namespace tolvane
