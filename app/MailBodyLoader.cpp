// Off-thread reading of the previewed mail's body.
#include "app/MailBodyLoader.h"

#include "convert/read/BodyText.h"
#include "convert/read/MailboxReader.h"
#include "convert/compose/MimeComposer.h"

#include <QMetaObject>
#include <QPointer>

namespace tolvane {

namespace {

// The content type an inline image is served with: the stored one when it
// names an image, else the one its file name suggests.
QByteArray ImageType(const Attachment& attachment)
{
    const QString stored = attachment.contentType.section(u';', 0, 0).trimmed().toLower();
    if (stored.startsWith(QLatin1String("image/")))
        return stored.toLatin1();
    return ContentTypeForFileName(attachment.fileName).toLatin1();
}

// The bytes of an attachment, read whole when it streams from the mailbox;
// empty when larger than `limit` or when the read fails.
QByteArray AttachmentBytes(const Attachment& attachment, qint64 limit)
{
    if (!attachment.source)
        return attachment.data.size() <= limit ? attachment.data : QByteArray();
    AttachmentSource& source = *attachment.source;
    if (source.size() > limit || !source.Rewind())
        return {};
    QByteArray bytes(static_cast<qsizetype>(source.size()), Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 read = source.Read(bytes.data() + done, bytes.size() - done);
        if (read <= 0)
            return {};
        done += read;
    }
    return bytes;
}

}  // namespace

PreviewBody PreviewBodyFrom(const MessageContent& content, qint64 imageLimit)
{
    PreviewBody body;
    if (!content.htmlBody.isNull() && !IsBlankUtf8(content.htmlBody)) {
        body.kind = PreviewBody::Kind::Html;
        body.text = QString::fromUtf8(content.htmlBody);
        for (const Attachment& attachment : content.attachments) {
            if (attachment.kind != Attachment::Kind::Data || attachment.contentId.isEmpty())
                continue;
            QByteArray data = AttachmentBytes(attachment, imageLimit);
            if (!data.isEmpty())
                body.images.insert(attachment.contentId.toLower(), InlineImage{ImageType(attachment), std::move(data)});
        }
    } else if (!content.plainBody.isNull() && !IsBlankUtf8(content.plainBody)) {
        body.kind = PreviewBody::Kind::Text;
        body.text = QString::fromUtf8(content.plainBody);
    } else if (!IsBlank(content.rtfText)) {
        body.kind = PreviewBody::Kind::Text;
        body.text = content.rtfText;
    }
    return body;
}

MailBodyLoader::MailBodyLoader(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<tolvane::PreviewBody>();
    pool_.setMaxThreadCount(1);
}

MailBodyLoader::~MailBodyLoader()
{
    latest_ = ~quint64(0);  // whatever is queued is superseded
    pool_.clear();
    pool_.waitForDone();
}

std::shared_ptr<MailboxReader> MailBodyLoader::ReaderFor(const QString& pstPath,
                                                        const std::optional<FileIdentity>& scanned)
{
    std::lock_guard lock(readerMutex_);
    if (reader_ && readerPath_ == pstPath)
        return reader_;
    auto reader = std::make_shared<MailboxReader>();
    if (!reader->Open(pstPath, scanned))
        return nullptr;
    reader_ = reader;
    readerPath_ = pstPath;
    return reader;
}

void MailBodyLoader::Forget()
{
    std::lock_guard lock(readerMutex_);
    reader_.reset();
    readerPath_.clear();
}

void MailBodyLoader::Load(quint64 request, const QString& pstPath, const ItemLocation& location,
                          const std::optional<FileIdentity>& scanned)
{
    latest_ = request;
    QPointer<MailBodyLoader> self(this);
    pool_.start([this, self, request, pstPath, location, scanned] {
        if (latest_ != request)
            return;
        if (beforeRead_)
            beforeRead_(request);
        if (latest_ != request)
            return;
        PreviewBody body;
        // Images of a preview are small; a mail's large files stay unread.
        constexpr qint64 kImageLimit = 16 * 1024 * 1024;
        if (const auto reader = ReaderFor(pstPath, scanned)) {
            const ItemRead<MessageContent> read = reader->ReadMessage(location);
            if (read && latest_ == request)
                body = PreviewBodyFrom(*read, kImageLimit);
        }
        if (latest_ != request)
            return;
        QMetaObject::invokeMethod(
            this,
            [self, request, body = std::move(body)] {
                if (self && self->latest_ == request)
                    Q_EMIT self->bodyLoaded(request, body);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace tolvane
