// The mail pass: what each message taken from the preparer becomes, through
// the format's sink (MailSinks.h), and MakeWriterAvailable. The other passes
// live beside it: CardPasses.cpp (contacts, distribution lists) and
// CalendarPass.cpp; what they share is in WriterPass.h.
#include "convert/MessageWriter.h"

#include "convert/ConversionRun.h"
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
                          ConversionRun& run, MailSink& sink, MailAwaitingPlace& awaiting)
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
    const QString label = run.layout().format == OutputFormat::Eml
                              ? fileName
                              : QStringLiteral("\"%1\" in %2")
                                    .arg(nameText, run.layout().folders.StoredPathOf(record.folderKey));
    const auto name = [&](int attempt) { return FileNameFor(nameText, number, QStringLiteral(".eml"), attempt); };
    // The time a mail client sorts the message by: when it arrived, else
    // the date it carries.
    const std::optional<QDateTime> arrived = delivered ? delivered : prepared.date;
    const ContentWriter writeMessage = MessageBytesWriter(prepared);
    const SaveResult result = [&]() -> SaveResult {
        if (prepared.failure)
            return Failed(*prepared.failure);
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
    ItemOutcomes outcomes = run.outcomes();
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
void KeepMessage(const MailRecord& record, ConversionRandom& random, ConversionRun& run, MailSink& sink)
{
    (void)random.Next();
    MailToSave kept;
    kept.folderKey = record.folderKey;
    kept.folderName = record.folderName;
    sink.Kept(kept);
    run.outcomes().RecordKept(OutcomeKind::Mail);
}

}  // namespace

void MakeWriterAvailable()
{
    EnsureGMimeReady();
}

namespace {

bool WriteMailLoop(MailFeed& mail, ConversionRun& run, MailSink& sink, MailAwaitingPlace& awaiting)
{
    // Which messages a resumed run keeps, decided once, in the pass's
    // order, for the preparer's threads; the writer follows the decision
    // each prepared message carries.
    std::optional<KeptMailDecisions> keptMail;
    MessagePreparer::Decide decide;
    if (run.resume() != nullptr) {
        keptMail.emplace(*run.resume(), mail, &run.layout().folders);
        decide = [&keptMail](std::size_t index) { return keptMail->DecisionFor(index); };
    }
    const std::vector<MailboxReader*> readers = run.mailReaders();
    MessagePreparer preparer(mail, readers, readers.size() * 4 + 4,
                             run.output() != nullptr ? run.output()->scratchFileMaker()
                                                     : OutputTree::ScratchFileMaker(),
                             std::move(decide));
    ConversionRandom random;
    // Until the feed ends: a walk still going on may add more while these are written.
    for (std::size_t index = 0;; ++index) {
        const std::shared_ptr<const MailRecord> next = mail.WaitFor(index);
        if (!next)
            break;
        const MailRecord& record = *next;
        if (!run.Checkpoint(record.folderKey))
            return false;
        run.CountMailTaken();

        PreparedMessage prepared = preparer.Take(index);
        switch (prepared.decision.action) {
        case MailAction::Keep:
            KeepMessage(record, random, run, sink);
            break;
        case MailAction::Write:
            WritePreparedMessage(record, prepared, random, run, sink, awaiting);
            break;
        }
        mail.Release(index);
    }
    return true;
}

}  // namespace

bool WriteMailFiles(MailFeed& mail, ConversionRun& run)
{
    // The manifest records every mbox file whole once it is in place, after
    // the messages it now holds, so a message added to it later is seen.
    MailAwaitingPlace awaiting;  // outlives the sink, which may put files in place as it goes
    const RunLayout& layout = run.layout();
    const std::unique_ptr<MailSink> sink = MakeMailSink(
        layout.format, run.output(), layout.mailFolders, layout.folderKeys, layout.mailboxName,
        [&run, &awaiting](const QString& path, const FileDigest& whole) {
            ItemOutcomes outcomes = run.outcomes();
            awaiting.Placed(path, outcomes);
            if (ManifestWriter* manifest = run.manifest())
                manifest->AddWholeFile(path, whole);
        },
        [&run, &awaiting](const QString& path, const QString& reason) {
            ItemOutcomes outcomes = run.outcomes();
            awaiting.NotPlaced(path, reason, outcomes);
        });
    const bool ended = WriteMailLoop(mail, run, *sink, awaiting);
    for (const QString& problem : sink->Finish())
        run.ReportOutputProblem(problem);
    return ended;
}

}  // namespace tolvane
