// Reading a stopped run's manifest and folder into a ResumePlan. The folder
// is opened by descriptors one name at a time, as verify does, so a link
// planted in it is never followed.
#include "convert/output/ResumePlan.h"

#include "convert/output/BoundedLineReader.h"
#include "convert/output/DirectoryAt.h"
#include "convert/output/FileBeneath.h"
#include "convert/output/MaildirKeywordLetters.h"
#include "convert/output/Manifest.h"
#include "convert/output/OutputVerifier.h"
#include "scan/Limits.h"
#include "scan/NativePath.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

QString ResumeFailureText(const ResumeFailure& failure)
{
    switch (failure.refusal) {
    case ResumeRefusal::NoFolder:
        return QStringLiteral("not a folder: %1").arg(failure.detail);
    case ResumeRefusal::NoManifest:
        return QStringLiteral("holds no %1 of an earlier conversion").arg(QString::fromLatin1(kManifestFileName));
    case ResumeRefusal::ManifestUnreadable:
        return QStringLiteral("its %1 cannot be read: %2").arg(QString::fromLatin1(kManifestFileName), failure.detail);
    case ResumeRefusal::NoInputRecorded:
        return QStringLiteral("its %1 does not say which mailbox it was written from")
            .arg(QString::fromLatin1(kManifestFileName));
    case ResumeRefusal::InputUnreadable:
        return QStringLiteral("the mailbox cannot be read: %1").arg(failure.detail);
    case ResumeRefusal::OtherInput:
        return QStringLiteral("was written from another mailbox, or from this one before it changed");
    case ResumeRefusal::OtherFormat:
        return QStringLiteral("holds the %1 format; resume it with --format %1").arg(failure.detail);
    }
    return QString();
}

namespace {

// How deep the walk of the folder goes, as verify's.
constexpr int kDeepestWalk = kDeepestFolderWalk + 8;

// Every entry below `directoryFd`: directories into `directories`, the rest
// into `files`, paths relative to the output folder.
void CollectEntries(int directoryFd, const QString& prefix, int depth, std::set<QString>& directories,
                    std::vector<QString>& files)
{
    const std::optional<std::vector<QByteArray>> names = SortedEntryNames(directoryFd);
    if (!names)
        return;
    for (const QByteArray& name : *names) {
        const QString relative = prefix.isEmpty() ? PathFromNative(name) : prefix + u'/' + PathFromNative(name);
        struct stat info {};
        if (::fstatat(directoryFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(info.st_mode)) {
            files.push_back(relative);
            continue;
        }
        directories.insert(relative);
        if (depth + 1 > kDeepestWalk)
            continue;
        const UniqueFd child = OpenDirectoryBeneath(directoryFd, name);
        if (child)
            CollectEntries(child.get(), relative, depth + 1, directories, files);
    }
}


// A mail line a resumed run may keep: a message of its own file, of the
// mailbox's own folders, with an identifier.
bool IsKeepableMail(const QJsonObject& line)
{
    return line.value(QStringLiteral("kind")).toString() == QLatin1String("mail")
           && !line.value(QStringLiteral("path")).toString().isEmpty() && !line.contains(QStringLiteral("offset"))
           && !line.contains(QStringLiteral("notWritten")) && !line.contains(QStringLiteral("recovered"))
           && line.value(QStringLiteral("identifier")).toInteger(0) > 0
           && line.value(QStringLiteral("path")).toString() != QLatin1String(kManifestFileName);
}

// A mail line a resumed run may keep, as written and what it says.
struct MailLine {
    QByteArray text;
    std::pair<QString, uint32_t> key;  // folder, identifier
    QString path;
    qint64 size = -1;
    QByteArray sha256;
};

struct ManifestRead {
    std::optional<ManifestHeader> header;
    bool finished = false;
    std::vector<MailLine> mailLines;
};

// Reads the manifest as a killed run may have left it: a line that is no
// JSON (cut short) is passed over, a line too long ends the reading.
std::optional<ManifestRead> ReadStoppedManifest(int manifestFd, QString* reason)
{
    ManifestRead read;
    BoundedLineReader reader(manifestFd, kLongestManifestLine);
    QByteArray line;
    bool first = true;
    for (;;) {
        const BoundedLineReader::Result result = reader.Next(&line);
        if (result == BoundedLineReader::Result::End || result == BoundedLineReader::Result::TooLong)
            break;
        if (result == BoundedLineReader::Result::Failed) {
            *reason = ErrnoText(errno);
            return std::nullopt;
        }
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            continue;
        const QJsonObject object = document.object();
        if (first) {
            first = false;
            read.header = ManifestHeader::FromJson(object);
            if (read.header)
                continue;
        }
        if (const QJsonValue summary = object.value(QStringLiteral("summary")); summary.isObject()) {
            // A run that went to its end but could not write everything
            // (a full disk) is resumed like one that stopped.
            read.finished = !summary.toObject().contains(QStringLiteral("stopped"))
                            && summary.toObject().value(QStringLiteral("notWritten")).toObject().isEmpty();
            break;
        }
        if (IsKeepableMail(object))
            read.mailLines.push_back(MailLine{
                line.trimmed(),
                {object.value(QStringLiteral("folder")).toString(),
                 static_cast<uint32_t>(object.value(QStringLiteral("identifier")).toInteger(0))},
                object.value(QStringLiteral("path")).toString(), object.value(QStringLiteral("size")).toInteger(-1),
                object.value(QStringLiteral("sha256")).toString().toLatin1()});
    }
    return read;
}

// A Maildir folder's keyword file ("Maildir/.Inbox/dovecot-keywords"): the
// names of the messages kept carry its letters, so it stays, and the run
// takes its letters over and writes it again (MaildirTree).
bool IsMaildirKeywordFile(const QString& file)
{
    const QStringList names = file.split(u'/');
    return names.size() <= 3 && names.size() >= 2 && names.first() == QLatin1String("Maildir")
           && names.last() == QLatin1String(kDovecotKeywordsFileName);
}

// A mail line's file, when it is there with the bytes listed.
bool FileMatches(int rootFd, const MailLine& line)
{
    const FileBeneath opened = OpenFileBeneath(rootFd, line.path);
    if (opened.status != FileBeneath::Status::Opened)
        return false;
    const std::optional<FileDigest> digest = DigestOfFile(opened.file.get());
    return digest && digest->size == line.size && digest->sha256 == line.sha256;
}

}  // namespace

Expected<ResumePlan, ResumeFailure> ResumePlan::Make(const QString& outputFolder, const QString& pstPath,
                                                    OutputFormat format)
{
    struct stat folderInfo {};
    if (::lstat(NativePath(outputFolder).constData(), &folderInfo) != 0)
        return Failed(ResumeFailure{ResumeRefusal::NoFolder, ErrnoText(errno)});
    if (!S_ISDIR(folderInfo.st_mode))
        return Failed(ResumeFailure{ResumeRefusal::NoFolder, ErrnoText(S_ISLNK(folderInfo.st_mode) ? ELOOP : ENOTDIR)});
    const UniqueFd root = OpenDirectoryPath(outputFolder);
    if (!root)
        return Failed(ResumeFailure{ResumeRefusal::NoFolder, ErrnoText(errno)});
    const FileBeneath manifest = OpenFileBeneath(root.get(), QString::fromLatin1(kManifestFileName));
    if (manifest.status == FileBeneath::Status::Missing)
        return Failed(ResumeFailure{ResumeRefusal::NoManifest, QString()});
    if (manifest.status != FileBeneath::Status::Opened)
        return Failed(ResumeFailure{ResumeRefusal::ManifestUnreadable, manifest.error != 0
                                                                           ? ErrnoText(manifest.error)
                                                                           : QStringLiteral("not a regular file")});
    QString reason;
    const std::optional<ManifestRead> read = ReadStoppedManifest(manifest.file.get(), &reason);
    if (!read)
        return Failed(ResumeFailure{ResumeRefusal::ManifestUnreadable, reason});
    if (!read->header || !read->header->input)
        return Failed(ResumeFailure{ResumeRefusal::NoInputRecorded, QString()});
    if (read->header->format != format)
        return Failed(ResumeFailure{ResumeRefusal::OtherFormat, OutputFormatName(read->header->format)});
    const std::optional<InputIdentity> input = IdentityOfFile(pstPath);
    if (!input)
        return Failed(ResumeFailure{ResumeRefusal::InputUnreadable, ErrnoText(errno)});
    if (*input != *read->header->input)
        return Failed(ResumeFailure{ResumeRefusal::OtherInput, QString()});

    ResumePlan plan;
    plan.outputFolder_ = outputFolder;
    plan.input_ = *input;
    plan.finished_ = read->finished;
    // A key or a path listed twice cannot be told apart: neither is kept.
    std::map<std::pair<QString, uint32_t>, int> keyCounts;
    std::map<QString, int> pathCounts;
    for (const MailLine& line : read->mailLines) {
        ++keyCounts[line.key];
        ++pathCounts[line.path];
    }
    std::set<QString> keptPaths;
    for (const MailLine& line : read->mailLines) {
        if (keyCounts[line.key] != 1 || pathCounts[line.path] != 1 || !FileMatches(root.get(), line))
            continue;
        plan.keptLines_.push_back(KeptManifestLine{line.text, QStringLiteral("mail")});
        plan.keptMail_[line.key] = line.path;
        keptPaths.insert(line.path);
    }
    std::vector<QString> files;
    CollectEntries(root.get(), QString(), 0, plan.directories_, files);
    for (const QString& file : files) {
        if (file != QLatin1String(kManifestFileName) && keptPaths.count(file) == 0
            && !(format == OutputFormat::Maildir && IsMaildirKeywordFile(file)))
            plan.unaccounted_.push_back(file);
    }
    return plan;
}

std::optional<QString> ResumePlan::KeptMail(const QString& storedFolder, uint32_t identifier, ItemSource source) const
{
    if (source != ItemSource::Live || identifier == 0)
        return std::nullopt;
    const auto found = keptMail_.find(std::make_pair(storedFolder, identifier));
    if (found == keptMail_.end())
        return std::nullopt;
    return found->second;
}

}  // namespace tolvane
