// The texts of a recovery's counts, made in one place for the window, the
// command line and the conversion summary.
#include "scan/RecoveryReport.h"

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

QString RecoveredKindsText(const RecoveryTally& tally)
{
    QStringList parts;
    if (tally.mail > 0)
        parts << Counted(tally.mail, "mail", "mails");
    if (tally.appointments > 0)
        parts << Counted(tally.appointments, "appointment", "appointments");
    if (tally.contacts > 0)
        parts << Counted(tally.contacts, "contact", "contacts");
    if (tally.tasks > 0)
        parts << Counted(tally.tasks, "task", "tasks");
    if (tally.notes > 0)
        parts << Counted(tally.notes, "note", "notes");
    if (tally.journal > 0)
        parts << Counted(tally.journal, "journal entry", "journal entries");
    if (tally.lists > 0)
        parts << Counted(tally.lists, "distribution list", "distribution lists");
    return parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral(", "));
}

QStringList RecoverySummaryLines(const RecoveryReport& report)
{
    QStringList lines;
    if (!report.failure.isEmpty())
        lines << QStringLiteral("The search for deleted items failed: %1").arg(report.failure);
    lines << TallyLine("Recovered", report.recovered) << TallyLine("Orphans", report.orphans);
    return lines;
}

}  // namespace tolvane
