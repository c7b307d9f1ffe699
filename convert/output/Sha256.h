// SHA-256 of bytes fed piece by piece, through libcrypto so the processor's
// hashing instructions are used. The manifest hashes every file the
// conversion writes, and `verify` every file it checks, with this.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <openssl/sha.h>

namespace tolvane {

// The state is a plain value (libcrypto's SHA256_CTX, not a context it
// allocates), so making, copying and finishing a hash cannot fail: a copy
// carries on from the same state, which is how a caller takes a digest back
// to an earlier point.
class Sha256 {
public:
    Sha256();

    void Add(QByteArrayView bytes);
    // The digest of everything added, in lower-case hexadecimal; the state
    // itself is left as it was, so more can be added afterwards.
    [[nodiscard]] QByteArray HexResult() const;

    // The digest of one block of bytes, in hexadecimal.
    [[nodiscard]] static QByteArray HexOf(QByteArrayView bytes);

private:
    SHA256_CTX state_;
};

}  // namespace tolvane
