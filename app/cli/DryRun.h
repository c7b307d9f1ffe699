// What `tolvane-cli convert --dry-run` prints: the output folder a real run
// would make (or resume), and every folder it would write with the number of
// items it would write there: those the mailbox lists, less the mail a
// resumed folder keeps. Nothing is written.
#pragma once

#include "convert/output/MailFormats.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace tolvane {
class ItemStore;
class ResumePlan;
}

namespace tolvane::cli {

struct DryRun {
    QString file;
    QString outputFolder;  // the first name a run would try below the destination, or the folder resumed
    OutputFormat format = OutputFormat::Eml;
    QStringList selectedKeys;          // empty: every folder
    const ItemStore* store = nullptr;  // the folders walked (each with its count) or a whole scan
    // --resume: the plan of the folder resumed, whose kept mail is not
    // written again; null for a new folder.
    const ResumePlan* resume = nullptr;
};

[[nodiscard]] QStringList DryRunLines(const DryRun& plan);
[[nodiscard]] QJsonObject DryRunJson(const DryRun& plan);

}  // namespace tolvane::cli
