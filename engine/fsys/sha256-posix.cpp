#include "engine/fsys/fsys.h"

#include <openssl/evp.h>

namespace fsys {

Sha256::Sha256()
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    m_state = ctx;
    m_ok = ctx != nullptr && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_state));
}

bool Sha256::update(const char* data, std::size_t size)
{
    m_ok = m_ok && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_state), data, size) == 1;
    return m_ok;
}

std::string Sha256::finish()
{
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    m_ok = m_ok && EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_state), sum, &length) == 1;
    return m_ok ? hex_digits(sum, length) : std::string();
}

}  // namespace fsys
