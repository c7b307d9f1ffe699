// Telling a text attachment's charset from its bytes; see TextCharset.h.
#include "convert/compose/TextCharset.h"

#include <QByteArrayView>

#include <algorithm>
#include <vector>

namespace tolvane {

namespace {

// Bytes fed in pieces, as a streamed attachment arrives: whether all of them
// are ASCII, and whether they are UTF-8 (a character may span two pieces).
class Utf8Check {
public:
    void Feed(QByteArrayView piece)
    {
        if (starts_.size() < 2)
            starts_.append(piece.first(std::min<qsizetype>(piece.size(), 2 - starts_.size())));
        ascii_ = ascii_ && std::all_of(piece.begin(), piece.end(), [](char c) { return (c & 0x80) == 0; });
        if (!valid_)
            return;
        QByteArray bytes = carry_ + piece.toByteArray();
        const qsizetype complete = CompleteLength(bytes);
        valid_ = QByteArrayView(bytes).first(complete).isValidUtf8();
        carry_ = bytes.mid(complete);
    }

    bool ascii() const { return ascii_; }
    bool utf8() const { return valid_ && carry_.isEmpty(); }
    bool utf16Mark() const { return starts_ == "\xFF\xFE" || starts_ == "\xFE\xFF"; }

private:
    // Up to the start of a character whose bytes have not all arrived yet.
    static qsizetype CompleteLength(const QByteArray& bytes)
    {
        for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
            const auto c = static_cast<unsigned char>(bytes.at(bytes.size() - back));
            if ((c & 0xC0) == 0x80)
                continue;
            const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            return length > back ? bytes.size() - back : bytes.size();
        }
        return bytes.size();
    }

    QByteArray carry_;
    QByteArray starts_;
    bool ascii_ = true;
    bool valid_ = true;
};

// The attachment's bytes through `check`; false when they cannot be read.
bool ReadThrough(AttachmentSource& source, Utf8Check& check)
{
    if (!source.Rewind())
        return false;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const qint64 read = source.Read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (read < 0)
            return false;
        if (read == 0)
            break;
        check.Feed(QByteArrayView(buffer.data(), read));
    }
    return source.Rewind();
}

}  // namespace

QByteArray TextAttachmentCharset(const Attachment& attachment)
{
    if (!attachment.charset.isEmpty())
        return attachment.charset;
    Utf8Check check;
    if (attachment.source) {
        if (!ReadThrough(*attachment.source, check))
            return attachment.codePageCharset;  // the file fails on its data anyway
    } else {
        check.Feed(attachment.data);
    }
    if (check.ascii())
        return "us-ascii";
    if (check.utf16Mark())
        return "utf-16";
    if (check.utf8())
        return "utf-8";
    return attachment.codePageCharset;
}

}  // namespace tolvane
