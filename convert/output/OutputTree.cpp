// Making the run's output folder and the directories below it with mkdirat,
// and handing out their descriptors. The root holds an advisory lock while
// the tree lives, so the clean-up of leftovers at the start of another run
// leaves a running conversion's temporaries alone.
#include "convert/output/OutputTree.h"
#include "base/NativePath.h"

#include "base/DirectoryAt.h"
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

// A destination that refuses new entries, or anything else.
OutputTreeError TreeErrorOf(SystemErrorKind kind)
{
    return kind == SystemErrorKind::Denied ? OutputTreeError::NotWritable : OutputTreeError::CannotCreate;
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
    const OpenedDirectory destination = OpenDirectoryPath(destinationPath);
    if (!destination)
        return Failed(OutputTreeFailure{TreeErrorOf(destination.error().kind),
                                        QStringLiteral("cannot open %1: %2").arg(destinationPath, destination.error().reason)});
    const QString base = SafeComponent(baseName);
    for (int attempt = 1; attempt <= kMaxFolderNameAttempts; ++attempt) {
        const QString name = NumberedComponent(base, attempt);
        OpenedDirectory root = MakeDirectoryBeneath(destination->get(), NativePath(name));
        if (root)
            return std::unique_ptr<OutputTree>(new OutputTree(std::move(*root), JoinPath(destinationPath, name)));
        if (root.error().kind == SystemErrorKind::Exists)
            continue;
        return Failed(OutputTreeFailure{TreeErrorOf(root.error().kind), QStringLiteral("cannot create the folder %1: %2")
                                                             .arg(JoinPath(destinationPath, name), root.error().reason)});
    }
    return Failed(OutputTreeFailure{OutputTreeError::CannotCreate,
                                    QStringLiteral("no free name for a new folder %1 in %2").arg(base, destinationPath)});
}

Expected<std::unique_ptr<OutputTree>, OutputTreeFailure> OutputTree::Adopt(const QString& folderPath,
                                                                            std::set<QString> directories)
{
    OpenedDirectory root = OpenDirectoryPath(folderPath);
    if (!root)
        return Failed(OutputTreeFailure{TreeErrorOf(root.error().kind),
                                        QStringLiteral("cannot open %1: %2").arg(folderPath, root.error().reason)});
    if (::flock(root->get(), LOCK_EX | LOCK_NB) != 0)
        return Failed(OutputTreeFailure{OutputTreeError::CannotCreate,
                                        QStringLiteral("a conversion is writing into %1").arg(folderPath)});
    std::unique_ptr<OutputTree> tree(new OutputTree(std::move(*root), folderPath));
    tree->inherited_ = std::move(directories);
    return tree;
}

int OutputTree::PrepareFolders(const RecordList<FolderNode>& folderNodes)
{
    int prepared = 0;
    for (const auto& node : folderNodes) {
        const QString key = CleanFolderKey(node->exportPath) + u'\\' + CleanFolderKey(node->name);
        if (DirectoryFor(key))
            ++prepared;
    }
    return prepared;
}

Expected<int, WriteError> OutputTree::DirectoryFor(const QString& folderKey)
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
            OpenedDirectory directory = OpenDirectoryBeneath(parent, NativePath(relative.section(u'/', -1)));
            if (!directory)
                return NotSaved(WriteFailure::NoDirectory, QStringLiteral("the directory %1 was changed meanwhile: %2")
                                                               .arg(JoinPath(rootPath_, relative), directory.error().reason));
            parent = directory->get();
            open_[relative] = std::move(*directory);
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
                if (OpenedDirectory taken = OpenDirectoryBeneath(parent, NativePath(name))) {
                    directory = std::move(*taken);
                    relative = candidate;
                    break;
                }
            }
            OpenedDirectory made = MakeDirectoryBeneath(parent, NativePath(name));
            if (made) {
                directory = std::move(*made);
                relative = candidate;
                break;
            }
            if (made.error().kind != SystemErrorKind::Exists)
                return NotSaved(WriteFailure::NoDirectory, QStringLiteral("cannot create the directory %1: %2")
                                                               .arg(JoinPath(rootPath_, candidate), made.error().reason));
        }
        if (!directory)
            return NotSaved(WriteFailure::NoDirectory,
                            QStringLiteral("no free name for the directory %1").arg(JoinPath(rootPath_, above + u'/' + base)));
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
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    return WriteNewFileAt(*directory, DirectoryPath(folderKey), nameForAttempt, content, temporaryKind_);
}

Expected<OutputTree::GrowingFile, WriteError> OutputTree::CreateGrowingFile(const QString& folderKey,
                                                                            const NameForAttempt& nameForAttempt)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    const QString directoryPath = DirectoryPath(folderKey);
    for (int attempt = 1; attempt <= kMaxFolderNameAttempts; ++attempt) {
        const QString name = nameForAttempt(attempt);
        UniqueFd file(::openat(*directory, NativePath(name).constData(),
                               O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file)
            return GrowingFile{std::move(file), name, JoinPath(directoryPath, name)};
        if (errno != EEXIST)
            return NotSaved(WriteFailure::FileSystem,
                            QStringLiteral("cannot create %1: %2").arg(JoinPath(directoryPath, name), ErrnoText(errno)));
    }
    return NotSaved(WriteFailure::NoFreeName, QStringLiteral("no free name for a new file in %1").arg(directoryPath));
}

Expected<UniqueFd, WriteError> OutputTree::ReopenGrowingFile(const QString& folderKey, const QString& name)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    UniqueFd file(::openat(*directory, NativePath(name).constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (!file)
        return NotSaved(WriteFailure::FileSystem, QStringLiteral("cannot open %1 again: %2")
                                                      .arg(JoinPath(DirectoryPath(folderKey), name), ErrnoText(errno)));
    return file;
}

Expected<OutputTree::GrowingFile, WriteError> OutputTree::CreateHiddenGrowingFile(const QString& folderKey)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        const QByteArray temporary = NewTemporaryName();
        UniqueFd file(::openat(*directory, temporary.constData(),
                               O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file) {
            const QString name = QString::fromLatin1(temporary);
            return GrowingFile{std::move(file), name, JoinPath(DirectoryPath(folderKey), name)};
        }
        if (errno != EEXIST)
            break;
    }
    return NotSaved(WriteFailure::FileSystem, QStringLiteral("cannot make a temporary file in %1: %2")
                                                  .arg(DirectoryPath(folderKey), ErrnoText(errno)));
}

WriteStep OutputTree::ReplaceFile(const QString& folderKey, const QString& from, const QString& to)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    if (::renameat(*directory, NativePath(from).constData(), *directory, NativePath(to).constData()) == 0)
        return {};
    return NotSaved(WriteFailure::FileSystem, QStringLiteral("cannot put %1 in place: %2")
                                                  .arg(JoinPath(DirectoryPath(folderKey), to), ErrnoText(errno)));
}

bool OutputTree::RemoveFile(const QString& folderKey, const QString& name)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    return directory && ::unlinkat(*directory, NativePath(name).constData(), 0) == 0;
}

WriteStep OutputTree::RemoveBelowRoot(const QString& relativePath)
{
    const QStringList names = relativePath.split(u'/');
    UniqueFd held;
    int directory = root_.get();
    // A file already gone (another run's clean-up took it first) is removed.
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        OpenedDirectory next = OpenDirectoryBeneath(directory, NativePath(names[i]));
        if (!next) {
            if (next.error().kind == SystemErrorKind::NotFound)
                return {};
            return NotSaved(WriteFailure::FileSystem, QStringLiteral("cannot remove %1: %2")
                                                          .arg(JoinPath(rootPath_, relativePath), next.error().reason));
        }
        held = std::move(*next);
        directory = held.get();
    }
    if (names.last().isEmpty()
        || (::unlinkat(directory, NativePath(names.last()).constData(), 0) != 0 && errno != ENOENT))
        return NotSaved(WriteFailure::FileSystem, QStringLiteral("cannot remove %1: %2")
                                                      .arg(JoinPath(rootPath_, relativePath), ErrnoText(errno)));
    return {};
}

namespace {

// An unnamed file in `directory` where the file system has them, else a
// named one removed at once (one left by a killed run carries the prefix the
// sweeper knows). `shownPath` names the directory in the reason.
Expected<UniqueFd, WriteError> ScratchFileAt(int directory, TemporaryKind kind, const QString& shownPath)
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
    return NotSaved(WriteFailure::FileSystem,
                    QStringLiteral("cannot make a temporary file in %1: %2").arg(shownPath, ErrnoText(errno)));
}

}  // namespace

Expected<UniqueFd, WriteError> OutputTree::CreateScratchFile(const QString& folderKey)
{
    const Expected<int, WriteError> directory = DirectoryFor(folderKey);
    if (!directory)
        return Failed(directory.error());
    return ScratchFileAt(*directory, temporaryKind_, DirectoryPath(folderKey));
}

OutputTree::ScratchFileMaker OutputTree::scratchFileMaker() const
{
    auto root = std::make_shared<const UniqueFd>(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    if (!*root)
        return {};
    return [root, kind = temporaryKind_, path = rootPath_] { return ScratchFileAt(root->get(), kind, path); };
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
