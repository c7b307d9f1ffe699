// The mail pass: what each message taken from the preparer becomes, through
// the format's sink (MailSinks.h), and MakeWriterAvailable. The other passes
// live beside it: CardPasses.cpp (contacts, distribution lists) and
// CalendarPass.cpp; what they share is in WriterPass.h.
#include "convert/MessageWriter.h"

#include "convert/KeptMailDecisions.h"
#include "convert/MailFeed.h"
#include "convert/WriterPass.h"
#include "convert/output/MailFolderPlan.h"
#include "convert/output/MailSinks.h"
#include "convert/output/MailFormats.h"
#include "convert/output/Manifest.h"
#include "convert/read/MailboxReader.h"
#include "convert/MemoryHeadroom.h"
#include "convert/MessagePreparer.h"
#include "convert/compose/MimeComposer.h"
#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/ResumePlan.h"
#include "scan/FolderPaths.h"
#include "scan/TimeText.h"

#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tolvane {

namespace {

// The message's bytes into a descriptor: from memory, or copied from the
// scratch file a worker composed a message with large attachments into.
ContentWriter MessageBytesWriter(const PreparedMessage& prepared)
{
    return [&prepared](int fd) {
        if (prepared.spilled)
            return CopyWholeFileTo(prepared.spilled.get(), fd);
        return WriteAllTo(fd, prepared.bytes.constData(), prepared.bytes.size());
    };
}

// Messages appended to an mbox file that is still written under a
// temporary name: what is not in place is not saved, so each is recorded
// when its file is put in place, or as not saved when it cannot be.
class MailAwaitingPlace {
public:
    void Hold(ItemOutcome outcome, SavedFile saved)
    {
        QString path = saved.path;
        byPath_[std::move(path)].push_back({std::move(outcome), std::move(saved)});
    }
    void Placed(const QString& path, ItemOutcomes& outcomes)
    {
        for (auto& [outcome, saved] : Take(path)) {
            saved.awaitsPlacing = false;
            outcomes.Record(std::move(outcome), saved);
        }
    }
    void NotPlaced(const QString& path, const QString& reason, ItemOutcomes& outcomes)
    {
        for (auto& [outcome, saved] : Take(path))
            outcomes.Record(std::move(outcome), NotSaved(WriteFailure::FileSystem, reason));
    }

private:
    std::vector<std::pair<ItemOutcome, SavedFile>> Take(const QString& path)
    {
        const auto found = byPath_.find(path);
        if (found == byPath_.end())
            return {};
        std::vector<std::pair<ItemOutcome, SavedFile>> held = std::move(found->second);
        byPath_.erase(found);
        return held;
    }

    std::map<QString, std::vector<std::pair<ItemOutcome, SavedFile>>> byPath_;
};

// What one message taken from the preparer becomes: named, saved through
// the format's sink unless it could not be read or memory is short, and
// handed to the recorder either way (once its file is in place, for a
// message appended to a file written under a temporary name). `random`
// numbers its file.
void WritePreparedMessage(const MailRecord& record, PreparedMessage& prepared, ConversionRandom& random,
                          WriterContext& context, MailSink& sink, MailAwaitingPlace& awaiting)
{
    // Named and dated by what its one read found; by its record where it
    // could not be read (a walk that kept only where it is leaves no subject).
    const QString subject = prepared.naming ? prepared.naming->subject : record.subject;
    const std::optional<QDateTime> delivered =
        prepared.naming ? prepared.naming->delivered
        : record.deliveryTime ? std::optional<QDateTime>(FiletimeToDateTime(record.deliveryTime->ticks))
                              : std::nullopt;

    const QString number = QString::number(random.Next());
    const QString nameText = MailNameText(subject);
    const QString fileName = FileNameFor(nameText, number, QStringLiteral(".eml"));
    // How the problem lines name the mail: its file, or where there is
    // none of its own, its subject and folder.
    const QString label = context.format == OutputFormat::Eml
                              ? fileName
                              : QStringLiteral("\"%1\" in %2")
                                    .arg(nameText, context.folders != nullptr ? context.folders->StoredPathOf(record.folderKey)
                                                                               : record.folderKey);
    const auto name = [&](int attempt) { return FileNameFor(nameText, number, QStringLiteral(".eml"), attempt); };
    // The time a mail client sorts the message by: when it arrived, else
    // the date it carries.
    const std::optional<QDateTime> arrived = delivered ? delivered : prepared.date;
    const ContentWriter writeMessage = MessageBytesWriter(prepared);
    const SaveResult result = [&]() -> SaveResult {
        if (!prepared.failure.isEmpty())
            return NotSaved(prepared.failedForMemory ? WriteFailure::ShortOfMemory : WriteFailure::Unreadable,
                            prepared.failure);
        if (!HasMemoryHeadroom(kWriteHeadroom))
            return NotSaved(WriteFailure::ShortOfMemory, QStringLiteral("not enough memory to write the message"));
        MailToSave toSave;
        toSave.folderKey = record.folderKey;
        toSave.folderName = record.folderName;
        toSave.fileName = name;
        toSave.arrived = arrived;
        toSave.sender = prepared.sender;
        toSave.state = prepared.state;
        toSave.bytes = prepared.spilled ? nullptr : &prepared.bytes;
        toSave.write = writeMessage;
        toSave.digest = prepared.digest;
        return sink.Save(toSave);
    }();
    ItemOutcomes outcomes = OutcomesOf(context);
    ItemOutcome outcome;
    outcome.kind = OutcomeKind::Mail;
    // The manifest gives the subject as the message holds it; a message not
    // read (only its record's cleaned subject is known) and one without a
    // subject give none.
    const QString storedSubject = prepared.naming ? prepared.naming->storedSubject : QString();
    outcome.entry =
        outcomes.EntryFor(record.folderKey, record.location.itemIdentifier, storedSubject, record.location.source);
    outcome.entry.date = prepared.date ? prepared.date : arrived;
    outcome.entry.messageId = prepared.messageId;
    outcome.entry.fingerprint = prepared.fingerprint;
    outcome.label = label;
    outcome.missing = std::move(prepared.missing);
    outcome.embeddedCarried = prepared.embeddedCarried;
    if (result && result->awaitsPlacing)
        awaiting.Hold(std::move(outcome), *result);
    else
        outcomes.Record(std::move(outcome), result);
}

// A message the stopped run wrote and this resumed one keeps: its number is
// drawn and its place in its sink taken as when it was written, so every
// later file is named as in a run from the start.
void KeepMessage(const MailRecord& record, ConversionRandom& random, WriterContext& context, MailSink& sink)
{
    (void)random.Next();
    MailToSave kept;
    kept.folderKey = record.folderKey;
    kept.folderName = record.folderName;
    sink.Kept(kept);
    OutcomesOf(context).RecordKept(OutcomeKind::Mail);
}

}  // namespace

void MakeWriterAvailable()
{
    EnsureGMimeReady();
}

namespace {

bool WriteMailLoop(MailFeed& mail, WriterContext& context, MailSink& sink, MailAwaitingPlace& awaiting)
{
    ConversionSummary& summary = *context.summary;
    std::vector<MailboxReader*> readers{context.reader};
    readers.insert(readers.end(), context.moreReaders.begin(), context.moreReaders.end());
    // Which messages a resumed run keeps, decided once for the preparer's
    // threads and this one.
    std::optional<KeptMailDecisions> keptMail;
    std::function<bool(std::size_t)> isKept;
    if (context.resume != nullptr) {
        keptMail.emplace(*context.resume, mail, context.folders);
        isKept = [&keptMail](std::size_t index) { return keptMail->KeptFileOf(index).has_value(); };
    }
    MessagePreparer preparer(mail, readers, readers.size() * 4 + 4,
                             context.output != nullptr ? context.output->scratchFileMaker()
                                                       : OutputTree::ScratchFileMaker(),
                             std::move(isKept));
    ConversionRandom random;
    // Until the feed ends: a walk still going on may add more while these are written.
    for (std::size_t index = 0;; ++index) {
        const std::shared_ptr<const MailRecord> next = mail.WaitFor(index);
        if (!next)
            break;
        const MailRecord& record = *next;
        if (!PassCheckpoint(context, record.folderKey))
            return false;
        ++summary.mailTotal;

        PreparedMessage prepared = preparer.Take(index);
        if (prepared.kept)
            KeepMessage(record, random, context, sink);
        else
            WritePreparedMessage(record, prepared, random, context, sink, awaiting);
        mail.Release(index);
    }
    return true;
}

}  // namespace

bool WriteMailFiles(MailFeed& mail, WriterContext& context)
{
    // The manifest records every mbox file whole once it is in place, after
    // the messages it now holds, so a message added to it later is seen.
    // Without the scan's folders, each folder goes by its key's own names.
    const MailFolderPlan byKeys;
    MailAwaitingPlace awaiting;  // outlives the sink, which may put files in place as it goes
    const std::unique_ptr<MailSink> sink = MakeMailSink(
        context.format, context.output, context.mailFolders != nullptr ? *context.mailFolders : byKeys,
        context.folderKeys, context.mailboxName,
        [&context, &awaiting](const QString& path, const FileDigest& whole) {
            ItemOutcomes outcomes = OutcomesOf(context);
            awaiting.Placed(path, outcomes);
            if (context.manifest != nullptr)
                context.manifest->AddWholeFile(path, whole);
        },
        [&context, &awaiting](const QString& path, const QString& reason) {
            ItemOutcomes outcomes = OutcomesOf(context);
            awaiting.NotPlaced(path, reason, outcomes);
        });
    const bool ended = WriteMailLoop(mail, context, *sink, awaiting);
    for (const QString& problem : sink->Finish()) {
        context.summary->outputProblems << problem;
        context.sink->ReportProblem(problem);
    }
    return ended;
}

}  // namespace tolvane
