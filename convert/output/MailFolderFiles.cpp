// mbox files and the Maildir tree of the mail pass.
#include "convert/output/MailFolderFiles.h"

#include "base/DirectoryAt.h"
#include "base/FileBeneath.h"
#include "convert/output/MailFolderPlan.h"
#include "convert/output/MailFormats.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/Sha256.h"
#include "base/NativePath.h"
#include "base/ReadAt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace tolvane {

namespace {

// Open mbox files kept at once; the others are opened again when needed.
constexpr std::size_t kOpenMboxFiles = 64;

// Hands every piece of the file open as `fd`, from its start, to `each`,
// until `each` fails. A read that fails is a Content failure: `readFailure`
// followed by the system's words.
WriteStep ForEachPiece(int fd, const std::function<WriteStep(QByteArrayView)>& each, const QString& readFailure)
{
    std::vector<char> buffer(1 << 16);
    for (off_t at = 0;;) {
        const auto got = ReadAt(fd, buffer.data(), static_cast<qint64>(buffer.size()), at);
        if (!got)
            return NotSaved(WriteFailure::Content, readFailure + got.error().reason);
        if (*got == 0)
            return {};
        at += *got;
        if (WriteStep taken = each(QByteArrayView(buffer.data(), *got)); !taken)
            return taken;
    }
}

}  // namespace

MboxFiles::~MboxFiles()
{
    // Reached with the files still open only when the run unwinds (memory
    // ran out): they are put in place all the same, and a failure here has
    // nobody left to tell.
    try {
        (void)PutAllInPlace();
    } catch (...) {
    }
}

QStringList MboxFiles::PutAllInPlace()
{
    QStringList problems = std::exchange(problems_, QStringList());
    for (auto& [key, mbox] : files_) {
        if (mbox.temporary.isEmpty())
            continue;
        if (const WriteStep placed = PutInPlace(mbox); !placed)
            problems << placed.error().reason;
    }
    writing_.clear();
    return problems;
}

WriteStep MboxFiles::PutInPlace(OpenMbox& mbox)
{
    const QString& directory = mbox.directoryKey;
    // No message got in (the disk was full from the first): no file at all,
    // rather than an empty one nobody lists.
    if (mbox.size == 0) {
        mbox.file.reset();
        (void)output_->RemoveFile(directory, mbox.temporary);
        (void)output_->RemoveFile(directory, mbox.name);
        mbox.temporary.clear();
        mbox.name.clear();  // a later message of the folder makes the file anew
        return {};
    }
    // No flush to the disk first: like every other file of the run, the file
    // is whole for any reader once named, whatever happens to the process;
    // a crash of the machine itself is the file system's to order.
    mbox.file.reset();
    if (WriteStep replaced = output_->ReplaceFile(directory, mbox.temporary, mbox.name); !replaced) {
        // The messages in the temporary never reach the file: they are given
        // up, and a later message of the folder starts again from the file
        // as it is under its name. The temporary stays where it is.
        mbox.temporary.clear();
        mbox.whole = mbox.placedWhole;
        mbox.size = mbox.placedSize;
        if (notPlaced_)
            notPlaced_(mbox.path, replaced.error().reason);
        return replaced;
    }
    mbox.temporary.clear();
    mbox.placedWhole = mbox.whole;
    mbox.placedSize = mbox.size;
    if (finished_)
        finished_(mbox.path, FileDigest{mbox.size, mbox.whole.HexResult()});
    return {};
}

WriteStep MboxFiles::ContinueInTemporary(OpenMbox& mbox)
{
    const QString& directory = mbox.directoryKey;
    const Expected<UniqueFd, WriteError> finished = output_->ReopenGrowingFile(directory, mbox.name);
    if (!finished)
        return Failed(finished.error());
    Expected<OutputTree::GrowingFile, WriteError> copy = output_->CreateHiddenGrowingFile(directory);
    if (!copy)
        return Failed(copy.error());
    const auto copyPiece = [&](QByteArrayView piece) { return WriteAllTo(copy->fd.get(), piece.data(), piece.size()); };
    const QString readFailure = QStringLiteral("cannot read %1 again: ").arg(mbox.path);
    if (WriteStep copied = ForEachPiece(finished->get(), copyPiece, readFailure); !copied) {
        copy->fd.reset();
        (void)output_->RemoveFile(directory, copy->name);
        return copied;
    }
    mbox.file = std::move(copy->fd);
    mbox.temporary = copy->name;
    return {};
}

Expected<MboxFiles::OpenMbox*, WriteError> MboxFiles::FileFor(const QString& folderKey, const QString& folderName)
{
    // The run has moved on: the folder it wrote last is done.
    if (!writing_.isEmpty() && writing_ != folderKey) {
        if (auto previous = files_.find(writing_); previous != files_.end() && !previous->second.temporary.isEmpty()) {
            if (const WriteStep placed = PutInPlace(previous->second); !placed)
                problems_ << placed.error().reason;
        }
    }
    writing_ = folderKey;
    auto found = files_.find(folderKey);
    if (found != files_.end() && found->second.name.isEmpty()) {
        files_.erase(found);
        found = files_.end();
    }
    if (found != files_.end() && found->second.file)
        return &found->second;
    std::size_t open = 0;
    for (const auto& [key, mbox] : files_)
        open += mbox.file ? 1 : 0;
    if (open >= kOpenMboxFiles) {
        for (auto& [key, mbox] : files_)
            mbox.file.reset();
    }
    if (found != files_.end()) {
        OpenMbox& mbox = found->second;
        if (mbox.temporary.isEmpty()) {
            if (WriteStep continued = ContinueInTemporary(mbox); !continued)
                return Failed(continued.error());
            return &mbox;
        }
        Expected<UniqueFd, WriteError> reopened = output_->ReopenGrowingFile(mbox.directoryKey, mbox.temporary);
        if (!reopened)
            return Failed(reopened.error());
        mbox.file = std::move(*reopened);
        return &mbox;
    }
    // The messages go into a temporary beside the final name.
    OpenMbox mbox;
    if (WriteStep reserved = Reserve(folderKey, folderName, mbox); !reserved)
        return Failed(reserved.error());
    Expected<OutputTree::GrowingFile, WriteError> temporary = output_->CreateHiddenGrowingFile(mbox.directoryKey);
    if (!temporary)
        return Failed(temporary.error());
    mbox.file = std::move(temporary->fd);
    mbox.temporary = temporary->name;
    return &files_.insert_or_assign(folderKey, std::move(mbox)).first->second;
}

WriteStep MboxFiles::Reserve(const QString& folderKey, const QString& folderName, OpenMbox& mbox)
{
    Place place;
    if (placement_) {
        place = placement_(folderKey, folderName);
    } else {
        const QString nameText = folderName.trimmed().isEmpty() ? QStringLiteral("Folder") : folderName;
        place = Place{folderKey, [nameText](int attempt) {
                          return FileNameFor(nameText, QString(), QStringLiteral(".mbox"), attempt);
                      }};
    }
    const Expected<OutputTree::GrowingFile, WriteError> placeholder =
        output_->CreateGrowingFile(place.directoryKey, place.name);
    if (!placeholder)
        return Failed(placeholder.error());
    mbox.directoryKey = place.directoryKey;
    mbox.path = placeholder->path;
    mbox.name = placeholder->name;
    return {};
}

WriteStep MboxFiles::EnsureFile(const QString& folderKey, const QString& folderName)
{
    if (const auto found = files_.find(folderKey); found != files_.end() && !found->second.name.isEmpty())
        return {};
    OpenMbox mbox;
    if (WriteStep reserved = Reserve(folderKey, folderName, mbox); !reserved)
        return reserved;
    if (finished_)
        finished_(mbox.path, FileDigest{0, Sha256().HexResult()});
    files_.insert_or_assign(folderKey, std::move(mbox));
    return {};
}

SaveResult MboxFiles::AppendQuoted(OpenMbox& mbox, const QByteArray& opening,
                                   const std::function<WriteStep(MboxQuoter&, const Emit&)>& feed)
{
    struct stat info {};
    if (::fstat(mbox.file.get(), &info) != 0)
        return NotSaved(WriteFailure::FileSystem,
                        QStringLiteral("cannot read the size of %1: %2").arg(mbox.path, ErrnoText(errno)));
    const qint64 start = info.st_size;
    const Sha256 wholeBefore = mbox.whole;
    Sha256 hash;
    qint64 size = 0;
    const Emit emit = [&](const QByteArray& bytes) {
        hash.Add(bytes);
        mbox.whole.Add(bytes);
        size += bytes.size();
        return WriteAllTo(mbox.file.get(), bytes.constData(), bytes.size());
    };
    MboxQuoter quoter;
    WriteStep written = emit(opening);
    if (written)
        written = feed(quoter, emit);
    if (written)
        written = emit(quoter.Finish());
    if (written) {
        mbox.size = start + size;
        return SavedFile{mbox.path, start, FileDigest{size, hash.HexResult()}, true};
    }
    // The file ends where the previous message ended, as if this one had
    // never been tried.
    mbox.whole = wholeBefore;
    QString reason = written.error().reason;
    if (::ftruncate(mbox.file.get(), start) != 0)
        reason += QStringLiteral("; %1 may end in a partial message").arg(mbox.path);
    return NotSaved(WriteFailure::Content, reason);
}

SaveResult MboxFiles::Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                             const QByteArray& message)
{
    const Expected<OpenMbox*, WriteError> mbox = FileFor(folderKey, folderName);
    if (!mbox)
        return Failed(mbox.error());
    return AppendQuoted(**mbox, opening, [&](MboxQuoter& quoter, const Emit& emit) { return emit(quoter.Feed(message)); });
}

SaveResult MboxFiles::Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                             const ContentWriter& write)
{
    // The message is put together aside first: a writer that fails halfway
    // must leave nothing in the shared file.
    const Expected<UniqueFd, WriteError> scratch = output_->CreateScratchFile(folderKey);
    if (!scratch)
        return Failed(scratch.error());
    if (const WriteStep written = write(scratch->get()); !written)
        return NotSaved(WriteFailure::Content, written.error().reason);
    const Expected<OpenMbox*, WriteError> mbox = FileFor(folderKey, folderName);
    if (!mbox)
        return Failed(mbox.error());
    return AppendQuoted(**mbox, opening, [&](MboxQuoter& quoter, const Emit& emit) {
        const auto quotePiece = [&](QByteArrayView piece) { return emit(quoter.Feed(piece)); };
        return ForEachPiece(scratch->get(), quotePiece, QStringLiteral("cannot read the message back: "));
    });
}

Expected<QString, WriteError> MaildirTree::FolderFor(const QString& folderKey)
{
    if (const auto found = made_.find(folderKey); found != made_.end())
        return found->second;
    const QStringList names = plan_.NamesOf(folderKey);
    // The tree's own top is a folder too (every reader expects one), even
    // when the mailbox's top folder holds no mail.
    if (made_.empty()) {
        for (const char* part : {"\\Maildir\\cur", "\\Maildir\\new", "\\Maildir\\tmp"}) {
            if (const Expected<int, WriteError> made = output_->DirectoryFor(QString::fromLatin1(part)); !made)
                return Failed(made.error());
        }
    }
    const QString directory = layout_.DirectoryFor(names);
    const QString key = directory.isEmpty() ? QStringLiteral("\\Maildir") : QStringLiteral("\\Maildir\\") + directory;
    for (const char* part : {"\\cur", "\\new", "\\tmp"}) {
        if (const Expected<int, WriteError> made = output_->DirectoryFor(key + QLatin1String(part)); !made)
            return Failed(made.error());
    }
    made_[folderKey] = key;
    return key;
}

WriteStep MaildirTree::EnsureFolder(const QString& folderKey)
{
    if (const Expected<QString, WriteError> folder = FolderFor(folderKey); !folder)
        return Failed(folder.error());
    return {};
}

void MaildirTree::Kept(const QString& folderKey)
{
    // Its directories are made when a run from the start would make them.
    if (const Expected<QString, WriteError> directory = FolderFor(folderKey))
        (void)KeywordsOf(*directory);
    ++sequence_;
}

MaildirTree::FolderKeywords& MaildirTree::KeywordsOf(const QString& directoryKey)
{
    const auto [found, added] = keywords_.try_emplace(directoryKey);
    FolderKeywords& folder = found->second;
    if (!added)
        return folder;
    // Only a resumed run finds one: the messages it keeps carry its letters.
    const Expected<int, WriteError> directory = output_->DirectoryFor(directoryKey);
    if (!directory)
        return folder;
    const FileBeneath file = OpenFileBeneath(*directory, QString::fromLatin1(kDovecotKeywordsFileName));
    if (file.status == FileBeneath::Status::Missing)
        return folder;
    folder.fileThere = true;
    if (file.status != FileBeneath::Status::Opened)
        return folder;
    // No folder's letters take more than a few lines: a longer file is no
    // file this program wrote.
    constexpr qsizetype kLongestKeywordFile = 64 * 1024;
    QByteArray text(kLongestKeywordFile + 1, Qt::Uninitialized);
    const auto size = ReadAt(file.file.get(), text.data(), text.size(), 0);
    if (!size || *size > kLongestKeywordFile)
        return folder;
    text.truncate(*size);
    folder.letters = MaildirKeywordLetters::FromFileText(text);
    folder.fileCurrent = folder.letters.FileText() == text;
    return folder;
}

WriteStep MaildirTree::WriteKeywordFile(const QString& directoryKey, const QByteArray& text)
{
    const Expected<OutputTree::GrowingFile, WriteError> file = output_->CreateHiddenGrowingFile(directoryKey);
    if (!file)
        return Failed(file.error());
    WriteStep written = WriteAllTo(file->fd.get(), text.constData(), text.size());
    if (written)
        written = output_->ReplaceFile(directoryKey, file->name, QString::fromLatin1(kDovecotKeywordsFileName));
    if (!written)
        (void)output_->RemoveFile(directoryKey, file->name);
    return written;
}

QString MaildirTree::LettersFor(const QString& directoryKey, const QList<QByteArray>& keywords)
{
    FolderKeywords& folder = KeywordsOf(directoryKey);
    MaildirKeywordLetters grown = folder.letters;
    if (grown.Add(keywords)) {
        // A reader never meets a letter the file does not name yet; when the
        // file cannot be written, the message goes without the new letters.
        if (const WriteStep written = WriteKeywordFile(directoryKey, grown.FileText())) {
            folder.letters = std::move(grown);
            folder.fileThere = true;
            folder.fileCurrent = true;
        } else if (!problems_.contains(written.error().reason)) {
            problems_ << written.error().reason;
        }
    }
    return folder.letters.LettersOf(keywords);
}

QStringList MaildirTree::Finish()
{
    QStringList problems = problems_;
    for (auto& [directoryKey, folder] : keywords_) {
        const QString fileName = QString::fromLatin1(kDovecotKeywordsFileName);
        if (folder.letters.isEmpty()) {
            // A file that names no keyword (one a stopped run left that
            // cannot be read) goes: nothing here uses it.
            if (folder.fileThere && !output_->RemoveFile(directoryKey, fileName))
                problems << QStringLiteral("cannot remove %1").arg(output_->DirectoryPath(directoryKey) + u'/' + fileName);
            continue;
        }
        const QByteArray text = folder.letters.FileText();
        if (!folder.fileCurrent) {
            if (const WriteStep written = WriteKeywordFile(directoryKey, text); !written) {
                problems << written.error().reason;
                continue;
            }
        }
        folder.fileCurrent = true;
        if (finished_)
            finished_(output_->DirectoryPath(directoryKey) + u'/' + fileName, DigestOf(text));
    }
    return problems;
}

SaveResult MaildirTree::Save(const QString& folderKey, const std::optional<QDateTime>& time, const QString& info,
                             const QList<QByteArray>& keywords, const ContentWriter& write,
                             const std::optional<FileDigest>& known)
{
    const Expected<QString, WriteError> directory = FolderFor(folderKey);
    if (!directory)
        return NotSaved(WriteFailure::NoDirectory, directory.error().reason);
    // The flags in ASCII order, then the keywords' letters: lower case, so
    // after every flag.
    const QString flagsAndLetters = keywords.isEmpty() ? info : info + LettersFor(*directory, keywords);
    // Unique within the run (and so within the tree, which only this run
    // fills): the message's time, then its place in the run.
    const qint64 seconds = time && time->isValid() ? time->toSecsSinceEpoch() : 0;
    const int sequence = ++sequence_;
    std::optional<FileDigest> written;
    SaveResult file = output_->CreateFile(
        *directory + QStringLiteral("\\cur"),
        [&](int attempt) {
            return QStringLiteral("%1.M%2%3.tolvane%4")
                .arg(seconds)
                .arg(sequence)
                .arg(attempt == 1 ? QString() : QStringLiteral("_%1").arg(attempt))
                .arg(flagsAndLetters);
        },
        known ? write : DigestingWriter(write, &written));
    if (file) {
        if (const auto digest = known ? known : written)
            file->digest = *digest;
    }
    return file;
}

}  // namespace tolvane
