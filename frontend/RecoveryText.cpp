// The words of a recovery's counts: the one/many word of every kind, the
// line per source with what was left out and why, and the failed search.
#include "frontend/RecoveryText.h"

#include "frontend/ShownText.h"

namespace tolvane {

namespace {

QString Counted(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString TallyLine(const char* source, const RecoveryTally& tally)
{
    QString line = QStringLiteral("%1: %2").arg(QLatin1String(source), RecoveredKindsText(tally));
    QStringList leftOut;
    if (tally.duplicates > 0)
        leftOut << Counted(tally.duplicates, "the same as a live item", "the same as live items");
    if (tally.internal > 0)
        leftOut << Counted(tally.internal, "without user content", "without user content");
    if (tally.unreadable > 0)
        leftOut << Counted(tally.unreadable, "unreadable", "unreadable");
    if (!leftOut.isEmpty())
        line += QStringLiteral("; left out: ") + leftOut.join(QStringLiteral(", "));
    return line;
}

}  // namespace

std::span<const RecoveredKind> RecoveredKinds()
{
    static constexpr RecoveredKind kinds[] = {
        {&RecoveryTally::mail, "mail", "mail", "mails"},
        {&RecoveryTally::appointments, "appointments", "appointment", "appointments"},
        {&RecoveryTally::contacts, "contacts", "contact", "contacts"},
        {&RecoveryTally::tasks, "tasks", "task", "tasks"},
        {&RecoveryTally::notes, "notes", "note", "notes"},
        {&RecoveryTally::journal, "journal", "journal entry", "journal entries"},
        {&RecoveryTally::lists, "distributionLists", "distribution list", "distribution lists"},
    };
    return kinds;
}

QString RecoveredKindsText(const RecoveryTally& tally)
{
    QStringList parts;
    for (const RecoveredKind& kind : RecoveredKinds()) {
        if (tally.*kind.count > 0)
            parts << Counted(tally.*kind.count, kind.one, kind.many);
    }
    return parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral(", "));
}

QStringList RecoverySummaryLines(const RecoveryReport& report)
{
    QStringList lines;
    if (!report.failure.isEmpty())
        lines << QStringLiteral("The search for deleted items failed: %1").arg(ShownText(report.failure));
    lines << TallyLine("Recovered", report.recovered) << TallyLine("Orphans", report.orphans);
    return lines;
}

}  // namespace tolvane
