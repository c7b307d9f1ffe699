// Where the mail pass puts messages in the formats that are not one .eml file
// each: one mbox file per folder, appended to message by message, and a
// Maildir++ tree. Both write through the run's OutputTree and are used by the
// writer thread alone.
#pragma once

#include "convert/output/MaildirKeywordLetters.h"
#include "convert/output/MaildirLayout.h"
#include "convert/output/Manifest.h"
#include "convert/output/NewFileWriter.h"
#include "convert/output/Sha256.h"
#include "scan/FolderPaths.h"
#include "base/UniqueFd.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace tolvane {

class MailFolderPlan;
class MboxQuoter;
class OutputTree;

// A folder's mbox file is written under a temporary's name and put in the
// place of its final name (an empty file made at its first message, which
// reserves the name) when the run moves on to another folder, and at the end:
// a run killed outright leaves every mbox file whole or empty, never ending in
// part of a message. A folder whose mail comes again later continues in a
// temporary copy of its finished file.
class MboxFiles {
public:
    // Told once for every mbox file put in place: its path and the digest of
    // all its bytes.
    using FinishedFile = std::function<void(const QString& path, const FileDigest& whole)>;
    // Told of a file that could not be put in place, with the reason: the
    // messages appended since it was last in place are not saved.
    using NotPlacedFile = std::function<void(const QString& path, const QString& reason)>;

    // Where a folder's file goes: the directory key for the OutputTree and
    // the file's name at each attempt.
    struct Place {
        QString directoryKey;
        NameForAttempt name;
    };
    using Placement = std::function<Place(const QString& folderKey, const QString& folderName)>;

    // Without a placement, a folder's file is "<folder name>.mbox" in the
    // folder key's own directory.
    explicit MboxFiles(OutputTree* output, FinishedFile finished = {}, Placement placement = {},
                       NotPlacedFile notPlaced = {})
        : output_(output),
          finished_(std::move(finished)),
          notPlaced_(std::move(notPlaced)),
          placement_(std::move(placement))
    {
    }
    MboxFiles(const MboxFiles&) = delete;
    MboxFiles& operator=(const MboxFiles&) = delete;
    // Puts every file still being written in place (PutAllInPlace).
    ~MboxFiles();

    // Appends a message to its folder's mbox file (made at the folder's first
    // message, named after the folder): `opening` (the separator line and
    // any lines that go before the message's own), then the message as
    // `write` puts it into a descriptor, quoted. Whatever fails takes the
    // message's bytes out of the file again. The path of the result is the
    // file's final path, and the result awaits the file's placing: the
    // message is saved once the file is told finished, not when it is not.
    [[nodiscard]] SaveResult Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                                    const ContentWriter& write);
    [[nodiscard]] SaveResult Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                                    const QByteArray& message);

    // Puts every file being written in its place; a problem (a file that
    // could not be put in place) comes back as its reason, one per file.
    QStringList PutAllInPlace();

    // Makes the folder's file, empty, unless it has one; why not when it
    // cannot be made. Told as finished like any other.
    [[nodiscard]] WriteStep EnsureFile(const QString& folderKey, const QString& folderName);

private:
    struct OpenMbox {
        UniqueFd file;       // the temporary; closed while many others are open
        QString directoryKey;  // where it is (the OutputTree's key)
        QString name;        // the final name, in that directory
        QString path;        // the final path
        QString temporary;   // the temporary's name while it is being written; empty once in place
        Sha256 whole;        // of every byte in the file
        qint64 size = 0;
        // The same of the file under its final name, as it was last put in
        // place: what the file is again when a later placing fails.
        Sha256 placedWhole;
        qint64 placedSize = 0;
    };
    // The folder's mbox file, open for appending: made when this is its
    // first message, continued when it was put in place before.
    Expected<OpenMbox*, WriteError> FileFor(const QString& folderKey, const QString& folderName);
    // A temporary that starts with the bytes of the finished file.
    WriteStep ContinueInTemporary(OpenMbox& mbox);
    // Puts one file in place; why not when it cannot be.
    WriteStep PutInPlace(OpenMbox& mbox);
    // Takes the file's final name with an empty file, which keeps it from
    // any other file; the entry is not yet in files_.
    WriteStep Reserve(const QString& folderKey, const QString& folderName, OpenMbox& mbox);
    // Writes what `feed` hands to its `emit` (quoted by the quoter it is
    // given), hashing it on the way.
    using Emit = std::function<WriteStep(const QByteArray&)>;
    SaveResult AppendQuoted(OpenMbox& mbox, const QByteArray& opening,
                            const std::function<WriteStep(MboxQuoter&, const Emit&)>& feed);

    OutputTree* output_;
    FinishedFile finished_;
    NotPlacedFile notPlaced_;
    Placement placement_;
    std::map<QString, OpenMbox> files_;  // by folder key
    QString writing_;                    // the folder key whose file was appended to last
    QStringList problems_;               // files that could not be put in place when the run moved on
};
class MaildirTree {
public:
    // The tree goes into "Maildir" in the output folder, each folder where
    // `layout` puts it (the mailbox's Inbox in the tree's own cur/) by the
    // names `plan` gives it (which outlives the tree). `finished` is
    // told of each folder's keyword file once the last message is written
    // (Finish).
    MaildirTree(OutputTree* output, const MailFolderPlan& plan, MaildirLayout layout,
                MboxFiles::FinishedFile finished = {})
        : output_(output), plan_(plan), layout_(std::move(layout)), finished_(std::move(finished))
    {
    }

    // One message file in the folder's cur/, named uniquely after its time
    // and its place in the run, with `info` (the flags) at the end, followed
    // by the letters of its `keywords` (MaildirKeywords) in its folder. A
    // keyword new to the folder is put in the folder's keyword file before
    // the message's file is named with its letter.
    // `known`: the digest of what `write` writes, when already worked out.
    [[nodiscard]] SaveResult Save(const QString& folderKey, const std::optional<QDateTime>& time, const QString& info,
                                  const QList<QByteArray>& keywords, const ContentWriter& write,
                                  const std::optional<FileDigest>& known);
    // A message of the folder a stopped run wrote and this one keeps: its
    // place in the run is taken, so the next file is numbered as that run's;
    // the letters that run gave its folder's keywords are taken over.
    void Kept(const QString& folderKey);
    // Makes the folder's directories, for a folder that holds no mail; why
    // not when they cannot be made.
    [[nodiscard]] WriteStep EnsureFolder(const QString& folderKey);

    // After the last message: every folder's keyword file as it stands then
    // (written again where it is not yet what the folder's letters say), each
    // told to `finished`; a problem comes back as its reason.
    [[nodiscard]] QStringList Finish();

private:
    // The folder's directory key below the output folder ("\Maildir\.Inbox"),
    // with its cur, new and tmp made.
    Expected<QString, WriteError> FolderFor(const QString& folderKey);

    // A Maildir directory's keyword letters, and whether its keyword file
    // holds them as they are.
    struct FolderKeywords {
        MaildirKeywordLetters letters;
        bool fileThere = false;
        bool fileCurrent = false;
    };
    // The keyword letters of a Maildir directory: at the first call, those
    // of the file a stopped run that this one resumes left there.
    FolderKeywords& KeywordsOf(const QString& directoryKey);
    // The letters of `keywords` in the directory, giving the new ones theirs.
    QString LettersFor(const QString& directoryKey, const QList<QByteArray>& keywords);
    // Puts `text` in the directory's keyword file in one step.
    WriteStep WriteKeywordFile(const QString& directoryKey, const QByteArray& text);

    OutputTree* output_;
    const MailFolderPlan& plan_;
    MaildirLayout layout_;
    MboxFiles::FinishedFile finished_;
    std::map<QString, QString> made_;  // folder key: Maildir directory key
    std::map<QString, FolderKeywords> keywords_;  // by Maildir directory key
    QStringList problems_;  // keyword files that could not be written
    int sequence_ = 0;
};


}  // namespace tolvane
