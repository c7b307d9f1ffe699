// Helpers of the conversion tests: a recording sink, a private temporary
// directory, the Python e-mail check and GMime parsing of written files.
#pragma once

#include "frontend/ConversionText.h"
#include "convert/ConversionDriver.h"
#include "convert/compose/GMimeHandles.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tolvane::testing {

class RecordingConversionSink : public ConversionSink {
public:
    void SetProgress(const ConversionPosition& position) override
    {
        std::lock_guard lock(mutex_);
        positions_.push_back(position);
    }
    void ShowCompletion(const ConversionSummary& summary) override
    {
        std::lock_guard lock(mutex_);
        notices_ << CompletionNoticeText(summary);
    }
    void ConversionFinished(const ConversionSummary&) override
    {
        std::lock_guard lock(mutex_);
        ++finished_;
    }
    QStringList notices() const
    {
        std::lock_guard lock(mutex_);
        return notices_;
    }
    std::vector<ConversionPosition> positions() const
    {
        std::lock_guard lock(mutex_);
        return positions_;
    }
    int finished() const
    {
        std::lock_guard lock(mutex_);
        return finished_;
    }

private:
    mutable std::mutex mutex_;
    QStringList notices_;
    std::vector<ConversionPosition> positions_;
    int finished_ = 0;
};

// Every file below `root` with the given suffix, sorted.
inline QStringList FilesBelow(const QString& root, const QString& suffix)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(suffix))
            files << path;
    }
    files.sort();
    return files;
}

// Runs the Python check over a directory: every .eml parses with
// email.policy.default without a defect. Empty string when clean.
inline QString PythonEmailDefects(const QString& directory)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(QStringLiteral("python3"),
                 {QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/check_eml.py"), directory});
    if (!python.waitForFinished(600000))
        return QStringLiteral("python3 did not finish");
    const QString output = QString::fromUtf8(python.readAll());
    return python.exitCode() == 0 ? QString() : output;
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The one output folder a conversion made below `destination`.
inline QString OutputFolderIn(const QString& destination)
{
    const QStringList made = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_EQ(made.size(), 1) << made.join(' ').toStdString();
    return QDir(destination).filePath(made.value(0));
}

// Every line of an output folder's manifest, the summary line last.
inline QList<QJsonObject> ManifestLines(const QString& outputFolder)
{
    QList<QJsonObject> lines;
    for (const QByteArray& line : ReadAll(outputFolder + QStringLiteral("/manifest.jsonl")).split('\n')) {
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

inline GObjectPtr<GMimeMessage> ParseWithGMime(const QByteArray& bytes)
{
    EnsureGMimeReady();
    auto stream = AdoptGObject(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
    auto parser = AdoptGObject(g_mime_parser_new_with_stream(stream.get()));
    return AdoptGObject(g_mime_parser_construct_message(parser.get(), nullptr));
}

// The text of a header, decoded; empty when missing.
inline QString HeaderText(GMimeMessage* message, const char* name)
{
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message), name);
    if (!value)
        return QString();
    GCharPtr decoded(g_mime_utils_header_decode_text(nullptr, value));
    return QString::fromUtf8(decoded.get());
}

inline QString AddressesText(InternetAddressList* list)
{
    GCharPtr text(internet_address_list_to_string(list, nullptr, FALSE));
    return QString::fromUtf8(text.get() ? text.get() : "");
}

// Decoded content of a leaf part.
inline QByteArray PartBytes(GMimeObject* object)
{
    if (!GMIME_IS_PART(object))
        return QByteArray();
    GMimeDataWrapper* wrapper = g_mime_part_get_content(GMIME_PART(object));
    if (!wrapper)
        return QByteArray();
    auto stream = AdoptGObject(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(wrapper, stream.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

struct PartInfo {
    QString contentType;
    QString fileName;
    QString contentId;
    QByteArray content;
    GMimeMessage* embedded = nullptr;  // for message/rfc822 parts; owned by the tree
};

// Every part of a message in document order (not descending into embedded messages).
inline std::vector<PartInfo> Parts(GMimeMessage* message)
{
    std::vector<PartInfo> parts;
    {
        PartInfo root;
        GMimeObject* top = g_mime_message_get_mime_part(message);
        GCharPtr type(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(top)));
        root.contentType = QString::fromUtf8(type.get());
        if (GMIME_IS_PART(top))
            root.content = PartBytes(top);
        parts.push_back(root);
        if (!GMIME_IS_MULTIPART(top))
            return parts;
    }
    GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(message));
    if (g_mime_part_iter_is_valid(iter)) {
        do {
            GMimeObject* current = g_mime_part_iter_get_current(iter);
            PartInfo info;
            GCharPtr type(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(current)));
            info.contentType = QString::fromUtf8(type.get());
            if (GMIME_IS_PART(current)) {
                const char* name = g_mime_part_get_filename(GMIME_PART(current));
                info.fileName = QString::fromUtf8(name ? name : "");
                const char* id = g_mime_object_get_content_id(current);
                info.contentId = QString::fromUtf8(id ? id : "");
                info.content = PartBytes(current);
            }
            if (GMIME_IS_MESSAGE_PART(current)) {
                info.embedded = g_mime_message_part_get_message(GMIME_MESSAGE_PART(current));
                const char* name = g_mime_object_get_content_disposition_parameter(current, "filename");
                info.fileName = QString::fromUtf8(name ? name : "");
            }
            parts.push_back(info);
        } while (g_mime_part_iter_next(iter));
    }
    g_mime_part_iter_free(iter);
    return parts;
}

}  // namespace tolvane::testing
