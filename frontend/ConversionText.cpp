// The words of a conversion's outcome.
#include "frontend/ConversionText.h"

#include "frontend/ShownText.h"
#include "convert/output/MboxTreeLayout.h"

#include <QDir>

namespace tolvane {

namespace {

QString PartNoticeText(const ConversionSummary& summary);

// The notice's own line breaks set it out; what the mailbox or the system
// said goes in with its control characters written out, one entry a line.
QString ShownLines(const QStringList& entries)
{
    QStringList shown;
    for (const QString& entry : entries)
        shown << ShownText(entry);
    return shown.join(u'\n');
}

}  // namespace

QString RecoveredMailText(const ConversionSummary::RecoveredMail& recovered)
{
    QString text = QStringLiteral("Recovered mail: %1 saved").arg(recovered.saved);
    if (recovered.missingAttachments > 0)
        text += QStringLiteral(", %1 with missing attachments").arg(recovered.missingAttachments);
    if (recovered.otherwiseIncomplete > 0)
        text += QStringLiteral(", %1 with other missing parts").arg(recovered.otherwiseIncomplete);
    if (recovered.failed > 0)
        text += QStringLiteral(", %1 could not be saved").arg(recovered.failed);
    return text + u'.';
}

QString WindowCompletionText(const ConversionSummary& summary, OutputFormat format)
{
    QString text = CompletionNoticeText(summary);
    if (summary.outputRoot.isEmpty())
        return text;
    text += QStringLiteral("\n\nOutput folder: %1").arg(QDir::toNativeSeparators(summary.outputRoot));
    if (format == OutputFormat::MboxTree)
        text += QStringLiteral("\n\nTo open the mail in Thunderbird, quit it and copy what is inside the "
                               "folder's \"%1\" into Thunderbird's own (Account Settings > Local Folders > "
                               "Local directory), replacing nothing, then start it again. If Thunderbird's "
                               "already holds a folder of the mailbox's name, from an earlier import, rename "
                               "one of the two first: a copy would mix their folders.")
                    .arg(QLatin1String(kMboxTreeDirectory));
    return text;
}

QString CompletionNoticeText(const ConversionSummary& summary)
{
    QString text = PartNoticeText(summary);
    // The counts of the calendar pass and of the distribution lists follow
    // the notice, which stays as it was.
    const ItemCounts& counts = summary.counts;
    const int calendarItems = counts.Written({OutcomeKind::Appointment, OutcomeKind::Task}) + counts.Written(kNoteKinds);
    if (calendarItems > 0 || counts.Failed(OutcomeKind::Appointment) > 0 || counts.Failed(kOtherItemKinds) > 0
        || counts.Written(OutcomeKind::DistributionList) > 0) {
        const int files = counts.Written(OutcomeKind::CalendarFile);
        text += QStringLiteral("\n\nCalendars: %1 appointments, %2 tasks and %3 notes saved in %4 %5.")
                    .arg(counts.Written(OutcomeKind::Appointment))
                    .arg(counts.Written(OutcomeKind::Task))
                    .arg(counts.Written(kNoteKinds))
                    .arg(files)
                    .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"));
        if (counts.Written(OutcomeKind::DistributionList) > 0)
            text += QStringLiteral(" %1 distribution lists saved.").arg(counts.Written(OutcomeKind::DistributionList));
        if (counts.Incomplete(OutcomeKind::DistributionList) > 0)
            text += QStringLiteral(" %1 distribution lists were saved without members that have no address.")
                        .arg(counts.Incomplete(OutcomeKind::DistributionList));
        if (counts.Failed(OutcomeKind::Appointment) > 0)
            text += QStringLiteral(" %1 appointments could not be saved.").arg(counts.Failed(OutcomeKind::Appointment));
        if (counts.Incomplete(OutcomeKind::Appointment) > 0)
            text += QStringLiteral(" %1 appointments were saved without something that could not be read.")
                        .arg(counts.Incomplete(OutcomeKind::Appointment));
        if (counts.Failed(kOtherItemKinds) > 0)
            text += QStringLiteral(" %1 tasks, notes or lists could not be saved.").arg(counts.Failed(kOtherItemKinds));
        if (counts.Incomplete(kTaskAndNoteKinds) > 0)
            text += QStringLiteral(" %1 tasks or notes were saved without something that could not be read.")
                        .arg(counts.Incomplete(kTaskAndNoteKinds));
    }
    if (summary.recovered.any())
        text += QStringLiteral("\n\n") + RecoveredMailText(summary.recovered);
    for (const QString& problem : summary.ReasonsOf(RunProblem::Kind::FileUnfinished))
        text += QStringLiteral("\n\nNot finished: ") + ShownText(problem);
    if (summary.Has(RunProblem::Kind::WalkEnded))
        text += QStringLiteral("\n\nThe mailbox could not be read to its end (%1); the items after the last one "
                               "written were not written.")
                    .arg(ShownText(summary.ReasonOf(RunProblem::Kind::WalkEnded)));
    // Without its manifest the folder cannot be checked: the run did not do
    // all it should, however many files it wrote.
    if (summary.Has(RunProblem::Kind::ManifestIncomplete))
        text += QStringLiteral("\n\nThe manifest could not be written in full (%1); the folder cannot be checked "
                               "with tolvane-cli verify.")
                    .arg(ShownText(summary.ReasonOf(RunProblem::Kind::ManifestIncomplete)));
    return text;
}

namespace {

QString PartNoticeText(const ConversionSummary& summary)
{
    if (summary.allSavedButEvents())
        return QString::fromLatin1(kSavingCompletedText);
    if (summary.outOfMemory)
        return QStringLiteral("Saving stopped: the system ran out of memory after %1 messages were saved complete "
                              "and %2 incomplete; the rest were not written.")
            .arg(summary.counts.Complete(OutcomeKind::Mail))
            .arg(summary.counts.Incomplete(OutcomeKind::Mail));
    if (summary.mailboxUnreadable())
        return QStringLiteral("Saving failed: the mailbox could not be read again (%1). Nothing was saved.")
            .arg(ShownText(summary.ReasonOf(RunProblem::Kind::MailboxUnreadable)));
    QString text =
        summary.interrupted
            ? QStringLiteral("Saving was interrupted: %1 messages were saved complete").arg(summary.counts.Complete(OutcomeKind::Mail))
            : QStringLiteral("Saving finished with problems: %1 of %2 messages were saved complete")
                  .arg(summary.counts.Complete(OutcomeKind::Mail))
                  .arg(summary.mailTotal);
    if (summary.counts.Incomplete(OutcomeKind::Mail) > 0)
        text += QStringLiteral(", %1 were saved incomplete (each file says what it lacks)").arg(summary.counts.Incomplete(OutcomeKind::Mail));
    text += QStringLiteral(", %1 could not be saved").arg(summary.counts.Failed(OutcomeKind::Mail));
    text += summary.interrupted ? QStringLiteral(", the rest were not written.") : QStringLiteral(".");
    if (summary.counts.Failed(OutcomeKind::Contact) > 0)
        text += QStringLiteral(" %1 contacts could not be saved.").arg(summary.counts.Failed(OutcomeKind::Contact));
    if (summary.counts.Incomplete(OutcomeKind::Contact) > 0)
        text += QStringLiteral(" %1 contacts were saved incomplete.").arg(summary.counts.Incomplete(OutcomeKind::Contact));
    if (summary.Has(RunProblem::Kind::MailboxUnreadable))
        text += QStringLiteral(" The mailbox could not be read again (%1): what the scan kept was written instead.")
                    .arg(ShownText(summary.ReasonOf(RunProblem::Kind::MailboxUnreadable)));
    if (!summary.firstFailures.isEmpty())
        text += QStringLiteral("\n\nNot saved:\n") + ShownLines(summary.firstFailures);
    if (!summary.firstIncomplete.isEmpty())
        text += QStringLiteral("\n\nIncomplete:\n") + ShownLines(summary.firstIncomplete);
    return text;
}

}  // namespace

}  // namespace tolvane
