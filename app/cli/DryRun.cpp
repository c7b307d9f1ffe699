// The plan of a conversion, without the conversion.
#include "app/cli/DryRun.h"

#include "app/cli/HeadlessScan.h"
#include "convert/output/ResumePlan.h"
#include "scan/FolderPaths.h"
#include "scan/ItemStore.h"

#include <QHash>
#include <QJsonArray>

#include <vector>

namespace tolvane::cli {

namespace {

struct PlannedFolder {
    QString path;
    qint64 items = 0;  // to be written
};

// The folders a run would write, in the tree's order, with their items: a
// walk of the folders alone counted them per folder; a whole scan (with
// --recover) holds their records instead.
std::vector<PlannedFolder> PlannedFolders(const DryRun& plan)
{
    QHash<QString, qint64> recordsByKey;
    const auto count = [&recordsByKey](const auto& records) {
        for (const auto& record : records)
            ++recordsByKey[record->folderKey];
    };
    count(plan.store->mailRecords());
    count(plan.store->contactRecords());
    count(plan.store->appointmentRecords());
    count(plan.store->otherItems());

    const RecordList<FolderNode> nodes = plan.store->folderNodes();
    const FolderPaths paths(nodes);
    std::vector<PlannedFolder> planned;
    for (const auto& node : nodes) {
        const QString key = FolderKeyOf(*node);
        if (!FolderPaths::IsSelected(key, plan.selectedKeys))
            continue;
        const qint64 listed = std::max<qint64>(node->listedItems, recordsByKey.value(key));
        const qint64 kept =
            plan.resume != nullptr ? static_cast<qint64>(plan.resume->KeptMailIn(paths.StoredPathOf(key))) : 0;
        planned.push_back({paths.PathOf(key), std::max<qint64>(listed - kept, 0)});
    }
    return planned;
}

}  // namespace

QStringList DryRunLines(const DryRun& plan)
{
    const std::vector<PlannedFolder> folders = PlannedFolders(plan);
    qint64 items = 0;
    for (const PlannedFolder& folder : folders)
        items += folder.items;
    QStringList lines;
    lines << QStringLiteral("Would write %1 %2 of %3 %4 from %5")
                 .arg(items)
                 .arg(items == 1 ? QStringLiteral("item") : QStringLiteral("items"))
                 .arg(folders.size())
                 .arg(folders.size() == 1 ? QStringLiteral("folder") : QStringLiteral("folders"))
                 .arg(TerminalText(plan.file));
    if (plan.resume != nullptr)
        lines << QStringLiteral("into the folder %1 it resumes (%2), keeping the %3 %4 written before if unchanged:")
                     .arg(TerminalText(plan.outputFolder), OutputFormatName(plan.format))
                     .arg(plan.resume->keptMailCount())
                     .arg(plan.resume->keptMailCount() == 1 ? QStringLiteral("mail") : QStringLiteral("mails"));
    else
        lines << QStringLiteral("into a new folder %1 (%2):")
                     .arg(TerminalText(plan.outputFolder), OutputFormatName(plan.format));
    for (const PlannedFolder& folder : folders)
        lines << QStringLiteral("  %1: %2").arg(TerminalText(folder.path)).arg(folder.items);
    lines << QStringLiteral("Nothing was written (--dry-run).");
    return lines;
}

QJsonObject DryRunJson(const DryRun& plan)
{
    QJsonArray folders;
    qint64 items = 0;
    for (const PlannedFolder& folder : PlannedFolders(plan)) {
        folders.append(QJsonObject{{QStringLiteral("path"), folder.path}, {QStringLiteral("items"), folder.items}});
        items += folder.items;
    }
    QJsonObject object{{QStringLiteral("file"), plan.file},
                       {QStringLiteral("dryRun"), true},
                       {QStringLiteral("outputFolder"), plan.outputFolder},
                       {QStringLiteral("format"), OutputFormatName(plan.format)},
                       {QStringLiteral("items"), items},
                       {QStringLiteral("folders"), folders}};
    if (plan.resume != nullptr) {
        object.insert(QStringLiteral("resumed"), true);
        object.insert(QStringLiteral("keptMail"), static_cast<qint64>(plan.resume->keptMailCount()));
    }
    return object;
}

}  // namespace tolvane::cli
