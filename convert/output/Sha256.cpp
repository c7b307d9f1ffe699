// libcrypto's EVP interface: one context per hash, copied when a caller needs
// to branch. A failing libcrypto call can only mean memory ran out; that is
// treated like any other allocation failure of the process.
#include "convert/output/Sha256.h"

#include <openssl/evp.h>

#include <new>

namespace tolvane {

namespace {

EVP_MD_CTX* NewContext()
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        throw std::bad_alloc();
    }
    return context;
}

}  // namespace

void Sha256::ContextFree::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(NewContext()) {}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

Sha256::Sha256(const Sha256& other) : context_(EVP_MD_CTX_new())
{
    if (!context_ || EVP_MD_CTX_copy_ex(context_.get(), other.context_.get()) != 1)
        throw std::bad_alloc();
}

Sha256& Sha256::operator=(const Sha256& other)
{
    if (this != &other)
        *this = Sha256(other);
    return *this;
}

void Sha256::Add(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        EVP_DigestUpdate(context_.get(), bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray Sha256::HexResult() const
{
    // Finishing consumes a context, so finish a copy.
    const Sha256 copy(*this);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(copy.context_.get(), digest, &length) != 1)
        throw std::bad_alloc();
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex();
}

QByteArray Sha256::HexOf(QByteArrayView bytes)
{
    Sha256 hash;
    hash.Add(bytes);
    return hash.HexResult();
}

}  // namespace tolvane
