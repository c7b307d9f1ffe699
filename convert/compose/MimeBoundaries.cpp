// Derived MIME boundaries (see MimeBoundaries.h).
#include "convert/compose/MimeBoundaries.h"

#include "convert/compose/GMimeHandles.h"
#include "convert/compose/LeafBodies.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QSet>

#include <vector>

namespace tolvane {

namespace {

// Every text of the message a boundary could be found in, unless it is
// base64 or quoted-printable: held by the message while boundaries are set.
class MessageTexts {
public:
    MessageTexts(GMimeObject* top, const LeafSplices* splices) : splices_(splices)
    {
        options_.reset(g_mime_format_options_new());
        Collect(top);
    }

    [[nodiscard]] bool Contains(QByteArrayView text) const
    {
        for (const QByteArray& header : headers_) {
            if (header.contains(text))
                return true;
        }
        for (const QByteArrayView body : bodies_) {
            if (body.contains(text))
                return true;
        }
        return splices_ != nullptr && splices_->AnyBodyContains(text);
    }

    [[nodiscard]] const QByteArray& TopHeader() const { return headers_.front(); }

private:
    void Collect(GMimeObject* object)
    {
        if (object == nullptr)
            return;
        GCharPtr header(g_mime_header_list_to_string(g_mime_object_get_header_list(object), options_.get()));
        headers_.emplace_back(header ? header.get() : "");
        if (GMIME_IS_MESSAGE(object)) {
            Collect(g_mime_message_get_mime_part(GMIME_MESSAGE(object)));
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            Collect(inner != nullptr ? GMIME_OBJECT(inner) : nullptr);
        } else if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
                Collect(g_mime_multipart_get_part(multipart, i));
        } else if (GMIME_IS_PART(object)) {
            CollectBody(GMIME_PART(object));
        }
    }

    void CollectBody(GMimePart* part)
    {
        const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
        if (encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE)
            return;
        GMimeDataWrapper* content = g_mime_part_get_content(part);
        GMimeStream* stream = content != nullptr ? g_mime_data_wrapper_get_stream(content) : nullptr;
        // Bodies left as they are are always held in memory (a streamed
        // attachment is base64).
        if (stream == nullptr || !GMIME_IS_STREAM_MEM(stream))
            return;
        const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
        if (bytes != nullptr)
            bodies_.emplace_back(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
    }

    FormatOptionsPtr options_;
    const LeafSplices* splices_;
    std::vector<QByteArray> headers_;
    std::vector<QByteArrayView> bodies_;
};

class BoundaryMaker {
public:
    BoundaryMaker(const QByteArray& seed, const MessageTexts& texts) : seed_(seed), texts_(texts) {}

    void Assign(GMimeObject* object, const QByteArray& place)
    {
        if (object == nullptr)
            return;
        if (GMIME_IS_MESSAGE(object)) {
            Assign(g_mime_message_get_mime_part(GMIME_MESSAGE(object)), place + 'b');
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            Assign(inner != nullptr ? GMIME_OBJECT(inner) : nullptr, place + 'm');
        } else if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            g_mime_multipart_set_boundary(multipart, BoundaryFor(place).constData());
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
                Assign(g_mime_multipart_get_part(multipart, i), place + '.' + QByteArray::number(i));
        }
    }

private:
    QByteArray BoundaryFor(const QByteArray& place)
    {
        for (int draw = 0;; ++draw) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(seed_);
            hash.addData(QByteArrayView("\0", 1));
            hash.addData(place);
            hash.addData(QByteArrayView("\0", 1));
            hash.addData(QByteArray::number(draw));
            const QByteArray boundary = "=_" + hash.result().toHex().left(22);
            if (!used_.contains(boundary) && !texts_.Contains(boundary)) {
                used_.insert(boundary);
                return boundary;
            }
        }
    }

    const QByteArray& seed_;
    const MessageTexts& texts_;
    QSet<QByteArray> used_;
};

}  // namespace

void SetDerivedBoundaries(GMimeMessage* message, const QByteArray& seed, const LeafSplices* splices)
{
    const MessageTexts texts(GMIME_OBJECT(message), splices);
    const QByteArray& base = seed.isEmpty() ? texts.TopHeader() : seed;
    BoundaryMaker maker(base, texts);
    maker.Assign(GMIME_OBJECT(message), QByteArray());
}

}  // namespace tolvane
