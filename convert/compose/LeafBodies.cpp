// Leaf bodies encoded once with GMime's encoder steps and spliced into the
// message GMime writes around them.
#include "convert/compose/LeafBodies.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

namespace tolvane {

namespace {

constexpr qsizetype kLongestLine = 998;  // RFC 5322's limit, without the line end

bool StartsWithFrom(const char* at, const char* end)
{
    return end - at >= 5 && std::memcmp(at, "From ", 5) == 0;
}

// Line ends as GMime's DOS newline filter writes them: a CR goes before every
// LF that does not follow one; everything else is left as it is.
const char* NextLineFeed(const char* at, const char* end)
{
    return static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
}

// The line feeds a CR has to go before.
qsizetype BareLineFeeds(const char* begin, const char* end)
{
    qsizetype bare = 0;
    for (const char* at = begin; at < end && (at = NextLineFeed(at, end)) != nullptr; ++at)
        bare += at == begin || at[-1] != '\r';
    return bare;
}

// `bytes` with a CR before every bare LF, in a buffer of its own.
QByteArray WithCrlf(QByteArrayView bytes)
{
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    QByteArray out(bytes.size() + BareLineFeeds(begin, end), Qt::Uninitialized);
    char* to = out.data();
    for (const char* at = begin; at < end;) {
        const char* lineFeed = NextLineFeed(at, end);
        const char* const lineEnd = lineFeed ? lineFeed : end;
        std::memcpy(to, at, static_cast<size_t>(lineEnd - at));
        to += lineEnd - at;
        if (lineFeed == nullptr)
            break;
        if (lineFeed == begin || lineFeed[-1] != '\r')
            *to++ = '\r';
        *to++ = '\n';
        at = lineFeed + 1;
    }
    return out;
}

// The same in the buffer `bytes` already holds, grown once and filled from
// its end, so that an encoded body is never held twice.
void EndLinesWithCrlf(QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    const qsizetype bare = BareLineFeeds(bytes.constData(), bytes.constData() + size);
    if (bare == 0)
        return;
    bytes.resize(size + bare);
    char* const data = bytes.data();
    // Line by line from the end: each line moves up by the CRs still to
    // come before it; once none is, the rest is in place.
    char* end = data + size;
    char* to = end + bare;
    while (to != end) {
        const char* lineFeed = static_cast<const char*>(::memrchr(data, '\n', static_cast<size_t>(end - data)));
        const qsizetype tail = end - (lineFeed + 1);
        to -= tail;
        std::memmove(to, lineFeed + 1, static_cast<size_t>(tail));
        *--to = '\n';
        if (lineFeed == data || lineFeed[-1] != '\r')
            *--to = '\r';
        end = const_cast<char*>(lineFeed);
    }
}

}  // namespace

GMimeContentEncoding BestTextEncoding(QByteArrayView bytes)
{
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    qsizetype nulBytes = 0;
    qsizetype eightBitBytes = 0;
    qsizetype longestLine = 0;
    bool lineStartsWithFrom = false;
    while (at < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
        if (lineEnd == nullptr)
            lineEnd = end;
        lineStartsWithFrom = lineStartsWithFrom || StartsWithFrom(at, end);
        longestLine = std::max<qsizetype>(longestLine, lineEnd - at);
        for (const char* c = at; c < lineEnd; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            nulBytes += byte == 0;
            eightBitBytes += byte >> 7;
        }
        at = lineEnd + 1;
    }
    if (nulBytes > 0)
        return GMIME_CONTENT_ENCODING_BASE64;
    if (eightBitBytes > 0) {
        return eightBitBytes >= bytes.size() * 17 / 100 ? GMIME_CONTENT_ENCODING_BASE64
                                                        : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    }
    // A line starting "From " would be taken for a message's start in an mbox.
    if (longestLine > kLongestLine || lineStartsWithFrom)
        return GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    return GMIME_CONTENT_ENCODING_DEFAULT;
}

QByteArray Encoded(QByteArrayView bytes, GMimeContentEncoding encoding)
{
    if (encoding != GMIME_CONTENT_ENCODING_BASE64 && encoding != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE)
        return bytes.toByteArray();
    GMimeEncoding encoder;
    g_mime_encoding_init_encode(&encoder, encoding);
    QByteArray encoded(static_cast<qsizetype>(g_mime_encoding_outlen(&encoder, static_cast<size_t>(bytes.size()))),
                       Qt::Uninitialized);
    const size_t written =
        g_mime_encoding_flush(&encoder, bytes.data(), static_cast<size_t>(bytes.size()), encoded.data());
    encoded.truncate(static_cast<qsizetype>(written));
    return encoded;
}

QByteArray EncodedWithCrlf(QByteArrayView bytes, GMimeContentEncoding encoding)
{
    if (encoding != GMIME_CONTENT_ENCODING_BASE64 && encoding != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE)
        return WithCrlf(bytes);
    QByteArray encoded = Encoded(bytes, encoding);
    EndLinesWithCrlf(encoded);
    return encoded;
}

LeafSplices::LeafSplices()
{
    quint64 random[2];
    QRandomGenerator::system()->fillRange(random);
    token_ = "tolvane-leaf-" + QByteArray::number(random[0], 16) + QByteArray::number(random[1], 16) + '-';
}

QByteArray LeafSplices::StandIn(std::size_t index) const
{
    return token_ + QByteArray::number(static_cast<qulonglong>(index)) + '.';
}

QByteArray LeafSplices::Add(QByteArray crlfBody)
{
    QByteArray standIn = StandIn(bodies_.size());
    if (crlfBody.endsWith('\n'))
        standIn += '\n';
    bodies_.push_back(std::move(crlfBody));
    return standIn;
}

bool LeafSplices::AnyBodyContains(QByteArrayView text) const
{
    for (const QByteArray& body : bodies_) {
        if (body.contains(text))
            return true;
    }
    return false;
}

QByteArray LeafSplices::Apply(QByteArrayView written) const
{
    // Where each stand-in is: GMime writes the parts in the tree's order,
    // which need not be the order their bodies were encoded in.
    struct Place {
        qsizetype at;
        qsizetype length;
        std::size_t body;
    };
    std::vector<Place> places;
    places.reserve(bodies_.size());
    qsizetype total = written.size();
    for (std::size_t i = 0; i < bodies_.size(); ++i) {
        QByteArray standIn = StandIn(i);
        if (bodies_[i].endsWith('\n'))
            standIn += "\r\n";
        const qsizetype at = written.indexOf(standIn);
        if (at < 0)
            return {};
        places.push_back({at, standIn.size(), i});
        total += bodies_[i].size();
    }
    std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.at < b.at; });
    QByteArray out;
    out.reserve(total);
    qsizetype from = 0;
    for (const Place& place : places) {
        out.append(written.data() + from, place.at - from);
        out.append(bodies_[place.body]);
        from = place.at + place.length;
    }
    out.append(written.data() + from, written.size() - from);
    return out;
}

}  // namespace tolvane
