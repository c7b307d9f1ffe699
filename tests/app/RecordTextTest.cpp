// What users and scripts see of a record: the formatter's rules for missing,
// blank and present values, and the contact field table behind the preview
// and `scan --json`.
#include "scan/ContactFields.h"
#include "frontend/RecordText.h"
#include "scan/TimeText.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QSet>

namespace tolvane {
namespace {

FileTime At(int year, int month, int day, int hour, int minute, int second)
{
    return FileTime{DateTimeToFiletime(QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC))};
}

TEST(RecordTextTest, SenderIsUnknownOnlyWhenMissingAndOneSpaceIsNoValue)
{
    struct Case {
        const char* name;
        std::optional<QString> stored;
        QString shown;
        bool shownNull;
    };
    const Case cases[] = {
        {"missing", std::nullopt, QStringLiteral("Unknown"), false},
        {"one space", QStringLiteral(" "), QString(), true},
        {"empty", QString(u""_qs), QString(u""_qs), false},
        {"stored null", QString(), QString(), true},
        {"name", QStringLiteral("Ann Berg"), QStringLiteral("Ann Berg"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailRecord record;
        record.senderName = c.stored;
        record.senderAddress = c.stored;
        EXPECT_EQ(RecordText::SenderName(record), c.shown);
        EXPECT_EQ(RecordText::SenderName(record).isNull(), c.shownNull);
        EXPECT_EQ(RecordText::SenderAddress(record), c.shown);
    }
}

TEST(RecordTextTest, TimesAreUtcTextOrTheKindsOwnWordForNone)
{
    struct Case {
        const char* name;
        std::optional<FileTime> time;
        QString mail;         // the mail's time columns
        QString appointment;  // an appointment's start and end
    };
    const Case cases[] = {
        {"missing", std::nullopt, QStringLiteral("None"), QString(u""_qs)},
        {"ordinary", At(2021, 3, 5, 14, 7, 9), QStringLiteral("Mar 05, 2021 14:07:09"),
         QStringLiteral("Mar 05, 2021 14:07:09")},
        {"first instant", FileTime{0}, QStringLiteral("Jan 01, 1601 00:00:00"), QStringLiteral("Jan 01, 1601 00:00:00")},
        {"beyond year 9999", FileTime{~0ULL}, QStringLiteral("None"), QString(u""_qs)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailRecord mail;
        mail.deliveryTime = mail.creationTime = mail.modificationTime = c.time;
        EXPECT_EQ(RecordText::DeliveryTime(mail), c.mail);
        EXPECT_EQ(RecordText::CreationTime(mail), c.mail);
        EXPECT_EQ(RecordText::ModificationTime(mail), c.mail);
        AppointmentRecord appointment;
        appointment.startTime = appointment.endTime = c.time;
        EXPECT_EQ(RecordText::StartTime(appointment), c.appointment);
        EXPECT_FALSE(RecordText::StartTime(appointment).isNull());
        EXPECT_EQ(RecordText::EndTime(appointment), c.appointment);
    }
}

TEST(RecordTextTest, ListsAreJoinedWithTheirSeparatorAndAppointmentTextsNeverBlank)
{
    MailRecord mail;
    EXPECT_EQ(RecordText::Recipients(mail), QString(u""_qs));
    EXPECT_FALSE(RecordText::Recipients(mail).isNull());
    mail.recipients = {QStringLiteral("Bob"), QStringLiteral(" "), QStringLiteral("Åsa")};
    EXPECT_EQ(RecordText::Recipients(mail), QStringLiteral("Bob ;  ;Åsa ;"));
    mail.attachments = {QStringLiteral("/t/a.pdf"), QStringLiteral("/t/")};
    EXPECT_EQ(RecordText::Attachments(mail), QStringLiteral("/t/a.pdf ;/t/ ;"));

    AppointmentRecord appointment;
    for (const QString& stored : {QString(), QString(u""_qs)}) {
        appointment.location = appointment.recurrencePattern = stored;
        EXPECT_EQ(RecordText::Location(appointment), QStringLiteral(" "));
        EXPECT_EQ(RecordText::RecurrencePattern(appointment), QStringLiteral(" "));
    }
    appointment.location = QStringLiteral("Room 1");
    EXPECT_EQ(RecordText::Location(appointment), QStringLiteral("Room 1"));
    EXPECT_EQ(RecordText::SubjectPlaceholder(appointment), QStringLiteral("None"));
}

TEST(ContactFieldTableTest, EveryTextFieldOnce)
{
    // Every text field of the record between the folder name and the folder
    // key, each named after its member.
    QSet<QString> names;
    ContactRecord probe;
    for (const ContactField& field : ContactFields()) {
        SCOPED_TRACE(field.name);
        EXPECT_FALSE(names.contains(QLatin1String(field.name)));
        names.insert(QLatin1String(field.name));
        // Writing through the member pointer reaches a distinct member.
        probe.*field.member = QLatin1String(field.name);
    }
    EXPECT_EQ(names.size(), 66);
    for (const ContactField& field : ContactFields())
        EXPECT_EQ(probe.*field.member, QLatin1String(field.name));
    EXPECT_TRUE(probe.folderName.isNull());
    EXPECT_TRUE(probe.folderKey.isNull());

}

}  // namespace
}  // namespace tolvane
