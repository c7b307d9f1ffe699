// Writing the manifest as the conversion goes, and checking an output folder
// against it.
#include "convert/Manifest.h"

#include "convert/NewFileWriter.h"
#include "convert/OutputTree.h"
#include "convert/Sha256.h"
#include "scan/NativePath.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QSet>

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
        const ssize_t got = ::pread(fd, buffer.data(), static_cast<size_t>(wanted), offset + digest.size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        hash.Add(QByteArrayView(buffer.data(), got));
        digest.size += got;
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

FileDigest DigestOf(const QByteArray& bytes)
{
    return FileDigest{bytes.size(), Sha256::HexOf(bytes)};
}

bool ManifestWriter::Open(OutputTree& output, QString* reason)
{
    QString path;
    file_ = output.CreateGrowingFile(
        QString(), [](int attempt) { return attempt == 1 ? QString::fromLatin1(kManifestFileName) : QString(); },
        &path, reason);
    rootPath_ = output.rootPath();
    return file_.isValid();
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
        QString path = absolutePath.isEmpty() ? entry.path : absolutePath;
        if (path.startsWith(rootPath_ + u'/'))
            path = path.mid(rootPath_.size() + 1);
        line.insert(QStringLiteral("path"), path);
        if (entry.offset)
            line.insert(QStringLiteral("offset"), *entry.offset);
        line.insert(QStringLiteral("size"), entry.size);
        line.insert(QStringLiteral("sha256"), QString::fromLatin1(entry.sha256));
    }
    WriteLine(line);
}

void ManifestWriter::AddWholeFile(const QString& absolutePath, const FileDigest& whole)
{
    QString path = absolutePath;
    if (path.startsWith(rootPath_ + u'/'))
        path = path.mid(rootPath_.size() + 1);
    QJsonObject line;
    line.insert(QStringLiteral("file"), path);
    line.insert(QStringLiteral("size"), whole.size);
    line.insert(QStringLiteral("sha256"), QString::fromLatin1(whole.sha256));
    WriteLine(line);
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
    QJsonObject line;
    line.insert(QStringLiteral("summary"), QJsonObject{{QStringLiteral("written"), written},
                                                       {QStringLiteral("notWritten"), notWritten}});
    WriteLine(line);
}

void ManifestWriter::WriteLine(const QJsonObject& object)
{
    if (!file_)
        return;
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    QString reason;
    if (!WriteAllTo(file_.get(), line.constData(), line.size(), &reason) && failure_.isEmpty())
        failure_ = reason;
}

VerifyReport VerifyOutput(const QString& outputFolder)
{
    VerifyReport report;
    const QString root = outputFolder.endsWith(u'/') && outputFolder.size() > 1 ? outputFolder.chopped(1)
                                                                                 : outputFolder;
    QFile manifest(root + u'/' + QString::fromLatin1(kManifestFileName));
    if (!manifest.open(QIODevice::ReadOnly)) {
        report.failure = QStringLiteral("cannot read %1: %2").arg(manifest.fileName(), manifest.errorString());
        return report;
    }
    QSet<QString> listed;
    listed.insert(QString::fromLatin1(kManifestFileName));
    int lineNumber = 0;
    while (!manifest.atEnd()) {
        const QByteArray line = manifest.readLine();
        ++lineNumber;
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject entry = QJsonDocument::fromJson(line, &error).object();
        if (error.error != QJsonParseError::NoError) {
            report.failure = QStringLiteral("line %1 of the manifest is not JSON: %2").arg(lineNumber).arg(error.errorString());
            return report;
        }
        const QString path = entry.value(QStringLiteral("path")).toString();
        if (path.isEmpty())
            continue;
        // A listed path never leads out of the folder being checked.
        if (path.startsWith(u'/') || path.split(u'/').contains(QStringLiteral(".."))) {
            report.changed << path;
            continue;
        }
        const bool shared = entry.contains(QStringLiteral("offset"));
        const bool first = !listed.contains(path);
        listed.insert(path);
        ++report.checked;
        const UniqueFd file(::open(NativePath(root + u'/' + path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!file) {
            if (first)
                report.missing << path;
            continue;
        }
        const qint64 size = static_cast<qint64>(entry.value(QStringLiteral("size")).toDouble());
        const auto digest = shared ? DigestOfFile(file.get(), static_cast<qint64>(entry.value(QStringLiteral("offset")).toDouble()), size)
                                   : DigestOfFile(file.get());
        const bool same = digest && digest->size == size
                          && digest->sha256 == entry.value(QStringLiteral("sha256")).toString().toLatin1();
        if (!same && !report.changed.contains(path))
            report.changed << path;
    }
    QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString relative = files.next().mid(root.size() + 1);
        if (!listed.contains(relative))
            report.extra << relative;
    }
    report.extra.sort();
    return report;
}

}  // namespace tolvane
