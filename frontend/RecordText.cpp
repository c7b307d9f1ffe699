// Display texts of record values.
#include "frontend/RecordText.h"

#include "scan/ScanTexts.h"
#include "scan/TimeText.h"

namespace tolvane {

QString FlagWord(std::optional<uint32_t> flags)
{
    if (!flags)
        return QStringLiteral(" ");
    struct FlagName {
        uint32_t bit;
        const char* word;
    };
    static constexpr FlagName kWords[] = {
        {0x002, "Unmodified"}, {0x004, "Submit"}, {0x008, "Unsent"},      {0x010, "Attachments"},
        {0x020, "From me"},    {0x040, "Associated"}, {0x080, "Resend"},  {0x100, "RN pending"},
        {0x200, "NRN pending"},
    };
    const char* word = (*flags & 0x01) ? "Read" : "Unread";
    for (const FlagName& entry : kWords) {
        if (*flags & entry.bit)
            word = entry.word;
    }
    return QString::fromLatin1(word);
}

QString PriorityWord(std::optional<int32_t> priority)
{
    if (priority) {
        switch (*priority) {
        case -1: return QStringLiteral("Non Urgent");
        case 0: return QStringLiteral("Normal");
        case 1: return QStringLiteral("Urgent");
        default: break;
        }
    }
    return QStringLiteral("None");
}

QString ImportanceWord(std::optional<int32_t> importance)
{
    if (importance) {
        switch (*importance) {
        case 0: return QStringLiteral("Low");
        case 1: return QStringLiteral("Normal");
        case 2: return QStringLiteral("High");
        default: break;
        }
    }
    return QStringLiteral(" ");
}

QString SensitivityWord(std::optional<int32_t> sensitivity)
{
    if (sensitivity) {
        switch (*sensitivity) {
        case 1: return QStringLiteral("Personal");
        case 2: return QStringLiteral("Private");
        case 3: return QStringLiteral("Confidential");
        default: break;
        }
    }
    return QStringLiteral("None");
}

QString SizeText(std::optional<int32_t> size)
{
    if (!size)
        return QStringLiteral(" ");
    return QString::number(*size) + QStringLiteral("  Bytes");
}

std::optional<QString> TimeText(std::optional<FileTime> time)
{
    if (!time)
        return std::nullopt;
    return FiletimeToTimeText(time->ticks);
}

namespace RecordText {

namespace {

QString TextOrUnknown(const std::optional<QString>& stored)
{
    return stored ? NullIfSpace(*stored) : QStringLiteral("Unknown");
}

QString Joined(const QStringList& parts)
{
    QString text(u""_qs);
    for (const QString& part : parts)
        text += part + QStringLiteral(" ;");
    return text;
}

QString TimeOrNone(std::optional<FileTime> time)
{
    return TimeText(time).value_or(QStringLiteral("None"));
}

QString TimeOrEmpty(std::optional<FileTime> time)
{
    return TimeText(time).value_or(QString(u""_qs));
}

QString TextOrSpace(const QString& stored)
{
    return stored.isEmpty() ? QStringLiteral(" ") : stored;
}

}  // namespace

QString SenderName(const MailRecord& record) { return TextOrUnknown(record.senderName); }
QString SenderAddress(const MailRecord& record) { return TextOrUnknown(record.senderAddress); }
QString Recipients(const MailRecord& record) { return Joined(record.recipients); }
QString DeliveryTime(const MailRecord& record) { return TimeOrNone(record.deliveryTime); }
QString CreationTime(const MailRecord& record) { return TimeOrNone(record.creationTime); }
QString ModificationTime(const MailRecord& record) { return TimeOrNone(record.modificationTime); }
QString Size(const MailRecord& record) { return SizeText(record.size); }
QString Flag(const MailRecord& record) { return FlagWord(record.flag); }
QString Priority(const MailRecord& record) { return PriorityWord(record.priority); }
QString Sensitivity(const MailRecord& record) { return SensitivityWord(record.sensitivity); }
QString Importance(const MailRecord& record) { return ImportanceWord(record.importance); }
QString Attachments(const MailRecord& record) { return Joined(record.attachments); }

QString StartTime(const AppointmentRecord& record) { return TimeOrEmpty(record.startTime); }
QString EndTime(const AppointmentRecord& record) { return TimeOrEmpty(record.endTime); }
QString Location(const AppointmentRecord& record) { return TextOrSpace(record.location); }
QString RecurrencePattern(const AppointmentRecord& record) { return TextOrSpace(record.recurrencePattern); }
QString SubjectPlaceholder(const AppointmentRecord&) { return QStringLiteral("None"); }

}  // namespace RecordText

}  // namespace tolvane
