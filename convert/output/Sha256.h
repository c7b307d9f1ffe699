// SHA-256 of bytes fed piece by piece, through libcrypto so the processor's
// hashing instructions are used. The manifest hashes every file the
// conversion writes, and `verify` every file it checks, with this.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct evp_md_ctx_st;

namespace tolvane {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    // A copy carries on from the same state (to take a digest back to an
    // earlier point, keep a copy made there).
    Sha256(const Sha256& other);
    Sha256& operator=(const Sha256& other);

    void Add(QByteArrayView bytes);
    // The digest of everything added, in lower-case hexadecimal; the state
    // itself is left as it was, so more can be added afterwards.
    [[nodiscard]] QByteArray HexResult() const;

    // The digest of one block of bytes, in hexadecimal.
    [[nodiscard]] static QByteArray HexOf(QByteArrayView bytes);

private:
    struct ContextFree {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextFree> context_;
};

}  // namespace tolvane
