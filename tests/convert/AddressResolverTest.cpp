// Who stands for a message's sender and recipients, and where each address
// came from: one mail per case in a written mailbox, found again where the
// scan recorded it and read by the AddressResolver the conversion uses.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "convert/read/AddressResolver.h"
#include "scan/ItemLocator.h"
#include "scan/ItemStore.h"
#include "scan/PffProperties.h"
#include "base/ProcessTempDir.h"
#include "scan/TextDecoding.h"
#include "pstwriter/EntryIds.h"
#include "pstwriter/PstBuilder.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

inline bool operator==(const ResolvedMailbox& a, const ResolvedMailbox& b)
{
    return a.name == b.name && a.address == b.address && a.source == b.source;
}

inline void PrintTo(const ResolvedMailbox& mailbox, std::ostream* out)
{
    *out << '"' << mailbox.name.toStdString() << "\" <" << mailbox.address.toStdString() << "> from source "
         << static_cast<int>(mailbox.source);
}

namespace {

using namespace pstwriter;
using Source = AddressSource;

// The properties one person is stored with; null: not stored at all.
struct PersonCase {
    const char* description;
    const char* name;
    const char* address;
    const char* addressType;
    const char* smtp;
    const char* typedByHand;  // the address a one-off entry identifier carries
    std::optional<ResolvedMailbox> expected;  // nullopt: no one is named
};

// Senders; the last two cases name whom the message was sent for instead.
const std::vector<PersonCase> kSenderCases = {
    {"an SMTP e-mail address goes before the SMTP property", "Ann", "ann@example.com", "SMTP",
     "ann.other@example.com", nullptr, ResolvedMailbox{"Ann", "ann@example.com", Source::EmailAddress}},
    {"a directory address gives way to the SMTP property", "Ben", "/O=ORG/OU=SITE/CN=BEN", "EX", "ben@example.com",
     nullptr, ResolvedMailbox{"Ben", "ben@example.com", Source::SmtpProperty}},
    {"an address typed by hand, the sender's name kept", "Cleo", "/O=ORG/CN=CLEO", "EX", nullptr, "cleo@example.com",
     ResolvedMailbox{"Cleo", "cleo@example.com", Source::EntryIdentifier}},
    {"a name that is an address stands alone", "dan@example.com", "/O=ORG/CN=DAN", "EX", nullptr, nullptr,
     ResolvedMailbox{"", "dan@example.com", Source::DisplayName}},
    {"without a usable address, what the sender has", "Eve", "/O=ORG/CN=EVE", "EX", nullptr, nullptr,
     ResolvedMailbox{"Eve", "/O=ORG/CN=EVE", Source::None}},
    {"without a sender, whom the message was sent for", "Fay", "fay@example.com", "SMTP", nullptr, nullptr,
     ResolvedMailbox{"Fay", "fay@example.com", Source::EmailAddress}},
    {"no one named", nullptr, nullptr, nullptr, nullptr, nullptr, std::nullopt},
};
constexpr size_t kFirstSentForCase = 5;

const std::vector<PersonCase> kRecipientCases = {
    {"the SMTP property goes first", "Gus", "gus@old.example.com", "SMTP", "gus@example.com", nullptr,
     ResolvedMailbox{"Gus", "gus@example.com", Source::SmtpProperty}},
    {"an e-mail address of SMTP type", "Hal", "hal@example.com", "SMTP", nullptr, nullptr,
     ResolvedMailbox{"Hal", "hal@example.com", Source::EmailAddress}},
    {"an address typed by hand, whose name stands in for a missing one", "", "/O=ORG/CN=IVY", "EX", nullptr,
     "ivy@example.com", ResolvedMailbox{"Typed", "ivy@example.com", Source::EntryIdentifier}},
    {"a name that is an address stands alone", "jo@example.com", "/O=ORG/CN=JO", "EX", nullptr, nullptr,
     ResolvedMailbox{"", "jo@example.com", Source::DisplayName}},
    {"a directory address that reads as SMTP is kept only as the last resort", "Kim", "kim@example.com", "EX",
     nullptr, nullptr, ResolvedMailbox{"Kim", "kim@example.com", Source::None}},
};

struct PersonTags {
    uint32_t name, address, addressType, smtp, entryId;
};
constexpr PersonTags kSenderTags = {tags::SenderName, tags::SenderEmailAddress, tags::SenderAddressType,
                                    tags::SenderSmtpAddress, tags::SenderEntryId};
constexpr PersonTags kSentForTags = {tags::SentRepresentingName, tags::SentRepresentingEmailAddress,
                                     tags::SentRepresentingAddressType, tags::SentRepresentingSmtpAddress,
                                     tags::SentRepresentingEntryId};
constexpr PersonTags kRecipientTags = {tags::DisplayName, tags::EmailAddress, tags::AddressType, tags::SmtpAddress,
                                       tags::RecipientEntryId};

// The case's properties under `names`, by tag.
std::vector<std::pair<uint32_t, pstwriter::PropertyValue>> PersonProperties(const PersonCase& c,
                                                                            const PersonTags& names)
{
    std::vector<std::pair<uint32_t, pstwriter::PropertyValue>> properties;
    const std::pair<uint32_t, const char*> texts[] = {
        {names.name, c.name}, {names.address, c.address}, {names.addressType, c.addressType}, {names.smtp, c.smtp}};
    for (const auto& [tag, text] : texts) {
        if (text != nullptr)
            properties.emplace_back(tag, pstwriter::PropertyValue::unicode(text));
    }
    if (c.typedByHand != nullptr)
        properties.emplace_back(names.entryId,
                                pstwriter::PropertyValue::binary(OneOffEntryId("Typed", "SMTP", c.typedByHand)));
    return properties;
}

class AddressResolverTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    // Writes one mail per case (subject `prefix` and its number) with what
    // `store` puts in it, scans the mailbox and opens it for reading.
    void WriteAndScan(const std::vector<PersonCase>& cases, const std::string& prefix,
                      const std::function<void(size_t, Message&)>& store)
    {
        PstBuilder pst;
        auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
        for (size_t n = 0; n < cases.size(); ++n)
            store(n, inbox.addMessage().subject(prefix + std::to_string(n)));
        const QString path = temp_.filePath("mailbox.pst");
        pst.Write(path.toStdString());
        cli::HeadlessScanSink sink;
        ASSERT_EQ(cli::RunHeadlessScan(path, store_, tempDir_, sink), ScanOutcome::Completed);
        ASSERT_TRUE(file_.initialize());
        ASSERT_TRUE(file_.open(path));
    }

    // The mail the scan recorded with `subject`.
    LocatedItem Mail(const QString& subject)
    {
        for (const auto& record : store_.mailRecords()) {
            if (record->subject == subject)
                return LocateItem(file_.get(), record->location);
        }
        return LocatedItem();
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    PffFile file_;
};

TEST_F(AddressResolverTest, TheSenderComesFromTheFirstSourceThatHoldsAnAddress)
{
    const std::vector<PersonCase>& cases = kSenderCases;
    WriteAndScan(cases, "sender ", [&](size_t n, Message& mail) {
        for (auto& [tag, value] : PersonProperties(cases[n], n < kFirstSentForCase ? kSenderTags : kSentForTags))
            mail.property(tag, std::move(value));
    });
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].description);
        const LocatedItem mail = Mail(QStringLiteral("sender %1").arg(n));
        ASSERT_TRUE(mail);
        ReadFailures failures;
        const auto sender = AddressResolver(kDefaultCodePage).Sender(mail.item(), &failures);
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(sender, cases[n].expected);
    }
}

TEST_F(AddressResolverTest, ARecipientComesFromTheFirstSourceThatHoldsAnAddress)
{
    const std::vector<PersonCase>& cases = kRecipientCases;
    WriteAndScan(cases, "recipient ", [&](size_t n, Message& mail) {
        PropertyMap row;
        for (auto& [tag, value] : PersonProperties(cases[n], kRecipientTags))
            row[TagId(tag)] = std::move(value);
        row[TagId(tags::RecipientType)] = pstwriter::PropertyValue::int32(tags::RecipientTo);
        row[TagId(tags::ObjectType)] = pstwriter::PropertyValue::int32(6);
        mail.recipient(row);
    });
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].description);
        const LocatedItem mail = Mail(QStringLiteral("recipient %1").arg(n));
        ASSERT_TRUE(mail);
        PffItem recipients;
        ASSERT_EQ(libpff_message_get_recipients(mail.item(), recipients.out(), nullptr), 1);
        ReadFailures failures;
        const ResolvedMailbox recipient = AddressResolver(kDefaultCodePage).Recipient(recipients.get(), 0, &failures);
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(std::optional<ResolvedMailbox>(recipient), cases[n].expected);
    }
}

}  // namespace
}  // namespace tolvane
