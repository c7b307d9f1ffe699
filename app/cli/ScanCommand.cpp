// tolvane-cli scan: runs the scan headless and prints the folder tree with
// item counts, or every record as one JSON object.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"
#include "app/cli/TerminalProgress.h"
#include "frontend/RecoveryText.h"

#include "scan/ContactFields.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"
#include "frontend/RecordText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tolvane::cli {

namespace {

const char kScanUsage[] =
    "Usage: tolvane-cli scan [--json | --paths] [--recover] [--allow-ost] FILE.pst\n"
    "\n"
    "Scans FILE.pst as the window does and prints its folder tree with the mail,\n"
    "contact and appointment count of each folder; notices go to stderr.\n"
    "\n"
    "  --json   print one JSON object: file, result, folders, mail, contacts,\n"
    "           appointments (every field of every record); also when FILE\n"
    "           cannot be read, with the reason in error\n"
    "  --paths  print the path of every folder, one per line, as tolvane-cli\n"
    "           convert --folder takes it\n"
    "  --recover  also search the file for the deleted items it still holds and\n"
    "           the items whose folder is gone: two more folders, \"Recovered\n"
    "           items\" and \"Orphan items\"; reads the whole file, so it takes\n"
    "           longer. The summary (and --json's \"recovery\") counts them by kind.\n"
    "  --allow-ost  read FILE even when it is an offline cache file (OST) of a\n"
    "           server mailbox; without it an OST is refused, as the window refuses it\n"
    "  --help   show this text\n"
    "\n"
    "Texts from the mailbox are printed with control characters escaped (\\x1b,\n"
    "\\u009b); bytes of a file name that are not UTF-8 show as \\xff.\n"
    "\n"
    "Exit status: 0 scan completed, 1 the file cannot be opened (the reason is\n"
    "printed) or is not a PST, 2 usage error, 3 the scan failed (also when the\n"
    "private temporary directory is refused), 5 not enough memory or other system\n"
    "resources (threads, file descriptors).\n";

QJsonValue Text(const QString& text)
{
    return text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void AddLocation(QJsonObject& object, const ItemLocation& location)
{
    object.insert(QStringLiteral("itemIdentifier"), static_cast<qint64>(location.itemIdentifier));
    object.insert(QStringLiteral("topLevelIdentifier"), static_cast<qint64>(location.topLevelIdentifier));
    QJsonArray path;
    for (int index : location.attachmentPath)
        path.append(index);
    object.insert(QStringLiteral("attachmentPath"), path);
    if (location.source == ItemSource::Recovered)
        object.insert(QStringLiteral("recovered"), QStringLiteral("deleted item"));
    else if (location.source == ItemSource::Orphan)
        object.insert(QStringLiteral("recovered"), QStringLiteral("orphan item"));
}

QJsonObject MailJson(const MailRecord& r)
{
    QJsonObject o;
    o.insert(QStringLiteral("folderName"), Text(r.folderName));
    o.insert(QStringLiteral("recordKind"), RecordText::KindCode(r.recordKind));
    o.insert(QStringLiteral("itemKind"), RecordText::KindCode(r.itemKind));
    o.insert(QStringLiteral("senderAddress"), Text(RecordText::SenderAddress(r)));
    o.insert(QStringLiteral("senderName"), Text(RecordText::SenderName(r)));
    o.insert(QStringLiteral("recipients"), Text(RecordText::Recipients(r)));
    o.insert(QStringLiteral("subject"), Text(r.subject));
    o.insert(QStringLiteral("deliveryTime"), Text(RecordText::DeliveryTime(r)));
    o.insert(QStringLiteral("creationTime"), Text(RecordText::CreationTime(r)));
    o.insert(QStringLiteral("modificationTime"), Text(RecordText::ModificationTime(r)));
    o.insert(QStringLiteral("size"), Text(RecordText::Size(r)));
    o.insert(QStringLiteral("flag"), Text(RecordText::Flag(r)));
    o.insert(QStringLiteral("priority"), Text(RecordText::Priority(r)));
    o.insert(QStringLiteral("sensitivity"), Text(RecordText::Sensitivity(r)));
    o.insert(QStringLiteral("importance"), Text(RecordText::Importance(r)));
    o.insert(QStringLiteral("body"), Text(r.body.text()));
    o.insert(QStringLiteral("attachments"), Text(RecordText::Attachments(r)));
    o.insert(QStringLiteral("bodyKind"), RecordText::BodyKindCode(r.bodyKind));
    o.insert(QStringLiteral("folderKey"), Text(r.folderKey));
    o.insert(QStringLiteral("number"), r.number);
    AddLocation(o, r.location);
    return o;
}

QJsonObject AppointmentJson(const AppointmentRecord& r)
{
    QJsonObject o;
    o.insert(QStringLiteral("folderName"), Text(r.folderName));
    o.insert(QStringLiteral("itemType"), RecordText::KindCode(r.itemType));
    o.insert(QStringLiteral("endTime"), Text(RecordText::EndTime(r)));
    o.insert(QStringLiteral("location"), Text(RecordText::Location(r)));
    o.insert(QStringLiteral("recurrencePattern"), Text(RecordText::RecurrencePattern(r)));
    o.insert(QStringLiteral("startTime"), Text(RecordText::StartTime(r)));
    // Two placeholders records have always carried; both say "None".
    o.insert(QStringLiteral("placeholderA"), Text(RecordText::SubjectPlaceholder(r)));
    o.insert(QStringLiteral("subjectPlaceholder"), Text(RecordText::SubjectPlaceholder(r)));
    o.insert(QStringLiteral("folderKey"), Text(r.folderKey));
    o.insert(QStringLiteral("number"), r.number);
    AddLocation(o, r.itemLocation);
    return o;
}

QJsonObject ContactJson(const ContactRecord& r)
{
    QJsonObject o;
    o.insert(QStringLiteral("folderName"), Text(r.folderName));
    o.insert(QStringLiteral("itemType"), RecordText::KindCode(r.itemType));
    for (const ContactField& field : ContactFields())
        o.insert(QLatin1String(field.name), Text(r.*field.member));
    o.insert(QStringLiteral("folderKey"), Text(r.folderKey));
    o.insert(QStringLiteral("number"), r.number);
    AddLocation(o, r.location);
    return o;
}

QString ResultWord(ScanOutcome outcome)
{
    switch (outcome) {
    case ScanOutcome::Completed: return QStringLiteral("completed");
    case ScanOutcome::NotPst: return QStringLiteral("not-pst");
    case ScanOutcome::OpenFailed: return QStringLiteral("open-failed");
    case ScanOutcome::NoResources: return QStringLiteral("no-resources");
    case ScanOutcome::ScanFailed:
    case ScanOutcome::Abandoned: break;
    }
    return QStringLiteral("scan-failed");
}

int ExitStatus(ScanOutcome outcome)
{
    switch (outcome) {
    case ScanOutcome::Completed: return kExitOk;
    case ScanOutcome::NotPst:
    case ScanOutcome::OpenFailed: return kExitCannotOpen;
    case ScanOutcome::NoResources: return kExitNoResources;
    case ScanOutcome::ScanFailed:
    case ScanOutcome::Abandoned: break;
    }
    return kExitScanFailed;
}

QJsonObject TallyJson(const RecoveryTally& tally)
{
    QJsonObject o;
    for (const RecoveredKind& kind : RecoveredKinds())
        o.insert(QLatin1String(kind.jsonKey), tally.*kind.count);
    o.insert(QStringLiteral("internal"), tally.internal);
    o.insert(QStringLiteral("duplicates"), tally.duplicates);
    o.insert(QStringLiteral("unreadable"), tally.unreadable);
    return o;
}

void PrintJson(const QString& path, ScanOutcome outcome, const ItemStore& store, const HeadlessScanSink& sink)
{
    QJsonObject root;
    root.insert(QStringLiteral("file"), path);
    root.insert(QStringLiteral("result"), ResultWord(outcome));
    if (!sink.mailboxProblem().isEmpty())
        root.insert(QStringLiteral("error"), sink.mailboxProblem());
    QJsonArray folders;
    for (const auto& folder : store.folderNodes()) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), Text(folder->name));
        o.insert(QStringLiteral("parentText"), Text(folder->parentText));
        o.insert(QStringLiteral("depth"), folder->depth);
        o.insert(QStringLiteral("exportPath"), Text(folder->exportPath));
        folders.append(o);
    }
    root.insert(QStringLiteral("folders"), folders);
    QJsonArray mail;
    for (const auto& record : store.mailRecords())
        mail.append(MailJson(*record));
    root.insert(QStringLiteral("mail"), mail);
    QJsonArray contacts;
    for (const auto& record : store.contactRecords())
        contacts.append(ContactJson(*record));
    root.insert(QStringLiteral("contacts"), contacts);
    QJsonArray appointments;
    for (const auto& record : store.appointmentRecords())
        appointments.append(AppointmentJson(*record));
    root.insert(QStringLiteral("appointments"), appointments);
    root.insert(QStringLiteral("skipped"), QJsonArray::fromStringList(sink.skippedItems()));
    if (const QStringList others = store.notConvertedItems(); !others.isEmpty())
        root.insert(QStringLiteral("notConverted"), QJsonArray::fromStringList(others));
    if (const auto recovery = store.recoveryReport()) {
        QJsonObject o;
        o.insert(QStringLiteral("recovered"), TallyJson(recovery->recovered));
        o.insert(QStringLiteral("orphans"), TallyJson(recovery->orphans));
        if (!recovery->failure.isEmpty())
            o.insert(QStringLiteral("failure"), recovery->failure);
        root.insert(QStringLiteral("recovery"), o);
    }
    const QByteArray json = EscapeJsonControls(QJsonDocument(root).toJson(QJsonDocument::Indented));
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
}

struct Counts {
    int mail = 0;
    int contacts = 0;
    int appointments = 0;
};

void PrintTreeNode(const HeadlessScanSink& sink, TreeNodeId node, int depth, const QHash<QString, Counts>& counts)
{
    const Counts c = counts.value(sink.FolderKey(node));
    PrintOut(QString(depth * 2, u' ') + TerminalText(sink.NodeText(node)) +
             QStringLiteral("  (mail %1, contacts %2, appointments %3)\n").arg(c.mail).arg(c.contacts).arg(c.appointments));
    for (TreeNodeId child : sink.Children(node))
        PrintTreeNode(sink, child, depth + 1, counts);
}

void PrintTree(const HeadlessScanSink& sink, TreeNodeId rootNode, const QString& path, const ItemStore& store)
{
    // Counted by the folder's key, which tells apart two folders of the same
    // name in different places ("A/sub" and "B/sub").
    QHash<QString, Counts> counts;
    const auto mail = store.mailRecords();
    const auto contacts = store.contactRecords();
    const auto appointments = store.appointmentRecords();
    for (const auto& record : mail)
        ++counts[record->folderKey].mail;
    for (const auto& record : contacts)
        ++counts[record->folderKey].contacts;
    for (const auto& record : appointments)
        ++counts[record->folderKey].appointments;
    PrintOut(TerminalText(path) + u'\n');
    for (TreeNodeId child : sink.Children(rootNode))
        PrintTreeNode(sink, child, 1, counts);
    PrintOut(QStringLiteral("%1 folders, %2 mail, %3 contacts, %4 appointments\n")
                 .arg(store.folderNodeCount())
                 .arg(mail.size())
                 .arg(contacts.size())
                 .arg(appointments.size()));
    if (const auto recovery = store.recoveryReport()) {
        for (const QString& line : RecoverySummaryLines(*recovery))
            PrintOut(line + u'\n');
    }
}

}  // namespace

int RunScanCommand(const QStringList& arguments, const ProcessTempDir& tempDir)
{
    ParsedArguments parsed;
    QString error;
    if (!ParseArguments(arguments,
                        {QStringLiteral("--json"), QStringLiteral("--paths"), QStringLiteral("--recover"),
                         QStringLiteral("--allow-ost"), QStringLiteral("--help"), QStringLiteral("-h")},
                        &parsed, &error)) {
        PrintError(QStringLiteral("tolvane-cli scan: %1\n").arg(error) + QString::fromLatin1(kScanUsage));
        return kExitUsage;
    }
    if (parsed.has(QStringLiteral("--help")) || parsed.has(QStringLiteral("-h"))) {
        PrintOut(QString::fromLatin1(kScanUsage));
        return kExitOk;
    }
    if (parsed.positional.size() != 1) {
        PrintError(QStringLiteral("tolvane-cli scan: expected exactly one PST file\n") +
                   QString::fromLatin1(kScanUsage));
        return kExitUsage;
    }
    const QString path = AbsolutePath(parsed.positional.first());

    ItemStore store;
    HeadlessScanSink sink;
    TerminalProgress progress(TerminalProgress::TerminalsAttached());
    sink.DrawProgressOn(&progress, path);
    TreeNodeId rootNode = 0;
    const ScanOutcome outcome =
        RunHeadlessScan(path, store, tempDir, sink, &rootNode, nullptr, ItemDetail::Listed,
                        parsed.has(QStringLiteral("--recover")), nullptr,
                        parsed.has(QStringLiteral("--allow-ost")) ? OstFiles::Accepted : OstFiles::Refused);
    progress.Clear();
    if (parsed.has(QStringLiteral("--json"))) {
        PrintJson(path, outcome, store, sink);
    } else if (parsed.has(QStringLiteral("--paths"))) {
        if (outcome == ScanOutcome::Completed) {
            const FolderPaths folders(store.folderNodes());
            for (const QString& folder : folders.paths())
                PrintOut(TerminalText(folder) + u'\n');
        }
    }
    else if (outcome == ScanOutcome::Completed)
        PrintTree(sink, rootNode, path, store);
    PrintSkippedItems(sink.skippedItems());
    PrintNotConvertedItems(store.notConvertedItems());
    return ExitStatus(outcome);
}

}  // namespace tolvane::cli
