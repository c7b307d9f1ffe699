// What one item holds: properties, named properties, recipients and attachments (possibly with an
// embedded message), with chained setters so a test reads as a description of the item it needs.
// Every chained call, adders such as attach() and embed() included, is named like a setter: it only
// records what the item holds, and nothing reaches a file until the mailbox writer takes the item.
#pragma once

#include "pstwriter/PropertyTags.h"
#include "pstwriter/PropertyValue.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::pstwriter {

using NamedPropertyMap = std::map<NamedPropertyKey, PropertyValue>;

class Message;

// A member of a distribution list: a contact of the same mailbox (one added to the mailbox before the
// list), or an address typed by hand (`name`, `address`).
struct ListMember {
    const Message* contact = nullptr;
    std::string name;
    std::string address;
};

struct Attachment {
    PropertyMap properties;
    NamedPropertyMap named;
    std::shared_ptr<Message> embedded;  // set for attach method 5

    Attachment& property(uint32_t tag, PropertyValue value);
};

class Message {
public:
    PropertyMap properties;
    NamedPropertyMap named;
    std::vector<PropertyMap> recipients;
    std::vector<Attachment> attachments;
    std::vector<ListMember> listMembers;

    // A new item carries its class and the "read" flag (0x0E07 = 0x01) and nothing else; the writer
    // adds only the message size (0x0E08) when it is not set.
    explicit Message(std::string_view messageClass = "IPM.Note");

    // Generic setters; the tag's type decides how text is stored (PT_UNICODE as UTF-16,
    // PT_STRING8 as the given bytes).
    Message& property(uint32_t tag, PropertyValue value);
    Message& property(uint32_t tag, int32_t value);
    Message& property(uint32_t tag, int64_t value);
    Message& property(uint32_t tag, bool value);
    Message& property(uint32_t tag, FileTime value);
    Message& property(uint32_t tag, std::string_view text);
    Message& property(uint32_t tag, const char* text) { return property(tag, std::string_view(text)); }
    Message& property(uint32_t tag, Bytes value);
    Message& removeProperty(uint16_t id);
    Message& namedProperty(const Guid& propertySet, uint32_t lid, PropertyValue value);
    Message& namedProperty(const Guid& propertySet, std::string name, PropertyValue value);

    // Envelope
    Message& messageClass(std::string_view value);
    Message& subject(std::string_view value);
    Message& from(std::string_view name, std::string_view email);
    Message& to(std::string_view name, std::string_view email);
    Message& cc(std::string_view name, std::string_view email);
    Message& bcc(std::string_view name, std::string_view email);
    Message& recipient(int32_t type, std::string_view name, std::string_view email,
                       std::string_view addressType = "SMTP", std::string_view smtpAddress = {});
    Message& recipient(PropertyMap properties);
    // A property of the recipient added last (a meeting attendee's answer, its flags).
    Message& recipientProperty(uint32_t tag, PropertyValue value);
    Message& sent(FileTime time);       // client submit time
    Message& received(FileTime time);   // delivery time
    Message& flags(int32_t value);
    Message& importance(int32_t value);
    Message& codepage(int32_t value);   // both the message and the internet code page
    Message& transportHeaders(std::string_view text);
    Message& messageId(std::string_view value);

    // Bodies
    Message& body(std::string_view text);
    Message& htmlBody(std::string_view html);
    Message& rtfBody(std::string_view rtf);              // stored compressed
    Message& rtfBodyUncompressed(std::string_view rtf);  // stored in the uncompressed form

    // Attachments
    Message& attach(std::string_view fileName, Bytes data, std::string_view mimeType = {},
                    std::string_view contentId = {});
    Message& attachReference(std::string_view fileName, std::string_view path);
    Message& attachment(Attachment attachment);
    Message& embed(Message message, std::string_view displayName = {});
    Message& addEmbeddedMessage(std::string_view displayName = {});  // returns the embedded message

    // Contacts and appointments
    Message& contactNames(std::string_view givenName, std::string_view surname);
    Message& fileUnder(std::string_view value);
    Message& email1(std::string_view address, std::string_view displayName = {});
    Message& appointment(FileTime start, FileTime end, std::string_view location = {});
    Message& recurrencePattern(std::string_view text);
    Message& contactPhoto(Bytes image);  // the picture attachment a contact shows
    // A distribution list's members. The two member properties (each member as it is, and as a one-off
    // identifier) are made when the mailbox is written: a contact's entry identifier exists only then.
    Message& members(std::vector<ListMember> value);

    std::optional<PropertyValue> find(uint32_t tag) const;

private:
    void AppendDisplay(uint32_t tag, std::string_view name);
};

}  // namespace tolvane::pstwriter
