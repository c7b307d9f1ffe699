// The conversion's own output folder: made by this run below the destination
// (never an existing one, except the folder of a stopped run that this one
// resumes), with every directory below it made by this run (or that run) as
// well, and every file created relative to those directories' descriptors so
// a symbolic link planted anywhere in the tree is never followed. The driver
// creates one per run and hands it to the worker, which alone uses it.
#pragma once

#include "base/Expected.h"
#include "model/ItemRecords.h"
#include "scan/ItemStore.h"
#include "convert/output/NewFileWriter.h"
#include "base/UniqueFd.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <set>

namespace tolvane {

enum class OutputTreeError {
    NotWritable,   // the destination refuses new entries (permissions, read-only file system)
    CannotCreate,  // anything else: no space, no free name, ...
};

struct OutputTreeFailure {
    OutputTreeError kind = OutputTreeError::CannotCreate;
    QString reason;
};

class OutputTree {
public:
    // Makes destination/baseName, or baseName-2, baseName-3, ... when the
    // name is taken (by anything: folder, file or link); the kind of failure
    // and a reason when no folder could be made.
    static Expected<std::unique_ptr<OutputTree>, OutputTreeFailure> Create(const QString& destinationPath,
                                                                            const QString& baseName);

    // The folder of a stopped run, to continue it: `directories` (relative
    // to it) are those that run made, taken again by the first folder that
    // asks for the same place, as that run's did. Refused while another
    // conversion is writing into it.
    static Expected<std::unique_ptr<OutputTree>, OutputTreeFailure> Adopt(const QString& folderPath,
                                                                           std::set<QString> directories);

    OutputTree(const OutputTree&) = delete;
    OutputTree& operator=(const OutputTree&) = delete;
    ~OutputTree();

    // The folder really made, as text ("DEST/Vorsk-Recovery-5-3-2011 9-7-2").
    const QString& rootPath() const { return rootPath_; }

    // Makes the directory of every folder node (cleaned export path, cleaned
    // name); returns how many folder directories are there afterwards. A
    // directory that cannot be made only fails the records of that folder.
    int PrepareFolders(const RecordList<FolderNode>& folderNodes);

    // The directory for a folder key ("\Top-of-Personal-Folders\Inbox"), with
    // the layout of DirectoryForFolderKey, made by this run when missing. Two
    // keys that would share a directory there (names cut at the same length,
    // or made the same by the cleaning) get directories of their own: the
    // later one's name ends in "-2", "-3", ...; so does a name something
    // else in the tree already has (the manifest, a file). The descriptor
    // stays owned by the tree; NoDirectory with a reason when a directory on
    // the way cannot be made.
    [[nodiscard]] Expected<int, WriteError> DirectoryFor(const QString& folderKey);
    // The path of the folder key's directory as text, once DirectoryFor has
    // placed it (else the plain layout).
    QString DirectoryPath(const QString& folderKey) const;

    // A new file in the folder key's directory (see WriteNewFileAt); the
    // result's path is the file's path as text.
    [[nodiscard]] SaveResult CreateFile(const QString& folderKey, const NameForAttempt& nameForAttempt,
                                        const ContentWriter& content);
    [[nodiscard]] SaveResult CreateFile(const QString& folderKey, const NameForAttempt& nameForAttempt,
                                        const QByteArray& content);

    // A file made for growing: its descriptor, its name in its directory
    // and its path as text.
    struct GrowingFile {
        UniqueFd fd;
        QString name;
        QString path;
    };

    // A new file that grows while the run goes on (an mbox file, the
    // manifest), open for reading and appending in the folder key's
    // directory (the output folder itself for an empty key): the first name
    // from `nameForAttempt` that is free.
    [[nodiscard]] Expected<GrowingFile, WriteError> CreateGrowingFile(const QString& folderKey,
                                                                      const NameForAttempt& nameForAttempt);

    // The growing file `name` made earlier by this run, open again for
    // reading and appending (descriptors are closed when many are open).
    [[nodiscard]] Expected<UniqueFd, WriteError> ReopenGrowingFile(const QString& folderKey, const QString& name);

    // A growing file under a temporary's name (NewTemporaryName) in the
    // folder key's directory, for content no reader may see before it is
    // whole. ReopenGrowingFile opens it again by the name it got.
    [[nodiscard]] Expected<GrowingFile, WriteError> CreateHiddenGrowingFile(const QString& folderKey);

    // Puts the file `from` in the folder key's directory in the place of
    // `to`, which this run made (a placeholder of the same directory), in
    // one step: a reader sees the old file or the new one, never a part.
    [[nodiscard]] WriteStep ReplaceFile(const QString& folderKey, const QString& from, const QString& to);

    // Removes the file `name` this run made in the folder key's directory.
    bool RemoveFile(const QString& folderKey, const QString& name);
    // Removes what is at `relativePath` ("a/b/c.eml", relative to the output
    // folder; never a directory), going there one name at a time without
    // following a link; why not when it cannot.
    [[nodiscard]] WriteStep RemoveBelowRoot(const QString& relativePath);

    // A file without a name in the folder key's directory, for data that is
    // put together before it goes into a file that others share (a message
    // bound for an mbox file). Gone once closed.
    [[nodiscard]] Expected<UniqueFd, WriteError> CreateScratchFile(const QString& folderKey);

    // Makes scratch files like CreateScratchFile, in the output folder itself,
    // from any thread: the maker holds its own descriptor of that folder and
    // touches nothing else of the tree. The mail pass's read-ahead workers
    // compose a message too large for memory into one, on the destination's
    // disk, so the writer only copies finished bytes. Null when the folder
    // cannot be opened again.
    using ScratchFileMaker = std::function<Expected<UniqueFd, WriteError>()>;
    [[nodiscard]] ScratchFileMaker scratchFileMaker() const;

    // Keeps `name` in the output folder itself for a file of the run's own
    // (the manifest): no folder's directory takes it.
    void ReserveRootName(const QString& name) { reservedRootNames_.insert(name); }

    // Tests use named temporaries to exercise file systems without O_TMPFILE.
    void setTemporaryKind(TemporaryKind kind) { temporaryKind_ = kind; }

private:
    OutputTree(UniqueFd root, QString rootPath);

    UniqueFd root_;
    QString rootPath_;
    TemporaryKind temporaryKind_ = TemporaryKind::UnnamedWhereSupported;
    // Directories this run made, relative to the root ("a/b"); only these are ever opened again.
    std::set<QString> made_;
    // Directories an adopted folder held, not yet taken again.
    std::set<QString> inherited_;
    // Where each folder key (and each key above it) was placed, relative to the root.
    std::map<QString, QString> placeOfKey_;
    std::set<QString> reservedRootNames_;
    // Open descriptors of some of them, dropped all at once when too many are open.
    std::map<QString, UniqueFd> open_;
};

// A new file through `output` (see OutputTree::CreateFile); fails with its
// reason when the run made no output folder.
[[nodiscard]] SaveResult CreateFileIn(OutputTree* output, const QString& folderKey,
                                      const NameForAttempt& nameForAttempt, const ContentWriter& content);

}  // namespace tolvane
