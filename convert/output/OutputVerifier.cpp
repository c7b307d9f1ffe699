// verify: reads the manifest a bounded line at a time, checks every listed
// file and every whole-file record through the output folder's descriptor,
// then walks the folder (by descriptors too) for what the manifest does not
// list.
#include "convert/output/OutputVerifier.h"

#include "base/BoundedLineReader.h"
#include "base/DirectoryAt.h"
#include "convert/output/Manifest.h"
#include "scan/Limits.h"
#include "base/NativePath.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <map>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

int VerifyReport::count(VerifyFinding::Fault fault) const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [fault](const VerifyFinding& finding) { return finding.fault == fault; }));
}

namespace {

// How deep the walk for unlisted files goes: the conversion makes one
// directory per mailbox folder level, and cuts the folders deeper than the
// scan walks.
constexpr int kDeepestWalk = kDeepestFolderWalk + 8;

// The folder the user named. Every directory above it is taken as typed
// (links included, as with any path a user gives); the folder itself must be
// a directory and no link: a link could point at a copy made anywhere.
struct OutputFolder {
    UniqueFd fd;
    bool isLink = false;
    int error = 0;
};

OutputFolder OpenOutputFolder(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    const QString name = trimmed.mid(slash + 1);
    OutputFolder folder;
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..")) {
        OpenedDirectory opened = OpenDirectoryPath(trimmed);
        if (opened)
            folder.fd = std::move(*opened);
        else
            folder.error = opened.error().code;
        return folder;
    }
    const OpenedDirectory parent = OpenDirectoryPath(slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/")
                                                                                                  : trimmed.left(slash));
    if (!parent) {
        folder.error = parent.error().code;
        return folder;
    }
    OpenedDirectory opened = OpenDirectoryBeneath(parent->get(), NativePath(name));
    if (opened) {
        folder.fd = std::move(*opened);
    } else {
        folder.error = opened.error().code;
        struct stat info {};
        folder.isLink = ::fstatat(parent->get(), NativePath(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0
                        && S_ISLNK(info.st_mode);
    }
    return folder;
}

// Where one message of a shared file lies in it.
struct Range {
    qint64 offset = 0;
    qint64 size = 0;
    bool operator<(const Range& other) const { return offset < other.offset; }
};

class Verifier {
public:
    Verifier(int rootFd, VerifyReport& report) : root_(rootFd), report_(report)
    {
        listed_.insert(QString::fromLatin1(kManifestFileName));
    }

    // Reads and checks the manifest; false when it cannot be read.
    bool ReadManifest(int manifestFd);
    // Shared files without a whole-file line: their messages must cover them exactly.
    void CheckUncoveredSharedFiles();
    void CheckWholeFiles();
    // Everything in the folder the manifest does not list.
    void WalkForExtras(int directoryFd, const QString& prefix, int depth);

private:
    bool Unreadable(QString detail)
    {
        report_.standing = VerifyReport::Standing::Unreadable;
        report_.detail = std::move(detail);
        return false;
    }
    void Find(VerifyFinding::Fault fault, const QString& path, EntryKind kind = EntryKind::RegularFile)
    {
        if (faulted_.contains(path))
            return;
        faulted_.insert(path);
        report_.findings.push_back(VerifyFinding{fault, path, kind});
    }
    // The listed file opened, or the finding that says why it cannot be.
    std::optional<UniqueFd> OpenListed(const QString& path);
    void CheckEntry(const QJsonObject& entry);
    void NoteWholeFile(const QJsonObject& line);
    void CheckWholeFile(const QString& path, const QJsonObject& line);
    void CheckCounts(const QJsonObject& summary);

    int root_;
    VerifyReport& report_;
    QSet<QString> listed_;
    QSet<QString> faulted_;  // one finding per path
    std::map<QString, std::vector<Range>> ranges_;
    QSet<QString> wholeRecorded_;
    std::map<QString, QJsonObject> wholeFiles_;  // the last whole-file line of each shared file
    std::map<QString, std::pair<int, int>> listedCounts_;  // kind: written, not written
};

std::optional<UniqueFd> Verifier::OpenListed(const QString& path)
{
    FileBeneath opened = OpenFileBeneath(root_, path);
    switch (opened.status) {
    case FileBeneath::Status::Opened:
        return std::move(opened.file);
    case FileBeneath::Status::Missing:
        Find(VerifyFinding::Fault::Missing, path);
        break;
    case FileBeneath::Status::NotRegular:
        Find(VerifyFinding::Fault::NotRegular, path, opened.kind);
        break;
    case FileBeneath::Status::NotAPath:
        Find(VerifyFinding::Fault::OutsideFolder, path);
        break;
    case FileBeneath::Status::BrokenWay:
        Find(VerifyFinding::Fault::BrokenWay, path);
        break;
    case FileBeneath::Status::Unreadable:
        Find(VerifyFinding::Fault::Unreadable, path);
        break;
    }
    return std::nullopt;
}

void Verifier::CheckEntry(const QJsonObject& entry)
{
    const QString kind = entry.value(QStringLiteral("kind")).toString();
    auto& [written, notWritten] = listedCounts_[kind];
    (entry.contains(QStringLiteral("notWritten")) ? notWritten : written) += 1;
    const QString path = entry.value(QStringLiteral("path")).toString();
    if (path.isEmpty())
        return;
    listed_.insert(path);
    ++report_.checked;
    const std::optional<UniqueFd> file = OpenListed(path);
    if (!file)
        return;
    const qint64 size = entry.value(QStringLiteral("size")).toInteger(-1);
    const QByteArray sha256 = entry.value(QStringLiteral("sha256")).toString().toLatin1();
    std::optional<FileDigest> digest;
    if (const QJsonValue offsetValue = entry.value(QStringLiteral("offset")); !offsetValue.isUndefined()) {
        const qint64 offset = offsetValue.toInteger(-1);
        if (offset >= 0 && size >= 0) {
            ranges_[path].push_back(Range{offset, size});
            digest = DigestOfFile(file->get(), offset, size);
        }
    } else {
        digest = DigestOfFile(file->get());
    }
    if (!digest || digest->size != size || digest->sha256 != sha256)
        Find(VerifyFinding::Fault::Changed, path);
}

void Verifier::NoteWholeFile(const QJsonObject& line)
{
    // A file that grew again after it was recorded (a folder's mail that
    // came in two runs of the pass) is recorded again: the last line counts.
    const QString path = line.value(QStringLiteral("file")).toString();
    listed_.insert(path);
    wholeRecorded_.insert(path);
    wholeFiles_[path] = line;
}

void Verifier::CheckWholeFiles()
{
    for (const auto& [path, line] : wholeFiles_)
        CheckWholeFile(path, line);
}

void Verifier::CheckWholeFile(const QString& path, const QJsonObject& line)
{
    const std::optional<UniqueFd> file = OpenListed(path);
    if (!file)
        return;
    const auto digest = DigestOfFile(file->get());
    if (!digest || digest->size != line.value(QStringLiteral("size")).toInteger(-1)
        || digest->sha256 != line.value(QStringLiteral("sha256")).toString().toLatin1())
        Find(VerifyFinding::Fault::Changed, path);
}

void Verifier::CheckCounts(const QJsonObject& summary)
{
    const QJsonObject written = summary.value(QStringLiteral("written")).toObject();
    const QJsonObject notWritten = summary.value(QStringLiteral("notWritten")).toObject();
    QSet<QString> kinds;
    for (const QString& kind : written.keys() + notWritten.keys())
        kinds.insert(kind);
    for (const auto& [kind, counts] : listedCounts_)
        kinds.insert(kind);
    QStringList sorted(kinds.begin(), kinds.end());
    sorted.sort();
    for (const QString& kind : sorted) {
        CountMismatch counts;
        counts.kind = kind;
        counts.summaryWritten = written.value(kind).toInt();
        counts.summaryNotWritten = notWritten.value(kind).toInt();
        if (const auto found = listedCounts_.find(kind); found != listedCounts_.end())
            std::tie(counts.listedWritten, counts.listedNotWritten) = found->second;
        if (counts.summaryWritten != counts.listedWritten || counts.summaryNotWritten != counts.listedNotWritten)
            report_.countMismatches.push_back(counts);
    }
}

bool Verifier::ReadManifest(int manifestFd)
{
    BoundedLineReader reader(manifestFd, kLongestManifestLine);
    QByteArray line;
    int lineNumber = 0;
    bool summarySeen = false;
    bool firstLine = true;
    for (;;) {
        const BoundedLineReader::Result result = reader.Next(&line);
        if (result == BoundedLineReader::Result::End)
            break;
        ++lineNumber;
        if (result == BoundedLineReader::Result::Failed)
            return Unreadable(QStringLiteral("cannot read line %1 of the manifest: %2").arg(lineNumber).arg(ErrnoText(errno)));
        if (result == BoundedLineReader::Result::TooLong)
            return Unreadable(QStringLiteral("line %1 of the manifest is longer than %2 bytes")
                                  .arg(lineNumber)
                                  .arg(kLongestManifestLine));
        if (line.trimmed().isEmpty())
            continue;
        if (summarySeen)
            return Unreadable(QStringLiteral("line %1 of the manifest comes after its summary line").arg(lineNumber));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError) {
            // A run killed in the middle of a line leaves it cut off.
            if (!reader.lastLineTerminated())
                break;
            return Unreadable(
                QStringLiteral("line %1 of the manifest is not JSON: %2").arg(lineNumber).arg(error.errorString()));
        }
        if (!document.isObject())
            return Unreadable(QStringLiteral("line %1 of the manifest is not a JSON object").arg(lineNumber));
        const QJsonObject object = document.object();
        // The first line names the mailbox the folder was written from.
        if (firstLine && ManifestHeader::FromJson(object)) {
            firstLine = false;
            continue;
        }
        firstLine = false;
        if (const QJsonValue summary = object.value(QStringLiteral("summary")); summary.isObject()) {
            summarySeen = true;
            CheckCounts(summary.toObject());
            if (const QJsonValue stopped = summary.toObject().value(QStringLiteral("stopped")); !stopped.isUndefined()) {
                report_.standing = VerifyReport::Standing::Stopped;
                report_.detail = stopped.toString();
            }
        } else if (object.contains(QStringLiteral("file"))) {
            NoteWholeFile(object);
        } else {
            CheckEntry(object);
        }
    }
    if (!summarySeen)
        report_.standing = VerifyReport::Standing::Incomplete;
    return true;
}

void Verifier::CheckUncoveredSharedFiles()
{
    for (auto& [path, ranges] : ranges_) {
        if (wholeRecorded_.contains(path) || faulted_.contains(path))
            continue;
        // A manifest from before whole-file lines: accepted only when the
        // messages, each checked above, are every byte of the file.
        const std::optional<UniqueFd> file = OpenListed(path);
        if (!file)
            continue;
        struct stat info {};
        if (::fstat(file->get(), &info) != 0) {
            Find(VerifyFinding::Fault::Unreadable, path);
            continue;
        }
        std::sort(ranges.begin(), ranges.end());
        qint64 end = 0;
        for (const Range& range : ranges) {
            if (range.offset != end)
                break;
            end += range.size;
        }
        if (end != static_cast<qint64>(info.st_size))
            Find(VerifyFinding::Fault::Uncovered, path);
    }
}

void Verifier::WalkForExtras(int directoryFd, const QString& prefix, int depth)
{
    const auto names = SortedEntryNames(directoryFd);
    if (!names) {
        Find(VerifyFinding::Fault::Unreadable, prefix.isEmpty() ? QStringLiteral(".") : prefix);
        return;
    }
    for (const QByteArray& name : *names) {
        const QString relative = prefix.isEmpty() ? PathFromNative(name) : prefix + u'/' + PathFromNative(name);
        struct stat info {};
        if (::fstatat(directoryFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since it was listed
        const EntryKind kind = EntryKindOf(info.st_mode);
        if (kind != EntryKind::Directory) {
            if (!listed_.contains(relative))
                Find(VerifyFinding::Fault::Extra, relative, kind);
            continue;
        }
        if (depth + 1 > kDeepestWalk) {
            Find(VerifyFinding::Fault::TooDeep, relative, kind);
            continue;
        }
        const OpenedDirectory child = OpenDirectoryBeneath(directoryFd, name);
        if (!child) {
            Find(VerifyFinding::Fault::Unreadable, relative, kind);
            continue;
        }
        WalkForExtras(child->get(), relative, depth + 1);
    }
}

}  // namespace

VerifyReport VerifyOutput(const QString& outputFolder)
{
    VerifyReport report;
    const OutputFolder folder = OpenOutputFolder(outputFolder);
    if (folder.isLink) {
        report.standing = VerifyReport::Standing::FolderLink;
        return report;
    }
    if (!folder.fd) {
        report.standing = VerifyReport::Standing::Unreadable;
        report.detail = QStringLiteral("cannot open %1: %2").arg(outputFolder, ErrnoText(folder.error));
        return report;
    }
    const QString manifestName = QString::fromLatin1(kManifestFileName);
    FileBeneath manifest = OpenFileBeneath(folder.fd.get(), manifestName);
    if (manifest.status == FileBeneath::Status::NotRegular) {
        report.standing = VerifyReport::Standing::Unreadable;
        report.detail = QStringLiteral("%1 in %2 is not a regular file").arg(manifestName, outputFolder);
        return report;
    }
    if (manifest.status != FileBeneath::Status::Opened) {
        report.standing = VerifyReport::Standing::Unreadable;
        report.detail = QStringLiteral("cannot read %1 in %2: %3")
                            .arg(manifestName, outputFolder, ErrnoText(manifest.error != 0 ? manifest.error : ENOENT));
        return report;
    }
    Verifier verifier(folder.fd.get(), report);
    if (!verifier.ReadManifest(manifest.file.get()))
        return report;
    verifier.CheckWholeFiles();
    verifier.CheckUncoveredSharedFiles();
    const auto listedEnd = report.findings.size();
    verifier.WalkForExtras(folder.fd.get(), QString(), 0);
    std::stable_sort(report.findings.begin() + static_cast<std::ptrdiff_t>(listedEnd), report.findings.end(),
                     [](const VerifyFinding& a, const VerifyFinding& b) { return a.path < b.path; });
    return report;
}

}  // namespace tolvane
