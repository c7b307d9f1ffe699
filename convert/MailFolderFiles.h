// Where the mail pass puts messages in the formats that are not one .eml file
// each: one mbox file per folder, appended to message by message, and a
// Maildir++ tree. Both write through the run's OutputTree and are used by the
// writer thread alone.
#pragma once

#include "convert/Manifest.h"
#include "convert/NewFileWriter.h"
#include "scan/FolderPaths.h"
#include "scan/UniqueFd.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace tolvane {

class MboxQuoter;
class OutputTree;

// Where one message went.
struct SavedMail {
    bool saved = false;
    QString reason;                // why not, when not saved
    QString path;                  // the file written, or appended to
    std::optional<qint64> offset;  // where the message starts in a shared file
    FileDigest digest;             // of the bytes written for the message
};

class MboxFiles {
public:
    explicit MboxFiles(OutputTree* output) : output_(output) {}

    // Appends a message to its folder's mbox file (made at the folder's first
    // message, named after the folder): the separator line, then the message
    // as `write` puts it into a descriptor, quoted. Whatever fails takes the
    // message's bytes out of the file again.
    [[nodiscard]] SavedMail Append(const QString& folderKey, const QString& folderName, const QByteArray& fromLine,
                                   const ContentWriter& write);
    [[nodiscard]] SavedMail Append(const QString& folderKey, const QString& folderName, const QByteArray& fromLine,
                                   const QByteArray& message);

private:
    struct OpenMbox {
        UniqueFd file;  // closed while many others are open
        QString name;
        QString path;
    };
    // The folder's mbox file, made when this is its first message.
    OpenMbox* FileFor(const QString& folderKey, const QString& folderName, QString* reason);
    // Writes what `feed` hands to its `emit` (quoted by the quoter it is
    // given), hashing it on the way.
    using Emit = std::function<bool(const QByteArray&)>;
    SavedMail AppendQuoted(OpenMbox& mbox, const QByteArray& fromLine,
                           const std::function<bool(MboxQuoter&, const Emit&, QString*)>& feed);

    OutputTree* output_;
    std::map<QString, OpenMbox> files_;  // by folder key
};

class MaildirTree {
public:
    // The tree goes into "Maildir" in the output folder; `topFolder` is the
    // mailbox's top folder name, whose mail goes into the tree's own cur/.
    MaildirTree(OutputTree* output, const FolderPaths* folders, QString topFolder)
        : output_(output), folders_(folders), topFolder_(std::move(topFolder))
    {
    }

    // One message file in the folder's cur/, named uniquely after its time
    // and its place in the run, with `info` (the flags) at the end.
    // `known`: the digest of what `write` writes, when already worked out.
    [[nodiscard]] SavedMail Save(const QString& folderKey, const std::optional<QDateTime>& time, const QString& info,
                                 const ContentWriter& write, const std::optional<FileDigest>& known);

private:
    // The folder's directory key below the output folder ("\Maildir\.Inbox"),
    // with its cur, new and tmp made.
    std::optional<QString> FolderFor(const QString& folderKey, QString* reason);

    OutputTree* output_;
    const FolderPaths* folders_;
    QString topFolder_;
    std::map<QString, QString> made_;  // folder key: Maildir directory key
    int sequence_ = 0;
};

// Sets a file's modification (and access) time, never following a link.
void SetFileTime(const QString& path, const QDateTime& time);

}  // namespace tolvane
