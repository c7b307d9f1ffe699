// Who stands for a person the mailbox names; see AddressResolver.h.
//
// Where the places differ, the difference is kept on purpose, since every
// converted mail depends on it:
// - a sender prefers its e-mail address to its SMTP address unless that
//   address is the directory's or has no "@", and then takes the SMTP
//   address even when it does not read as one; a recipient takes its SMTP
//   address first whenever it reads as one;
// - a sender whose e-mail address is of the directory's type but reads as
//   an SMTP address keeps it; a recipient tries its entry identifiers and
//   its name first, and keeps such an address only as the last resort;
// - a sender reads one entry identifier and keeps its own name; a recipient
//   reads two and takes the identifier's name when the row has none;
// - a reply-to entry is taken with any type but the directory's, and its
//   own name before the listed one; a list member is taken with any type;
// - a contact slot of the directory's type gives way to the name it was
//   chosen as, when that name is an address; any other slot is kept as it is.
#include "convert/read/AddressResolver.h"

#include "convert/read/BodyText.h"
#include "convert/read/EntryIdAddress.h"
#include "scan/PropertyTags.h"

#include <algorithm>
#include <initializer_list>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

bool IsOfType(const QString& addressType, const char* type)
{
    return addressType.compare(QLatin1String(type), Qt::CaseInsensitive) == 0;
}

// An address of the organisation's directory: of its type, or written as
// its path ("/o=...").
bool IsDirectoryAddress(const QString& address, const QString& addressType)
{
    return IsOfType(addressType, "EX") || address.startsWith(QLatin1String("/o="), Qt::CaseInsensitive);
}

// A one-off identifier that holds an SMTP address of SMTP type.
bool CarriesSmtpAddress(const OneOffAddress& oneOff)
{
    return IsOfType(oneOff.addressType, "SMTP") && AddrSpec::Parse(oneOff.address);
}

// The first of the item's entry identifiers `tags` (read in order, only as
// far as needed) that carries an SMTP address.
std::optional<OneOffAddress> SmtpOneOff(libpff_item_t* item, int set, std::initializer_list<uint32_t> tags,
                                        int codePage, ReadFailures* failures)
{
    for (uint32_t tag : tags) {
        const auto entryId = ReadBinary(item, set, tag, NamedLookup::Mapped, failures);
        const auto oneOff = entryId ? ParseOneOffEntryId(*entryId, codePage) : std::nullopt;
        if (oneOff && CarriesSmtpAddress(*oneOff))
            return oneOff;
    }
    return std::nullopt;
}

// A name that is an address itself stands alone, without a name.
std::optional<ResolvedMailbox> NameAsAddress(const QString& name)
{
    if (!AddrSpec::IsPlainDotAtom(name))
        return std::nullopt;
    return ResolvedMailbox{QString(), name, AddressSource::DisplayName};
}

}  // namespace

std::optional<QString> AddressResolver::Text(libpff_item_t* item, int set, uint32_t tag, ReadFailures* failures) const
{
    return ReadString(item, set, tag, codePage_, NamedLookup::Mapped, failures);
}

std::optional<ResolvedMailbox> AddressResolver::Sender(libpff_item_t* message, ReadFailures* failures) const
{
    if (auto sender = SenderFrom(message,
                                 {Tag::SenderName, Tag::SenderAddress, Tag::SenderAddressType,
                                  Tag::SenderSmtpAddress, Tag::SenderEntryId},
                                 failures))
        return sender;
    return SenderFrom(message,
                      {Tag::SentRepresentingName, Tag::SentRepresentingAddress, Tag::SentRepresentingAddressType,
                       Tag::SentRepresentingSmtpAddress, Tag::SentRepresentingEntryId},
                      failures);
}

std::optional<ResolvedMailbox> AddressResolver::SenderFrom(libpff_item_t* message, const SenderTags& tags,
                                                           ReadFailures* failures) const
{
    const auto storedName = Text(message, 0, tags.name, failures);
    const auto storedAddress = Text(message, 0, tags.address, failures);
    const auto smtp = Text(message, 0, tags.smtp, failures);
    if (!storedName && !storedAddress && !smtp)
        return std::nullopt;
    const QString name = storedName.value_or(QString()).trimmed();
    QString address = storedAddress.value_or(QString()).trimmed();
    AddressSource source = AddressSource::EmailAddress;
    // The directory's addresses, and anything without an "@", give way to
    // the SMTP address the message also holds.
    const QString addressType = Text(message, 0, tags.type, failures).value_or(QString());
    if ((IsDirectoryAddress(address, addressType) || !address.contains(u'@')) && smtp && !IsBlank(*smtp)) {
        address = smtp->trimmed();
        source = AddressSource::SmtpProperty;
    }
    if (AddrSpec::Parse(address))
        return ResolvedMailbox{name, address, source};
    // An address typed by hand travels in the entry identifier.
    if (const auto oneOff = SmtpOneOff(message, 0, {tags.entryId}, codePage_, failures))
        return ResolvedMailbox{name, oneOff->address, AddressSource::EntryIdentifier};
    if (auto alone = NameAsAddress(name))
        return alone;
    if (name.isEmpty() && address.isEmpty())
        return std::nullopt;
    return ResolvedMailbox{name, address, AddressSource::None};
}

ResolvedMailbox AddressResolver::Recipient(libpff_item_t* recipients, int set, ReadFailures* failures) const
{
    const QString name = Text(recipients, set, Tag::DisplayName, failures).value_or(QString()).trimmed();
    const QString address = Text(recipients, set, Tag::EmailAddress, failures).value_or(QString()).trimmed();
    const QString addressType = Text(recipients, set, Tag::AddressType, failures).value_or(QString()).trimmed();
    const QString smtp = Text(recipients, set, Tag::RecipientSmtpAddress, failures).value_or(QString()).trimmed();
    if (AddrSpec::Parse(smtp))
        return ResolvedMailbox{name, smtp, AddressSource::SmtpProperty};
    if (!IsDirectoryAddress(address, addressType) && AddrSpec::Parse(address))
        return ResolvedMailbox{name, address, AddressSource::EmailAddress};
    if (const auto oneOff =
            SmtpOneOff(recipients, set, {Tag::RecipientEntryId, Tag::EntryId}, codePage_, failures))
        return ResolvedMailbox{name.isEmpty() ? oneOff->displayName : name, oneOff->address,
                               AddressSource::EntryIdentifier};
    if (auto alone = NameAsAddress(name))
        return *alone;
    return ResolvedMailbox{name, address, AddressSource::None};
}

QVector<ResolvedMailbox> AddressResolver::ReplyTo(libpff_item_t* message, ReadFailures* failures) const
{
    QVector<ResolvedMailbox> replyTo;
    const auto entries = ReadBinary(message, 0, Tag::ReplyRecipientEntries, NamedLookup::Mapped, failures);
    const QStringList names =
        Text(message, 0, Tag::ReplyRecipientNames, failures).value_or(QString()).split(u';', Qt::SkipEmptyParts);
    const QVector<QByteArray> ids = entries ? SplitFlatEntryList(*entries) : QVector<QByteArray>();
    for (qsizetype n = 0; n < std::max(ids.size(), names.size()); ++n) {
        const QString name = n < names.size() ? names.at(n).trimmed() : QString();
        const auto oneOff = n < ids.size() ? ParseOneOffEntryId(ids.at(n), codePage_) : std::nullopt;
        if (oneOff && AddrSpec::Parse(oneOff->address) && !IsOfType(oneOff->addressType, "EX"))
            replyTo.push_back(ResolvedMailbox{oneOff->displayName.isEmpty() ? name : oneOff->displayName,
                                              oneOff->address, AddressSource::EntryIdentifier});
        else if (auto alone = NameAsAddress(name))
            replyTo.push_back(*alone);
    }
    return replyTo;
}

std::optional<ResolvedMailbox> AddressResolver::ReadReceiptTo(libpff_item_t* message, int fileCodePage,
                                                              const std::optional<ResolvedMailbox>& sender,
                                                              ReadFailures* failures) const
{
    if (sender && sender->mailbox().addrSpec())
        return sender;
    const QString address = ReadMessageString(message, Tag::ReadReceiptSmtpAddress, fileCodePage,
                                              NamedLookup::Mapped, failures)
                                .value_or(QString())
                                .trimmed();
    if (!AddrSpec::Parse(address))
        return std::nullopt;
    return ResolvedMailbox{QString(), address, AddressSource::SmtpProperty};
}

ResolvedMailbox AddressResolver::ListMember(const QList<QByteArray>& entryIds) const
{
    for (const QByteArray& entryId : entryIds) {
        const auto oneOff = ParseOneOffEntryId(entryId, codePage_);
        if (!oneOff)
            continue;
        if (AddrSpec::Parse(oneOff->address))
            return ResolvedMailbox{oneOff->displayName, oneOff->address, AddressSource::EntryIdentifier};
        return ResolvedMailbox{oneOff->displayName, QString(), AddressSource::None};
    }
    return ResolvedMailbox();
}

QVector<ResolvedMailbox> AddressResolver::ContactEmails(libpff_item_t* contact) const
{
    const struct {
        uint32_t address, type, originalName;
    } slots[] = {{Tag::Email1Address, Tag::Email1AddressType, Tag::Email1OriginalDisplayName},
                 {Tag::Email2Address, Tag::Email2AddressType, Tag::Email2OriginalDisplayName},
                 {Tag::Email3Address, Tag::Email3AddressType, Tag::Email3OriginalDisplayName}};
    QVector<ResolvedMailbox> emails;
    for (const auto& slot : slots) {
        const auto address = ReadString(contact, 0, slot.address, codePage_);
        if (!address || IsBlank(*address))
            continue;
        const QString kept = address->trimmed();
        // An address of the organisation's directory is no mail address; the
        // one it was chosen as usually is.
        if (IsOfType(ReadString(contact, 0, slot.type, codePage_).value_or(QString()).trimmed(), "EX")) {
            const QString original = ReadString(contact, 0, slot.originalName, codePage_).value_or(QString()).trimmed();
            if (auto alone = NameAsAddress(original))
                emails.push_back(*alone);
            else
                emails.push_back(ResolvedMailbox{QString(), kept, AddressSource::None});
            continue;
        }
        emails.push_back(ResolvedMailbox{QString(), kept,
                                         AddrSpec::Parse(kept) ? AddressSource::EmailAddress
                                                                    : AddressSource::None});
    }
    return emails;
}

}  // namespace tolvane
