// What `tolvane-cli convert --dry-run` prints: the output folder a real run
// would make, and every folder it would write with the number of items the
// mailbox lists there. Nothing is written.
#pragma once

#include "convert/output/MailFormats.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace tolvane {
class ItemStore;
}

namespace tolvane::cli {

struct DryRun {
    QString file;
    QString outputFolder;  // the first name a run would try below the destination
    OutputFormat format = OutputFormat::Eml;
    QStringList selectedKeys;          // empty: every folder
    const ItemStore* store = nullptr;  // the folders walked (each with its count) or a whole scan
};

[[nodiscard]] QStringList DryRunLines(const DryRun& plan);
[[nodiscard]] QJsonObject DryRunJson(const DryRun& plan);

}  // namespace tolvane::cli
