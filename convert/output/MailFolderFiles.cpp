// mbox files and the Maildir tree of the mail pass.
#include "convert/output/MailFolderFiles.h"

#include "convert/output/DirectoryAt.h"
#include "convert/output/FileBeneath.h"
#include "convert/output/MailFolderPlan.h"
#include "convert/output/MailFormats.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/output/Sha256.h"
#include "scan/NativePath.h"

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

// Hands every piece of the file open as `fd`, from its start, to `each`;
// false when a read fails (with the reason) or `each` says stop.
bool ForEachPiece(int fd, const std::function<bool(QByteArrayView)>& each, QString* reason)
{
    std::vector<char> buffer(1 << 16);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *reason = ErrnoText(errno);
            return false;
        }
        if (got == 0)
            return true;
        at += got;
        if (!each(QByteArrayView(buffer.data(), got)))
            return false;
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
        QString reason;
        if (!mbox.temporary.isEmpty() && !PutInPlace(mbox, &reason))
            problems << reason;
    }
    writing_.clear();
    return problems;
}

bool MboxFiles::PutInPlace(OpenMbox& mbox, QString* reason)
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
        return true;
    }
    // No flush to the disk first: like every other file of the run, the file
    // is whole for any reader once named, whatever happens to the process;
    // a crash of the machine itself is the file system's to order.
    mbox.file.reset();
    if (!output_->ReplaceFile(directory, mbox.temporary, mbox.name, reason)) {
        // The messages in the temporary never reach the file: they are given
        // up, and a later message of the folder starts again from the file
        // as it is under its name. The temporary stays where it is.
        mbox.temporary.clear();
        mbox.whole = mbox.placedWhole;
        mbox.size = mbox.placedSize;
        if (notPlaced_)
            notPlaced_(mbox.path, *reason);
        return false;
    }
    mbox.temporary.clear();
    mbox.placedWhole = mbox.whole;
    mbox.placedSize = mbox.size;
    if (finished_)
        finished_(mbox.path, FileDigest{mbox.size, mbox.whole.HexResult()});
    return true;
}

bool MboxFiles::ContinueInTemporary(OpenMbox& mbox, QString* reason)
{
    const QString& directory = mbox.directoryKey;
    UniqueFd finished = output_->ReopenGrowingFile(directory, mbox.name, reason);
    if (!finished)
        return false;
    QString temporary;
    UniqueFd copy = output_->CreateHiddenGrowingFile(directory, &temporary, reason);
    if (!copy)
        return false;
    const auto failed = [&] {
        copy.reset();
        (void)output_->RemoveFile(directory, temporary);
        return false;
    };
    QString readFailure;
    bool written = true;
    const auto copyPiece = [&](QByteArrayView piece) {
        written = WriteAllTo(copy.get(), piece.data(), piece.size(), reason);
        return written;
    };
    if (!ForEachPiece(finished.get(), copyPiece, &readFailure)) {
        if (written)
            *reason = QStringLiteral("cannot read %1 again: %2").arg(mbox.path, readFailure);
        return failed();
    }
    mbox.file = std::move(copy);
    mbox.temporary = temporary;
    return true;
}

MboxFiles::OpenMbox* MboxFiles::FileFor(const QString& folderKey, const QString& folderName, QString* reason)
{
    // The run has moved on: the folder it wrote last is done.
    if (!writing_.isEmpty() && writing_ != folderKey) {
        if (auto previous = files_.find(writing_); previous != files_.end() && !previous->second.temporary.isEmpty()) {
            QString why;
            if (!PutInPlace(previous->second, &why))
                problems_ << why;
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
            if (!ContinueInTemporary(mbox, reason))
                return nullptr;
        } else {
            mbox.file = output_->ReopenGrowingFile(mbox.directoryKey, mbox.temporary, reason);
        }
        return mbox.file ? &mbox : nullptr;
    }
    // The messages go into a temporary beside the final name.
    OpenMbox mbox;
    if (!Reserve(folderKey, folderName, mbox, reason))
        return nullptr;
    mbox.file = output_->CreateHiddenGrowingFile(mbox.directoryKey, &mbox.temporary, reason);
    if (!mbox.file)
        return nullptr;
    return &files_.insert_or_assign(folderKey, std::move(mbox)).first->second;
}

bool MboxFiles::Reserve(const QString& folderKey, const QString& folderName, OpenMbox& mbox, QString* reason)
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
    UniqueFd placeholder = output_->CreateGrowingFile(place.directoryKey, place.name, &mbox.path, reason);
    if (!placeholder)
        return false;
    mbox.directoryKey = place.directoryKey;
    mbox.name = mbox.path.section(u'/', -1);
    return true;
}

bool MboxFiles::EnsureFile(const QString& folderKey, const QString& folderName, QString* reason)
{
    if (const auto found = files_.find(folderKey); found != files_.end() && !found->second.name.isEmpty())
        return true;
    OpenMbox mbox;
    if (!Reserve(folderKey, folderName, mbox, reason))
        return false;
    if (finished_)
        finished_(mbox.path, FileDigest{0, Sha256().HexResult()});
    files_.insert_or_assign(folderKey, std::move(mbox));
    return true;
}

SaveResult MboxFiles::AppendQuoted(OpenMbox& mbox, const QByteArray& opening,
                                   const std::function<bool(MboxQuoter&, const Emit&, QString*)>& feed)
{
    struct stat info {};
    if (::fstat(mbox.file.get(), &info) != 0)
        return NotSaved(WriteFailure::FileSystem,
                        QStringLiteral("cannot read the size of %1: %2").arg(mbox.path, ErrnoText(errno)));
    const qint64 start = info.st_size;
    const Sha256 wholeBefore = mbox.whole;
    Sha256 hash;
    qint64 size = 0;
    QString reason;
    const Emit emit = [&](const QByteArray& bytes) {
        hash.Add(bytes);
        mbox.whole.Add(bytes);
        size += bytes.size();
        return WriteAllTo(mbox.file.get(), bytes.constData(), bytes.size(), &reason);
    };
    MboxQuoter quoter;
    if (emit(opening) && feed(quoter, emit, &reason) && emit(quoter.Finish())) {
        mbox.size = start + size;
        return SavedFile{mbox.path, start, FileDigest{size, hash.HexResult()}, true};
    }
    // The file ends where the previous message ended, as if this one had
    // never been tried.
    mbox.whole = wholeBefore;
    if (::ftruncate(mbox.file.get(), start) != 0)
        reason += QStringLiteral("; %1 may end in a partial message").arg(mbox.path);
    return NotSaved(WriteFailure::Content, reason);
}

SaveResult MboxFiles::Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                             const QByteArray& message)
{
    QString reason;
    OpenMbox* mbox = FileFor(folderKey, folderName, &reason);
    if (mbox == nullptr)
        return NotSaved(WriteFailure::FileSystem, reason);
    return AppendQuoted(*mbox, opening,
                        [&](MboxQuoter& quoter, const Emit& emit, QString*) { return emit(quoter.Feed(message)); });
}

SaveResult MboxFiles::Append(const QString& folderKey, const QString& folderName, const QByteArray& opening,
                             const ContentWriter& write)
{
    QString reason;
    // The message is put together aside first: a writer that fails halfway
    // must leave nothing in the shared file.
    UniqueFd scratch = output_->CreateScratchFile(folderKey, &reason);
    if (!scratch)
        return NotSaved(WriteFailure::FileSystem, reason);
    if (!write(scratch.get(), &reason))
        return NotSaved(WriteFailure::Content, reason);
    OpenMbox* mbox = FileFor(folderKey, folderName, &reason);
    if (mbox == nullptr)
        return NotSaved(WriteFailure::FileSystem, reason);
    return AppendQuoted(*mbox, opening, [&](MboxQuoter& quoter, const Emit& emit, QString* why) {
        QString readFailure;
        bool emitted = true;
        const auto quotePiece = [&](QByteArrayView piece) {
            emitted = emit(quoter.Feed(piece));
            return emitted;
        };
        if (ForEachPiece(scratch.get(), quotePiece, &readFailure))
            return true;
        if (emitted)
            *why = QStringLiteral("cannot read the message back: %1").arg(readFailure);
        return false;
    });
}

std::optional<QString> MaildirTree::FolderFor(const QString& folderKey, QString* reason)
{
    if (const auto found = made_.find(folderKey); found != made_.end())
        return found->second;
    const QStringList names = plan_.NamesOf(folderKey);
    // The tree's own top is a folder too (every reader expects one), even
    // when the mailbox's top folder holds no mail.
    if (made_.empty()) {
        for (const char* part : {"\\Maildir\\cur", "\\Maildir\\new", "\\Maildir\\tmp"}) {
            if (output_->DirectoryFor(QString::fromLatin1(part), reason) < 0)
                return std::nullopt;
        }
    }
    const QString directory = layout_.DirectoryFor(names);
    const QString key = directory.isEmpty() ? QStringLiteral("\\Maildir") : QStringLiteral("\\Maildir\\") + directory;
    for (const char* part : {"\\cur", "\\new", "\\tmp"}) {
        if (output_->DirectoryFor(key + QLatin1String(part), reason) < 0)
            return std::nullopt;
    }
    made_[folderKey] = key;
    return key;
}

bool MaildirTree::EnsureFolder(const QString& folderKey, QString* reason)
{
    return FolderFor(folderKey, reason).has_value();
}

void MaildirTree::Kept(const QString& folderKey)
{
    // Its directories are made when a run from the start would make them.
    QString reason;
    if (const auto directory = FolderFor(folderKey, &reason))
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
    QString reason;
    const int directory = output_->DirectoryFor(directoryKey, &reason);
    if (directory < 0)
        return folder;
    const FileBeneath file = OpenFileBeneath(directory, QString::fromLatin1(kDovecotKeywordsFileName));
    if (file.status == FileBeneath::Status::Missing)
        return folder;
    folder.fileThere = true;
    if (file.status != FileBeneath::Status::Opened)
        return folder;
    // No folder's letters take more than a few lines: a longer file is no
    // file this program wrote.
    constexpr qsizetype kLongestKeywordFile = 64 * 1024;
    QByteArray text(kLongestKeywordFile + 1, Qt::Uninitialized);
    qsizetype size = 0;
    for (;;) {
        const ssize_t got = ::read(file.file.get(), text.data() + size, static_cast<size_t>(text.size() - size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += got;
        if (size == text.size())
            break;
    }
    if (size > kLongestKeywordFile)
        return folder;
    text.truncate(size);
    folder.letters = MaildirKeywordLetters::FromFileText(text);
    folder.fileCurrent = folder.letters.FileText() == text;
    return folder;
}

bool MaildirTree::WriteKeywordFile(const QString& directoryKey, const QByteArray& text, QString* reason)
{
    QString temporary;
    const UniqueFd file = output_->CreateHiddenGrowingFile(directoryKey, &temporary, reason);
    if (!file)
        return false;
    if (WriteAllTo(file.get(), text.constData(), text.size(), reason)
        && output_->ReplaceFile(directoryKey, temporary, QString::fromLatin1(kDovecotKeywordsFileName), reason))
        return true;
    (void)output_->RemoveFile(directoryKey, temporary);
    return false;
}

QString MaildirTree::LettersFor(const QString& directoryKey, const QList<QByteArray>& keywords)
{
    FolderKeywords& folder = KeywordsOf(directoryKey);
    MaildirKeywordLetters grown = folder.letters;
    if (grown.Add(keywords)) {
        // A reader never meets a letter the file does not name yet; when the
        // file cannot be written, the message goes without the new letters.
        QString reason;
        if (WriteKeywordFile(directoryKey, grown.FileText(), &reason)) {
            folder.letters = std::move(grown);
            folder.fileThere = true;
            folder.fileCurrent = true;
        } else if (!problems_.contains(reason)) {
            problems_ << reason;
        }
    }
    return folder.letters.LettersOf(keywords);
}

QStringList MaildirTree::Finish()
{
    QStringList problems = problems_;
    for (auto& [directoryKey, folder] : keywords_) {
        const QString fileName = QString::fromLatin1(kDovecotKeywordsFileName);
        QString reason;
        if (folder.letters.isEmpty()) {
            // A file that names no keyword (one a stopped run left that
            // cannot be read) goes: nothing here uses it.
            if (folder.fileThere && !output_->RemoveFile(directoryKey, fileName))
                problems << QStringLiteral("cannot remove %1").arg(output_->DirectoryPath(directoryKey) + u'/' + fileName);
            continue;
        }
        const QByteArray text = folder.letters.FileText();
        if (!folder.fileCurrent && !WriteKeywordFile(directoryKey, text, &reason)) {
            problems << reason;
            continue;
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
    QString reason;
    const auto directory = FolderFor(folderKey, &reason);
    if (!directory)
        return NotSaved(WriteFailure::NoDirectory, reason);
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
