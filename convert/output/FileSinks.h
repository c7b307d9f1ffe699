// The sinks of the items that are not mail (ItemSink.h): each item a file of
// its own in its folder's directory, never replacing one that is there.
// Contacts and distribution lists go out as vCards, a folder's appointments,
// tasks and notes as one iCalendar file, and an attachment too large for
// that calendar as a file beside it.
#pragma once

#include "convert/output/ItemSink.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tolvane {

class OutputTree;

// One item as a file sink takes it, already composed.
struct FileToSave {
    QString folderKey;  // the folder whose directory the file goes into
    // What the file is named after; for an attachment, its own file name,
    // suffix and all.
    QString nameText;
    QByteArray content;
    // A name the file must leave to another that comes later (the calendar
    // an attachment goes beside); empty when there is none.
    QString nameLeftFree;
};

enum class FileFormat {
    VCard,           // NAME.vcf, NAME-2.vcf, ...
    ICalendar,       // NAME.ics, ...
    AttachmentFile,  // under the attachment's own name and suffix
};

using FileSink = ItemSink<FileToSave>;

// The sink of `format`, writing into `output` (null: every save fails). A
// saved file's result carries the digest of its content.
[[nodiscard]] std::unique_ptr<FileSink> MakeFileSink(FileFormat format, OutputTree* output);

}  // namespace tolvane
