// vCard, iCalendar and attachment files: how each is named; the file itself
// is made by the output tree (OutputTree::CreateFile).
#include "convert/output/FileSinks.h"

#include "convert/output/Manifest.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"

namespace tolvane {

namespace {

SaveResult WithDigest(SaveResult result, const QByteArray& content)
{
    if (result)
        result->digest = DigestOf(content);
    return result;
}

// A file named after the item, with the format's suffix.
class NamedFileSink final : public FileSink {
public:
    NamedFileSink(OutputTree* output, QString suffix) : output_(output), suffix_(std::move(suffix)) {}

    SaveResult Save(const FileToSave& file) override
    {
        const auto name = [&](int attempt) { return FileNameFor(file.nameText, QString(), suffix_, attempt); };
        return WithDigest(CreateFileIn(output_, file.folderKey, name, BytesWriter(file.content)), file.content);
    }

private:
    OutputTree* output_;
    QString suffix_;
};

// A file under the attachment's own name; a name the calendar beside it will
// take goes to the attachment with "-attachment" added instead.
class AttachmentFileSink final : public FileSink {
public:
    explicit AttachmentFileSink(OutputTree* output) : output_(output) {}

    SaveResult Save(const FileToSave& file) override
    {
        const QString whole = file.nameText.isEmpty() ? QStringLiteral("attachment") : file.nameText;
        const qsizetype dot = whole.lastIndexOf(u'.');
        const QString base = dot > 0 ? whole.left(dot) : whole;
        const QString suffix = dot > 0 ? whole.mid(dot) : QString();
        const auto name = [&](int attempt) {
            const QString candidate = FileNameFor(base, QString(), suffix, attempt);
            return candidate == file.nameLeftFree
                       ? FileNameFor(base + QStringLiteral("-attachment"), QString(), suffix, attempt)
                       : candidate;
        };
        return WithDigest(CreateFileIn(output_, file.folderKey, name, BytesWriter(file.content)), file.content);
    }

private:
    OutputTree* output_;
};

}  // namespace

std::unique_ptr<FileSink> MakeFileSink(FileFormat format, OutputTree* output)
{
    switch (format) {
    case FileFormat::VCard:
        return std::make_unique<NamedFileSink>(output, QStringLiteral(".vcf"));
    case FileFormat::ICalendar:
        return std::make_unique<NamedFileSink>(output, QStringLiteral(".ics"));
    case FileFormat::AttachmentFile:
        break;
    }
    return std::make_unique<AttachmentFileSink>(output);
}

}  // namespace tolvane
