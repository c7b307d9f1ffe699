// Reading a meeting's attendees and their answers; see MeetingAttendees.h.
#include "convert/read/MeetingAttendees.h"

#include "convert/read/AddressResolver.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

namespace tolvane {

namespace {

namespace Tag = PropertyTag;
using Answer = AppointmentContent::Answer;
using Role = AppointmentContent::Role;

// The stored answers (a recipient's tracked status, the owner's response
// status): none, organised, tentative, accepted, declined, not yet answered.
enum StoredAnswer : uint32_t { kNone = 0, kOrganized = 1, kTentative = 2, kAccepted = 3, kDeclined = 4, kNotResponded = 5 };

// The recipient flag of the organizer's own row.
constexpr uint32_t kRecipientIsOrganizer = 0x0002;

std::optional<Answer> AnswerOf(std::optional<uint32_t> stored)
{
    if (!stored)
        return std::nullopt;
    switch (*stored) {
    case kOrganized:
    case kAccepted: return Answer::Accepted;
    case kTentative: return Answer::Tentative;
    case kDeclined: return Answer::Declined;
    case kNone:
    case kNotResponded: return Answer::None;
    default: return std::nullopt;
    }
}

bool SameAddress(const QString& one, const QString& other)
{
    return !one.trimmed().isEmpty() && one.trimmed().compare(other.trimmed(), Qt::CaseInsensitive) == 0;
}

}  // namespace

QVector<AppointmentContent::Attendee> ReadMeetingAttendees(libpff_item_t* item, int codePage)
{
    QVector<AppointmentContent::Attendee> attendees;
    PffItem table;
    const int found = libpff_message_get_recipients(item, table.out(), nullptr);
    int rows = 0;
    if (found != 1 || !table || libpff_item_get_number_of_record_sets(table.get(), &rows, nullptr) != 1)
        return attendees;
    const std::optional<bool> answersAsked = ReadBoolean(item, 0, Tag::ResponseRequested);
    const std::optional<uint32_t> ownAnswer = Read32(item, 0, Tag::ResponseStatus);
    QString receivedBy = ReadString(item, 0, Tag::ReceivedBySmtpAddress, codePage).value_or(QString());
    if (receivedBy.trimmed().isEmpty())
        receivedBy = ReadString(item, 0, Tag::ReceivedByEmailAddress, codePage).value_or(QString());
    const AddressResolver addresses(codePage);
    ReadFailures ignored;
    for (int row = 0; row < rows; ++row) {
        AppointmentContent::Attendee attendee;
        attendee.mailbox = addresses.Recipient(table.get(), row, &ignored).mailbox();
        if (!attendee.mailbox.addrSpec())
            continue;
        const uint32_t type = Read32(table.get(), row, Tag::RecipientType).value_or(1) & 0x0F;
        attendee.role = type == 2 ? Role::Optional : type == 3 ? Role::Resource : Role::Required;
        const std::optional<uint32_t> tracked = Read32(table.get(), row, Tag::RecipientTrackStatus);
        const bool organizer = (Read32(table.get(), row, Tag::RecipientFlags).value_or(0) & kRecipientIsOrganizer) != 0
                               || tracked == kOrganized;
        std::optional<Answer> answer = AnswerOf(tracked);
        if (!answer || *answer == Answer::None) {
            // The owner's answer is the item's own: it belongs to the row
            // the item was received by, or to the organizer's when the owner
            // organised the meeting.
            if (ownAnswer == kOrganized ? organizer : SameAddress(receivedBy, attendee.mailbox.address)) {
                if (const auto own = AnswerOf(ownAnswer))
                    answer = own;
            }
        }
        attendee.answer = answer.value_or(organizer ? Answer::Accepted : Answer::None);
        // The organizer is not asked to answer its own meeting.
        if (answersAsked && !organizer)
            attendee.rsvp = *answersAsked;
        attendees.push_back(std::move(attendee));
    }
    return attendees;
}

}  // namespace tolvane
