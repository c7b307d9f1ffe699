// Making the run's output folder and the directories below it with mkdirat,
// and handing out their descriptors. The root holds an advisory lock while
// the tree lives, so the clean-up of leftovers at the start of another run
// leaves a running conversion's temporaries alone.
#include "convert/output/OutputTree.h"
#include "scan/NativePath.h"

#include "convert/output/DirectoryAt.h"
#include "convert/output/OutputNaming.h"
#include "scan/ScanTexts.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>

#include <sys/file.h>
#include <unistd.h>

namespace tolvane {

namespace {

// Enough for every name a busy shared destination could use in one minute.
constexpr int kMaxFolderNameAttempts = 10000;
// Well below the usual limit of 1024 open files per process.
constexpr std::size_t kMaxOpenDirectories = 128;

QString JoinPath(const QString& directory, const QString& name)
{
    QString path = directory;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + name;
}

// The components of a folder key, as DirectoryForFolderKey reads them.
QStringList ComponentsOf(const QString& folderKey)
{
    QStringList components;
    for (const QString& part : folderKey.split(u'\\', Qt::SkipEmptyParts)) {
        if (part != QLatin1String("."))
            components.append(part);
    }
    return components;
}

bool IsPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace

OutputTree::OutputTree(UniqueFd root, QString rootPath) : root_(std::move(root)), rootPath_(std::move(rootPath))
{
    // Marks the folder as in use. Where the file system has no locks, only
    // this run's named temporaries are unprotected; unnamed ones need nothing.
    (void)::flock(root_.get(), LOCK_EX | LOCK_NB);
}

OutputTree::~OutputTree() = default;

Expected<std::unique_ptr<OutputTree>, OutputTreeFailure> OutputTree::Create(const QString& destinationPath,
                                                                             const QString& baseName)
{
    auto kindOf = [](int failure) {
        return IsPermissionError(failure) ? OutputTreeError::NotWritable : OutputTreeError::CannotCreate;
    };
    const UniqueFd destination = OpenDirectoryPath(destinationPath);
    if (!destination) {
        const int failure = errno;
        return Failed(OutputTreeFailure{kindOf(failure),
                                        QStringLiteral("cannot open %1: %2").arg(destinationPath, ErrnoText(failure))});
    }
    const QString base = SafeComponent(baseName);
    for (int attempt = 1; attempt <= kMaxFolderNameAttempts; ++attempt) {
        const QString name = NumberedComponent(base, attempt);
        UniqueFd root = MakeDirectoryBeneath(destination.get(), NativePath(name));
        if (root)
            return std::unique_ptr<OutputTree>(new OutputTree(std::move(root), JoinPath(destinationPath, name)));
        const int failure = errno;
        if (failure == EEXIST)
            continue;
        return Failed(OutputTreeFailure{kindOf(failure), QStringLiteral("cannot create the folder %1: %2")
                                                             .arg(JoinPath(destinationPath, name), ErrnoText(failure))});
    }
    return Failed(OutputTreeFailure{OutputTreeError::CannotCreate,
                                    QStringLiteral("no free name for a new folder %1 in %2").arg(base, destinationPath)});
}

Expected<std::unique_ptr<OutputTree>, OutputTreeFailure> OutputTree::Adopt(const QString& folderPath,
                                                                            std::set<QString> directories)
{
    UniqueFd root = OpenDirectoryPath(folderPath);
    if (!root) {
        const int failure = errno;
        return Failed(OutputTreeFailure{IsPermissionError(failure) ? OutputTreeError::NotWritable
                                                                   : OutputTreeError::CannotCreate,
                                        QStringLiteral("cannot open %1: %2").arg(folderPath, ErrnoText(failure))});
    }
    if (::flock(root.get(), LOCK_EX | LOCK_NB) != 0)
        return Failed(OutputTreeFailure{OutputTreeError::CannotCreate,
                                        QStringLiteral("a conversion is writing into %1").arg(folderPath)});
    std::unique_ptr<OutputTree> tree(new OutputTree(std::move(root), folderPath));
    tree->inherited_ = std::move(directories);
    return tree;
}

int OutputTree::PrepareFolders(const RecordList<FolderNode>& folderNodes)
{
    int prepared = 0;
    for (const auto& node : folderNodes) {
        const QString key = CleanFolderKey(node->exportPath) + u'\\' + CleanFolderKey(node->name);
        QString reason;
        if (DirectoryFor(key, &reason) >= 0)
            ++prepared;
    }
    return prepared;
}

int OutputTree::DirectoryFor(const QString& folderKey, QString* reason)
{
    if (open_.size() >= kMaxOpenDirectories)
        open_.clear();
    int parent = root_.get();
    QString keySoFar;
    QString relative;
    for (const QString& component : ComponentsOf(folderKey)) {
        keySoFar += u'\\' + component;
        if (const auto placed = placeOfKey_.find(keySoFar); placed != placeOfKey_.end()) {
            relative = placed->second;
            if (const auto found = open_.find(relative); found != open_.end()) {
                parent = found->second.get();
                continue;
            }
            UniqueFd directory = OpenDirectoryBeneath(parent, NativePath(relative.section(u'/', -1)));
            if (!directory) {
                *reason = QStringLiteral("the directory %1 was changed meanwhile: %2")
                              .arg(JoinPath(rootPath_, relative), ErrnoText(errno));
                return -1;
            }
            parent = directory.get();
            open_[relative] = std::move(directory);
            continue;
        }
        // A new place: the first name of the component that nothing in its
        // directory has yet.
        const QString base = SafeComponent(component);
        const QString above = relative;
        UniqueFd directory;
        for (int attempt = 1; attempt <= kMaxFolderNameAttempts && !directory; ++attempt) {
            const QString name = attempt == 1 ? base : FileNameFor(base, QString(), QString(), attempt);
            const QString candidate = above.isEmpty() ? name : above + u'/' + name;
            if (made_.count(candidate) != 0 || (above.isEmpty() && reservedRootNames_.count(candidate) != 0))
                continue;
            // The stopped run's directory for the same place: taken again.
            if (inherited_.erase(candidate) != 0) {
                directory = OpenDirectoryBeneath(parent, NativePath(name));
                if (directory) {
                    relative = candidate;
                    break;
                }
            }
            directory = MakeDirectoryBeneath(parent, NativePath(name));
            if (directory) {
                relative = candidate;
                break;
            }
            const int failure = errno;
            if (failure != EEXIST) {
                *reason = QStringLiteral("cannot create the directory %1: %2")
                              .arg(JoinPath(rootPath_, candidate), ErrnoText(failure));
                return -1;
            }
        }
        if (!directory) {
            *reason = QStringLiteral("no free name for the directory %1").arg(JoinPath(rootPath_, above + u'/' + base));
            return -1;
        }
        made_.insert(relative);
        placeOfKey_[keySoFar] = relative;
        parent = directory.get();
        open_[relative] = std::move(directory);
    }
    return parent;
}

QString OutputTree::DirectoryPath(const QString& folderKey) const
{
    QString key;
    for (const QString& component : ComponentsOf(folderKey))
        key += u'\\' + component;
    if (key.isEmpty())
        return rootPath_;
    if (const auto placed = placeOfKey_.find(key); placed != placeOfKey_.end())
        return JoinPath(rootPath_, placed->second);
    return DirectoryForFolderKey(rootPath_, folderKey);
}

SaveResult OutputTree::CreateFile(const QString& folderKey, const NameForAttempt& nameForAttempt,
                                  const ContentWriter& content)
{
    QString reason;
    const int directory = DirectoryFor(folderKey, &reason);
    if (directory < 0)
        return NotSaved(WriteFailure::NoDirectory, reason);
    return WriteNewFileAt(directory, DirectoryPath(folderKey), nameForAttempt, content,
                          temporaryKind_);
}

UniqueFd OutputTree::CreateGrowingFile(const QString& folderKey, const NameForAttempt& nameForAttempt, QString* path,
                                       QString* reason)
{
    const int directory = DirectoryFor(folderKey, reason);
    if (directory < 0)
        return UniqueFd();
    const QString directoryPath = DirectoryPath(folderKey);
    for (int attempt = 1; attempt <= kMaxFolderNameAttempts; ++attempt) {
        const QString name = nameForAttempt(attempt);
        UniqueFd file(::openat(directory, NativePath(name).constData(),
                               O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file) {
            *path = JoinPath(directoryPath, name);
            return file;
        }
        if (errno != EEXIST) {
            *reason = QStringLiteral("cannot create %1: %2").arg(JoinPath(directoryPath, name), ErrnoText(errno));
            return UniqueFd();
        }
    }
    *reason = QStringLiteral("no free name for a new file in %1").arg(directoryPath);
    return UniqueFd();
}

UniqueFd OutputTree::ReopenGrowingFile(const QString& folderKey, const QString& name, QString* reason)
{
    const int directory = DirectoryFor(folderKey, reason);
    if (directory < 0)
        return UniqueFd();
    UniqueFd file(::openat(directory, NativePath(name).constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (!file)
        *reason = QStringLiteral("cannot open %1 again: %2")
                      .arg(JoinPath(DirectoryPath(folderKey), name), ErrnoText(errno));
    return file;
}

UniqueFd OutputTree::CreateHiddenGrowingFile(const QString& folderKey, QString* name, QString* reason)
{
    const int directory = DirectoryFor(folderKey, reason);
    if (directory < 0)
        return UniqueFd();
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        const QByteArray temporary = NewTemporaryName();
        UniqueFd file(::openat(directory, temporary.constData(),
                               O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file) {
            *name = QString::fromLatin1(temporary);
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    *reason = QStringLiteral("cannot make a temporary file in %1: %2")
                  .arg(DirectoryPath(folderKey), ErrnoText(errno));
    return UniqueFd();
}

bool OutputTree::ReplaceFile(const QString& folderKey, const QString& from, const QString& to, QString* reason)
{
    const int directory = DirectoryFor(folderKey, reason);
    if (directory < 0)
        return false;
    if (::renameat(directory, NativePath(from).constData(), directory, NativePath(to).constData()) == 0)
        return true;
    *reason = QStringLiteral("cannot put %1 in place: %2")
                  .arg(JoinPath(DirectoryPath(folderKey), to), ErrnoText(errno));
    return false;
}

bool OutputTree::RemoveFile(const QString& folderKey, const QString& name)
{
    QString reason;
    const int directory = DirectoryFor(folderKey, &reason);
    return directory >= 0 && ::unlinkat(directory, NativePath(name).constData(), 0) == 0;
}

bool OutputTree::RemoveBelowRoot(const QString& relativePath, QString* reason)
{
    const QStringList names = relativePath.split(u'/');
    UniqueFd held;
    int directory = root_.get();
    // A file already gone (another run's clean-up took it first) is removed.
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        held = OpenDirectoryBeneath(directory, NativePath(names[i]));
        if (!held) {
            if (errno == ENOENT)
                return true;
            *reason = QStringLiteral("cannot remove %1: %2").arg(JoinPath(rootPath_, relativePath), ErrnoText(errno));
            return false;
        }
        directory = held.get();
    }
    if (names.last().isEmpty()
        || (::unlinkat(directory, NativePath(names.last()).constData(), 0) != 0 && errno != ENOENT)) {
        *reason = QStringLiteral("cannot remove %1: %2").arg(JoinPath(rootPath_, relativePath), ErrnoText(errno));
        return false;
    }
    return true;
}

namespace {

// An unnamed file in `directory` where the file system has them, else a
// named one removed at once (one left by a killed run carries the prefix the
// sweeper knows). `shownPath` names the directory in the reason.
UniqueFd ScratchFileAt(int directory, TemporaryKind kind, const QString& shownPath, QString* reason)
{
    if (kind == TemporaryKind::UnnamedWhereSupported) {
        UniqueFd file(::openat(directory, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (file)
            return file;
    }
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        const QByteArray name = ScratchTemporaryName(::getpid(), attempt);
        UniqueFd file(::openat(directory, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file) {
            (void)::unlinkat(directory, name.constData(), 0);
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    *reason = QStringLiteral("cannot make a temporary file in %1: %2").arg(shownPath, ErrnoText(errno));
    return UniqueFd();
}

}  // namespace

UniqueFd OutputTree::CreateScratchFile(const QString& folderKey, QString* reason)
{
    const int directory = DirectoryFor(folderKey, reason);
    if (directory < 0)
        return UniqueFd();
    return ScratchFileAt(directory, temporaryKind_, DirectoryPath(folderKey), reason);
}

OutputTree::ScratchFileMaker OutputTree::scratchFileMaker() const
{
    auto root = std::make_shared<const UniqueFd>(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    if (!*root)
        return {};
    return [root, kind = temporaryKind_, path = rootPath_](QString* reason) {
        return ScratchFileAt(root->get(), kind, path, reason);
    };
}

SaveResult OutputTree::CreateFile(const QString& folderKey, const NameForAttempt& nameForAttempt,
                                  const QByteArray& content)
{
    return CreateFile(folderKey, nameForAttempt, BytesWriter(content));
}

SaveResult CreateFileIn(OutputTree* output, const QString& folderKey, const NameForAttempt& nameForAttempt,
                        const ContentWriter& content)
{
    if (output == nullptr)
        return NotSaved(WriteFailure::NoOutputFolder, QStringLiteral("no output folder was made"));
    return output->CreateFile(folderKey, nameForAttempt, content);
}

}  // namespace tolvane
