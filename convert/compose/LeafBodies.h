// Leaf bodies of a composed message, encoded once and put into the written
// message whole. GMime writes the headers and the structure; the bodies,
// which are nearly all of a message's bytes, would otherwise pass through
// its per-byte filters twice (choosing the encoding, then the line ends).
// What comes out is byte for byte what GMime's own filters make.
#pragma once

#include <gmime/gmime.h>

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace tolvane {

// The transfer encoding GMime chooses for text within 7 bits: base64 for NUL
// bytes or many 8-bit bytes, quoted-printable for a few of them, a line over
// 998 bytes or a line starting "From "; otherwise none.
[[nodiscard]] GMimeContentEncoding BestTextEncoding(QByteArrayView bytes);

// `bytes` in `encoding` (base64, quoted-printable; anything else as they
// are) through GMime's encoder steps, its lines ending in LF as GMime's own
// encoder filters end them.
[[nodiscard]] QByteArray Encoded(QByteArrayView bytes, GMimeContentEncoding encoding);
// The same with every line ending in CRLF, as written into a file.
[[nodiscard]] QByteArray EncodedWithCrlf(QByteArrayView bytes, GMimeContentEncoding encoding);

// Stand-ins for leaf bodies while GMime writes a message, and the message
// with the bodies put back. A stand-in is a line GMime passes through
// unchanged, made of a token no mailbox content can predict; it ends in a
// line break exactly when its body does, so GMime ends the part the same way.
class LeafSplices {
public:
    LeafSplices();

    // The stand-in for a body already encoded and ending lines in CRLF.
    [[nodiscard]] QByteArray Add(QByteArray crlfBody);
    // The written message (CRLF line ends) with every stand-in replaced by
    // its body, wherever the writer put it. Empty when a stand-in is
    // missing, which cannot happen unless the writer changed what it was given.
    [[nodiscard]] QByteArray Apply(QByteArrayView written) const;
    bool empty() const { return bodies_.empty(); }
    // Whether any body held for a stand-in holds `text`.
    [[nodiscard]] bool AnyBodyContains(QByteArrayView text) const;

private:
    // The stand-in of body `index` without its line break.
    QByteArray StandIn(std::size_t index) const;

    QByteArray token_;
    std::vector<QByteArray> bodies_;
};

}  // namespace tolvane
