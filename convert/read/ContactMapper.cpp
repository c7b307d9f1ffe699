// Reading contacts and distribution lists; see ContactMapper.h.
#include "convert/read/ContactMapper.h"

#include "convert/read/AddressResolver.h"
#include "convert/read/ItemAttachments.h"
#include "convert/read/ItemProperties.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

#include <algorithm>
#include <cstring>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

// The provider that wraps the entry identifiers of a list's members.
constexpr unsigned char kWrappedEntryIdProvider[16] = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11,
                                                      0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};

// A list member's entry identifier comes wrapped: flags, the wrapping
// provider, a type (its low four bits: 0 a one-off address, 3 a contact),
// then the member's own entry identifier.
struct WrappedEntryId {
    int kind = 0;
    QByteArray embedded;
};

std::optional<WrappedEntryId> Unwrap(const QByteArray& entry)
{
    constexpr qsizetype kWrapping = 4 + 16 + 1;
    if (entry.size() <= kWrapping
        || std::memcmp(entry.constData() + 4, kWrappedEntryIdProvider, sizeof kWrappedEntryIdProvider) != 0)
        return std::nullopt;
    return WrappedEntryId{static_cast<unsigned char>(entry.at(20)) & 0x0F, entry.mid(kWrapping)};
}

// The contact a member is, when it is one of the mailbox whose store has
// `storeKey`: its entry identifier is flags, the store's key and the item's
// identifier.
std::optional<uint32_t> ContactOf(const WrappedEntryId& member, const QByteArray& storeKey)
{
    constexpr int kContact = 3;
    constexpr qsizetype kMessageEntryId = 4 + 16 + 4;
    if (member.kind != kContact || member.embedded.size() != kMessageEntryId
        || (!storeKey.isEmpty() && member.embedded.mid(4, 16) != storeKey))
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(member.embedded.constData()) + 20;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8
           | static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Larger than any picture of a person; a card carries its photo inline, so a
// bigger one would cost memory many times its size and make a card no
// address book reads. It is left out and the card counted incomplete.
constexpr size64_t kLargestContactPhoto = 16 * 1024 * 1024;

// A contact's picture: the attachment marked as its photo.
void ReadContactPhoto(libpff_item_t* contact, ContactDetails& details)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(contact, &count, nullptr) != 1)
        return;
    for (int index = 0; index < count; ++index) {
        PffItem attachmentItem;
        if (libpff_message_get_attachment(contact, index, attachmentItem.out(), nullptr) != 1 || !attachmentItem
            || !ReadBoolean(attachmentItem.get(), 0, Tag::AttachmentContactPhoto).value_or(false))
            continue;
        size64_t size = 0;
        if (libpff_attachment_get_data_size(attachmentItem.get(), &size, nullptr) == 1 && size > kLargestContactPhoto) {
            details.photoLeftOut = MissingEntry::Sized(MissingPart::PhotoTooLarge, static_cast<std::int64_t>(size),
                                                       static_cast<std::int64_t>(kLargestContactPhoto));
            return;
        }
        Attachment read;
        QString reason;
        if (!ReadAttachmentData(attachmentItem, nullptr, read, &reason) || read.data.isEmpty()) {
            details.photoLeftOut = MissingEntry(MissingPart::Photo, reason);
            continue;
        }
        details.photoLeftOut.reset();
        const QByteArray& data = read.data;
        if (data.startsWith("\xFF\xD8\xFF"))
            details.photoType = QStringLiteral("image/jpeg");
        else if (data.startsWith("\x89PNG"))
            details.photoType = QStringLiteral("image/png");
        else if (data.startsWith("GIF8"))
            details.photoType = QStringLiteral("image/gif");
        else if (data.startsWith("BM"))
            details.photoType = QStringLiteral("image/bmp");
        details.photo = read.data;
        return;
    }
}

}  // namespace

DistributionListContent ReadDistributionListContent(libpff_item_t* item, uint32_t identifier,
                                                    const QByteArray& storeKey, int fileCodePage)
{
    const int codePage = MessageCodePage(item, fileCodePage);
    DistributionListContent list;
    list.identifier = identifier;
    list.uid = ContactUid(storeKey, identifier);
    list.name = ReadMessageString(item, Tag::DistributionListName, fileCodePage).value_or(QString()).trimmed();
    if (list.name.isEmpty())
        list.name = ReadSubject(item, fileCodePage).value_or(QString()).trimmed();
    list.notes = PlainText(item, fileCodePage);
    const AddressResolver addresses(codePage);
    // Two lists side by side: each member as it is (a contact, a one-off
    // address, ...) and each member as a one-off identifier with its name
    // and address.
    const auto members = ReadProperty(item, 0, Tag::DistributionListMembers);
    const auto oneOffs = ReadProperty(item, 0, Tag::DistributionListOneOffMembers);
    const QList<QByteArray> asTheyAre = members ? SplitMultiValue(members->data) : QList<QByteArray>();
    const QList<QByteArray> asOneOffs = oneOffs ? SplitMultiValue(oneOffs->data) : QList<QByteArray>();
    for (qsizetype index = 0; index < std::max(asTheyAre.size(), asOneOffs.size()); ++index) {
        DistributionListContent::Member member;
        const auto wrapped = index < asTheyAre.size() ? Unwrap(asTheyAre[index]) : std::nullopt;
        if (wrapped)
            member.contactIdentifier = ContactOf(*wrapped, storeKey);
        // Its address from its one-off identifier, else from the one its own
        // identifier wraps when that is one.
        QList<QByteArray> oneOffs;
        if (index < asOneOffs.size())
            oneOffs << asOneOffs[index];
        if (wrapped && wrapped->kind == 0)
            oneOffs << wrapped->embedded;
        member.mailbox = addresses.ListMember(oneOffs).mailbox();
        if (member.contactIdentifier || !member.mailbox.address.isEmpty())
            list.members.push_back(std::move(member));
        else
            list.membersLeftOut << (member.mailbox.name.isEmpty() ? QStringLiteral("member %1").arg(index + 1)
                                                                  : QStringLiteral("\"%1\"").arg(member.mailbox.name));
    }
    return list;
}

ContactDetails ReadContactItemDetails(libpff_item_t* item, uint32_t identifier, const QByteArray& storeKey,
                                      int fileCodePage)
{
    ContactDetails details;
    details.uid = ContactUid(storeKey, identifier);
    const int codePage = MessageCodePage(item, fileCodePage);
    details.displayName = ReadString(item, 0, Tag::DisplayName, codePage).value_or(QString()).trimmed();
    details.namePrefix = ReadString(item, 0, Tag::DisplayNamePrefix, codePage).value_or(QString()).trimmed();
    for (const ResolvedMailbox& email : AddressResolver(codePage).ContactEmails(item))
        details.emails.push_back(email.address);
    const auto preferred = Read32(item, 0, Tag::PostalAddressId).value_or(0);
    auto text = [&](uint32_t tag) { return ReadString(item, 0, tag, codePage).value_or(QString()).trimmed(); };
    auto either = [&](uint32_t tag, uint32_t named) {
        const QString value = text(tag);
        return value.isEmpty() ? text(named) : value;
    };
    const PostalAddress addresses[] = {
        {PostalAddress::Kind::Home, text(Tag::HomeAddressPostOfficeBox), text(Tag::HomeAddressStreet),
         text(Tag::HomeAddressCity), text(Tag::HomeAddressStateOrProvince), text(Tag::HomeAddressPostalCode),
         text(Tag::HomeAddressCountry), preferred == 1},
        {PostalAddress::Kind::Work, either(Tag::BusinessAddressPostOfficeBox, Tag::WorkAddressPostOfficeBox),
         either(Tag::BusinessAddressStreet, Tag::WorkAddressStreet),
         either(Tag::BusinessAddressCity, Tag::WorkAddressCity),
         either(Tag::BusinessAddressStateOrProvince, Tag::WorkAddressState),
         either(Tag::BusinessAddressPostalCode, Tag::WorkAddressPostalCode),
         either(Tag::BusinessAddressCountry, Tag::WorkAddressCountry), preferred == 2},
        {PostalAddress::Kind::Other, text(Tag::OtherAddressPostOfficeBox), text(Tag::OtherAddressStreet),
         text(Tag::OtherAddressCity), text(Tag::OtherAddressStateOrProvince), text(Tag::OtherAddressPostalCode),
         text(Tag::OtherAddressCountry), preferred == 3},
    };
    for (const PostalAddress& address : addresses) {
        if (!(address.postOfficeBox + address.street + address.city + address.region + address.postalCode
              + address.country)
                 .isEmpty())
            details.addresses.push_back(address);
    }
    auto day = [&](uint32_t tag) -> std::optional<QDate> {
        const auto time = TimeOf(item, tag);
        return time ? std::optional<QDate>(DayOfStoredMidnight(*time)) : std::nullopt;
    };
    details.birthday = day(Tag::Birthday);
    details.anniversary = day(Tag::WeddingAnniversary);
    details.categories = Categories(item, codePage);
    ReadContactPhoto(item, details);
    return details;
}

}  // namespace tolvane
