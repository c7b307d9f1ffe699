// libcrypto's SHA-256 block functions over a state this class holds by value.
// OpenSSL 3 marks them deprecated in favour of the EVP interface, whose
// contexts live on the heap and so can fail to be made or copied; these stay
// available through OpenSSL 3 and run the same hardware-accelerated code.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "convert/output/Sha256.h"

namespace tolvane {

Sha256::Sha256()
{
    SHA256_Init(&state_);
}

void Sha256::Add(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        SHA256_Update(&state_, bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray Sha256::HexResult() const
{
    // Finishing consumes the state, so finish a copy.
    SHA256_CTX copy = state_;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &copy);
    return QByteArray(reinterpret_cast<const char*>(digest), SHA256_DIGEST_LENGTH).toHex();
}

QByteArray Sha256::HexOf(QByteArrayView bytes)
{
    Sha256 hash;
    hash.Add(bytes);
    return hash.HexResult();
}

}  // namespace tolvane
