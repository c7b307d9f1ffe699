// Chained setters of the item model; each maps a test's wording onto the properties mail clients store.
#include "pstwriter/MessageContent.h"

#include "pstwriter/CompressedRtf.h"

namespace tolvane::pstwriter {
namespace {

PropertyValue TextValue(uint32_t tag, std::string_view text)
{
    if (TagType(tag) == PtString8)
        return PropertyValue::string8(text);
    if (TagType(tag) == PtBinary)
        return PropertyValue::binary(Bytes(text.begin(), text.end()));
    return PropertyValue::unicode(text);
}

std::string Utf16ToUtf8Lossy(const Bytes& utf16)
{
    // Only used to extend display lists the builder wrote itself; BMP text is enough there.
    std::string out;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const uint32_t c = GetU16(utf16.data() + i);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

Attachment& Attachment::property(uint32_t tag, PropertyValue value)
{
    value.type = TagType(tag);
    properties[TagId(tag)] = std::move(value);
    return *this;
}

Message::Message(std::string_view messageClass)
{
    this->messageClass(messageClass);
    flags(tags::FlagRead);
}

Message& Message::property(uint32_t tag, PropertyValue value)
{
    value.type = TagType(tag);
    properties[TagId(tag)] = std::move(value);
    return *this;
}
Message& Message::property(uint32_t tag, int32_t value)
{
    PropertyValue v = TagType(tag) == PtBoolean ? PropertyValue::boolean(value != 0) : PropertyValue::int32(value);
    if (TagType(tag) == PtShort)
        v = PropertyValue::int16(int16_t(value));
    return property(tag, std::move(v));
}
Message& Message::property(uint32_t tag, int64_t value) { return property(tag, PropertyValue::int64(value)); }
Message& Message::property(uint32_t tag, bool value) { return property(tag, PropertyValue::boolean(value)); }
Message& Message::property(uint32_t tag, FileTime value) { return property(tag, PropertyValue::time(value)); }
Message& Message::property(uint32_t tag, std::string_view text) { return property(tag, TextValue(tag, text)); }
Message& Message::property(uint32_t tag, Bytes value) { return property(tag, PropertyValue::binary(std::move(value))); }
Message& Message::removeProperty(uint16_t id)
{
    properties.erase(id);
    return *this;
}

Message& Message::namedProperty(const Guid& propertySet, uint32_t lid, PropertyValue value)
{
    named[NamedPropertyKey{propertySet, lid, {}}] = std::move(value);
    return *this;
}
Message& Message::namedProperty(const Guid& propertySet, std::string name, PropertyValue value)
{
    named[NamedPropertyKey{propertySet, 0, std::move(name)}] = std::move(value);
    return *this;
}

Message& Message::messageClass(std::string_view value) { return property(tags::MessageClass, value); }
Message& Message::subject(std::string_view value)
{
    property(tags::Subject, value);
    return property(tags::ConversationTopic, value);
}

Message& Message::from(std::string_view name, std::string_view email)
{
    property(tags::SenderName, name);
    property(tags::SenderEmailAddress, email);
    property(tags::SenderAddressType, "SMTP");
    property(tags::SenderSmtpAddress, email);
    property(tags::SentRepresentingName, name);
    property(tags::SentRepresentingEmailAddress, email);
    property(tags::SentRepresentingAddressType, "SMTP");
    return property(tags::SentRepresentingSmtpAddress, email);
}

void Message::AppendDisplay(uint32_t tag, std::string_view name)
{
    std::string text;
    if (auto existing = find(tag))
        text = Utf16ToUtf8Lossy(existing->data) + "; ";
    text += name;
    property(tag, std::string_view(text));
}

Message& Message::recipient(int32_t type, std::string_view name, std::string_view email, std::string_view addressType,
                            std::string_view smtpAddress)
{
    PropertyMap r;
    r[TagId(tags::RecipientType)] = PropertyValue::int32(type);
    r[TagId(tags::DisplayName)] = PropertyValue::unicode(name);
    r[TagId(tags::AddressType)] = PropertyValue::unicode(addressType);
    r[TagId(tags::EmailAddress)] = PropertyValue::unicode(email);
    r[TagId(tags::SmtpAddress)] = PropertyValue::unicode(smtpAddress.empty() ? email : smtpAddress);
    r[TagId(tags::TransmittableDisplayName)] = PropertyValue::unicode(name);
    r[TagId(tags::ObjectType)] = PropertyValue::int32(6);  // mail user
    r[TagId(tags::DisplayType)] = PropertyValue::int32(0);
    r[TagId(tags::Responsibility)] = PropertyValue::boolean(false);
    r[TagId(tags::SendRichInfo)] = PropertyValue::boolean(false);
    recipients.push_back(std::move(r));
    AppendDisplay(type == tags::RecipientCc ? tags::DisplayCc : type == tags::RecipientBcc ? tags::DisplayBcc : tags::DisplayTo,
                  name);
    return *this;
}
Message& Message::recipient(PropertyMap r)
{
    recipients.push_back(std::move(r));
    return *this;
}
Message& Message::recipientProperty(uint32_t tag, PropertyValue value)
{
    if (!recipients.empty())
        recipients.back()[TagId(tag)] = std::move(value);
    return *this;
}
Message& Message::to(std::string_view name, std::string_view email) { return recipient(tags::RecipientTo, name, email); }
Message& Message::cc(std::string_view name, std::string_view email) { return recipient(tags::RecipientCc, name, email); }
Message& Message::bcc(std::string_view name, std::string_view email) { return recipient(tags::RecipientBcc, name, email); }

Message& Message::sent(FileTime time) { return property(tags::ClientSubmitTime, time); }
Message& Message::received(FileTime time) { return property(tags::MessageDeliveryTime, time); }
Message& Message::flags(int32_t value) { return property(tags::MessageFlags, value); }
Message& Message::importance(int32_t value) { return property(tags::Importance, value); }
Message& Message::codepage(int32_t value)
{
    property(tags::MessageCodepage, value);
    return property(tags::InternetCodepage, value);
}
Message& Message::transportHeaders(std::string_view text) { return property(tags::TransportMessageHeaders, text); }
Message& Message::messageId(std::string_view value) { return property(tags::InternetMessageId, value); }

Message& Message::body(std::string_view text) { return property(tags::Body, text); }
Message& Message::htmlBody(std::string_view html)
{
    if (!find(tags::InternetCodepage))
        property(tags::InternetCodepage, int32_t(65001));
    return property(tags::Html, Bytes(html.begin(), html.end()));
}
Message& Message::rtfBody(std::string_view rtf) { return property(tags::RtfCompressed, CompressRtf(rtf)); }
Message& Message::rtfBodyUncompressed(std::string_view rtf)
{
    return property(tags::RtfCompressed, WrapUncompressedRtf(rtf));
}

Message& Message::attach(std::string_view fileName, Bytes data, std::string_view mimeType, std::string_view contentId)
{
    Attachment a;
    a.property(tags::AttachMethod, PropertyValue::int32(tags::AttachByValue));
    a.property(tags::AttachSize, PropertyValue::int32(int32_t(data.size())));
    a.property(tags::AttachLongFilename, PropertyValue::unicode(fileName));
    a.property(tags::AttachFilename, PropertyValue::unicode(fileName));
    a.property(tags::DisplayName, PropertyValue::unicode(fileName));
    const auto dot = fileName.rfind('.');
    if (dot != std::string_view::npos)
        a.property(tags::AttachExtension, PropertyValue::unicode(fileName.substr(dot)));
    if (!mimeType.empty())
        a.property(tags::AttachMimeTag, PropertyValue::unicode(mimeType));
    if (!contentId.empty())
        a.property(tags::AttachContentId, PropertyValue::unicode(contentId));
    a.property(tags::RenderingPosition, PropertyValue::int32(-1));
    a.property(tags::AttachDataBinary, PropertyValue::binary(std::move(data)));
    return attachment(std::move(a));
}

Message& Message::contactPhoto(Bytes image)
{
    attach("ContactPicture.jpg", std::move(image), "image/jpeg");
    attachments.back().property(tags::AttachmentContactPhoto, PropertyValue::boolean(true));
    return namedProperty(propsets::Address, 0x8015, PropertyValue::boolean(true));
}

Message& Message::members(std::vector<ListMember> value)
{
    listMembers = std::move(value);
    return *this;
}

Message& Message::attachReference(std::string_view fileName, std::string_view path)
{
    Attachment a;
    a.property(tags::AttachMethod, PropertyValue::int32(tags::AttachByReference));
    a.property(tags::AttachLongFilename, PropertyValue::unicode(fileName));
    a.property(tags::AttachFilename, PropertyValue::unicode(fileName));
    a.property(tags::DisplayName, PropertyValue::unicode(fileName));
    a.property(tags::AttachLongPathname, PropertyValue::unicode(path));
    a.property(tags::AttachPathname, PropertyValue::unicode(path));
    a.property(tags::AttachSize, PropertyValue::int32(0));
    a.property(tags::RenderingPosition, PropertyValue::int32(-1));
    return attachment(std::move(a));
}

Message& Message::attachment(Attachment a)
{
    attachments.push_back(std::move(a));
    auto currentFlags = find(tags::MessageFlags);
    const int32_t f = currentFlags ? int32_t(GetU32(currentFlags->data.data())) : 0;
    flags(f | tags::FlagHasAttach);
    return property(tags::HasAttachments, true);
}

Message& Message::embed(Message message, std::string_view displayName)
{
    Attachment a;
    a.property(tags::AttachMethod, PropertyValue::int32(tags::AttachEmbeddedMessage));
    std::string name(displayName);
    if (name.empty())
        if (auto s = message.find(tags::Subject))
            name = Utf16ToUtf8Lossy(s->data);
    a.property(tags::DisplayName, PropertyValue::unicode(name));
    a.property(tags::AttachSize, PropertyValue::int32(0));
    a.property(tags::RenderingPosition, PropertyValue::int32(-1));
    a.embedded = std::make_shared<Message>(std::move(message));
    return attachment(std::move(a));
}

Message& Message::addEmbeddedMessage(std::string_view displayName)
{
    embed(Message(), displayName);
    return *attachments.back().embedded;
}

Message& Message::contactNames(std::string_view givenName, std::string_view surname)
{
    property(tags::GivenName, givenName);
    property(tags::Surname, surname);
    std::string display(givenName);
    if (!surname.empty())
        display += (display.empty() ? "" : " ") + std::string(surname);
    property(tags::DisplayName, std::string_view(display));
    return subject(display);
}
Message& Message::fileUnder(std::string_view value)
{
    return namedProperty(propsets::Address, 0x8005, PropertyValue::unicode(value));
}
Message& Message::email1(std::string_view address, std::string_view displayName)
{
    namedProperty(propsets::Address, 0x8083, PropertyValue::unicode(address));
    namedProperty(propsets::Address, 0x8082, PropertyValue::unicode("SMTP"));
    return namedProperty(propsets::Address, 0x8080, PropertyValue::unicode(displayName.empty() ? address : displayName));
}
Message& Message::appointment(FileTime start, FileTime end, std::string_view location)
{
    namedProperty(propsets::Appointment, 0x820D, PropertyValue::time(start));
    namedProperty(propsets::Appointment, 0x820E, PropertyValue::time(end));
    if (!location.empty())
        namedProperty(propsets::Appointment, 0x8208, PropertyValue::unicode(location));
    return *this;
}
Message& Message::recurrencePattern(std::string_view text)
{
    return namedProperty(propsets::Appointment, 0x8232, PropertyValue::unicode(text));
}

std::optional<PropertyValue> Message::find(uint32_t tag) const
{
    auto it = properties.find(TagId(tag));
    if (it == properties.end() || it->second.type != TagType(tag))
        return std::nullopt;
    return it->second;
}

}  // namespace tolvane::pstwriter
