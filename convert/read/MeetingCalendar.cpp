// Composing the calendar a scheduling message carries; see MeetingCalendar.h.
#include "convert/read/MeetingCalendar.h"

#include "model/CalendarContent.h"
#include "convert/read/AddressResolver.h"
#include "convert/read/CalendarMapper.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

namespace tolvane {

void AddMeetingCalendar(libpff_item_t* message, int fileCodePage, MessageContent& content)
{
    const QString messageClass =
        ReadMessageString(message, PropertyTag::MessageClass, fileCodePage).value_or(QString()).trimmed();
    static const QLatin1String prefix("IPM.Schedule.Meeting.");
    if (!messageClass.startsWith(prefix, Qt::CaseInsensitive))
        return;
    const QString kind = messageClass.mid(prefix.size());
    MeetingMessage::Kind meetingKind = MeetingMessage::Kind::Request;
    uint32_t identifier = 0;
    libpff_item_get_identifier(message, &identifier, nullptr);
    AppointmentContent meeting = ReadAppointmentContent(message, identifier, fileCodePage);
    if (kind.startsWith(QLatin1String("Request"), Qt::CaseInsensitive)) {
        meetingKind = MeetingMessage::Kind::Request;
    } else if (kind.startsWith(QLatin1String("Canceled"), Qt::CaseInsensitive)) {
        meetingKind = MeetingMessage::Kind::Cancel;
        meeting.cancelled = true;
    } else if (kind.startsWith(QLatin1String("Resp."), Qt::CaseInsensitive)) {
        meetingKind = MeetingMessage::Kind::Reply;
        // The sender answers the organizer, whom the response goes to.
        using Answer = AppointmentContent::Answer;
        const QString answer = kind.mid(5);
        const Answer given = answer.startsWith(QLatin1String("Pos"), Qt::CaseInsensitive)   ? Answer::Accepted
                             : answer.startsWith(QLatin1String("Neg"), Qt::CaseInsensitive) ? Answer::Declined
                                                                                             : Answer::Tentative;
        const std::optional<Mailbox> organizer =
            meeting.attendees.isEmpty() ? std::nullopt : std::optional<Mailbox>(meeting.attendees.front().mailbox);
        meeting.attendees.clear();
        if (content.from && content.from->addrSpec())
            meeting.attendees.push_back({*content.from, AppointmentContent::Role::Required, given});
        meeting.organizer = organizer;
    } else {
        return;
    }
    if (!meeting.start && !meeting.recurrence)
        return;
    // A scheduling message names the revision it speaks of.
    if (!meeting.sequence)
        meeting.sequence = 0;
    content.meeting = std::make_shared<const MeetingMessage>(MeetingMessage{meetingKind, std::move(meeting)});
}

}  // namespace tolvane
