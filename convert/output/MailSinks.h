// The mail pass's output formats behind the sinks' interface (ItemSink.h):
// one message at a time, as eml, mbox, the mbox tree or Maildir.
#pragma once

#include "model/MailContent.h"
#include "convert/output/ItemSink.h"
#include "convert/output/MailFolderFiles.h"
#include "convert/output/MailFormats.h"
#include "convert/output/NewFileWriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tolvane {

class MailFolderPlan;
class OutputTree;

// One message as a sink takes it.
struct MailToSave {
    QString folderKey;   // the folder it comes from
    QString folderName;  // that folder's name, for a file named after the folder
    NameForAttempt fileName;  // the name of a file of its own, at each attempt
    // When it arrived, else the date it carries: what a file of its own is
    // dated by, what mbox's separator line and Maildir's name carry.
    std::optional<QDateTime> arrived;
    std::optional<AddrSpec> sender;  // whom the mbox separator line names
    MessageState state;
    // The composed bytes, or null when the message is composed while it is
    // written (`write` does both).
    const QByteArray* bytes = nullptr;
    ContentWriter write;                // the message's bytes into a descriptor
    std::optional<FileDigest> digest;   // of `bytes`, when already worked out
};

using MailSink = ItemSink<MailToSave>;

// The sink of `format`, writing into `output` (null: every save fails).
// `finishedFile` is told of every shared file (mbox) once it is whole, and
// of each Maildir folder's keyword file after the last message;
// `notPlacedFile` of every mbox file that could not be put in place, whose
// messages since its last placing are then not saved.
// In the formats of a mail client's folders (mbox, the mbox tree, Maildir),
// `mailFolders` names and places the folders (it outlives the sink), and
// each mail folder among `folderKeys` (the run's folders in
// the tree's order) gets its place whether it holds mail or not; the mbox
// tree puts them below a folder named `mailboxName`.
[[nodiscard]] std::unique_ptr<MailSink> MakeMailSink(OutputFormat format, OutputTree* output,
                                                     const MailFolderPlan& mailFolders,
                                                     const QStringList& folderKeys, const QString& mailboxName,
                                                     MboxFiles::FinishedFile finishedFile,
                                                     MboxFiles::NotPlacedFile notPlacedFile = {});

// Where the mbox files go: "mbox" in the output folder, so that only mail
// files are in it and a mail server can be pointed at it.
inline constexpr const char* kMboxDirectory = "mbox";

}  // namespace tolvane
