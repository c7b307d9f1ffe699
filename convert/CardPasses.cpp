// The vCard passes: one card per contact record, and one group card per
// distribution list beside the contacts, its members named by their cards'
// UIDs where this run writes them.
#include "convert/MessageWriter.h"

#include "convert/ConversionRun.h"
#include "convert/WriterPass.h"
#include "convert/compose/VCardWriter.h"
#include "convert/output/FileSinks.h"
#include "convert/read/MailboxReader.h"
#include "scan/ContactFields.h"

#include <algorithm>
#include <memory>
#include <set>

namespace tolvane {

namespace {

bool HasContactFields(const ContactRecord& contact)
{
    const auto fields = ContactFields();
    return std::any_of(fields.begin(), fields.end(),
                       [&](const ContactField& field) { return !(contact.*field.member).isEmpty(); });
}

}  // namespace

bool WriteContactItems(const RecordList<ContactRecord>& contacts, ConversionRun& run)
{
    ItemOutcomes outcomes = run.outcomes();
    const std::unique_ptr<FileSink> cards = MakeFileSink(FileFormat::VCard, run.output());
    for (const auto& record : contacts) {
        if (!run.Checkpoint(record->folderKey))
            return false;
        // A contact whose item cannot be read again still gets its card,
        // from its record, and is counted as incomplete: the card lacks what
        // only the item holds. Lists still find it by its UID.
        const ContactRecord* contact = record.get();
        ContactItem read;
        ContactDetails& details = read.details;
        ItemOutcome outcome;
        outcome.kind = OutcomeKind::Contact;
        if (run.reader() != nullptr) {
            ItemRead<ContactItem> item = run.reader()->ReadContact(*record);
            if (item) {
                read = std::move(*item);
                contact = &read.fields;
            } else {
                // A walk that kept only where the contact is left the record
                // without fields: the card then lacks everything.
                outcome.missing.Add(MissingEntry(HasContactFields(*record) ? MissingPart::ContactDetails
                                                                            : MissingPart::ContactFields,
                                                 item.error().reason));
                details.uid = ContactUid(run.reader()->storeKey(), contact->location.itemIdentifier);
            }
        }
        const QString nameText = ContactNameText(*contact);
        const SaveResult result =
            cards->Save(FileToSave{contact->folderKey, nameText, ComposeVCard(*contact, details), QString()});
        if (details.photoLeftOut)
            outcome.missing.Add(*details.photoLeftOut);
        outcome.entry = outcomes.EntryFor(contact->folderKey, contact->location.itemIdentifier, nameText,
                                          contact->location.source);
        outcome.label = nameText + QLatin1String(".vcf");
        outcomes.Record(std::move(outcome), result);
    }
    return true;
}

bool WriteDistributionLists(const RecordList<OtherItemEntry>& others, const RecordList<ContactRecord>& contacts,
                            ConversionRun& run)
{
    // The contacts a member can name by UID: those whose vCard this run writes.
    std::set<uint32_t> contactIdentifiers;
    for (const auto& contact : contacts) {
        if (!contact->location.isEmbedded())
            contactIdentifiers.insert(contact->location.itemIdentifier);
    }
    ItemOutcomes outcomes = run.outcomes();
    const std::unique_ptr<FileSink> cards = MakeFileSink(FileFormat::VCard, run.output());
    for (const auto& entry : others) {
        if (entry->kind != OtherItemEntry::Kind::DistributionList)
            continue;
        if (!run.Checkpoint(entry->folderKey))
            return false;
        auto read = run.reader() != nullptr ? run.reader()->ReadDistributionList(entry->location)
                                              : ItemRead<DistributionListContent>(
                                                    Failed(ReadError{QStringLiteral("the mailbox could not be read again")}));
        ItemOutcome outcome;
        outcome.kind = OutcomeKind::DistributionList;
        if (!read) {
            outcome.entry = outcomes.EntryFor(entry->folderKey, entry->location.itemIdentifier, QString(),
                                              entry->location.source);
            outcome.label = OtherItemLabel(*entry);
            // Memory running short here is not told apart: the list fails as unreadable.
            outcomes.Record(std::move(outcome), NotSaved(WriteFailure::Unreadable, read.error().reason));
            continue;
        }
        for (DistributionListContent::Member& member : read->members) {
            if (member.contactIdentifier && contactIdentifiers.count(*member.contactIdentifier) != 0)
                member.contactUid = ContactUid(run.reader()->storeKey(), *member.contactIdentifier);
        }
        const QString nameText = read->name.isEmpty() ? QStringLiteral("Distribution list") : read->name;
        const SaveResult result =
            cards->Save(FileToSave{entry->folderKey, nameText, ComposeGroupCard(*read), QString()});
        if (!read->membersLeftOut.isEmpty()) {
            MissingEntry members(MissingPart::MembersWithoutAddress);
            members.names = read->membersLeftOut;
            outcome.missing.Add(std::move(members));
        }
        outcome.entry = outcomes.EntryFor(entry->folderKey, entry->location.itemIdentifier, nameText,
                                          entry->location.source);
        outcome.label = nameText + QLatin1String(".vcf");
        outcomes.Record(std::move(outcome), result);
    }
    return true;
}

}  // namespace tolvane
