// Writing the manifest as the conversion goes.
#include "convert/output/Manifest.h"

#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputTree.h"
#include "convert/output/ResumePlan.h"
#include "convert/output/Sha256.h"
#include "base/NativePath.h"
#include "base/ReadAt.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace tolvane {

std::optional<FileDigest> DigestOfFile(int fd, qint64 offset, qint64 length)
{
    Sha256 hash;
    std::vector<char> buffer(1 << 16);
    FileDigest digest;
    while (length < 0 || digest.size < length) {
        const qint64 wanted = length < 0 ? static_cast<qint64>(buffer.size())
                                         : std::min<qint64>(static_cast<qint64>(buffer.size()), length - digest.size);
        const auto got = ReadAt(fd, buffer.data(), wanted, offset + digest.size);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        hash.Add(QByteArrayView(buffer.data(), *got));
        digest.size += *got;
    }
    if (length >= 0 && digest.size != length)
        return std::nullopt;
    digest.sha256 = hash.HexResult();
    return digest;
}

std::optional<FileDigest> DigestOfPath(const QString& path)
{
    const UniqueFd file(::open(NativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file)
        return std::nullopt;
    return DigestOfFile(file.get());
}

ContentWriter DigestingWriter(const ContentWriter& content, std::optional<FileDigest>* digest)
{
    return [content, digest](int fd) {
        if (WriteStep written = content(fd); !written)
            return written;
        *digest = DigestOfFile(fd);
        if (!*digest)
            return WriteStep(NotSaved(WriteFailure::Content, QStringLiteral("the file written cannot be read back: %1")
                                                                 .arg(ErrnoText(errno))));
        return WriteStep();
    };
}

FileDigest DigestOf(const QByteArray& bytes)
{
    return FileDigest{bytes.size(), Sha256::HexOf(bytes)};
}

QJsonObject OutputChoices::ToJson() const
{
    QJsonArray folderList;
    for (const QString& folder : folders)
        folderList.append(folder);
    return QJsonObject{{QStringLiteral("folders"), folderList},
                       {QStringLiteral("withSubfolders"), withSubfolders},
                       {QStringLiteral("recover"), recover},
                       {QStringLiteral("fromRecords"), fromRecords}};
}

std::optional<OutputChoices> OutputChoices::FromJson(const QJsonObject& object)
{
    const QJsonValue folderList = object.value(QStringLiteral("folders"));
    const QJsonValue withSubfolders = object.value(QStringLiteral("withSubfolders"));
    const QJsonValue recover = object.value(QStringLiteral("recover"));
    const QJsonValue fromRecords = object.value(QStringLiteral("fromRecords"));
    if (!folderList.isArray() || !withSubfolders.isBool() || !recover.isBool() || !fromRecords.isBool())
        return std::nullopt;
    OutputChoices choices;
    for (const QJsonValue& folder : folderList.toArray()) {
        if (!folder.isString())
            return std::nullopt;
        choices.folders << folder.toString();
    }
    choices.withSubfolders = withSubfolders.toBool();
    choices.recover = recover.toBool();
    choices.fromRecords = fromRecords.toBool();
    return choices;
}

OutputChoices OutputChoices::Of(const FolderSelection& selection, const FolderPaths& folders, bool recover,
                                bool fromRecords)
{
    OutputChoices choices;
    for (const QString& key : selection.keys)
        choices.folders << folders.PathOf(key);
    choices.folders.sort();
    choices.folders.removeDuplicates();
    choices.withSubfolders = selection.withSubfolders;
    choices.recover = recover;
    choices.fromRecords = fromRecords;
    return choices;
}

QJsonObject ManifestHeader::ToJson() const
{
    QJsonObject line{{QStringLiteral("input"), input ? input->ToJson() : QJsonObject()},
                     {QStringLiteral("format"), OutputFormatName(format)}};
    if (choices)
        line.insert(QStringLiteral("choices"), choices->ToJson());
    return line;
}

std::optional<ManifestHeader> ManifestHeader::FromJson(const QJsonObject& line)
{
    const QJsonValue input = line.value(QStringLiteral("input"));
    const std::optional<OutputFormat> format = OutputFormatNamed(line.value(QStringLiteral("format")).toString());
    if (!input.isObject() || !format)
        return std::nullopt;
    const QJsonValue choices = line.value(QStringLiteral("choices"));
    return ManifestHeader{InputIdentity::FromJson(input.toObject()), *format,
                          choices.isObject() ? OutputChoices::FromJson(choices.toObject()) : std::nullopt};
}

QByteArray ManifestLineCheck(const QString& folder, uint32_t identifier, const QByteArray& fingerprint,
                             const QString& path, qint64 size, const QByteArray& sha256)
{
    // Over the values as JSON gives them, so that the values read back from
    // a line give the same text as those it was written from.
    const QJsonArray parts{folder, static_cast<qint64>(identifier), QString::fromLatin1(fingerprint), path, size,
                           QString::fromLatin1(sha256)};
    return Sha256::HexOf(QJsonDocument(parts).toJson(QJsonDocument::Compact)).left(32);
}

WriteStep ManifestWriter::Open(OutputTree& output, const ManifestHeader& header)
{
    rootPath_ = output.rootPath();
    Expected<OutputTree::GrowingFile, WriteError> file = output.CreateGrowingFile(
        QString(), [](int attempt) { return attempt == 1 ? QString::fromLatin1(kManifestFileName) : QString(); });
    if (!file)
        return Failed(file.error());
    file_ = std::move(file->fd);
    WriteLine(header.ToJson());
    return {};
}

WriteStep ManifestWriter::OpenReplacing(OutputTree& output, const ManifestHeader& header,
                                        const std::vector<KeptManifestLine>& kept)
{
    rootPath_ = output.rootPath();
    Expected<OutputTree::GrowingFile, WriteError> file = output.CreateHiddenGrowingFile(QString());
    if (!file)
        return Failed(file.error());
    QByteArray text = QJsonDocument(header.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    for (const KeptManifestLine& line : kept)
        text += line.text + '\n';
    // On the disk before it takes the old one's place: after a power cut the
    // folder holds one manifest or the other, whole.
    WriteStep written = WriteAllTo(file->fd.get(), text.constData(), text.size());
    if (written && ::fdatasync(file->fd.get()) != 0)
        written = NotSaved(WriteFailure::FileSystem, ErrnoText(errno));
    if (written)
        written = output.ReplaceFile(QString(), file->name, QString::fromLatin1(kManifestFileName));
    if (!written) {
        (void)output.RemoveFile(QString(), file->name);
        return written;
    }
    for (const KeptManifestLine& line : kept)
        counts_[line.kind].first += 1;
    file_ = std::move(file->fd);
    return {};
}

void ManifestWriter::Add(ManifestEntry entry, const QString& absolutePath)
{
    auto& [written, notWritten] = counts_[entry.kind];
    (entry.failure.isEmpty() ? written : notWritten) += 1;
    if (!file_)
        return;
    QJsonObject line;
    line.insert(QStringLiteral("kind"), entry.kind);
    if (!entry.folder.isEmpty())
        line.insert(QStringLiteral("folder"), entry.folder);
    if (entry.identifier != 0)
        line.insert(QStringLiteral("identifier"), static_cast<qint64>(entry.identifier));
    if (entry.source == ItemSource::Recovered)
        line.insert(QStringLiteral("recovered"), QStringLiteral("deleted item"));
    else if (entry.source == ItemSource::Orphan)
        line.insert(QStringLiteral("recovered"), QStringLiteral("orphan item"));
    if (!entry.subject.isEmpty())
        line.insert(QStringLiteral("subject"), entry.subject);
    if (entry.date && entry.date->isValid())
        line.insert(QStringLiteral("date"), entry.date->toUTC().toString(Qt::ISODate));
    if (!entry.messageId.isEmpty())
        line.insert(QStringLiteral("messageId"), entry.messageId);
    if (!entry.failure.isEmpty()) {
        line.insert(QStringLiteral("notWritten"), entry.failure);
    } else {
        const QString path = RelativePath(absolutePath.isEmpty() ? entry.path : absolutePath);
        line.insert(QStringLiteral("path"), path);
        if (entry.offset)
            line.insert(QStringLiteral("offset"), *entry.offset);
        line.insert(QStringLiteral("size"), entry.size);
        line.insert(QStringLiteral("sha256"), QString::fromLatin1(entry.sha256));
        // What a resumed run checks before it keeps the file (ResumePlan).
        if (!entry.fingerprint.isEmpty()) {
            line.insert(QStringLiteral("fingerprint"), QString::fromLatin1(entry.fingerprint));
            line.insert(QStringLiteral("check"),
                        QString::fromLatin1(ManifestLineCheck(entry.folder, entry.identifier, entry.fingerprint, path,
                                                              entry.size, entry.sha256)));
        }
    }
    WriteLine(line);
}

QString ManifestWriter::RelativePath(const QString& absolutePath) const
{
    return absolutePath.startsWith(rootPath_ + u'/') ? absolutePath.mid(rootPath_.size() + 1) : absolutePath;
}

void ManifestWriter::AddWholeFile(const QString& absolutePath, const FileDigest& whole)
{
    QJsonObject line;
    line.insert(QStringLiteral("file"), RelativePath(absolutePath));
    line.insert(QStringLiteral("size"), whole.size);
    line.insert(QStringLiteral("sha256"), QString::fromLatin1(whole.sha256));
    WriteLine(line);
}

void ManifestWriter::MarkStopped(QString reason)
{
    if (stopped_.isEmpty())
        stopped_ = reason.isEmpty() ? QStringLiteral("stopped early") : std::move(reason);
}

void ManifestWriter::Finish()
{
    QJsonObject written;
    QJsonObject notWritten;
    for (const auto& [kind, count] : counts_) {
        written.insert(kind, count.first);
        if (count.second > 0)
            notWritten.insert(kind, count.second);
    }
    QJsonObject summary{{QStringLiteral("written"), written}, {QStringLiteral("notWritten"), notWritten}};
    if (!stopped_.isEmpty())
        summary.insert(QStringLiteral("stopped"), stopped_);
    QJsonObject line;
    line.insert(QStringLiteral("summary"), summary);
    WriteLine(line);
}

void ManifestWriter::WriteLine(const QJsonObject& object)
{
    if (!file_)
        return;
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (const WriteStep written = WriteAllTo(file_.get(), line.constData(), line.size()); !written && failure_.isEmpty())
        failure_ = written.error().reason;
}

}  // namespace tolvane
