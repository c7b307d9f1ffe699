// Contact and mail passes: what gets written where, progress, and counting
// every save that failed instead of hiding it.
#include "MessageWriter.h"

#include "MailboxReader.h"
#include "MessagePreparer.h"
#include "MimeComposer.h"
#include "NativePath.h"
#include "NewFileWriter.h"
#include "OutputNaming.h"
#include "VCardWriter.h"
#include "WorkerGate.h"

#include <algorithm>
#include <vector>

namespace tolvane {

namespace {

constexpr int kReportedFailures = 5;

void NoteFailure(ConversionSummary& summary, const QString& name, const QString& reason)
{
    if (summary.firstFailures.size() < kReportedFailures)
        summary.firstFailures << QStringLiteral("%1: %2").arg(name, reason);
}

bool PassCheckpoint(WorkerGate* gate)
{
    return gate == nullptr || gate->Checkpoint();
}

// The record's directory below the output root, made when missing (a folder
// deeper than the tree shows, or one whose directory could not be made earlier).
bool EnsureDirectory(const QString& outputRoot, const QString& directory, QString* reason)
{
    if (IsDirectory(directory))
        return true;
    // Never re-create a destination or output folder that was removed meanwhile.
    if (!IsDirectory(outputRoot)) {
        *reason = QStringLiteral("the output folder %1 no longer exists").arg(outputRoot);
        return false;
    }
    if (MakeDirectoryPath(directory))
        return true;
    *reason = QStringLiteral("cannot create the directory %1").arg(directory);
    return false;
}

}  // namespace

void MakeWriterAvailable()
{
    EnsureGMimeReady();
}

bool WriteContactItems(const RecordList<ContactRecord>& contacts, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    int progress = 0;
    for (const auto& contact : contacts) {
        if (!PassCheckpoint(context.gate))
            return false;
        context.sink->SetProgress(progress);
        const QStringList emails =
            context.reader ? context.reader->ReadContactEmails(contact->location) : QStringList();
        const QByteArray card = ComposeVCard(*contact, emails);
        const QString directory = DirectoryForFolderKey(context.outputRoot, contact->folderKey);
        const QString nameText = ContactNameText(*contact);
        QString reason;
        bool saved = false;
        if (EnsureDirectory(context.outputRoot, directory, &reason)) {
            const NewFileResult result = WriteNewFile(
                directory, [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".vcf"), attempt); },
                card);
            saved = result.saved;
            reason = result.reason;
        }
        if (saved) {
            ++summary.contactsSaved;
        } else {
            ++summary.contactsFailed;
            NoteFailure(summary, nameText + QLatin1String(".vcf"), reason);
        }
        if (progress == 100)
            progress = 0;
        ++progress;
    }
    context.sink->SetProgress(0);
    return true;
}

bool WriteMailFiles(const RecordList<MailRecord>& mail, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    // Embedded messages travel inside their parents' files.
    std::vector<const MailRecord*> topLevel;
    topLevel.reserve(mail.size());
    for (const auto& record : mail) {
        if (!record->location.isEmbedded())
            topLevel.push_back(record.get());
    }
    const int composers = std::max(context.composers, 1);
    MessagePreparer preparer(topLevel, context.reader, composers, static_cast<std::size_t>(composers) * 4 + 4);
    ConversionRandom random;
    int progress = 0;
    for (std::size_t index = 0; index < topLevel.size(); ++index) {
        const MailRecord& record = *topLevel[index];
        if (!PassCheckpoint(context.gate))
            return false;
        ++summary.mailTotal;
        context.sink->SetProgress(progress);

        PreparedMessage prepared = preparer.Take(index);
        summary.embeddedCarried += prepared.embeddedCarried;

        const QString number = QString::number(random.Next());
        const QString nameText = MailNameText(record.subject);
        const QString directory = DirectoryForFolderKey(context.outputRoot, record.folderKey);
        QString reason;
        bool saved = false;
        if (EnsureDirectory(context.outputRoot, directory, &reason)) {
            const NewFileResult result = WriteNewFile(
                directory, [&](int attempt) { return FileNameFor(nameText, number, QStringLiteral(".eml"), attempt); },
                prepared.bytes);
            saved = result.saved;
            reason = result.reason;
        }
        if (saved) {
            ++summary.mailSaved;
        } else {
            ++summary.mailFailed;
            NoteFailure(summary, FileNameFor(nameText, number, QStringLiteral(".eml")), reason);
        }
        ++progress;
        if (progress == 100) {
            progress = 0;
            context.sink->SetProgress(0);
        }
    }
    context.sink->SetProgress(0);
    return true;
}

}  // namespace tolvane
