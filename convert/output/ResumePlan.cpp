// Reading a stopped run's manifest and folder into a ResumePlan. The folder
// is opened by descriptors one name at a time, as verify does, so a link
// planted in it is never followed.
#include "convert/output/ResumePlan.h"

#include "base/BoundedLineReader.h"
#include "base/DirectoryAt.h"
#include "base/FileBeneath.h"
#include "convert/output/MaildirKeywordLetters.h"
#include "convert/output/Manifest.h"
#include "convert/output/OutputVerifier.h"
#include "scan/Limits.h"
#include "base/NativePath.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
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
    case ResumeRefusal::NoChoicesRecorded:
        return QStringLiteral("its %1 does not say what the conversion was asked for (an earlier version wrote it); "
                              "convert into a new folder")
            .arg(QString::fromLatin1(kManifestFileName));
    case ResumeRefusal::TooDeep:
        return QStringLiteral("holds folders nested deeper than a conversion makes them (%1); remove them or convert "
                              "into a new folder")
            .arg(failure.detail);
    }
    return QString();
}

namespace {

// How deep the walk of the folder goes, as verify's.
constexpr int kDeepestWalk = kDeepestFolderWalk + 8;

// Every entry below `directoryFd`: directories into `directories`, the rest
// into `files`, paths relative to the output folder. False with the first
// directory too deep to look into that holds anything: what is in it could
// be neither checked nor removed.
bool CollectEntries(int directoryFd, const QString& prefix, int depth, std::set<QString>& directories,
                    std::vector<QString>& files, QString* tooDeep)
{
    const auto names = SortedEntryNames(directoryFd);
    if (!names)
        return true;
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
        const OpenedDirectory child = OpenDirectoryBeneath(directoryFd, name);
        if (!child)
            continue;
        if (depth + 1 > kDeepestWalk) {
            const auto inside = SortedEntryNames(child->get());
            if (inside && !inside->empty()) {
                *tooDeep = relative;
                return false;
            }
            continue;
        }
        if (!CollectEntries(child->get(), relative, depth + 1, directories, files, tooDeep))
            return false;
    }
    return true;
}


// A mail line a resumed run may keep: a message of its own file, of the
// mailbox's own folders, with an identifier, a fingerprint, and a check
// that matches what the line says.
bool IsKeepableMail(const QJsonObject& line)
{
    const auto text = [&line](const char* key) { return line.value(QLatin1String(key)).toString(); };
    const qint64 identifier = line.value(QStringLiteral("identifier")).toInteger(0);
    if (text("kind") != QLatin1String("mail") || text("path").isEmpty() || line.contains(QStringLiteral("offset"))
        || line.contains(QStringLiteral("notWritten")) || line.contains(QStringLiteral("recovered"))
        || identifier <= 0 || identifier > UINT32_MAX || text("path") == QLatin1String(kManifestFileName)
        || text("fingerprint").isEmpty())
        return false;
    return text("check").toLatin1()
           == ManifestLineCheck(text("folder"), static_cast<uint32_t>(identifier), text("fingerprint").toLatin1(),
                                text("path"), line.value(QStringLiteral("size")).toInteger(-1),
                                text("sha256").toLatin1());
}

// A mail line a resumed run may keep, as written and what it says.
struct MailLine {
    QByteArray text;
    std::pair<QString, uint32_t> key;  // folder, identifier
    QString path;
    qint64 size = -1;
    QByteArray sha256;
    QByteArray fingerprint;
};

struct ManifestRead {
    std::optional<ManifestHeader> header;
    bool finished = false;
    std::vector<MailLine> mailLines;
};

// Items written, by kind, as a summary counts them.
using WrittenCounts = std::map<QString, qint64>;

// Whether `summary` is that of a whole run whose lines listed `linesWritten`
// and, when `linesNotWritten`, some item not written: not stopped, nothing
// unwritten, and the same counts.
bool SummaryOfAWholeRun(const QJsonObject& summary, const WrittenCounts& linesWritten, bool linesNotWritten)
{
    if (linesNotWritten || summary.contains(QStringLiteral("stopped"))
        || !summary.value(QStringLiteral("notWritten")).toObject().isEmpty())
        return false;
    const QJsonObject written = summary.value(QStringLiteral("written")).toObject();
    WrittenCounts claimed;
    for (auto it = written.begin(); it != written.end(); ++it) {
        if (!it.value().isDouble())
            return false;
        claimed[it.key()] = it.value().toInteger(-1);
    }
    return claimed == linesWritten;
}

// Reads the manifest as a killed run may have left it: a line that is no
// JSON (cut short) is passed over, a line too long ends the reading.
std::optional<ManifestRead> ReadStoppedManifest(int manifestFd, QString* reason)
{
    ManifestRead read;
    BoundedLineReader reader(manifestFd, kLongestManifestLine);
    QByteArray line;
    bool first = true;
    bool summarySeen = false;
    WrittenCounts written;
    bool notWritten = false;
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
            // (a full disk) is resumed like one that stopped; so is one
            // whose summary does not count its lines, or has lines after it.
            read.finished = SummaryOfAWholeRun(summary.toObject(), written, notWritten);
            summarySeen = true;
            continue;
        }
        if (summarySeen) {
            read.finished = false;
            break;
        }
        if (const QString kind = object.value(QStringLiteral("kind")).toString(); !kind.isEmpty()) {
            if (object.contains(QStringLiteral("notWritten")))
                notWritten = true;
            else
                ++written[kind];
        }
        if (IsKeepableMail(object))
            read.mailLines.push_back(MailLine{
                line.trimmed(),
                {object.value(QStringLiteral("folder")).toString(),
                 static_cast<uint32_t>(object.value(QStringLiteral("identifier")).toInteger(0))},
                object.value(QStringLiteral("path")).toString(), object.value(QStringLiteral("size")).toInteger(-1),
                object.value(QStringLiteral("sha256")).toString().toLatin1(),
                object.value(QStringLiteral("fingerprint")).toString().toLatin1()});
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
    const OpenedDirectory root = OpenDirectoryPath(outputFolder);
    if (!root)
        return Failed(ResumeFailure{ResumeRefusal::NoFolder, root.error().reason});
    const FileBeneath manifest = OpenFileBeneath(root->get(), QString::fromLatin1(kManifestFileName));
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
    if (!read->header->choices)
        return Failed(ResumeFailure{ResumeRefusal::NoChoicesRecorded, QString()});
    const std::optional<InputIdentity> input = IdentityOfFile(pstPath);
    if (!input)
        return Failed(ResumeFailure{ResumeRefusal::InputUnreadable, ErrnoText(errno)});
    if (*input != *read->header->input)
        return Failed(ResumeFailure{ResumeRefusal::OtherInput, QString()});

    ResumePlan plan;
    plan.outputFolder_ = outputFolder;
    plan.input_ = *input;
    plan.choices_ = *read->header->choices;
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
        if (keyCounts[line.key] != 1 || pathCounts[line.path] != 1 || !FileMatches(root->get(), line))
            continue;
        plan.keptLines_.push_back(KeptManifestLine{line.text, QStringLiteral("mail")});
        plan.keptItems_.push_back(KeptItem{line.key, line.path, line.fingerprint});
        plan.keptMail_[line.key] = line.path;
        keptPaths.insert(line.path);
    }
    std::vector<QString> files;
    QString tooDeep;
    if (!CollectEntries(root->get(), QString(), 0, plan.directories_, files, &tooDeep))
        return Failed(ResumeFailure{ResumeRefusal::TooDeep, tooDeep});
    for (const QString& file : files) {
        if (file != QLatin1String(kManifestFileName) && keptPaths.count(file) == 0
            && !(format == OutputFormat::Maildir && IsMaildirKeywordFile(file)))
            plan.unaccounted_.push_back(file);
    }
    return plan;
}

ResumePlan ResumePlan::CheckedAgainst(
    const std::function<std::optional<QByteArray>(uint32_t identifier)>& fingerprintOf) const
{
    ResumePlan checked = *this;
    checked.keptLines_.clear();
    checked.keptItems_.clear();
    checked.keptMail_.clear();
    for (std::size_t i = 0; i < keptLines_.size(); ++i) {
        const KeptItem& item = keptItems_[i];
        const std::optional<QByteArray> now = fingerprintOf(item.key.second);
        if (now && *now == item.fingerprint) {
            checked.keptLines_.push_back(keptLines_[i]);
            checked.keptItems_.push_back(item);
            checked.keptMail_[item.key] = item.path;
        } else {
            checked.unaccounted_.push_back(item.path);
        }
    }
    std::sort(checked.unaccounted_.begin(), checked.unaccounted_.end());
    return checked;
}

std::size_t ResumePlan::KeptMailIn(const QString& storedFolder) const
{
    std::size_t count = 0;
    for (auto it = keptMail_.lower_bound(std::make_pair(storedFolder, uint32_t{0}));
         it != keptMail_.end() && it->first.first == storedFolder; ++it)
        ++count;
    return count;
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
