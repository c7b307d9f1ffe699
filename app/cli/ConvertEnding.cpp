// The counts of a conversion in the command line's words and in JSON.
#include "app/cli/ConvertEnding.h"

#include "frontend/ConversionText.h"
#include "frontend/RecoveryText.h"
#include "app/cli/HeadlessScan.h"
#include "app/cli/InterruptWatcher.h"

#include <QJsonArray>

namespace tolvane::cli {

namespace {

// One count of a summary: its key in --json and its words for one and for
// many, in the order the ending lists them.
struct SummaryCount {
    int (*count)(const ItemCounts& counts);
    const char* jsonKey;
    const char* one;
    const char* many;
};

constexpr SummaryCount kSummaryCounts[] = {
    {[](const ItemCounts& c) { return c.Complete(OutcomeKind::Mail); }, "mailSaved", "mail saved", "mails saved"},
    {[](const ItemCounts& c) { return c.Incomplete(OutcomeKind::Mail); }, "mailIncomplete", "mail saved incomplete", "mails saved incomplete"},
    {[](const ItemCounts& c) { return c.Failed(OutcomeKind::Mail); }, "mailFailed", "mail not saved", "mails not saved"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::EmbeddedMail); }, "embeddedCarried", "embedded message carried in its mail",
     "embedded messages carried in their mails"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::Contact); }, "contactsSaved", "contact saved", "contacts saved"},
    {[](const ItemCounts& c) { return c.Incomplete(OutcomeKind::Contact); }, "contactsIncomplete", "contact saved incomplete",
     "contacts saved incomplete"},
    {[](const ItemCounts& c) { return c.Failed(OutcomeKind::Contact); }, "contactsFailed", "contact not saved", "contacts not saved"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::DistributionList); }, "distributionListsSaved", "distribution list saved",
     "distribution lists saved"},
    {[](const ItemCounts& c) { return c.Incomplete(OutcomeKind::DistributionList); }, "distributionListsIncomplete",
     "distribution list saved without members that have no address",
     "distribution lists saved without members that have no address"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::Appointment); }, "appointmentsSaved", "appointment saved", "appointments saved"},
    {[](const ItemCounts& c) { return c.Incomplete(OutcomeKind::Appointment); }, "appointmentsIncomplete", "appointment saved incomplete",
     "appointments saved incomplete"},
    {[](const ItemCounts& c) { return c.Failed(OutcomeKind::Appointment); }, "appointmentsFailed", "appointment not saved", "appointments not saved"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::Task); }, "tasksSaved", "task saved", "tasks saved"},
    {[](const ItemCounts& c) { return c.Written(kNoteKinds); }, "notesSaved", "note saved", "notes saved"},
    {[](const ItemCounts& c) { return c.Incomplete(kTaskAndNoteKinds); }, "otherItemsIncomplete", "task or note saved incomplete",
     "tasks or notes saved incomplete"},
    {[](const ItemCounts& c) { return c.Failed(kOtherItemKinds); }, "otherItemsFailed", "task, note or list not saved",
     "tasks, notes or lists not saved"},
    {[](const ItemCounts& c) { return c.Written(OutcomeKind::CalendarFile); }, "calendarFilesSaved", "calendar file saved", "calendar files saved"},
};

QString Counted(qsizetype count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

QJsonArray TextArray(const QStringList& texts)
{
    QJsonArray array;
    for (const QString& text : texts)
        array.append(text);
    return array;
}

// How the run ended, for scripts: one word each.
QString EndedAs(const ConvertRun& run)
{
    if (run.signalNumber != 0)
        return QStringLiteral("interrupted");
    if (run.summary.mailboxUnreadable())
        return QStringLiteral("unreadable");
    if (run.summary.outOfMemory)
        return QStringLiteral("out-of-memory");
    return run.exitStatus == 0 ? QStringLiteral("complete") : QStringLiteral("with-problems");
}

}  // namespace

QStringList EndingLines(const ConvertRun& run)
{
    QStringList lines;
    lines << Counted(run.folders, "folder", "folders");
    for (const SummaryCount& count : kSummaryCounts) {
        const int value = count.count(run.summary.counts);
        if (value != 0)
            lines << Counted(value, count.one, count.many);
    }
    if (run.recovery) {
        lines += RecoverySummaryLines(*run.recovery);
        if (run.summary.recovered.any())
            lines << RecoveredMailText(run.summary.recovered);
    }
    if (!run.skipped.isEmpty())
        lines << Counted(run.skipped.size(), "item skipped (unreadable)", "items skipped (unreadable)");
    const QString outputFolder = run.summary.outputRoot.isEmpty() ? QStringLiteral("none") : run.summary.outputRoot;
    lines << QStringLiteral("Output folder: %1").arg(TerminalText(outputFolder));
    return lines;
}

QJsonObject EndingJson(const ConvertRun& run)
{
    QJsonObject counts;
    counts.insert(QStringLiteral("folders"), run.folders);
    for (const SummaryCount& count : kSummaryCounts)
        counts.insert(QString::fromLatin1(count.jsonKey), count.count(run.summary.counts));
    counts.insert(QStringLiteral("itemsSkipped"), run.skipped.size());
    counts.insert(QStringLiteral("itemsNotConverted"), run.notConverted.size());
    if (run.summary.recovered.any()) {
        const auto& recovered = run.summary.recovered;
        counts.insert(QStringLiteral("recoveredMail"),
                      QJsonObject{{QStringLiteral("saved"), recovered.saved},
                                  {QStringLiteral("missingAttachments"), recovered.missingAttachments},
                                  {QStringLiteral("otherwiseIncomplete"), recovered.otherwiseIncomplete},
                                  {QStringLiteral("failed"), recovered.failed}});
    }

    QJsonObject object;
    object.insert(QStringLiteral("file"), run.file);
    object.insert(QStringLiteral("outputFolder"), run.summary.outputRoot.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                                   : QJsonValue(run.summary.outputRoot));
    object.insert(QStringLiteral("ended"), EndedAs(run));
    object.insert(QStringLiteral("exitStatus"), run.exitStatus);
    if (run.signalNumber != 0)
        object.insert(QStringLiteral("signal"), QString::fromLatin1(SignalName(run.signalNumber)));
    object.insert(QStringLiteral("counts"), counts);
    object.insert(QStringLiteral("notice"), run.notice);
    object.insert(QStringLiteral("problems"), TextArray(run.problems));
    object.insert(QStringLiteral("skipped"), TextArray(run.skipped));
    object.insert(QStringLiteral("notConverted"), TextArray(run.notConverted));
    if (run.summary.Has(RunProblem::Kind::WalkEnded))
        object.insert(QStringLiteral("walkFailure"), run.summary.ReasonOf(RunProblem::Kind::WalkEnded));
    if (run.summary.Has(RunProblem::Kind::ManifestIncomplete))
        object.insert(QStringLiteral("manifestFailure"), run.summary.ReasonOf(RunProblem::Kind::ManifestIncomplete));
    return object;
}

QJsonObject NotConvertedJson(const QString& file, NotConverted why, int exitStatus, const QString& error)
{
    const auto ended = [why] {
        switch (why) {
        case NotConverted::Unreadable: return QStringLiteral("unreadable");
        case NotConverted::ScanFailed: return QStringLiteral("scan-failed");
        case NotConverted::OutOfMemory: return QStringLiteral("out-of-memory");
        case NotConverted::Refused: return QStringLiteral("refused");
        case NotConverted::Interrupted: return QStringLiteral("interrupted");
        }
        return QStringLiteral("refused");
    };
    return QJsonObject{{QStringLiteral("file"), file},
                       {QStringLiteral("outputFolder"), QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("ended"), ended()},
                       {QStringLiteral("exitStatus"), exitStatus},
                       {QStringLiteral("error"), error}};
}

}  // namespace tolvane::cli
